#pragma once

// Regeneration: the current table written again with the dictionary's layout, keeping its
// records, in the Paradox mode and in the archive mode.

#include <functional>
#include <string>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kTabellaNonEsisteRigenerazione = "La Tabella non Esiste: impossibile procedere";
inline constexpr const char* kDomandaRigenerazione =
    "Assicurarsi prima di procedere di avere fatto il  Backup della tabella! Procedo? ";
inline constexpr const char* kRigenerazioneCompletata = "Rigenerazione Tabella corrente completata";
// The reserved work names: one regeneration at a time per directory and per archive.
inline constexpr const char* kTabellaLavoro = "tmp222.db";
inline constexpr const char* kTabellaLavoroIb = "TMP222";

// "Rigenera tabella corrente", with the busy indicator: the archive connected and
// RigeneraTabIbCorrente in the archive mode; otherwise the preconditions, the table file's
// existence and the question, then the table regenerated beside the old one and switched in
// only when complete (a leftover "tmp222.db" in its directory stops it before anything
// changes). True when the table was regenerated; a failure is an Error saying why, and the
// table is as it was.
bool RigeneraTabCorrente(GestioneTabelle& g);

// The archive mode: the preconditions, the table's existence and the question, then the rows
// copied into TMP222 (created from the dictionary row), the table dropped and created again
// from the dictionary, the rows copied back and TMP222 dropped, each step committed and the
// row counts checked before each drop. A leftover TMP222 stops it before anything changes.
// A failure is an Error saying where the rows are.
bool RigeneraTabIbCorrente(GestioneTabelle& g);

// For tests only: called with the name of each step of the archive regeneration once its
// work is done and before it is committed (or, for a creation, before it starts); what it
// throws is that step's failure.
void impostaGuastoRigenerazioneIb(std::function<void(const std::string& passo)> guasto);

}  // namespace korva
