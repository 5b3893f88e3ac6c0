// The checks and the index rebuild from the command line: esiste, azzera, conta,
// rigenera-indici, elimina, verifica-tracciato.

#include "base/errore.h"
#include "checks/esistenza_conteggio.h"
#include "checks/rigenerazione_indici.h"
#include "checks/verifica_tracciato.h"
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

// A subcommand taking either the table's name or --tutte.
void suUnaOTutte(CLI::App& app, Contesto& contesto, const char* nomeComando, const char* descrizione,
                 const char* descrizioneTutte, std::function<bool(GestioneTabelle&)> una,
                 std::function<bool(GestioneTabelle&)> tutteLeTabelle)
{
    auto nome = std::make_shared<std::string>();
    auto tutte = std::make_shared<bool>(false);
    auto* c = app.add_subcommand(nomeComando, descrizione);
    auto* opzioneNome = c->add_option("NOME", *nome, "Il nome della tabella nel dizionario");
    c->add_flag("--tutte", *tutte, descrizioneTutte)->excludes(opzioneNome);
    c->callback([&contesto, nome, tutte, una, tutteLeTabelle] {
        if (nome->empty() && !*tutte)
            throw Error("Indicare il nome di una tabella del dizionario oppure --tutte");
        if (*tutte) {
            auto aperte = apriGestioneTabelle(contesto);
            if (aperte && !tutteLeTabelle(*aperte->gestione))
                contesto.esito = 1;
            return;
        }
        sullaTabella(contesto, *nome, una);
    });
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

    suUnaOTutte(app, contesto, "rigenera-indici",
                "Ricostruisce dal dizionario gli indici di una tabella Paradox (o di tutte)",
                "Rigenera gli indici di tutte le tabelle del dizionario", RigeneraIndici, RigeneraTutto);
    suUnaOTutte(app, contesto, "verifica-tracciato",
                "Confronta il tracciato di una tabella (o di tutte) con il dizionario ed elenca le differenze "
                "(esito 1 quando una tabella non corrisponde)",
                "Verifica i tracciati di tutte le tabelle del dizionario", VerificaTracciato, VerificaTuttiTracciati);
}

}  // namespace korva::cli
