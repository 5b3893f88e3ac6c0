// Secondary indexes: read from the samples in their stored order, written at creation and kept
// in step with the data at every change.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

// The primary keys held by an X file, in its chain order (what the index says the order is).
std::vector<std::string> chiaviNellX(const std::string& path, int indexFields, int keyBytesOffset, int keyBytes)
{
    const std::string data = test::leggiFile(path);
    const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
    Header h = parseHeader(d, data.size(), data.size(), path);
    (void)indexFields;
    std::vector<std::string> out;
    for (int b = h.firstBlock, guard = 0; b != 0 && guard <= h.fileBlocks; ++guard) {
        const std::uint8_t* p = d + h.headerSize + static_cast<std::size_t>(b - 1) * h.blockSize;
        const int n = static_cast<std::int16_t>(get16(p + 4)) / h.recordSize + 1;
        for (int i = 0; i < n; ++i)
            out.emplace_back(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * h.recordSize + keyBytesOffset),
                             static_cast<std::size_t>(keyBytes));
        b = get16(p);
    }
    return out;
}

// The primary keys of the table in the named index's order, as our cursor walks it.
std::vector<std::string> chiaviNavigate(Table& t, const std::string& indice)
{
    t.setIndexName(indice);
    std::vector<std::string> out;
    const int kb = t.file().keyBytes();
    for (t.first(); !t.eof(); t.next())
        out.push_back(t.field(0).asBytes().substr(0, static_cast<std::size_t>(kb)).size() == static_cast<std::size_t>(kb)
                          ? t.field(0).asBytes()
                          : std::string());
    return out;
}

int offsetInX(const Table& t, const SecondaryIndex& si)
{
    int off = 0;
    for (int f : si.fields)
        off += t.fieldDefs.empty() ? 0 : recordBytes(t.fieldDefs[static_cast<std::size_t>(f)].type, t.fieldDefs[static_cast<std::size_t>(f)].size);
    return off;
}

// Every maintained index of an open table walks in the order its X file stores.
void indiciConcordi(Table& t)
{
    for (const auto& si : t.file().secondaries()) {
        if (si.def.options & IndexOption::NonMaintained)
            continue;
        SCOPED_TRACE(si.def.name);
        auto x = chiaviNellX(t.file().files().dir + "/" + si.xFile, static_cast<int>(si.fields.size()),
                             offsetInX(t, si), t.file().fields()[0].bytes);
        auto nav = chiaviNavigate(t, si.def.name);
        EXPECT_EQ(nav, x);
    }
    t.setIndexName("");
}

TEST(Indici, GliIndiciDeiCampioniSiPercorronoNellOrdineMemorizzato)
{
    int visti = 0;
    for (const char* s : {"leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.DB",
                          "leonhad-paradoxdriver/src/test/resources/db/AREACODES.DB",
                          "leonhad-paradoxdriver/src/test/resources/joins/C.DB",
                          "leonhad-paradoxdriver/src/test/resources/joins/fk4.db"}) {
        SCOPED_TRACE(s);
        CartellaTemporanea d;
        Table t;
        punta(t, d.percorso(), copia(d, s));
        t.open();
        ASSERT_FALSE(t.file().secondaries().empty());
        indiciConcordi(t);
        visti += static_cast<int>(t.file().secondaries().size());
    }
    EXPECT_EQ(visti, 5);
}

TEST(Indici, CreatiConLaTabellaEAggiornatiAOgniModifica)
{
    CartellaTemporanea d;
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, d.percorso(), "IDX.DB");
    t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 20, false},
                   {"Citta", FieldType::Alpha, 20, false}, {"Valore", FieldType::Number, 0, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique},
                   {"Nome", "Nome", 0},
                   {"Valore", "Valore", 0},
                   {"CittaNome", "Citta;Nome", IndexOption::CaseInsensitive}};
    t.createTable();
    EXPECT_TRUE(fs::exists(d / "IDX.X02"));
    EXPECT_TRUE(fs::exists(d / "IDX.Y04"));
    EXPECT_TRUE(fs::exists(d / "IDX.XG0"));
    t.open();
    Table copia2(s);
    punta(copia2, d.percorso(), "IDX2.DB");
    copia2.fieldDefs = t.fieldDefs;
    copia2.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique},
                        {"Nome", "Nome", 0},
                        {"Valore", "Valore", 0},
                        {"CittaNome", "Citta;Nome", IndexOption::CaseInsensitive}};
    copia2.createTable();
    copia2.open();
    EXPECT_EQ(copia2.indexDefs, t.indexDefs);  // described identically
    ASSERT_TRUE(t.findIndex("cittanome"));
    std::mt19937 rng(5);
    const char* citta[] = {"Roma", "roma", "Milano", "MILANO", "Bari"};
    std::set<int> codici;
    for (int i = 0; i < 400; ++i) {
        const int k = static_cast<int>(rng() % 300);
        if (!codici.count(k)) {
            t.append();
            t.field(0).setInteger(k);
            t.field(1).setString("n" + std::to_string(rng() % 50));
            t.field(2).setString(citta[rng() % 5]);
            t.field(3).setFloat(static_cast<double>(rng() % 1000) - 500);
            t.post();
            codici.insert(k);
        } else if (rng() % 2) {
            ASSERT_TRUE(t.findKey({std::to_string(k)}));
            t.edit();
            t.field(1).setString("e" + std::to_string(rng() % 50));
            t.post();
        } else {
            ASSERT_TRUE(t.findKey({std::to_string(k)}));
            t.deleteRecord();
            codici.erase(k);
        }
        if (i % 50 == 0) {
            indiciConcordi(t);
            ASSERT_TRUE(t.check().empty());
        }
    }
    indiciConcordi(t);
    // Key search in a case-insensitive index.
    t.setIndexName("CittaNome");
    t.setKey();
    t.field("Citta").setString("ROMA");
    t.gotoNearest();
    EXPECT_EQ(t.field("Citta").asString().size(), 4u);
    t.setRange({"milano"}, {"milano"});
    int milano = 0;
    for (t.first(); !t.eof(); t.next()) {
        const std::string c = t.field("Citta").asString();
        EXPECT_TRUE(c == "Milano" || c == "MILANO");
        ++milano;
    }
    EXPECT_GT(milano, 0);
    t.close();
    // An index file gone: shared opens are refused naming it, exclusive ones go on.
    fs::remove(d / "IDX.YG0");
    Table u(s);
    punta(u, d.percorso(), "IDX.DB");
    try {
        u.open();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("IDX.YG0"), std::string::npos) << e.what();
    }
    u.setExclusive(true);
    u.open();
    EXPECT_EQ(u.indexDefs.size(), 3u);
}

TEST(Indici, DefinizioniNonValideRifiutate)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "N.DB");
    t.fieldDefs = {{"A", FieldType::Alpha, 5, false}, {"B", FieldType::Memo, 5, false}};
    t.indexDefs = {{"Ix", "A", 0}};
    try {
        t.createTable();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("richiedono una chiave primaria"), std::string::npos);
    }
    t.indexDefs = {{"", "A", IndexOption::Primary}, {"Ix", "B", 0}};
    EXPECT_THROW(t.createTable(), Error);
    EXPECT_FALSE(t.exists());
}

}  // namespace
}  // namespace korva::paradox
