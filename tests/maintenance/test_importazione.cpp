// The import between Paradox and the archive with the real engines: moves every 10,000
// records, required fields, skipped tables, the stop button, failures that leave exactly the
// committed moves.

#include "importazione_prova.h"

#include "engines/interbase/database.h"
#include "engines/paradox/table.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::righe;
using Righe = std::vector<std::string>;
namespace fs = std::filesystem;
constexpr auto kDaParadox = DirezioneImportazione::DaParadox;
constexpr auto kDaInterbase = DirezioneImportazione::DaInterbase;

const std::string kTerminata = std::string("messaggio: ") + kImportazioneTerminata;
const std::string kNonVuota = std::string("messaggio: ") + kDestinazioneNonVuota;

void chiaveETesto(paradox::Table& t, std::int64_t i)
{
    t.field(0).setInteger(i + 1);
    t.field(1).setString(std::string("riga ").append(std::to_string(i + 1)));
}

TEST(Importazione, PercentualiArrotondateAlPariETitoli)
{
    struct Caso {
        std::int64_t fatto, totale;
        int atteso;
    };
    for (const Caso& c : std::vector<Caso>{{1, 8, 12}, {3, 8, 38}, {5, 8, 62}, {1, 200, 0}, {3, 200, 2},
                                           {1, 3, 33}, {2, 3, 67}, {3, 3, 100}, {0, 0, 0}, {7, 7, 100}})
        EXPECT_EQ(percentuale(c.fatto, c.totale), c.atteso) << c.fatto << "/" << c.totale;
    EXPECT_EQ(titoloImportazione(direzioneDaTesto("PARADOX"), "Rossi"),
              "Importazione dati da Paradox a Interbase - Ditta: Rossi");
    EXPECT_EQ(titoloImportazione(direzioneDaTesto("paradox"), "Rossi"),
              "Importazione dati da Interbase a Paradox - Ditta: Rossi");
}

TEST(Importazione, NienteSpuntatoSoloIlMessaggioENessunArchivioToccato)
{
    test::ImportazioneProva p({righe("alfa", "", {"k:I*"})});
    fs::remove(p.tabForm->Archivio);
    for (auto direzione : {kDaParadox, kDaInterbase}) {
        const EsitoImportazione e = p.importa(direzione, {"alfa"}, {false});
        EXPECT_FALSE(e.eseguita);
        EXPECT_FALSE(fs::exists(p.tabForm->Archivio));
    }
    EXPECT_EQ(p.io2.eventi(), (Righe{"messaggio: Selezionare almeno una tabella da importare",
                                     "messaggio: Selezionare almeno una tabella da importare"}));
    EXPECT_TRUE(p.vista.eventi.empty());
}

TEST(Importazione, VersoArchivioSpostaOgniDiecimilaRecordEAllaFine)
{
    test::ImportazioneProva p({righe("grande", "", {"k:I*", "testo:A20"}), righe("piccola", "sub/", {"k:I*", "testo:A20"})});
    p.tabellaParadox("grande", 25000, chiaveETesto);
    p.tabellaParadox("piccola", 7, chiaveETesto);
    Righe inviate;
    p.tabForm->IBDatabase1.setOsservatore([&](const std::string& testo, ib::Invio) {
        if (testo.rfind("INSERT INTO GRANDE", 0) == 0 || testo.rfind("INSERT INTO PICCOLA", 0) == 0 ||
            testo == "DELETE FROM IMPTMP" || testo == "COMMIT" || testo.rfind("DROP TABLE", 0) == 0)
            inviate.push_back(testo.substr(0, testo.find(" (")));
    });
    const EsitoImportazione e = p.importa(kDaParadox, {"grande", "piccola"});
    EXPECT_TRUE(e.eseguita);
    EXPECT_EQ(e.importate, 2);
    EXPECT_EQ(p.io2.eventi(), (Righe{kTerminata}));
    EXPECT_EQ(p.vista.di("L2"), (Righe{"Record importati: 10000", "Record importati: 20000"}));
    EXPECT_EQ(p.vista.di("L1"), (Righe{"Importazione tabella grande", "Importazione tabella piccola"}));
    EXPECT_EQ(p.vista.di("B2"), (Righe{"0", "50", "100"}));
    // Three moves for the big table, one for the small one, each between two commits.
    int mosse = 0;
    for (std::size_t i = 0; i < inviate.size(); ++i)
        if (inviate[i].rfind("INSERT INTO", 0) == 0) {
            ++mosse;
            ASSERT_LT(i + 2, inviate.size());
            EXPECT_EQ(inviate[i - 1], "COMMIT");
            EXPECT_EQ(inviate[i + 1], "DELETE FROM IMPTMP");
            EXPECT_EQ(inviate[i + 2], "COMMIT");
        }
    EXPECT_EQ(mosse, 4);
    EXPECT_EQ(p.righe("GRANDE"), 25000);
    EXPECT_EQ(p.righe("PICCOLA"), 7);
    // The staging table stays, as a temporary table whose rows no other connection sees.
    EXPECT_EQ(p.valore("SELECT RDB$RELATION_TYPE FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'IMPTMP'"), "4");
    EXPECT_EQ(p.valore("SELECT TESTO FROM GRANDE WHERE K = 25000"), "riga 25000");
    EXPECT_FALSE(p.tabForm->IBDatabase1.connected());
    EXPECT_TRUE(p.tabForm->IBTransaction1.params.empty());
}

TEST(Importazione, CampiObbligatoriVuotiRicevonoSpazioOZero)
{
    test::ImportazioneProva p({righe("obbl", "", {"c:A6*", "i:I*", "s:S*", "n:N*", "facolt:A10", "fi:I"})});
    p.tabellaParadox("obbl", 1, [](paradox::Table&, std::int64_t) {});
    p.importa(kDaParadox, {"obbl"});
    EXPECT_EQ(p.valore("SELECT CHAR_LENGTH(C) || '|' || I || '|' || S || '|' || CAST(N AS INTEGER) || '|' || "
                       "COALESCE(FACOLT, 'nullo') || '|' || COALESCE(FI, -1) FROM OBBL"),
              "1|0|0|0|nullo|-1");
    // Back to Paradox: the blank text is a blank, the zeros are zeros.
    fs::remove_all(p.cartella / "dati");
    fs::create_directories(p.cartella / "dati");
    p.importa(kDaInterbase, {"obbl"});
    paradox::Table t;
    t.setDatabaseName(p.tabForm->LavoroDir);
    t.setTableName("obbl.DB");
    t.open();
    ASSERT_EQ(t.recordCount(), 1u);
    t.first();
    EXPECT_EQ(t.field("c").asString(), " ");
    EXPECT_EQ(t.field("i").asInteger(), 0);
    EXPECT_FALSE(t.field("n").isNull());
    EXPECT_TRUE(t.field("facolt").isNull());
    EXPECT_TRUE(t.field("fi").isNull());
}

TEST(Importazione, TabelleSaltateNonFermanoLeAltreEDestinazioniPieneRestanoComeSono)
{
    // alfa cannot be created (its file is where the creation looks), beta holds records.
    const std::vector<std::string> campi{"k:I*", "testo:A20"};
    test::ImportazioneProva p({righe("alfa", "sub", campi), righe("beta", "", campi), righe("gamma", "", campi)});
    for (const char* nome : {"alfa", "beta", "gamma"}) {
        p.sql({std::string("CREATE TABLE ") + nome + " (K INTEGER NOT NULL, TESTO VARCHAR(20))"});
        p.sql({std::string("INSERT INTO ") + nome + " VALUES (1, 'da archivio')"});
    }
    test::scriviFile(p.cartella / "dati/subalfa.DB", "");
    p.tabellaParadox("beta", 3, chiaveETesto);
    const EsitoImportazione e = p.importa(kDaInterbase, {"alfa", "nessuna", "beta", "gamma"});
    EXPECT_EQ(e.importate, 1);
    EXPECT_EQ(e.saltate, 3);
    EXPECT_EQ(p.io2.eventi(), (Righe{"messaggio: La Tabella Esiste Già", "messaggio: Tabella alfa destinazione non creata",
                                     kNonVuota, kTerminata}));
    EXPECT_EQ(p.vista.di("B2"), (Righe{"0", "25", "50", "75", "100"}));
    EXPECT_EQ(p.recordParadox(p.tabForm->LavoroDir, "beta.DB"), 3);
    EXPECT_EQ(p.recordParadox(p.tabForm->LavoroDir, "gamma.DB"), 1);

    // The other way, into an archive table that holds rows: refused, its rows as they were.
    p.io2.azzera();
    p.vista.eventi.clear();
    const EsitoImportazione e2 = p.importa(kDaParadox, {"beta", "gamma"}, {true, false});
    EXPECT_EQ(e2.saltate, 1);
    EXPECT_EQ(p.io2.eventi(), (Righe{kNonVuota, kTerminata}));
    EXPECT_EQ(p.vista.di("B2"), (Righe{"0", "100"}));
    EXPECT_EQ(p.righe("BETA"), 1);
}

TEST(Importazione, InterrompiDopoCinqueRecordDellaPrimaDiDue)
{
    test::ImportazioneProva p({righe("prima", "", {"k:I*", "testo:A20"}), righe("seconda", "", {"k:I*", "testo:A20"})});
    p.tabellaParadox("prima", 50, chiaveETesto);
    p.tabellaParadox("seconda", 50, chiaveETesto);
    p.io2.stopDopo = 5;
    const EsitoImportazione e = p.importa(kDaParadox, {"prima", "seconda"});
    EXPECT_TRUE(e.interrotta);
    EXPECT_EQ(p.io2.eventi(), (Righe{kTerminata}));
    EXPECT_EQ(p.righe("PRIMA"), 5);
    EXPECT_EQ(p.righe("SECONDA"), 0);
    EXPECT_EQ(p.vista.di("B2"), (Righe{"0", "50", "100"}));

    // Back to Paradox the stop acts too: the five records are a whole batch.
    fs::remove_all(p.cartella / "dati");
    fs::create_directories(p.cartella / "dati");
    p.sql({"INSERT INTO SECONDA SELECT * FROM PRIMA", "INSERT INTO PRIMA SELECT K + 100, TESTO FROM PRIMA"});
    p.io2.stopDopo = p.io2.chiamateEventi() + 5;
    EXPECT_TRUE(p.importa(kDaInterbase, {"prima", "seconda"}).interrotta);
    EXPECT_EQ(p.recordParadox(p.tabForm->LavoroDir, "prima.DB"), 5);
    EXPECT_EQ(p.recordParadox(p.tabForm->LavoroDir, "seconda.DB"), 0);
}

TEST(Importazione, TestoTroppoLungoFermaTuttoERestanoSoloISpostamentiConfermati)
{
    // The dictionary says A5; the Paradox file was made longer.
    test::ImportazioneProva p({righe("lunga", "", {"k:I*", "testo:A5"}), righe("corta", "", {"k:I*", "testo:A5"})});
    {
        paradox::Table t;
        t.setDatabaseName(p.tabForm->LavoroDir);
        t.setTableName("lunga.DB");
        t.fieldDefs = {{"k", paradox::FieldType::Long, 0, false}, {"testo", paradox::FieldType::Alpha, 20, false}};
        t.indexDefs = {{"", "k", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
        t.createTable();
        t.open();
        t.beginBatch();
        for (int i = 1; i <= 12000; ++i) {
            t.append();
            t.field(0).setInteger(i);
            t.field(1).setString(i == 10005 ? "àèìòù troppo" : "ok");
            t.post();
        }
        t.endBatch();
    }
    EXPECT_EQ(test::erroreDi([&] { p.importa(kDaParadox, {"lunga"}); }),
              "Tabella lunga, record 10005, campo TESTO: testo di 12 caratteri, il campo destinazione ne contiene 5. "
              "Importazione interrotta: della tabella lunga restano confermati nella destinazione 10000 record");
    EXPECT_EQ(p.righe("LUNGA"), 10000);
    EXPECT_TRUE(p.io2.eventi().empty());
    EXPECT_FALSE(p.tabForm->IBTransaction1.inTransaction());
    EXPECT_TRUE(p.tabForm->IBTransaction1.params.empty());

    // From the archive into a shorter Paradox field: nothing of the unfinished batch stays.
    p.sql({"CREATE TABLE CORTA (K INTEGER NOT NULL, TESTO VARCHAR(40))"});
    p.sql({"INSERT INTO CORTA VALUES (1, 'uno')", "INSERT INTO CORTA VALUES (2, 'due')",
           "INSERT INTO CORTA VALUES (3, 'troppo lungo')"});
    EXPECT_EQ(test::erroreDi([&] { p.importa(kDaInterbase, {"corta"}); }),
              "Tabella corta, record 3, campo testo: testo di 12 caratteri, il campo destinazione ne contiene 5. "
              "Importazione interrotta: della tabella corta restano confermati nella destinazione 0 record");
    EXPECT_EQ(p.recordParadox(p.tabForm->LavoroDir, "corta.DB"), 0);
}

TEST(Importazione, GuastoAUnoSpostamentoLasciaEsattamenteQuelliPrecedenti)
{
    test::ImportazioneProva p({righe("guasto", "", {"k:I*", "testo:A20"})});
    p.tabellaParadox("guasto", 25000, chiaveETesto);
    // The archive refuses the second move: one of its records breaks a rule of the table.
    {
        GestioneTabelle g(p.io, *p.tabForm, p.tabForm->TracciatiDir1);
        ASSERT_TRUE(g.vaiA("guasto"));
        ASSERT_TRUE(g.CreaTabIBCorrente());
        p.tabForm->IBDatabase1.disconnect();
    }
    p.sql({"ALTER TABLE GUASTO ADD CONSTRAINT GUASTO_15000 CHECK (K <> 15000)"});
    const std::string errore = test::erroreDi([&] { p.importa(kDaParadox, {"guasto"}); });
    EXPECT_NE(errore.find("GUASTO_15000"), std::string::npos) << errore;
    EXPECT_NE(errore.find("restano confermati nella destinazione 10000 record"), std::string::npos) << errore;
    EXPECT_EQ(p.righe("GUASTO"), 10000);
    EXPECT_EQ(p.valore("SELECT MAX(K) FROM GUASTO"), "10000");
    EXPECT_EQ(p.vista.di("L2"), (Righe{"Record importati: 10000", "Record importati: 20000"}));
}

}  // namespace
}  // namespace korva
