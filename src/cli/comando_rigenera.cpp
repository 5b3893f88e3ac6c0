// korva rigenera NOME: the table written again with the dictionary's layout.

#include "cli/tabelle_cli.h"
#include "maintenance/rigenerazione.h"

#include <CLI/CLI.hpp>

namespace korva::cli {

void registraRigenerazione(CLI::App& app, Contesto& contesto)
{
    auto nome = std::make_shared<std::string>();
    auto* rigenera = app.add_subcommand(
        "rigenera", "Riscrive la tabella (Paradox o dell'archivio) con il tracciato del dizionario "
                    "mantenendone i record, dopo la domanda (--si / --no)");
    rigenera->add_option("NOME", *nome, "Il nome della tabella nel dizionario")->required();
    // The answer may follow the command too: korva rigenera NOME --si.
    rigenera->fallthrough();
    rigenera->callback([&contesto, nome] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        if (!g.dizionarioVuoto() && !scegliTabella(contesto, g, *nome))
            return;
        if (!RigeneraTabCorrente(g))
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
