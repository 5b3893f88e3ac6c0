#pragma once

// The layout of a damaged table's data file established from every copy of it the family
// holds: the data file's header, the dictionary's description, the primary index, the
// secondary indexes and the validity file. Where they disagree each candidate is tried on the
// data: the block size under which the blocks link up, the field list and key that the
// records and most copies agree with. When no candidate is clearly right nothing is chosen.

#include "dictionary/creazione_paradox.h"
#include "maintenance/integrita_dati.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korva {
struct FamigliaTabella;
}

namespace korva::integrita {

struct SceltaTracciato {
    std::optional<Tracciato> tracciato;  // nothing when it cannot be established
    std::string motivo;                   // why not
    std::optional<LetturaDati> lettura;   // the data file read with it
    // Each disagreement between the copies (or with the data) and the choice made.
    std::vector<std::string> note;
    // The header read whole and the layout chosen is its own.
    bool comeIntestazione = false;
    // What else the header says, for a new header in its place (sort order and code page from
    // the secondary indexes, else the primary index's byte, when it cannot be read; code page
    // 0 then: none known).
    std::uint8_t versione = 0;
    std::uint8_t ordinamento = 0;
    std::string idOrdinamento;
    int codePage = 0;
    std::string fonteOrdinamento;  // the file that named them, when the header could not
    std::string nomeTabella;
    std::vector<std::uint8_t> inizioIntestazione;  // its first 0x58 bytes (stamps, counters)
};

// The layout, and the data file read with it. A layout under which more than half of the
// records read would be lost to their values or their key order is not the data's.
SceltaTracciato stabilisciTracciato(const FamigliaTabella& f, const DefinizioniParadox* dizionario);

}  // namespace korva::integrita
