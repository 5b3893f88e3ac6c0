#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "engines/interbase/services.h"
#include "engines/interbase/transaction.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace korva::ib {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

class ServiziTest : public ::testing::Test {
protected:
    CartellaTemporanea cartella;
    Transaction tr;
    Database db;
    const std::vector<std::string> kParametri{"user_name=sysdba", "password=tesslorin"};

    void SetUp() override
    {
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(cartella / "archivio.gdb");
        db.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
        db.createDatabase();
        db.params = kParametri;
        esegui("CREATE TABLE T (N INTEGER, M BLOB SUB_TYPE TEXT)");
        tr.commit();
        Query ins(db);
        ins.sql = {"INSERT INTO T VALUES (?, ?)"};
        for (int i = 0; i < 300; ++i) {
            ins.param(0).setInt64(i);
            ins.param(1).setString("riga " + std::to_string(i) + " è qui");
            ins.execSql();
        }
        tr.commit();
    }

    void esegui(const std::string& s)
    {
        Query q(db);
        q.sql = {s};
        q.execSql();
    }

    std::int64_t righe()
    {
        Query q(db);
        q.sql = {"SELECT COUNT(*) FROM T"};
        q.open();
        std::int64_t n = q.field(0).asInt64();
        q.close();
        tr.commit();
        return n;
    }

    BackupService backup(const std::string& file)
    {
        BackupService b;
        b.params = db.params;
        b.databaseName = db.databaseName();
        b.backupFile = file;
        return b;
    }
};

TEST_F(ServiziTest, BackupERipristinoConSostituzioneRiportanoIlContenuto)
{
    const std::string copia = cartella / "tmp.bak";
    db.disconnect();
    BackupService b = backup(copia);
    int attese = 0;
    b.onAttesa = [&] { ++attese; };
    EXPECT_TRUE(b.run().empty());  // without verbose the job says nothing
    EXPECT_GE(attese, 1);
    ASSERT_TRUE(fs::exists(copia));

    // Changes after the backup are undone by the restore over the database.
    db.connect();
    esegui("DELETE FROM T WHERE N >= 100");
    esegui("CREATE TABLE DOPO (X INTEGER)");
    tr.commit();
    EXPECT_EQ(righe(), 100);
    db.disconnect();

    RestoreService r;
    r.params = kParametri;
    r.databaseName = db.databaseName();
    r.backupFile = copia;
    r.verbose = true;
    std::vector<std::string> viste;
    r.onLine = [&](const std::string& riga) { viste.push_back(riga); };
    const auto uscita = r.run();
    EXPECT_EQ(uscita, viste);
    ASSERT_GT(uscita.size(), 5u);
    EXPECT_NE(std::find(uscita.begin(), uscita.end(), "gbak:finishing, closing, and going home "),
              uscita.end());

    db.connect();
    EXPECT_EQ(righe(), 300);
    EXPECT_EQ(nomiTabelleUtente(db), std::vector<std::string>{"T"});
    Query q(db);
    q.sql = {"SELECT M FROM T WHERE N = 299"};
    q.open();
    EXPECT_EQ(q.field(0).asString(), "riga 299 è qui");
}

// The backup sent to the caller in pieces (as a server sends it to the client) is the whole
// backup: restored, it holds every row.
TEST_F(ServiziTest, IlBackupInviatoAlChiamanteSiRipristina)
{
    db.disconnect();
    BackupService b;
    b.params = kParametri;
    b.databaseName = db.databaseName();
    std::string dati;
    int pezzi = 0;
    b.onDati = [&](const char* p, std::size_t n) {
        dati.append(p, n);
        ++pezzi;
    };
    b.run();
    EXPECT_GT(pezzi, 1);
    test::scriviFile(cartella / "inviato.fbk", dati);
    RestoreService r;
    r.params = kParametri;
    r.databaseName = cartella / "ripristinato.gdb";
    r.backupFile = cartella / "inviato.fbk";
    r.run();
    db.setDatabaseName(cartella / "ripristinato.gdb");
    db.connect();
    EXPECT_EQ(righe(), 300);
}

TEST_F(ServiziTest, BackupVerbosoRiportaOgniPasso)
{
    db.disconnect();
    BackupService b = backup(cartella / "v.bak");
    b.verbose = true;
    const auto uscita = b.run();
    ASSERT_GT(uscita.size(), 5u);
    EXPECT_NE(uscita.back().find("bytes written"), std::string::npos) << uscita.back();
}

TEST_F(ServiziTest, UnBackupCheNonPuoScrivereEUnErroreENessunRipristinoParte)
{
    db.disconnect();
    test::scriviFile(cartella / "file", "non una cartella");
    const auto prima = fs::file_size(db.databaseName());
    bool ripristinato = false;
    try {
        backup(cartella / "file/tmp.bak").run();
        // The compaction's order: the restore comes only after a completed backup.
        RestoreService r;
        r.params = kParametri;
        r.databaseName = db.databaseName();
        r.backupFile = cartella / "file/tmp.bak";
        r.run();
        ripristinato = true;
        FAIL() << "backup senza errore";
    } catch (const Error& e) {
        const std::string testo = e.what();
        EXPECT_EQ(testo.rfind("Backup dell'archivio non riuscito: ", 0), 0u) << testo;
        EXPECT_NE(testo.find("cannot open backup file"), std::string::npos) << testo;
    }
    EXPECT_FALSE(ripristinato);
    EXPECT_EQ(fs::file_size(db.databaseName()), prima);
    db.connect();
    EXPECT_EQ(righe(), 300);
}

TEST_F(ServiziTest, UnRipristinoDaUnFileCheNonEUnBackupLasciaLArchivio)
{
    db.disconnect();
    test::scriviFile(cartella / "falso.bak", std::string(4096, 'x'));
    RestoreService r;
    r.params = kParametri;
    r.databaseName = db.databaseName();
    r.backupFile = cartella / "falso.bak";
    EXPECT_THROW(r.run(), Error);
    db.connect();
    EXPECT_EQ(righe(), 300);
}

TEST_F(ServiziTest, UnRipristinoSuUnArchivioAncoraApertoERifiutatoELoLasciaIntatto)
{
    backup(cartella / "a.bak").run();
    esegui("DELETE FROM T");
    tr.commit();
    ASSERT_TRUE(db.connected());
    RestoreService r;
    r.params = kParametri;
    r.databaseName = db.databaseName();
    r.backupFile = cartella / "a.bak";
    try {
        r.run();
        FAIL() << "ripristino sopra un archivio aperto";
    } catch (const korva::Error& e) {
        EXPECT_NE(std::string(e.what()).find("è in uso"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(db.databaseName() + ".ripristino"));
    EXPECT_EQ(righe(), 0);  // still the open database, not the backup
    db.disconnect();
    r.run();
    db.connect();
    EXPECT_EQ(righe(), 300);
}

TEST_F(ServiziTest, IlBackupDiUnArchivioCheNonEsisteEUnErrore)
{
    BackupService b = backup(cartella / "x.bak");
    b.databaseName = cartella / "manca.gdb";
    try {
        b.run();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(fs::exists(cartella / "x.bak"));
}

TEST_F(ServiziTest, IlRipristinoSenzaSostituzioneNonTroncaUnArchivioEsistente)
{
    db.disconnect();
    backup(cartella / "a.bak").run();
    RestoreService r;
    r.params = kParametri;
    r.databaseName = db.databaseName();
    r.backupFile = cartella / "a.bak";
    r.replace = false;
    EXPECT_THROW(r.run(), Error);
    db.connect();
    EXPECT_EQ(righe(), 300);
}

}  // namespace
}  // namespace korva::ib
