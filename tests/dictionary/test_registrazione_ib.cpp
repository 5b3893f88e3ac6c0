// Registering archive tables, against the real embedded engine: tables made by statements as
// other tools make them, read back through the catalogue.

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "ditta_prova.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
using test::voce;
using Righe = std::vector<std::string>;

class RegistrazioneIb : public ::testing::Test {
protected:
    DittaProva d{"INTERBASE"};

    void SetUp() override
    {
        d.dizionario({test::righe("fantasma", "x/", {"a:A1*"})});
        d.io.risposte({Risposta::Si});
        d.tabForm->ConnettiDatabaseIB();
        d.io.azzera();
    }

    void sql(const std::vector<std::string>& istruzioni)
    {
        ib::TransactionScope lavoro(d.tabForm->IBTransaction1);
        ib::Query q(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
        for (const std::string& s : istruzioni) {
            q.close();
            q.sql = {s};
            q.execSql();
        }
        q.close();
        lavoro.commit();
    }

    // The list's choice and the folder dialog's text, then the registration.
    bool registra(GestioneTabelle& g, std::optional<std::string> tabella, const std::string& percorso = "")
    {
        return g.RegistraTabellaIb([&] { return tabella; }, [&] { return percorso; });
    }
};

TEST_F(RegistrazioneIb, ChiaveDiDueColonneDalNomeIndiciRidottiETipi)
{
    sql({"CREATE TABLE MOV_CLI (A VARCHAR(6) NOT NULL, B SMALLINT NOT NULL, C CHAR(3), D TIMESTAMP, "
         "E BLOB SUB_TYPE 1, F DATE, G TIME, H FLOAT, I INTEGER, J BLOB)",
         "CREATE UNIQUE INDEX MOV_CLI_CHIAVEPRIMARIA ON MOV_CLI (A, B)",
         "CREATE INDEX MOV_CLI_PERDATA ON MOV_CLI (D, I, A)",
         "CREATE DESCENDING INDEX MOV_CLI_I ON MOV_CLI (I)"});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    EXPECT_TRUE(registra(g, "MOV_CLI", "initab/"));
    EXPECT_EQ(voce(g.TracciatiDir(), "mov_cli"),
              (Righe{"tabella mov_cli|initab/mov_cli/|10|2|1|1|0|0", "campo 1|A|A6|1|0|0", "campo 2|B|S|1|0|0",
                     "campo 3|C|A3|0|0|0", "campo 4|D|D|0|0|0", "campo 5|E|M80|0|0|0", "campo 6|F|D|0|0|0",
                     "campo 7|G|T|0|0|0", "campo 8|H|N|0|0|0", "campo 9|I|I|0|1|1", "campo 10|J|M80|0|0|0",
                     "indice CLI_PERDATA|1|2|1", "indice CLI_PERDATA|4|0|1", "indice CLI_PERDATA|9|1|1"}));
    // What the archive would not get back: the text subtype, DATE, FLOAT.
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: La tabella mov_cli sarà registrata con queste differenze:\n"
                                    "colonna C (CHAR(3)): registrata come A3\n"
                                    "indice MOV_CLI_I: registrato senza le proprietà discendente\n"
                                    "colonna E (BLOB SUB_TYPE TEXT): registrata come M80, nell'archivio sarà "
                                    "creata BLOB (senza il sottotipo testo)\n"
                                    "colonna F (DATE): registrata come D, nell'archivio sarà creata TIMESTAMP "
                                    "(data e ora)\n"
                                    "colonna H (FLOAT): registrata come N, nell'archivio sarà creata DOUBLE "
                                    "PRECISION"}));
    EXPECT_EQ(g.EditTabellaCorrente(), "mov_cli");
    EXPECT_EQ(g.indiciCorrenti().size(), 3u);
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
}

TEST_F(RegistrazioneIb, ChiaveDiUnaColonnaDalNomeEIrregolaritaSegnalata)
{
    sql({"CREATE TABLE CLIENTI (CODICE INTEGER NOT NULL, NOME VARCHAR(20))",
         "CREATE INDEX CLIENTI_CHIAVEPRIMARIA ON CLIENTI (CODICE)",
         "CREATE TABLE DOPPIA (A INTEGER NOT NULL, B INTEGER NOT NULL, C VARCHAR(5), PRIMARY KEY (A, B))",
         "CREATE INDEX DOPPIA_CHIAVEPRIMARIA ON DOPPIA (A)",
         "CREATE TABLE CLIENTI2 (ANNO SMALLINT NOT NULL, CODICE INTEGER NOT NULL, NOME VARCHAR(20))",
         "CREATE INDEX CLIENTI2_CHIAVEPRIMARIA2 ON CLIENTI2 (NOME)",
         "CREATE UNIQUE INDEX ANAGRAFE_CHIAVEPRIMARIA ON CLIENTI2 (ANNO, CODICE)"});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    // The folder dialog left empty.
    EXPECT_TRUE(registra(g, "CLIENTI"));
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti"),
              (Righe{"tabella clienti|clienti/|2|1|0|0|0|0", "campo 1|CODICE|I|1|0|0", "campo 2|NOME|A20|0|0|0"}));
    // Over two columns, under a name that is not the table's: the reduced name alone.
    EXPECT_TRUE(registra(g, "CLIENTI2"));
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti2"),
              (Righe{"tabella clienti2|clienti2/|3|2|1|0|0|0", "campo 1|ANNO|S|1|0|0", "campo 2|CODICE|I|1|0|0",
                     "campo 3|NOME|A20|0|1|1"}));
    EXPECT_TRUE(d.io.eventi().empty());
    EXPECT_TRUE(registra(g, "DOPPIA"));
    EXPECT_EQ(voce(g.TracciatiDir(), "doppia"),
              (Righe{"tabella doppia|doppia/|3|1|0|0|0|0", "campo 1|A|I|1|0|0", "campo 2|B|I|0|0|0",
                     "campo 3|C|A5|0|0|0"}));
    // B is NOT NULL in the archive, and no longer a key column.
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: Sospetta irregolarità nel riconoscimento chiave primaria",
                                    "messaggio: La tabella doppia sarà registrata con queste differenze:\n"
                                    "colonna B: registrata senza NOT NULL (il dizionario lo descrive soltanto "
                                    "per le colonne della chiave)"}));
}

TEST_F(RegistrazioneIb, NessunaSceltaTabelleRifiutateEVoceVecchiaIntatta)
{
    sql({"CREATE TABLE CONTI (A INTEGER NOT NULL, SALDO NUMERIC(10,2), GRANDE BIGINT, D BOOLEAN, "
         "S COMPUTED BY (A * 2), PRIMARY KEY (A))",
         "CREATE TABLE ORDINE (A INTEGER NOT NULL, B INTEGER NOT NULL, PRIMARY KEY (B, A))"});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    const Righe fantasma = voce(g.TracciatiDir(), "fantasma");
    // "Annulla", and "Apri" with no table selected: nothing asked, nothing changed.
    EXPECT_FALSE(registra(g, std::nullopt));
    EXPECT_FALSE(registra(g, ""));
    EXPECT_EQ(erroreDi([&] { registra(g, "CONTI"); }),
              "Impossibile registrare la tabella conti: il dizionario non può descrivere queste colonne:\n"
              "colonna SALDO: tipo NUMERIC(10,2)\ncolonna GRANDE: tipo BIGINT\n"
              "colonna D: tipo BOOLEAN\ncolonna S: calcolata");
    EXPECT_EQ(erroreDi([&] { registra(g, "ORDINE"); }),
              "Impossibile registrare la tabella ordine: la chiave primaria (B, A) non è formata dalle prime "
              "colonne della tabella nel loro ordine, come il dizionario la descrive");
    // A table that cannot be opened: after Yes the old entry is still whole.
    d.io.risposte({Risposta::Si});
    EXPECT_NE(erroreDi([&] { registra(g, "FANTASMA"); }), "nessun errore");
    EXPECT_EQ(voce(g.TracciatiDir(), "fantasma"), fantasma);
    EXPECT_TRUE(voce(g.TracciatiDir(), "conti").empty());
    EXPECT_TRUE(voce(g.TracciatiDir(), "ordine").empty());
    EXPECT_EQ(d.io.eventi(), (Righe{"domanda: Tabella esistente, Sostituire tabella? "}));
    EXPECT_FALSE(d.tabForm->IBTransaction1.inTransaction());
}

// The typed folder stays inside the data directory; XXXCONF, the verification's own name, is
// registered with a warning.
TEST_F(RegistrazioneIb, CartellaFuoriRifiutataENomeDelConfrontoAvvisato)
{
    sql({"CREATE TABLE CLIENTI (CODICE INTEGER NOT NULL, PRIMARY KEY (CODICE))",
         "CREATE TABLE XXXCONF (CODICE INTEGER NOT NULL, PRIMARY KEY (CODICE))"});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    for (const std::string fuori : {"../../../fuori/", "a/../../", "..\\"}) {
        EXPECT_EQ(erroreDi([&] { registra(g, "CLIENTI", fuori); }),
                  "Impossibile registrare la tabella clienti: la cartella \"" + fuori +
                      "clienti/\" è fuori dalla directory di lavoro " + d.tabForm->LavoroDir)
            << fuori;
        EXPECT_TRUE(voce(g.TracciatiDir(), "clienti").empty());
    }
    EXPECT_TRUE(registra(g, "CLIENTI", "initab/../archivi/"));
    EXPECT_TRUE(registra(g, "XXXCONF", "initab/"));
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: " + avvisoNomeTabellaConfronto("xxxconf")}));
    EXPECT_FALSE(voce(g.TracciatiDir(), "xxxconf").empty());
}

}  // namespace
}  // namespace korva
