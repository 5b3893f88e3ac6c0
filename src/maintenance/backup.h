#pragma once

// Backup: the files of a table, or of every table of the dictionary, copied into the
// repair-backup directory (each table into the folder that mirrors its place under the data
// directory); in the archive mode the archive file.

#include "base/env.h"
#include "base/errore.h"

#include <optional>
#include <string>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kErroreDirBackup =
    "ATTENZIONE: errore in impostazione directory  backup riparazioni";
inline constexpr const char* kErroreDirBackupArchivio =
    "ATTENZIONE: errore in impostazione directory backup riparazioni";
inline constexpr const char* kBackupTabellaCompletato = "Backup tabella completato!";
inline constexpr const char* kBackupTutteCompletato = "Backup di tutte le tabelle completato!";
inline constexpr const char* kBackupArchivioCompletato = "Backup archivio completato!";
inline constexpr const char* kErroreBackup = "Errore durante il backup";

// A backup that could not be made: "Errore durante il backup di FILE" and the cause.
class ErroreBackup : public Error {
public:
    ErroreBackup(const std::string& file, const std::string& causa);
};

// BackUpTabCorrente: after the common preconditions (their message and nothing when they
// fail), every file of the current row's folder whose name holds its NomeTabella (without
// regard to case; the engine's lock, journal and work files left out) is copied into the
// backup folder, made with its missing levels. The files of a table are copied while it is
// held against writers, each beside its destination, and switched in together when all are
// complete. The number of files copied; nothing when the preconditions failed. An ErroreBackup
// at the first file that cannot be copied: the earlier backup of that table stays whole.
std::optional<int> BackUpTabCorrente(GestioneTabelle& g, Env& env = Env::standard());

// "Backup della tab. corr.  ": the current table in the Paradox mode, the archive in the
// archive mode, with the busy indicator and the messages. True when the backup was made.
bool BackupTabCorrente(GestioneTabelle& g, Env& env = Env::standard());

// "Backup di tutte le tab.  ": BackUpTabCorrente for every row, then back to the row that was
// current and "Backup di tutte le tabelle completato!". Paradox files in either mode. A table
// whose copy fails is reported and the run goes on; the final message counts those not
// copied, and the result is false.
bool BackupTutteLeTabelle(GestioneTabelle& g, Env& env = Env::standard());

}  // namespace korva
