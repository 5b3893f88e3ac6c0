// The archive connection with an Archivio in server form, against the test server.

#include "base/profilo.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "shell/tabform.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"
#include "support/server_firebird.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
namespace fs = std::filesystem;

const std::string kDomanda = "domanda: Attenzione: Il Database selezionato non esiste. Crearlo?";

class ConnessioneServerTest : public ::testing::Test {
protected:
    CartellaTemporanea t;
    InterazioneScriptata io;
    std::optional<test::ServerFirebird> server = test::serverFirebird();

    void SetUp() override
    {
        ASSERT_TRUE(server);
        unsetenv("ISC_USER");
        unsetenv("ISC_PASSWORD");
    }
    void TearDown() override { unsetenv("ISC_PASSWORD"); }

    std::unique_ptr<TTabForm> crea(const std::string& archivio)
    {
        test::scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
        ProfiloPrivato(t / "varnelo.ini").scrivi("Rossi", "Archivio", archivio);
        return std::make_unique<TTabForm>(io, t / "avvio", t / "varnelo.ini");
    }

    void creaRemoto(const std::string& percorso)
    {
        ib::Transaction tr;
        ib::Database db;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(server->nome(percorso));
        db.params = parametriCreazioneIb();
        db.createDatabase();
        ib::Query q(db);
        q.sql = {"CREATE TABLE REMOTA (X INTEGER)"};
        q.execSql();
        tr.commit();
    }
};

TEST_F(ConnessioneServerTest, UnArchivioInFormaServerCheEsisteNonFaDomande)
{
    creaRemoto(t / "r.gdb");
    auto f = crea(server->nome(t / "r.gdb"));
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_EQ(ib::nomiTabelleUtente(f->IBDatabase1), std::vector<std::string>{"REMOTA"});
}

TEST_F(ConnessioneServerTest, UnArchivioMancanteSulServerSiCreaLaSoloSeLUtenteAcconsente)
{
    auto f = crea(server->nome(t / "nuovo.gdb"));
    io.risposte({Risposta::No});
    f->ConnettiDatabaseIB();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kDomanda});
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_FALSE(fs::exists(t / "nuovo.gdb"));

    io.azzera();
    io.risposte({Risposta::Si});
    f->ConnettiDatabaseIB();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kDomanda});
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_TRUE(fs::exists(t / "nuovo.gdb"));
}

TEST_F(ConnessioneServerTest, UnaPasswordRifiutataArrivaComeErroreDelServerSenzaDomande)
{
    creaRemoto(t / "r.gdb");
    setenv("ISC_PASSWORD", "non-questa", 1);
    auto f = crea(server->nome(t / "r.gdb"));
    try {
        f->ConnettiDatabaseIB();
        FAIL();
    } catch (const ib::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Your user name and password are not defined"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_EQ(f->IBDatabase1.params[1], "password=non-questa");
}

TEST_F(ConnessioneServerTest, UnServerIrraggiungibileNonFaChiedereLaCreazione)
{
    auto f = crea("127.0.0.1/1:" + t / "r.gdb");
    EXPECT_THROW(f->ConnettiDatabaseIB(), ib::Error);
    EXPECT_TRUE(io.eventi().empty());
}

TEST_F(ConnessioneServerTest, LaConnessioneInFormaServerRestaFraUnaChiamataELAltra)
{
    creaRemoto(t / "r.gdb");
    auto f = crea(server->nome(t / "r.gdb"));
    f->ConnettiDatabaseIB();
    ib::Query q(f->IBDatabase1);
    q.sql = {"INSERT INTO REMOTA VALUES (1)"};
    q.execSql();
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_TRUE(f->IBTransaction1.inTransaction());
    f->IBTransaction1.commit();
}

}  // namespace
}  // namespace korva
