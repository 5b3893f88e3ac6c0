// The archive commands beside another connection of the same archive (in-process: the engine
// lets one process at a time open the file): a row it holds or commits, a table of its own.

#include "archivio_prova.h"
#include "checks/esistenza_conteggio.h"
#include "checks/rigenerazione_indici.h"
#include "checks/verifica_tracciato.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/compattazione_archivio.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <functional>

namespace korva {
namespace {

// Another program's connection to the archive, with its own transaction.
struct AltraConnessione {
    explicit AltraConnessione(const std::string& nome)
    {
        db.setDefaultTransaction(&t);
        db.setDatabaseName(nome);
        db.params = parametriConnessioneIb();
        db.connect();
    }
    void esegui(const std::string& s)
    {
        ib::Query q(db);
        q.sql = {s};
        q.execSql();
    }
    std::string primo(const std::string& s)
    {
        ib::Query q(db);
        q.sql = {s};
        q.open();
        std::string v = q.field(0).asString();
        q.close();
        t.commit();
        return v;
    }
    ib::Transaction t;
    ib::Database db;
};

// Emptying and dropping a table whose row another connection is changing: each stops with its
// message and leaves the table as it was, instead of waiting for the other to end.
TEST(ArchivioCondiviso, UnaRigaTenutaDaAltriFermaAzzeramentoEdEliminazione)
{
    struct Caso {
        std::function<bool(GestioneTabelle&)> comando;
        const char* detto;
    };
    const Caso casi[] = {{Azzera, "Azzeramento della tabella clienti non eseguito"},
                         {EliminaTabellaIB, "Controllare che la tabella non sia utilizzata da un altro programma"}};
    for (const auto& [comando, atteso] : casi) {
        SCOPED_TRACE(atteso);
        test::ArchivioProva a;
        a.esegui({"CREATE TABLE CLIENTI (CODICE CHAR(6) NOT NULL PRIMARY KEY)"});
        a.esegui({"INSERT INTO CLIENTI VALUES ('A')", "INSERT INTO CLIENTI VALUES ('B')"});
        a.tabForm->IBDatabase1.disconnect();
        AltraConnessione altra(a.archivio());
        altra.esegui("UPDATE CLIENTI SET CODICE = 'C' WHERE CODICE = 'A'");
        a.io.risposte({Risposta::Si, Risposta::Si});
        std::string detto = test::erroreDi([&, &comando = comando] { EXPECT_FALSE(comando(*a.g)); });
        for (const std::string& e : a.io.eventi())
            detto += "\n" + e;
        EXPECT_NE(detto.find(atteso), std::string::npos) << detto;
        altra.t.rollback();
        EXPECT_EQ(altra.primo("SELECT COUNT(*) FROM CLIENTI"), "2");
    }
}

// Rows another connection commits while the compaction works are never lost: it keeps them
// out, or refuses the switch because the archive changed.
TEST(ArchivioCondiviso, LeRigheCheAltriSalvanoDuranteLaCompattazioneRestano)
{
    test::ArchivioProva a;
    a.tabForm->IBDatabase1.disconnect();
    Compattazione c;
    c.nome = a.archivio();
    c.parametri = parametriConnessioneIb();
    c.cartellaBackup = a.backupDir() + "/";
    int salvate = 0, attese = 0;
    c.attesa = [&] {
        ++attese;
        try {
            AltraConnessione altra(a.archivio());
            altra.esegui("INSERT INTO T VALUES (" + std::to_string(1000 + attese) + ", 'durante')");
            altra.t.commit();
            ++salvate;
        } catch (const std::exception&) {
            // Kept out while the compaction holds the archive.
        }
    };
    const std::string errore = test::erroreDi([&] { compattaArchivio(c); });
    EXPECT_GT(attese, 1);
    EXPECT_EQ(a.righeDiT(a.archivio()), 300 + salvate) << errore;
    EXPECT_EQ(salvate > 0, !errore.empty()) << errore;
    RecordProperty("righe_salvate_durante", salvate);
}

// A table named XXXCONF that holds rows is another program's: the verification stops and
// leaves it with its rows.
TEST(ArchivioCondiviso, UnaXxxconfConRigheNonSiEliminaVerificando)
{
    test::ArchivioProva a;
    a.esegui({"CREATE TABLE CLIENTI (CODICE CHAR(6) NOT NULL PRIMARY KEY)",
              "CREATE TABLE XXXCONF (VOCE VARCHAR(20))"});
    a.esegui({"INSERT INTO XXXCONF VALUES ('di un altro')"});
    std::string detto = test::erroreDi([&] { VerificaTracciato(*a.g); });
    for (const std::string& e : a.io.eventi())
        detto += "\n" + e;
    EXPECT_NE(detto.find("XXXCONF"), std::string::npos) << detto;
    a.tabForm->IBDatabase1.disconnect();
    AltraConnessione altra(a.archivio());
    EXPECT_EQ(altra.primo("SELECT VOCE FROM XXXCONF"), "di un altro");
}

// Registration refuses a table whose name the commands would read as another table's.
TEST(ArchivioCondiviso, LaRegistrazioneRifiutaUnNomeCheIndicaUnAltraTabella)
{
    test::ArchivioProva a;
    a.esegui({"CREATE TABLE MINUS (N INTEGER)", "CREATE TABLE \"minus\" (N INTEGER)", "CREATE TABLE \"A B\" (N INTEGER)"});
    a.esegui({"INSERT INTO MINUS VALUES (1)"});
    for (const std::string nome : {"minus", "A B"}) {
        SCOPED_TRACE(nome);
        a.io.azzera();
        const std::string errore = test::erroreDi([&] {
            a.g->RegistraTabellaIb([&] { return std::optional<std::string>(nome); }, [] { return std::string(); });
        });
        EXPECT_NE(errore.find("\"" + nome + "\""), std::string::npos) << errore;
        EXPECT_EQ(a.g->elencoTabelle().size(), 1u);
    }
    a.tabForm->IBDatabase1.disconnect();
    AltraConnessione altra(a.archivio());
    EXPECT_EQ(altra.primo("SELECT COUNT(*) FROM MINUS"), "1");
}

}  // namespace
}  // namespace korva
