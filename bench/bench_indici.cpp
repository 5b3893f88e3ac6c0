// Rebuilding every index of a large table (primary, a single-field and a case-insensitive
// composite index: reading the data file, sorting, writing and flushing the files, the switch)
// against sorting the same keys in memory; then the primary and the single-field index alone;
// then the same indexes of a table in the ANSIINTL dictionary order against those of the same
// records in byte order (DBWINUS0). Each side is timed several times and its best time kept,
// so that other work on the machine weighs less.
//   build/bench/bench_indici [records] [runs]   (default 1,000,000 and 5)

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

// Names with accents, case and expansions, for the dictionary order.
std::string nomeMisto(long i)
{
    static const char* cognomi[] = {"M\u00fcller", "Rossi", "\u00c5ngstr\u00f6m", "N\u00fa\u00f1ez", "d'Angelo",
                                    "\u00c9mile", "Stra\u00dfer", "de Jes\u00fas", "O'Brien", "\u00e6lfred"};
    return std::string(cognomi[i % 10]) + " " + std::to_string(i * 7919 % 1000003);
}

void crea(Session& s, const std::string& dir, long n, const char* file = "NOSTRA.DB", const char* ordinamento = "",
          std::string (*nomeDi)(long) = nome)
{
    Table t(s);
    t.setDatabaseName(dir);
    t.setTableName(file);
    t.sortOrder = ordinamento;
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
        nomeF.setString(nomeDi(i));
        importo.setFloat(static_cast<double>(i) * 0.25);
        dataF.setDate(daysToDate(data(i)));
        t.post();
    }
    t.endBatch();
}

struct Prova {
    const char* nome;
    std::vector<IndexDef> indici;
    bool conDataNome;  // the (date, name) pairs sorted as well
};

// Best times of the rebuild and of sorting the same keys in memory (all in lower case, so
// that the case-insensitive order is the plain one). The two sides take turns, so that other
// work on the machine falls on both alike.
std::pair<double, double> misura(Session& s, const std::string& dir, long n, int runs, const Prova& prova)
{
    double rigenerazione = 1e30, ordinamento = 1e30;
    for (int r = 0; r < runs; ++r) {
        std::vector<std::string> nomi;
        std::vector<std::pair<int, std::string>> coppie;
        for (long i = 0; i < n; ++i) {
            nomi.push_back(nome(i));
            if (prova.conDataNome)
                coppie.emplace_back(data(i), nome(i));
        }
        double t0 = ora();
        std::sort(nomi.begin(), nomi.end());
        std::sort(coppie.begin(), coppie.end());
        ordinamento = std::min(ordinamento, ora() - t0);

        t0 = ora();
        IndexRebuild rigenera(s, dir, "NOSTRA.DB");
        rigenera.run(prova.indici);
        rigenerazione = std::min(rigenerazione, ora() - t0);
    }
    return {rigenerazione, ordinamento};
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const fs::path dir = fs::temp_directory_path() / ("korva-bench-indici-" + std::to_string(getpid()));
    fs::create_directories(dir);
    Session s;
    crea(s, dir.string(), n);

    // Every index of the table, then the primary and one secondary alone (where reading the
    // data file is not shared by two sorts).
    const Prova tutti{"primario, Nome, Data;Nome",
                      {{"", "Codice", IndexOption::Primary | IndexOption::Unique},
                       {"Nome", "Nome", 0},
                       {"DataNome", "Data;Nome", IndexOption::CaseInsensitive}},
                      true};
    const Prova uno{"primario, Nome", {{"", "Codice", IndexOption::Primary | IndexOption::Unique}, {"Nome", "Nome", 0}},
                    false};
    std::printf("record: %ld, migliore di %d prove\n", n, runs);
    for (const Prova* p : {&tutti, &uno}) {
        const auto [rigenerazione, ordinamento] = misura(s, dir.string(), n, runs, *p);
        std::printf("rigenerazione degli indici (%s): korva %.3f s, ordinamento in memoria delle stesse chiavi "
                    "%.3f s, rapporto korva/ordinamento = %.2f\n",
                    p->nome, rigenerazione, ordinamento, rigenerazione / ordinamento);
    }

    // The same records in the dictionary order and in byte order.
    crea(s, dir.string(), n, "INTL.DB", "ANSIINTL", nomeMisto);
    crea(s, dir.string(), n, "BYTE.DB", "DBWINUS0", nomeMisto);
    double intl = 1e30, byte = 1e30;
    for (int r = 0; r < runs; ++r)
        for (auto [file, migliore] : {std::pair{"INTL.DB", &intl}, std::pair{"BYTE.DB", &byte}}) {
            const double t0 = ora();
            IndexRebuild(s, dir.string(), file).run(tutti.indici);
            *migliore = std::min(*migliore, ora() - t0);
        }
    std::printf("rigenerazione degli indici (%s) in ANSIINTL %.3f s, in ordine dei byte (DBWINUS0) %.3f s, "
                "rapporto ANSIINTL/byte = %.2f\n",
                tutti.nome, intl, byte, intl / byte);
    fs::remove_all(dir);
    return 0;
}
