// Tables we create and fill: what they hold reads back through our engine and through pxlib,
// their files look like the classic engine's, and every change keeps them sound.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/pxlib_ref.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

void creaCampi(Table& t, const std::string& dir)
{
    punta(t, dir, "CAMPI.DB");
    t.fieldDefs = {{"NomeTabella", FieldType::Alpha, 8, false},
                   {"NumeroCampo", FieldType::Short, 0, false},
                   {"NomeCampo", FieldType::Alpha, 25, false},
                   {"TipoELunghezza", FieldType::Alpha, 12, false},
                   {"Chiave", FieldType::Short, 0, false},
                   {"IndiceSecSingolo", FieldType::Short, 0, false},
                   {"TipoIndiceSecSingolo", FieldType::Short, 0, false}};
    t.indexDefs = {{"", "NomeTabella;NumeroCampo", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
}

void aggiungi(Table& t, const std::vector<std::string>& valori)
{
    t.append();
    for (std::size_t i = 0; i < valori.size(); ++i)
        t.field(static_cast<int>(i)).setString(valori[i]);
    t.post();
}

TEST(Scrittura, TabellaDelDizionarioInOrdineDiChiaveLettaAncheDaPxlib)
{
    CartellaTemporanea d;
    Table t;
    creaCampi(t, d.percorso());
    t.open();
    EXPECT_EQ(t.recordCount(), 0u);
    EXPECT_TRUE(t.eof());
    aggiungi(t, {"clienti", "2", "Nome", "A30", "0", "1", "1"});
    aggiungi(t, {"articol", "1", "Codice", "A10", "1", "0", "0"});
    aggiungi(t, {"clienti", "1", "Codice", "I", "1", "0", "0"});
    aggiungi(t, {"clienti", "10", "Città", "A40", "0", "0", "0"});
    try {
        aggiungi(t, {"clienti", "2", "Altro", "N", "0", "0", "0"});
        FAIL() << "chiave doppia accettata";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Violazione di chiave"), std::string::npos);
    }
    t.cancel();
    EXPECT_EQ(t.recordCount(), 4u);
    auto l = leggi(t);
    ASSERT_EQ(l.righe.size(), 4u);
    EXPECT_EQ(l.righe[0][0] + l.righe[0][1], "articol1");
    EXPECT_EQ(l.righe[1][0] + l.righe[1][1], "clienti1");
    EXPECT_EQ(l.righe[2][0] + l.righe[2][1], "clienti2");
    EXPECT_EQ(l.righe[3][0] + l.righe[3][1] + l.righe[3][2], "clienti10Città");
    EXPECT_TRUE(t.check().empty());
    t.close();

    auto px = test::leggiConPxlib(d / "CAMPI.DB", "", 1252);
    EXPECT_EQ(px.rows, l.righe);
    int voci = 0;
    EXPECT_TRUE(test::pxlibLeggeIndice(d / "CAMPI.DB", d / "CAMPI.PX", voci));
    EXPECT_EQ(voci, 1);
}

TEST(Scrittura, IntestazioneComeQuellaDelMotoreClassico)
{
    CartellaTemporanea d;
    Table t;
    creaCampi(t, d.percorso());
    const std::string db = test::leggiFile(d / "CAMPI.DB");
    const std::string px = test::leggiFile(d / "CAMPI.PX");
    auto u8 = [](const std::string& s, int at) { return static_cast<unsigned char>(s[static_cast<std::size_t>(at)]); };
    auto u16 = [&](const std::string& s, int at) { return u8(s, at) | (u8(s, at + 1) << 8); };
    // Level 4 (A and S only), 2K blocks, code page 1252, sort order DBWINUS0.
    EXPECT_EQ(db.size(), 2048u);
    EXPECT_EQ(u16(db, 0x02), 2048);
    EXPECT_EQ(u8(db, 0x04), 0);
    EXPECT_EQ(u8(db, 0x05), 2);
    EXPECT_EQ(u8(db, 0x39), 9);
    EXPECT_EQ(u16(db, 0x58), 0x0109);
    EXPECT_EQ(u16(db, 0x6A), 1252);
    EXPECT_EQ(u8(db, 0x29), 0x4C);
    EXPECT_EQ(u16(db, 0x3E), 0x0F1F);
    EXPECT_EQ(u8(db, 0x56), 0x20);
    EXPECT_EQ(db.substr(0x25, 4), std::string("\x00\xFF\x00\xFF", 4));
    EXPECT_EQ(u16(db, 0x64), 8);  // field ids 1..7 given
    const int sortAt = 0x58 + u16(db, 0x6E);
    EXPECT_EQ(db.substr(static_cast<std::size_t>(sortAt), 9), std::string("DBWINUS0\0", 9));
    EXPECT_EQ(u16(db, 0x51), sortAt + 9);
    const int numbersAt = 0x58 + u16(db, 0x66);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(u16(db, numbersAt + 2 * i), i + 1);
    // The same fixed bytes as a level-4 table the classic engine wrote.
    const std::string bde = test::leggiFile(std::string(KORVA_SAMPLES_DIR) +
                                            "/leonhad-paradoxdriver/src/test/resources/joins/case.db");
    for (int at : {0x05, 0x25, 0x26, 0x27, 0x28, 0x39, 0x3E, 0x3F, 0x56, 0x58, 0x59, 0x5A, 0x5B, 0x6C, 0x6D})
        EXPECT_EQ(u8(db, at), u8(bde, at)) << "byte " << at;
    // The .PX: type 1, key fields only, stamp equal to the data file's change counter.
    EXPECT_EQ(u8(px, 0x04), 1);
    EXPECT_EQ(u16(px, 0x21), 2);
    EXPECT_EQ(u8(px, 0x2C), u8(db, 0x2D));
    EXPECT_EQ(u16(px, 0x1E), 1);
    EXPECT_EQ(u8(px, 0x20), 0);
    EXPECT_EQ(u16(px, 0x00), 8 + 2 + 6);
    // A level-5 type raises the level; the lowest level holds the types.
    Table t5;
    punta(t5, d.percorso(), "T5.DB");
    t5.fieldDefs = {{"A", FieldType::Alpha, 5, false}, {"Ora", FieldType::Time, 0, false}};
    t5.createTable();
    EXPECT_EQ(u8(test::leggiFile(d / "T5.DB"), 0x39), 0x0B);
    EXPECT_EQ(u8(test::leggiFile(d / "T5.DB"), 0x04), 2);
}

struct Riga {
    int chiave;
    std::string testo, memo;
};

TEST(Scrittura, CentomilaRecordInOrdineCasualeOgniTipoAncheDaPxlib)
{
    CartellaTemporanea d;
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, d.percorso(), "GRANDE.DB");
    t.fieldDefs = {{"Chiave", FieldType::Long, 0, false},     {"Testo", FieldType::Alpha, 20, false},
                   {"Numero", FieldType::Number, 0, false},   {"Corto", FieldType::Short, 0, false},
                   {"Data", FieldType::Date, 0, false},       {"Ora", FieldType::Time, 0, false},
                   {"Memo", FieldType::Memo, 10, false},      {"Binario", FieldType::Binary, 4, false},
                   {"Immagine", FieldType::Graphic, 0, false}};
    t.indexDefs = {{"", "Chiave", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    const int n = 100000;
    std::vector<int> keys(n);
    for (int i = 0; i < n; ++i)
        keys[static_cast<std::size_t>(i)] = i * 7 - 300000;
    std::mt19937 rng(12345);
    std::shuffle(keys.begin(), keys.end(), rng);
    const std::string memos[] = {"", "cinque", std::string(300, 'x') + "é", std::string(5000, 'm')};
    auto memoOf = [&](int k) { return memos[static_cast<std::size_t>((k % 4 + 4) % 4)]; };
    auto testoOf = [](int k) { return "perché " + std::to_string(k); };
    t.beginBatch();
    for (int k : keys) {
        t.append();
        t.field("Chiave").setInteger(k);
        t.field("Testo").setString(testoOf(k));
        t.field("Numero").setFloat(k / 3.0);
        t.field("Corto").setInteger(k % 30000);
        t.field("Data").setDate(daysToDate(730000 + k % 5000));
        t.field("Ora").setTime((k % 86400 + 86400) % 86400 * 1000);
        t.field("Memo").setString(memoOf(k));
        if (k % 5 == 0)
            t.field("Binario").setBytes(std::string("\x00\x01\x02\xff\x10\x20", 6));
        if (k % 997 == 0)
            t.field("Immagine").setBytes("BM" + std::string(3000, '\x7f'));
        t.post();
    }
    t.endBatch();
    EXPECT_EQ(t.recordCount(), static_cast<std::uint32_t>(n));
    EXPECT_TRUE(t.check().empty());
    // In key order through our engine, with the blobs.
    std::sort(keys.begin(), keys.end());
    std::size_t i = 0;
    for (t.first(); !t.eof(); t.next(), ++i) {
        const int k = keys[i];
        ASSERT_EQ(t.field("Chiave").asInteger(), k);
        ASSERT_EQ(t.field("Memo").asString(), memoOf(k));
        ASSERT_EQ(t.field("Binario").isNull(), k % 5 != 0);
        if (k % 997 == 0) {
            ASSERT_EQ(t.field("Immagine").asBytes(), "BM" + std::string(3000, '\x7f'));
        }
    }
    EXPECT_EQ(i, keys.size());
    t.close();
    // pxlib reads every non-blob value, in the same order, and accepts our .PX.
    auto px = test::leggiConPxlib(d / "GRANDE.DB", "", 1252);
    ASSERT_EQ(px.rows.size(), keys.size());
    for (std::size_t r = 0; r < keys.size(); r += 1) {
        const int k = keys[r];
        ASSERT_EQ(px.rows[r][0], std::to_string(k));
        ASSERT_EQ(px.rows[r][1], testoOf(k));
        ASSERT_EQ(px.rows[r][2], formatDouble(k / 3.0));
        ASSERT_EQ(px.rows[r][3], k % 30000 == 0 ? std::string("0") : std::to_string(k % 30000));
        ASSERT_EQ(px.rows[r][4], formatDate(daysToDate(730000 + k % 5000)));
    }
    // pxlib's reader of two-level indexes counts the upper level's statistics twice: it
    // refuses the classic engine's own ZIPCODES.PX the same way. One level it reads.
    int voci = 0;
    EXPECT_FALSE(test::pxlibLeggeIndice(d / "GRANDE.DB", d / "GRANDE.PX", voci));
    const std::string zip = std::string(KORVA_SAMPLES_DIR) + "/leonhad-paradoxdriver/src/test/resources/areas/ZIPCODES";
    EXPECT_FALSE(test::pxlibLeggeIndice(zip + ".DB", zip + ".PX", voci));

    Table m(s);
    punta(m, d.percorso(), "MEDIO.DB");
    m.fieldDefs = {{"K", FieldType::Alpha, 12, false}, {"V", FieldType::Number, 0, false}};
    m.indexDefs = {{"", "K", IndexOption::Primary}};
    m.createTable();
    m.open();
    std::shuffle(keys.begin(), keys.end(), rng);
    for (int j = 0; j < 3000; ++j) {
        m.append();
        m.field("K").setString("è" + std::to_string(keys[static_cast<std::size_t>(j)]));
        m.post();
    }
    const int blocchi = m.file().blocks();
    m.close();
    EXPECT_TRUE(test::pxlibLeggeIndice(d / "MEDIO.DB", d / "MEDIO.PX", voci)) << test::ultimoErrorePxlib();
    EXPECT_EQ(voci, blocchi);
}

TEST(Scrittura, TabellaScrittaDaPxlibSiLeggeESiModifica)
{
    CartellaTemporanea d;
    std::vector<std::vector<std::string>> righe;
    for (int i = 0; i < 500; ++i)
        righe.push_back({std::string("k").append(std::to_string(1000 + i)), std::to_string(i),
                         std::string("però ").append(std::to_string(i)), "2020-02-29"});
    test::scriviConPxlib(d / "PXL.DB", {{"Codice", 'A' - 'A' + 1, 10}, {"Num", 3, 2}, {"Testo", 1, 30}, {"Data", 2, 4}}, 0, righe);
    Table t;
    punta(t, d.percorso(), "pxl.db");  // found without regard to case
    t.open();
    auto l = leggi(t);
    EXPECT_EQ(l.righe, righe);
    t.first();
    t.edit();
    t.field("Testo").setString("cambiato");
    t.post();
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 499u);
    EXPECT_TRUE(t.check().empty());
    t.close();
    auto px = test::leggiConPxlib(d / "PXL.DB", "", 1252);
    ASSERT_EQ(px.rows.size(), 499u);
    EXPECT_EQ(px.rows[0][2], "cambiato");
    EXPECT_EQ(px.rows[498][0], "k1498");
}

TEST(Scrittura, ModificheEdEliminazioniTengonoIndiceEBlocchiCoerenti)
{
    CartellaTemporanea d;
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, d.percorso(), "K.DB");
    t.fieldDefs = {{"K", FieldType::Alpha, 40, false}, {"V", FieldType::Long, 0, false},
                   {"M", FieldType::Memo, 5, false}};
    t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    std::mt19937 rng(7);
    std::set<std::string> atteso;
    for (int round = 0; round < 3000; ++round) {
        const std::string k = "chiave" + std::to_string(rng() % 800);
        const int op = static_cast<int>(rng() % 3);
        if (op == 0 && !atteso.count(k)) {
            t.append();
            t.field("K").setString(k);
            t.field("V").setInteger(round);
            t.field("M").setString(std::string(rng() % 700, 'q'));
            t.post();
            atteso.insert(k);
        } else if (op == 1 && atteso.count(k)) {
            ASSERT_TRUE(t.findKey({k}));
            t.deleteRecord();
            atteso.erase(k);
        } else if (op == 2 && atteso.count(k)) {
            ASSERT_TRUE(t.findKey({k}));
            t.edit();
            std::string nuova = "z" + k;
            if (atteso.count(nuova))
                nuova = k;
            t.field("K").setString(nuova);
            t.field("M").setString(std::string(rng() % 3000, 'w'));
            t.post();
            atteso.erase(k);
            atteso.insert(nuova);
            EXPECT_EQ(t.field("K").asString(), nuova);
        }
        if (round % 100 == 0) {
            auto c = t.check();
            ASSERT_TRUE(c.empty()) << c.front();
        }
    }
    std::vector<std::string> letti;
    for (t.first(); !t.eof(); t.next())
        letti.push_back(t.field("K").asString());
    EXPECT_EQ(letti, std::vector<std::string>(atteso.begin(), atteso.end()));
    // Down to nothing: the table has no blocks left. The last deletion and a new record in one
    // step: the cut of the emptied file must not take the new block with it.
    for (t.first(); t.recordCount() > 1;)
        t.deleteRecord();
    t.beginBatch();
    t.first();
    t.deleteRecord();
    t.append();
    t.field("K").setString("nuovo");
    t.post();
    t.endBatch();
    EXPECT_TRUE(t.check().empty());
    EXPECT_EQ(leggi(t).righe.size(), 1u);
    for (t.first(); !t.isEmpty();)
        t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 0u);
    EXPECT_TRUE(t.check().empty());
    t.close();
    EXPECT_EQ(fs::file_size(d / "K.DB"), 2048u);
}

TEST(Scrittura, BlobDeiCampioniLettiPerIntero)
{
    const std::string dir = std::string(KORVA_SAMPLES_DIR) + "/leonhad-paradoxdriver/src/test/resources/fields";
    Table m;
    punta(m, dir, "memo.db");
    m.open();
    m.first();
    const std::string primo = m.field(1).asString();
    EXPECT_EQ(primo.size(), 555u);
    EXPECT_EQ(primo.substr(0, 10), "0123456789");
    m.next();
    EXPECT_EQ(m.field(1).asString(), "01234567890\n");  // in the leader only
    Table g;
    punta(g, dir, "graphic.db");
    g.open();
    g.first();
    const std::string img = g.field(1).asBytes();
    EXPECT_EQ(img.size(), 20078u);  // the stored value less its 8-byte prefix
    EXPECT_EQ(img.substr(0, 2), "BM");
}

TEST(Scrittura, ValoriFuoriMisuraRifiutatiConIlNomeDelCampo)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "V.DB");
    t.fieldDefs = {{"Nome", FieldType::Alpha, 3, true}, {"S", FieldType::Short, 0, false},
                   {"D", FieldType::Date, 0, false}, {"L", FieldType::Logical, 0, false}};
    t.createTable();
    t.open();
    t.append();
    EXPECT_THROW(t.field("Nome").setString("quattro"), Error);
    EXPECT_THROW(t.field("S").setString("40000"), Error);
    EXPECT_THROW(t.field("D").setString("2021-02-30"), Error);
    EXPECT_THROW(t.field("L").setString("forse"), Error);
    EXPECT_THROW(t.field("Nome").setString("€uro"), Error);  // four characters
    t.field("Nome").setString("€");                         // one byte in 1252
    t.field("S").setString("-32767");
    t.field("L").setBoolean(true);
    t.post();
    t.first();
    EXPECT_EQ(t.field("Nome").asString(), "€");
    EXPECT_EQ(t.field("S").asInteger(), -32767);
    EXPECT_TRUE(t.field("L").asBoolean());
    EXPECT_TRUE(t.field("D").isNull());
}

}  // namespace
}  // namespace korva::paradox

namespace korva::paradox {
namespace {

TEST(Scrittura, TabelleDiLivello3ModificabiliSoloInUsoEsclusivo)
{
    test::CartellaTemporanea d;
    const std::string nome = copia(d, "teverett-paradoxReader/src/test/resources/examples/PCLDATA/PCL.DB");
    Table t;
    punta(t, d.percorso(), nome);
    t.open();
    t.append();
    t.field(0).setString("nuovo");
    try {
        t.post();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("livello 3"), std::string::npos) << e.what();
    }
    t.cancel();
    t.close();
    t.setExclusive(true);
    t.open();
    const auto prima = leggi(t).righe;
    t.append();
    t.field(0).setString("nuovo");
    t.field(16).setInteger(7);
    t.post();
    t.first();
    t.deleteRecord();
    EXPECT_TRUE(t.check().empty());
    t.close();
    auto px = test::leggiConPxlib(d / nome, "", 437);
    ASSERT_EQ(px.rows.size(), prima.size());
    EXPECT_EQ(px.rows.back()[0], "nuovo");
    EXPECT_EQ(px.rows.back()[16], "7");
    EXPECT_EQ(std::vector<std::vector<std::string>>(px.rows.begin(), px.rows.end() - 1),
              std::vector<std::vector<std::string>>(prima.begin() + 1, prima.end()));
}

}  // namespace
}  // namespace korva::paradox
