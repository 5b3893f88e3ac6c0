#include "archivio_prova.h"

#include "base/profilo.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"

namespace korva::test {

ArchivioProva::ArchivioProva(const std::string& nomeArchivio) : DittaProva("INTERBASE")
{
    if (!nomeArchivio.empty()) {
        ProfiloPrivato(ini()).scrivi("Prova S.n.c.", "Archivio", nomeArchivio);
        tabForm = std::make_unique<TTabForm>(io, cartella.percorso(), ini());
    }
    dizionario({righe("clienti", "", {"codice:A6*"})});
    tabForm->BackupRiparazioniDir = cartella.dir() + "bak/";
    g = std::make_unique<GestioneTabelle>(io, *tabForm, tabForm->TracciatiDir1);
    io.risposte({Risposta::Si});
    tabForm->ConnettiDatabaseIB();
    std::vector<std::string> inserimenti{"CREATE TABLE T (N INTEGER, TESTO VARCHAR(40))"};
    esegui(inserimenti);
    inserimenti.clear();
    for (int i = 0; i < 300; ++i)
        inserimenti.push_back("INSERT INTO T VALUES (" + std::to_string(i) + ", 'riga " + std::to_string(i) + "')");
    esegui(inserimenti);
    io.azzera();
}

void ArchivioProva::esegui(const std::vector<std::string>& istruzioni)
{
    ib::TransactionScope lavoro(tabForm->IBTransaction1);
    for (const auto& s : istruzioni) {
        ib::Query q(tabForm->IBDatabase1);
        q.sql = {s};
        q.execSql();
    }
    lavoro.commit();
}

std::int64_t ArchivioProva::righeDiT(const std::string& file)
{
    ib::Transaction t;
    ib::Database db;
    db.setDefaultTransaction(&t);
    db.setDatabaseName(file);
    db.params = parametriConnessioneIb();
    db.connect();
    ib::Query q(db);
    q.sql = {"SELECT COUNT(*) FROM T"};
    q.open();
    const std::int64_t n = q.field(0).asInt64();
    q.close();
    t.commit();
    return n;
}

}  // namespace korva::test
