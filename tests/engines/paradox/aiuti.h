#pragma once

// Helpers shared by the engine's tests.

#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"

#include <functional>
#include <string>
#include <vector>

namespace korva::paradox {

// Copies a sample table (with its companions) into a writable folder; returns its file name.
std::string copia(const test::CartellaTemporanea& t, const std::string& relativo);

struct Letta {
    std::vector<std::string> nomi;
    std::vector<std::vector<std::string>> righe;
};
// Every record from the first, every field as text.
// With `errori`, a field that cannot be read reads as "<errore>" + the message.
Letta leggi(Table& t, bool errori = false);

// The names of the files in a folder, sorted.
std::vector<std::string> files(const test::CartellaTemporanea& d);
// The text of the Error `f` throws, or "(nessun errore)".
std::string errore(const std::function<void()>& f);

// A table object on dir/name.
void punta(Table& t, const std::string& dir, const std::string& name, bool exclusive = false);

}  // namespace korva::paradox
