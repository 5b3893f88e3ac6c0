#include "cli/aiuto.h"

#include <CLI/CLI.hpp>

#include <regex>
#include <string>

namespace korva::cli {

namespace {

// The parser's own errors are English sentences built around the names of options and
// arguments: the known shapes are said again in Italian, keeping those names.
std::string erroreInItaliano(const CLI::Error& e)
{
    static const std::pair<std::regex, const char*> forme[] = {
        {std::regex("^A subcommand is required$"), "Manca il comando"},
        {std::regex("^(.+) is required$"), "Manca $1 (obbligatorio)"},
        {std::regex("^The following arguments? (?:was|were) not expected: (.*)$"),
         "Argomenti non previsti: $1"},
        {std::regex("^(.+) excludes (.+)$"), "$1 non si può usare con $2"},
        {std::regex("^(.+) requires (.+)$"), "$1 richiede $2"},
        {std::regex("^Could not convert: (.+)$"), "Valore non valido: $1"},
        {std::regex("^Expected exactly (\\d+) arguments? to (.+), got (\\d+)$"),
         "$2 richiede $1 valori, ricevuti $3"},
        {std::regex("^(.+): (.+) not in (\\{.*\\})$"), "$1: il valore $2 non è tra $3"},
    };
    const std::string testo = e.what();
    for (const auto& [forma, italiano] : forme)
        if (std::regex_match(testo, forma))
            return std::regex_replace(testo, forma, italiano);
    return std::string("Riga di comando non valida: ").append(testo);
}

std::string messaggioErrore(const CLI::App*, const CLI::Error& e)
{
    return erroreInItaliano(e).append("\nUsare --help per l'aiuto.\n");
}

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
    app.failure_message(messaggioErrore);
    gruppi(app);
}

}  // namespace korva::cli
