#include "base/percorsi.h"

#include "base/errore.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace korva {
namespace fs = std::filesystem;

std::string percorsoFs(std::string_view percorso)
{
    std::string risultato(percorso);
    for (char& c : risultato)
        if (c == '\\')
            c = '/';
    return risultato;
}

namespace {

// The entry of `dir` whose name equals `nome` without regard to case.
std::optional<std::string> cercaSenzaMaiuscole(const std::string& dir, const std::string& nome)
{
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? "." : dir, ec);
    if (ec)
        return std::nullopt;
    std::optional<std::string> trovato;
    for (const auto& voce : it) {
        std::string candidato = voce.path().filename().string();
        if (strcasecmp(candidato.c_str(), nome.c_str()) != 0)
            continue;
        if (trovato)
            throw Error("Nome ambiguo: \"" + *trovato + "\" e \"" + candidato + "\" in " +
                        (dir.empty() ? std::string(".") : dir));
        trovato = candidato;
    }
    return trovato;
}

}  // namespace

namespace {

// Resolves the components of the path one by one, each exactly or else without regard to
// case; `completo` tells whether every component was found. The components after the first
// one not found are kept as given.
std::string risolviComponenti(std::string_view percorso, bool& completo)
{
    std::string p = percorsoFs(percorso);
    std::error_code ec;
    completo = true;
    if (p.empty() || fs::exists(p, ec))
        return p;

    std::vector<std::string> parti;
    size_t inizio = 0;
    while (inizio <= p.size()) {
        size_t fine = p.find('/', inizio);
        if (fine == std::string::npos)
            fine = p.size();
        parti.push_back(p.substr(inizio, fine - inizio));
        inizio = fine + 1;
    }

    std::string risolto;
    for (size_t i = 0; i < parti.size(); ++i) {
        if (i > 0)
            risolto += '/';
        const std::string& parte = parti[i];
        if (parte.empty())
            continue;
        std::string candidato = risolto + parte;
        if (completo && !fs::exists(candidato, ec)) {
            if (auto trovato = cercaSenzaMaiuscole(risolto, parte))
                candidato = risolto + *trovato;
            else
                completo = false;
        }
        risolto = candidato;
    }
    return risolto;
}

}  // namespace

std::optional<std::string> risolviPercorso(std::string_view percorso)
{
    bool completo = false;
    std::string risolto = risolviComponenti(percorso, completo);
    std::error_code ec;
    if (!completo || risolto.empty() || !fs::exists(risolto, ec))
        return std::nullopt;
    return risolto;
}

std::string risolviPerCreare(std::string_view percorso)
{
    bool completo = false;
    return risolviComponenti(percorso, completo);
}

namespace {

// The path made absolute and normal, with the names on disk where they exist.
fs::path forma(std::string_view percorso)
{
    const std::string p = risolviPerCreare(percorso);
    std::error_code ec;
    fs::path assoluto = fs::absolute(p.empty() ? "." : p, ec);
    return (ec ? fs::path(p) : assoluto).lexically_normal();
}

std::optional<std::string> dentro(const fs::path& dir, const fs::path& base)
{
    std::vector<std::string> parti, radice;
    for (const auto& c : dir)
        if (!c.empty())
            parti.push_back(c.string());
    for (const auto& c : base)
        if (!c.empty())
            radice.push_back(c.string());
    if (radice.size() > parti.size() || !std::equal(radice.begin(), radice.end(), parti.begin()))
        return std::nullopt;
    std::string relativo;
    for (size_t i = radice.size(); i < parti.size(); ++i)
        relativo += parti[i] + '/';
    return relativo;
}

}  // namespace

std::optional<std::string> sottoDirectory(std::string_view dir, std::string_view base)
{
    const fs::path d = forma(dir), b = forma(base);
    const auto lessicale = dentro(d, b);
    std::error_code ec1, ec2;
    const fs::path dc = fs::weakly_canonical(d, ec1), bc = fs::weakly_canonical(b, ec2);
    if (ec1 || ec2)
        return lessicale;
    // Where the links lead decides: a link inside that leads out is outside.
    const auto canonico = dentro(dc, bc);
    if (lessicale && canonico)
        return lessicale;
    return canonico;
}

bool nomeFileSemplice(std::string_view nome)
{
    return !nome.empty() && nome != "." && nome != ".." &&
           nome.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool esisteFile(std::string_view percorso)
{
    auto p = risolviPercorso(percorso);
    std::error_code ec;
    return p && fs::is_regular_file(*p, ec);
}

bool esisteDirectory(std::string_view percorso)
{
    auto p = risolviPercorso(percorso);
    std::error_code ec;
    return p && fs::is_directory(*p, ec);
}

void creaPercorso(std::string_view directory)
{
    std::error_code ec;
    fs::create_directories(risolviPerCreare(directory), ec);
}

void ImpostaDirCorrente(std::string_view directory)
{
    creaPercorso(directory);
    if (chdir(risolviPerCreare(directory).c_str()) != 0) {
        // Not reported: the failure shows when the directory is used.
    }
}

std::string directoryCorrente()
{
    std::error_code ec;
    auto p = fs::current_path(ec);
    return ec ? std::string() : p.string();
}

}  // namespace korva
