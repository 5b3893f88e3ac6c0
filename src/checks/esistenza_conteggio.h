#pragma once

// The existence test, the emptying and the record count of the current table: "&3. Test
// esistenza ", "&5. Azzera         " and "&7. Numero record  " of the table manager. Each
// takes the archive branch when the database mode is exactly "INTERBASE", the Paradox one
// otherwise. Failures of the engines are Errors, left to the general error display (the busy
// indicator then keeps its start text).

#include "dictionary/gestione_tabelle.h"

#include <cstdint>
#include <optional>

namespace korva {

inline constexpr const char* kTabellaEsiste = "La Tabella Esiste";
inline constexpr const char* kTabellaNonEsiste = "La Tabella Non Esiste";
inline constexpr const char* kDomandaAzzeramento = "Procedo all' azzeramento tabella?";
inline constexpr const char* kNumeroRecord = "Numero Record = ";

// "La Tabella Esiste" or "La Tabella Non Esiste". True when the table exists.
bool TestEsistenza(GestioneTabelle& g);

// After the question, every record of the table goes: the Paradox table emptied through its
// files' switch (refused while another user has it open), or "DELETE FROM" committed in the
// archive (rolled back when it fails). False when a precondition failed or the table does
// not exist; true when it was emptied or the answer was No.
bool Azzera(GestioneTabelle& g);

// "Numero Record = " and the count: the Paradox table's stored count, or SELECT COUNT(*) in
// the archive. Nothing when a precondition failed or the table does not exist.
std::optional<std::int64_t> NumeroRecord(GestioneTabelle& g);

}  // namespace korva
