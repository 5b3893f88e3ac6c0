// The checks and the index rebuild from the command line: esiste, azzera, conta,
// rigenera-indici, elimina.

#include "base/errore.h"
#include "checks/esistenza_conteggio.h"
#include "checks/rigenerazione_indici.h"
#include "cli/tabelle_cli.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>

namespace korva::cli {

namespace {

// A command on one table of the dictionary: the table manager opened, the row made current
// (an empty dictionary is left to the command's own preconditions), the command run; exit
// status 1 when it gives false.
void sullaTabella(Contesto& contesto, const std::string& nome, const std::function<bool(GestioneTabelle&)>& comando)
{
    auto aperte = apriGestioneTabelle(contesto);
    if (!aperte)
        return;
    GestioneTabelle& g = *aperte->gestione;
    if (!g.dizionarioVuoto() && !scegliTabella(contesto, g, nome))
        return;
    if (!comando(g))
        contesto.esito = 1;
}

// A subcommand taking the table's name and running `comando` on it.
void suTabella(CLI::App& app, Contesto& contesto, const char* nomeComando, const char* descrizione,
               std::function<bool(GestioneTabelle&)> comando)
{
    auto nome = std::make_shared<std::string>();
    auto* c = app.add_subcommand(nomeComando, descrizione);
    c->add_option("NOME", *nome, "Il nome della tabella nel dizionario")->required();
    c->callback([&contesto, nome, comando] { sullaTabella(contesto, *nome, comando); });
}

}  // namespace

void registraControlli(CLI::App& app, Contesto& contesto)
{
    suTabella(app, contesto, "esiste", "Dice se la tabella esiste (esito 1 quando non esiste)", TestEsistenza);
    suTabella(app, contesto, "azzera", "Cancella tutti i record della tabella, dopo una domanda", Azzera);
    suTabella(app, contesto, "conta", "Mostra il numero di record della tabella",
              [](GestioneTabelle& g) { return NumeroRecord(g).has_value(); });
    suTabella(app, contesto, "elimina",
              "Elimina la tabella dall'archivio Interbase, dopo una domanda (ditte in modo INTERBASE)",
              [](GestioneTabelle& g) {
                  // In the Paradox mode button 6 rebuilds indexes: dropping is for the archive mode.
                  if (!g.modoInterbase())
                      throw Error("Il comando elimina agisce sull'archivio Interbase: il tipo di database "
                                  "della ditta non è INTERBASE");
                  return EliminaTabellaIB(g);
              });

    auto nomeRigenera = std::make_shared<std::string>();
    auto tutte = std::make_shared<bool>(false);
    auto* rigenera = app.add_subcommand(
        "rigenera-indici", "Ricostruisce dal dizionario gli indici di una tabella Paradox (o di tutte)");
    auto* opzioneNome = rigenera->add_option("NOME", *nomeRigenera, "Il nome della tabella nel dizionario");
    rigenera->add_flag("--tutte", *tutte, "Rigenera gli indici di tutte le tabelle del dizionario")->excludes(opzioneNome);
    rigenera->callback([&contesto, nomeRigenera, tutte] {
        if (nomeRigenera->empty() && !*tutte)
            throw Error("Indicare il nome di una tabella del dizionario oppure --tutte");
        if (*tutte) {
            auto aperte = apriGestioneTabelle(contesto);
            if (aperte && !RigeneraTutto(*aperte->gestione))
                contesto.esito = 1;
            return;
        }
        sullaTabella(contesto, *nomeRigenera, RigeneraIndici);
    });
}

}  // namespace korva::cli
