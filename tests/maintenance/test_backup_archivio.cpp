// The archive copied while the engine keeps it still: a database that opens, with every
// committed row, and the archive left as it was.

#include "archivio_prova.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/backup.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

namespace fs = std::filesystem;

std::int64_t statoBackupFisico(test::ArchivioProva& a)
{
    ib::TransactionScope lettura(a.tabForm->IBTransaction1);
    ib::Query q(a.tabForm->IBDatabase1);
    q.sql = {"SELECT MON$BACKUP_STATE FROM MON$DATABASE"};
    q.open();
    const std::int64_t s = q.field(0).asInt64();
    q.close();
    lettura.commit();
    return s;
}

TEST(BackupArchivio, CopiaCheSiApreConLeRigheConfermateEArchivioComePrima)
{
    test::ArchivioProva a;
    // Another connection's work in progress is no committed row.
    ib::Transaction altraTr;
    ib::Database altra;
    altra.setDefaultTransaction(&altraTr);
    altra.setDatabaseName(a.archivio());
    altra.params = parametriConnessioneIb();
    altra.connect();
    ib::Query inCorso(altra);
    inCorso.sql = {"INSERT INTO T VALUES (1000, 'non confermata')"};
    inCorso.execSql();

    EXPECT_TRUE(BackupTabCorrente(*a.g));
    EXPECT_EQ(a.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: Backup archivio completato!", "fine"}));
    const std::string copia = a.backupDir() + "/archivio.gdb";
    EXPECT_EQ(a.righeDiT(copia), 300);
    altraTr.commit();
    EXPECT_EQ(a.righeDiT(a.archivio()), 301);
    EXPECT_EQ(statoBackupFisico(a), 0);
    EXPECT_FALSE(fs::exists(a.archivio() + ".delta"));
    for (const auto& e : fs::directory_iterator(a.backupDir()))
        EXPECT_EQ(e.path().filename(), "archivio.gdb");
}

TEST(BackupArchivio, UnGuastoAOgniPassoLasciaIlBackupPrecedente)
{
    test::ArchivioProva a;
    ASSERT_TRUE(BackupTabCorrente(*a.g));
    const std::string copia = a.backupDir() + "/archivio.gdb";
    const std::string precedente = test::leggiFile(copia);
    a.esegui({"DELETE FROM T WHERE N < 100"});
    test::EnvGuasti conta;
    ASSERT_TRUE(BackupTabCorrente(*a.g, conta));
    const std::int64_t passi = conta.operazioni();
    test::scriviFile(copia, precedente);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        a.io.azzera();
        test::EnvGuasti env;
        env.guastaAl(n, test::EnvGuasti::Guasto::DiscoPieno);
        if (BackupTabCorrente(*a.g, env)) {
            EXPECT_EQ(a.righeDiT(copia), 200);
            test::scriviFile(copia, precedente);
            continue;
        }
        EXPECT_EQ(a.io.eventi().at(1).rfind("messaggio: Errore durante il backup dell'archivio " + a.tabForm->Archivio + "\n", 0), 0u)
            << a.io.eventi().at(1);
        // The earlier backup, or (a failure after the switch, while flushing the folder) the
        // whole new one: never a part of either.
        if (test::leggiFile(copia) != precedente) {
            EXPECT_EQ(a.righeDiT(copia), 200);
        }
        test::scriviFile(copia, precedente);
        EXPECT_EQ(statoBackupFisico(a), 0);
    }
}

}  // namespace
}  // namespace korva
