#pragma once

// The table manager as the commands of the command line open it.

#include "cli/contesto.h"
#include "dictionary/gestione_tabelle.h"

#include <memory>
#include <optional>
#include <string>

namespace korva::cli {

struct TabelleAperte {
    std::unique_ptr<TTabForm> tabForm;
    std::unique_ptr<GestioneTabelle> gestione;
};

// The settings holder and the table manager over the dictionary of --tracciati, opened as the
// menu command opens it. Nothing (exit status 1) when the dictionary cannot be opened, after
// the message "Errore apertura tabelle: ...".
std::optional<TabelleAperte> apriGestioneTabelle(Contesto& contesto);

// Makes the dictionary row of `nome` current (the name as given, else in lower case, as
// registration stores it). False (exit status 1) after "Tabella ... non presente nel
// dizionario".
bool scegliTabella(Contesto& contesto, GestioneTabelle& g, const std::string& nome);

}  // namespace korva::cli
