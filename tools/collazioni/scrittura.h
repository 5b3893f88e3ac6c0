#pragma once

// What the generator writes: the engine's source file of the drivers' weights, and a golden
// file per driver (Firebird's order of a set of strings).

#include "misura.h"

#include <string>
#include <utility>
#include <vector>

namespace korva::collazioni {

struct Misurato {
    const Driver* driver;
    Pesi pesi;
};

// The text of src/engines/paradox/collation_tables.cpp.
std::string sorgente(const std::vector<Misurato>& misurati);

// The golden file: one line a string, "rank bytes-in-hex", in Firebird's order.
std::string campione(const Driver& d, const std::vector<std::string>& stringhe, const std::vector<int>& ranghi);
// Its lines back (rank, bytes); an exception when a line is not one.
std::vector<std::pair<int, std::string>> leggiCampione(const std::string& testo);

}  // namespace korva::collazioni
