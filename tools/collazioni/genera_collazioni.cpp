// Measures the collations that Firebird generated from the Paradox language drivers and writes
// the engine's tables of their weights and a golden file per driver:
//
//     genera_collazioni SORGENTE CARTELLA_CAMPIONI
//
// (src/engines/paradox/collation_tables.cpp and tests/data/collazioni from the source tree).

#include "campioni.h"
#include "isql.h"
#include "misura.h"
#include "scrittura.h"

#include <fstream>
#include <iostream>

using namespace korva::collazioni;

namespace {

void scrivi(const std::string& percorso, const std::string& testo)
{
    std::ofstream out(percorso, std::ios::binary);
    out << testo;
    if (!out.flush())
        throw std::runtime_error("impossibile scrivere " + percorso);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "uso: genera_collazioni SORGENTE CARTELLA_CAMPIONI\n";
        return 2;
    }
    try {
        Isql isql;
        std::vector<Misurato> misurati;
        for (const Driver& d : drivers()) {
            std::cerr << d.nome << " (" << d.collazione << ")...\n";
            Pesi p = misura(isql, d);
            // Every single byte, then strings of every kind (another seed than the check's).
            std::vector<std::string> stringhe;
            for (int b = 1; b < 256; ++b) {
                const std::string s(1, static_cast<char>(b));
                if (b != ' ' && !corretta(d, s))
                    stringhe.push_back(s);
            }
            for (std::string& s : stringheDiProva(d, p, 3200, 0xC0FFEE))
                if (s.size() > 1)
                    stringhe.push_back(std::move(s));
            scrivi(std::string(argv[2]) + "/" + d.nome + ".txt", campione(d, stringhe, ranghi(isql, d, stringhe)));
            misurati.push_back({&d, p});
        }
        scrivi(argv[1], sorgente(misurati));
    } catch (const std::exception& e) {
        std::cerr << "genera_collazioni: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
