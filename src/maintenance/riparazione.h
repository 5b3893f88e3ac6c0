#pragma once

// The repair of a damaged Paradox table: its family saved first, then every record that can
// still be read whole taken from every data block of the file into a new family built beside
// the table, its indexes built anew, switched in at once; the report says what was recovered,
// what was lost and why, and where the damaged table was saved.

#include "base/env.h"
#include "base/interazione.h"
#include "dictionary/creazione_paradox.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

struct EsitoRiparazione {
    bool riparata = false;
    std::string tabella;             // the table's data file, for the report
    std::string motivo;              // why it was not repaired
    std::uint32_t recuperati = 0;
    std::uint32_t persi = 0;         // the records the table held that are not in the repaired one
    std::vector<std::string> perdite;   // each lost record, or group of them, and why
    std::vector<std::string> blocchiPersi;  // each block lost whole, with its records where known
    std::vector<std::string> memoPersi; // each blob left blank, and why
    std::vector<std::string> note;      // what else the repair changed
    std::string copia;               // the folder the damaged family was saved into
    std::vector<std::string> righe() const;
    // Something the table held is not in the repaired table: a record or a memo.
    bool conPerdite() const { return persi > 0 || !memoPersi.empty(); }
    std::string titolo() const;
};

struct FamigliaTabella;

// The repaired family built in memory from the damaged one (nothing on disk is touched): every
// record read whole, in key order, the indexes built anew, the whole verified. An Error with the
// reason when the table cannot be rebuilt; `esito` gathers the losses.
FamigliaTabella ricostruisci(const FamigliaTabella& danneggiata, const DefinizioniParadox* dizionario,
                             EsitoRiparazione& esito);

// RiparaTabella: the table `file` of the folder `directory` (directory texts, "\" read as a
// separator) repaired; the caller holds it exclusively. Its family is first copied byte for
// byte into `backupDir` + `pathParziale` (made when missing): when that fails nothing is
// repaired. When the data file's header cannot be read, `dizionario` (the dictionary's
// description of the table, when there is one) gives its layout. The report is shown through
// `io` and returned, the repaired table held until then.
EsitoRiparazione RiparaTabella(const std::string& directory, const std::string& file, const std::string& backupDir,
                               const std::string& pathParziale, Interazione& io, Env& env = Env::standard(),
                               const DefinizioniParadox* dizionario = nullptr);

}  // namespace korva
