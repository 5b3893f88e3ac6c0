// Builds the seed corpora of the fuzz targets: every sample table family under the folder
// given, packed into each target's input format, and a family our engine writes with every
// field type, blobs and three secondary indexes.
//
//     fuzz_seed_corpus SAMPLES OUT    (writes OUT/db and OUT/family)

#include "family_input.h"

#include "base/errore.h"
#include "engines/paradox/table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using namespace korva;

namespace {

// Larger inputs slow every run down; the fuzzer is given this as its maximum too.
constexpr std::size_t kMaxInput = 128 * 1024;

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& bytes)
{
    std::ofstream out(p, std::ios::binary);
    out << bytes;
    if (!out.flush())
        throw Error("Impossibile scrivere il file " + p.string());
}

struct Counts {
    int db = 0, family = 0, skipped = 0;
};

void save(const fs::path& dir, const std::string& name, const std::string& input, int& count, Counts& c)
{
    if (input.size() > kMaxInput) {
        ++c.skipped;
        return;
    }
    writeFile(dir / name, input);
    ++count;
}

// The .DB at `db` and its companions (same name, any case) as seeds of both targets.
void addFamily(const fs::path& db, const std::string& label, const fs::path& out, Counts& c)
{
    const std::string stem = upper(db.stem().string());
    std::map<std::string, std::string> files;  // upper-case extension -> bytes
    for (const auto& e : fs::directory_iterator(db.parent_path()))
        if (e.is_regular_file() && upper(e.path().stem().string()) == stem && e.path().has_extension())
            files[upper(e.path().extension().string().substr(1))] = readFile(e.path());
    fuzz::Family f;
    f.db = files["DB"];
    save(out / "db", label, f.db, c.db, c);
    f.px = files.count("PX") ? files["PX"] : "";
    f.mb = files.count("MB") ? files["MB"] : "";
    f.val = files.count("VAL") ? files["VAL"] : "";
    bool any = false;
    for (const auto& [ext, bytes] : files) {
        const std::string y = std::string("Y").append(ext.substr(1));
        if (!fuzz::isXExtension(ext) || !files.count(y))
            continue;
        f.xExtension = ext;
        f.x = bytes;
        f.y = files[y];
        save(out / "family", label + "." + ext, fuzz::pack(f), c.family, c);
        any = true;
    }
    if (!any) {
        f.xExtension = "X02";
        f.x.clear();
        f.y.clear();
        save(out / "family", label, fuzz::pack(f), c.family, c);
    }
}

// A table of every field type, written by our engine.
fs::path makeTable(const fs::path& dir)
{
    using namespace paradox;
    fs::create_directories(dir);
    Table t;
    t.setDatabaseName(dir.string());
    t.setTableName("TUTTI.DB");
    t.fieldDefs = {{"CODICE", FieldType::Alpha, 8, false},     {"NUMERO", FieldType::Short, 0, false},
                   {"INTERO", FieldType::Long, 0, false},      {"IMPORTO", FieldType::Money, 0, false},
                   {"VALORE", FieldType::Number, 0, false},    {"DATA", FieldType::Date, 0, false},
                   {"ORA", FieldType::Time, 0, false},         {"MOMENTO", FieldType::Timestamp, 0, false},
                   {"FLAG", FieldType::Logical, 0, false},     {"CONTATORE", FieldType::AutoInc, 0, false},
                   {"DECIMALE", FieldType::Bcd, 2, false},     {"BYTE", FieldType::Bytes, 6, false},
                   {"NOTE", FieldType::Memo, 10, false},       {"TESTO", FieldType::FmtMemo, 10, false},
                   {"DATI", FieldType::Binary, 10, false},     {"OGGETTO", FieldType::Ole, 10, false},
                   {"IMMAGINE", FieldType::Graphic, 10, false}};
    t.indexDefs = {{"", "CODICE", IndexOption::Primary},
                   {"NUMERO", "NUMERO", 0},
                   {"PERDATA", "DATA;CODICE", IndexOption::CaseInsensitive},
                   {"UNICO", "INTERO", IndexOption::Unique | IndexOption::Descending}};
    t.createTable();
    t.open();
    for (int i = 0; i < 40; ++i) {
        t.append();
        t.field("CODICE").setString(std::string("C").append(std::to_string(1000 + i * 37 % 40)));
        if (i % 7) {
            t.field("NUMERO").setInteger(i % 5 - 2);
            t.field("IMPORTO").setFloat(i * 12.5);
            t.field("VALORE").setFloat(-i / 3.0);
            t.field("DATA").setString("2024-0" + std::to_string(1 + i % 9) + "-1" + std::to_string(i % 10));
            t.field("ORA").setTime(i * 3600123LL % 86400000);
            t.field("MOMENTO").setString("1999-12-31 23:59:" + std::to_string(10 + i));
            t.field("FLAG").setBoolean(i % 2);
            t.field("DECIMALE").setString(std::to_string(i * 101) + ".25");
            t.field("BYTE").setBytes(std::string(6, static_cast<char>(i)));
            t.field("NOTE").setString(std::string(static_cast<std::size_t>(i * 23 % 300), 'n'));
            t.field("TESTO").setBytes(i % 3 ? "breve" : std::string(500, 't'));
            t.field("DATI").setBytes(std::string(static_cast<std::size_t>(i * 7), '\x01'));
        }
        t.field("INTERO").setInteger(i * 1000 - 7);
        if (i % 10 == 0) {
            t.field("OGGETTO").setBytes(std::string(2000, 'o'));
            t.field("IMMAGINE").setBytes(std::string(300, 'g'));
        }
        t.post();
    }
    t.close();
    return dir / "TUTTI.DB";
}

// A level-5 table with a required field (kept in its .VAL) and a secondary index.
fs::path makeRequired(const fs::path& dir)
{
    using namespace paradox;
    fs::create_directories(dir);
    Table t;
    t.setDatabaseName(dir.string());
    t.setTableName("OBBLIGO.DB");
    t.fieldDefs = {{"CODICE", FieldType::Alpha, 6, true},
                   {"QUANDO", FieldType::Timestamp, 0, true},
                   {"NOTE", FieldType::Memo, 20, false}};
    t.indexDefs = {{"", "CODICE", IndexOption::Primary}, {"QUANDO", "QUANDO", 0}};
    t.createTable();
    t.open();
    for (int i = 0; i < 20; ++i) {
        t.append();
        t.field("CODICE").setString(std::string("K").append(std::to_string(i * 7 % 20)));
        t.field("QUANDO").setString("2001-02-0" + std::to_string(1 + i % 9) + " 10:00:00");
        t.field("NOTE").setString(std::string(static_cast<std::size_t>(i * 11), 'x'));
        t.post();
    }
    t.close();
    return dir / "OBBLIGO.DB";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "uso: %s CAMPIONI USCITA\n", argv[0]);
        return 2;
    }
    try {
        const fs::path samples = argv[1], out = argv[2];
        fs::remove_all(out);
        fs::create_directories(out / "db");
        fs::create_directories(out / "family");
        Counts c;
        std::vector<fs::path> dbs;
        for (const auto& e : fs::recursive_directory_iterator(samples))
            if (e.is_regular_file() && upper(e.path().extension().string()) == ".DB")
                dbs.push_back(e.path());
        std::sort(dbs.begin(), dbs.end());
        for (const auto& db : dbs) {
            std::string label = fs::relative(db, samples).string();
            std::replace(label.begin(), label.end(), '/', '-');
            addFamily(db, label, out, c);
        }
        addFamily(makeTable(out / "made"), "made-TUTTI.DB", out, c);
        addFamily(makeRequired(out / "made"), "made-OBBLIGO.DB", out, c);
        fs::remove_all(out / "made");
        std::printf("semi: %d tabelle, %d famiglie (%d file troppo grandi tralasciati)\n", c.db,
                    c.family, c.skipped);
        return c.db > 0 && c.family > 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
