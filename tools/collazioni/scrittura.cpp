#include "scrittura.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace korva::collazioni {

namespace {

std::string esa(int v)
{
    char t[8];
    std::snprintf(t, sizeof t, "0x%02X", v);
    return t;
}

}  // namespace

std::string sorgente(const std::vector<Misurato>& misurati)
{
    std::ostringstream s;
    s << "// Written by tools/collazioni/genera_collazioni from the collations Firebird generated from\n"
         "// the same language drivers (see NOTES.md): do not change by hand, run it again.\n"
         "//\n"
         "// Each byte: its primary and secondary weight, then those of the element it adds when it\n"
         "// expands (0: none); then the driver's upper case of every byte.\n\n"
         "#include \"engines/paradox/collation.h\"\n\n"
         "namespace korva::paradox::detail {\n\n"
         "const DriverWeights kDriverWeights[] = {\n";
    for (const Misurato& m : misurati) {
        const Driver& d = *m.driver;
        s << "    {\"" << d.nome << "\", " << esa(d.byte) << ", " << d.codePage << ", \"" << d.collazione << "\",\n"
          << "     {\n";
        for (int b = 0; b < 256; b += 4) {
            s << "         ";
            for (int k = b; k < b + 4; ++k) {
                const auto& e = m.pesi.elementi[static_cast<std::size_t>(k)];
                s << "{" << e[0].primario << ", " << e[0].secondario << ", " << e[1].primario << ", " << e[1].secondario
                  << "},";
                s << (k + 1 < b + 4 ? " " : "");
            }
            s << "  // " << esa(b) << "\n";
        }
        s << "     },\n     {\n";
        for (int b = 0; b < 256; b += 16) {
            s << "         ";
            for (int k = b; k < b + 16; ++k)
                s << esa(m.pesi.maiuscole[static_cast<std::size_t>(k)]) << "," << (k + 1 < b + 16 ? " " : "");
            s << "\n";
        }
        s << "     }},\n";
    }
    s << "};\n\nconst std::size_t kDriverWeightsCount = " << misurati.size()
      << ";\n\n}  // namespace korva::paradox::detail\n";
    return s.str();
}

std::string campione(const Driver& d, const std::vector<std::string>& stringhe, const std::vector<int>& ranghi)
{
    std::vector<std::size_t> ordine(stringhe.size());
    for (std::size_t i = 0; i < ordine.size(); ++i)
        ordine[i] = i;
    std::sort(ordine.begin(), ordine.end(), [&](std::size_t x, std::size_t y) {
        return ranghi[x] < ranghi[y] || (ranghi[x] == ranghi[y] && stringhe[x] < stringhe[y]);
    });
    std::ostringstream s;
    s << "# " << d.nome << ": Firebird's ORDER BY ... COLLATE " << d.collazione << " (" << d.charset << ") of "
      << stringhe.size() << " strings\n# rank, then the string's bytes in hexadecimal\n";
    for (std::size_t i : ordine) {
        s << ranghi[i] << ' ';
        for (unsigned char c : stringhe[i]) {
            char due[3];
            std::snprintf(due, sizeof due, "%02X", c);
            s << due;
        }
        s << '\n';
    }
    return s.str();
}

std::vector<std::pair<int, std::string>> leggiCampione(const std::string& testo)
{
    std::vector<std::pair<int, std::string>> righe;
    std::istringstream in(testo);
    for (std::string linea; std::getline(in, linea);) {
        if (linea.empty() || linea[0] == '#')
            continue;
        std::istringstream parti(linea);
        int rango = 0;
        std::string hex;
        if (!(parti >> rango >> hex) || hex.size() % 2 != 0 || rango < 1)
            throw std::runtime_error("riga non valida nel campione: " + linea);
        std::string byte;
        for (std::size_t i = 0; i < hex.size(); i += 2)
            byte += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        righe.emplace_back(rango, byte);
    }
    return righe;
}

}  // namespace korva::collazioni
