// Repairs of tables in the classic engine's dictionary orders: what comes back is what went in,
// in the table's own sort order and code page, even when the data file's header is lost (the
// .PX still names the sort order, whose byte tells the driver and its code page).

#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace korva {
namespace {

namespace px = korva::paradox;

std::vector<std::string> nomiNellOrdine(const std::string& dir, const std::string& file)
{
    px::Table t;
    t.setDatabaseName(dir + "/");
    t.setTableName(file);
    t.open();
    std::vector<std::string> v;
    for (t.first(); !t.eof(); t.next())
        v.push_back(t.field(0).asString());
    return v;
}

TEST(RiparazioneOrdinamenti, IntestazionePersaTieneOrdinamentoECodePageDeiRecord)
{
    struct Caso {
        const char* driver;
        std::vector<std::string> nomi;
    };
    // Letters the driver's code page has at bytes 1252 leaves undefined (Б Н П Р Э in 866; ü,
    // Å, É in 437; Ø in 865), others it gives other letters, and a driver of 1252 itself.
    const std::vector<Caso> casi = {
        {"cyrr", {"\u0430\u0431", "\u0411\u0412", "\u0451\u0436", "abc", "\u0416\u0416", "\u041f\u0420"}},
        {"intl", {"M\u00fcller", "Mueller", "\u00c5se", "\u00c9lan", "\u00e4rger", "Zeta"}},
        {"nordan40", {"\u00d8stby", "\u00f8re", "\u00c6bler", "Aase", "\u00e5l"}},
        {"ANSIINTL", {"b", "a", "\u00e4", "ae", "Z", "z", "af", "\u00c9t\u00e9"}},
    };
    // The first bytes of the header lost (its other parts still name the order), or all of it.
    for (const std::size_t guasto : {std::size_t{8}, std::size_t{0x800}})
    for (const Caso& caso : casi) {
        const char* driver = caso.driver;
        const std::vector<std::string>& nomi = caso.nomi;
        SCOPED_TRACE(std::string(driver) + ", byte persi: " + std::to_string(guasto));
        test::CartellaTemporanea c;
        const std::string dir = c / "dati";
        std::filesystem::create_directories(dir);
        const std::vector<px::FieldDef> campi = {{"Nome", px::FieldType::Alpha, 12, false}, {"Num", px::FieldType::Short, 0, false}};
        const std::vector<px::IndexDef> indici = {{"", "Nome", px::IndexOption::Primary | px::IndexOption::Unique}};
        {
            px::Table t;
            t.setDatabaseName(dir + "/");
            t.setTableName("C.DB");
            t.fieldDefs = campi;
            t.indexDefs = indici;
            t.sortOrder = driver;
            t.createTable();
            t.open();
            int i = 0;
            for (const auto& n : nomi) {
                t.append();
                t.field(0).setString(n);
                t.field(1).setInteger(i++);
                t.post();
            }
        }
        const auto prima = nomiNellOrdine(dir, "C.DB");
        // The data file's header unreadable: its companions still name the sort order.
        std::string db = test::leggiFile(dir + "/C.DB");
        for (std::size_t i = 0; i < guasto; ++i) db[i] = '\xFF';
        test::scriviFile(dir + "/C.DB", db);
        test::InterazioneScriptata io;
        const DefinizioniParadox diz{campi, indici};
        const EsitoRiparazione esito = RiparaTabella(dir + "/", "C.DB", c.dir() + "salva/", "dati/", io, Env::standard(), &diz);
        ASSERT_TRUE(esito.riparata) << esito.titolo();
        EXPECT_EQ(esito.recuperati, nomi.size());
        std::string rapporto;
        for (const std::string& r : esito.righe())
            rapporto += r + "\n";
        EXPECT_EQ(esito.persi, 0u) << rapporto;
        if (guasto == 0x800) {
            EXPECT_NE(rapporto.find(std::string("ordinamento ") + driver + ", code page "), std::string::npos) << rapporto;
        }
        const auto dopo = nomiNellOrdine(dir, "C.DB");
        px::Table t;
        t.setDatabaseName(dir + "/");
        t.setTableName("C.DB");
        t.open();
        EXPECT_EQ(t.file().header().sortOrderId, driver);
        // Every name as it was, in the driver's order.
        EXPECT_EQ(dopo, prima);
    }
}

// With the header lost and no file of the family naming the order, the table is rebuilt in
// the order of new tables, and the report says so.
TEST(RiparazioneOrdinamenti, SenzaCopieDellOrdinamentoLoDice)
{
    test::CartellaTemporanea c;
    const std::string dir = c / "dati";
    std::filesystem::create_directories(dir);
    const std::vector<px::FieldDef> campi = {{"Nome", px::FieldType::Alpha, 12, false}};
    {
        px::Table t;
        t.setDatabaseName(dir + "/");
        t.setTableName("N.DB");
        t.fieldDefs = campi;
        t.sortOrder = "ANSIINTL";
        t.createTable();
        t.open();
        for (const char* n : {"b", "a"}) {
            t.append();
            t.field(0).setString(n);
            t.post();
        }
    }
    std::string db = test::leggiFile(dir + "/N.DB");
    for (std::size_t i = 0; i < 0x800; ++i) db[i] = '\xFF';
    test::scriviFile(dir + "/N.DB", db);
    test::InterazioneScriptata io;
    const DefinizioniParadox diz{campi, {}};
    const EsitoRiparazione esito = RiparaTabella(dir + "/", "N.DB", c.dir() + "salva/", "dati/", io, Env::standard(), &diz);
    ASSERT_TRUE(esito.riparata) << esito.titolo();
    EXPECT_EQ(esito.recuperati, 2u);
    const auto righe = esito.righe();
    EXPECT_NE(std::find(righe.begin(), righe.end(),
                        "Nota: N.DB: ordinamento DBWINUS0, code page 1252: nessun file della famiglia li indica, usati quelli delle "
                        "tabelle nuove"),
              righe.end());
}

// A table in DBWINWE0, an order known only in part (read by ANSIINTL's weights, never written):
// keys in an order other than ANSIINTL's are no fault the verification may report.
TEST(RiparazioneOrdinamenti, VerificaNonRimproveraUnOrdineNotoInParte)
{
    test::CartellaTemporanea c;
    {
        px::Table t;
        t.setDatabaseName(c.dir());
        t.setTableName("W.DB");
        t.fieldDefs = {{"Nome", px::FieldType::Alpha, 10, false}};
        t.indexDefs = {{"", "Nome", px::IndexOption::Primary | px::IndexOption::Unique}};
        t.createTable();
        t.open();
        for (const char* n : {"B", "a", "\u00e4", "ae", "Z", "z"}) {
            t.append();
            t.field(0).setString(n);
            t.post();
        }
    }
    // The same files as a DBWINWE0 table (its byte and its name, of the same length).
    for (const char* f : {"W.DB", "W.PX"}) {
        std::string x = test::leggiFile(c / f);
        x[0x29] = '\x40';
        const std::size_t at = x.find(std::string("DBWINUS0") + '\0');
        if (at != std::string::npos)
            x.replace(at, 8, "DBWINWE0");
        test::scriviFile(c / f, x);
    }
    test::InterazioneScriptata io;
    EXPECT_EQ(VerificaIntegritaTabella(c.dir(), "W.DB", false, io), std::vector<std::string>{});
}

}  // namespace
}  // namespace korva
