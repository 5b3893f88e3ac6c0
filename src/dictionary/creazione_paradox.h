#pragma once

// A dictionary description turned into the definitions of a Paradox table: the creation of a
// table, the rebuild of its indexes and the layout verification all build them this way.

#include "dictionary/descrizione.h"
#include "engines/paradox/format.h"

#include <vector>

namespace korva {

struct DefinizioniParadox {
    std::vector<paradox::FieldDef> campi;
    // The primary index (when there are key fields), then one index per field with its own
    // index in field order, then the composite indexes in the dictionary's order.
    std::vector<paradox::IndexDef> indici;
};

// Fields by type letter (A alphanumeric, N number, I long, S short, D date, T time, M memo,
// B binary, G graphic; the size for A M B G, 0 for the others), none required. Primary index
// unnamed, primary and unique; single-field indexes named after their field, no options;
// composite indexes case-sensitive when their TipoIndiceSecComp is 1, else case-insensitive.
DefinizioniParadox definizioniParadox(const DescrizioneTabella& descrizione);

}  // namespace korva
