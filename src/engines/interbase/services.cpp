#include "engines/interbase/services.h"

#include "base/env.h"
#include "engines/interbase/client.h"
#include "engines/interbase/database.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <tuple>

namespace korva::ib {

using detail::chiama;
using detail::Stato;

namespace {

// A name as a pattern of the service's SIMILAR TO syntax, matching that name only.
std::string soloQuestoNome(const std::string& nome)
{
    std::string r;
    for (char c : nome) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            r += c;
        else
            r.append("[").append(1, c).append("]");
    }
    return r;
}

}  // namespace

void BackupService::avvio(detail::Blocco& spb, const std::string& nomeDatabase) const
{
    spb.tag(isc_action_svc_backup);
    spb.testo(isc_spb_dbname, nomeDatabase);
    spb.testo(isc_spb_bkp_file, onDati ? std::string("stdout") : backupFile);
    if (!senzaDati.empty()) {
        std::string modello;
        for (const std::string& nome : senzaDati) {
            verificaIdentificatore(nome, "tabella");
            modello.append(modello.empty() ? "" : "|").append(soloQuestoNome(nome));
        }
        spb.testo(isc_spb_bkp_skip_data, modello);
    }
    if (verbose && !onDati)
        spb.tag(isc_spb_verbose);
}

void SpegnimentoService::avvio(detail::Blocco& spb, const std::string& nomeDatabase) const
{
    spb.tag(isc_action_svc_properties);
    spb.testo(isc_spb_dbname, nomeDatabase);
    spb.ottetto(isc_spb_prp_shutdown_mode, isc_spb_prp_sm_full);
    spb.intero(isc_spb_prp_attachments_shutdown, secondi);
}

void RiattivazioneService::avvio(detail::Blocco& spb, const std::string& nomeDatabase) const
{
    spb.tag(isc_action_svc_properties);
    spb.testo(isc_spb_dbname, nomeDatabase);
    spb.ottetto(isc_spb_prp_online_mode, isc_spb_prp_sm_normal);
}

void IntestazioneService::avvio(detail::Blocco& spb, const std::string& nomeDatabase) const
{
    spb.tag(isc_action_svc_db_stats);
    spb.testo(isc_spb_dbname, nomeDatabase);
    spb.intero(isc_spb_options, isc_spb_sts_hdr_pages);
}

std::int64_t IntestazioneService::prossimaTransazione()
{
    for (const std::string& riga : run()) {
        const size_t i = riga.find("Next transaction");
        if (i == std::string::npos)
            continue;
        const size_t cifre = riga.find_first_of("0123456789", i);
        if (cifre != std::string::npos)
            return std::stoll(riga.substr(cifre));
    }
    throw Error(std::string(contesto()) + "il servizio non ha dato il numero della prossima transazione");
}

void RestoreService::avvio(detail::Blocco& spb, const std::string& nomeDatabase) const
{
    spb.tag(isc_action_svc_restore);
    spb.testo(isc_spb_bkp_file, backupFile);
    spb.testo(isc_spb_dbname, nomeDatabase);
    spb.intero(isc_spb_options,
               replace && !soloCreazione_ ? isc_spb_res_replace : isc_spb_res_create);
    if (verbose)
        spb.tag(isc_spb_verbose);
}

namespace {

// One answer of the service to a query for its output: the lines it holds and whether more
// may follow.
struct Risposta {
    std::vector<std::string> righe;
    bool altro = false;  // a line, or truncated, timed out, not ready: ask again
};

Risposta leggiRisposta(const unsigned char* p, const unsigned char* fine)
{
    Risposta r;
    while (p < fine && *p != isc_info_end) {
        const unsigned char voce = *p++;
        if (voce == isc_info_svc_line) {
            if (fine - p < 2)
                break;
            const auto n = static_cast<size_t>(
                isc_vax_integer(reinterpret_cast<const ISC_SCHAR*>(p), 2));
            p += 2;
            if (static_cast<size_t>(fine - p) < n)
                break;
            if (n > 0) {
                r.righe.emplace_back(reinterpret_cast<const char*>(p), n);
                r.altro = true;
            }
            p += n;
        } else if (voce == isc_info_truncated || voce == isc_info_svc_timeout ||
                   voce == isc_info_data_not_ready) {
            r.altro = true;
        } else {
            break;
        }
    }
    return r;
}

bool inCorso(Firebird::IService* svc)
{
    const unsigned char voci[] = {isc_info_svc_running};
    unsigned char buf[64] = {};
    Stato st;
    chiama([&] { svc->query(&st, 0, nullptr, sizeof voci, voci, sizeof buf, buf); });
    if (buf[0] != isc_info_svc_running)
        return false;
    return isc_vax_integer(reinterpret_cast<const ISC_SCHAR*>(buf + 1), 4) != 0;
}

}  // namespace

std::vector<std::string> Service::run()
{
    return esegui(databaseName);
}

std::vector<std::string> Service::esegui(const std::string& nomeDatabase)
{
    const detail::Credenziali c = detail::credenziali(params);
    detail::Blocco attacco(Firebird::IXpbBuilder::SPB_ATTACH);
    if (!c.utente.empty())
        attacco.testo(isc_spb_user_name, detail::versoConnessione(c.utente));
    if (!c.password.empty())
        attacco.testo(isc_spb_password, detail::versoConnessione(c.password));
    // A database in server form is served by its own server's service manager: the
    // in-process one cannot reach it.
    std::string host = serverName;
    std::string database = nomeDatabase;
    if (host.empty() && formaServer(nomeDatabase))
        std::tie(host, database) = dividiFormaServer(nomeDatabase);
    const std::string gestore = host.empty() ? "service_mgr" : host + ":service_mgr";

    Stato st;
    Firebird::IService* svc = detail::chiamaMotore(
        [&] {
            return detail::provider()->attachServiceManager(&st, gestore.c_str(), attacco.lunghezza(),
                                                            attacco.dati());
        },
        "Impossibile collegarsi al gestore dei servizi " + gestore + ": ");
    std::vector<std::string> uscita;
    try {
        leggiUscita(svc, database, uscita);
    } catch (...) {
        try {
            Stato st2;
            chiama([&] { svc->detach(&st2); });
        } catch (const korva::Error&) {
            svc->release();
        }
        throw;
    }
    chiama([&] { svc->detach(&st); });
    return uscita;
}

void Service::leggiUscita(Firebird::IService* svc, const std::string& nomeDatabase,
                          std::vector<std::string>& uscita)
{
    Stato st;
    detail::Blocco avvioSpb(Firebird::IXpbBuilder::SPB_START);
    avvio(avvioSpb, nomeDatabase);
    chiama([&] { svc->start(&st, avvioSpb.lunghezza(), avvioSpb.dati()); }, contesto());
    if (onDati) {
        leggiDati(svc);
        return;
    }

    // Read the output until the service says there is no more, waiting a second at most per
    // read so that the caller's events keep being processed. A failure of the job arrives
    // here as the error of a read.
    const unsigned char invio[] = {isc_info_svc_timeout, 1, 0, 0, 0};
    const unsigned char voci[] = {isc_info_svc_line};
    std::vector<unsigned char> buf(16384);
    for (;;) {
        std::fill(buf.begin(), buf.end(), 0);
        chiama(
            [&] {
                svc->query(&st, sizeof invio, invio, sizeof voci, voci,
                           static_cast<unsigned>(buf.size()), buf.data());
            },
            contesto());
        Risposta r = leggiRisposta(buf.data(), buf.data() + buf.size());
        for (std::string& riga : r.righe) {
            std::string testo = detail::testoDaMessaggio(riga);
            if (onLine)
                onLine(testo);
            uscita.push_back(std::move(testo));
        }
        if (onAttesa)
            onAttesa();
        if (!r.altro && !inCorso(svc))
            break;
    }
}

void Service::leggiDati(Firebird::IService* svc)
{
    // The job's output is the data itself: read in pieces until an empty one comes while the
    // job no longer runs. A failure of the job arrives as the error of a read.
    Stato st;
    const unsigned char invio[] = {isc_info_svc_timeout, 1, 0, 0, 0};
    const unsigned char voci[] = {isc_info_svc_to_eof};
    // The length of a piece is two bytes: with a buffer of 64 KiB the engine answers
    // "truncated" with no data, every time (tried).
    std::vector<unsigned char> buf(16384);
    for (;;) {
        chiama(
            [&] {
                svc->query(&st, sizeof invio, invio, sizeof voci, voci, static_cast<unsigned>(buf.size()),
                           buf.data());
            },
            contesto());
        const unsigned char* p = buf.data();
        const unsigned char* fine = p + buf.size();
        size_t n = 0;
        bool altro = false;
        if (*p == isc_info_svc_to_eof && fine - p >= 3) {
            n = static_cast<size_t>(isc_vax_integer(reinterpret_cast<const ISC_SCHAR*>(p + 1), 2));
            if (n > static_cast<size_t>(fine - p - 3))
                throw Error(std::string(contesto()) + "risposta del servizio non valida");
            if (n > 0)
                onDati(reinterpret_cast<const char*>(p + 3), n);
            p += 3 + n;
        }
        bool troncata = false;
        for (; p < fine && *p != isc_info_end; ++p) {
            troncata = troncata || *p == isc_info_truncated;
            if (*p == isc_info_truncated || *p == isc_info_svc_timeout || *p == isc_info_data_not_ready)
                altro = true;
        }
        // A piece that does not fit with no data in it would be asked for again for ever.
        if (troncata && n == 0)
            throw Error(std::string(contesto()) + "risposta del servizio non valida");
        if (onAttesa)
            onAttesa();
        if (n == 0 && !altro && !inCorso(svc))
            break;
    }
}

void richiediArchivioLibero(const std::string& nome, const std::vector<std::string>& params,
                            const std::string& nonEseguito)
{
    Transaction t;
    Database db;
    db.setDefaultTransaction(&t);
    db.setDatabaseName(nome);
    db.params = params;
    try {
        db.connect();
    } catch (const Error& e) {
        throw Error("L'archivio " + nome + " è in uso, " + nonEseguito + ": " + e.what());
    }
    Query q(db);
    q.sql = {"SELECT COUNT(*) FROM MON$ATTACHMENTS",
             "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"};
    q.open();
    const std::int64_t altri = q.field(0).asInt64();
    q.close();
    t.commit();
    if (altri > 0)
        throw Error("L'archivio " + nome + " è in uso da altre " + std::to_string(altri) +
                    " connessioni: " + nonEseguito);
}

std::vector<std::string> RestoreService::run()
{
    if (!replace || !serverName.empty() || formaServer(databaseName))
        return Service::run();

    namespace fs = std::filesystem;
    const std::string finale = nomePerIlCliente(databaseName);
    const std::string temporaneo = finale + ".ripristino";
    std::error_code ec;
    fs::remove(temporaneo, ec);  // left by an interrupted restore of ours
    std::vector<std::string> uscita;
    try {
        soloCreazione_ = true;
        uscita = esegui(temporaneo);
        soloCreazione_ = false;
        struct stat st {};
        if (::stat(finale.c_str(), &st) == 0) {
            // Nobody else may have the database open when it is replaced.
            richiediArchivioLibero(finale, params, "ripristino non eseguito");
            ::chmod(temporaneo.c_str(), st.st_mode & 07777);
        }
        Env::standard().rename(temporaneo, finale);
        Env::standard().syncDir(parentDirectory(finale));
    } catch (...) {
        soloCreazione_ = false;
        fs::remove(temporaneo, ec);
        throw;
    }
    return uscita;
}

}  // namespace korva::ib
