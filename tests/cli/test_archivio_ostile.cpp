// The archive commands beside other programs on the test server: a second process (isql)
// that commits while the command works, and the work table of a killed regeneration.

#include "base/profilo.h"
#include "maintenance/compattazione_archivio.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"
#include "support/server_firebird.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace korva {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int giri(const char* variabile, int predefiniti)
{
    const char* quanti = std::getenv(variabile);
    return quanti ? std::atoi(quanti) : predefiniti;
}

// A shell script that returns once `file` exists (half a minute at most: never a hang).
std::string attesaDi(const test::CartellaTemporanea& t, const std::string& nome, const std::string& file)
{
    const std::string script = t / nome;
    test::scriviFile(script, "#!/bin/sh\nfor i in $(seq 1500); do [ -f '" + file + "' ] && exit 0; sleep 0.05; done\n");
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

class ArchivioOstile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server);
        auto e = test::eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
        ProfiloPrivato profilo(t / "demo/varnelo.ini");
        profilo.scrivi("Demo Alfa S.r.l.", "TipoDataBase", "INTERBASE");
        profilo.scrivi("Demo Alfa S.r.l.", "Archivio", nome());
    }

    std::string file() const { return t / "demo/alfa/archivio/ARCHIVIO.GDB"; }
    std::string nome() const { return server->nome(file()); }

    test::Esito korva(std::vector<std::string> a) const
    {
        a.insert(a.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return test::eseguiKorva(a);
    }
    int avviaKorva(std::vector<std::string> a) const
    {
        a.insert(a.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return test::avviaKorva(a);
    }

    std::vector<std::string> argomentiIsql(const std::string& script) const
    {
        return {"-q", "-m", "-user", "SYSDBA", "-password", "tesslorin", "-i", script, nome()};
    }

    // A script run by isql through the server, to its end; its output.
    std::string isql(const std::string& sql)
    {
        const std::string script = t / "isql.sql";
        test::scriviFile(script, sql + "\n");
        const auto e = test::esegui("isql-fb", argomentiIsql(script));
        return e.out + e.err;
    }

    // The number a single-value query gives, -1 when it fails.
    long long numero(const std::string& select)
    {
        const std::string out = isql("SET HEADING OFF;\n" + select + ";");
        try {
            return std::stoll(out.substr(out.find_first_not_of(" \n")));
        } catch (const std::exception&) {
            return -1;
        }
    }

    // isql started on a script, its output and errors in `log`: the process id.
    int avviaIsql(const std::string& sql, const std::string& log)
    {
        const std::string script = t / ("isql-" + std::to_string(++isqlAvviati) + ".sql");
        test::scriviFile(script, sql + "\n");
        std::vector<std::string> a = argomentiIsql(script);
        a.insert(a.begin(), "isql-fb");
        std::vector<char*> argv;
        for (auto& s : a)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t azioni;
        posix_spawn_file_actions_init(&azioni);
        posix_spawn_file_actions_addopen(&azioni, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&azioni, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&azioni, 1, 2);
        pid_t pid = -1;
        const int r = posix_spawnp(&pid, "isql-fb", &azioni, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&azioni);
        EXPECT_EQ(r, 0);
        return pid;
    }

    static int aspetta(int pid)
    {
        int stato = 0;
        waitpid(pid, &stato, 0);
        return stato;
    }

    // CLIENTI filled so that copying it takes a while.
    void riempiClienti(int righe)
    {
        isql("SET TERM ^;\nEXECUTE BLOCK AS DECLARE I INTEGER = 100000; BEGIN WHILE (I < " + std::to_string(100000 + righe) +
             ") DO BEGIN INSERT INTO CLIENTI VALUES (:I, 'cliente ' || :I, '2024-01-01'); I = I + 1; END END^\n"
             "SET TERM ;^\nCOMMIT;");
    }

    // A dictionary row for `tabella`, as an older dictionary could hold one: written straight
    // into the dictionary's own table, since registration refuses the work tables' names.
    void voceDizionario(const std::string& tabella)
    {
        const std::string dizionario = t / "demo/alfa/tracciati1/KORVA/KORVA.DB";
        const auto righe = test::eseguiKorva({"px", "dump", dizionario});
        ASSERT_EQ(righe.codice, 0) << righe.err;
        const std::string intestazione = righe.out.substr(0, righe.out.find('\n'));
        const size_t clienti = righe.out.find("\nclienti,");
        ASSERT_NE(clienti, std::string::npos) << righe.out;
        const std::string resto = righe.out.substr(clienti + 8, righe.out.find('\n', clienti + 1) - clienti - 8);
        const std::string csv = t / "voce.csv";
        test::scriviFile(csv, intestazione + "\n" + tabella + resto + "\n");
        const auto e = test::eseguiKorva({"px", "carica", dizionario, csv});
        ASSERT_EQ(e.codice, 0) << e.out << e.err;
    }

    bool rigenerazioneUccisaConLeRigheInTmp222();

    test::CartellaTemporanea t;
    std::optional<test::ServerFirebird> server = test::serverFirebird();
    int isqlAvviati = 0;
};

// Another program's transaction began before the regeneration and updates a row while the
// rows are being copied into TMP222 (its update waits for the copy's reservation, then commits
// before the table is dropped): the update must be in the regenerated table, or the
// regeneration must refuse.
TEST_F(ArchivioOstile, RigenerazioneNonPerdeLaModificaDiUnaTransazioneIniziataPrima)
{
    riempiClienti(20000);
    const std::string via = t / "via";
    const std::string log = t / "altro.log";
    const int altro = avviaIsql("SET COUNT ON;\nSET TRANSACTION WAIT;\nSELECT CURRENT_TRANSACTION FROM RDB$DATABASE;\nSHELL " +
                                    attesaDi(t, "attesa.sh", via) +
                                    ";\nUPDATE CLIENTI SET RAGSOC = 'CAMBIATO DA UN ALTRO' WHERE CODICE = 'C00001';\n"
                                    "COMMIT;\nSELECT 'ALTRO FATTO' FROM RDB$DATABASE;",
                                log);
    std::this_thread::sleep_for(500ms);  // its transaction started first
    const int rigenera = avviaKorva({"--si", "rigenera", "clienti"});
    bool copiaVista = false;
    for (int i = 0; i < 2000 && !copiaVista; ++i) {
        copiaVista = numero("SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
                            "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
                            "MON$SQL_TEXT CONTAINING 'INSERT INTO \"TMP222\"'") == 1;
        if (!copiaVista)
            std::this_thread::sleep_for(20ms);
    }
    test::scriviFile(via, "");
    const int stato = aspetta(rigenera);
    aspetta(altro);
    ASSERT_TRUE(copiaVista) << "la copia in TMP222 non è stata vista in corso";
    const std::string dettaglio = test::leggiFile(log);
    ASSERT_NE(dettaglio.find("ALTRO FATTO"), std::string::npos) << dettaglio;
    ASSERT_EQ(dettaglio.find("Statement failed"), std::string::npos) << dettaglio;
    // Its update met the row (one waiting for the copy back would not see the new table's rows).
    ASSERT_NE(dettaglio.find("Records affected: 1"), std::string::npos) << dettaglio;
    ASSERT_TRUE(WIFEXITED(stato));
    if (WEXITSTATUS(stato) == 0) {
        EXPECT_NE(isql("SELECT RAGSOC FROM CLIENTI WHERE CODICE = 'C00001';").find("CAMBIATO DA UN ALTRO"),
                  std::string::npos)
            << "rigenerazione completata, la modifica committata da un altro programma è persa";
    }
}

// Another program holds a row of the table: the regeneration refuses, the table as it was, and
// the TMP222 it made goes (it holds nothing the table lacks).
TEST_F(ArchivioOstile, RigenerazioneRifiutataNonLasciaTmp222)
{
    const long long tutte = numero("SELECT COUNT(*) FROM CLIENTI");
    const std::string tenuta = t / "tenuta";
    const std::string via = t / "via";
    const int altro = avviaIsql("UPDATE CLIENTI SET RAGSOC = RAGSOC;\nSHELL touch " + tenuta + ";\nSHELL " +
                                    attesaDi(t, "attesa.sh", via) + ";\nROLLBACK;",
                                t / "altro.log");
    for (int i = 0; i < 600 && !fs::exists(tenuta); ++i)
        std::this_thread::sleep_for(50ms);
    const auto r = korva({"--si", "rigenera", "clienti"});
    test::scriviFile(via, "");
    aspetta(altro);
    EXPECT_NE(r.codice, 0) << r.out << r.err;
    EXPECT_EQ(numero("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'TMP222'"), 0) << r.out << r.err;
    EXPECT_EQ(numero("SELECT COUNT(*) FROM CLIENTI"), tutte);
}

// The backup of an archive on a server, streamed by the server's backup service, ends: with
// the backup file when the server sends it, with a message when it does not. Never a wait
// without limit (the service's own client sends this archive in well under a second).
TEST_F(ArchivioOstile, BackupDiUnArchivioSulServerFinisce)
{
    const int pid = avviaKorva({"backup"});
    int stato = 0;
    bool finito = false;
    for (int i = 0; i < 600 && !finito; ++i) {
        finito = waitpid(pid, &stato, WNOHANG) == pid;
        if (!finito)
            std::this_thread::sleep_for(100ms);
    }
    if (!finito) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(finito) << "korva backup ancora in corso dopo un minuto";
    EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
    const std::string bak = t / "demo/alfa/bak";
    EXPECT_GT(fs::file_size(bak + "/ARCHIVIO.GDB.fbk"), 0u);
    for (const auto& voce : fs::directory_iterator(bak))
        EXPECT_EQ(voce.path().filename(), "ARCHIVIO.GDB.fbk");
}

// A regeneration killed while its rows are only in TMP222: no command of the table manager may
// empty or drop that TMP222, even when somebody registered it as a table.
class Tmp222Interrotta : public ArchivioOstile, public ::testing::WithParamInterface<const char*> {};

// The regeneration of CLIENTI killed once CLIENTI is gone or created again empty, TMP222
// holding every row: whether it was caught so.
bool ArchivioOstile::rigenerazioneUccisaConLeRigheInTmp222()
{
    bool colta = false;
    for (int giro = 0; giro < giri("KORVA_GIRI_CRASH", 5) && !colta; ++giro) {
        const int pid = avviaKorva({"--si", "rigenera", "clienti"});
        for (int i = 0; i < 3000 && !colta; ++i) {
            colta = numero("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'TMP222'") == 1 &&
                    numero("SELECT COUNT(*) FROM CLIENTI") <= 0;
            if (!colta && waitpid(pid, nullptr, WNOHANG) == pid)
                break;
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // A count refused while the drop was under way looks the same: what the kill left decides.
        colta = colta && numero("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'TMP222'") == 1 &&
                numero("SELECT COUNT(*) FROM CLIENTI") <= 0;
    }
    return colta;
}

TEST_P(Tmp222Interrotta, NonSiAzzeraNeSiElimina)
{
    riempiClienti(15000);
    const long long tutte = numero("SELECT COUNT(*) FROM CLIENTI");
    ASSERT_TRUE(rigenerazioneUccisaConLeRigheInTmp222()) << "la rigenerazione non è stata colta con le righe solo in TMP222";
    ASSERT_EQ(numero("SELECT COUNT(*) FROM TMP222"), tutte);
    EXPECT_NE(korva({"--si", "registra", "tmp222"}).codice, 0);
    voceDizionario("tmp222");


    const auto e = korva({"--si", GetParam(), "tmp222"});
    EXPECT_NE(e.codice, 0) << e.out << e.err;
    EXPECT_EQ(numero("SELECT COUNT(*) FROM TMP222"), tutte) << e.out << e.err;
    // The next regeneration of the table is the one that gives the rows back.
    const auto r = korva({"--si", "rigenera", "clienti"});
    EXPECT_EQ(numero("SELECT COUNT(*) FROM CLIENTI"), tutte) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(Comandi, Tmp222Interrotta, ::testing::Values("azzera", "elimina"));

// That TMP222 dropped by another program: the next regeneration never takes the table left
// empty for a whole one.
TEST_F(ArchivioOstile, RigenerazioneDopoTmp222PersaNonSiDiceCompletata)
{
    riempiClienti(15000);
    ASSERT_TRUE(rigenerazioneUccisaConLeRigheInTmp222()) << "la rigenerazione non è stata colta con le righe solo in TMP222";
    isql("DROP TABLE TMP222;\nCOMMIT;");
    const auto r = korva({"--si", "rigenera", "clienti"});
    EXPECT_NE(r.codice, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("completata"), std::string::npos) << r.out << r.err;
}

// A compaction of an archive on a server elsewhere, in the test's own process.
struct CompattazioneSulServer {
    Compattazione c;
    bool compattato = false;
    std::string errore;

    CompattazioneSulServer(const std::string& nome, const std::string& cartellaBackup)
    {
        c.nome = nome;
        c.parametri = {"user_name=SYSDBA", "password=tesslorin"};
        c.cartellaBackup = cartellaBackup;
        c.forma = FormaCompattazione::SulServer;
    }
    void esegui()
    {
        try {
            compattaArchivio(c);
            compattato = true;
        } catch (const std::exception& e) {
            errore = e.what();
        }
    }
};

// Nobody else connected: the compaction takes the archive off line, replaces it and keeps
// every row.
TEST_F(ArchivioOstile, CompattazioneSulServerDiUnArchivioLiberoRiesce)
{
    const long long tutte = numero("SELECT COUNT(*) FROM CLIENTI");
    ASSERT_GT(tutte, 0);
    CompattazioneSulServer s(nome(), t / "bak/");
    s.esegui();
    EXPECT_TRUE(s.compattato) << s.errore;
    EXPECT_EQ(numero("SELECT COUNT(*) FROM CLIENTI"), tutte);
}

// Another program connected during the backup holds an insert, and commits it and leaves while
// the archive is being taken off line: its row must be in the compacted archive, or the
// compaction must refuse.
TEST_F(ArchivioOstile, CompattazioneSulServerNonPerdeLaRigaCommessaDuranteLoSpegnimento)
{
    const std::string inserita = t / "inserita";
    const std::string fine = t / "fine";
    const std::string log = t / "altro.log";
    CompattazioneSulServer s(nome(), t / "bak/");
    // The mark the compaction writes just before it takes the archive off line.
    const std::string fuoriLinea = s.c.cartellaBackup + "ARCHIVIO.GDB.fuori-linea";
    const std::string attesa = t / "attesa.sh";
    test::scriviFile(attesa, "#!/bin/sh\nfor i in $(seq 600); do [ -f '" + fuoriLinea + "' ] && exit 0; [ -f '" +
                                 fine + "' ] && exit 0; sleep 0.02; done\n");
    fs::permissions(attesa, fs::perms::owner_all);
    int altro = -1;
    s.c.attesa = [&] {
        if (altro >= 0)
            return;
        // Committed, then the connection closed: nothing started after the commit.
        altro = avviaIsql("INSERT INTO CLIENTI VALUES ('Z99999', 'RIGA DI UN ALTRO', NULL);\nSHELL touch " + inserita +
                              ";\nSHELL " + attesa + ";\nCOMMIT;\nEXIT;",
                          log);
        for (int i = 0; i < 600 && !fs::exists(inserita); ++i)
            std::this_thread::sleep_for(50ms);
    };
    s.esegui();
    test::scriviFile(fine, "");
    ASSERT_GE(altro, 0) << s.errore;
    const int stato = aspetta(altro);
    const std::string dettaglio = test::leggiFile(log);
    ASSERT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0) << dettaglio;
    ASSERT_EQ(dettaglio.find("Statement failed"), std::string::npos) << dettaglio;
    if (s.compattato) {
        EXPECT_EQ(numero("SELECT COUNT(*) FROM CLIENTI WHERE CODICE = 'Z99999'"), 1)
            << "compattazione terminata, la riga committata da un altro programma è persa";
    } else {
        EXPECT_NE(s.errore.find("non eseguita"), std::string::npos) << s.errore;
    }
}

}  // namespace
}  // namespace korva
