#include "cli/contesto.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace korva::cli {

void registraImpostazioni(CLI::App& app, Contesto& contesto)
{
    auto* cmd = app.add_subcommand("impostazioni",
                                   "Mostra le impostazioni della ditta, lette come all'avvio");
    cmd->callback([&contesto] {
        auto t = contesto.creaImpostazioni();
        const std::pair<const char*, const std::string*> campi[] = {
            {"NomeDitta", &t->NomeDitta},
            {"TabellaCampi", &t->TabellaCampi},
            {"PercorsoCampi", &t->PercorsoCampi},
            {"TabellaIndicic", &t->TabellaIndicic},
            {"PercorsoIndicic", &t->PercorsoIndicic},
            {"TabellaKorva", &t->TabellaKorva},
            {"PercorsoKorva", &t->PercorsoKorva},
            {"PercorsoReport", &t->PercorsoReport},
            {"ObbedisciStato", &t->ObbedisciStato},
            {"BinDir", &t->BinDir},
            {"LavoroDir", &t->LavoroDir},
            {"TracciatiDir1", &t->TracciatiDir1},
            {"TracciatiDir2", &t->TracciatiDir2},
            {"BackupRiparazioniDir", &t->BackupRiparazioniDir},
            {"DittaDir", &t->DittaDir},
            {"AvvioDir", &t->AvvioDir},
            {"Archivio", &t->Archivio},
            {"TipoDataBase", &t->TipoDataBase},
        };
        for (const auto& [nome, valore] : campi)
            std::cout << nome << ": " << *valore << '\n';
    });
}

}  // namespace korva::cli
