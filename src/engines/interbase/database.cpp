#include "engines/interbase/database.h"

#include "base/percorsi.h"
#include "engines/interbase/client.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/transaction.h"

#include <algorithm>

namespace korva::ib {

using detail::chiama;
using detail::Stato;

namespace {

// Where the host ends: the first ":" (after "]" for an IPv6 address in brackets).
size_t fineHost(std::string_view nome)
{
    size_t inizio = 0;
    if (!nome.empty() && nome.front() == '[') {
        inizio = nome.find(']');
        if (inizio == std::string_view::npos)
            return std::string_view::npos;
    }
    return nome.find(':', inizio);
}

}  // namespace

bool formaServer(std::string_view nome)
{
    // The client library's own rule on this platform: a name with a ":" after its first
    // character names a host.
    const size_t duepunti = fineHost(nome);
    return duepunti != std::string_view::npos && duepunti > 0;
}

std::pair<std::string, std::string> dividiFormaServer(std::string_view nome)
{
    const size_t duepunti = fineHost(nome);
    if (duepunti == std::string_view::npos || duepunti == 0)
        return {std::string(), std::string(nome)};
    return {std::string(nome.substr(0, duepunti)), std::string(nome.substr(duepunti + 1))};
}

std::string nomePerIlCliente(const std::string& nome)
{
    if (formaServer(nome))
        return nome;
    if (auto esistente = risolviPercorso(nome))
        return *esistente;
    return risolviPerCreare(nome);
}

Database::Database() = default;

Database::~Database()
{
    // An observer often belongs to an owner that is already going away.
    osservatore_ = nullptr;
    disconnect();
    for (Transaction* t : std::vector<Transaction*>(transazioni_))
        t->setDefaultDatabase(nullptr);
    for (detail::Dipendente* d : std::vector<detail::Dipendente*>(dipendenti_))
        d->databaseDistrutto();
    if (predefinita_ && predefinita_->defaultDatabase() == this)
        predefinita_->setDefaultDatabase(nullptr);
}

void Database::setDatabaseName(const std::string& nome)
{
    if (nome == nome_)
        return;
    disconnect();
    nome_ = nome;
}

void Database::setDefaultTransaction(Transaction* t)
{
    predefinita_ = t;
    if (t && t->defaultDatabase() != this)
        t->setDefaultDatabase(this);
}

Firebird::IAttachment* Database::attachment()
{
    if (!att_)
        throw Error("Archivio non collegato: " + nome_);
    return att_;
}

Transaction& Database::transazione(Transaction* t)
{
    if (t)
        return *t;
    if (!predefinita_)
        throw Error("Nessuna transazione predefinita per l'archivio " + nome_);
    return *predefinita_;
}

void Database::notificaIstruzione(const std::string& testo, Invio tipo)
{
    if (osservatore_)
        osservatore_(testo, tipo);
}

void Database::aggiungi(detail::Dipendente* d)
{
    dipendenti_.push_back(d);
}

void Database::togli(detail::Dipendente* d)
{
    dipendenti_.erase(std::remove(dipendenti_.begin(), dipendenti_.end(), d), dipendenti_.end());
}

void Database::aggiungi(Transaction* t)
{
    if (std::find(transazioni_.begin(), transazioni_.end(), t) == transazioni_.end())
        transazioni_.push_back(t);
}

void Database::togli(Transaction* t)
{
    transazioni_.erase(std::remove(transazioni_.begin(), transazioni_.end(), t),
                       transazioni_.end());
}

void Database::transazioneTerminata(Transaction& t)
{
    // A copy: a dependent may unregister itself while closing.
    auto copia = dipendenti_;
    for (detail::Dipendente* d : copia)
        d->transazioneTerminata(t);
}

void Database::connect()
{
    if (att_)
        return;
    if (nome_.empty())
        throw Error("Nome dell'archivio Interbase non impostato");
    const detail::Credenziali c = detail::credenziali(params);
    apri(c.utente, c.password, c.ruolo);
}

void Database::apri(const std::string& utente, const std::string& password,
                    const std::string& ruolo)
{
    detail::Blocco dpb(Firebird::IXpbBuilder::DPB);
    if (!utente.empty())
        dpb.testo(isc_dpb_user_name, detail::versoConnessione(utente));
    if (!password.empty())
        dpb.testo(isc_dpb_password, detail::versoConnessione(password));
    if (!ruolo.empty())
        dpb.testo(isc_dpb_sql_role_name, detail::versoConnessione(ruolo));
    dpb.testo(isc_dpb_lc_ctype, detail::kCharsetConnessione);
    dpb.intero(isc_dpb_sql_dialect, sqlDialect);
    const std::string nome = nomePerIlCliente(nome_);
    Stato st;
    att_ = detail::chiamaMotore(
        [&] { return detail::provider()->attachDatabase(&st, nome.c_str(), dpb.lunghezza(), dpb.dati()); },
        "Impossibile aprire l'archivio " + nome_ + ": ");
}

void Database::disconnect()
{
    if (!att_)
        return;
    for (Transaction* t : std::vector<Transaction*>(transazioni_))
        if (t->inTransaction()) {
            try {
                t->rollback();
            } catch (const korva::Error&) {
                t->abbandona();
            }
        }
    for (detail::Dipendente* d : std::vector<detail::Dipendente*>(dipendenti_))
        d->connessioneChiusa();
    Firebird::IAttachment* att = std::exchange(att_, nullptr);
    try {
        Stato st;
        chiama([&] { att->detach(&st); });
    } catch (const korva::Error&) {
        // The connection is gone (server down, network lost): drop the handle.
        att->release();
    }
}

void Database::dropDatabase()
{
    Firebird::IAttachment* att = attachment();
    for (Transaction* t : std::vector<Transaction*>(transazioni_))
        t->deactivate();
    for (detail::Dipendente* d : std::vector<detail::Dipendente*>(dipendenti_))
        d->connessioneChiusa();
    Stato st;
    chiama([&] { att->dropDatabase(&st); }, "Impossibile eliminare l'archivio " + nome_ + ": ");
    att_ = nullptr;
}

namespace {

// The value of a creation line such as USER "SYSDBA" or PASSWORD 'x'.
std::string valoreDaRiga(const std::string& riga, std::string_view parola)
{
    std::string maiuscola = maiuscole(riga);
    size_t i = maiuscola.find_first_not_of(" \t");
    if (i == std::string::npos || maiuscola.compare(i, parola.size(), parola) != 0)
        return {};
    i = riga.find_first_of("\"'", i + parola.size());
    if (i == std::string::npos)
        return {};
    const size_t fine = riga.find(riga[i], i + 1);
    return fine == std::string::npos ? std::string() : riga.substr(i + 1, fine - i - 1);
}

std::string apiciRaddoppiati(const std::string& s)
{
    std::string r;
    for (char c : s) {
        r += c;
        if (c == '\'')
            r += '\'';
    }
    return r;
}

}  // namespace

void Database::createDatabase()
{
    disconnect();
    if (nome_.empty())
        throw Error("Nome dell'archivio Interbase non impostato");
    const std::string nome = nomePerIlCliente(nome_);
    std::string istruzione = "CREATE DATABASE '" + apiciRaddoppiati(nome) + "' ";
    std::string utente, password;
    for (const std::string& riga : params) {
        istruzione += riga + "\r\n";
        if (auto u = valoreDaRiga(riga, "USER"); !u.empty())
            utente = u;
        if (auto p = valoreDaRiga(riga, "PASSWORD"); !p.empty())
            password = p;
    }
    notificaIstruzione(istruzione, Invio::Creazione);
    Stato st;
    FB_BOOLEAN eraCreazione = false;
    Firebird::IAttachment* creazione = detail::chiamaMotore(
        [&] {
            return detail::util()->executeCreateDatabase(
                &st, static_cast<unsigned>(istruzione.size()), istruzione.c_str(),
                static_cast<unsigned>(sqlDialect), &eraCreazione);
        },
        "Impossibile creare l'archivio " + nome_ + ": ");
    // The creation's own connection has no character set: open the new database again as
    // every connection of the program is opened.
    try {
        Stato st2;
        chiama([&] { creazione->detach(&st2); });
    } catch (const korva::Error&) {
        creazione->release();
    }
    apri(utente, password, {});
}

}  // namespace korva::ib
