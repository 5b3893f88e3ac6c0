// Integrity from the command line: verifica-integrita, ripara.

#include "base/errore.h"
#include "cli/tabelle_cli.h"
#include "maintenance/integrita.h"

#include <CLI/CLI.hpp>

namespace korva::cli {

namespace {

// The two commands work on Paradox tables only.
void soloParadox(GestioneTabelle& g, const char* comando)
{
    if (g.modoInterbase())
        throw Error(std::string("Nel modo Interbase korva ") + comando + " non si applica: le tabelle sono nell'archivio");
}

}  // namespace

void registraIntegrita(CLI::App& app, Contesto& contesto)
{
    auto nomeVerifica = std::make_shared<std::string>();
    auto tutte = std::make_shared<bool>(false);
    auto* verifica = app.add_subcommand(
        "verifica-integrita", "Verifica l'integrità dei file di una tabella Paradox (o di tutte) e ne elenca i "
                              "problemi (Ver. integrità tab. corr.)");
    auto* nv = verifica->add_option("NOME", *nomeVerifica, "Il nome della tabella nel dizionario");
    verifica->add_flag("--tutte", *tutte, "Verifica tutte le tabelle del dizionario")->excludes(nv);
    verifica->callback([&contesto, nomeVerifica, tutte] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        soloParadox(g, "verifica-integrita");
        if (!*tutte && nomeVerifica->empty())
            throw Error("Indicare il nome di una tabella del dizionario oppure --tutte");
        if (!*tutte && !g.dizionarioVuoto() && !scegliTabella(contesto, g, *nomeVerifica))
            return;
        const bool sane = *tutte ? VerificaIntegritaTutteLeTabelle(g) : VerificaIntegritaTabCorrente(g);
        if (!sane)
            contesto.esito = 1;
    });

    auto nomeRipara = std::make_shared<std::string>();
    auto* ripara = app.add_subcommand(
        "ripara", "Ripara una tabella Paradox danneggiata: la salva nella directory backup riparazioni, "
                  "ne recupera ogni record leggibile e ne ricostruisce gli indici (Ripara tabella corrente)");
    ripara->add_option("NOME", *nomeRipara, "Il nome della tabella nel dizionario")->required();
    ripara->callback([&contesto, nomeRipara] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        soloParadox(g, "ripara");
        if (!g.dizionarioVuoto() && !scegliTabella(contesto, g, *nomeRipara))
            return;
        const auto esito = RiparaTabCorrente(g);
        if (!esito || !esito->riparata || esito->conPerdite())
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
