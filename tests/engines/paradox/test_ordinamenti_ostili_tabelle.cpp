// Tables in the classic engine's dictionary orders put to the test: the .X files in the driver's
// order entry by entry (read from the disk, not through the code that wrote them), the orders
// known only in part never written, and never held against a table they cannot place.

#include "base/codepage.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <map>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;

std::map<std::string, std::string> istantanea(const CartellaTemporanea& d)
{
    std::map<std::string, std::string> m;
    for (const std::string& f : files(d))
        m[f] = test::leggiFile(d / f);
    return m;
}

// Renames the table's driver in every file of its family: same length names only.
void cambiaDriver(const CartellaTemporanea& d, const std::string& da, const std::string& a, std::uint8_t byte)
{
    for (const std::string& f : files(d)) {
        std::string x = test::leggiFile(d / f);
        if (x.size() > 0x29)
            x[0x29] = static_cast<char>(byte);
        const std::size_t at = x.find(da + std::string(1, '\0'));
        if (at != std::string::npos && at < 0x800)
            x.replace(at, da.size(), a);
        test::scriviFile(d / f, x);
    }
}

// A table in an order known only in part (DBWINWE0, read by ANSIINTL's weights): every write
// refused, its files left as they were.
TEST(OrdinamentiOstili, OrdineNotoInParteNessunaScritturaFileIntatti)
{
    CartellaTemporanea d;
    Session s;
    Table t(s);
    punta(t, d.percorso(), "W.DB");
    t.fieldDefs = {{"Nome", FieldType::Alpha, 10, false}, {"Citta", FieldType::Alpha, 10, false}};
    t.indexDefs = {{"", "Nome", IndexOption::Primary | IndexOption::Unique}};
    t.sortOrder = "ANSIINTL";
    t.createTable();
    t.open();
    for (const char* n : {"b", "a", "\u00e4", "ae", "Z", "z", "af"}) {
        t.append();
        t.field(0).setString(n);
        t.field(1).setString("x");
        t.post();
    }
    t.close();
    cambiaDriver(d, "ANSIINTL", "DBWINWE0", 0x40);
    const auto prima = istantanea(d);
    t.open();
    ASSERT_NE(t.file().collation(), nullptr);
    EXPECT_FALSE(t.file().collation()->exact());
    const std::string rifiuto = "l'ordinamento \"DBWINWE0\" della chiave non è gestito";
    EXPECT_NE(errore([&] { t.first(); t.edit(); t.field(1).setString("y"); t.post(); }).find(rifiuto), std::string::npos);
    t.close();
    EXPECT_EQ(istantanea(d), prima);
    EXPECT_NE(errore([&] { t.packTable(); }).find(rifiuto), std::string::npos);
    EXPECT_EQ(istantanea(d), prima);
    // The primary index alone is rebuilt from the records as they lie: the same bytes.
    EXPECT_EQ(errore([&] { IndexRebuild(s, d.percorso(), "W.DB").run(t.indexDefs); }), "(nessun errore)");
    EXPECT_EQ(istantanea(d), prima);
    std::vector<IndexDef> conCitta = t.indexDefs;
    conCitta.push_back({"Citta", "Citta", 0});
    EXPECT_NE(errore([&] { IndexRebuild(s, d.percorso(), "W.DB").run(conCitta); }).find("non è gestito"), std::string::npos);
    EXPECT_EQ(istantanea(d), prima);
    t.fieldDefs.push_back({"Nota", FieldType::Alpha, 5, false});
    EXPECT_NE(errore([&] { t.regenerateTable(); }).find(rifiuto), std::string::npos);
    EXPECT_EQ(istantanea(d), prima);
}

// The entries of an X file in chain order (whole records, Blk Num included).
std::vector<std::string> vociX(const std::string& x)
{
    const auto* d = reinterpret_cast<const std::uint8_t*>(x.data());
    const Header h = parseHeader(d, x.size(), x.size(), "X");
    std::vector<std::string> out;
    for (int b = h.firstBlock; b != 0;) {
        const std::uint8_t* p = d + h.headerSize + static_cast<std::size_t>(b - 1) * h.blockSize;
        const int n = static_cast<std::int16_t>(get16(p + 4)) / h.recordSize + 1;
        for (int i = 0; i < n; ++i)
            out.emplace_back(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * h.recordSize), static_cast<std::size_t>(h.recordSize));
        b = get16(p);
    }
    return out;
}

std::string_view testo(const std::string& r, std::size_t at, std::size_t n)
{
    std::string_view v(r.data() + at, n);
    const auto z = v.find('\0');
    return z == std::string_view::npos ? v : v.substr(0, z);
}

// Thousands of keys sharing their primaries (radix sort and its second passes): every .X entry
// follows the one before it in the driver's order, case-insensitive and descending included.
TEST(OrdinamentiOstili, IlFileXEInOrdineDelDriverVocePerVoce)
{
    for (const char* driver : {"ANSIINTL", "ANSII850", "intl", "cyrr", "swedfin", "nordan40"}) {
        SCOPED_TRACE(driver);
        const auto ordine = tableSortOrder(driver);
        const int cp = ordine->codePage;
        const Collation& c = *collationFor(ordine->byte, ordine->id, cp);
        // bytes grouped by primary weight
        std::map<int, std::vector<std::uint8_t>> classi;
        for (int b = 0x20; b < 256; ++b) {
            std::string u;
            try { u = codepage::toUtf8(std::string(1, static_cast<char>(b)), cp); } catch (...) { continue; }
            std::string k(8, '\0');
            const std::uint8_t v[1] = {static_cast<std::uint8_t>(b)};
            c.sortKey(v, 1, false, reinterpret_cast<std::uint8_t*>(k.data()));
            const std::size_t meta = c.sortKeyLength(1) / 2;
            classi[static_cast<unsigned char>(k[0]) * 256 + (meta > 1 ? static_cast<unsigned char>(k[1]) : 0)].push_back(static_cast<std::uint8_t>(b));
        }
        std::vector<std::vector<std::uint8_t>> gruppi;
        for (auto& [p, m] : classi) if (m.size() >= 2 && m[0] > 0x20) gruppi.push_back(m);
        std::mt19937 r(5);
        CartellaTemporanea d;
        Session s;
        s.setDurable(false);
        Table t(s);
        punta(t, d.percorso(), "X.DB");
        t.fieldDefs = {{"Nome", FieldType::Alpha, 14, false}, {"Numero", FieldType::Short, 0, false}, {"Citta", FieldType::Alpha, 6, false}};
        t.indexDefs = {{"", "Nome;Numero", IndexOption::Primary | IndexOption::Unique},
                       {"Nome", "Nome", 0},
                       {"CN", "Citta;Nome", IndexOption::CaseInsensitive},
                       {"Giu", "Nome", IndexOption::Descending | IndexOption::CaseInsensitive}};
        t.sortOrder = driver;
        t.createTable();
        t.open();
        std::set<std::pair<std::string, int>> visti;
        t.beginBatch();
        // one pattern of primaries, the letters drawn among those of equal primary
        std::vector<std::size_t> schema;
        for (int i = 0; i < 14; ++i) schema.push_back(r() % gruppi.size());
        int messi = 0;
        while (messi < 5000) {
            std::string nome;
            const std::size_t n = 9 + r() % 6;
            for (std::size_t i = 0; i < n; ++i) {
                const auto& g = gruppi[r() % 8 == 0 ? r() % gruppi.size() : schema[i]];
                nome += static_cast<char>(g[r() % g.size()]);
            }
            std::string citta;
            for (int i = 0; i < 3; ++i) { const auto& g = gruppi[schema[i]]; citta += static_cast<char>(g[r() % g.size()]); }
            const int numero = static_cast<int>(r() % 3);
            if (!visti.insert({nome, numero}).second) continue;
            t.append();
            t.field(0).setString(codepage::toUtf8(nome, cp));
            t.field(1).setInteger(numero);
            t.field(2).setString(codepage::toUtf8(citta, cp));
            t.post();
            ++messi;
        }
        t.endBatch();
        ASSERT_TRUE(t.check().empty());
        t.close();
        const auto files_ = files(d);
        for (const std::string& f : files_) {
            if (f.find(".X") == std::string::npos) continue;
            const auto voci = vociX(test::leggiFile(d / f));
            ASSERT_EQ(voci.size(), 5000u) << f;
            int err = 0;
            for (std::size_t i = 1; i < voci.size(); ++i) {
                const std::string& a = voci[i - 1];
                const std::string& b = voci[i];
                int k;
                std::size_t at = 0;
                if (f == "X.X01") {
                    k = c.compare(testo(a, 0, 14), testo(b, 0, 14));
                    at = 14;
                } else if (f == "X.XG0") {
                    k = c.compareCaseInsensitive(testo(a, 0, 6), testo(b, 0, 6));
                    if (!k) k = c.compareCaseInsensitive(testo(a, 6, 14), testo(b, 6, 14));
                    at = 20;
                } else {
                    k = -c.compareCaseInsensitive(testo(a, 0, 14), testo(b, 0, 14));
                    at = 14;
                }
                if (!k) {
                    k = c.compare(testo(a, at, 14), testo(b, at, 14));
                    if (!k) k = std::memcmp(a.data() + at + 14, b.data() + at + 14, 2);
                }
                if (k >= 0 && err++ < 3)
                    ADD_FAILURE() << f << " voce " << i;
            }
        }
    }
}


// The order of DBWINWE0 is not known (writes are refused for it, and the index rebuild does
// not hold the order of the records against the table): the structural check must not call
// such a table damaged for the order of its keys either.
TEST(OrdinamentiOstili, OrdineNotoInParteNonRendeDannosaLaTabella)
{
    CartellaTemporanea d;
    Session s;
    Table t(s);
    punta(t, d.percorso(), "W.DB");
    t.fieldDefs = {{"Nome", FieldType::Alpha, 10, false}, {"Citta", FieldType::Alpha, 10, false}};
    t.indexDefs = {{"", "Nome", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    for (const char* n : {"B", "a", "\u00e4", "ae", "Z", "z", "af"}) {
        t.append();
        t.field(0).setString(n);
        t.field(1).setString("x");
        t.post();
    }
    t.close();
    cambiaDriver(d, "DBWINUS0", "DBWINWE0", 0x40);
    t.open();
    // Read in the order the best knowledge gives, keys come out as the file holds them.
    t.close();
    EXPECT_EQ(errore([&] { IndexRebuild(s, d.percorso(), "W.DB").run(t.indexDefs); }), "(nessun errore)");
    t.open();
    EXPECT_EQ(t.check(), std::vector<std::string>{});
}

}  // namespace
}  // namespace korva::paradox
