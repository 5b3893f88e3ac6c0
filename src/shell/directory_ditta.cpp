#include "shell/directory_ditta.h"

#include "base/errore.h"

namespace korva {

bool directoryImpostata(std::string_view valore)
{
    return !valore.empty() && valore != kDirNonImpostata;
}

const std::string& richiediDirectory(const TTabForm& tabForm, DirectoryLavoro quale)
{
    const std::string* valore = &tabForm.BinDir;
    const char* chiave = "Directory bin";
    std::string dove = "nel file delle impostazioni " + tabForm.percorsoImpostazioni();
    switch (quale) {
    case DirectoryLavoro::Lavoro:
        valore = &tabForm.LavoroDir;
        chiave = "Directory di lavoro";
        dove = "dal menu Sistema, Directory archivi";
        break;
    case DirectoryLavoro::Tracciati1:
        valore = &tabForm.TracciatiDir1;
        chiave = "Directory tracciati record";
        dove = "dal menu Sistema, Directory tracciati record 1";
        break;
    case DirectoryLavoro::Tracciati2:
        valore = &tabForm.TracciatiDir2;
        chiave = "Directory tracciati record 2";
        dove = "dal menu Sistema, Directory tracciati record 2";
        break;
    case DirectoryLavoro::BackupRiparazioni:
        valore = &tabForm.BackupRiparazioniDir;
        chiave = "Directory backup riparazioni";
        dove = "dal menu Sistema, Directory bak. riparaz.";
        break;
    case DirectoryLavoro::Bin:
        break;
    }
    if (!directoryImpostata(*valore))
        throw Error("Impossibile procedere: \"" + std::string(chiave) +
                    "\" non impostata per la ditta " + tabForm.NomeDitta + " (da impostare " +
                    dove + ")");
    return *valore;
}

}  // namespace korva
