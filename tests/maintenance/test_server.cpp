// Backup and compaction of an archive in server form, against the test server on this machine.

#include "archivio_prova.h"
#include "engines/interbase/services.h"
#include "maintenance/backup.h"
#include "maintenance/compattazione.h"
#include "support/errore_di.h"
#include "support/server_firebird.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

namespace fs = std::filesystem;

TEST(ManutenzioneServer, CompattazioneEBackupDellArchivioSulServer)
{
    const auto server = test::serverFirebird();
    ASSERT_TRUE(server);
    test::CartellaTemporanea posto;
    const std::string nome = server->nome(posto / "archivio.gdb");
    test::ArchivioProva a(nome);
    a.esegui({"DELETE FROM T WHERE N >= 120"});

    // A second connection: refused, nothing backed up.
    {
        ib::Transaction t;
        ib::Database altra;
        altra.setDefaultTransaction(&t);
        altra.setDatabaseName(nome);
        altra.params = parametriConnessioneIb();
        altra.connect();
        a.io.risposte({Risposta::Si});
        EXPECT_NE(test::erroreDi([&] { CompattaArchivio(*a.g); }).find("compattazione non eseguita"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(a.backupDir() + "/tmp.bak"));
    }

    a.io.azzera();
    a.io.risposte({Risposta::Si});
    EXPECT_TRUE(CompattaTabCorrente(*a.g));
    EXPECT_EQ(a.io.eventi().at(2), "messaggio: Compattazione terminata");
    EXPECT_TRUE(fs::exists(a.backupDir() + "/tmp.bak"));
    EXPECT_EQ(a.righeDiT(nome), 120);

    // The backup sent by the server is written here, and restores.
    a.io.azzera();
    EXPECT_TRUE(BackupTabCorrente(*a.g));
    const std::string fbk = a.backupDir() + "/archivio.gdb.fbk";
    EXPECT_EQ(a.io.eventi().at(1).rfind("messaggio: Backup archivio completato!\nIl backup dell'archivio " + nome +
                                            ", fatto dal suo server, è nel file " + fbk,
                                        0),
              0u)
        << a.io.eventi().at(1);
    ib::RestoreService r;
    r.params = parametriConnessioneIb();
    r.databaseName = posto / "ripristinato.gdb";
    r.backupFile = fbk;
    r.run();
    EXPECT_EQ(a.righeDiT(posto / "ripristinato.gdb"), 120);
}

}  // namespace
}  // namespace korva
