#pragma once

#include "base/interazione.h"
#include "shell/tabform.h"

#include <string>

namespace korva {

// Opens the Paradox table in the folder and closes it again. When it cannot be opened, for
// whatever reason, the message "Errore apertura tabelle: verificare impostazione directory di
// lavoro" is shown and the result is false.
bool TestAperturaTabella(Interazione& interazione, const std::string& nomeTabella,
                         const std::string& cartella);

// What "Gestione Tabelle 1" and "2" do before the table manager opens: the engine drops its
// idle connections, the work paths are read again, and the dictionary table KORVA.DB of
// record-layout directory 1 or 2 is test-opened. False when it cannot be opened; an Error
// when that directory is not set.
bool PreparaGestioneTabelle(TTabForm& tabForm, int tracciati, Interazione& interazione);

}  // namespace korva
