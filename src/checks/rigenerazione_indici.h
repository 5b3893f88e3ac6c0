#pragma once

// The index rebuild of Paradox tables ("&6. Rigenera Indici", "Ri&g.tutti gli ind." and the
// two buttons of the "Manutenzione" page) and, in the archive mode, the drop of the current
// table ("&6. Elimina tabella").
//
// A rebuild holds the table exclusively before it changes anything, reads only its data file
// (its index files may be what is damaged), builds every index of the dictionary beside it and
// puts them in place of all the table's own index files in one switch. A failure while
// building (a field the table lacks, a duplicate key) is an Error naming the table and the
// cause, and leaves the old index files.

#include "dictionary/gestione_tabelle.h"

#include <string>

namespace korva {

inline constexpr const char* kRigenerazioneTerminata = "Rigenerazione indici tabella terminata";
inline constexpr const char* kRigenerazioneTutteTerminata = "Rigenerazione indici di tutte le tabelle terminata";
inline constexpr const char* kTabellaSelezionataNonEsiste = "Attenzione: la tabella selezionata non esiste";
inline constexpr const char* kTabellaEliminata = "La tabella è stata eliminata";
inline constexpr const char* kErroreEliminazione =
    "Attenzione: Si è verificato un errore durante l'eliminazione della tabella. Controllare che la "
    "tabella non sia utilizzata da un altro programma";

// "Impossibile procedere: tabella <nome> non apribile in modo esclusivo".
std::string testoNonApribile(const std::string& nome);
// "Vuoi eliminare la tabella corrente (<nome>)?".
std::string domandaEliminazione(const std::string& nome);

// The rebuild of the current row's table; its messages shown. True when it was rebuilt,
// false after a precondition's message or when the table could not be had exclusively.
bool RigIndTabCorrente(GestioneTabelle& g);

// The rebuild of the current table with the busy indicator, then "Rigenerazione indici
// tabella terminata".
bool RigeneraIndici(GestioneTabelle& g);

// The rebuild of every table of the dictionary in turn, then back to the row that was current
// and "Rigenerazione indici di tutte le tabelle terminata". A table that cannot be rebuilt is
// reported and the run goes on; the final message counts those not rebuilt. True when every
// table was rebuilt.
bool RigeneraTutto(GestioneTabelle& g);

// After the question, DROP TABLE of the current table in the archive, committed; a failure is
// rolled back and answered with its message. False when the table is missing or the drop
// failed; true when it was dropped or the answer was No.
bool EliminaTabellaIB(GestioneTabelle& g);

// Button 6 in the mode in force: the drop in the archive mode, the rebuild otherwise.
void RigeneraIndiciOElimina(GestioneTabelle& g);

}  // namespace korva
