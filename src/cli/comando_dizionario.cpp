// The dictionary and the table manager from the command line: genera, elenco, campi, rimuovi,
// crea.

#include "base/errore.h"
#include "cli/tabelle_cli.h"
#include "dictionary/generatore.h"
#include "dictionary/tabelle_dizionario.h"
#include "shell/gestione_tabelle.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

namespace korva::cli {

std::optional<TabelleAperte> apriGestioneTabelle(Contesto& contesto)
{
    TabelleAperte aperte;
    aperte.tabForm = contesto.creaImpostazioni();
    TTabForm& t = *aperte.tabForm;
    // As the menu command opens it.
    if (!PreparaGestioneTabelle(t, contesto.tracciati, contesto.interazione)) {
        contesto.esito = 1;
        return std::nullopt;
    }
    aperte.gestione = std::make_unique<GestioneTabelle>(
        contesto.interazione, t, contesto.tracciati == 2 ? t.TracciatiDir2 : t.TracciatiDir1);
    return aperte;
}

bool scegliTabella(Contesto& contesto, GestioneTabelle& g, const std::string& nome)
{
    if (g.vaiA(nome))
        return true;
    // Registration stores names in lower case: CLIENTI finds clienti.
    std::string minuscolo = nome;
    std::transform(minuscolo.begin(), minuscolo.end(), minuscolo.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (minuscolo != nome && g.vaiA(minuscolo))
        return true;
    contesto.interazione.messaggio("Tabella " + nome + " non presente nel dizionario");
    contesto.esito = 1;
    return false;
}

namespace {

// Columns aligned on the widest value, two blanks apart.
void stampaTabella(const std::vector<std::string>& intestazioni,
                   const std::vector<std::vector<std::string>>& righe)
{
    std::vector<size_t> larghezze(intestazioni.size());
    auto misura = [&](const std::vector<std::string>& riga) {
        for (size_t i = 0; i < riga.size(); ++i)
            larghezze[i] = std::max(larghezze[i], riga[i].size());
    };
    misura(intestazioni);
    for (const auto& r : righe)
        misura(r);
    auto stampa = [&](const std::vector<std::string>& riga) {
        std::string linea;
        for (size_t i = 0; i < riga.size(); ++i) {
            linea += riga[i];
            if (i + 1 < riga.size())
                linea += std::string(larghezze[i] - riga[i].size() + 2, ' ');
        }
        std::cout << linea << '\n';
    };
    stampa(intestazioni);
    for (const auto& r : righe)
        stampa(r);
    std::cout << std::flush;
}

std::string n(int v)
{
    return std::to_string(v);
}

}  // namespace

void registraDizionario(CLI::App& app, Contesto& contesto)
{
    auto* genera = app.add_subcommand(
        "genera", "Crea vuoto il dizionario della directory tracciati record 1 (KORVA.DB, CAMPI.DB, "
                  "INDICIC.DB), sostituendo quello presente");
    genera->callback([&contesto] {
        // The generator works on directory 1 only, as in the program: a dictionary asked for
        // elsewhere must not be emptied in its place.
        if (contesto.tracciati != 1)
            throw Error("Il generatore crea soltanto il dizionario della directory tracciati "
                        "record 1: --tracciati 2 non è ammesso con genera");
        auto t = contesto.creaImpostazioni();
        GeneratoreArchivi generatore(contesto.interazione, *t);
        generatore.Genera();
    });

    auto* elenco = app.add_subcommand("elenco", "Elenca le tabelle del dizionario");
    elenco->callback([&contesto] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        std::vector<std::vector<std::string>> righe;
        for (const DefTabella& r : aperte->gestione->elencoTabelle())
            righe.push_back({r.NomeTabella, r.PathParziale, n(r.NumeroCampi), n(r.CampiChiavePrimaria),
                             n(r.IndiciSecSingoli), n(r.IndiciSecComposti)});
        stampaTabella({"Nome", "PathParziale", "NumeroCampi", "CampiChiavePrimaria",
                       "IndiciSecSingoli", "IndiciSecComposti"},
                      righe);
    });

    auto nomeCampi = std::make_shared<std::string>();
    auto* campi = app.add_subcommand("campi", "Mostra i campi e gli indici multipli di una tabella");
    campi->add_option("NOME", *nomeCampi, "Il nome della tabella nel dizionario")->required();
    campi->callback([&contesto, nomeCampi] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        if (!g.TabellePresenti()) {
            contesto.esito = 1;
            return;
        }
        if (!scegliTabella(contesto, g, *nomeCampi))
            return;
        g.richiediDettagli();
        std::vector<std::vector<std::string>> righe;
        for (const DefCampo& c : g.campiCorrenti())
            righe.push_back({n(c.NumeroCampo), c.NomeCampo, c.TipoELunghezza, n(c.Chiave),
                             n(c.IndiceSecSingolo), n(c.TipoIndiceSecSingolo)});
        const DefTabella riga = *g.rigaCorrente();
        std::cout << "Tabella " << riga.NomeTabella << " (PathParziale: \"" << riga.PathParziale
                  << "\"), campi chiave primaria: " << riga.CampiChiavePrimaria << "\n";
        stampaTabella({"NumeroCampo", "NomeCampo", "TipoELunghezza", "Chiave", "IndiceSecSingolo",
                       "TipoIndiceSecSingolo"},
                      righe);
        const auto indici = g.indiciCorrenti();
        if (indici.empty())
            return;
        righe.clear();
        for (const DefIndiceComposto& i : indici)
            righe.push_back({i.NomeIndiceSecComp, n(i.NumeroCampo), i.EstensioneIndiceSecComp,
                             n(i.TipoIndiceSecComp)});
        std::cout << "Indici multipli:\n";
        stampaTabella({"NomeIndiceSecComp", "NumeroCampo", "EstensioneIndiceSecComp",
                       "TipoIndiceSecComp"},
                      righe);
    });

    auto nomeRimuovi = std::make_shared<std::string>();
    auto* rimuovi = app.add_subcommand(
        "rimuovi", "Toglie una tabella dal dizionario (i suoi file e la tabella nell'archivio restano)");
    rimuovi->add_option("NOME", *nomeRimuovi, "Il nome della tabella nel dizionario")->required();
    rimuovi->callback([&contesto, nomeRimuovi] {
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        if (g.dizionarioVuoto()) {
            g.RimuoviTabella();  // says that there is no table
            contesto.esito = 1;
            return;
        }
        if (scegliTabella(contesto, g, *nomeRimuovi))
            g.RimuoviTabella();
    });

    auto nomeCrea = std::make_shared<std::string>();
    auto tutte = std::make_shared<bool>(false);
    auto* crea = app.add_subcommand(
        "crea", "Crea dal dizionario una tabella (o tutte), in Paradox o nell'archivio Interbase "
                "secondo il tipo di database della ditta");
    auto* opzioneNome = crea->add_option("NOME", *nomeCrea, "Il nome della tabella nel dizionario");
    crea->add_flag("--tutte", *tutte, "Crea tutte le tabelle del dizionario")->excludes(opzioneNome);
    crea->callback([&contesto, nomeCrea, tutte] {
        if (nomeCrea->empty() && !*tutte)
            throw Error("Indicare il nome di una tabella del dizionario oppure --tutte");
        auto aperte = apriGestioneTabelle(contesto);
        if (!aperte)
            return;
        GestioneTabelle& g = *aperte->gestione;
        if (*tutte) {
            if (!g.CreaTutto())
                contesto.esito = 1;
            return;
        }
        if (!g.dizionarioVuoto() && !scegliTabella(contesto, g, *nomeCrea))
            return;
        if (!g.CreaTabella())
            contesto.esito = 1;
    });
}

}  // namespace korva::cli
