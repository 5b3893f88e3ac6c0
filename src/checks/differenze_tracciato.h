#pragma once

// The comparison of a table's layout with that of the table built from the dictionary, both
// as the engine describes them: the verdict (the first difference decides, as the engine's
// items are compared in order) and every difference, one Italian line each, for the user.

#include "engines/interbase/catalog.h"
#include "engines/paradox/format.h"

#include <string>
#include <vector>

namespace korva {

struct ConfrontoTracciati {
    bool corrisponde = true;
    std::vector<std::string> differenze;
};

// Paradox: field counts and index counts equal; fields by position in name (exact), type,
// size and required flag; each index of the table found among the expected ones by name
// without regard to case, then equal in name, fields and options.
ConfrontoTracciati confrontaParadox(const std::vector<paradox::FieldDef>& campiTabella,
                                    const std::vector<paradox::IndexDef>& indiciTabella,
                                    const std::vector<paradox::FieldDef>& campiDizionario,
                                    const std::vector<paradox::IndexDef>& indiciDizionario);

// The archive: column count, then columns by position in name, type (with scale), size and
// required flag. Indexes and the primary key are matched by their columns and their
// differences listed after those of the columns, without bearing on the verdict. The
// expected indexes are named `prefisso` + the dictionary's name.
ConfrontoTracciati confrontaArchivio(const std::vector<ib::FieldDef>& colonneTabella,
                                     const std::vector<ib::IndexDef>& indiciTabella,
                                     const std::vector<ib::FieldDef>& colonneDizionario,
                                     const std::vector<ib::IndexDef>& indiciDizionario,
                                     const std::string& prefisso);

}  // namespace korva
