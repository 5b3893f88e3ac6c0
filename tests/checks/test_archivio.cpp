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
        leggi("INSERT INTO CLIENTI (CODICE) SELECT 'C1' FROM RDB$DATABASE UNION SELECT 'C2' FROM RDB$DATABASE", false);
        d.io.azzera();
        d.tabForm->IBDatabase1.setOsservatore([this](const std::string& testo, ib::Invio) { inviate.push_back(testo); });
    }
    // A statement through another connection, committed; the first value of a query.
    std::int64_t leggi(const std::string& sql, bool righe = true)
    {
        ib::Query q(altra, &lettura);
        q.sql = {sql};
        std::int64_t n = 0;
        if (righe) {
            q.open();
            n = q.field(0).asInt64();
        } else {
            q.execSql();
        }
        q.close();
        lettura.commit();
        return n;
    }

    test::DittaProva d{"INTERBASE"};
    std::unique_ptr<GestioneTabelle> g;
    ib::Database altra;
    ib::Transaction lettura;
    std::vector<std::string> inviate;
};

const std::string kContaTabelle = "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'CLIENTI'";

TEST_F(Archivio, ConteggioEAzzeramentoConfermati)
{
    EXPECT_TRUE(TestEsistenza(*g));
    EXPECT_EQ(NumeroRecord(*g), 2);
    // The server counts: the rows are not fetched.
    EXPECT_NE(std::find(inviate.begin(), inviate.end(), "SELECT COUNT(*) FROM \"CLIENTI\""), inviate.end());
    d.io.risposte({Risposta::No, Risposta::Si});
    EXPECT_TRUE(Azzera(*g));
    EXPECT_EQ(leggi("SELECT COUNT(*) FROM CLIENTI"), 2);
    inviate.clear();
    EXPECT_TRUE(Azzera(*g));
    EXPECT_EQ(inviate.at(inviate.size() - 2), "DELETE FROM clienti");
    EXPECT_EQ(inviate.back(), "COMMIT");
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    EXPECT_EQ(leggi("SELECT COUNT(*) FROM CLIENTI"), 0);
    EXPECT_EQ(d.io.eventi(), (Eventi{"messaggio: La Tabella Esiste", "inizio", "messaggio: Numero Record = 2", "fine",
                                     "inizio", "domanda: Procedo all' azzeramento tabella?", "fine", "inizio",
                                     "domanda: Procedo all' azzeramento tabella?", "fine"}));
}

// A DELETE the server refuses is undone at once: nothing stays pending for a later commit.
TEST_F(Archivio, AzzeramentoRifiutatoAnnullato)
{
    leggi("CREATE EXCEPTION NON_SI_CANCELLA 'clienti protetti'", false);
    leggi("CREATE TRIGGER PROTEGGI FOR CLIENTI BEFORE DELETE AS BEGIN EXCEPTION NON_SI_CANCELLA; END", false);
    d.io.risposte({Risposta::Si});
    EXPECT_NE(test::erroreDi([&] { Azzera(*g); }).find("clienti protetti"), std::string::npos);
    EXPECT_EQ(inviate.back(), "ROLLBACK");
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    EXPECT_EQ(leggi("SELECT COUNT(*) FROM CLIENTI"), 2);
}

// The all-tables button does not look at the mode: the Paradox rebuild, and the archive is
// not touched.
TEST_F(Archivio, RigenerazioneDiTutteSempreParadox)
{
    EXPECT_FALSE(RigeneraTutto(*g));
    EXPECT_TRUE(inviate.empty());
    EXPECT_EQ(d.io.eventi(),
              (Eventi{"inizio", "messaggio: Impossibile procedere: tabella clienti non apribile in modo esclusivo",
                      "messaggio: Rigenerazione indici di tutte le tabelle terminata (1 tabella non rigenerata)", "fine"}));
}

TEST_F(Archivio, EliminazioneDopoSiConfermataNoNonInviaNulla)
{
    d.io.risposte({Risposta::No});
    EXPECT_TRUE(EliminaTabellaIB(*g));
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
    EXPECT_EQ(leggi(kContaTabelle), 1);
    altra.disconnect();
    altra.connect();

    d.io.risposte({Risposta::Si, Risposta::Si});
    EXPECT_TRUE(EliminaTabellaIB(*g));
    EXPECT_EQ(inviate.at(inviate.size() - 2), "DROP TABLE clienti");
    EXPECT_EQ(inviate.back(), "COMMIT");
    EXPECT_EQ(leggi(kContaTabelle), 0);
    EXPECT_FALSE(EliminaTabellaIB(*g));
    EXPECT_FALSE(NumeroRecord(*g));
    const std::string domanda = "domanda: Vuoi eliminare la tabella corrente (clienti)?";
    EXPECT_EQ(d.io.eventi(), (Eventi{domanda, domanda, std::string("messaggio: ") + kErroreEliminazione, domanda,
                                     "messaggio: La tabella è stata eliminata", domanda,
                                     "messaggio: Attenzione: la tabella selezionata non esiste", "inizio",
                                     "messaggio: La Tabella Non Esiste", "fine"}));
}

}  // namespace
}  // namespace korva
