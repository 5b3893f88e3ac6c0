#include "checks/verifica_tracciato.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "checks/turno_verifica.h"
#include "dictionary/creazione_paradox.h"
#include "engines/paradox/table.h"
#include "shell/directory_ditta.h"

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
    // The one just removed: another that appeared meanwhile is not ours to replace.
    C.createNewTable();
    C.close();
}

namespace {

std::chrono::milliseconds attesaTurno{20000};

// The comparison table of the folder, or what is left of it, which the verification makes and
// removes: one that holds records is not the verification's, and is never removed.
void eliminaConfronto(paradox::Table& C)
{
    C.deleteEmptyTable();
}

// After a failure: the comparison table goes and both tables are closed, whatever else
// fails on the way; the first failure is the one the user sees.
void rimuoviDopoGuasto(paradox::Session& s, paradox::Table& R, paradox::Table& C)
{
    C.close();
    R.close();
    s.dropIdleConnections();
    try {
        eliminaConfronto(C);
    } catch (const std::exception&) {
        // The next verification in this folder removes it first.
    }
    s.dropIdleConnections();
}

}  // namespace

void impostaAttesaTurnoVerifica(std::chrono::milliseconds attesa)
{
    attesaTurno = attesa;
}

Confronto ConfrontaTabCorrente(GestioneTabelle& g)
{
    Confronto esito;
    if (!g.Precondizioni())
        return esito;
    const std::string percorso = g.ImpostaPercorsoTabellaCorrente();
    const std::string nome = g.EditTabellaCorrente();
    // Its files would be taken for the comparison table's.
    if (nomeTabellaConfronto(nome)) {
        esito.rifiutata = true;
        g.interazione().messaggio("Impossibile verificare il tracciato della tabella " + nome + ": " +
                                  kNomeTabellaConfronto + " è il nome della tabella di confronto della verifica");
        return esito;
    }
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
        g.interazione().messaggioConDettagli(testoCorrotta(nome), {e.what()});
        return esito;
    }

    paradox::Table C(g.sessione());
    C.setDatabaseName(dir);
    C.setTableName(std::string(kTabellaConfronto) + ".DB");
    try {
        // XXXCONF is the folder's to one verification at a time, from its removal to the next.
        TurnoVerifica turno(g.sessione().env(), dir, attesaTurno);
        try {
            eliminaConfronto(C);
        } catch (const Error& e) {
            R.close();
            g.sessione().dropIdleConnections();
            esito.rifiutata = true;
            g.interazione().messaggioConDettagli(
                "Impossibile verificare il tracciato della tabella " + nome + ": nella cartella " + dir +
                    " c'è una tabella " + kTabellaConfronto + " che la verifica non può eliminare. " +
                    "Controllarla e spostarla altrove prima di procedere",
                {e.what()});
            return esito;
        }
        CreaTabConfronto(g, C);
        C.setExclusive(true);
        C.open();
        R.updateFieldDefs();
        R.updateIndexDefs();
        C.updateFieldDefs();
        C.updateIndexDefs();
        const ConfrontoTracciati confronto = confrontaParadox(R.fieldDefs, R.indexDefs, C.fieldDefs, C.indexDefs);
        esito.corrisponde = confronto.corrisponde;
        esito.differenze = confronto.differenze;
        C.close();
        eliminaConfronto(C);
    } catch (...) {
        rimuoviDopoGuasto(g.sessione(), R, C);
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
    if (esito.verdetto())
        g.interazione().messaggioConDettagli(esito.corrisponde ? kTracciatoCorrisponde : kTracciatoNonCorrisponde,
                                             esito.differenze);
    g.FineElaborazione();
    return esito.corrisponde && esito.verdetto();
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
        if (!esito.verdetto()) {
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
