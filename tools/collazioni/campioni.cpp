#include "campioni.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace korva::collazioni {

namespace {

// The bytes of each kind the driver has: letters (bytes that share their primary weight with
// another, or expand), and the rest.
struct Alfabeto {
    std::vector<std::uint8_t> lettere, altri;
    std::map<std::pair<int, int>, std::vector<std::uint8_t>> stessoPrimario;  // by their primaries
};

Alfabeto alfabeto(const Driver& d, const Pesi& p)
{
    Alfabeto a;
    std::map<int, int> membri;
    for (int b = 1; b < 256; ++b)
        if (p.elementi[b][1].primario == 0)
            ++membri[p.elementi[b][0].primario];
    for (int b = 1; b < 256; ++b) {
        const std::string s(1, static_cast<char>(b));
        if (corretta(d, s))
            continue;
        const auto& e = p.elementi[b];
        a.stessoPrimario[{e[0].primario, e[1].primario}].push_back(static_cast<std::uint8_t>(b));
        if (e[1].primario != 0 || membri[e[0].primario] > 1)
            a.lettere.push_back(static_cast<std::uint8_t>(b));
        else
            a.altri.push_back(static_cast<std::uint8_t>(b));
    }
    return a;
}

}  // namespace

std::vector<std::string> stringheDiProva(const Driver& d, const Pesi& p, std::size_t quante, std::uint32_t seme)
{
    const Alfabeto a = alfabeto(d, p);
    std::mt19937 caso(seme);
    // Distributions are not the same across libraries: plain arithmetic on the generator's
    // output keeps the strings the same everywhere.
    auto fino = [&](std::size_t n) { return static_cast<std::size_t>(caso() % n); };
    auto una = [&](const std::vector<std::uint8_t>& v) { return static_cast<char>(v[fino(v.size())]); };
    const std::string cifre = "0123456789", segni = " !\"#&'()*+,-./:;<=>?@_";
    std::vector<std::uint8_t> cifreESegni(cifre.begin(), cifre.end());
    cifreESegni.insert(cifreESegni.end(), segni.begin(), segni.end());

    std::set<std::string> visti;
    std::vector<std::string> out;
    auto aggiungi = [&](std::string s) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        if (!s.empty() && out.size() < quante && visti.insert(s).second)
            out.push_back(std::move(s));
    };
    while (out.size() < quante) {
        // A word mostly of letters, with a digit, a sign or an inner blank now and then.
        std::string parola;
        const std::size_t lunghezza = 1 + fino(8);
        for (std::size_t i = 0; i < lunghezza; ++i) {
            const std::size_t tipo = fino(20);
            parola += tipo < 16 ? una(a.lettere) : tipo < 19 ? una(cifreESegni) : una(a.altri);
        }
        aggiungi(parola);
        // The same word with other letters of the same primary weights: only the secondary
        // weights tell these apart.
        for (int v = 0; v < 4; ++v) {
            std::string variante = parola;
            for (char& c : variante) {
                const auto& e = p.elementi[static_cast<std::uint8_t>(c)];
                c = una(a.stessoPrimario.at({e[0].primario, e[1].primario}));
            }
            aggiungi(variante);
        }
        // Its prefixes, and the word grown by one more byte.
        if (fino(4) == 0)
            for (std::size_t n = 1; n < parola.size(); ++n)
                aggiungi(parola.substr(0, n));
        aggiungi(parola + una(fino(2) ? a.lettere : cifreESegni));
        // Any bytes at all.
        if (fino(3) == 0) {
            std::string qualsiasi;
            for (std::size_t i = 0, n = 1 + fino(12); i < n; ++i)
                qualsiasi += fino(2) ? una(a.lettere) : una(a.altri);
            aggiungi(qualsiasi);
        }
    }
    return out;
}

}  // namespace korva::collazioni
