#include "maintenance/compattazione_archivio.h"

#include "base/env.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "engines/interbase/services.h"
#include "engines/interbase/transaction.h"
#include "maintenance/file_archivio.h"
#include "maintenance/impronta_archivio.h"
#include "maintenance/segno_processo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace korva {

namespace {

const std::string kNonEseguita = "compattazione non eseguita";

// A connection of the compaction's own, with the transaction it reads in.
struct Connessione {
    Connessione(const std::string& nome, const std::vector<std::string>& parametri)
    {
        db.setDefaultTransaction(&t);
        db.setDatabaseName(nome);
        db.params = parametri;
    }
    ib::Transaction t;
    ib::Database db;
};

// Opens the archive, refused (nothing done) while another program holds its file or has a
// connection to it.
void apriDaSolo(Connessione& c, const std::string& nome)
{
    try {
        c.db.connect();
    } catch (const ib::Error& e) {
        throw Error("L'archivio " + nome + " è in uso, " + kNonEseguita + ": " + e.what());
    }
    ib::Query q(c.db, &c.t);
    q.sql = {"SELECT COUNT(*) FROM MON$ATTACHMENTS",
             "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"};
    q.open();
    const std::int64_t altre = q.field(0).asInt64();
    q.close();
    c.t.commit();
    if (altre > 0)
        throw Error("L'archivio " + nome + " è in uso da altre " + std::to_string(altre) + " connessioni: " + kNonEseguita);
}

Impronta impronta(Connessione& c, const std::vector<std::string>& senzaDati)
{
    Impronta i = improntaArchivio(c.db, c.t, senzaDati);
    c.t.commit();
    return i;
}

std::string modificato(const std::string& nome)
{
    return "Compattazione non eseguita: l'archivio " + nome +
           " è stato modificato da un altro programma dopo l'inizio del backup. L'archivio è rimasto com'era: "
           "nessuna riga è andata persa";
}

// The restored copy holds every row the archive held when the backup began.
void verificaCopia(const std::string& nome, const std::vector<std::string>& parametri,
                   const std::map<std::string, std::int64_t>& attese)
{
    Connessione copia(nome, parametri);
    copia.db.connect();
    const auto righe = righeTabelleUtente(copia.db, copia.t, {});
    copia.t.commit();
    copia.db.disconnect();
    for (const auto& [tabella, n] : attese) {
        const auto trovata = righe.find(tabella);
        const std::int64_t m = trovata == righe.end() ? -1 : trovata->second;
        if (m != n)
            throw Error("la copia ripristinata ha " + std::to_string(m) + " righe nella tabella " + tabella +
                        " invece di " + std::to_string(n) + "; " + kNonEseguita + ", l'archivio è rimasto com'era");
    }
}

void rimuovi(const std::string& percorso)
{
    if (::unlink(percorso.c_str()) != 0 && errno != ENOENT)
        throw Error("Impossibile eliminare il file " + percorso + " rimasto da una compattazione interrotta");
}

// ---- The file reached from here -----------------------------------------------------------

EsitoCompattazione compattaFile(const Compattazione& c, const std::string& file)
{
    Env& env = Env::standard();
    EsitoCompattazione esito;
    // Held from before the backup to the switch: while the in-process engine has the file
    // open no other process can open it.
    Connessione guardia(file, c.parametri);
    apriDaSolo(guardia, c.nome);
    esito.senzaDati = tabelleSenzaPagine(guardia.db, guardia.t);
    guardia.t.commit();
    const Impronta prima = improntaArchivio(guardia.db, guardia.t, esito.senzaDati);
    const auto righe = righeTabelleUtente(guardia.db, guardia.t, esito.senzaDati);
    guardia.t.commit();

    creaPercorso(c.cartellaBackup);
    rimuoviTemporaneiMorti(env, c.cartellaBackup, std::string(kFileCompattazione) + ".tmp-");
    const std::string backup = c.cartellaBackup + kFileCompattazione;
    const std::string backupParziale = backup + ".tmp-" + firmaProcesso();
    const std::string ripristino = file + ".ripristino";
    rimuovi(ripristino);  // left by a killed compaction
    try {
        ib::BackupService b;
        b.params = c.parametri;
        b.databaseName = file;
        b.backupFile = backupParziale;
        b.senzaDati = esito.senzaDati;
        b.onAttesa = c.attesa;
        b.run();
        env.rename(backupParziale, backup);
        esito.backup = backup;

        ib::RestoreService r;
        r.params = c.parametri;
        r.databaseName = ripristino;
        r.backupFile = backup;
        r.replace = false;
        r.onAttesa = c.attesa;
        r.run();
        verificaCopia(ripristino, c.parametri, righe);
        if (impronta(guardia, esito.senzaDati) != prima)
            throw Error(modificato(c.nome));

        // The copy takes the archive's place with its owner and permissions.
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || ::chmod(ripristino.c_str(), st.st_mode & 07777) != 0 ||
            ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
             ::chown(ripristino.c_str(), st.st_uid, st.st_gid) != 0))
            throw Error("Impossibile dare alla copia compattata il proprietario e i permessi dell'archivio " + file +
                        ": " + kNonEseguita);
        env.open(ripristino, OpenMode::ReadWrite)->sync();
        env.rename(ripristino, file);
        env.syncDir(parentDirectory(file));
    } catch (...) {
        ::unlink(backupParziale.c_str());
        ::unlink(ripristino.c_str());
        throw;
    }
    guardia.db.disconnect();
    return esito;
}

// ---- A server elsewhere -------------------------------------------------------------------

struct SulServer {
    const Compattazione& c;
    std::string host, percorso;

    std::string suServer(const std::string& p) const { return host + ":" + p; }
    std::string segno() const
    {
        return c.cartellaBackup + percorso.substr(percorso.find_last_of("/\\") + 1) + ".fuori-linea";
    }

    template <class S>
    S servizio(const std::string& database) const
    {
        S s;
        s.params = c.parametri;
        s.serverName = host;
        s.databaseName = database;
        s.onAttesa = c.attesa;
        return s;
    }

    void riattiva() const { servizio<ib::RiattivazioneService>(percorso).run(); }

    // A copy of an earlier run, if any, goes: a restore does not write over a file.
    void eliminaCopia(const std::string& nome) const
    {
        Connessione copia(suServer(nome), c.parametri);
        try {
            copia.db.connect();
        } catch (const ib::Error& e) {
            if (e.fileInesistente())
                return;
            throw;
        }
        copia.db.dropDatabase();
    }

    EsitoCompattazione esegui()
    {
        Env& env = Env::standard();
        EsitoCompattazione esito;
        Connessione propria(c.nome, c.parametri);
        apriDaSolo(propria, c.nome);
        esito.senzaDati = tabelleSenzaPagine(propria.db, propria.t);
        propria.t.commit();
        const Impronta prima = improntaArchivio(propria.db, propria.t, esito.senzaDati);
        const auto righe = righeTabelleUtente(propria.db, propria.t, esito.senzaDati);
        propria.t.commit();

        const std::string backup = percorso + ".compattazione.bak";
        auto b = servizio<ib::BackupService>(percorso);
        b.backupFile = backup;
        b.senzaDati = esito.senzaDati;
        b.run();
        esito.backup = suServer(backup);

        // The backup restores: proved by a restore beside the archive, then removed.
        const std::string prova = percorso + ".prova";
        eliminaCopia(prova);
        try {
            auto r = servizio<ib::RestoreService>(prova);
            r.backupFile = backup;
            r.replace = false;
            r.run();
            verificaCopia(suServer(prova), c.parametri, righe);
        } catch (const std::exception& e) {
            try {
                eliminaCopia(prova);
            } catch (const std::exception&) {
                // Named after the archive: the next compaction removes it.
            }
            throw Error("Il backup dell'archivio non si ripristina: " + std::string(e.what()) + "; " + kNonEseguita +
                        ", l'archivio è rimasto com'era");
        }
        eliminaCopia(prova);

        // The archive as it was when the backup began, and the transaction after which
        // nothing may have started until it is off line. A transaction of another connection
        // active now could commit while the shutdown waits without moving that number: the
        // archive is in use then.
        std::int64_t prossima = 0;
        {
            if (improntaArchivio(propria.db, propria.t, esito.senzaDati) != prima)
                throw Error(modificato(c.nome));
            ib::Query q(propria.db, &propria.t);
            q.sql = {"SELECT MON$NEXT_TRANSACTION, (SELECT COUNT(*) FROM MON$TRANSACTIONS T JOIN MON$ATTACHMENTS A ON "
                     "A.MON$ATTACHMENT_ID = T.MON$ATTACHMENT_ID WHERE A.MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
                     "A.MON$SYSTEM_FLAG = 0) FROM MON$DATABASE"};
            q.open();
            prossima = q.field(0).asInt64();
            const std::int64_t altrui = q.field(1).asInt64();
            q.close();
            if (altrui > 0)
                throw Error("L'archivio " + c.nome + " è in uso (" + std::to_string(altrui) +
                            " transazioni di altre connessioni aperte), " + kNonEseguita);
            propria.t.commit();
            propria.db.disconnect();
        }
        creaPercorso(c.cartellaBackup);
        scriviSegno(env, segno(), "archivio fuori linea: " + c.nome);
        try {
            auto spegni = servizio<ib::SpegnimentoService>(percorso);
            spegni.secondi = ib::kAttesaBlocchiSecondi;
            spegni.run();
        } catch (const ib::Error& e) {
            env.remove(segno());
            throw Error("L'archivio " + c.nome + " è in uso, " + kNonEseguita + ": " + e.what());
        }
        if (servizio<ib::IntestazioneService>(percorso).prossimaTransazione() != prossima) {
            riattiva();
            env.remove(segno());
            throw Error(modificato(c.nome));
        }
        try {
            auto r = servizio<ib::RestoreService>(percorso);
            r.backupFile = backup;
            r.replace = true;
            r.run();
        } catch (const std::exception& e) {
            try {
                riattiva();
                env.remove(segno());
            } catch (const std::exception&) {
                // The archive may be gone: the message says where its rows are.
            }
            throw Error(std::string(e.what()) + ". Il backup completo dell'archivio è sul server " + host +
                        " nel file " + backup + "; per ripristinarlo: gbak -rep -user SYSDBA " + backup + " " + percorso +
                        " (sul server)");
        }
        env.remove(segno());
        return esito;
    }
};

// An archive left off line by a killed compaction of this machine is put back on line.
void riprendiSpegnimento(const Compattazione& c, SulServer& s)
{
    const auto segno = leggiSegno(Env::standard(), s.segno());
    if (!segno)
        return;
    if (processoVivo(*segno))
        throw Error("Una compattazione dell'archivio " + c.nome + " è in corso (processo " + std::to_string(segno->pid) +
                    "): " + kNonEseguita);
    try {
        s.riattiva();
    } catch (const ib::Error&) {
        // Already on line: the killed run was taken off line nothing yet, or a restore
        // brought it back.
    }
    Env::standard().remove(s.segno());
}

}  // namespace

EsitoCompattazione compattaArchivio(const Compattazione& c)
{
    if (c.forma == FormaCompattazione::Automatica)
        if (const auto file = fileRaggiungibile(c.nome))
            return compattaFile(c, *file);
    if (!ib::formaServer(c.nome))
        throw Error("L'archivio " + c.nome + " non è su un server: " + kNonEseguita);
    auto [host, percorso] = ib::dividiFormaServer(c.nome);
    SulServer s{c, host, percorso};
    riprendiSpegnimento(c, s);
    return s.esegui();
}

}  // namespace korva
