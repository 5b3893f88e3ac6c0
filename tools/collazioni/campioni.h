#pragma once

// Strings that put a collation to the test: words of the driver's letters (accents, case,
// expansions), the same words with other letters of the same primary weight, their prefixes,
// digits, punctuation, blanks inside, and bytes of every kind. Never a trailing blank (Firebird
// ignores it) nor a byte the driver's corrections place.

#include "misura.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korva::collazioni {

// `quante` distinct strings of one to twelve bytes, the same for the same seed.
std::vector<std::string> stringheDiProva(const Driver& d, const Pesi& p, std::size_t quante, std::uint32_t seme);

}  // namespace korva::collazioni
