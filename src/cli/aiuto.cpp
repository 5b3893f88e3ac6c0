#include "cli/aiuto.h"

#include <CLI/CLI.hpp>

namespace korva::cli {

namespace {

void gruppi(CLI::App& app)
{
    app.set_help_flag("-h,--help", "Mostra questo aiuto ed esce");
    for (CLI::Option* opzione : app.get_options())
        if (opzione->get_group() == "Options")
            opzione->group("Opzioni");
    for (CLI::App* comando : app.get_subcommands({})) {
        comando->group("Comandi");
        gruppi(*comando);
    }
}

}  // namespace

void italianizzaAiuto(CLI::App& app)
{
    auto formato = app.get_formatter();
    for (const auto& [chiave, testo] : {
             std::pair{"Usage", "Uso"}, {"OPTIONS", "OPZIONI"}, {"SUBCOMMAND", "COMANDO"},
             {"SUBCOMMANDS", "COMANDI"}, {"Positionals", "Argomenti"}, {"REQUIRED", "OBBLIGATORIO"},
             {"Needs", "Richiede"}, {"Excludes", "Esclude"}, {"Env", "Variabile"},
             {"TEXT", "TESTO"}, {"INT", "NUMERO"}, {"FLOAT", "NUMERO"}, {"UINT", "NUMERO"}})
        formato->label(chiave, testo);
    gruppi(app);
}

}  // namespace korva::cli
