// The archive branches against the real embedded engine: the count through COUNT(*), the
// emptying and the drop committed (seen from another connection), No sending nothing.

#include "checks/esistenza_conteggio.h"
#include "checks/rigenerazione_indici.h"
#include "ditta_prova.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::DittaProva;
using Eventi = std::vector<std::string>;

class Archivio : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.dizionario({test::clientiEsempio()});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.io.risposte({Risposta::Si});  // the archive is made at the first command
        ASSERT_TRUE(g->CreaTabella());
        altra.setDatabaseName(d.tabForm->IBDatabase1.databaseName());
        altra.params = parametriConnessioneIb();
        altra.connect();
        lettura.setDefaultDatabase(&altra);
        esegui("INSERT INTO CLIENTI (CODICE, RAGSOC) VALUES ('C1', 'Uno')");
        esegui("INSERT INTO CLIENTI (CODICE, RAGSOC) VALUES ('C2', 'Due')");
        d.io.azzera();
        d.tabForm->IBDatabase1.setOsservatore([this](const std::string& testo, ib::Invio) { inviate.push_back(testo); });
    }
    // Through another connection, committed.
    void esegui(const std::string& sql)
    {
        ib::Query q(altra, &lettura);
        q.sql = {sql};
        q.execSql();
        q.close();
        lettura.commit();
    }
    std::int64_t righeViste()
    {
        ib::Query q(altra, &lettura);
        q.sql = {"SELECT COUNT(*) FROM CLIENTI"};
        q.open();
        const std::int64_t n = q.field(0).asInt64();
        q.close();
        lettura.commit();
        return n;
    }
    bool esisteVista()
    {
        const bool c = ib::relazioneEsiste(altra, "CLIENTI", &lettura);
        lettura.commit();
        return c;
    }

    DittaProva d{"INTERBASE"};
    std::unique_ptr<GestioneTabelle> g;
    ib::Database altra;
    ib::Transaction lettura;
    std::vector<std::string> inviate;
};

TEST_F(Archivio, ConteggioEAzzeramentoConfermati)
{
    EXPECT_TRUE(TestEsistenza(*g));
    EXPECT_EQ(NumeroRecord(*g), 2);
    // The count is the server's: the rows are not fetched.
    EXPECT_NE(std::find(inviate.begin(), inviate.end(), "SELECT COUNT(*) FROM \"CLIENTI\""), inviate.end());
    d.io.risposte({Risposta::No});
    EXPECT_TRUE(Azzera(*g));
    EXPECT_EQ(righeViste(), 2);
    inviate.clear();
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(Azzera(*g));
    EXPECT_EQ(inviate.at(inviate.size() - 2), "DELETE FROM clienti");
    EXPECT_EQ(inviate.back(), "COMMIT");
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    EXPECT_EQ(righeViste(), 0);
    EXPECT_EQ(d.io.eventi(), (Eventi{"messaggio: La Tabella Esiste", "inizio", "messaggio: Numero Record = 2", "fine",
                                     "inizio", "domanda: Procedo all' azzeramento tabella?", "fine", "inizio",
                                     "domanda: Procedo all' azzeramento tabella?", "fine"}));
}

TEST_F(Archivio, EliminazioneDopoSiConfermataNoNonInviaNulla)
{
    d.io.risposte({Risposta::No});
    EXPECT_FALSE(EliminaTabellaIB(*g));
    EXPECT_TRUE(inviate.empty());

    // Another connection that has read the table keeps it in use until it disconnects: the
    // drop is refused at once (not waited for) and undone.
    {
        ib::Query q(altra, &lettura);
        q.sql = {"SELECT * FROM CLIENTI"};
        q.open();
        d.io.risposte({Risposta::Si});
        EXPECT_FALSE(EliminaTabellaIB(*g));
    }
    EXPECT_EQ(inviate.back(), "ROLLBACK");
    EXPECT_TRUE(esisteVista());
    altra.disconnect();
    altra.connect();

    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(EliminaTabellaIB(*g));
    EXPECT_EQ(inviate.at(inviate.size() - 2), "DROP TABLE clienti");
    EXPECT_EQ(inviate.back(), "COMMIT");
    EXPECT_FALSE(esisteVista());
    d.io.risposte({Risposta::Si});
    EXPECT_FALSE(EliminaTabellaIB(*g));
    EXPECT_FALSE(NumeroRecord(*g));
    EXPECT_EQ(d.io.eventi(),
              (Eventi{"domanda: Vuoi eliminare la tabella corrente (clienti)?",
                      "domanda: Vuoi eliminare la tabella corrente (clienti)?",
                      std::string("messaggio: ") + kErroreEliminazione,
                      "domanda: Vuoi eliminare la tabella corrente (clienti)?", "messaggio: La tabella è stata eliminata",
                      "domanda: Vuoi eliminare la tabella corrente (clienti)?",
                      "messaggio: Attenzione: la tabella selezionata non esiste", "inizio",
                      "messaggio: La Tabella Non Esiste", "fine"}));
}

}  // namespace
}  // namespace korva
