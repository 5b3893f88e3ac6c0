#pragma once

// The integrity verification of a Paradox table: every file of its family read block by block
// and record by record against the others, each fault found told in Italian with the file, the
// block and the record where it lies.

#include "base/env.h"
#include "base/interazione.h"
#include "dictionary/creazione_paradox.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korva {

inline constexpr const char* kNessunProblema = "nessun problema trovato";

// The files of a table's family as they are on disk, read whole.
struct FamigliaTabella {
    std::string dir;   // without the final separator
    std::string db;    // the data file's name on disk
    std::string base;  // without extension
    std::map<std::string, std::string> file;  // name on disk -> bytes
    std::optional<std::string> px, mb, val;
    std::vector<std::string> secondari;       // .Xnn .Ynn .XGn .YGn
    const std::string* dati(const std::optional<std::string>& nome) const;
};

// Reads the family of the data file `db` of `dir` (its exact name, without regard to case, with
// its own extensions only).
FamigliaTabella leggiFamiglia(Env& env, const std::string& dir, const std::string& db);

// Every fault of the family; none when it is sound. `dizionario`, the dictionary's
// description of the table when there is one, is one more copy of its layout.
std::vector<std::string> verificaFamiglia(const FamigliaTabella& famiglia, const DefinizioniParadox* dizionario = nullptr);

// VerificaIntegritaTabella: the table `file` of the folder `directory` (a directory text, "\"
// read as a separator) verified; the caller holds it exclusively. With `singola` the findings,
// or "nessun problema trovato", are shown as a report. Gives the findings; a table that is
// not there is one.
std::vector<std::string> VerificaIntegritaTabella(const std::string& directory, const std::string& file, bool singola,
                                                  Interazione& io, Env& env = Env::standard(),
                                                  const DefinizioniParadox* dizionario = nullptr);

}  // namespace korva
