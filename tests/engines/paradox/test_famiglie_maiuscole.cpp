// Two tables whose names differ only in case, side by side on a case-sensitive file system:
// each operation works on the files of the table it opened, and refuses when a companion
// could belong to either.

#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

// The files of `dir` whose base name is spelled exactly `base`, with a digest of their bytes.
std::map<std::string, std::size_t> famiglia(const std::string& dir, const std::string& base)
{
    std::map<std::string, std::size_t> f;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().stem() == base)
            f[e.path().filename().string()] = std::hash<std::string>{}(test::leggiFile(e.path().string()));
    return f;
}

// A keyed table with a secondary index and a memo, holding `righe` records, made elsewhere
// and copied in (a creation here would take the other spelling's table for its own).
void crea(const std::string& dir, const std::string& nome, int righe)
{
    CartellaTemporanea altrove;
    Table t;
    t.setDatabaseName(altrove.percorso());
    t.setTableName(nome);
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", FieldType::Alpha, 10, false}, {"M", FieldType::Memo, 5, false}};
    t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}, {"F", "F", 0}};
    t.createTable();
    t.open();
    for (int i = 0; i < righe; ++i) {
        t.append();
        t.field(0).setInteger(i);
        t.field(1).setString(std::to_string(i) + "r");
        t.field(2).setString(std::string(200, 'm'));
        t.post();
    }
    t.close();
    for (const auto& e : fs::directory_iterator(altrove.percorso()))
        fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
}

TEST(FamiglieInAltreMaiuscole, OgniOperazioneTieneIFileDellAltraTabella)
{
    const std::vector<std::pair<std::string, std::function<void(Table&)>>> operazioni = {
        {"azzera", [](Table& t) { t.emptyTable(); }},
        {"compatta", [](Table& t) { t.packTable(); }},
        {"rigenera", [](Table& t) { t.regenerateTable(); }},
        {"elimina", [](Table& t) { t.deleteTable(); }},
        {"rinomina", [](Table& t) { t.renameTable("nuova.DB"); }},
    };
    for (const auto& [nome, operazione] : operazioni) {
        SCOPED_TRACE(nome);
        CartellaTemporanea d;
        crea(d.percorso(), "AB.DB", 3);
        crea(d.percorso(), "ab.DB", 2);
        const auto altra = famiglia(d.percorso(), "AB");
        ASSERT_EQ(altra.size(), 5u);  // .DB .PX .MB .X02 .Y02
        Table t;
        t.setDatabaseName(d.percorso());
        t.setTableName("ab.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", FieldType::Alpha, 12, false}, {"M", FieldType::Memo, 5, false}};
        t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}};
        EXPECT_EQ(test::erroreDi([&] { operazione(t); }), "nessun errore");
        EXPECT_EQ(famiglia(d.percorso(), "AB"), altra);
    }
}

// A companion spelled like neither table cannot be given to one: refused, nothing touched.
TEST(FamiglieInAltreMaiuscole, UnFileCheNonSiSaDiQualeTabellaSiaVieneRifiutato)
{
    CartellaTemporanea d;
    crea(d.percorso(), "AB.DB", 3);
    crea(d.percorso(), "ab.DB", 2);
    fs::rename(d / "ab.X02", d / "Ab.X02");
    std::map<std::string, std::size_t> prima;
    for (const char* base : {"AB", "ab", "Ab"})
        prima.merge(famiglia(d.percorso(), base));
    Table t;
    t.setDatabaseName(d.percorso());
    t.setTableName("ab.DB");
    const std::vector<std::function<void()>> operazioni = {[&] { t.open(); }, [&] { t.emptyTable(); },
                                                           [&] { t.deleteTable(); }};
    for (const auto& operazione : operazioni) {
        const std::string errore = test::erroreDi(operazione);
        EXPECT_NE(errore.find("Ab.X02"), std::string::npos) << errore;
        t.close();
    }
    std::map<std::string, std::size_t> dopo;
    for (const char* base : {"AB", "ab", "Ab"})
        dopo.merge(famiglia(d.percorso(), base));
    EXPECT_EQ(dopo, prima);
}

}  // namespace
}  // namespace korva::paradox
