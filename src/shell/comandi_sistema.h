#pragma once

#include "shell/tabform.h"

#include <functional>
#include <optional>
#include <string>

namespace korva {

// The work directories that the "Sistema" menu lets the user choose.
enum class DirectoryDitta { Tracciati1, Tracciati2, Archivi, BakRiparazioni };

// The chooser of a directory command: shown with its caption and the field's current value,
// it gives the chosen directory (without a final separator), or nothing when cancelled.
using SceltaDirectory =
    std::function<std::optional<std::string>(const std::string& titolo, const std::string& attuale)>;

// The caption of the chooser, e.g. "Selezione directory archivi - Ditta: " + NomeDitta.
std::string titoloSceltaDirectory(DirectoryDitta quale, const TTabForm& tabForm);

// A directory command: re-reads the work paths, lets the user choose, and on OK stores the
// directory followed by the separator and writes all five path keys of the company. For a
// company that is not known, the Error of richiediDittaNota before the chooser opens.
void SceltaDirectoryDitta(TTabForm& tabForm, DirectoryDitta quale, const SceltaDirectory& scegli);

// The options dialog confirmed: "Si"/"No" and "INTERBASE"/"PARADOX", written at once.
void ImpostaOpzioni(TTabForm& tabForm, bool chiusuraAutomatica, bool interbase);

// The folder the archive chooser opens in: the folder part of Archivio (everything before
// its last separator or ":") when it names an existing directory, else `cartellaProgramma`.
std::string cartellaSceltaArchivio(const std::string& archivio, const std::string& cartellaProgramma);

// The chosen archive file name as stored: ".gdb" appended when the file name (the part after
// the last separator) holds no ".".
std::string nomeArchivioScelto(std::string nome);

// "Archivio Interbase" once a file has been chosen: Archivio := the name (".gdb" rule), the
// five path keys are written with the values the holder has, without re-reading them, and the
// archive is connected (with the offer to create it when the file does not exist).
void ImpostaArchivio(TTabForm& tabForm, const std::string& scelto);

}  // namespace korva
