#include "base/errore.h"
#include "base/profilo.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "shell/tabform.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
namespace fs = std::filesystem;

const std::string kDomanda = "domanda: Attenzione: Il Database selezionato non esiste. Crearlo?";

// Sets an environment variable for the scope of a test.
class Variabile {
public:
    Variabile(const char* nome, const char* valore) : nome_(nome)
    {
        if (const char* v = std::getenv(nome))
            prima_ = v;
        if (valore)
            setenv(nome, valore, 1);
        else
            unsetenv(nome);
    }
    ~Variabile()
    {
        if (prima_)
            setenv(nome_, prima_->c_str(), 1);
        else
            unsetenv(nome_);
    }

private:
    const char* nome_;
    std::optional<std::string> prima_;
};

TEST(NomeDatabaseIb, IlPercorsoDiReteDiventaLaFormaServer)
{
    EXPECT_EQ(nomeDatabaseIb("\\\\SERVER\\c\\dati\\dati.gdb"), "SERVER:c:\\dati\\dati.gdb");
    EXPECT_EQ(nomeDatabaseIb("\\\\srv\\d\\a.gdb"), "srv:d:\\a.gdb");
    EXPECT_EQ(nomeDatabaseIb("C:\\dati\\dati.gdb"), "C:\\dati\\dati.gdb");
    EXPECT_EQ(nomeDatabaseIb("/srv/dati/dati.gdb"), "/srv/dati/dati.gdb");
    EXPECT_EQ(nomeDatabaseIb("server:/srv/dati.gdb"), "server:/srv/dati.gdb");
    EXPECT_EQ(nomeDatabaseIb(""), "");
}

TEST(NomeDatabaseIb, UnPercorsoDiReteSenzaCondivisioneOFileERifiutato)
{
    for (const char* p : {"\\\\", "\\\\SERVER", "\\\\SERVER\\", "\\\\SERVER\\c", "\\\\SERVER\\c\\",
                          "\\\\\\c\\x.gdb", "\\\\SERVER\\\\x.gdb"})
        EXPECT_EQ(nomeDatabaseIb(p), std::nullopt) << p;
}

TEST(ParametriIb, PredefinitiESostituitiDaIscUserEIscPassword)
{
    {
        Variabile u("ISC_USER", nullptr), p("ISC_PASSWORD", nullptr);
        EXPECT_EQ(parametriConnessioneIb(),
                  (std::vector<std::string>{"user_name=sysdba", "password=tesslorin"}));
        EXPECT_EQ(parametriCreazioneIb(), (std::vector<std::string>{
                                              "USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"}));
    }
    {
        Variabile u("ISC_USER", "gestore"), p("ISC_PASSWORD", "s3greta");
        EXPECT_EQ(parametriConnessioneIb(),
                  (std::vector<std::string>{"user_name=gestore", "password=s3greta"}));
        EXPECT_EQ(parametriCreazioneIb(), (std::vector<std::string>{
                                              "USER \"gestore\"", "PASSWORD \"s3greta\"", "PAGE_SIZE 4096"}));
    }
    {
        Variabile u("ISC_USER", ""), p("ISC_PASSWORD", "a\"b");
        EXPECT_EQ(parametriConnessioneIb()[0], "user_name=sysdba");  // empty means unset
        EXPECT_THROW(parametriCreazioneIb(), Error);
    }
}

class ConnessioneIbTest : public ::testing::Test {
protected:
    CartellaTemporanea t;
    InterazioneScriptata io;
    Variabile utente{"ISC_USER", nullptr};
    Variabile password{"ISC_PASSWORD", nullptr};

    std::unique_ptr<TTabForm> crea(const std::string& archivio)
    {
        test::scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
        ProfiloPrivato(t / "varnelo.ini").scrivi("Rossi", "Archivio", archivio);
        auto f = std::make_unique<TTabForm>(io, t / "avvio", t / "varnelo.ini");
        EXPECT_TRUE(io.eventi().empty());
        return f;
    }

    // An archive made beforehand, with one table, as another program would leave it.
    void creaArchivio(const std::string& percorso)
    {
        fs::create_directories(fs::path(percorso).parent_path());
        ib::Transaction tr;
        ib::Database db;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(percorso);
        db.params = parametriCreazioneIb();
        db.createDatabase();
        ib::Query q(db);
        q.sql = {"CREATE TABLE ESISTENTE (X INTEGER)"};
        q.execSql();
        tr.commit();
    }
};

TEST_F(ConnessioneIbTest, LaConnessioneAppartieneAlleImpostazioniEParteScollegata)
{
    auto f = crea(t / "a.gdb");
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_EQ(f->IBDatabase1.defaultTransaction(), &f->IBTransaction1);
    EXPECT_EQ(f->IBDatabase1.sqlDialect, 3);
    EXPECT_EQ(f->IBDatabase1.params,
              (std::vector<std::string>{"user_name=sysdba", "password=tesslorin"}));
    EXPECT_FALSE(f->IBTransaction1.inTransaction());
    EXPECT_TRUE(f->IBTransaction1.params.empty());
}

TEST_F(ConnessioneIbTest, UnArchivioEsistenteSiCollegaSenzaDomande)
{
    creaArchivio(t / "dati/a.gdb");
    auto f = crea(t / "dati/a.gdb");
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(f->IBDatabase1.databaseName(), t / "dati/a.gdb");
    EXPECT_EQ(f->IBDatabase1.params,
              (std::vector<std::string>{"user_name=sysdba", "password=tesslorin"}));
    EXPECT_EQ(ib::nomiTabelleUtente(f->IBDatabase1), std::vector<std::string>{"ESISTENTE"});
}

TEST_F(ConnessioneIbTest, UnArchivioMancanteSiCreaSeLUtenteAcconsente)
{
    auto f = crea(t / "nuovo.gdb");
    std::vector<std::string> inviate;
    f->IBDatabase1.setOsservatore([&](const std::string& s, ib::Invio) { inviate.push_back(s); });
    io.risposte({Risposta::Si});
    f->ConnettiDatabaseIB();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kDomanda});
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_TRUE(fs::exists(t / "nuovo.gdb"));
    ASSERT_EQ(inviate.size(), 1u);
    EXPECT_EQ(inviate[0], "CREATE DATABASE '" + t / "nuovo.gdb" +
                              "' USER \"SYSDBA\"\r\nPASSWORD \"tesslorin\"\r\nPAGE_SIZE 4096\r\n");
    EXPECT_TRUE(ib::nomiTabelleUtente(f->IBDatabase1).empty());
    // The connection's own parameters are back: the new archive can be reached again.
    EXPECT_EQ(f->IBDatabase1.params, parametriConnessioneIb());
    f->IBDatabase1.disconnect();
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(f->IBDatabase1.connected());
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kDomanda});
}

TEST_F(ConnessioneIbTest, RifiutareLaCreazioneLasciaScollegatoESenzaAltreDomande)
{
    auto f = crea(t / "nuovo.gdb");
    io.risposte({Risposta::No});
    f->ConnettiDatabaseIB();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kDomanda});
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_FALSE(fs::exists(t / "nuovo.gdb"));
    EXPECT_EQ(io.risposteRimaste(), 0u);
}

TEST_F(ConnessioneIbTest, UnaSecondaChiamataTieneLaConnessioneEIlLavoroInCorso)
{
    creaArchivio(t / "a.gdb");
    auto f = crea(t / "a.gdb");
    f->ConnettiDatabaseIB();
    ib::Query q(f->IBDatabase1);
    q.sql = {"INSERT INTO ESISTENTE VALUES (1)"};
    q.execSql();
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(f->IBTransaction1.inTransaction());
    f->IBTransaction1.commit();
    EXPECT_TRUE(io.eventi().empty());
}

TEST_F(ConnessioneIbTest, UnAltroArchivioChiudeLaConnessionePrecedente)
{
    creaArchivio(t / "a.gdb");
    creaArchivio(t / "b.gdb");
    auto f = crea(t / "a.gdb");
    f->ConnettiDatabaseIB();
    ib::Query q(f->IBDatabase1);
    q.sql = {"INSERT INTO ESISTENTE VALUES (1)"};
    q.execSql();
    f->Archivio = t / "b.gdb";
    f->ConnettiDatabaseIB();
    EXPECT_EQ(f->IBDatabase1.databaseName(), t / "b.gdb");
    EXPECT_FALSE(f->IBTransaction1.inTransaction());  // rolled back, never committed
    f->Archivio = t / "a.gdb";
    f->ConnettiDatabaseIB();
    ib::Query c(f->IBDatabase1);
    c.sql = {"SELECT COUNT(*) FROM ESISTENTE"};
    c.open();
    EXPECT_EQ(c.field(0).asInt64(), 0);
}

TEST_F(ConnessioneIbTest, UnArchivioScrittoConBarreRovesciateEMaiuscoleDiverse)
{
    creaArchivio(t / "Dati/Archivio.gdb");
    std::string percorso = t.dir() + "DATI\\ARCHIVIO.GDB";
    auto f = crea(percorso);
    f->ConnettiDatabaseIB();
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(ib::nomiTabelleUtente(f->IBDatabase1), std::vector<std::string>{"ESISTENTE"});
    // Kept as written: the next call finds it equal and keeps the connection.
    EXPECT_EQ(f->IBDatabase1.databaseName(), percorso);
}

TEST_F(ConnessioneIbTest, UnPercorsoDiReteMalFormatoEUnErroreSenzaDomande)
{
    auto f = crea("\\\\SERVER\\dati.gdb");
    try {
        f->ConnettiDatabaseIB();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Percorso di rete dell'archivio non valido: \"\\\\SERVER\\dati.gdb\" (servono "
                  "server, condivisione e file: \\\\server\\condivisione\\file)");
    }
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_FALSE(f->IBDatabase1.connected());
}

TEST_F(ConnessioneIbTest, SenzaArchivioImpostatoNessunaDomanda)
{
    auto f = crea("");
    EXPECT_THROW(f->ConnettiDatabaseIB(), Error);
    EXPECT_TRUE(io.eventi().empty());
}

TEST_F(ConnessioneIbTest, UnFileCheNonEUnArchivioDaIlMessaggioDelCliente)
{
    test::scriviFile(t / "finto.gdb", "non un archivio");
    auto f = crea(t / "finto.gdb");
    EXPECT_THROW(f->ConnettiDatabaseIB(), ib::Error);
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_EQ(test::leggiFile(t / "finto.gdb"), "non un archivio");
}

TEST_F(ConnessioneIbTest, LaDistruzioneDelleImpostazioniNonConfermaIlLavoroPendente)
{
    creaArchivio(t / "a.gdb");
    {
        auto f = crea(t / "a.gdb");
        f->ConnettiDatabaseIB();
        ib::Query q(f->IBDatabase1);
        q.sql = {"INSERT INTO ESISTENTE VALUES (1)"};
        q.execSql();
    }
    ib::Transaction tr;
    ib::Database db;
    db.setDefaultTransaction(&tr);
    db.setDatabaseName(t / "a.gdb");
    db.params = parametriConnessioneIb();
    db.connect();
    ib::Query c(db);
    c.sql = {"SELECT COUNT(*) FROM ESISTENTE"};
    c.open();
    EXPECT_EQ(c.field(0).asInt64(), 0);
}

}  // namespace
}  // namespace korva
