#pragma once

// What a repair must never do, checked against the family as it was before the damage: a
// record that was not there (every record of the result is one of the table's, as it was or
// as the damage left it at its own place, each place once), a record gone without being
// counted, a loss reported as "0 persi", a result that does not verify.

#include "engines/paradox/table_file.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"

#include <string>
#include <vector>

namespace korva::test {

// A record of a table: its bytes with the blob fields blanked, and the blobs' values.
struct RecordGrezzo {
    std::string byte;
    std::vector<std::string> blob;
};

// Every record of a sound family, in chain order.
std::vector<RecordGrezzo> recordDi(const FamigliaTabella& f);

// A sound family and where each of its records lies in its data file.
struct FamigliaSana {
    explicit FamigliaSana(FamigliaTabella f);
    FamigliaTabella famiglia;
    std::vector<paradox::FieldInfo> campi;
    int dimensioneRecord = 0, dimensioneIntestazione = 0, dimensioneBlocco = 0;
    std::vector<RecordGrezzo> record;
    std::vector<std::string> completi;  // each record's bytes, blob references too
    std::vector<std::size_t> offset;    // of each record in the data file
    std::vector<int> catena;          // the data blocks in chain order
    std::size_t inizioBlocco(int blocco) const;
};

// The record bytes as the damaged data file holds them at `offset`, blob fields blanked.
std::string grezzoA(const FamigliaSana& sana, const std::string& db, std::size_t offset);

// Every invariant the repair of `danneggiata` (a damaged copy of `sana`) broke, in words;
// `riparata` is its result when it was repaired. `contoTestimoniato`: something that counts
// the records (the header's count, an index) outlived the damage, so the number lost must be
// exact.
std::vector<std::string> invariantiRotti(const FamigliaSana& sana, const FamigliaTabella& danneggiata,
                                          const EsitoRiparazione& esito, const FamigliaTabella* riparata,
                                          bool contoTestimoniato);

}  // namespace korva::test
