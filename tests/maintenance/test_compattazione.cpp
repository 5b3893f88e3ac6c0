// The compaction commands: the archive through a backup and a restore beside it; Paradox
// tables packed one at a time or all.

#include "archivio_prova.h"
#include "engines/interbase/database.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"
#include "maintenance/compattazione.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::righe;
namespace fs = std::filesystem;

const std::string kDomanda = std::string("domanda: ") + kDomandaCompattazioneArchivio;

TEST(CompattazioneArchivio, StesseRigheEFileDiBackupCheResta)
{
    test::ArchivioProva a;
    a.esegui({"DELETE FROM T WHERE N >= 100"});
    a.io.risposte({Risposta::No});
    EXPECT_FALSE(CompattaTabCorrente(*a.g));
    EXPECT_EQ(a.io.eventi(), (std::vector<std::string>{"inizio", kDomanda, "fine"}));
    EXPECT_FALSE(fs::exists(a.backupDir()));

    a.io.azzera();
    a.io.risposte({Risposta::Si});
    EXPECT_TRUE(CompattaTutteLeTabelle(*a.g));
    EXPECT_EQ(a.io.eventi(), (std::vector<std::string>{"inizio", kDomanda, "messaggio: Compattazione terminata", "fine"}));
    EXPECT_TRUE(fs::exists(a.backupDir() + "/tmp.bak"));
    EXPECT_FALSE(a.tabForm->IBDatabase1.connected());
    EXPECT_EQ(a.righeDiT(a.archivio()), 100);
}

TEST(CompattazioneArchivio, RifiutataConUnAltraConnessioneOSenzaBackupL_archivioResta)
{
    test::ArchivioProva a;
    const auto prima = fs::file_size(a.archivio());
    {
        ib::Transaction t;
        ib::Database altra;
        altra.setDefaultTransaction(&t);
        altra.setDatabaseName(a.archivio());
        altra.params = parametriConnessioneIb();
        altra.connect();
        a.io.risposte({Risposta::Si});
        EXPECT_EQ(test::erroreDi([&] { CompattaArchivio(*a.g); }),
                  "L'archivio " + a.archivio() + " è in uso da altre 1 connessioni: compattazione non eseguita");
        EXPECT_FALSE(fs::exists(a.backupDir() + "/tmp.bak"));
    }
    // A backup that cannot be written: nothing is restored.
    test::scriviFile(a.cartella / "file", "");
    a.tabForm->BackupRiparazioniDir = a.cartella / "file/";
    a.io.risposte({Risposta::Si});
    EXPECT_EQ(test::erroreDi([&] { CompattaArchivio(*a.g); }).rfind("Backup dell'archivio non riuscito: ", 0), 0u);
    EXPECT_EQ(fs::file_size(a.archivio()), prima);
    EXPECT_EQ(a.righeDiT(a.archivio()), 300);
}

TEST(CompattazioneParadox, LaTabellaCorrenteETutteLeTabelle)
{
    test::DittaProva d;
    d.dizionario({righe("alfa", "", {"k:I*", "testo:A200"}), righe("beta", "b/", {"k:I*"}), righe("manca", "", {"k:I*"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    for (const char* nome : {"alfa", "beta"}) {
        ASSERT_TRUE(g.vaiA(nome));
        ASSERT_TRUE(g.CreaTabCorrente());
    }
    {
        paradox::Table t;
        t.setDatabaseName(d.tabForm->LavoroDir);
        t.setTableName("alfa.DB");
        t.open();
        for (int k = 0; k < 300; ++k) {
            t.append();
            t.field(0).setInteger(k);
            t.post();
        }
        for (t.first(); !t.eof();)
            t.field(0).asInteger() % 3 ? t.next() : t.deleteRecord();
    }
    const auto prima = fs::file_size(d.cartella / "dati/alfa.DB");
    ASSERT_TRUE(g.vaiA("alfa"));
    d.io.azzera();
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(CompattaTabCorrente(g));
    const auto dopo = fs::file_size(d.cartella / "dati/alfa.DB");
    EXPECT_LT(dopo, prima);
    ASSERT_EQ(d.io.eventi().size(), 4u);
    EXPECT_EQ(d.io.eventi()[1], "domanda: Vuoi procedere con la compattazione della tabella alfa?");
    EXPECT_EQ(d.io.eventi()[2].rfind("messaggio: Compattazione della tabella alfa terminata: da ", 0), 0u) << d.io.eventi()[2];

    // All: the missing table is passed over, the one in use is named, the others are packed.
    paradox::Table inUso;
    inUso.setDatabaseName(d.tabForm->LavoroDir + "b/");
    inUso.setTableName("beta.DB");
    inUso.open();
    d.io.azzera();
    d.io.risposte({Risposta::Si});
    EXPECT_FALSE(CompattaTutteLeTabelle(g));
    ASSERT_EQ(d.io.eventi().size(), 4u);
    EXPECT_EQ(d.io.eventi()[1], std::string("domanda: ") + kDomandaCompattazioneTutte);
    const std::string& fine = d.io.eventi()[2];
    EXPECT_EQ(fine.rfind("messaggio: Compattazione di tutte le tabelle terminata: 1 tabella, da ", 0), 0u) << fine;
    EXPECT_NE(fine.find("\nNon compattate:\nbeta: La tabella "), std::string::npos) << fine;
    EXPECT_EQ(g.EditTabellaCorrente(), "alfa");
}

}  // namespace
}  // namespace korva
