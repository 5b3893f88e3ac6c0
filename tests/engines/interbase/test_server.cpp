// The server form against a real Firebird server on 127.0.0.1 (the server_firebird fixture).

#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "engines/interbase/services.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "support/cartella_temporanea.h"
#include "support/server_firebird.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva::ib {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

class ServerTest : public ::testing::Test {
protected:
    CartellaTemporanea cartella;
    std::optional<test::ServerFirebird> server = test::serverFirebird();
    Transaction tr;
    Database db;

    void SetUp() override
    {
        ASSERT_TRUE(server);
        db.setDefaultTransaction(&tr);
    }

    // A new archive created through the server and left connected.
    void creaRemoto(const std::string& file)
    {
        db.setDatabaseName(server->nome(cartella / file));
        db.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
        db.createDatabase();
        db.params = {"user_name=sysdba", "password=tesslorin"};
    }

    void esegui(const std::string& s)
    {
        Query q(db);
        q.sql = {s};
        q.execSql();
    }
};

TEST_F(ServerTest, CreaUnArchivioRemotoELoUsa)
{
    creaRemoto("remoto.gdb");
    EXPECT_TRUE(db.connected());
    EXPECT_TRUE(fs::exists(cartella / "remoto.gdb"));
    esegui("CREATE TABLE CLIENTI (CODICE VARCHAR(6) NOT NULL, NOTE BLOB SUB_TYPE TEXT)");
    tr.commit();
    Table t(db);
    t.setTableName("clienti");
    t.open();
    t.append();
    t.field(0).setString("città");
    t.field(1).setString("però €");
    t.post();
    tr.commit();
    db.disconnect();
    db.connect();
    EXPECT_EQ(nomiTabelleUtente(db), std::vector<std::string>{"CLIENTI"});
    t.open();
    EXPECT_EQ(t.field(0).asString(), "città");
    EXPECT_EQ(t.field(1).asString(), "però €");
    EXPECT_TRUE(t.fieldDefs()[0].required);
}

TEST_F(ServerTest, UnaPasswordSbagliataDaIlMessaggioDelServer)
{
    creaRemoto("a.gdb");
    db.disconnect();
    db.params = {"user_name=sysdba", "password=sbagliata"};
    try {
        db.connect();
        FAIL();
    } catch (const Error& e) {
        const std::string testo = e.what();
        EXPECT_NE(testo.find("Your user name and password are not defined"), std::string::npos)
            << testo;
        EXPECT_FALSE(e.fileInesistente());
    }
    EXPECT_FALSE(db.connected());
}

TEST_F(ServerTest, UnFileCheSulServerNonEsisteSiRiconosce)
{
    db.setDatabaseName(server->nome(cartella / "manca.gdb"));
    db.params = {"user_name=sysdba", "password=tesslorin"};
    try {
        db.connect();
        FAIL();
    } catch (const Error& e) {
        EXPECT_TRUE(e.fileInesistente()) << e.what();
    }
}

TEST_F(ServerTest, UnServerCheNonRispondeNonEUnFileInesistente)
{
    // A port where nothing listens: the server of the test is on its own port.
    db.setDatabaseName("127.0.0.1/1:" + cartella / "a.gdb");
    db.params = {"user_name=sysdba", "password=tesslorin"};
    try {
        db.connect();
        FAIL();
    } catch (const Error& e) {
        EXPECT_FALSE(e.fileInesistente()) << e.what();
        EXPECT_NE(std::string(e.what()).find("Unable to complete network request"), std::string::npos)
            << e.what();
    }
}

TEST_F(ServerTest, BackupERipristinoDalGestoreDeiServiziDelServer)
{
    creaRemoto("s.gdb");
    esegui("CREATE TABLE T (N INTEGER)");
    tr.commit();
    esegui("INSERT INTO T VALUES (7)");
    tr.commit();
    db.disconnect();

    BackupService b;
    b.params = db.params;
    b.serverName = server->host();
    b.databaseName = cartella / "s.gdb";
    b.backupFile = cartella / "s.bak";
    b.run();
    ASSERT_TRUE(fs::exists(cartella / "s.bak"));

    db.connect();
    esegui("DELETE FROM T");
    tr.commit();
    db.disconnect();

    RestoreService r;
    r.params = db.params;
    r.serverName = server->host();
    r.databaseName = cartella / "s.gdb";
    r.backupFile = cartella / "s.bak";
    r.verbose = true;
    EXPECT_FALSE(r.run().empty());

    db.connect();
    Query q(db);
    q.sql = {"SELECT N FROM T"};
    q.open();
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.field(0).asInt64(), 7);
}

TEST_F(ServerTest, IlGestoreDeiServiziRifiutaUnaPasswordSbagliata)
{
    BackupService b;
    b.params = {"user_name=sysdba", "password=sbagliata"};
    b.serverName = server->host();
    b.databaseName = cartella / "x.gdb";
    b.backupFile = cartella / "x.bak";
    try {
        b.run();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Your user name and password are not defined"),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(ServerTest, UnBackupFallitoSulServerEUnErrore)
{
    creaRemoto("f.gdb");
    db.disconnect();
    BackupService b;
    b.params = db.params;
    b.serverName = server->host();
    b.databaseName = cartella / "f.gdb";
    b.backupFile = cartella / "non/esiste/f.bak";
    EXPECT_THROW(b.run(), Error);
}

TEST_F(ServerTest, UnArchivioInFormaServerSiSalvaColGestoreDelSuoServer)
{
    creaRemoto("l.gdb");
    esegui("CREATE TABLE T (N INTEGER)");
    tr.commit();
    db.disconnect();
    BackupService b;
    b.params = db.params;
    b.databaseName = db.databaseName();
    b.backupFile = cartella / "l.bak";
    b.run();
    EXPECT_TRUE(fs::exists(cartella / "l.bak"));
}

}  // namespace
}  // namespace korva::ib
