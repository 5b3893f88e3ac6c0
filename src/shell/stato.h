#pragma once

#include "base/env.h"
#include "base/interazione.h"

#include <string>

namespace korva {

// The close-request state file BinDir + "stato\STATO.TXT", shared with the other programs of
// the suite: "APRITI" while they run, "CHIUDITI" to ask every watching program to close.
inline constexpr const char* kStatoApriti = "APRITI";
inline constexpr const char* kStatoChiuditi = "CHIUDITI";

// Writes the word, without a line end. A missing "stato" folder, or a file that cannot be
// replaced, is shown as a message (the folder is never created); a failure while writing is
// an Error.
void ScriviStato(Interazione& interazione, const std::string& binDir, const std::string& parola,
                 Env& env = Env::standard());

// The first line of the file; "APRITI" when the file is missing or unreadable.
std::string LeggiStato(const std::string& binDir, Env& env = Env::standard());

}  // namespace korva
