#pragma once

// The archive copied into the repair-backup directory: the file of an archive opened
// in-process, under its own name, as a database that opens; the backup of an archive on a
// server, made by the server's backup service and sent here.

#include "base/env.h"

#include <string>

namespace korva {

class GestioneTabelle;

// The archive branch of "Backup della tab. corr.  ". The connection is made again first; the
// repair-backup directory must be set ("ATTENZIONE: errore in impostazione directory backup
// riparazioni"). The file is copied while the engine keeps it still (ALTER DATABASE BEGIN
// BACKUP: changes go to a separate file meanwhile, END BACKUP merges them), the copy is freed
// of that state, opened and read through before it is renamed over the earlier backup, and
// only then "Backup archivio completato!". The lock is recorded beside the archive with this
// process ("NAME.backup-korva"): a run killed while it held it leaves it, and the next run ends
// it and removes the killed run's temporary copy. An archive in server form is backed up by its
// server's service into NAME.fbk (the file name of the archive on the server), written beside
// and renamed when complete; the message says how to restore it. Any failure: "Errore durante
// il backup" with the cause, the earlier backup untouched. True when the copy was made.
bool BackupArchivio(GestioneTabelle& g, Env& env = Env::standard());

// A copy of a database taken under BEGIN BACKUP carries that state in its header page and
// does not open: the state is cleared, as the engine's own tool does when it fixes a copy up.
// An Error when the file is not a database of a known structure version.
void sbloccaCopiaArchivio(Env& env, const std::string& copia);

}  // namespace korva
