#include "checks/verifica_tracciato.h"

#include "base/percorsi.h"
#include "dictionary/creazione_paradox.h"
#include "engines/paradox/table.h"
#include "shell/directory_ditta.h"

#include <cctype>
#include <filesystem>

namespace korva {

std::string testoCorrotta(const std::string& nomeTabella)
{
    return "Tabella: " + nomeTabella + ".DB" + " CORROTTA; impossibile effettuare " +
           " la verifica del tracciato record";
}

std::string testoNonCorrisponde(const std::string& nomeTabella)
{
    return "ATTENZIONE: Il tracciato della Tabella " + nomeTabella +
           " non corrisponde alle informazioni contenute nel Korvad";
}

void CreaTabConfronto(GestioneTabelle& g, paradox::Table& C)
{
    C.close();
    // Sets NomeTabellaCorrente; checks the rows before anything is made.
    const DefinizioniParadox definizioni = definizioniParadox(g.descrizioneCorrente());
    C.fieldDefs = definizioni.campi;
    C.indexDefs = definizioni.indici;
    C.createTable();
    C.close();
}

namespace {

// The comparison table of the directory, and what a deletion or creation cut short left of
// it (index and memo files without their data file): the name is reserved.
void eliminaConfronto(paradox::Session& s, paradox::Table& C, const std::string& dir)
{
    if (C.exists())
        C.deleteTable();
    const std::string prefisso = std::string(kTabellaConfronto) + ".";
    for (const std::string& nome : s.env().list(dir)) {
        std::string maiuscolo = nome;
        for (char& c : maiuscolo)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (maiuscolo.rfind(prefisso, 0) == 0)
            s.env().remove((std::filesystem::path(dir) / nome).string());
    }
}

// After a failure: the comparison table goes and both tables are closed, whatever else
// fails on the way; the first failure is the one the user sees.
void rimuoviDopoGuasto(paradox::Session& s, paradox::Table& R, paradox::Table& C, const std::string& dir)
{
    C.close();
    R.close();
    s.dropIdleConnections();
    try {
        eliminaConfronto(s, C, dir);
    } catch (const std::exception&) {
        // The next verification in this directory removes it first.
    }
    s.dropIdleConnections();
}

}  // namespace

Confronto ConfrontaTabCorrente(GestioneTabelle& g)
{
    Confronto esito;
    if (!g.Precondizioni())
        return esito;
    const std::string percorso = g.ImpostaPercorsoTabellaCorrente();
    const auto file = esisteFile(percorso) ? risolviPercorso(percorso) : std::nullopt;
    if (!file) {
        g.interazione().messaggio(kTabellaDaConfrontareNonEsiste);
        return esito;
    }
    const std::filesystem::path p(*file);
    const std::string dir = p.parent_path().string();

    paradox::Table R(g.sessione());
    R.setDatabaseName(dir);
    R.setTableName(p.filename().string());
    try {
        R.open();
    } catch (const std::exception& e) {
        R.close();
        g.sessione().dropIdleConnections();
        esito.TabellaCorrotta = true;
        g.interazione().messaggioConDettagli(testoCorrotta(g.EditTabellaCorrente()), {e.what()});
        return esito;
    }

    paradox::Table C(g.sessione());
    C.setDatabaseName(dir);
    C.setTableName(std::string(kTabellaConfronto) + ".DB");
    try {
        eliminaConfronto(g.sessione(), C, dir);
        CreaTabConfronto(g, C);
        C.open();
        R.updateFieldDefs();
        R.updateIndexDefs();
        C.updateFieldDefs();
        C.updateIndexDefs();
        const ConfrontoTracciati confronto = confrontaParadox(R.fieldDefs, R.indexDefs, C.fieldDefs, C.indexDefs);
        esito.corrisponde = confronto.corrisponde;
        esito.differenze = confronto.differenze;
        C.close();
        eliminaConfronto(g.sessione(), C, dir);
    } catch (...) {
        rimuoviDopoGuasto(g.sessione(), R, C, dir);
        throw;
    }
    R.close();
    g.sessione().dropIdleConnections();
    return esito;
}

namespace {

Confronto confrontaNelModo(GestioneTabelle& g)
{
    return g.modoInterbase() ? ConfrontaTabIBCorrente(g) : ConfrontaTabCorrente(g);
}

}  // namespace

bool VerificaTracciato(GestioneTabelle& g)
{
    g.InizioElaborazione();
    const Confronto esito = confrontaNelModo(g);
    if (!esito.TabellaCorrotta)
        g.interazione().messaggioConDettagli(esito.corrisponde ? kTracciatoCorrisponde : kTracciatoNonCorrisponde,
                                             esito.differenze);
    g.FineElaborazione();
    return esito.corrisponde && !esito.TabellaCorrotta;
}

bool VerificaTuttiTracciati(GestioneTabelle& g)
{
    g.InizioElaborazione();
    bool tutte = true;
    int nonVerificate = 0;
    // What refuses every table ends the run before it begins.
    if (!g.modoInterbase() && !g.dizionarioVuoto())
        richiediDirectory(g.tabForm(), DirectoryLavoro::Lavoro);
    g.perOgniTabella([&] {
        Confronto esito;
        // A Paradox table refused for a reason of its own (its description): told, and the
        // run goes on.
        try {
            esito = confrontaNelModo(g);
        } catch (const Error& e) {
            if (g.modoInterbase())
                throw;
            g.interazione().messaggio(testoTabellaNonFatta(g.EditTabellaCorrente(), e.what()));
            esito.TabellaCorrotta = true;
        }
        if (esito.TabellaCorrotta) {
            tutte = false;
            ++nonVerificate;
        } else if (!esito.corrisponde) {
            tutte = false;
            g.interazione().messaggioConDettagli(testoNonCorrisponde(g.EditTabellaCorrente()), esito.differenze);
        }
    });
    g.interazione().messaggio(kVerificaTracciatiTerminata + tabelleNonFatte(nonVerificate, "verificata", "verificate"));
    g.FineElaborazione();
    return tutte;
}

}  // namespace korva
