// Regenerating a large table with a new layout (a field widened, one retyped, one appended)
// against the work it cannot do without: reading the table and bulk-appending the same
// records into a new table of the new layout, in the same run. Each side's best time is kept.
//   build/bench/bench_rigenera [records] [runs]   (default 1,000,000 and 3)

#include "engines/paradox/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace korva::paradox;
namespace fs = std::filesystem;

namespace {

double ora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void crea(const std::string& dir, long n)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    t.setDatabaseName(dir);
    t.setTableName("VECCHIA.DB");
    t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 30, false},
                   {"Qta", FieldType::Short, 0, false}, {"Data", FieldType::Date, 0, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}, {"Qta", "Qta", 0}};
    t.createTable();
    t.setExclusive(true);
    t.open();
    t.beginBatch();
    Field codice = t.field(0), nome = t.field(1), qta = t.field(2), data = t.field(3);
    for (long i = 0; i < n; ++i) {
        t.append();
        codice.setInteger(i);
        nome.setString(std::string("cliente ").append(std::to_string(i * 7919 % 1000003)));
        qta.setInteger(i % 1000);
        data.setDate(daysToDate(static_cast<int>(730000 + i % 3000)));
        t.post();
    }
    t.endBatch();
}

void nuovoTracciato(Table& t)
{
    t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 40, false},
                   {"Qta", FieldType::Number, 0, false}, {"Data", FieldType::Date, 0, false},
                   {"Note", FieldType::Alpha, 20, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}, {"Qta", "Qta", 0}};
}

void copiaTabella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int giri = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path base = fs::temp_directory_path() / std::string("bench_rigenera_").append(std::to_string(::getpid()));
    const std::string originale = base / "originale", lavoro = base / "lavoro";
    fs::create_directories(originale);
    fs::create_directories(lavoro);
    crea(originale, n);

    double riferimento = 1e30, rigenerazione = 1e30;
    for (int g = 0; g < giri; ++g) {
        copiaTabella(originale, lavoro);
        {
            const double t0 = ora();
            Table vecchia, nuova;
            vecchia.setDatabaseName(lavoro);
            vecchia.setTableName("VECCHIA.DB");
            vecchia.setExclusive(true);
            vecchia.open();
            nuova.setDatabaseName(lavoro);
            nuova.setTableName("NUOVA.DB");
            nuovoTracciato(nuova);
            nuova.createTable();
            nuova.setExclusive(true);
            nuova.open();
            nuova.batchAppend(vecchia);
            nuova.close();
            riferimento = std::min(riferimento, ora() - t0);
        }
        copiaTabella(originale, lavoro);
        {
            const double t0 = ora();
            Table t;
            t.setDatabaseName(lavoro);
            t.setTableName("VECCHIA.DB");
            nuovoTracciato(t);
            t.regenerateTable();
            rigenerazione = std::min(rigenerazione, ora() - t0);
        }
    }
    fs::remove_all(base);
    std::printf("%ld record, migliore di %d giri\n", n, giri);
    std::printf("lettura + aggiunta in blocco in una tabella nuova: %.2f s\n", riferimento);
    std::printf("rigenerazione:                                     %.2f s\n", rigenerazione);
    std::printf("rapporto rigenerazione / riferimento:              %.2f\n", rigenerazione / riferimento);
    return 0;
}
