#include "base/profilo.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;
namespace fs = std::filesystem;

class CliIb : public ::testing::Test {
protected:
    CartellaTemporanea t;

    void SetUp() override
    {
        test::scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
        ProfiloPrivato(t / "v.ini").scrivi("Rossi", "Archivio", t / "archivio.gdb");
    }

    std::vector<std::string> argomenti(std::vector<std::string> comando) const
    {
        std::vector<std::string> a = {"--ini", t / "v.ini", "--dir", t / "avvio"};
        a.insert(a.end(), comando.begin(), comando.end());
        return a;
    }

    // The archive as the table creation leaves it; closed again before korva opens it.
    void creaArchivio()
    {
        ib::Transaction tr;
        ib::Database db;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(t / "archivio.gdb");
        db.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
        db.createDatabase();
        for (const char* s :
             {"CREATE TABLE CLIENTI (\n\"CODICE\" VARCHAR(6) NOT NULL,\n\"RAGSOC\" VARCHAR(40),\n"
              "\"SCADENZA\" TIMESTAMP,\n\"FIDO\" NUMERIC(12,2),\n\"NOTE\" BLOB\n)",
              "ALTER TABLE CLIENTI\nADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )",
              "CREATE INDEX CLIENTI_ragsoc ON CLIENTI (ragsoc)",
              "CREATE INDEX CLIENTI_perscad ON CLIENTI (scadenza,codice)",
              "CREATE TABLE ARTICOLI (X INTEGER)", "CREATE VIEW VISTA AS SELECT X FROM ARTICOLI"}) {
            ib::Query q(db);
            q.sql = {s};
            q.execSql();
        }
        tr.commit();
    }
};

TEST_F(CliIb, TabelleElencaLeTabelleUtenteOrdinate)
{
    creaArchivio();
    auto e = eseguiKorva(argomenti({"ib", "tabelle"}));
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "ARTICOLI\nCLIENTI\n");
}

TEST_F(CliIb, StrutturaMostraCampiEIndiciComeLiRiportaLaTabella)
{
    creaArchivio();
    auto e = eseguiKorva(argomenti({"ib", "struttura", "clienti"}));
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out,
              "Campi (nome, tipo, dimensione, obbligatorio):\n"
              "CODICE\tVARCHAR\t6\tsi\n"
              "RAGSOC\tVARCHAR\t40\tno\n"
              "SCADENZA\tTIMESTAMP\t0\tno\n"
              "FIDO\tNUMERIC\t12,2\tno\n"
              "NOTE\tBLOB\t80\tno\n"
              "Indici (nome, campi, opzioni):\n"
              "CLIENTI_CHIAVEPRIMARIA\tCODICE\tprimario unico\n"
              "CLIENTI_PERSCAD\tSCADENZA;CODICE\t\n"
              "CLIENTI_RAGSOC\tRAGSOC\t\n");
}

TEST_F(CliIb, StrutturaDiUnaTabellaCheNonEsiste)
{
    creaArchivio();
    auto e = eseguiKorva(argomenti({"ib", "struttura", "manca"}));
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "La Tabella Non Esiste\n");
}

TEST_F(CliIb, UnArchivioMancanteSiCreaSoloConSi)
{
    auto no = eseguiKorva(argomenti({"--no", "ib", "tabelle"}));
    EXPECT_EQ(no.codice, 1);
    EXPECT_EQ(no.out, "Attenzione: Il Database selezionato non esiste. Crearlo? no\n");
    EXPECT_FALSE(fs::exists(t / "archivio.gdb"));

    auto senza = eseguiKorva(argomenti({"ib", "tabelle"}));
    EXPECT_NE(senza.codice, 0);
    EXPECT_NE(senza.err.find("usare --si o --no"), std::string::npos) << senza.err;
    EXPECT_FALSE(fs::exists(t / "archivio.gdb"));

    auto si = eseguiKorva(argomenti({"--si", "ib", "tabelle"}));
    ASSERT_EQ(si.codice, 0) << si.err;
    EXPECT_EQ(si.out, "Attenzione: Il Database selezionato non esiste. Crearlo? si\n");
    EXPECT_TRUE(fs::exists(t / "archivio.gdb"));
}

TEST_F(CliIb, UnErroreDelServerEsceConIlSuoMessaggio)
{
    test::scriviFile(t / "archivio.gdb", "non un archivio");
    auto e = eseguiKorva(argomenti({"ib", "tabelle"}));
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err.rfind("Impossibile aprire l'archivio " + t / "archivio.gdb" + ": ", 0), 0u)
        << e.err;
}

// An ordinary user works with the archive in-process: no server, no configuration, the lock
// directory of the embedded engine chosen per user.
TEST_F(CliIb, UnUtenteQualsiasiCreaEUsaLArchivio)
{
    test::Ambiente ambiente;
    ambiente.senza = {"FIREBIRD_LOCK", "XDG_RUNTIME_DIR", "FIREBIRD"};
    uid_t utente = geteuid();
    if (utente == 0) {
        utente = 65534;  // nobody
        ambiente.utente = static_cast<int>(utente);
        for (const std::string& p : {t.percorso(), t / "avvio"})
            chmod(p.c_str(), 0777);
        chmod((t / "v.ini").c_str(), 0666);
    }
    auto e = eseguiKorva(argomenti({"--si", "ib", "tabelle"}), {}, ambiente);
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_TRUE(fs::exists(t / "archivio.gdb"));
    struct stat st {};
    ASSERT_EQ(stat((t / "archivio.gdb").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, utente);
    const std::string lock = "/tmp/firebird-" + std::to_string(utente);
    ASSERT_EQ(stat(lock.c_str(), &st), 0) << lock;
    EXPECT_EQ(st.st_uid, utente);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace korva
