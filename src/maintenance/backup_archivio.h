#pragma once

// The archive file copied into the repair-backup directory under its own name, as a database
// that opens.

#include "base/env.h"

#include <string>

namespace korva {

class GestioneTabelle;

// The archive branch of "Backup della tab. corr.  ". The connection is made again first; the
// repair-backup directory must be set ("ATTENZIONE: errore in impostazione directory backup
// riparazioni"). The file is copied while the engine keeps it still (ALTER DATABASE BEGIN
// BACKUP: changes go to a separate file meanwhile, END BACKUP merges them), the copy is freed
// of that state, opened and read through before it is renamed over the earlier backup, and
// only then "Backup archivio completato!". Any failure: "Errore durante il backup" with the
// cause, the earlier backup untouched. True when the copy was made.
bool BackupArchivio(GestioneTabelle& g, Env& env = Env::standard());

// The path of the archive file as this machine reaches it: the file of an in-process archive;
// for one in server form the path on the server when the server is this machine. An Error
// for a server elsewhere.
std::string fileArchivioLocale(const std::string& nomeDatabase);

// A copy of a database taken under BEGIN BACKUP carries that state in its header page and
// does not open: the state is cleared, as the engine's own tool does when it fixes a copy up.
// An Error when the file is not a database of a known structure version.
void sbloccaCopiaArchivio(Env& env, const std::string& copia);

}  // namespace korva
