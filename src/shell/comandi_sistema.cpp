#include "shell/comandi_sistema.h"

#include "base/percorsi.h"

namespace korva {
namespace {

std::string& campo(DirectoryDitta quale, TTabForm& t)
{
    switch (quale) {
    case DirectoryDitta::Tracciati1:
        return t.TracciatiDir1;
    case DirectoryDitta::Tracciati2:
        return t.TracciatiDir2;
    case DirectoryDitta::Archivi:
        return t.LavoroDir;
    case DirectoryDitta::BakRiparazioni:
        break;
    }
    return t.BackupRiparazioniDir;
}

}  // namespace

std::string titoloSceltaDirectory(DirectoryDitta quale, const TTabForm& tabForm)
{
    const char* titolo = "Selezione directory backup riparazioni";
    switch (quale) {
    case DirectoryDitta::Tracciati1:
        titolo = "Selezione directory tracciati record 1";
        break;
    case DirectoryDitta::Tracciati2:
        titolo = "Selezione directory tracciati record 2";
        break;
    case DirectoryDitta::Archivi:
        titolo = "Selezione directory archivi";
        break;
    case DirectoryDitta::BakRiparazioni:
        break;
    }
    return std::string(titolo) + " - Ditta: " + tabForm.NomeDitta;
}

void SceltaDirectoryDitta(TTabForm& tabForm, DirectoryDitta quale, const SceltaDirectory& scegli)
{
    // Said before the user chooses, not after.
    tabForm.richiediDittaNota();
    tabForm.SettaLavoroDir();
    auto scelta = scegli(titoloSceltaDirectory(quale, tabForm), campo(quale, tabForm));
    if (!scelta)
        return;
    // The root of a drive keeps its own separator: "/" is stored as "//".
    campo(quale, tabForm) = *scelta + kSep;
    tabForm.ScriviLavoroDir();
}

void ImpostaOpzioni(TTabForm& tabForm, bool chiusuraAutomatica, bool interbase)
{
    tabForm.ObbedisciStato = chiusuraAutomatica ? "Si" : "No";
    tabForm.TipoDataBase = interbase ? "INTERBASE" : "PARADOX";
    tabForm.ScriviOpzioni();
}

std::string cartellaSceltaArchivio(const std::string& archivio, const std::string& cartellaProgramma)
{
    const size_t fine = archivio.find_last_of("\\/:");
    if (fine != std::string::npos) {
        // "/dati.gdb" lies in the root, whose folder part would otherwise be empty.
        std::string cartella = archivio.substr(0, fine == 0 ? 1 : fine);
        if (auto risolta = risolviPercorso(cartella); risolta && esisteDirectory(*risolta))
            return *risolta;
    }
    return cartellaProgramma;
}

std::string nomeArchivioScelto(std::string nome)
{
    // Folders such as ~/.config hold a dot that says nothing about the file's extension.
    const size_t inizio = nome.find_last_of("/\\");
    if (nome.find('.', inizio == std::string::npos ? 0 : inizio + 1) == std::string::npos)
        nome += ".gdb";
    return nome;
}

void ImpostaArchivio(TTabForm& tabForm, const std::string& scelto)
{
    tabForm.Archivio = nomeArchivioScelto(scelto);
    tabForm.ScriviLavoroDir();
    tabForm.ConnettiDatabaseIB();
}

}  // namespace korva
