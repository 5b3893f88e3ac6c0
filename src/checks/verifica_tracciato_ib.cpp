// The layout verification in the archive: XXXCONF created by the archive creation in the
// same database, both tables described by the catalogue, XXXCONF dropped. Each step is
// committed by itself, so that no drop stays pending for another command's commit.

#include "checks/verifica_tracciato.h"

#include "base/errore.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "maintenance/impronta_archivio.h"
#include "shell/tabform.h"

#include <algorithm>

namespace korva {

namespace {

bool confrontoPresente(GestioneTabelle& g)
{
    ib::TransactionScope lettura(g.tabForm().IBTransaction1);
    const bool c = ib::relazioneEsiste(g.tabForm().IBDatabase1, kTabellaConfronto, &g.tabForm().IBTransaction1);
    lettura.commit();
    return c;
}

// "DROP Table XXXCONF" committed, only while it holds no row: the table is reserved first, so
// that no other connection can put one in between the count and the drop. A table that holds
// rows is somebody's data, not a comparison table: it stays, and the verification stops.
void eliminaConfronto(GestioneTabelle& g)
{
    TTabForm& t = g.tabForm();
    ib::Transaction riservata(&t.IBDatabase1);
    riservata.params = {"write", "concurrency", std::string("lock_write=") + kTabellaConfronto, "protected"};
    ib::TransactionScope lavoro(riservata);
    ib::Query q(t.IBDatabase1, &riservata);
    q.sql = {std::string("SELECT COUNT(*) FROM ") + kTabellaConfronto};
    q.open();
    const std::int64_t righe = q.field(0).asInt64();
    q.close();
    if (righe > 0)
        throw Error(std::string("Verifica non eseguita: la tabella ") + kTabellaConfronto + " dell'archivio contiene " +
                    std::to_string(righe) + (righe == 1 ? " riga" : " righe") +
                    ", quindi non è una tabella di confronto lasciata da una verifica: resta com'è. Il nome " +
                    kTabellaConfronto + " è riservato alla verifica del tracciato");
    q.sql = {std::string("DROP Table ") + kTabellaConfronto};
    q.execSql();
    q.close();
    lavoro.commit();
}

// A verification killed while the engine created XXXCONF can leave it in the catalogue without
// its pages: any reading or drop of it then stops the engine for the whole process. Only a
// compaction, which brings it back empty, lets it go.
bool confrontoSenzaPagine(GestioneTabelle& g)
{
    TTabForm& t = g.tabForm();
    ib::TransactionScope lettura(t.IBTransaction1);
    const auto senzaPagine = tabelleSenzaPagine(t.IBDatabase1, t.IBTransaction1);
    lettura.commit();
    return std::find(senzaPagine.begin(), senzaPagine.end(), kTabellaConfronto) != senzaPagine.end();
}

// A leftover of an interrupted run goes first. One that cannot go (another program uses
// it) would be compared in place of the dictionary's layout: refused.
void eliminaConfrontoRimasto(GestioneTabelle& g)
{
    if (!confrontoPresente(g))
        return;
    if (confrontoSenzaPagine(g))
        throw Error(std::string("Impossibile eliminare la tabella di confronto ") + kTabellaConfronto +
                    " rimasta nell'archivio da una verifica interrotta, di cui l'archivio conserva solo la "
                    "descrizione: eseguire la compattazione dell'archivio (\"Compatta tabella corrente\" in "
                    "Gestione Tabelle, o korva compatta), che la rende eliminabile, poi riprovare");
    try {
        eliminaConfronto(g);
    } catch (const ib::Error& e) {
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
    if (ib::maiuscole(nome) == kTabellaConfronto) {
        g.interazione().messaggio(std::string("La tabella ") + nome + " non si può verificare: il nome " +
                                  kTabellaConfronto + " è riservato alla tabella di confronto della verifica");
        return esito;
    }
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
