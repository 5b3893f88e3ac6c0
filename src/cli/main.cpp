#include "cli/aiuto.h"
#include "cli/contesto.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    using namespace korva;
    cli::InterazioneCli interazione(std::cout, std::cerr);
    cli::Contesto contesto(interazione);

    CLI::App app("korva: i comandi di KORVAWIN dalla riga di comando", "korva");
    app.require_subcommand(1);
    app.set_version_flag("--version", "korva " KORVA_VERSIONE, "Mostra la versione ed esce");
    app.add_option("--ini", contesto.ini, "File delle impostazioni (varnelo.ini)");
    app.add_option("--dir", contesto.dir, "Directory di avvio (predefinita: quella corrente)");
    app.add_option("--tracciati", contesto.tracciati, "Directory tracciati record (1 o 2)")
        ->check(CLI::IsMember({1, 2}));
    auto* si = app.add_flag("--si", contesto.si, "Risponde Sì a ogni domanda");
    app.add_flag("--no", contesto.no, "Risponde No a ogni domanda")->excludes(si);
    app.parse_complete_callback([&] {
        if (contesto.si)
            interazione.impostaRisposta(true);
        else if (contesto.no)
            interazione.impostaRisposta(false);
    });

    cli::registraImpostazioni(app, contesto);
    cli::registraPx(app, contesto);
    cli::registraDemo(app, contesto);
    cli::registraDizionario(app, contesto);
    cli::registraIb(app, contesto);
    cli::registraControlli(app, contesto);
    cli::registraRegistra(app, contesto);
    cli::registraManutenzione(app, contesto);
    cli::registraIntegrita(app, contesto);
    cli::registraRigenerazione(app, contesto);
    cli::registraStampa(app, contesto);
    cli::registraImportazione(app, contesto);
    cli::italianizzaAiuto(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        interazione.errore(e.what());
        return 1;
    }
    return contesto.esito;
}
