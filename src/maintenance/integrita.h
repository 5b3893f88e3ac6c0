#pragma once

// The integrity commands of the table manager: the verification of the current table or of
// every table, and the repair of the current one. The table is held exclusively from the test
// of exclusive use to the end of the verification or the repair.

#include "base/env.h"
#include "maintenance/riparazione.h"

#include <optional>
#include <string>
#include <vector>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kTabellaNonEsisteVerifica =
    "La Tabella non Esiste: impossibile procedere con la verifica della Tabella";
inline constexpr const char* kTabellaUtilizzata =
    "Attenzione: La tabella è utilizzata da un altro utente. Impossibile continuare";
inline constexpr const char* kVerificaTutteCompletata = "Verifica integrità di tutte le tabelle completata!";

// VerificaIntegritaTabCorr: nothing in the archive mode; the preconditions, the existence of
// the table file and its exclusive use, each with its message; then VerificaIntegritaTabella
// with the table held. The findings; nothing when the table was not verified.
std::optional<std::vector<std::string>> VerificaIntegritaTabCorr(GestioneTabelle& g, bool singola,
                                                                 Env& env = Env::standard());

// "Ver. integrità tab. corr.": with the busy indicator. True when the table was verified and
// found sound.
bool VerificaIntegritaTabCorrente(GestioneTabelle& g, Env& env = Env::standard());

// "Ver. integrità tutte tab.": every row in turn, a table with findings named as the run goes,
// the findings shown together at the end, back to the row that was current, then "Verifica
// integrità di tutte le tabelle completata!". True when every table was verified and sound.
bool VerificaIntegritaTutteLeTabelle(GestioneTabelle& g, Env& env = Env::standard());

// "Ripara tabella corrente  ": in the Paradox mode, the exclusive-use test (its message for a
// missing table or row too), then RiparaTabella with the table held; the dictionary's
// description of the row serves when the header cannot be read. The result; nothing when the
// repair was not attempted.
std::optional<EsitoRiparazione> RiparaTabCorrente(GestioneTabelle& g, Env& env = Env::standard());

}  // namespace korva
