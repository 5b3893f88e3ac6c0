// The layout verification in the archive: XXXCONF created by the archive creation in the
// same database, both tables described by the catalogue, XXXCONF dropped. Each step is
// committed by itself, so that no drop stays pending for another command's commit.

#include "checks/verifica_tracciato.h"

#include "base/errore.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "shell/tabform.h"

namespace korva {

namespace {

// "DROP Table XXXCONF" committed; an error rolls it back and goes on to the caller.
void eliminaConfronto(GestioneTabelle& g)
{
    ib::TransactionScope lavoro(g.tabForm().IBTransaction1);
    ib::Query& q = g.IBQuery1();
    q.close();
    q.sql.clear();
    q.sql.push_back(std::string("DROP Table ") + kTabellaConfronto);
    q.execSql();
    q.close();
    lavoro.commit();
}

bool confrontoPresente(GestioneTabelle& g)
{
    ib::TransactionScope lettura(g.tabForm().IBTransaction1);
    const bool c = ib::relazioneEsiste(g.tabForm().IBDatabase1, kTabellaConfronto, &g.tabForm().IBTransaction1);
    lettura.commit();
    return c;
}

// A leftover of an interrupted run goes first. One that cannot go (another program uses
// it) would be compared in place of the dictionary's layout: refused.
void eliminaConfrontoRimasto(GestioneTabelle& g)
{
    try {
        eliminaConfronto(g);
    } catch (const std::exception& e) {
        if (confrontoPresente(g))
            throw Error(std::string("Impossibile eliminare la tabella di confronto ") + kTabellaConfronto +
                        " rimasta nell'archivio: " + e.what());
    }
}

}  // namespace

Confronto ConfrontaTabIBCorrente(GestioneTabelle& g)
{
    Confronto esito;
    if (!g.Precondizioni())
        return esito;
    const std::string nome = g.EditTabellaCorrente();
    if (!g.TestTabIb(nome)) {
        g.interazione().messaggio(kTabellaDaConfrontareNonEsiste);
        return esito;
    }
    eliminaConfrontoRimasto(g);
    if (!g.CreaTabIB(kTabellaConfronto))
        return esito;
    TTabForm& t = g.tabForm();
    try {
        ib::TransactionScope lettura(t.IBTransaction1);
        ib::Table R(t.IBDatabase1, &t.IBTransaction1);
        R.setTableName(ib::maiuscole(nome));
        ib::Table C(t.IBDatabase1, &t.IBTransaction1);
        C.setTableName(kTabellaConfronto);
        const ConfrontoTracciati confronto =
            confrontaArchivio(R.fieldDefs(), R.indexDefs(), C.fieldDefs(), C.indexDefs(), std::string(kTabellaConfronto) + "_");
        lettura.commit();
        esito.corrisponde = confronto.corrisponde;
        esito.differenze = confronto.differenze;
        eliminaConfronto(g);
    } catch (...) {
        try {
            eliminaConfronto(g);
        } catch (const std::exception&) {
            // The next verification drops it first.
        }
        throw;
    }
    return esito;
}

}  // namespace korva
