// Rebuilding every index of a large table (primary, a single-field and a composite index)
// against sorting the same keys in memory, and adding one secondary index the same way.
//   build/bench/bench_indici [records]   (default 1,000,000)

#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

using namespace korva::paradox;
namespace fs = std::filesystem;

namespace {

double ora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string nome(long i)
{
    return "cliente " + std::to_string(i * 7919 % 1000003);
}

int data(long i)
{
    return static_cast<int>(730000 + i % 3000);
}

void crea(Session& s, const std::string& dir, long n)
{
    Table t(s);
    t.setDatabaseName(dir);
    t.setTableName("NOSTRA.DB");
    t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 30, false},
                   {"Importo", FieldType::Number, 0, false}, {"Data", FieldType::Date, 0, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.setExclusive(true);
    t.open();
    t.beginBatch();
    Field codice = t.field(0), nomeF = t.field(1), importo = t.field(2), dataF = t.field(3);
    for (long i = 0; i < n; ++i) {
        t.append();
        codice.setInteger(i);
        nomeF.setString(nome(i));
        importo.setFloat(static_cast<double>(i) * 0.25);
        dataF.setDate(daysToDate(data(i)));
        t.post();
    }
    t.endBatch();
}

// The keys of the two secondary indexes, each sorted as a vector in memory.
double ordinamento(long n, bool composto)
{
    std::vector<std::string> nomi;
    std::vector<std::pair<int, std::string>> coppie;
    for (long i = 0; i < n; ++i) {
        if (composto)
            coppie.emplace_back(data(i), nome(i));
        else
            nomi.push_back(nome(i));
    }
    const double t0 = ora();
    if (composto)
        std::sort(coppie.begin(), coppie.end());
    else
        std::sort(nomi.begin(), nomi.end());
    return ora() - t0;
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const fs::path dir = fs::temp_directory_path() / ("korva-bench-indici-" + std::to_string(getpid()));
    fs::create_directories(dir);
    Session s;
    crea(s, dir.string(), n);
    std::printf("record: %ld\n", n);

    double t0 = ora();
    {
        Table t(s);
        t.setDatabaseName(dir.string());
        t.setTableName("NOSTRA.DB");
        t.setExclusive(true);
        t.open();
        t.addIndex("Nome", "Nome", 0);
    }
    const double aggiunta = ora() - t0;
    const double unaChiave = ordinamento(n, false);
    std::printf("aggiunta di un indice secondario: korva %.3f s, ordinamento in memoria delle stesse chiavi "
                "%.3f s, rapporto korva/ordinamento = %.2f\n",
                aggiunta, unaChiave, aggiunta / unaChiave);

    t0 = ora();
    {
        IndexRebuild r(s, dir.string(), "NOSTRA.DB");
        r.run({{"", "Codice", IndexOption::Primary | IndexOption::Unique},
               {"Nome", "Nome", 0},
               {"DataNome", "Data;Nome", IndexOption::CaseInsensitive}});
    }
    const double rigenerazione = ora() - t0;
    const double dueChiavi = unaChiave + ordinamento(n, true);
    std::printf("rigenerazione degli indici (primario, Nome, Data;Nome): korva %.3f s, ordinamento in "
                "memoria delle stesse chiavi %.3f s, rapporto korva/ordinamento = %.2f\n",
                rigenerazione, dueChiavi, rigenerazione / dueChiavi);
    fs::remove_all(dir);
    return 0;
}
