#pragma once

#include <string>
#include <vector>

namespace korva {

// The demo companies that the run command opens the program on: a settings file, ditta.cfg,
// the program directory (with "stato", "report" and the company list NomiDit) and, for each
// company, its data, record-layout and repair-backup directories and an embedded archive path.
// Paradox mode; the first company obeys the state file, the second does not.
struct DittaDemo {
    static constexpr const char* kPrima = "Demo Alfa S.r.l.";
    static constexpr const char* kSeconda = "Demo Beta S.p.A.";
};

// Creates the company list BinDir + "NomiDit/NomiDit.db" (an existing one is replaced) with
// these names, in this record order, and its index "Descrizione".
void CreaNomiDit(const std::string& binDir, const std::vector<std::string>& nomi);

// Creates the demo under `cartella` (made absolute), which must not hold a settings file yet.
// Returns the path of the settings file.
std::string CreaDittaDemo(const std::string& cartella);

}  // namespace korva
