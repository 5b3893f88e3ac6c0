// Backup and compaction of an archive in server form, against the test server on this machine.

#include "archivio_prova.h"
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

    // The server is this machine: its file is copied, and the copy opens.
    a.io.azzera();
    EXPECT_TRUE(BackupTabCorrente(*a.g));
    EXPECT_EQ(a.io.eventi().at(1), "messaggio: Backup archivio completato!");
    EXPECT_EQ(a.righeDiT(a.backupDir() + "/archivio.gdb"), 120);
}

}  // namespace
}  // namespace korva
