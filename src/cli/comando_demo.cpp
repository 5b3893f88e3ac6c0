#include "cli/contesto.h"
#include "shell/ditta_demo.h"

#include <CLI/CLI.hpp>

namespace korva::cli {

void registraDemo(CLI::App& app, Contesto& contesto)
{
    auto* cmd = app.add_subcommand("crea-demo",
                                   "Crea le ditte dimostrative in una cartella nuova");
    auto cartella = std::make_shared<std::string>();
    cmd->add_option("CARTELLA", *cartella, "La cartella delle ditte dimostrative")->required();
    cmd->callback([&contesto, cartella] {
        const std::string ini = CreaDittaDemo(*cartella);
        contesto.interazione.messaggio("Ditte dimostrative create; file delle impostazioni: " + ini);
    });
}

}  // namespace korva::cli
