// korva importa: the import window's run from the command line.

#include "base/errore.h"
#include "cli/tabelle_cli.h"
#include "maintenance/importazione.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace korva::cli {

namespace {

// The window's labels become lines of the output; its bars are the progress on the terminal.
class VistaCli : public VistaImportazione {
public:
    explicit VistaCli(Interazione& io) : io_(io) {}
    void etichettaTabella(const std::string& testo) override { io_.messaggio(testo); }
    void etichettaRecord(const std::string& testo) override { io_.messaggio(testo); }
    void barraTabella(int) override {}
    void barraTabelle(int) override {}

private:
    Interazione& io_;
};

}  // namespace

void registraImportazione(CLI::App& app, Contesto& contesto)
{
    auto da = std::make_shared<std::string>();
    auto nomi = std::make_shared<std::vector<std::string>>();
    auto tutte = std::make_shared<bool>(false);
    auto* importa = app.add_subcommand(
        "importa", "Copia i record delle tabelle scelte da Paradox all'archivio Interbase o viceversa "
                   "(le tabelle destinazione devono essere vuote)");
    importa->add_option("--da", *da, "Da dove: paradox o interbase")
        ->required()
        ->check(CLI::IsMember({"paradox", "interbase"}));
    auto* n = importa->add_option("NOME", *nomi, "Le tabelle del dizionario da importare");
    importa->add_flag("--tutte", *tutte, "Importa tutte le tabelle del dizionario")->excludes(n);
    importa->callback([&contesto, da, nomi, tutte] {
        if (!*tutte && nomi->empty())
            throw Error("Indicare il nome di una o più tabelle del dizionario oppure --tutte");
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        const std::string tracciatiDir = aperte->gestione->TracciatiDir();
        // The names as the dictionary holds them (CLIENTI finds clienti), each known.
        std::vector<std::string> scelti;
        for (const std::string& nome : *nomi) {
            if (!scegliTabella(contesto, *aperte->gestione, nome))
                return;
            scelti.push_back(aperte->gestione->EditTabellaCorrente());
        }
        aperte->gestione.reset();
        const std::vector<std::string> righe = tabelleDelDizionario(tracciatiDir);
        VistaCli vista(contesto.interazione);
        Importazione importazione(contesto.interazione, *aperte->tabForm, tracciatiDir,
                                  *da == "paradox" ? DirezioneImportazione::DaParadox
                                                   : DirezioneImportazione::DaInterbase,
                                  vista);
        const EsitoImportazione esito = importazione.importa(righe, [&](std::size_t i) {
            return *tutte || std::find(scelti.begin(), scelti.end(), righe[i]) != scelti.end();
        });
        if (!esito.eseguita || esito.saltate > 0 || esito.interrotta)
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
