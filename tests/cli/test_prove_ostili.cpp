// The commands beside files that are not a table's own (another table whose name differs only
// in case, a folder reached through a link out of the data directory, a file named like the
// verification's own), beside a damaged comparison table and beside a writer that stopped.

#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace korva {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

// The files of a folder named `stem` plus an extension, each with its size and a digest of
// its bytes.
std::map<std::string, std::string> fileCon(const std::string& dir, const std::string& stem)
{
    std::map<std::string, std::string> f;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().stem() == stem) {
            const std::string bytes = test::leggiFile(e.path().string());
            f[e.path().filename().string()] =
                std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>{}(bytes));
        }
    return f;
}

class ProveOstili : public ::testing::Test {
protected:
    // One demo company made for the suite; each test works on its own copy, the settings
    // file pointed at the copy.
    static void SetUpTestSuite()
    {
        modello_ = new CartellaTemporanea;
        const auto e = test::eseguiKorva({"crea-demo", *modello_ / "demo"});
        if (e.codice != 0) {
            delete modello_;
            modello_ = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete modello_;
        modello_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(modello_, nullptr) << "crea-demo non riuscito";
        fs::copy(*modello_ / "demo", t / "demo", fs::copy_options::recursive);
        std::string ini = test::leggiFile(t / "demo/varnelo.ini");
        const std::string da = *modello_ / "demo", a = t / "demo";
        for (auto at = ini.find(da); at != std::string::npos; at = ini.find(da, at + a.size()))
            ini.replace(at, da.size(), a);
        test::scriviFile(t / "demo/varnelo.ini", ini);
    }
    test::Esito korva(std::vector<std::string> argomenti)
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return test::eseguiKorva(argomenti);
    }
    // agenti's family copied under another base name: another program's table with records.
    void copiaAgenti(const std::string& base)
    {
        const std::string dati = t / "demo/alfa/dati";
        for (const char* est : {".DB", ".PX", ".X02", ".Y02"})
            fs::copy_file(dati + "/agenti" + est, dati + "/" + base + est);
    }
    static inline CartellaTemporanea* modello_ = nullptr;
    CartellaTemporanea t;
};

// Another program's table spelled in other case beside the table a command works on (or
// beside the comparison table the verification left): its files stay byte for byte.
TEST_F(ProveOstili, LaTabellaDiUnAltroProgrammaConIlNomeInAltreMaiuscoleResta)
{
    struct Caso {
        std::string altra;                 // base name of the other program's table
        bool confrontoVuoto;               // an empty XXXCONF.DB left by a stopped verification
        std::vector<std::string> comando;
    };
    const std::vector<Caso> casi = {
        {"xxxconf", true, {"verifica-tracciato", "agenti"}},
        {"AGENTI", false, {"rigenera-indici", "agenti"}},
        {"AGENTI", false, {"--si", "azzera", "agenti"}},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.altra + " " + c.comando.back());
        fs::remove_all(t / "demo");
        SetUp();
        const std::string dati = t / "demo/alfa/dati";
        copiaAgenti(c.altra);
        if (c.confrontoVuoto) {
            CartellaTemporanea altrove;
            paradox::Table v;
            v.setDatabaseName(altrove.percorso());
            v.setTableName("XXXCONF.DB");
            v.fieldDefs = {{"k", paradox::FieldType::Long, 0, false}};
            v.indexDefs = {{"", "k", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
            v.createTable();
            v.close();
            for (const char* est : {".DB", ".PX"})
                fs::copy_file(altrove / (std::string("XXXCONF") + est), dati + "/XXXCONF" + est);
        }
        const auto prima = fileCon(dati, c.altra);
        ASSERT_EQ(prima.size(), 4u);
        const test::Esito e = korva(c.comando);
        EXPECT_EQ(fileCon(dati, c.altra), prima) << e.out << e.err;
    }
}

// A folder of the data directory that is a link to a folder outside it: registering a table
// there is refused, or the commands refuse the entry; the table out there keeps its records.
TEST_F(ProveOstili, UnCollegamentoCheEsceDallaDirectoryDiLavoroVieneRifiutato)
{
    CartellaTemporanea fuori;
    const std::string dati = t / "demo/alfa/dati";
    for (const char* est : {".DB", ".PX", ".X02", ".Y02"})
        fs::copy_file(dati + "/agenti" + est, fuori / (std::string("esterna") + est));
    fs::create_directory_symlink(fuori.percorso(), dati + "/collegamento");
    const auto prima = fileCon(fuori.percorso(), "esterna");
    const test::Esito r = korva({"registra", dati + "/collegamento/esterna.DB"});
    if (r.codice == 0) {
        for (const std::vector<std::string>& comando :
             {std::vector<std::string>{"--si", "azzera", "esterna"}, {"rigenera-indici", "esterna"}}) {
            const test::Esito e = korva(comando);
            EXPECT_EQ(e.codice, 1) << comando.back() << e.out;
        }
    }
    EXPECT_EQ(fileCon(fuori.percorso(), "esterna"), prima) << r.out << r.err;
}

// "px crea" makes an empty table: a table already there with that name, in any case, holds
// records of somebody's and is not replaced without a word; asked to replace it, only the
// table of that very name is.
TEST_F(ProveOstili, PxCreaNonSostituisceUnaTabellaConRecord)
{
    struct Caso {
        std::string nome;
        bool sostituisci;
        bool sostituita;
    };
    for (const Caso& c : {Caso{"agenti.DB", false, false}, Caso{"AGENTI.DB", false, false},
                          Caso{"AGENTI.DB", true, false}, Caso{"agenti.DB", true, true}}) {
        SCOPED_TRACE(c.nome + (c.sostituisci ? " --sostituisci" : ""));
        CartellaTemporanea d;
        for (const char* est : {".DB", ".PX", ".X02", ".Y02"})
            fs::copy_file(t / (std::string("demo/alfa/dati/agenti") + est), d / (std::string("agenti") + est));
        const auto prima = fileCon(d.percorso(), "agenti");
        std::vector<std::string> comando = {"px", "crea", d / c.nome, "--campo", "k:I", "--chiave", "1"};
        if (c.sostituisci)
            comando.push_back("--sostituisci");
        const test::Esito e = test::eseguiKorva(comando);
        EXPECT_EQ(e.codice == 0, c.sostituita) << e.out << e.err;
        if (c.sostituita) {
            EXPECT_EQ(test::eseguiKorva({"px", "dump", d / "agenti.DB"}).out, "k\n");
            EXPECT_FALSE(fs::exists(d / "agenti.X02"));
        } else {
            EXPECT_EQ(fileCon(d.percorso(), "agenti"), prima) << e.out << e.err;
            EXPECT_FALSE(fs::exists(d / "AGENTI.DB"));
        }
    }
}

// A table whose files are spelled in lower case (t.db, t.mb, as the sample tables and the
// programs that read them have them): regeneration keeps the blob file's name.
TEST_F(ProveOstili, LaRigenerazioneNonCambiaIlNomeDelFileDeiBlob)
{
    CartellaTemporanea d;
    paradox::Table tab;
    tab.setDatabaseName(d.percorso());
    tab.setTableName("t.db");
    tab.fieldDefs = {{"k", paradox::FieldType::Long, 0, false}, {"m", paradox::FieldType::Memo, 10, false}};
    tab.indexDefs = {{"", "k", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
    tab.createTable();
    tab.close();
    for (const auto& e : fs::directory_iterator(d.percorso()))
        if (e.path().extension() == ".MB")
            fs::rename(e.path(), d / "t.mb");
    ASSERT_TRUE(fs::exists(d / "t.mb"));
    tab.open();
    tab.append();
    tab.field(0).setInteger(1);
    tab.field(1).setString(std::string(300, 'x'));
    tab.post();
    tab.close();
    tab.regenerateTable();
    EXPECT_TRUE(fs::exists(d / "t.mb"));
    EXPECT_FALSE(fs::exists(d / "t.MB"));
}

// A file XXXCONF.VER that another program keeps in the folder, whatever it is, is not the
// verification's to cut or remove; nor is what a link of that name leads to outside the folder.
TEST_F(ProveOstili, UnFileXxxconfVerCheEsisteGiaResta)
{
    CartellaTemporanea fuori;
    const std::string ver = t / "demo/alfa/dati/XXXCONF.VER";
    const std::string esterno = fuori / "turno";
    const auto collegamento = [&](const std::string& testo) {
        test::scriviFile(esterno, testo);
        fs::create_symlink(esterno, ver);
    };
    const std::vector<std::pair<std::string, std::function<void()>>> casi = {
        {"testo", [&] { test::scriviFile(ver, "appunti di un altro programma\r\n"); }},
        {"binario", [&] { test::scriviFile(ver, std::string("KORVAWIN \0\x01\xff", 12)); }},
        {"cartella", [&] { fs::create_directory(ver); }},
        {"collegamento a un file vuoto fuori", [&] { collegamento(""); }},
        {"collegamento a un testo fuori", [&] { collegamento("KORVAWIN di un'altra cartella\r\n"); }},
    };
    for (const auto& [nome, prepara] : casi) {
        SCOPED_TRACE(nome);
        fs::remove_all(ver);
        fs::remove(esterno);
        prepara();
        const bool eraCollegamento = fs::is_symlink(ver);
        const std::string contenuto = fs::is_directory(ver) ? "" : test::leggiFile(ver);
        const auto fuoriPrima = fileCon(fuori.percorso(), "turno");
        const test::Esito e = korva({"verifica-tracciato", "agenti"});
        EXPECT_EQ(fileCon(fuori.percorso(), "turno"), fuoriPrima);
        EXPECT_TRUE(fs::exists(fs::symlink_status(ver))) << e.out << e.err;
        EXPECT_EQ(fs::is_symlink(ver), eraCollegamento);
        if (fs::is_regular_file(ver)) {
            EXPECT_EQ(test::leggiFile(ver), contenuto);
        }
    }
}

// An XXXCONF.DB whose header was zeroed (records 0, no blocks) while its file still carries
// a data block with records: a damaged table holding records, which the verification must
// leave where it is.
TEST_F(ProveOstili, UnXxxconfDanneggiatoConRecordNeiBlocchiNonVieneEliminato)
{
    const std::string dati = t / "demo/alfa/dati";
    fs::copy_file(dati + "/agenti.DB", dati + "/XXXCONF.DB");
    std::string byte = test::leggiFile(dati + "/XXXCONF.DB");
    for (int i = 0; i < 4; ++i)
        byte[0x06 + i] = 0;
    for (int at : {0x0A, 0x0C, 0x0E, 0x10, 0x3A, 0x4D})
        byte[at] = byte[at + 1] = 0;
    test::scriviFile(dati + "/XXXCONF.DB", byte);
    ASSERT_NE(byte.find("Rossi Mario"), std::string::npos);
    const test::Esito e = korva({"verifica-tracciato", "agenti"});
    ASSERT_TRUE(fs::exists(dati + "/XXXCONF.DB")) << e.out << e.err;
    EXPECT_EQ(test::leggiFile(dati + "/XXXCONF.DB"), byte);
    EXPECT_NE(e.codice, 0) << e.out;
}

// A program that stopped in the middle of a group of changes (a debugger, a frozen
// terminal, a machine gone to sleep) keeps its write lock: a reader waits for it within a
// limit, then answers, and never waits without end.
TEST_F(ProveOstili, UnLettoreNonAspettaSenzaFineUnoScrittoreFermo)
{
    int pronto[2];
    ASSERT_EQ(pipe(pronto), 0);
    const pid_t scrittore = fork();
    if (scrittore == 0) {
        close(pronto[0]);
        paradox::Table c;
        c.setDatabaseName(t / "demo/alfa/dati/archivi");
        c.setTableName("clienti.DB");
        c.open();
        c.beginBatch();
        c.append();
        c.field(0).setString("FERMO");
        c.post();
        if (write(pronto[1], "x", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(pronto[1]);
    char c = 0;
    ASSERT_EQ(read(pronto[0], &c, 1), 1);
    close(pronto[0]);
    const pid_t lettore = fork();
    if (lettore == 0)
        _exit(korva({"conta", "clienti"}).codice == 0 ? 0 : 1);
    const auto fine = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int stato = 0;
    pid_t finito = 0;
    while ((finito = waitpid(lettore, &stato, WNOHANG)) == 0 && std::chrono::steady_clock::now() < fine)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (finito == 0) {
        kill(lettore, SIGKILL);
        waitpid(lettore, &stato, 0);
    }
    kill(scrittore, SIGKILL);
    waitpid(scrittore, nullptr, 0);
    EXPECT_NE(finito, 0) << "korva conta aspetta ancora dopo 30 secondi";
}

}  // namespace
}  // namespace korva
