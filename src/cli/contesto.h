#pragma once

#include "cli/interazione_cli.h"
#include "shell/tabform.h"

#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace korva::cli {

// What every command of the command line shares: the global options and the port.
struct Contesto {
    std::string ini;       // --ini: the settings file
    std::string dir;       // --dir: the start-up directory
    int tracciati = 1;     // --tracciati: record-layout directory 1 or 2
    bool si = false;       // --si: answer Yes/OK to every question
    bool no = false;       // --no: answer No/Cancel to every question
    InterazioneCli& interazione;
    int esito = 0;         // exit status; a command that found a problem sets it non-zero

    explicit Contesto(InterazioneCli& i) : interazione(i) {}

    std::string percorsoImpostazioni() const;
    std::string directoryAvvio() const;
    // The settings holder, created as the program creates it at start.
    std::unique_ptr<TTabForm> creaImpostazioni();
};

// Each group of commands registers its subcommands on the application.
void registraImpostazioni(CLI::App& app, Contesto& contesto);
void registraPx(CLI::App& app, Contesto& contesto);
void registraDemo(CLI::App& app, Contesto& contesto);
void registraDizionario(CLI::App& app, Contesto& contesto);
void registraIb(CLI::App& app, Contesto& contesto);
void registraControlli(CLI::App& app, Contesto& contesto);
void registraRegistra(CLI::App& app, Contesto& contesto);
void registraManutenzione(CLI::App& app, Contesto& contesto);
void registraIntegrita(CLI::App& app, Contesto& contesto);
void registraRigenerazione(CLI::App& app, Contesto& contesto);
void registraStampa(CLI::App& app, Contesto& contesto);
void registraImportazione(CLI::App& app, Contesto& contesto);

}  // namespace korva::cli
