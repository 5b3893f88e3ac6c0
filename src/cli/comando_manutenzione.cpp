// Maintenance from the command line: lck, backup, compatta.

#include "base/errore.h"
#include "cli/tabelle_cli.h"
#include "maintenance/backup.h"
#include "maintenance/compattazione.h"
#include "maintenance/file_lck.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace korva::cli {

namespace {

// In the archive mode the buttons work on the archive, whatever the current row: a name given
// there would be ignored, and is refused instead.
void nessunNomeInModoInterbase(GestioneTabelle& g, const std::string& nome, const char* comando)
{
    if (g.modoInterbase() && !nome.empty())
        throw Error(std::string("Nel modo Interbase korva ") + comando +
                    " lavora sull'archivio: non indicare una tabella");
}

// The current row for a command on one table; false (exit status 1) when it cannot be chosen.
bool scegli(Contesto& contesto, GestioneTabelle& g, const std::string& nome, bool tutte)
{
    if (g.modoInterbase() || tutte || g.dizionarioVuoto())
        return true;
    if (nome.empty())
        throw Error("Indicare il nome di una tabella del dizionario oppure --tutte");
    return scegliTabella(contesto, g, nome);
}

}  // namespace

void registraManutenzione(CLI::App& app, Contesto& contesto)
{
    auto elimina = std::make_shared<bool>(false);
    auto* lck = app.add_subcommand(
        "lck", "Elenca i file .lck delle cartelle delle tabelle, in uso o no (Ricerca file .lck)");
    lck->add_flag("--elimina", *elimina, "Elimina, dopo la domanda, i file .lck non in uso");
    lck->callback([&contesto, elimina] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        auto voci = RicercaFileLck(*aperte->gestione);
        for (const VoceLck& v : voci)
            std::cout << v.percorso << "  " << v.descrizioneStato() << '\n';
        std::cout << std::flush;
        if (!*elimina || voci.empty())
            return;
        ListaLck lista(contesto.interazione, std::move(voci));
        const auto daEliminare = lista.nonInUso();
        if (daEliminare.empty()) {
            contesto.interazione.messaggio("Nessun file .lck non in uso da eliminare");
            return;
        }
        if (!lista.EliminaSelezionati(daEliminare))
            contesto.esito = 1;
    });

    auto nomeBackup = std::make_shared<std::string>();
    auto tutteBackup = std::make_shared<bool>(false);
    auto* backup = app.add_subcommand(
        "backup", "Copia i file di una tabella (o di tutte) nella directory backup riparazioni; nel "
                  "modo Interbase, senza nome, copia l'archivio");
    auto* nb = backup->add_option("NOME", *nomeBackup, "Il nome della tabella nel dizionario");
    backup->add_flag("--tutte", *tutteBackup, "Copia le tabelle di tutto il dizionario")->excludes(nb);
    backup->callback([&contesto, nomeBackup, tutteBackup] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        bool fatto = false;
        if (*tutteBackup) {
            fatto = BackupTutteLeTabelle(g);
        } else {
            nessunNomeInModoInterbase(g, *nomeBackup, "backup");
            if (!scegli(contesto, g, *nomeBackup, false))
                return;
            fatto = BackupTabCorrente(g);
        }
        if (!fatto)
            contesto.esito = 1;
    });

    auto nomeCompatta = std::make_shared<std::string>();
    auto tutteCompatta = std::make_shared<bool>(false);
    auto* compatta = app.add_subcommand(
        "compatta", "Compatta una tabella Paradox (o tutte) eliminando lo spazio libero; nel modo "
                    "Interbase compatta l'archivio");
    auto* nc = compatta->add_option("NOME", *nomeCompatta, "Il nome della tabella nel dizionario");
    compatta->add_flag("--tutte", *tutteCompatta, "Compatta tutte le tabelle del dizionario")->excludes(nc);
    compatta->callback([&contesto, nomeCompatta, tutteCompatta] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        nessunNomeInModoInterbase(g, *nomeCompatta, "compatta");
        if (!scegli(contesto, g, *nomeCompatta, *tutteCompatta))
            return;
        const bool fatto = *tutteCompatta ? CompattaTutteLeTabelle(g) : CompattaTabCorrente(g);
        if (!fatto)
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
