// Required fields of new tables: kept in the validity file T.VAL, read back and enforced.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

const std::string kJoins = "leonhad-paradoxdriver/src/test/resources/joins/";

std::vector<bool> obbligatori(const std::string& dir, const std::string& name)
{
    Table t;
    punta(t, dir, name);
    t.open();
    std::vector<bool> v;
    for (const auto& f : t.fieldDefs)
        v.push_back(f.required);
    return v;
}

// The sample's table has one required A20 field and no other check: the same definition made
// by us gives the same file but for the bytes that belong to the moment and place of writing.
TEST(Validita, ComeQuellaDelMotoreClassicoSalvoTimbriENome)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "P.db");
    t.fieldDefs = {{"A", FieldType::Alpha, 20, true}};
    t.createTable();
    EXPECT_EQ(files(d), (std::vector<std::string>{"P.db", "P.val"}));
    const std::string ours = test::leggiFile(d / "P.val");
    const std::string db = test::leggiFile(d / "P.db");
    const std::string bde = test::leggiFile(std::string(KORVA_SAMPLES_DIR) + "/" + kJoins + "paradox-ascii.val");
    ASSERT_EQ(ours.size(), bde.size());
    // 0: the data file's structure stamp; 3-6: its update time; 0x5B-0xA9: the table's name
    // (the sample holds the full path it had on the writer's disk).
    auto proprio = [](std::size_t at) { return at == 0 || (at >= 3 && at <= 6) || (at >= 0x5B && at < 0x5B + 79); };
    for (std::size_t at = 0; at < ours.size(); ++at) {
        if (!proprio(at)) {
            EXPECT_EQ(static_cast<unsigned char>(ours[at]), static_cast<unsigned char>(bde[at])) << "byte " << at;
        }
    }
    EXPECT_EQ(ours[0], db[0x2E]);
    EXPECT_EQ(ours.substr(3, 6), db.substr(0x60, 6));
    EXPECT_EQ(ours.substr(0x5B, 79), std::string("P.db") + std::string(75, '\0'));
    // Our reader takes the flag from both files.
    EXPECT_EQ(obbligatori(d.percorso(), "P.db"), std::vector<bool>{true});
    const std::string campione = copia(d, kJoins + "paradox-ascii.db");
    EXPECT_EQ(obbligatori(d.percorso(), campione), std::vector<bool>{true});
}

TEST(Validita, ObbligatoriRilettiEApplicatiAncheDopoRinominaEAzzeramento)
{
    CartellaTemporanea d;
    const std::vector<FieldDef> campi = {
        {"Codice", FieldType::Alpha, 10, true}, {"Nome", FieldType::Alpha, 20, false},
        {"Importo", FieldType::Money, 0, true}, {"Data", FieldType::Date, 0, false},
        {"Note", FieldType::Memo, 10, true},    {"Attivo", FieldType::Logical, 0, true}};
    Table t;
    punta(t, d.percorso(), "R.DB");
    t.fieldDefs = campi;
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    EXPECT_EQ(files(d), (std::vector<std::string>{"R.DB", "R.MB", "R.PX", "R.VAL"}));
    const std::string val = test::leggiFile(d / "R.VAL");
    EXPECT_EQ(val[2], 4);  // one entry per required field
    EXPECT_EQ(val[1], test::leggiFile(d / "R.DB")[0x39]);

    t.open();
    EXPECT_EQ(t.fieldDefs, campi);
    auto riga = [&](const std::string& codice, const std::string& importo, const std::string& note) {
        t.append();
        t.field("Codice").setString(codice);
        if (!importo.empty())
            t.field("Importo").setString(importo);
        if (!note.empty())
            t.field("Note").setString(note);
        t.field("Attivo").setString("false");
        t.post();
    };
    const std::string tabella = d.percorso() + "/R.DB";
    EXPECT_EQ(errore([&] { riga("a", "", "nota"); }), "Il campo Importo della tabella " + tabella + " è obbligatorio");
    t.cancel();
    EXPECT_EQ(errore([&] { riga("a", "1.5", ""); }), "Il campo Note della tabella " + tabella + " è obbligatorio");
    t.cancel();
    EXPECT_EQ(errore([&] { riga("", "1.5", "nota"); }), "Il campo Codice della tabella " + tabella + " è obbligatorio");
    t.cancel();
    riga("a", "1.5", "nota");  // Nome and Data blank: not required
    EXPECT_EQ(t.recordCount(), 1u);
    t.close();

    // The file goes with the table and stays valid for it.
    t.renameTable("S.DB");
    EXPECT_EQ(files(d), (std::vector<std::string>{"S.DB", "S.MB", "S.PX", "S.VAL"}));
    Table s;
    punta(s, d.percorso(), "S.DB");
    s.emptyTable();
    s.open();
    EXPECT_EQ(s.recordCount(), 0u);
    EXPECT_EQ(s.fieldDefs, campi);
    EXPECT_TRUE(s.check().empty());
}

TEST(Validita, NessunFileSenzaObbligatoriELivello7Rifiutato)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "Q.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, true}, {"V", FieldType::Alpha, 8, true}};
    t.createTable();
    EXPECT_EQ(files(d), (std::vector<std::string>{"Q.DB", "Q.VAL"}));
    // Created over by one without required fields: the old validity file goes.
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Alpha, 8, false}};
    t.createTable();
    EXPECT_EQ(files(d), std::vector<std::string>{"Q.DB"});
    EXPECT_EQ(obbligatori(d.percorso(), "Q.DB"), (std::vector<bool>{false, false}));

    // Level 7 (here for a unique secondary index): no known layout for its checks.
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"Città", FieldType::Alpha, 8, true}};
    t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}, {"Ci", "Città", IndexOption::Unique}};
    EXPECT_EQ(errore([&] { t.createTable(); }),
              "Impossibile creare la tabella " + d.percorso() + "/Q.DB: il campo Città non può essere "
              "obbligatorio in una tabella di livello 7 (indici secondari univoci o decrescenti, "
              "blocchi oltre i 4 KB)");
    EXPECT_EQ(files(d), std::vector<std::string>{"Q.DB"});  // the old table untouched
    t.indexDefs.pop_back();
    t.createTable();
    EXPECT_EQ(obbligatori(d.percorso(), "Q.DB"), (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace korva::paradox
