#include "maintenance/rigenerazione.h"

#include "dictionary/creazione_paradox.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/paradox/table.h"
#include "shell/tabform.h"

namespace korva {

namespace {

bool rigeneraParadox(GestioneTabelle& g)
{
    if (!g.Precondizioni())
        return false;
    g.richiediDettagli();
    g.ImpostaPercorsoTabellaCorrente();
    const std::string nome = g.EditTabellaCorrente();
    Interazione& io = g.interazione();
    paradox::Table tabella(g.sessione());
    tabella.setDatabaseName(g.DirTabellaCorrente);
    tabella.setTableName(g.FileTabellaCorrente);
    if (!tabella.exists()) {
        io.messaggio(kTabellaNonEsisteRigenerazione);
        return false;
    }
    if (io.domanda(kDomandaRigenerazione) == Risposta::No)
        return false;
    g.sessione().dropIdleConnections();
    // A "tmp222.db" may hold the only copy of the records of a regeneration that stopped
    // half-way: it is never touched, and nothing is done while it is there.
    paradox::Table lavoro(g.sessione());
    lavoro.setDatabaseName(g.DirTabellaCorrente);
    lavoro.setTableName(kTabellaLavoro);
    if (lavoro.exists()) {
        io.messaggio("Impossibile rigenerare la tabella " + nome + ": nella cartella " + g.DirTabellaCorrente +
                     " c'è la tabella " + kTabellaLavoro +
                     ", lasciata da una rigenerazione precedente, che può contenere i record di una "
                     "tabella. Controllarla e spostarla altrove prima di procedere");
        return false;
    }
    // A description that cannot give a sound table is refused before anything is touched.
    const DefinizioniParadox definizioni = definizioniParadox(g.descrizioneCorrente());
    tabella.fieldDefs = definizioni.campi;
    tabella.indexDefs = definizioni.indici;
    tabella.regenerateTable([&](std::uint32_t fatti, std::uint32_t totale) {
        io.progresso("Rigenerazione " + nome, fatti, totale);
    });
    io.messaggio(kRigenerazioneCompletata);
    return true;
}

}  // namespace

bool RigeneraTabCorrente(GestioneTabelle& g)
{
    g.InizioElaborazione();
    bool fatto = false;
    if (g.modoInterbase()) {
        g.tabForm().ConnettiDatabaseIB();
        fatto = RigeneraTabIbCorrente(g);
    } else {
        fatto = rigeneraParadox(g);
    }
    g.FineElaborazione();
    return fatto;
}

}  // namespace korva
