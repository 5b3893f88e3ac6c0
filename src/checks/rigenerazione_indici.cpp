#include "checks/rigenerazione_indici.h"

#include "base/errore.h"
#include "dictionary/creazione_paradox.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/lock.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <memory>

namespace korva {

std::string testoNonApribile(const std::string& nome)
{
    return "Impossibile procedere: tabella " + nome + " non apribile in modo esclusivo";
}

std::string domandaEliminazione(const std::string& nome)
{
    return "Vuoi eliminare la tabella corrente (" + nome + ")?";
}

bool RigIndTabCorrente(GestioneTabelle& g)
{
    g.NomeTabellaCorrente = g.EditTabellaCorrente();
    if (!g.Precondizioni())
        return false;
    const std::string nome = g.NomeTabellaCorrente;
    // A description that cannot give the indexes is refused before the table is touched.
    const DefinizioniParadox definizioni = definizioniParadox(g.descrizioneCorrente());
    // The path every Paradox command forms (an unset working directory is refused there).
    g.ImpostaPercorsoTabellaCorrente();
    const std::string dir = g.DirTabellaCorrente;
    const std::string file = g.FileTabellaCorrente;
    g.sessione().dropIdleConnections();

    std::unique_ptr<paradox::IndexRebuild> rigenerazione;
    try {
        rigenerazione = std::make_unique<paradox::IndexRebuild>(g.sessione(), dir, file);
    } catch (const paradox::TableBusy&) {
        g.interazione().messaggio(testoNonApribile(nome));
        return false;
    } catch (const Error& e) {
        // Missing, or a data file that cannot be read: the cause is worth knowing then.
        paradox::Table indirizzo(g.sessione());
        indirizzo.setDatabaseName(dir);
        indirizzo.setTableName(file);
        g.interazione().messaggio(testoNonApribile(nome) + (indirizzo.exists() ? std::string(": ") + e.what() : ""));
        return false;
    }
    Interazione& io = g.interazione();
    rigenerazione->run(definizioni.indici, [&](std::int64_t fatto, std::int64_t totale) {
        io.progresso("Rigenerazione indici " + nome, fatto, totale);
    });
    return true;
}

bool RigeneraIndici(GestioneTabelle& g)
{
    g.InizioElaborazione();
    const bool rigenerata = RigIndTabCorrente(g);
    g.interazione().messaggio(kRigenerazioneTerminata);
    g.FineElaborazione();
    return rigenerata;
}

bool RigeneraTutto(GestioneTabelle& g)
{
    g.InizioElaborazione();
    int nonRigenerate = 0;
    // What refuses every table ends the run before it begins.
    if (!g.dizionarioVuoto())
        richiediDirectory(g.tabForm(), DirectoryLavoro::Lavoro);
    g.perOgniTabella([&] {
        bool fatta = false;
        // A table refused for a reason of its own (its description, a duplicate key, a sort
        // order it cannot be written in): told, and the run goes on with the next.
        try {
            fatta = RigIndTabCorrente(g);
        } catch (const Error& e) {
            g.interazione().messaggio(testoTabellaNonFatta(g.EditTabellaCorrente(), e.what()));
        }
        nonRigenerate += fatta ? 0 : 1;
    });
    g.interazione().messaggio(kRigenerazioneTutteTerminata + tabelleNonFatte(nonRigenerate, "rigenerata", "rigenerate"));
    g.FineElaborazione();
    return nonRigenerate == 0;
}

bool EliminaTabellaIB(GestioneTabelle& g)
{
    const std::string nome = g.EditTabellaCorrente();
    if (g.interazione().domanda(domandaEliminazione(nome)) != Risposta::Si)
        return true;
    TTabForm& t = g.tabForm();
    t.ConnettiDatabaseIB();
    // Declined to create a missing archive: there is nothing to drop.
    if (!t.IBDatabase1.connected())
        return false;
    if (!g.TestTabIb(nome)) {
        g.interazione().messaggio(kTabellaSelezionataNonEsiste);
        return false;
    }
    ib::verificaIdentificatore(nome, "tabella");
    // The drop takes effect at the commit, where a table another program uses is refused
    // after the short wait every transaction has: a connection that only keeps the table's
    // description lets it go within it, one that uses the table does not.
    try {
        ib::TransactionScope lavoro(t.IBTransaction1);
        ib::Query q(t.IBDatabase1, &t.IBTransaction1);
        q.sql.push_back("DROP TABLE " + nome);
        q.execSql();
        q.close();
        lavoro.commit();
    } catch (const std::exception&) {
        g.interazione().messaggio(kErroreEliminazione);
        return false;
    }
    g.interazione().messaggio(kTabellaEliminata);
    return true;
}

void RigeneraIndiciOElimina(GestioneTabelle& g)
{
    if (g.modoInterbase())
        EliminaTabellaIB(g);
    else
        RigeneraIndici(g);
}

}  // namespace korva
