#include "engines/interbase/services.h"

#include "engines/interbase/client.h"

#include <cstring>

namespace korva::ib {

using detail::chiama;
using detail::Stato;

void BackupService::avvio(detail::Blocco& spb) const
{
    spb.tag(isc_action_svc_backup);
    spb.testo(isc_spb_dbname, databaseName);
    spb.testo(isc_spb_bkp_file, backupFile);
    if (verbose)
        spb.tag(isc_spb_verbose);
}

void RestoreService::avvio(detail::Blocco& spb) const
{
    spb.tag(isc_action_svc_restore);
    spb.testo(isc_spb_bkp_file, backupFile);
    spb.testo(isc_spb_dbname, databaseName);
    spb.intero(isc_spb_options, replace ? isc_spb_res_replace : isc_spb_res_create);
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
    std::string utente, password;
    for (const std::string& riga : params) {
        auto [nome, valore] = detail::dividiParametro(riga);
        if (nome == "user_name")
            utente = valore;
        else if (nome == "password")
            password = valore;
        else if (!nome.empty() && nome != "lc_ctype" && nome != "sql_role_name")
            throw Error("Parametro del servizio sconosciuto: \"" + riga + "\"");
    }
    detail::Blocco attacco(Firebird::IXpbBuilder::SPB_ATTACH);
    if (!utente.empty())
        attacco.testo(isc_spb_user_name, utente);
    if (!password.empty())
        attacco.testo(isc_spb_password, password);
    const std::string gestore = serverName.empty() ? "service_mgr" : serverName + ":service_mgr";

    Stato st;
    Firebird::IService* svc = chiama(
        [&] {
            return detail::provider()->attachServiceManager(&st, gestore.c_str(), attacco.lunghezza(),
                                                            attacco.dati());
        },
        "Impossibile collegarsi al gestore dei servizi " + gestore + ": ");
    std::vector<std::string> uscita;
    try {
        esegui(svc, uscita);
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

void Service::esegui(Firebird::IService* svc, std::vector<std::string>& uscita)
{
    Stato st;
    detail::Blocco avvioSpb(Firebird::IXpbBuilder::SPB_START);
    avvio(avvioSpb);
    chiama([&] { svc->start(&st, avvioSpb.lunghezza(), avvioSpb.dati()); }, contesto());

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

}  // namespace korva::ib
