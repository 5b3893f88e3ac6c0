// Sequential read and bulk append of a large table, each against pxlib doing the same work.

#include "engines/paradox/table.h"

extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

using namespace korva::paradox;
namespace fs = std::filesystem;

namespace {

double ora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void zitto(pxdoc_t*, int, const char*, void*) {}

std::string testo(long i)
{
    return "cliente " + std::to_string(i * 7919 % 1000003);
}

// pxlib writes the table without an index (it cannot keep one while appending).
double scriviPxlib(const std::string& path, long n)
{
    const double t0 = ora();
    pxdoc_t* doc = PX_new2(zitto, nullptr, nullptr, nullptr);
    auto* f = static_cast<pxfield_t*>(doc->malloc(doc, 4 * sizeof(pxfield_t), "campi"));
    const char* nomi[] = {"Codice", "Nome", "Importo", "Data"};
    const char tipi[] = {pxfLong, pxfAlpha, pxfNumber, pxfDate};
    const int lung[] = {4, 30, 8, 4};
    for (int i = 0; i < 4; ++i) {
        f[i].px_fname = static_cast<char*>(doc->malloc(doc, 16, "nome"));
        std::strcpy(f[i].px_fname, nomi[i]);
        f[i].px_ftype = tipi[i];
        f[i].px_flen = lung[i];
        f[i].px_fdc = 0;
    }
    PX_create_file(doc, f, 4, path.c_str(), pxfFileTypNonIndexDB);
    PX_set_parameter(doc, "tablename", "PXLIB");
    PX_set_value(doc, "codepage", 1252);
    // Records put whole (PX_insert_record looks for room from the start at every call).
    std::vector<char> rec(static_cast<std::size_t>(PX_get_recordsize(doc)));
    char buf[64];
    for (long i = 0; i < n; ++i) {
        std::memset(rec.data(), 0, rec.size());
        PX_put_data_long(doc, rec.data(), 4, static_cast<int>(i));
        const std::string t = testo(i);
        std::strcpy(buf, t.c_str());
        PX_put_data_alpha(doc, rec.data() + 4, 30, buf);
        PX_put_data_double(doc, rec.data() + 34, 8, static_cast<double>(i) * 0.25);
        PX_put_data_long(doc, rec.data() + 42, 4, static_cast<int>(730000 + i % 3000));
        PX_put_record(doc, rec.data());
    }
    PX_close(doc);
    PX_delete(doc);
    return ora() - t0;
}

double leggiPxlib(const std::string& path, long& somma)
{
    const double t0 = ora();
    pxdoc_t* doc = PX_new2(zitto, nullptr, nullptr, nullptr);
    PX_open_file(doc, path.c_str());
    const int n = PX_get_num_records(doc);
    for (int r = 0; r < n; ++r) {
        pxval_t** v = PX_retrieve_record(doc, r);
        somma += v[0]->value.lval + static_cast<long>(v[1]->value.str.len);
        for (int i = 0; i < 4; ++i) {
            if (v[i]->type == pxfAlpha && v[i]->value.str.val)
                doc->free(doc, v[i]->value.str.val);
            doc->free(doc, v[i]);
        }
        doc->free(doc, v);
    }
    PX_close(doc);
    PX_delete(doc);
    return ora() - t0;
}

double scriviNoi(Session& s, const std::string& dir, long n)
{
    const double t0 = ora();
    Table t(s);
    t.setDatabaseName(dir + "/");
    t.setTableName("NOSTRA.DB");
    t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 30, false},
                   {"Importo", FieldType::Number, 0, false}, {"Data", FieldType::Date, 0, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.setExclusive(true);
    t.open();
    t.beginBatch();
    Field codice = t.field(0), nome = t.field(1), importo = t.field(2), data = t.field(3);
    for (long i = 0; i < n; ++i) {
        t.append();
        codice.setInteger(i);
        nome.setString(testo(i));
        importo.setFloat(i * 0.25);
        data.setDate(daysToDate(730000 + i % 3000));
        t.post();
    }
    t.endBatch();
    t.close();
    return ora() - t0;
}

double leggiNoi(Session& s, const std::string& dir, const std::string& name, long& somma)
{
    const double t0 = ora();
    Table t(s);
    t.setDatabaseName(dir + "/");
    t.setTableName(name);
    t.setExclusive(true);
    t.open();
    Field codice = t.field(0), nome = t.field(1), importo = t.field(2), data = t.field(3);
    for (t.first(); !t.eof(); t.next()) {
        somma += codice.asInteger() + static_cast<long>(nome.asString().size());
        (void)importo.asFloat();
        (void)data.asDate();
    }
    return ora() - t0;
}

// Adding a secondary index over the table (its records read, sorted and written as .X/.Y)
// against sorting the same keys in memory.
void indice(Session& s, const std::string& dir, long n)
{
    {
        Table t(s);
        t.setDatabaseName(dir + "/");
        t.setTableName("NOSTRA.DB");
        t.setExclusive(true);
        t.open();
        const double t0 = ora();
        t.addIndex("Nome", "Nome", 0);
        const double costruzione = ora() - t0;
        std::vector<std::string> chiavi;
        chiavi.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i)
            chiavi.push_back(testo(i));
        const double t1 = ora();
        std::sort(chiavi.begin(), chiavi.end());
        const double ordinamento = ora() - t1;
        std::printf("costruzione di un indice secondario: korva %.3f s, ordinamento in memoria delle "
                    "stesse chiavi %.3f s, rapporto korva/ordinamento = %.2f\n",
                    costruzione, ordinamento, costruzione / ordinamento);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    PX_boot();
    const fs::path dir = fs::temp_directory_path() / ("korva-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    Session s;
    s.setDurable(true);

    const double wPx = scriviPxlib((dir / "PXLIB.DB").string(), n);
    const double wNoi = scriviNoi(s, dir.string(), n);
    long a = 0, b = 0, c = 0;
    const double rPx = leggiPxlib((dir / "PXLIB.DB").string(), a);
    const double rNoi = leggiNoi(s, dir.string(), "PXLIB.DB", b);
    const double rNoiK = leggiNoi(s, dir.string(), "NOSTRA.DB", c);
    std::printf("record: %ld\n", n);
    std::printf("lettura sequenziale (tabella scritta da pxlib): korva %.3f s, pxlib %.3f s, "
                "pxlib/korva = %.2f\n", rNoi, rPx, rPx / rNoi);
    std::printf("lettura sequenziale (tabella con chiave scritta da korva): korva %.3f s\n", rNoiK);
    std::printf("scrittura in blocco: korva con .PX %.3f s, pxlib senza indice %.3f s, "
                "pxlib/korva = %.2f\n", wNoi, wPx, wPx / wNoi);
    indice(s, dir.string(), n);
    if (a != b || b != c)
        std::printf("ATTENZIONE: letture diverse (%ld %ld %ld)\n", a, b, c);
    fs::remove_all(dir);
    return a == b && b == c ? 0 : 1;
}
