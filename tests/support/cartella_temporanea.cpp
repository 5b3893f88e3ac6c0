#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korva::test {
namespace fs = std::filesystem;

CartellaTemporanea::CartellaTemporanea()
{
    std::string modello = (fs::temp_directory_path() / "korva-test-XXXXXX").string();
    if (!mkdtemp(modello.data()))
        throw std::runtime_error("mkdtemp fallita");
    percorso_ = modello;
}

CartellaTemporanea::~CartellaTemporanea()
{
    std::error_code ec;
    fs::remove_all(percorso_, ec);
}

void scriviFile(const std::string& percorso, std::string_view contenuto)
{
    fs::create_directories(fs::path(percorso).parent_path());
    std::ofstream f(percorso, std::ios::binary | std::ios::trunc);
    f.write(contenuto.data(), static_cast<std::streamsize>(contenuto.size()));
    if (!f)
        ADD_FAILURE() << "impossibile scrivere " << percorso;
}

std::string leggiFile(const std::string& percorso)
{
    std::ifstream f(percorso, std::ios::binary);
    if (!f) {
        ADD_FAILURE() << "impossibile leggere " << percorso;
        return {};
    }
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace korva::test
