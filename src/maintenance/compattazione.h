#pragma once

// Packing: the archive compacted by a backup and a restore over itself; in the Paradox mode the
// tables of the dictionary written again without their free space.

#include "maintenance/compattazione_archivio.h"

#include <string>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kDomandaCompattazioneArchivio =
    "Vuoi procedere con la compattazione dell'archivio Interbase?";
inline constexpr const char* kCompattazioneTerminata = "Compattazione terminata";
inline constexpr const char* kDomandaCompattazioneTutte =
    "Vuoi procedere con la compattazione di tutte le tabelle?";

// "Vuoi procedere con la compattazione della tabella NOME?"
std::string domandaCompattazioneTabella(const std::string& nome);

// The archive compaction, after its question (anything but Yes: nothing happens, false): the
// program's own connection closed, then compattaArchivio (refused while other connections
// hold the archive; a row another program commits meanwhile is never lost) and "Compattazione
// terminata", with the tables whose pages were gone named after it. Without the busy
// indicator.
bool CompattaArchivio(GestioneTabelle& g, FormaCompattazione forma = FormaCompattazione::Automatica);

// "Compatta tabella corrente": the archive compaction in the archive mode; in the Paradox mode,
// after the preconditions and the question, the current table packed (held exclusively; the
// message gives its size before and after). True when something was compacted.
bool CompattaTabCorrente(GestioneTabelle& g);

// "Compatta tutte le tabelle": the archive compaction in the archive mode; in the Paradox mode,
// after one question, every table of the dictionary whose file exists packed in turn, then
// back to the row that was current. A table that cannot be packed (in use, damaged) is named
// in the final message and the others go on: false then.
bool CompattaTutteLeTabelle(GestioneTabelle& g);

}  // namespace korva
