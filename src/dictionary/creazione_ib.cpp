// Creating tables in the InterBase archive from the dictionary.

#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "dictionary/sql_creazione.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "maintenance/marca_rigenerazione_ib.h"
#include "shell/tabform.h"

namespace korva {
namespace {

// Ends, when it goes, a transaction that was not active when it came: a reading done on the
// way (the existence test) leaves nothing open, and a caller's own work stays as it is.
class FineLetture {
public:
    explicit FineLetture(ib::Transaction& t) : t_(t), giaAttiva_(t.inTransaction()) {}
    ~FineLetture()
    {
        if (!giaAttiva_)
            t_.deactivate();
    }
    FineLetture(const FineLetture&) = delete;
    FineLetture& operator=(const FineLetture&) = delete;

private:
    ib::Transaction& t_;
    bool giaAttiva_;
};

}  // namespace

ib::Query& GestioneTabelle::IBQuery1()
{
    if (!IBQuery1_)
        IBQuery1_ = std::make_unique<ib::Query>(tabForm_.IBDatabase1, &tabForm_.IBTransaction1);
    return *IBQuery1_;
}

bool GestioneTabelle::TestTabIb(const std::string& nome)
{
    // A name the server would read as another table is refused, not looked up.
    ib::nomeTabellaArchivio(nome);
    FineLetture fine(tabForm_.IBTransaction1);
    tabForm_.ConnettiDatabaseIB();
    if (tabForm_.IBDatabase1.connected())
        rifiutaLavoroMarcato(tabForm_.IBDatabase1, tabForm_.IBTransaction1, nome);
    return tabellaApribile(nome);
}

bool GestioneTabelle::tabellaApribile(const std::string& nome)
{
    try {
        ib::Table tabella(tabForm_.IBDatabase1);
        tabella.setTableName(ib::maiuscole(nome));
        tabella.open();
        tabella.close();
        return true;
    } catch (const std::exception&) {
        // A table that cannot be opened, for whatever reason, is not there.
        return false;
    }
}

bool GestioneTabelle::CreaTabIB(const std::string& nome)
{
    if (!Precondizioni())
        return false;
    richiediDettagli();
    // The existence test reads in the transaction the statements then run in.
    FineLetture fine(tabForm_.IBTransaction1);
    tabForm_.ConnettiDatabaseIB();
    // The user declined to create a missing archive: there is nowhere to create the table.
    if (!tabForm_.IBDatabase1.connected())
        return false;
    if (tabellaApribile(nome)) {
        interazione_.messaggio(kTabellaEsisteGia);
        return false;
    }
    FileTabellaCorrente = ib::maiuscole(nome);
    // Checked description and checked names: a fault is refused before any statement is sent.
    const auto istruzioni = istruzioniCreazioneIB(descrizioneCorrente(LetturaTipo::Archivio), nome);
    // Either the whole table with its key and indexes is committed, or what was executed is
    // rolled back: no half-made table is left for a later commit.
    try {
        ib::TransactionScope lavoro(tabForm_.IBTransaction1);
        ib::Query& q = IBQuery1();
        for (const IstruzioneSql& righe : istruzioni) {
            q.close();
            q.sql = righe;
            q.execSql();
        }
        q.close();
        lavoro.commit();
    } catch (const ib::Error& e) {
        IBQuery1().close();
        if (!e.indiceNonCreabile())
            throw;
        throw Error(e.what() + std::string(kRimedioIndiceNonCreabile));
    }
    return true;
}

bool GestioneTabelle::CreaTabIBCorrente()
{
    if (nomeTabellaConfronto(EditTabellaCorrente()))
        interazione_.messaggio(avvisoNomeTabellaConfronto(EditTabellaCorrente()));
    return CreaTabIB(EditTabellaCorrente());
}

}  // namespace korva
