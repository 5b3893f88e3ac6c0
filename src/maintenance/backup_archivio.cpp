#include "maintenance/backup_archivio.h"

#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/backup.h"
#include "maintenance/cartelle.h"
#include "engines/interbase/services.h"
#include "maintenance/copia_file.h"
#include "maintenance/impronta_archivio.h"
#include "maintenance/segno_processo.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <algorithm>
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
        // A table left without pages is copied as the archive has it; reading it would stop
        // the engine.
        const auto senzaPagine = tabelleSenzaPagine(db, t);
        for (const auto& tabella : ib::nomiTabelleUtente(db)) {
            if (std::find(senzaPagine.begin(), senzaPagine.end(), tabella) != senzaPagine.end())
                continue;
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

std::string nomeFileDi(const std::string& percorso)
{
    const size_t barra = percorso.find_last_of("/\\:");
    return barra == std::string::npos ? percorso : percorso.substr(barra + 1);
}

// The backup lock this program takes, recorded beside the archive with its process: a run
// killed while it held the lock leaves it so, and the next run ends it.
std::string segnoBlocco(const std::string& file)
{
    return file + ".backup-korva";
}

// A backup lock left by a killed run of this machine is ended; any other stops the copy. The
// engine's own report of the state is not enough: a run killed while it took or ended the lock
// can leave the archive refusing a new one while reporting none.
void riprendiBlocco(TTabForm& t, Env& env, const std::string& file)
{
    if (const auto segno = leggiSegno(env, segnoBlocco(file))) {
        if (processoVivo(*segno))
            throw Error("Un altro backup dell'archivio è in corso (processo " + std::to_string(segno->pid) +
                        "): copia non eseguita");
        // The killed run's changes, kept aside meanwhile, go back into the archive. A run
        // killed while it took the lock leaves the archive refusing to end it (tried): taken
        // again, it ends.
        try {
            esegui(t, "ALTER DATABASE END BACKUP");
        } catch (const ib::Error&) {
            try {
                esegui(t, "ALTER DATABASE BEGIN BACKUP");
                esegui(t, "ALTER DATABASE END BACKUP");
            } catch (const ib::Error&) {
                // Said below, when the archive is still locked.
            }
        }
        env.remove(segnoBlocco(file));
    }
    if (const auto stato = statoBackupFisico(t); stato != 0)
        throw Error("L'archivio è già bloccato per un backup fisico (un backup in corso o interrotto "
                    "con lo strumento nbackup): copia non eseguita (stato " + std::to_string(stato) + ")");
}

void copiaArchivio(TTabForm& t, Env& env, const std::string& sorgente, const std::string& destinazione)
{
    riprendiBlocco(t, env, sorgente);
    rimuoviTemporaneiMorti(env, parentDirectory(destinazione), nomeFileDi(destinazione) + ".tmp-");
    const std::string copia = destinazione + ".tmp-" + firmaProcesso();
    scriviSegno(env, segnoBlocco(sorgente), "ALTER DATABASE BEGIN BACKUP");
    esegui(t, "ALTER DATABASE BEGIN BACKUP");
    try {
        copiaInNuovoFile(env, sorgente, copia);
    } catch (...) {
        rimuoviSeEsiste(env, copia);
        try {
            esegui(t, "ALTER DATABASE END BACKUP");
            env.remove(segnoBlocco(sorgente));
        } catch (const Error&) {
            // The copy's failure is the one told; the next backup ends the lock.
        }
        throw;
    }
    try {
        esegui(t, "ALTER DATABASE END BACKUP");
        env.remove(segnoBlocco(sorgente));
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

// The backup of an archive on a server, as the server's backup service sends it, written
// beside the destination and renamed over it when the service says it is complete.
void scaricaBackup(TTabForm& t, Env& env, const std::string& destinazione, Interazione& io)
{
    rimuoviTemporaneiMorti(env, parentDirectory(destinazione), nomeFileDi(destinazione) + ".tmp-");
    const std::string parziale = destinazione + ".tmp-" + firmaProcesso();
    try {
        auto f = env.open(parziale, OpenMode::CreateNew);
        std::uint64_t scritti = 0;
        ib::BackupService b;
        b.params = t.IBDatabase1.params;
        b.databaseName = t.IBDatabase1.databaseName();
        b.onDati = [&](const char* dati, std::size_t n) {
            f->writeAt(scritti, dati, n);
            scritti += n;
        };
        b.onAttesa = [&] { io.elaboraEventi(); };
        {
            // The rows of a table left without pages cannot be read: its description goes.
            ib::TransactionScope lettura(t.IBTransaction1);
            b.senzaDati = tabelleSenzaPagine(t.IBDatabase1, t.IBTransaction1);
            lettura.commit();
        }
        t.IBDatabase1.disconnect();
        b.run();
        f->sync();
        f.reset();
        env.rename(parziale, destinazione);
        env.syncDir(parentDirectory(destinazione));
    } catch (...) {
        rimuoviSeEsiste(env, parziale);
        throw;
    }
}

}  // namespace

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
    const std::string nome = t.IBDatabase1.databaseName();
    const std::string cartella = cartellaFs(t.BackupRiparazioniDir) + "/";
    try {
        creaPercorso(percorsoFs(t.BackupRiparazioniDir));
        if (ib::formaServer(nome)) {
            const auto [host, percorso] = ib::dividiFormaServer(nome);
            const std::string file = cartella + nomeFileDi(percorso) + ".fbk";
            scaricaBackup(t, env, file, io);
            io.messaggio(std::string(kBackupArchivioCompletato) + "\nIl backup dell'archivio " + nome +
                         ", fatto dal suo server, è nel file " + file +
                         "; per ripristinarlo in un archivio nuovo: gbak -c -user SYSDBA " + file + " " + host +
                         ":<percorso del nuovo archivio sul server>");
            return true;
        }
        const std::string sorgente = ib::nomePerIlCliente(nome);
        copiaArchivio(t, env, sorgente, cartella + nomeFileDi(percorsoFs(t.Archivio)));
    } catch (const Error& e) {
        io.messaggio(std::string(kErroreBackup) + " dell'archivio " + t.Archivio + "\n" + e.what());
        return false;
    }
    io.messaggio(kBackupArchivioCompletato);
    return true;
}

}  // namespace korva
