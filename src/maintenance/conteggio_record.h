#pragma once

// How many records a damaged table held, so that every record lost is counted: what the
// header promised, unless it is found to lie; then the blocks' own counts, or the indexes'
// (the primary index counts the records of each block, a secondary index holds one entry per
// record).

#include "maintenance/integrita_dati.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korva {
struct FamigliaTabella;
}

namespace korva::integrita {

struct RecordAttesi {
    std::optional<std::uint32_t> numero;  // nothing when it cannot be established
    std::string perche;                    // why not
    std::vector<std::string> note;         // where the number comes from, when not the header
    // The records of each block lost whole, where known; from the primary index (named then)
    // also blocks the chain no longer reaches.
    std::map<int, int> perBlocco;
    std::string secondoPx;
};

RecordAttesi recordAttesi(const FamigliaTabella& f, const LetturaDati& d);

// The leaves of the family's primary index: the records it counts in each data block; nothing
// when there is none or it is not a readable tree over keys of `byteChiave` bytes counting
// blocks of at most `capienza` records. `chiavi`, when given, gets the key each leaf gives its
// block (the key of the block's first record).
std::optional<std::map<int, int>> fogliePx(const FamigliaTabella& f, int byteChiave, int capienza,
                                           std::map<int, std::string>* chiavi = nullptr);

}  // namespace korva::integrita
