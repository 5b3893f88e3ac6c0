// Regenerating an archive table: its rows parked in TMP222 while the table is created again
// from the dictionary. Each step is committed on its own (the server needs a commit after
// each DDL step), in an order that keeps every committed row in the table or in TMP222, and
// the rows are counted before each drop.

#include "maintenance/rigenerazione.h"

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
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

class RigenerazioneIb {
public:
    RigenerazioneIb(GestioneTabelle& g, std::string nome)
        : g_(g), t_(g.tabForm()), nome_(ib::maiuscole(nome))
    {
        ib::verificaIdentificatore(nome_, "nome della tabella");
    }

    void esegui()
    {
        try {
            passi();
        } catch (const std::exception& e) {
            throw Error("Rigenerazione della tabella " + nome_ + " non riuscita: " + e.what() + ". " + dove());
        }
    }

private:
    void passi()
    {
        const std::int64_t righe = conta(nome_);
        avanza(1);
        crea(kTabellaLavoroIb);
        lavoroCreato_ = true;
        avanza(2);
        copia(nome_, kTabellaLavoroIb, "copia in TMP222");
        avanza(3);
        elimina(nome_, kTabellaLavoroIb, righe);
        righe_ = Righe::InTmp222;
        avanza(4);
        crea(nome_);
        avanza(5);
        copia(kTabellaLavoroIb, nome_, "copia nella tabella");
        righe_ = Righe::NellaTabellaRigenerata;
        avanza(6);
        elimina(kTabellaLavoroIb, nome_, righe);
        lavoroCreato_ = false;
        avanza(7);
    }

    void avanza(int passo) { g_.interazione().progresso("Rigenerazione " + nome_, passo, 7); }

    // One unit of work, committed; the test seam sees it before the commit.
    void passo(const std::string& nome, const std::function<void(ib::Query&)>& lavoro)
    {
        ib::TransactionScope scope(t_.IBTransaction1);
        {
            ib::Query q(t_.IBDatabase1, &t_.IBTransaction1);
            lavoro(q);
        }
        if (guasto())
            guasto()(nome);
        scope.commit();
    }

    static std::int64_t conta(ib::Query& q, const std::string& tabella)
    {
        q.close();
        q.sql = {"SELECT COUNT(*) FROM " + ib::nomeTraVirgolette(tabella)};
        q.open();
        const std::int64_t n = q.field(0).asInt64();
        q.close();
        return n;
    }

    std::int64_t conta(const std::string& tabella)
    {
        std::int64_t n = 0;
        passo("conteggio " + tabella, [&](ib::Query& q) { n = conta(q, tabella); });
        return n;
    }

    std::vector<std::string> colonne(const std::string& tabella)
    {
        std::vector<std::string> nomi;
        passo("colonne " + tabella, [&](ib::Query&) {
            ib::Table t(t_.IBDatabase1, &t_.IBTransaction1);
            t.setTableName(tabella);
            for (const auto& c : t.fieldDefs())
                if (!c.computed)
                    nomi.push_back(ib::nomeTraVirgolette(c.name));
        });
        return nomi;
    }

    // The rows of `da` into `a`, column by column in their order; the server converts each
    // value to the new column's type and refuses one that does not fit.
    void copia(const std::string& da, const std::string& a, const std::string& nomePasso)
    {
        const auto sorgente = colonne(da);
        const auto destinazione = colonne(a);
        const std::size_t n = std::min(sorgente.size(), destinazione.size());
        std::string elencoA, elencoDa;
        for (std::size_t i = 0; i < n; ++i) {
            elencoA += (i ? ", " : "") + destinazione[i];
            elencoDa += (i ? ", " : "") + sorgente[i];
        }
        passo(nomePasso, [&](ib::Query& q) {
            q.sql = {"INSERT INTO " + ib::nomeTraVirgolette(a) + " (" + elencoA + ")",
                     "SELECT " + elencoDa + " FROM " + ib::nomeTraVirgolette(da)};
            q.execSql();
        });
    }

    void elimina(const std::string& tabella)
    {
        passo("elimina " + tabella, [&](ib::Query& q) {
            q.sql = {"DROP TABLE " + ib::nomeTraVirgolette(tabella)};
            q.execSql();
        });
    }

    // Dropped in the transaction that finds every row in both tables.
    void elimina(const std::string& tabella, const std::string& copia, std::int64_t attese)
    {
        passo("elimina " + tabella, [&](ib::Query& q) {
            for (const std::string& t : {tabella, copia}) {
                const std::int64_t n = conta(q, t);
                if (n != attese)
                    throw Error("la tabella " + t + " ha " + std::to_string(n) + " righe invece di " +
                                std::to_string(attese) + ": la tabella " + tabella + " non è stata eliminata");
            }
            q.sql = {"DROP TABLE " + ib::nomeTraVirgolette(tabella)};
            q.execSql();
        });
    }

    void crea(const std::string& tabella)
    {
        if (guasto())
            guasto()("crea " + tabella);
        if (!g_.CreaTabIB(tabella))
            throw Error("la tabella " + tabella + " non è stata creata");
    }

    // Said after a failure: where the rows are, TMP222 removed when it holds nothing needed.
    std::string dove()
    {
        switch (righe_) {
        case Righe::NellaTabella: {
            std::string testo = "Le righe sono nella tabella " + nome_ + ", rimasta com'era";
            if (lavoroCreato_) {
                try {
                    elimina(kTabellaLavoroIb);
                } catch (const std::exception& e) {
                    testo += "; la tabella di lavoro TMP222 è rimasta nell'archivio e va eliminata (" +
                             std::string(e.what()) + ")";
                }
            }
            return testo;
        }
        case Righe::InTmp222:
            return "Le righe sono tutte nella tabella TMP222 dell'archivio, da non eliminare: la tabella " +
                   nome_ + (esiste(nome_) ? " è stata creata di nuovo ma non le contiene" : " non c'è più");
        case Righe::NellaTabellaRigenerata:
            break;
        }
        if (!lavoroCreato_)
            return "Le righe sono nella tabella " + nome_ + " rigenerata";
        return "Le righe sono nella tabella " + nome_ +
               " rigenerata e anche nella tabella di lavoro TMP222, rimasta nell'archivio";
    }

    bool esiste(const std::string& tabella)
    {
        try {
            return g_.TestTabIb(tabella);
        } catch (const std::exception&) {
            return false;
        }
    }

    GestioneTabelle& g_;
    TTabForm& t_;
    std::string nome_;
    Righe righe_ = Righe::NellaTabella;
    bool lavoroCreato_ = false;
};

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
    if (g.TestTabIb(kTabellaLavoroIb)) {
        io.messaggio("Impossibile rigenerare la tabella " + nome + ": nell'archivio c'è la tabella " +
                     kTabellaLavoroIb +
                     ", lasciata da una rigenerazione precedente, che può contenere le righe di una "
                     "tabella. Controllarla ed eliminarla prima di procedere");
        return false;
    }
    lavoro.esegui();
    io.messaggio(kRigenerazioneCompletata);
    return true;
}

}  // namespace korva
