#include "maintenance/backup_archivio.h"

#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/backup.h"
#include "maintenance/cartelle.h"
#include "maintenance/copia_file.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace korva {

namespace {

// The header page: its type byte, the structure version (with the maker's flag bit) and the
// flags word whose backup bits BEGIN BACKUP sets.
constexpr int kTipoPaginaIntestazione = 1;
constexpr std::size_t kVersioneOds = 18;
constexpr std::size_t kFlag = 42;
constexpr std::uint16_t kFlagBackup = 0x0C00;

std::uint16_t leggi16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void esegui(TTabForm& t, const std::string& istruzione)
{
    ib::TransactionScope lavoro(t.IBTransaction1);
    ib::Query q(t.IBDatabase1);
    q.sql = {istruzione};
    q.execSql();
    lavoro.commit();
}

std::int64_t statoBackupFisico(TTabForm& t)
{
    ib::TransactionScope lavoro(t.IBTransaction1);
    ib::Query q(t.IBDatabase1);
    q.sql = {"SELECT MON$BACKUP_STATE FROM MON$DATABASE"};
    q.open();
    const std::int64_t stato = q.field(0).asInt64();
    q.close();
    lavoro.commit();
    return stato;
}

// Opens the copy and reads every table through, so that a copy that does not open, or whose
// pages cannot be read, is never taken for a backup.
void verificaCopia(const std::string& copia, const std::vector<std::string>& parametri)
{
    ib::Transaction t;
    ib::Database db;
    db.setDefaultTransaction(&t);
    db.setDatabaseName(copia);
    db.params = parametri;
    try {
        db.connect();
        for (const auto& tabella : ib::nomiTabelleUtente(db)) {
            ib::Query q(db);
            q.sql = {"SELECT COUNT(*) FROM " + ib::nomeTraVirgolette(tabella)};
            q.open();
            q.close();
        }
        t.commit();
        db.disconnect();
    } catch (const Error& e) {
        throw Error("La copia dell'archivio non si apre: " + std::string(e.what()));
    }
}

void rimuoviSeEsiste(Env& env, const std::string& percorso)
{
    try {
        if (env.exists(percorso))
            env.remove(percorso);
    } catch (const Error&) {
        // Named ".tmp-": harmless; the failure that got us here is the one told.
    }
}

void copiaArchivio(TTabForm& t, Env& env, const std::string& sorgente, const std::string& destinazione)
{
    if (statoBackupFisico(t) != 0)
        throw Error("L'archivio è già bloccato per un backup fisico (un backup in corso o interrotto "
                    "con lo strumento nbackup): copia non eseguita");
    static std::atomic<unsigned> contatore{0};
    const std::string copia =
        destinazione + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(contatore++);
    esegui(t, "ALTER DATABASE BEGIN BACKUP");
    try {
        copiaInNuovoFile(env, sorgente, copia);
    } catch (...) {
        rimuoviSeEsiste(env, copia);
        try {
            esegui(t, "ALTER DATABASE END BACKUP");
        } catch (const Error&) {
            // The copy's failure is the one told; the state shows at the next backup.
        }
        throw;
    }
    try {
        esegui(t, "ALTER DATABASE END BACKUP");
        sbloccaCopiaArchivio(env, copia);
        verificaCopia(copia, t.IBDatabase1.params);
        env.open(copia, OpenMode::ReadWrite)->sync();
        env.rename(copia, destinazione);
        env.syncDir(parentDirectory(destinazione));
    } catch (...) {
        rimuoviSeEsiste(env, copia);
        throw;
    }
}

bool hostLocale(std::string host)
{
    if (const auto porta = host.find('/'); porta != std::string::npos)
        host.erase(porta);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    char nome[256] = {};
    gethostname(nome, sizeof nome - 1);
    return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == nome;
}

}  // namespace

std::string fileArchivioLocale(const std::string& nomeDatabase)
{
    if (!ib::formaServer(nomeDatabase))
        return ib::nomePerIlCliente(nomeDatabase);
    const auto [host, percorso] = ib::dividiFormaServer(nomeDatabase);
    if (!hostLocale(host))
        throw Error("L'archivio " + nomeDatabase + " è su un altro computer (" + host +
                    "): il suo file non si può copiare da qui");
    return percorsoFs(percorso);
}

void sbloccaCopiaArchivio(Env& env, const std::string& copia)
{
    auto f = env.open(copia, OpenMode::ReadWrite);
    unsigned char h[64] = {};
    const std::size_t letti = f->readAt(0, h, sizeof h);
    const int ods = leggi16(h + kVersioneOds) & 0x7FFF;
    if (letti < sizeof h || h[0] != kTipoPaginaIntestazione || ods < 11 || ods > 12)
        throw Error("Il file " + copia + " non è un archivio di una versione conosciuta");
    const std::uint16_t flag = leggi16(h + kFlag) & static_cast<std::uint16_t>(~kFlagBackup);
    const unsigned char nuovo[2] = {static_cast<unsigned char>(flag & 0xFF), static_cast<unsigned char>(flag >> 8)};
    f->writeAt(kFlag, nuovo, sizeof nuovo);
    f->sync();
}

bool BackupArchivio(GestioneTabelle& g, Env& env)
{
    TTabForm& t = g.tabForm();
    Interazione& io = g.interazione();
    if (t.IBDatabase1.connected()) {
        if (t.IBTransaction1.inTransaction())
            t.IBTransaction1.commit();
        t.IBDatabase1.disconnect();
    }
    if (!directoryImpostata(t.BackupRiparazioniDir)) {
        io.messaggio(kErroreDirBackupArchivio);
        return false;
    }
    t.ConnettiDatabaseIB();
    if (!t.IBDatabase1.connected())
        return false;
    const std::string archivio = percorsoFs(t.Archivio);
    const std::string nomeFile = archivio.substr(archivio.rfind('/') + 1);
    try {
        const std::string sorgente = fileArchivioLocale(t.IBDatabase1.databaseName());
        creaPercorso(percorsoFs(t.BackupRiparazioniDir));
        copiaArchivio(t, env, sorgente, cartellaFs(t.BackupRiparazioniDir) + "/" + nomeFile);
    } catch (const Error& e) {
        io.messaggio(std::string(kErroreBackup) + " dell'archivio " + t.Archivio + "\n" + e.what());
        return false;
    }
    io.messaggio(kBackupArchivioCompletato);
    return true;
}

}  // namespace korva
