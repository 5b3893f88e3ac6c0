// Regenerating an archive table: its rows parked in TMP222 while the table is created again
// from the dictionary. TMP222 is created and committed (the server needs a commit after each
// creation); then, with both tables reserved against every other writer, the rows are copied
// into it and the table is dropped in one transaction; the table is created again; then, in
// one reserved transaction again, the rows are copied back and TMP222 dropped. Every committed
// row is in the table or in TMP222 at every moment. Each step also writes, in its own
// transaction, the mark that makes TMP222 ours: the next regeneration of the same table
// finishes a run that was killed, from the step where it stopped.

#include "maintenance/rigenerazione.h"

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/sql_creazione.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/copia_esatta_ib.h"
#include "maintenance/marca_rigenerazione_ib.h"
#include "shell/tabform.h"

namespace korva {

namespace {

std::function<void(const std::string&)>& guasto()
{
    static std::function<void(const std::string&)> g;
    return g;
}

// Where the rows are while the work goes on.
enum class Righe { NellaTabella, InTmp222, NellaTabellaRigenerata };

constexpr int kPassi = 4;

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
        lavoroCreato_ = true;
        prova([&] {
            const bool tabella = esiste(nome_);
            if (marca.passo == kMarcaCreata) {
                if (!tabella)
                    throw Error("la tabella " + nome_ + " non c'è più e TMP222 non ne ha ricevuto le righe");
                // The table was never touched: the empty work table goes, the work starts again.
                eliminaLavoroVuoto();
                daCapo();
                return;
            }
            if (marca.passo == kMarcaTabellaEliminata && tabella)
                throw Error("la tabella " + nome_ + " è stata creata di nuovo da altri dopo che la rigenerazione "
                            "l'aveva eliminata");
            dove_ = Righe::InTmp222;
            if (!tabella)
                crea(nome_, kMarcaTabellaCreata);
            avanza(3);
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
        riservate("copia in TMP222", [&](ib::Query& q, ib::Transaction& tr) {
            righe_ = copiaEsatta(t_.IBDatabase1, tr, nome_, kTabellaLavoroIb);
            esegui(q, {"DROP TABLE " + ib::nomeTraVirgolette(nome_)});
            esegui(q, {istruzioneMarca(testoMarca({nome_, kMarcaTabellaEliminata, righe_}))});
        });
        dove_ = Righe::InTmp222;
        avanza(2);
        crea(nome_, kMarcaTabellaCreata);
        avanza(3);
        copiaIndietro();
    }

    // The rows back into the table, and TMP222 dropped, in one transaction.
    void copiaIndietro()
    {
        riservate("copia nella tabella", [&](ib::Query& q, ib::Transaction& tr) {
            const std::int64_t copiate = copiaEsatta(t_.IBDatabase1, tr, kTabellaLavoroIb, nome_);
            if (copiate != righe_)
                throw Error("nella tabella TMP222 ci sono " + std::to_string(copiate) + " righe invece delle " +
                            std::to_string(righe_) + " che vi erano state copiate");
            esegui(q, {std::string("DROP TABLE ") + kTabellaLavoroIb});
        });
        dove_ = Righe::NellaTabellaRigenerata;
        lavoroCreato_ = false;
        avanza(kPassi);
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

    // Both tables reserved against every other writer, in a transaction of their own: no row
    // can arrive in the table that is dropped after the copy.
    void riservate(const std::string& nome, const std::function<void(ib::Query&, ib::Transaction&)>& lavoro)
    {
        ib::Transaction tr(&t_.IBDatabase1);
        tr.params = {"write", "concurrency", "lock_write=" + nome_, "protected",
                     std::string("lock_write=") + kTabellaLavoroIb, "protected"};
        passo(nome, tr, [&](ib::Query& q) { lavoro(q, tr); });
    }

    static void esegui(ib::Query& q, std::vector<std::string> sql)
    {
        q.close();
        q.sql = std::move(sql);
        q.execSql();
        q.close();
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
    void crea(const std::string& tabella, int numero)
    {
        if (guasto())
            guasto()("crea " + tabella);
        const auto istruzioni = istruzioniCreazioneIB(g_.descrizioneCorrente(LetturaTipo::Archivio), tabella);
        passo("creata " + tabella, t_.IBTransaction1, [&](ib::Query& q) {
            for (const IstruzioneSql& righe : istruzioni)
                esegui(q, righe);
            esegui(q, {istruzioneMarca(testoMarca({nome_, numero, righe_}))});
        });
    }

    // TMP222 of this run, created and never filled, dropped (still marked ours, for this
    // table, and empty: checked in the transaction that drops it).
    void eliminaLavoroVuoto()
    {
        riservate(std::string("elimina ") + kTabellaLavoroIb, [&](ib::Query& q, ib::Transaction& tr) {
            const auto m = leggiMarca(t_.IBDatabase1, tr);
            if (!m || !m->nostra || m->tabella != nome_ || m->passo != kMarcaCreata)
                throw Error("la tabella TMP222 non è più quella creata dalla rigenerazione");
            q.sql = {std::string("SELECT COUNT(*) FROM ") + kTabellaLavoroIb};
            q.open();
            const std::int64_t n = q.field(0).asInt64();
            q.close();
            if (n != 0)
                throw Error("la tabella TMP222 creata dalla rigenerazione contiene righe che non vi ha messo");
            esegui(q, {std::string("DROP TABLE ") + kTabellaLavoroIb});
        });
        lavoroCreato_ = false;
    }

    // Said after a failure: where the rows are, TMP222 removed when it holds nothing needed.
    std::string dove()
    {
        switch (dove_) {
        case Righe::NellaTabella: {
            std::string testo = "Le righe sono nella tabella " + nome_ + ", rimasta com'era";
            if (lavoroCreato_) {
                try {
                    eliminaLavoroVuoto();
                } catch (const std::exception& e) {
                    testo += "; la tabella di lavoro TMP222 è rimasta nell'archivio (" + std::string(e.what()) + ")";
                }
            }
            return testo;
        }
        case Righe::InTmp222:
            return "Le righe sono tutte nella tabella TMP222 dell'archivio, da non eliminare: la tabella " + nome_ +
                   (esisteSenzaErrori(nome_) ? " è stata creata di nuovo ma non le contiene." : " non c'è più.") +
                   " La prossima rigenerazione della tabella " + nome_ + " riprende da qui";
        case Righe::NellaTabellaRigenerata:
            break;
        }
        return "Le righe sono nella tabella " + nome_ + " rigenerata";
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
    bool lavoroCreato_ = false;
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
    lavoro.esegui();
    io.messaggio(kRigenerazioneCompletata);
    return true;
}

}  // namespace korva
