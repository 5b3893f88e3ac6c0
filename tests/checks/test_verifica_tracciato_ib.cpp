// Layout verification in the archive against the real embedded engine: tables made from the
// dictionary match, columns decide, indexes are only told, and the comparison table is gone
// for every other connection when the command ends.

#include "checks/verifica_tracciato.h"
#include "dictionary/demo.h"
#include "ditta_prova.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::righe;
using Eventi = std::vector<std::string>;

const std::string kCorrisponde = std::string("messaggio: ") + kTracciatoCorrisponde;
const std::string kNonCorrisponde = std::string("messaggio: ") + kTracciatoNonCorrisponde;

class VerificaArchivio : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.dizionario({test::clientiEsempio(),
                      righe("tipi", "archivi/", {"k:A10*", "n:N", "i:I+", "s:S", "d:D", "t:T", "m:M20", "b:B10", "g:G5"},
                            {{"maius", {{1, "0"}, {4, "1"}}, 1}})});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.io.risposte({Risposta::Si});  // the archive is made at the first command
        ASSERT_TRUE(g->CreaTutto());
        altra.setDatabaseName(d.tabForm->IBDatabase1.databaseName());
        altra.params = parametriConnessioneIb();
        altra.connect();
        lavoro.setDefaultDatabase(&altra);
        ASSERT_TRUE(g->vaiA("clienti"));
        d.io.azzera();
    }
    // A statement through another connection, committed.
    void esegui(const std::string& sql)
    {
        ib::Query q(altra, &lavoro);
        q.sql = {sql};
        q.execSql();
        q.close();
        lavoro.commit();
    }
    // What another connection sees of the comparison table.
    std::int64_t confrontiVisti()
    {
        ib::Query q(altra, &lavoro);
        q.sql = {"SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'XXXCONF'"};
        q.open();
        const std::int64_t n = q.field(0).asInt64();
        q.close();
        lavoro.commit();
        return n;
    }
    // CLIENTI replaced by the table these statements make.
    void sostituisci(const std::vector<std::string>& istruzioni)
    {
        esegui("DROP TABLE CLIENTI");
        for (const std::string& sql : istruzioni)
            esegui(sql);
    }
    std::vector<std::string> verifica(bool corrisponde)
    {
        d.io.azzera();
        EXPECT_EQ(VerificaTracciato(*g), corrisponde);
        EXPECT_EQ(confrontiVisti(), 0);
        EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
        return d.io.eventi();
    }

    test::DittaProva d{"INTERBASE"};
    std::unique_ptr<GestioneTabelle> g;
    ib::Database altra;
    ib::Transaction lavoro;
};

TEST_F(VerificaArchivio, TabelleCreateDalDizionarioCorrispondonoEIlConfrontoSparisce)
{
    EXPECT_EQ(verifica(true), (Eventi{"inizio", kCorrisponde, "fine"}));
    ASSERT_TRUE(g->vaiA("tipi"));
    EXPECT_EQ(verifica(true), (Eventi{"inizio", kCorrisponde, "fine"}));
    // A comparison table left by an interrupted run, of another layout, goes first.
    esegui("CREATE TABLE XXXCONF (ZZ INTEGER)");
    ASSERT_TRUE(g->vaiA("clienti"));
    EXPECT_EQ(verifica(true), (Eventi{"inizio", kCorrisponde, "fine"}));
    d.io.azzera();
    EXPECT_TRUE(VerificaTuttiTracciati(*g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Verifica tracciati di tutte le tabelle terminata", "fine"}));
    EXPECT_EQ(g->EditTabellaCorrente(), "clienti");
    EXPECT_EQ(confrontiVisti(), 0);
}

TEST_F(VerificaArchivio, LeColonneDecidonoGliIndiciSonoSoloDetti)
{
    // Without its secondary indexes: still a match, what lacks is listed.
    sostituisci({"CREATE TABLE CLIENTI (CODICE VARCHAR(6) NOT NULL, RAGSOC VARCHAR(40), SCADENZA TIMESTAMP)",
                 "ALTER TABLE CLIENTI ADD CONSTRAINT PK_CLI PRIMARY KEY (CODICE)",
                 "CREATE DESCENDING INDEX EXTRA ON CLIENTI (RAGSOC, CODICE)"});
    EXPECT_EQ(verifica(true), (Eventi{"inizio", kCorrisponde, "dettaglio: indice PERSCAD (SCADENZA;CODICE): manca nella tabella",
                                      "dettaglio: indice RAGSOC (RAGSOC): manca nella tabella",
                                      "dettaglio: indice EXTRA (RAGSOC;CODICE): in più nella tabella", "fine"}));
    // A key column that allows nulls, without the key.
    sostituisci({"CREATE TABLE CLIENTI (CODICE VARCHAR(6), RAGSOC VARCHAR(40), SCADENZA TIMESTAMP)",
                 "CREATE INDEX R1 ON CLIENTI (RAGSOC)", "CREATE INDEX P1 ON CLIENTI (SCADENZA, CODICE)"});
    EXPECT_EQ(verifica(false), (Eventi{"inizio", kNonCorrisponde,
                                       "dettaglio: campo 1 CODICE: nel dizionario VARCHAR(6) NOT NULL, nella tabella VARCHAR(6)",
                                       "dettaglio: chiave primaria (CODICE): manca nella tabella", "fine"}));
    // A column name in lower case, a size, a type.
    sostituisci({"CREATE TABLE CLIENTI (\"codice\" VARCHAR(6) NOT NULL, RAGSOC VARCHAR(30), SCADENZA DATE)"});
    EXPECT_EQ(verifica(false),
              (Eventi{"inizio", kNonCorrisponde,
                      "dettaglio: campo 1: nel dizionario CODICE VARCHAR(6) NOT NULL, nella tabella codice VARCHAR(6) NOT NULL",
                      "dettaglio: campo 2 RAGSOC: nel dizionario VARCHAR(40), nella tabella VARCHAR(30)",
                      "dettaglio: campo 3 SCADENZA: nel dizionario TIMESTAMP, nella tabella DATE",
                      "dettaglio: chiave primaria (CODICE): manca nella tabella",
                      "dettaglio: indice PERSCAD (SCADENZA;CODICE): manca nella tabella",
                      "dettaglio: indice RAGSOC (RAGSOC): manca nella tabella", "fine"}));
}

TEST_F(VerificaArchivio, NomeInMinuscoloOTabellaMancanteNonEsiste)
{
    sostituisci({"CREATE TABLE \"clienti\" (CODICE VARCHAR(6) NOT NULL, RAGSOC VARCHAR(40), SCADENZA TIMESTAMP)"});
    EXPECT_EQ(verifica(false), (Eventi{"inizio", "messaggio: La Tabella da confrontare non esiste", kNonCorrisponde, "fine"}));
    d.io.azzera();
    EXPECT_FALSE(VerificaTuttiTracciati(*g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: La Tabella da confrontare non esiste",
                                     "messaggio: " + testoNonCorrisponde("clienti"),
                                     "messaggio: Verifica tracciati di tutte le tabelle terminata", "fine"}));
}

// The demo company's dictionary, made in the archive and verified whole.
TEST(VerificaArchivioDemo, TutteLeTabelleCorrispondono)
{
    test::DittaProva d{"INTERBASE"};
    d.dizionario(tabelleDemo());
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.io.risposte({Risposta::Si});
    ASSERT_TRUE(g.CreaTutto());
    d.io.azzera();
    EXPECT_TRUE(VerificaTuttiTracciati(g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Verifica tracciati di tutte le tabelle terminata", "fine"}));
}

}  // namespace
}  // namespace korva
