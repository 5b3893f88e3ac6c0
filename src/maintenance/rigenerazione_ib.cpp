// Regenerating an archive table: its rows parked in TMP222 while the table is created again
// from the dictionary. Each step is committed on its own, in an order that keeps every
// committed row in the table or in TMP222: the rows are copied and committed before the table
// they came from is dropped. The in-process engine releases a dropped table's pages before the
// drop is committed, so a process killed then leaves that table in the catalogue without its
// pages (unreadable, and no drop or backup can take it); the rows it held are then elsewhere,
// and the next regeneration rebuilds it empty with a compaction. Each step also writes, in its
// own transaction, the mark that makes TMP222 ours: the next regeneration of the same table
// finishes a run that was killed, from the step where it stopped.

#include "maintenance/rigenerazione.h"

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/sql_creazione.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/compattazione_archivio.h"
#include "maintenance/copia_esatta_ib.h"
#include "maintenance/impronta_archivio.h"
#include "maintenance/marca_rigenerazione_ib.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace korva {

namespace {

std::function<void(const std::string&)>& guasto()
{
    static std::function<void(const std::string&)> g;
    return g;
}

// Where the rows are while the work goes on.
enum class Righe { NellaTabella, InTmp222, NellaTabellaRigenerata };

constexpr int kPassi = 6;

class RigenerazioneIb {
public:
    RigenerazioneIb(GestioneTabelle& g, std::string nome)
        : g_(g), t_(g.tabForm()), nome_(ib::nomeTabellaArchivio(nome))
    {
    }

    // From the start: the table as it is.
    void esegui()
    {
        prova([&] { daCapo(); });
    }

    // A run that stopped at `marca`'s step, finished.
    void riprendi(const MarcaRigenerazione& marca)
    {
        righe_ = marca.righe;
        copiaTransazione_ = marca.transazione;
        lavoroCreato_ = true;
        prova([&] {
            // A table whose drop was killed comes back empty: what it held is elsewhere.
            const auto ricostruite = ricostruisciSenzaPagine();
            const bool tabellaVuotata = ricostruite.count(nome_) > 0;
            const bool lavoroVuotato = ricostruite.count(kTabellaLavoroIb) > 0;
            const bool tabella = esiste(nome_);
            switch (marca.passo) {
            case kMarcaCreata:
            case kMarcaCopiata:
                if (tabella && !tabellaVuotata) {
                    // The table has every row: the work table goes, the work starts again.
                    eliminaLavoro(false);
                    daCapo();
                    return;
                }
                if (marca.passo == kMarcaCreata || lavoroVuotato)
                    throw Error("la tabella " + nome_ + " non ha più le sue righe e TMP222 non le contiene");
                if (tabella)
                    eliminaTabellaVuota();
                break;
            case kMarcaTabellaEliminata:
                if (tabella)
                    throw Error("la tabella " + nome_ + " è stata creata di nuovo da altri dopo che la rigenerazione "
                                "l'aveva eliminata");
                break;
            case kMarcaTabellaCreata:
                break;
            case kMarcaRicopiata:
                dove_ = Righe::NellaTabellaRigenerata;
                eliminaLavoro(true, !lavoroVuotato);
                return;
            }
            dove_ = Righe::InTmp222;
            if (!esiste(nome_))
                crea(nome_, kMarcaTabellaCreata);
            avanza(4);
            copiaIndietro();
        });
    }

private:
    void prova(const std::function<void()>& lavoro)
    {
        try {
            lavoro();
        } catch (const std::exception& e) {
            throw Error("Rigenerazione della tabella " + nome_ + " non riuscita: " + e.what() + ". " + dove());
        }
    }

    void daCapo()
    {
        dove_ = Righe::NellaTabella;
        crea(kTabellaLavoroIb, kMarcaCreata);
        lavoroCreato_ = true;
        avanza(1);
        Versioni copiate;
        riservate("copia in TMP222", [&](ib::Query& q, ib::Transaction& tr) {
            righe_ = copiaEsatta(t_.IBDatabase1, tr, nome_, kTabellaLavoroIb);
            copiaTransazione_ = transazioneCorrente(q);
            copiate = versioni(q);
            scriviMarca(q, kMarcaCopiata);
        });
        avanza(2);
        // Dropped only as it was copied: the same versions of the same rows. A transaction
        // that began before the copy writes versions numbered below it, so their numbers alone
        // cannot tell; the reservation makes this transaction see every write committed since.
        riservate("elimina " + nome_, [&](ib::Query& q, ib::Transaction&) {
            const Versioni ora = versioni(q);
            if (ora != copiate)
                throw Error("un altro programma ha cambiato la tabella " + nome_ + " durante la copia in TMP222 (" +
                            std::to_string(righe_) + " righe copiate, ora " + std::to_string(ora.size()) + ")");
            esegui(q, {"DROP TABLE " + ib::nomeTraVirgolette(nome_)});
            scriviMarca(q, kMarcaTabellaEliminata);
        });
        dove_ = Righe::InTmp222;
        avanza(3);
        crea(nome_, kMarcaTabellaCreata);
        avanza(4);
        copiaIndietro();
    }

    // The rows back into the table, committed; then TMP222 dropped.
    void copiaIndietro()
    {
        riservate("copia nella tabella", [&](ib::Query& q, ib::Transaction& tr) {
            const std::int64_t copiate = copiaEsatta(t_.IBDatabase1, tr, kTabellaLavoroIb, nome_);
            if (copiate != righe_)
                throw Error("nella tabella TMP222 ci sono " + std::to_string(copiate) + " righe invece delle " +
                            std::to_string(righe_) + " che vi erano state copiate");
            esegui(q, {istruzioneFineAttesa(nome_)});
            scriviMarca(q, kMarcaRicopiata);
        });
        dove_ = Righe::NellaTabellaRigenerata;
        avanza(5);
        eliminaLavoro(true);
    }

    // TMP222 of this run, still marked ours for this table, dropped: once the table holds
    // every row again (`ricopiata`; TMP222 holding them too unless `contaLavoro` is false), or
    // when it holds nothing the table lacks (the table then not reserved: another program
    // holding one of its rows does not keep TMP222 there).
    void eliminaLavoro(bool ricopiata, bool contaLavoro = true)
    {
        riservate(std::string("elimina ") + kTabellaLavoroIb, [&](ib::Query& q, ib::Transaction& tr) {
            const auto m = leggiMarca(t_.IBDatabase1, tr);
            if (!m || !m->nostra || m->tabella != nome_)
                throw Error("la tabella TMP222 non è più quella della rigenerazione");
            if (ricopiata) {
                q.sql = {std::string("SELECT (SELECT COUNT(*) FROM ") + kTabellaLavoroIb + "), (SELECT COUNT(*) FROM " +
                         ib::nomeTraVirgolette(nome_) + ") FROM RDB$DATABASE"};
                q.open();
                const std::int64_t lavoro = q.field(0).asInt64(), tabella = q.field(1).asInt64();
                q.close();
                if ((contaLavoro && lavoro != righe_) || tabella < righe_)
                    throw Error("TMP222 ha " + std::to_string(lavoro) + " righe e la tabella " + nome_ + " " +
                                std::to_string(tabella) + ", invece di " + std::to_string(righe_) +
                                ": TMP222 non è stata eliminata");
            }
            esegui(q, {std::string("DROP TABLE ") + kTabellaLavoroIb});
        }, !ricopiata);
        lavoroCreato_ = false;
        avanza(kPassi);
    }

    // The table, rebuilt empty after its killed drop, dropped again.
    void eliminaTabellaVuota()
    {
        riservate("elimina " + nome_, [&](ib::Query& q, ib::Transaction&) {
            q.sql = {"SELECT COUNT(*) FROM " + ib::nomeTraVirgolette(nome_)};
            q.open();
            const std::int64_t n = q.field(0).asInt64();
            q.close();
            if (n != 0)
                throw Error("la tabella " + nome_ + " ricostruita vuota contiene " + std::to_string(n) +
                            " righe messe da altri");
            esegui(q, {"DROP TABLE " + ib::nomeTraVirgolette(nome_)});
            scriviMarca(q, kMarcaTabellaEliminata);
        });
    }

    // The tables of this run that a killed drop left without their pages: what they held is
    // elsewhere, and a compaction brings them back empty, so that they can go. Which ones.
    std::set<std::string> ricostruisciSenzaPagine()
    {
        std::vector<std::string> senzaPagine;
        {
            ib::TransactionScope lettura(t_.IBTransaction1);
            senzaPagine = tabelleSenzaPagine(t_.IBDatabase1, t_.IBTransaction1);
            lettura.commit();
        }
        std::set<std::string> nostre;
        for (const std::string& n : senzaPagine)
            if (n == nome_ || n == kTabellaLavoroIb)
                nostre.insert(n);
        if (!nostre.empty())
            compatta();
        return nostre;
    }

    // The archive compacted in the middle of the work, with the connection closed and opened
    // again; the tables whose pages were gone come back empty.
    void compatta()
    {
        Compattazione c;
        c.cartellaBackup = richiediDirectory(t_, DirectoryLavoro::BackupRiparazioni);
        c.parametri = t_.IBDatabase1.params;
        c.nome = t_.IBDatabase1.databaseName();
        Interazione& io = g_.interazione();
        c.attesa = [&] { io.elaboraEventi(); };
        t_.IBDatabase1.disconnect();
        compattato_ = true;
        try {
            compattaArchivio(c);
        } catch (...) {
            t_.ConnettiDatabaseIB();
            throw;
        }
        t_.ConnettiDatabaseIB();
    }

    void avanza(int passo) { g_.interazione().progresso("Rigenerazione " + nome_, passo, kPassi); }

    // One unit of work, committed; the test seam sees it before the commit.
    void passo(const std::string& nome, ib::Transaction& tr, const std::function<void(ib::Query&)>& lavoro)
    {
        ib::TransactionScope scope(tr);
        {
            ib::Query q(t_.IBDatabase1, &tr);
            lavoro(q);
        }
        if (guasto())
            guasto()(nome);
        scope.commit();
    }

    // Both tables (TMP222 alone with `soloLavoro`) reserved against every other writer, in a
    // transaction of their own.
    void riservate(const std::string& nome, const std::function<void(ib::Query&, ib::Transaction&)>& lavoro,
                   bool soloLavoro = false)
    {
        ib::Transaction tr(&t_.IBDatabase1);
        tr.params = {"write", "concurrency"};
        for (const std::string& tabella : {nome_, std::string(kTabellaLavoroIb)})
            if ((!soloLavoro || tabella == kTabellaLavoroIb) && esiste(tabella))
                tr.params.insert(tr.params.end(), {"lock_write=" + tabella, "protected"});
        passo(nome, tr, [&](ib::Query& q) { lavoro(q, tr); });
    }

    static void esegui(ib::Query& q, std::vector<std::string> sql)
    {
        q.close();
        q.sql = std::move(sql);
        q.execSql();
        q.close();
    }

    // Every row of the table by its place and the transaction that wrote its version: a row
    // added, changed or deleted changes the set, whatever the writer's number.
    using Versioni = std::vector<std::pair<std::string, std::int64_t>>;
    Versioni versioni(ib::Query& q)
    {
        q.close();
        q.sql = {"SELECT RDB$DB_KEY, RDB$RECORD_VERSION FROM " + ib::nomeTraVirgolette(nome_)};
        Versioni v;
        for (q.open(); !q.eof(); q.next())
            v.emplace_back(q.field(0).asBytes(), q.field(1).asInt64());
        q.close();
        std::sort(v.begin(), v.end());
        return v;
    }

    static std::int64_t transazioneCorrente(ib::Query& q)
    {
        q.close();
        q.sql = {"SELECT CURRENT_TRANSACTION FROM RDB$DATABASE"};
        q.open();
        const std::int64_t n = q.field(0).asInt64();
        q.close();
        return n;
    }

    void scriviMarca(ib::Query& q, int passo)
    {
        esegui(q, {istruzioneMarca(testoMarca({nome_, passo, righe_, copiaTransazione_}))});
    }

    bool esiste(const std::string& tabella)
    {
        ib::TransactionScope lettura(t_.IBTransaction1);
        const bool c = ib::relazioneEsiste(t_.IBDatabase1, tabella, &t_.IBTransaction1);
        lettura.commit();
        return c;
    }

    // The table `tabella` created from the dictionary, with the mark of step `numero`, in one
    // transaction.
    //
    // The remains of a change of structure that was killed can make the server refuse the
    // indexes: a compaction removes them, and the creation is tried once more.
    void crea(const std::string& tabella, int numero)
    {
        if (guasto())
            guasto()("crea " + tabella);
        const auto istruzioni = istruzioniCreazioneIB(g_.descrizioneCorrente(LetturaTipo::Archivio), tabella);
        auto creazione = [&] {
            passo("creata " + tabella, t_.IBTransaction1, [&](ib::Query& q) {
                for (const IstruzioneSql& righe : istruzioni)
                    esegui(q, righe);
                if (tabella == nome_)
                    esegui(q, {istruzioneAttesaRighe(nome_)});
                scriviMarca(q, numero);
            });
        };
        try {
            creazione();
        } catch (const ib::Error& e) {
            if (!e.indiceNonCreabile() || compattato_)
                throw;
            compatta();
            try {
                creazione();
            } catch (const ib::Error& ancora) {
                if (!ancora.indiceNonCreabile())
                    throw;
                throw Error(ancora.what() + std::string(kRimedioIndiceNonCreabile));
            }
        }
    }

    // Said after a failure: where the rows are, TMP222 removed when it holds nothing needed.
    std::string dove()
    {
        const std::string riprende = " La prossima rigenerazione della tabella " + nome_ + " riprende da qui";
        switch (dove_) {
        case Righe::NellaTabella: {
            std::string testo = "Le righe sono nella tabella " + nome_ + ", rimasta com'era";
            if (lavoroCreato_) {
                try {
                    if (esiste(kTabellaLavoroIb))
                        eliminaLavoro(false);
                } catch (const std::exception& e) {
                    testo += "; la tabella di lavoro TMP222 è rimasta nell'archivio (" + std::string(e.what()) + ")." +
                             riprende;
                }
            }
            return testo;
        }
        case Righe::InTmp222:
            return "Le righe sono tutte nella tabella TMP222 dell'archivio, da non eliminare: la tabella " + nome_ +
                   (esisteSenzaErrori(nome_) ? " è stata creata di nuovo ma non le contiene." : " non c'è più.") +
                   riprende;
        case Righe::NellaTabellaRigenerata:
            break;
        }
        if (!lavoroCreato_)
            return "Le righe sono nella tabella " + nome_ + " rigenerata";
        return "Le righe sono nella tabella " + nome_ + " rigenerata e anche nella tabella di lavoro TMP222." + riprende;
    }

    bool esisteSenzaErrori(const std::string& tabella)
    {
        try {
            return esiste(tabella);
        } catch (const std::exception&) {
            return false;
        }
    }

    GestioneTabelle& g_;
    TTabForm& t_;
    std::string nome_;
    Righe dove_ = Righe::NellaTabella;
    std::int64_t righe_ = 0;
    std::int64_t copiaTransazione_ = 0;
    bool lavoroCreato_ = false;
    bool compattato_ = false;
};

std::string tmp222Altrui(const std::string& nome)
{
    return "Impossibile rigenerare la tabella " + nome + ": nell'archivio c'è la tabella " + kTabellaLavoroIb +
           ", lasciata da una rigenerazione precedente, che può contenere le righe di una tabella. Controllarla ed "
           "eliminarla prima di procedere";
}

}  // namespace

void impostaGuastoRigenerazioneIb(std::function<void(const std::string& passo)> f)
{
    guasto() = std::move(f);
}

bool RigeneraTabIbCorrente(GestioneTabelle& g)
{
    if (!g.Precondizioni())
        return false;
    Interazione& io = g.interazione();
    const std::string nome = g.EditTabellaCorrente();
    const std::string tabella = ib::nomeTabellaArchivio(nome);
    TTabForm& t = g.tabForm();
    t.ConnettiDatabaseIB();
    if (!t.IBDatabase1.connected())
        return false;
    std::optional<MarcaRigenerazione> marca;
    {
        ib::TransactionScope lettura(t.IBTransaction1);
        marca = leggiMarca(t.IBDatabase1, t.IBTransaction1);
        lettura.commit();
    }
    // A run of this table that was stopped: finished, even when the table is gone.
    if (marca && marca->nostra && marca->tabella == tabella) {
        if (io.domanda(kDomandaRigenerazione) == Risposta::No)
            return false;
        g.richiediDettagli();
        g.descrizioneCorrente(LetturaTipo::Archivio);
        RigenerazioneIb(g, nome).riprendi(*marca);
        io.messaggio(kRigenerazioneCompletata);
        return true;
    }
    if (!g.TestTabIb(nome)) {
        io.messaggio(kTabellaNonEsisteRigenerazione);
        return false;
    }
    if (io.domanda(kDomandaRigenerazione) == Risposta::No)
        return false;
    // Refused before anything is sent: names that are not plain identifiers, a description
    // that cannot give a sound table.
    RigenerazioneIb lavoro(g, nome);
    g.richiediDettagli();
    g.descrizioneCorrente(LetturaTipo::Archivio);
    if (marca && marca->nostra) {
        io.messaggio("Impossibile rigenerare la tabella " + nome + ": la tabella " + kTabellaLavoroIb +
                     " dell'archivio è di una rigenerazione della tabella " + marca->tabella +
                     " interrotta al passo " + std::to_string(marca->passo) +
                     ", che ne può contenere le righe. Rigenerare prima la tabella " + marca->tabella +
                     ", che la completa");
        return false;
    }
    if (marca) {
        io.messaggio(tmp222Altrui(nome));
        return false;
    }
    bool attende = false;
    {
        ib::TransactionScope lettura(t.IBTransaction1);
        attende = attendeRighe(t.IBDatabase1, t.IBTransaction1, tabella);
        lettura.commit();
    }
    if (attende) {
        io.messaggio("Impossibile rigenerare la tabella " + nome + ": una rigenerazione interrotta l'ha creata di "
                     "nuovo vuota e la tabella " + kTabellaLavoroIb + " che ne conteneva le righe non c'è più. "
                     "Ripristinare le righe da un backup dell'archivio");
        return false;
    }
    lavoro.esegui();
    io.messaggio(kRigenerazioneCompletata);
    return true;
}

}  // namespace korva
