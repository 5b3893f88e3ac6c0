#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

TEST(CliPx, CreaCaricaDumpInfo)
{
    CartellaTemporanea t;
    auto e = eseguiKorva({"px", "crea", t / "T.DB", "--campo", "Codice:A10", "--campo", "Valore:N",
                          "--campo", "Data:D", "--campo", "Ora:T", "--campo", "Note:M20", "--campo", "Si:L",
                          "--chiave", "1"});
    ASSERT_EQ(e.codice, 0) << e.err;
    test::scriviFile(t / "a.csv", "codice,NOTE,valore,data,ora,si\r\n"
                                  "b,\"riga\ndue, con \"\"virgolette\"\"\",2.5,2020-01-31,10:00:01.5,true\r\n"
                                  "à,,0.1,,,\r\n"
                                  "c,,,,,false\r\n");
    e = eseguiKorva({"px", "carica", t / "T.DB", t / "a.csv"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Record caricati: 3\n");
    // A key violation stops at its line; what came before stays.
    test::scriviFile(t / "b.csv", "Codice,Valore\nd,1\nb,2\ne,3\n");
    e = eseguiKorva({"px", "carica", t / "T.DB", t / "b.csv"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err, "Riga 3: Violazione di chiave nella tabella " + t.percorso() +
                         "/T.DB: esiste già un record con la stessa chiave.\n");
    test::scriviFile(t / "c.csv", "Codice,Data\nf,2021-13-01\n");
    e = eseguiKorva({"px", "carica", t / "T.DB", t / "c.csv"});
    EXPECT_EQ(e.err, "Riga 2: Il valore \"2021-13-01\" non è valido per il campo Data (data)\n");

    e = eseguiKorva({"px", "dump", t / "T.DB"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Codice,Valore,Data,Ora,Note,Si\n"
                     "b,2.5,2020-01-31,10:00:01.500,\"riga\ndue, con \"\"virgolette\"\"\",true\n"
                     "c,,,,,false\n"
                     "d,1,,,,\n"
                     "à,0.1,,,,\n");
    e = eseguiKorva({"px", "info", t / "T.DB"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Tabella: " + t.percorso() + "/T.DB\n"
                     "Livello: 5 (0xb)\nBlocchi: 2048 byte\nCode page: 1252\n"
                     "Ordinamento: DBWINUS0 (0x4c)\nRecord: 4\nCampi:\n"
                     "  1 Codice A10\n  2 Valore N\n  3 Data D\n  4 Ora T\n  5 Note M20\n  6 Si L\n"
                     "Indici:\n  (primario) Codice [primario,univoco]\n");
    e = eseguiKorva({"px", "crea", t / "X.DB", "--campo", "Nome:Q5"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err, "Tipo di campo sconosciuto in \"Nome:Q5\"\n");
}

TEST(CliPx, CampiObbligatoriConIlPuntoEsclamativo)
{
    CartellaTemporanea t;
    auto e = eseguiKorva({"px", "crea", t / "O.DB", "--campo", "Codice:A10!", "--campo", "Nota:A5",
                          "--campo", "Quanti:S!", "--chiave", "1"});
    ASSERT_EQ(e.codice, 0) << e.err;
    e = eseguiKorva({"px", "info", t / "O.DB"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("Campi:\n  1 Codice A10 obbligatorio\n  2 Nota A5\n  3 Quanti S obbligatorio\n"),
              std::string::npos) << e.out;
    test::scriviFile(t / "a.csv", "Codice,Nota,Quanti\na,,1\nb,x,\n");
    e = eseguiKorva({"px", "carica", t / "O.DB", t / "a.csv"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err, "Riga 3: Il campo Quanti della tabella " + t.percorso() + "/O.DB è obbligatorio.\n");
    e = eseguiKorva({"px", "crea", t / "X.DB", "--campo", "Nome!"});
    EXPECT_EQ(e.err, "Campo non valido: \"Nome!\" (atteso NOME:TIPO[DIMENSIONE][!])\n");
}

TEST(CliPx, IndiciSecondariCreatiMostratiEUsatiPerIlDump)
{
    CartellaTemporanea t;
    auto e = eseguiKorva({"px", "crea", t / "C.DB", "--campo", "Codice:I", "--campo", "Citta:A20",
                          "--campo", "Nome:A10", "--chiave", "1", "--indice", "Nome=Nome",
                          "--indice", "CittaNome=Citta;Nome:ci"});
    ASSERT_EQ(e.codice, 0) << e.err;
    test::scriviFile(t / "c.csv", "Codice,Citta,Nome\n1,roma,b\n2,Milano,a\n3,Roma,a\n4,milano,c\n");
    ASSERT_EQ(eseguiKorva({"px", "carica", t / "C.DB", t / "c.csv"}).codice, 0);
    e = eseguiKorva({"px", "info", t / "C.DB"});
    EXPECT_NE(e.out.find("Indici:\n  (primario) Codice [primario,univoco]\n  Nome Nome []\n"
                         "  CittaNome Citta;Nome [maiuscole-indifferenti]\n"),
              std::string::npos) << e.out;
    e = eseguiKorva({"px", "dump", t / "C.DB", "--indice", "cittanome"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Codice,Citta,Nome\n2,Milano,a\n4,milano,c\n3,Roma,a\n1,roma,b\n");
    e = eseguiKorva({"px", "dump", t / "C.DB", "--indice", "Nessuno"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err, "Indice Nessuno non trovato nella tabella " + t.percorso() + "/C.DB.\n");
    e = eseguiKorva({"px", "crea", t / "D.DB", "--campo", "A:A5", "--chiave", "1", "--indice", "X=A:forse"});
    EXPECT_EQ(e.err, "Opzione di indice sconosciuta in \"X=A:forse\": forse.\n");
}

}  // namespace
}  // namespace korva
