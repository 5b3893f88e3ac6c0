#include "maintenance/cartelle.h"

#include "base/percorsi.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace korva {
namespace fs = std::filesystem;

std::string cartellaFs(const std::string& directory)
{
    std::string c = percorsoFs(directory);
    while (c.size() > 1 && c.back() == '/')
        c.pop_back();
    if (c.empty())
        return ".";
    if (auto r = risolviPercorso(c))
        return *r;
    return c;
}

std::vector<std::string> fileDellaCartella(const std::string& cartella)
{
    std::vector<std::string> nomi;
    std::error_code ec;
    fs::directory_iterator it(cartella, ec);
    if (ec)
        return nomi;
    for (const auto& voce : it) {
        const std::string nome = voce.path().filename().string();
        std::error_code ec2;
        if (nome.empty() || nome[0] == '.' || !voce.is_regular_file(ec2))
            continue;
        nomi.push_back(nome);
    }
    std::sort(nomi.begin(), nomi.end());
    return nomi;
}

bool stessaCartella(const std::string& a, const std::string& b)
{
    const std::string pa = cartellaFs(a), pb = cartellaFs(b);
    std::error_code ec, eca, ecb;
    if (fs::equivalent(pa, pb, ec))
        return true;
    const fs::path ca = fs::weakly_canonical(pa, eca), cb = fs::weakly_canonical(pb, ecb);
    if (eca || ecb)
        return pa == pb;
    return ca == cb;
}

std::string testoByte(std::uint64_t n)
{
    const std::string cifre = std::to_string(n);
    std::string testo;
    for (std::size_t i = 0; i < cifre.size(); ++i) {
        if (i > 0 && (cifre.size() - i) % 3 == 0)
            testo += '.';
        testo += cifre[i];
    }
    testo += " byte";
    return testo;
}

}  // namespace korva
