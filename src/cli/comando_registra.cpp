// Registering an existing table in the dictionary from the command line: registra.

#include "base/errore.h"
#include "base/percorsi.h"
#include "cli/tabelle_cli.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/identifiers.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>

namespace korva::cli {

void registraRegistra(CLI::App& app, Contesto& contesto)
{
    auto tabella = std::make_shared<std::string>();
    auto percorso = std::make_shared<std::string>();
    auto* registra = app.add_subcommand(
        "registra", "Registra nel dizionario una tabella esistente: in Paradox il file .db indicato "
                    "(in una cartella della directory di lavoro), nell'archivio Interbase la tabella "
                    "di quel nome");
    registra->add_option("TABELLA", *tabella, "Il file .db (Paradox) o il nome della tabella (Interbase)")
        ->required();
    auto* opzionePercorso = registra->add_option(
        "--percorso", *percorso,
        "Interbase: il testo della finestra \"Percorso tabella\" (per esempio initab/); vuoto se omesso");
    registra->callback([&contesto, tabella, percorso, opzionePercorso] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        TTabForm& t = *aperte->tabForm;
        bool registrata = false;
        if (g.modoInterbase()) {
            registrata = g.RegistraTabellaIb(
                [&]() -> std::optional<std::string> {
                    // A table the list would offer: the name as given, else in upper case.
                    const auto nomi = ib::nomiTabelleUtente(t.IBDatabase1, &t.IBTransaction1);
                    for (const std::string& cercato : {*tabella, ib::maiuscole(*tabella)})
                        if (std::find(nomi.begin(), nomi.end(), cercato) != nomi.end())
                            return cercato;
                    contesto.interazione.messaggio("La tabella " + *tabella +
                                                   " non è tra le tabelle dell'archivio");
                    return std::nullopt;
                },
                [&] { return *percorso; });
        } else {
            if (opzionePercorso->count() > 0)
                throw Error("--percorso vale soltanto per le tabelle dell'archivio Interbase");
            // The file as the choice dialog gives it: its folder with the separator, its name.
            const std::filesystem::path file = std::filesystem::absolute(percorsoFs(*tabella));
            g.DirScelta = file.parent_path().string() + kSep;
            g.NomeTabellaCorrente = file.filename().string();
            registrata = g.RegistraTabellaParadox();
        }
        if (!registrata)
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
