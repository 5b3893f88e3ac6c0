// korva stampa NAME --pdf FILE.pdf: the layout of a table of the dictionary, the pages the
// preview window would show, written as a PDF without a display.

#include "base/errore.h"
#include "checks/stampa_tabella.h"
#include "cli/tabelle_cli.h"
#include "report/motore.h"

#include <CLI/CLI.hpp>

#include <QGuiApplication>

namespace korva::cli {

void registraStampa(CLI::App& app, Contesto& contesto)
{
    auto nome = std::make_shared<std::string>();
    auto pdf = std::make_shared<std::string>();
    auto* stampa = app.add_subcommand(
        "stampa", "Stampa il tracciato di una tabella del dizionario in un file PDF, con il report "
                  "della directory bin (report/struttur.rpt)");
    stampa->add_option("NOME", *nome, "Il nome della tabella nel dizionario")->required();
    stampa->add_option("--pdf", *pdf, "Il file PDF da scrivere")->required();
    stampa->callback([&contesto, nome, pdf] {
        if (pdf->empty())
            throw Error("Indicare il nome del file PDF da scrivere: --pdf FILE.pdf");
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        if (!scegliTabella(contesto, g, *nome))
            return;
        // The pages are drawn with the fonts of the window system, which runs here offscreen.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        int argc = 1;
        char programma[] = "korva";
        char* argv[] = {programma, nullptr};
        QGuiApplication applicazione(argc, argv);
        report::MotoreReport motore(g.sessione());
        if (!StampaTabellaCorrente(g, motore, *pdf))
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
