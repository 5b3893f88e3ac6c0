#include "maintenance/integrita.h"

#include "base/errore.h"
#include "dictionary/creazione_paradox.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/paradox/table_internal.h"
#include "maintenance/cartelle.h"
#include "maintenance/presa_esclusiva.h"
#include "maintenance/verifica_integrita.h"
#include "shell/tabform.h"

#include <memory>

namespace korva {

namespace {

// The current row's table held exclusively; nothing (and the message) when it cannot be.
std::unique_ptr<PresaEsclusiva> prendi(GestioneTabelle& g, Env& env, const std::string& dir, const std::string& file)
{
    try {
        if (const auto db = paradox::detail::findFile(env, dir, file))
            return std::make_unique<PresaEsclusiva>(env, dir, *db);
    } catch (const Error&) {
        // Busy, or the data file cannot be opened: the open of the exclusive test failed.
    }
    g.interazione().messaggio(kTabellaUtilizzata);
    return nullptr;
}

// The current row's description as Paradox definitions: one more copy of the table's layout.
std::optional<DefinizioniParadox> descrizioneParadox(GestioneTabelle& g)
{
    try {
        return definizioniParadox(g.descrizioneCorrente());
    } catch (const Error&) {
        return std::nullopt;  // the table's own files are the only copies then
    }
}

}  // namespace

std::optional<std::vector<std::string>> VerificaIntegritaTabCorr(GestioneTabelle& g, bool singola, Env& env)
{
    if (g.modoInterbase() || !g.Precondizioni())
        return std::nullopt;
    g.ImpostaPercorsoTabellaCorrente();
    const std::string file = g.EditTabellaCorrente() + ".DB";
    const std::string dir = cartellaFs(g.DirTabellaCorrente);
    if (!paradox::detail::findFile(env, dir, file)) {
        g.interazione().messaggio(kTabellaNonEsisteVerifica);
        return std::nullopt;
    }
    const auto presa = prendi(g, env, dir, file);
    if (!presa)
        return std::nullopt;
    const auto dizionario = descrizioneParadox(g);
    return VerificaIntegritaTabella(g.DirTabellaCorrente, file, singola, g.interazione(), env, dizionario ? &*dizionario : nullptr);
}

bool VerificaIntegritaTabCorrente(GestioneTabelle& g, Env& env)
{
    g.InizioElaborazione();
    const auto rilievi = VerificaIntegritaTabCorr(g, true, env);
    g.FineElaborazione();
    return rilievi && rilievi->empty();
}

bool VerificaIntegritaTutteLeTabelle(GestioneTabelle& g, Env& env)
{
    g.InizioElaborazione();
    bool tutteSane = true;
    std::vector<std::string> righe;
    int conProblemi = 0, nonVerificate = 0;
    const auto totale = static_cast<std::int64_t>(g.elencoTabelle().size());
    std::int64_t numero = 0;
    g.perOgniTabella([&] {
        const std::string nome = g.EditTabellaCorrente();
        const auto rilievi = VerificaIntegritaTabCorr(g, false, env);
        ++numero;
        if (!rilievi) {
            tutteSane = tutteSane && g.modoInterbase();
            nonVerificate += g.modoInterbase() ? 0 : 1;
            return;
        }
        if (rilievi->empty()) {
            g.interazione().progresso("Verifica integrità " + nome, numero, totale);
            return;
        }
        tutteSane = false;
        ++conProblemi;
        g.interazione().progresso("Verifica integrità " + nome + ": " + std::to_string(rilievi->size()) +
                                      (rilievi->size() == 1 ? " problema" : " problemi"),
                                  numero, totale);
        righe.push_back(nome + ":");
        for (const std::string& r : *rilievi)
            righe.push_back("    " + r);
    });
    if (conProblemi > 0)
        g.interazione().rapporto("Verifica integrità: problemi trovati in " + std::to_string(conProblemi) +
                                     (conProblemi == 1 ? " tabella" : " tabelle"),
                                 righe);
    g.interazione().messaggio(kVerificaTutteCompletata + tabelleNonFatte(nonVerificate, "verificata", "verificate"));
    g.FineElaborazione();
    return tutteSane;
}

std::optional<EsitoRiparazione> RiparaTabCorrente(GestioneTabelle& g, Env& env)
{
    g.InizioElaborazione();
    std::optional<EsitoRiparazione> esito;
    if (!g.modoInterbase()) {
        const auto riga = g.rigaCorrente();
        std::unique_ptr<PresaEsclusiva> presa;
        std::string file;
        if (riga && !riga->NomeTabella.empty()) {
            g.ImpostaPercorsoTabellaCorrente();
            file = riga->NomeTabella + ".db";
            presa = prendi(g, env, cartellaFs(g.DirTabellaCorrente), file);
        } else {
            g.interazione().messaggio(kTabellaUtilizzata);
        }
        if (presa) {
            const auto dizionario = descrizioneParadox(g);
            esito = RiparaTabella(g.DirTabellaCorrente, file, g.tabForm().BackupRiparazioniDir, riga->PathParziale,
                                  g.interazione(), env, dizionario ? &*dizionario : nullptr);
        }
    }
    g.FineElaborazione();
    return esito;
}

}  // namespace korva
