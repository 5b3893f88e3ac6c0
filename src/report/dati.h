#pragma once

// The rows a report prints: the records of its table 0 that the selection keeps, each with
// the records of table 1 joined to it, read through the Paradox engine.

#include "report/definizione.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox {
class Session;
}

namespace korva::report {

// A record: field name → value as text.
using Record = std::map<std::string, std::string>;

struct Gruppo {
    Record principale;
    std::vector<Record> dettagli;
};

// A record selection: the records whose field equals the text. An empty alias keeps every
// record.
struct Selezione {
    std::string alias;
    std::string campo;
    std::string valore;
};

// Reads a selection formula: empty, or {Alias.Campo}='text' (blanks allowed around "=", a
// quote inside the text written twice). Nothing when the formula is not of this form.
std::optional<Selezione> leggiSelezione(std::string_view formula);

// The groups of the report, table 0 in its key order. `posizioni` gives each table's .DB
// file; a table that cannot be read, or a field the report names that its table lacks, is an
// Error naming the table.
std::vector<Gruppo> leggiGruppi(paradox::Session& sessione, const DefinizioneReport& def,
                                const std::vector<std::string>& posizioni, const Selezione& selezione);

}  // namespace korva::report
