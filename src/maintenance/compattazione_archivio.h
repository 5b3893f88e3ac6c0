#pragma once

// The archive rebuilt by a backup and a restore, without letting a row another program commits
// meanwhile be lost.
//
// When the archive's file can be reached from here (an archive opened in-process, or a server
// on this machine), the program opens the file itself and keeps it open from before the backup
// to the switch: the in-process engine then keeps every other program out of it. The restore
// is built beside the archive, checked, and renamed over it only when the archive is as it was
// when the backup began.
//
// On a server elsewhere the backup and a trial restore are made on the server beside the
// archive (the trial proves that the backup restores, and is removed); the archive is then
// checked to be as it was, taken off line for everybody, checked again through its header, and
// replaced by the server's restore. A run killed while the archive is off line leaves a mark
// in the repair-backup directory, and the next compaction puts the archive back on line.

#include <functional>
#include <string>
#include <vector>

namespace korva {

enum class FormaCompattazione {
    Automatica,  // the file reached from here when it can be
    SulServer,   // as for a server elsewhere, even when the server is this machine
};

struct Compattazione {
    std::string nome;                      // the database name as the connection has it
    std::vector<std::string> parametri;    // the connection parameters
    std::string cartellaBackup;            // the repair-backup directory, ending with "/"
    std::function<void()> attesa;          // called while the services work
    FormaCompattazione forma = FormaCompattazione::Automatica;
};

struct EsitoCompattazione {
    // Tables whose pages were gone: they come back empty (their rows could not be read).
    std::vector<std::string> senzaDati;
    // Where the backup stays: a file of this machine, or "host:path" on the server.
    std::string backup;
};

// The backup file of the compaction, under the repair-backup directory.
inline constexpr const char* kFileCompattazione = "tmp.bak";

// Compacts the archive; an Error says why it did not, and where the rows are when the final
// restore on a server failed. Refused while other connections have the archive open.
EsitoCompattazione compattaArchivio(const Compattazione& c);

}  // namespace korva
