#include "engines/paradox/aiuti.h"

#include "base/errore.h"

#include <algorithm>
#include <filesystem>

namespace korva::paradox {

namespace fs = std::filesystem;

std::string copia(const test::CartellaTemporanea& t, const std::string& relativo)
{
    fs::path src = fs::path(KORVA_SAMPLES_DIR) / relativo;
    std::string base = src.stem().string();
    for (const auto& e : fs::directory_iterator(src.parent_path()))
        if (e.path().stem().string() == base) {
            fs::copy_file(e.path(), t / e.path().filename().string());
            fs::permissions(t / e.path().filename().string(), fs::perms::owner_write, fs::perm_options::add);
        }
    return src.filename().string();
}

Letta leggi(Table& t, bool errori)
{
    Letta l;
    for (int i = 0; i < t.fieldCount(); ++i)
        l.nomi.push_back(t.field(i).name());
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> r;
        for (int i = 0; i < t.fieldCount(); ++i) {
            try {
                r.push_back(t.field(i).asString());
            } catch (const Error& e) {
                if (!errori)
                    throw;
                r.push_back(std::string("<errore>") + e.what());
            }
        }
        l.righe.push_back(std::move(r));
    }
    return l;
}

std::vector<std::string> files(const test::CartellaTemporanea& d)
{
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(d.percorso()))
        v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

std::string errore(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(nessun errore)";
}

void punta(Table& t, const std::string& dir, const std::string& name, bool exclusive)
{
    t.setDatabaseName(dir + "/");
    t.setTableName(name);
    t.setExclusive(exclusive);
}

}  // namespace korva::paradox
