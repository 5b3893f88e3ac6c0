#pragma once

// The layout verification ("Ver. tracc. tab. corrente", "Ver. tracc. tutte tab.   "): the
// table on disk, or in the archive, against a comparison table XXXCONF built from the
// dictionary beside it and described by the same engine. The verdict texts come with every
// difference found, one line each.
//
// Whatever fails while the comparison table is made, read or removed, XXXCONF is removed and
// both tables are closed before the Error goes to the general display; in the archive every
// change is committed before the command ends.

#include "checks/differenze_tracciato.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"

#include <chrono>
#include <string>

namespace korva {

namespace paradox {
class Table;
}

inline constexpr const char* kTabellaConfronto = kNomeTabellaConfronto;
inline constexpr const char* kTabellaDaConfrontareNonEsiste = "La Tabella da confrontare non esiste";
inline constexpr const char* kTracciatoCorrisponde =
    "Il tracciato della Tabella selezionata corrisponde alle informazioni contenute nel Korvad";
inline constexpr const char* kTracciatoNonCorrisponde =
    "ATTENZIONE: Il tracciato della Tabella selezionata non corrisponde alle informazioni contenute nel Korvad";
inline constexpr const char* kVerificaTracciatiTerminata = "Verifica tracciati di tutte le tabelle terminata";

// "Tabella: <nome>.DB CORROTTA; impossibile effettuare  la verifica del tracciato record".
std::string testoCorrotta(const std::string& nomeTabella);
// "ATTENZIONE: Il tracciato della Tabella <nome> non corrisponde alle informazioni contenute
// nel Korvad".
std::string testoNonCorrisponde(const std::string& nomeTabella);

struct Confronto {
    // Meaningless without a verdict.
    bool corrisponde = false;
    bool TabellaCorrotta = false;
    // Refused with its message, the table not compared: a row named XXXCONF, or a comparison
    // table in the folder that the verification may not remove.
    bool rifiutata = false;
    std::vector<std::string> differenze;
    bool verdetto() const { return !TabellaCorrotta && !rifiutata; }
};

// The current row's Paradox table against the dictionary. A failed check (no rows, no
// table selected, no file) shows its message and gives no match; a table that exists but
// cannot be opened shared shows the CORROTTA message, with the engine's reason beside it. A
// row named XXXCONF is refused, and so is the comparison when the folder holds an XXXCONF
// that is not empty or cannot be had: it is left as it is. The verifications of one folder
// take turns; one that waits too long for its turn is an Error.
Confronto ConfrontaTabCorrente(GestioneTabelle& g);
// For tests: how long a verification waits for its turn in a folder (20 seconds).
void impostaAttesaTurnoVerifica(std::chrono::milliseconds attesa);
// The dictionary's layout for the current row created as the closed table C (its directory
// and name already set); left closed. A description that cannot give a sound table is an
// Error before C is made.
void CreaTabConfronto(GestioneTabelle& g, paradox::Table& C);
// The current row's archive table against the dictionary: the columns decide; differences
// of indexes and primary key are listed as well.
Confronto ConfrontaTabIBCorrente(GestioneTabelle& g);

// "Ver. tracc. tab. corrente" in the mode in force: the verdict with its differences. True
// when the table matches.
bool VerificaTracciato(GestioneTabelle& g);
// "Ver. tracc. tutte tab.   ": every row in turn, a message for each table that does not
// match, back to the row that was current, then "Verifica tracciati di tutte le tabelle
// terminata". True when every table matched.
bool VerificaTuttiTracciati(GestioneTabelle& g);

}  // namespace korva
