// Creating archive tables from the dictionary, against the real embedded engine: the exact
// statements sent (as the statement object reports them) and the catalogue afterwards.

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "ditta_prova.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/transaction.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
using test::righe;
namespace fs = std::filesystem;

const std::string kDomandaArchivio = "domanda: Attenzione: Il Database selezionato non esiste. Crearlo?";

// A company in the archive mode whose archive is made at the first command, with every
// statement and transaction end sent to it recorded.
class CreazioneIb : public ::testing::Test {
protected:
    DittaProva d{"INTERBASE"};
    std::vector<std::string> inviate;

    void SetUp() override
    {
        d.tabForm->IBDatabase1.setOsservatore([this](const std::string& testo, ib::Invio tipo) {
            if (tipo == ib::Invio::Esecuzione || tipo == ib::Invio::Commit || tipo == ib::Invio::Rollback)
                inviate.push_back(testo);
        });
    }

    std::vector<ib::FieldDef> campi(const std::string& tabella)
    {
        return ib::leggiCampi(d.tabForm->IBDatabase1, tabella, &transazioneLettura());
    }
    std::vector<ib::IndexDef> indici(const std::string& tabella)
    {
        return ib::leggiIndici(d.tabForm->IBDatabase1, tabella, &transazioneLettura());
    }
    bool esiste(const std::string& tabella)
    {
        return ib::relazioneEsiste(d.tabForm->IBDatabase1, tabella, &transazioneLettura());
    }
    // The catalogue is read in a transaction of the test's own, so that the commands'
    // transaction is seen as they leave it.
    ib::Transaction& transazioneLettura()
    {
        if (lettura_.inTransaction())
            lettura_.commit();
        lettura_.setDefaultDatabase(&d.tabForm->IBDatabase1);
        return lettura_;
    }

private:
    ib::Transaction lettura_;
};

TEST_F(CreazioneIb, EsempioClientiIstruzioniEsatteECatalogo)
{
    d.dizionario({test::clientiEsempio()});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(g.CreaTabella());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", kDomandaArchivio,
                                                       "messaggio: La Tabella è stata creata", "fine"}));
    EXPECT_EQ(inviate, (std::vector<std::string>{
                           "CREATE TABLE CLIENTI (\n"
                           "\"CODICE\" VARCHAR(6) NOT NULL,\n"
                           "\"RAGSOC\" VARCHAR(40),\n"
                           "\"SCADENZA\" TIMESTAMP\n"
                           ")",
                           "ALTER TABLE CLIENTI\n"
                           "ADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )",
                           "CREATE INDEX CLIENTI_ragsoc ON CLIENTI (ragsoc)",
                           "CREATE INDEX CLIENTI_perscad ON CLIENTI (scadenza,codice)",
                           "COMMIT",
                       }));
    EXPECT_EQ(g.FileTabellaCorrente, "CLIENTI");
    EXPECT_EQ(g.NomeTabellaCorrente, "clienti");
    // Nothing is left pending between commands.
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());

    auto c = campi("CLIENTI");
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].name, "CODICE");
    EXPECT_EQ(c[0].type, ib::TipoCampo::Varchar);
    EXPECT_EQ(c[0].size, 6);
    EXPECT_TRUE(c[0].required);
    EXPECT_EQ(c[1].name, "RAGSOC");
    EXPECT_EQ(c[1].size, 40);
    EXPECT_FALSE(c[1].required);
    EXPECT_EQ(c[2].type, ib::TipoCampo::Timestamp);
    auto ix = indici("CLIENTI");
    ASSERT_EQ(ix.size(), 3u);
    EXPECT_EQ(ix[0].name, "CLIENTI_CHIAVEPRIMARIA");
    EXPECT_EQ(ix[0].fields, "CODICE");
    EXPECT_TRUE(ix[0].primary);
    EXPECT_EQ(ix[1].name, "CLIENTI_PERSCAD");
    EXPECT_EQ(ix[1].fields, "SCADENZA;CODICE");
    EXPECT_FALSE(ix[1].unique);
    EXPECT_EQ(ix[2].name, "CLIENTI_RAGSOC");
    EXPECT_EQ(ix[2].fields, "RAGSOC");

    // Once there, the table is not made again and nothing is sent.
    EXPECT_TRUE(g.TestTabIb("clienti"));
    EXPECT_TRUE(g.TestTabIb("CLIENTI"));
    EXPECT_FALSE(g.TestTabIb("fornitor"));
    // The reading ends with the test; a transaction already at work stays so.
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    d.tabForm->IBTransaction1.start();
    EXPECT_TRUE(g.TestTabIb("clienti"));
    EXPECT_TRUE(d.tabForm->IBTransaction1.inTransaction());
    d.tabForm->IBTransaction1.commit();
    inviate.clear();
    d.io.azzera();
    EXPECT_FALSE(g.CreaTabella());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella Esiste Già", "fine"}));
    // No statement: only the end of the existence test's reading.
    EXPECT_EQ(inviate, std::vector<std::string>{"ROLLBACK"});
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
}

TEST_F(CreazioneIb, AltroNomeMinuscoloConLaStrutturaDellaRigaCorrenteESenzaChiave)
{
    d.dizionario({test::clientiEsempio(), righe("note", "", {"testo:M50", "quando:T", "n:N", "i:I", "s:S", "foto:G"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.io.risposte({Risposta::Si});
    ASSERT_TRUE(g.vaiA("clienti"));
    EXPECT_TRUE(g.CreaTabIB("xxxconf"));
    EXPECT_EQ(g.FileTabellaCorrente, "XXXCONF");
    EXPECT_EQ(inviate.at(0).substr(0, inviate[0].find('\n')), "CREATE TABLE XXXCONF (");
    EXPECT_EQ(inviate.at(1), "ALTER TABLE XXXCONF\nADD CONSTRAINT XXXCONF_CHIAVEPRIMARIA PRIMARY KEY ( codice )");
    EXPECT_EQ(inviate.at(2), "CREATE INDEX XXXCONF_ragsoc ON XXXCONF (ragsoc)");
    EXPECT_EQ(campi("XXXCONF").size(), 3u);
    auto ix = indici("XXXCONF");
    ASSERT_EQ(ix.size(), 3u);
    EXPECT_EQ(ix[1].name, "XXXCONF_PERSCAD");
    EXPECT_FALSE(esiste("CLIENTI"));

    // Without key fields: no ALTER TABLE; every type letter has its column type (a blob needs
    // no length in the archive).
    ASSERT_TRUE(g.vaiA("note"));
    inviate.clear();
    EXPECT_TRUE(g.CreaTabIBCorrente());
    EXPECT_EQ(inviate, (std::vector<std::string>{"CREATE TABLE NOTE (\n\"TESTO\" BLOB,\n\"QUANDO\" TIME,\n"
                                                 "\"N\" DOUBLE PRECISION,\n\"I\" INTEGER,\n\"S\" SMALLINT,\n\"FOTO\" BLOB\n)",
                                                 "COMMIT"}));
    EXPECT_TRUE(indici("NOTE").empty());
}

TEST_F(CreazioneIb, UnaIstruzioneRifiutataDalServerNonLasciaNullaAUnCommitSuccessivo)
{
    // "select" is a column name the server takes only between quotes: the CREATE TABLE
    // (quoted) and the key pass, the index (unquoted) is refused.
    d.dizionario({righe("guasta", "", {"codice:A6*", "select:A10+"}), righe("sana", "", {"codice:A6*"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.io.risposte({Risposta::Si});
    g.primo();
    const std::string errore = erroreDi([&] { g.CreaTabella(); });
    EXPECT_NE(errore.find("Token unknown"), std::string::npos) << errore;
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", kDomandaArchivio}));
    // The index is refused when it is prepared: the table and its key, already executed,
    // are rolled back.
    ASSERT_EQ(inviate.size(), 4u);
    EXPECT_EQ(inviate[1].substr(0, inviate[1].find('\n')), "ALTER TABLE GUASTA");
    EXPECT_EQ(inviate[2], "CREATE INDEX GUASTA_select ON GUASTA (select)");
    EXPECT_EQ(inviate[3], "ROLLBACK");
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());

    // Called by itself (as the layout check and the import call it), the creation rolls back
    // its own statements too.
    inviate.clear();
    EXPECT_NE(erroreDi([&] { g.CreaTabIB("guasta2"); }).find("Token unknown"), std::string::npos);
    ASSERT_EQ(inviate.size(), 4u);
    EXPECT_EQ(inviate[3], "ROLLBACK");
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());

    // A later command commits its own work only.
    g.successivo();
    EXPECT_TRUE(g.CreaTabIBCorrente());
    EXPECT_EQ(inviate.back(), "COMMIT");
    EXPECT_TRUE(esiste("SANA"));
    EXPECT_FALSE(esiste("GUASTA"));
    EXPECT_FALSE(esiste("GUASTA2"));
    EXPECT_FALSE(g.TestTabIb("guasta"));
}

TEST_F(CreazioneIb, NomiEDescrizioniCattiveRifiutatePrimaDiInviareQualcosa)
{
    const std::pair<RigheTabella, std::string> casi[] = {
        {righe("a b", "", {"codice:A6*"}), "Nome di tabella non valido: \"A B\""},
        {righe("x", "", {"codice:A6*", "ra\"g:A5"}), "Nome di campo non valido: \"ra\"g\""},
        {righe("x", "", {"codice:A6*", "a;drop:A5"}), "Nome di campo non valido: \"a;drop\""},
        {righe("x", "", {"codice:A6*", "b:A5"}, {{"i x", {{1, "0"}, {2, "1"}}}}),
         "Nome di indice non valido: \"X_i x\""},
        // A field name the server takes, whose index name (31 at most) it would not.
        {righe("tabell", "", {"codice:A6*", "campolungoventicinquecarx:A5+"}),
         "Nome di indice non valido: \"TABELL_campolungoventicinquecarx\""},
        {righe("x", "", {"codice:A6*", "b:Z5"}), "campo b: tipo \"Z5\" non previsto"},
        {righe("x", "", {"codice:A6*", "b:A"}), "campo b: la lunghezza del tipo \"A\" non è un numero intero"},
        {righe("x", "", {"codice:A6*"}, {}, 2), "chiave primaria: 2 campi chiave su 1 campi descritti"},
    };
    d.io.risposte({Risposta::Si});
    for (const auto& [tabella, difetto] : casi) {
        d.dizionario({tabella});
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        inviate.clear();
        const std::string errore = erroreDi([&] { g.CreaTabella(); });
        EXPECT_EQ(errore.rfind("Descrizione della tabella " + tabella.tabella.NomeTabella + " non valida: " + difetto, 0),
                  0u)
            << errore;
        // At most the end of the archive test's reading, never a statement.
        for (const std::string& inviata : inviate)
            EXPECT_TRUE(inviata == "ROLLBACK" || inviata == "COMMIT") << inviata;
        EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    }
    EXPECT_TRUE(ib::nomiTabelleUtente(d.tabForm->IBDatabase1, &transazioneLettura()).empty());
}

TEST_F(CreazioneIb, CreaTuttoEModoLettoAOgniComando)
{
    d.dizionario({righe("uno", "", {"a:A5*"}), righe("due", "x/", {"a:A5*", "b:D+"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.io.risposte({Risposta::Si});
    ASSERT_TRUE(g.vaiA("uno"));
    EXPECT_TRUE(g.CreaTutto());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", kDomandaArchivio,
                                                       "messaggio: Creazione di tutte le tabelle terminata", "fine"}));
    EXPECT_TRUE(esiste("UNO"));
    EXPECT_TRUE(esiste("DUE"));
    EXPECT_EQ(g.EditTabellaCorrente(), "uno");
    d.io.azzera();
    g.CreaTutto();
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella Esiste Già",
                                                       "messaggio: La Tabella Esiste Già",
                                                       "messaggio: Creazione di tutte le tabelle terminata", "fine"}));
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());

    // The same window, another mode: the Paradox table is made now.
    d.tabForm->TipoDataBase = "PARADOX";
    d.io.azzera();
    EXPECT_TRUE(g.CreaTabella());
    EXPECT_TRUE(fs::exists(d.cartella / "dati/uno.DB"));
}

TEST_F(CreazioneIb, CreaTuttoChiedeLArchivioUnaVoltaEIlNoFinisceLaCorsa)
{
    d.dizionario({righe("uno", "", {"a:A5*"}), righe("due", "", {"a:A5*"}), righe("tre", "", {"a:A5*"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("tre"));
    d.io.risposte({Risposta::No});
    EXPECT_FALSE(g.CreaTutto());
    // No table was created: no final message, the row it started at is current again.
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", kDomandaArchivio, "fine"}));
    EXPECT_EQ(d.io.risposteRimaste(), 0u);
    EXPECT_FALSE(fs::exists(d.cartella / "archivio.gdb"));
    EXPECT_TRUE(inviate.empty());
    EXPECT_EQ(g.EditTabellaCorrente(), "tre");
}

// A connection that fails is no answer about the table: the client's message reaches the
// caller, so that "La Tabella Non Esiste" is never said of a table that may be there.
TEST_F(CreazioneIb, UnaConnessioneFallitaNonDiceCheLaTabellaManca)
{
    d.dizionario({test::clientiEsempio()});
    test::scriviFile(d.cartella / "archivio.gdb", "non un archivio");
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    EXPECT_THROW(g.TestTabIb("clienti"), ib::Error);
    EXPECT_TRUE(d.io.eventi().empty());
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
    EXPECT_EQ(test::leggiFile(d.cartella / "archivio.gdb"), "non un archivio");

    // Connected, a table that is not there is simply missing.
    fs::remove(d.cartella / "archivio.gdb");
    d.io.risposte({Risposta::Si});
    EXPECT_FALSE(g.TestTabIb("clienti"));
    EXPECT_TRUE(d.tabForm->IBDatabase1.connected());
}

}  // namespace
}  // namespace korva
