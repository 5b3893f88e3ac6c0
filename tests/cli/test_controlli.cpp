// korva esiste / conta / azzera / rigenera-indici / elimina / verifica-tracciato on the demo
// company.

#include "dictionary/tabelle_dizionario.h"
#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace korva {
namespace {

using test::CartellaTemporanea;

// Every file of a folder with its bytes.
std::map<std::string, std::string> fileDi(const std::string& dir)
{
    std::map<std::string, std::string> f;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        f[e.path().filename().string()] = test::leggiFile(e.path().string());
    return f;
}

// Every file of clienti (data and index files) with its bytes; the lock file aside.
std::map<std::string, std::string> fileDiClienti(const std::string& dir)
{
    std::map<std::string, std::string> f;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().stem() == "clienti" && e.path().extension() != ".LCK")
            f[e.path().filename().string()] = test::leggiFile(e.path().string());
    return f;
}

class CliControlli : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto e = test::eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
    }
    test::Esito korva(std::vector<std::string> argomenti)
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return test::eseguiKorva(argomenti);
    }
    CartellaTemporanea t;
};

TEST_F(CliControlli, MessaggiEdEsitiDeiComandi)
{
    auto e = korva({"conta", "CLIENTI"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Numero Record = 4\n");
    EXPECT_EQ(korva({"esiste", "ordini"}).out, "La Tabella Esiste\n");
    std::filesystem::remove(t / "demo/alfa/dati/archivi/ordini.DB");
    e = korva({"esiste", "ordini"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "La Tabella Non Esiste\n");
    EXPECT_EQ(korva({"conta", "ordini"}).codice, 1);

    // A table that cannot be had makes the run's status 1; the others are rebuilt, with
    // their progress on standard error.
    e = korva({"rigenera-indici", "--tutte"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Impossibile procedere: tabella ordini non apribile in modo esclusivo\n"
                     "Rigenerazione indici di tutte le tabelle terminata (1 tabella non rigenerata)\n");
    EXPECT_NE(e.err.find("Rigenerazione indici clienti: 4/4\n"), std::string::npos) << e.err;
    e = korva({"rigenera-indici", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Rigenerazione indici tabella terminata\n");
    EXPECT_EQ(korva({"rigenera-indici"}).codice, 1);

    // Held open here, the table is another process's to korva: nothing of it changes.
    {
        const std::string dir = t / "demo/alfa/dati/archivi/";
        const auto prima = fileDiClienti(dir);
        ASSERT_EQ(prima.size(), 6u);
        paradox::Table aperta;
        aperta.setDatabaseName(dir);
        aperta.setTableName("clienti.DB");
        aperta.open();
        e = korva({"rigenera-indici", "clienti"});
        EXPECT_EQ(e.codice, 1);
        EXPECT_EQ(e.out, "Impossibile procedere: tabella clienti non apribile in modo esclusivo\n"
                         "Rigenerazione indici tabella terminata\n");
        e = korva({"--si", "azzera", "clienti"});
        EXPECT_EQ(e.codice, 1);
        EXPECT_NE(e.err.find("clienti.DB è in uso"), std::string::npos) << e.err;
        EXPECT_EQ(aperta.recordCount(), 4u);
        EXPECT_EQ(fileDiClienti(dir), prima);
    }

    e = korva({"--no", "azzera", "clienti"});
    EXPECT_EQ(e.codice, 0);
    EXPECT_EQ(e.out, "Procedo all' azzeramento tabella? no\n");
    EXPECT_EQ(korva({"conta", "clienti"}).out, "Numero Record = 4\n");
    EXPECT_EQ(korva({"--si", "azzera", "clienti"}).codice, 0);
    EXPECT_EQ(korva({"conta", "clienti"}).out, "Numero Record = 0\n");

    // The demo company is in the Paradox mode: nothing to drop there.
    e = korva({"--si", "elimina", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("il tipo di database della ditta non è INTERBASE"), std::string::npos) << e.err;
}

// The demo company matches its dictionary; a table changed by hand gives status 1 and the
// lines of what differs after the verdict.
TEST_F(CliControlli, VerificaTracciatoElencaLeDifferenze)
{
    auto e = korva({"verifica-tracciato", "--tutte"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Verifica tracciati di tutte le tabelle terminata\n");
    {
        paradox::Table clienti;
        clienti.setDatabaseName(t / "demo/alfa/dati/archivi/");
        clienti.setTableName("clienti.DB");
        clienti.setExclusive(true);
        clienti.open();
        clienti.addIndex("extra", "scadenza", 0);
    }
    e = korva({"verifica-tracciato", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "ATTENZIONE: Il tracciato della Tabella selezionata non corrisponde alle informazioni contenute "
                     "nel Korvad\n  numero degli indici: nel dizionario 3, nella tabella 4\n"
                     "  indice extra (scadenza): in più nella tabella\n");
    e = korva({"verifica-tracciato", "ordini"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Il tracciato della Tabella selezionata corrisponde alle informazioni contenute nel Korvad\n");
    EXPECT_FALSE(std::filesystem::exists(t / "demo/alfa/dati/archivi/XXXCONF.DB"));
    EXPECT_EQ(korva({"verifica-tracciato"}).codice, 1);
}


// A dictionary entry whose folder leads out of the data directory: every command refuses it
// with the same message, and the table of that name out there stays as it is.
TEST_F(CliControlli, UnaVoceFuoriDallaDirectoryDiLavoroVieneRifiutata)
{
    const std::string fuori = t / "demo/alfa/fuori";
    std::filesystem::create_directories(fuori);
    {
        paradox::Table tab;
        tab.setDatabaseName(fuori);
        tab.setTableName("esterna.DB");
        tab.fieldDefs = {{"k", paradox::FieldType::Long, 0, false}};
        tab.indexDefs = {{"", "k", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
        tab.createTable();
        tab.open();
        tab.append();
        tab.field(0).setInteger(7);
        tab.post();
    }
    RigheTabella r;
    r.tabella = {"esterna", "../fuori/", 1, 1, 0, 0, 0, 0};
    r.campi = {{"esterna", 1, "k", "I", 1, 0, 0}};
    scriviRigheDizionario(paradox::Session::standard(), t / "demo/alfa/tracciati1/", r);
    const auto prima = fileDi(fuori);
    const std::string messaggio = "La cartella \"../fuori/\" della tabella esterna è fuori dalla directory di lavoro " +
                                  t / "demo/alfa/dati/: impossibile procedere";
    for (const std::vector<std::string>& comando :
         {std::vector<std::string>{"esiste", "esterna"}, {"conta", "esterna"}, {"--si", "azzera", "esterna"},
          {"rigenera-indici", "esterna"}, {"verifica-tracciato", "esterna"}, {"--si", "rigenera", "esterna"},
          {"--si", "compatta", "esterna"}, {"backup", "esterna"}, {"verifica-integrita", "esterna"},
          {"--si", "ripara", "esterna"}, {"crea", "esterna"}}) {
        const test::Esito e = korva(comando);
        EXPECT_EQ(e.codice, 1) << comando.back() << e.out;
        // The backup tells first that its folder out there would be the table's own.
        const std::string atteso = comando[0] == "backup" ? "ATTENZIONE: errore in impostazione directory" : messaggio;
        EXPECT_NE((e.out + e.err).find(atteso), std::string::npos) << comando[comando.size() - 2] << "\n"
                                                                    << e.out << e.err;
        EXPECT_EQ(fileDi(fuori), prima) << comando[comando.size() - 2];
    }
}

// Two programs verify every table of the same folders at once, again and again: each waits
// for the other's turn in a folder and answers right, and no comparison table stays.
TEST_F(CliControlli, DueVerificheInsiemeNelleStesseCartelle)
{
    constexpr int kVolte = 6;
    std::vector<std::pair<pid_t, int>> figli;
    for (int p = 0; p < 2; ++p) {
        int canale[2];
        ASSERT_EQ(pipe(canale), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(canale[0]);
            for (int i = 0; i < kVolte; ++i) {
                const test::Esito e = korva({"verifica-tracciato", "--tutte"});
                const std::string riga = std::to_string(e.codice) + " " + e.out + "\x1e";
                if (write(canale[1], riga.data(), riga.size()) < 0)
                    _exit(1);
            }
            _exit(0);
        }
        close(canale[1]);
        figli.emplace_back(pid, canale[0]);
    }
    for (const auto& [pid, canale] : figli) {
        std::string letto;
        char buf[4096];
        for (ssize_t n; (n = read(canale, buf, sizeof buf)) > 0;)
            letto.append(buf, static_cast<std::size_t>(n));
        close(canale);
        waitpid(pid, nullptr, 0);
        const std::string atteso = "0 Verifica tracciati di tutte le tabelle terminata\n\x1e";
        std::string tutti;
        for (int i = 0; i < kVolte; ++i)
            tutti += atteso;
        EXPECT_EQ(letto, tutti);
    }
    for (const auto& e : std::filesystem::recursive_directory_iterator(t / "demo/alfa/dati"))
        EXPECT_NE(e.path().stem(), "XXXCONF") << e.path();
}

}  // namespace
}  // namespace korva
