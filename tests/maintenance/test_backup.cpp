// Backup of Paradox tables: what is copied, where, and that a copy is always one whole state.

#include "dictionary/gestione_tabelle.h"
#include "dictionary/ditta_prova.h"
#include "engines/paradox/table.h"
#include "maintenance/backup.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace korva {
namespace {

using test::righe;
using test::scriviFile;
namespace fs = std::filesystem;

std::vector<std::string> elenco(const std::string& cartella)
{
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(cartella))
        v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

void aggiungi(const std::string& dir, int da, int quanti)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName("CLI.DB");
    t.open();
    for (int i = da; i < da + quanti; ++i) {
        t.append();
        t.field(0).setString(std::to_string(100000 + i));
        t.field(1).setString("cliente " + std::to_string(i));
        t.post();
    }
}

// The table of the backup and its copy, opened by the engine: sound, and how many records.
std::uint32_t recordSani(const std::string& dir)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName("CLI.DB");
    t.open();
    const auto problemi = t.check();
    EXPECT_TRUE(problemi.empty()) << problemi.front();
    return t.recordCount();
}

// CLI and CLIENTI in archivi/; the backup directory several missing levels and more than 255
// characters deep.
struct Ditta : test::DittaProva {
    explicit Ditta(const std::string& modo = "PARADOX") : DittaProva(modo)
    {
        dizionario({righe("CLI", "archivi/", {"codice:A6*", "nome:A20+"}), righe("CLIENTI", "archivi/", {"codice:A6*"})});
        tabForm->BackupRiparazioniDir =
            cartella.dir() + "bak/" + std::string(120, 'l') + "/" + std::string(120, 'm') + "/";
        g = std::make_unique<GestioneTabelle>(io, *tabForm, tabForm->TracciatiDir1);
        for (const char* nome : {"CLIENTI", "CLI"}) {
            g->vaiA(nome);
            g->CreaTabCorrente();
        }
        aggiungi(sorgente, 0, 40);
        io.azzera();
    }
    const std::string sorgente = cartella / "dati/archivi";
    std::string copia() const { return tabForm->BackupRiparazioniDir + "archivi"; }
    std::unique_ptr<GestioneTabelle> g;
};

TEST(Backup, ITuttiIFileCheContengonoIlNomeInCartelleCreateATuttiILivelli)
{
    Ditta d;
    scriviFile(d.sorgente + "/CLI.TXT", "");
    scriviFile(d.sorgente + "/ALTRO.DB", "x");
    scriviFile(d.sorgente + "/CLI.LCK", "KORVAWIN pid=1 host=altro modo=condiviso tabella=CLI.DB\r\n");
    std::vector<std::string> attesi;
    for (const auto& f : elenco(d.sorgente))
        if (f.find("CLI") == 0 && f != "CLI.LCK")
            attesi.push_back(f);
    ASSERT_GE(attesi.size(), 6u);  // CLI: DB PX X Y; CLIENTI: DB PX; CLI.TXT
    for (int volta = 0; volta < 2; ++volta) {
        EXPECT_TRUE(BackupTabCorrente(*d.g));
        EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: Backup tabella completato!", "fine"}));
        d.io.azzera();
        EXPECT_EQ(elenco(d.copia()), attesi);
    }
    for (const auto& f : attesi)
        EXPECT_EQ(test::leggiFile(d.copia() + "/" + f), test::leggiFile(d.sorgente + "/" + f)) << f;
    EXPECT_EQ(fs::file_size(d.copia() + "/CLI.TXT"), 0u);
    EXPECT_EQ(recordSani(d.copia()), 40u);

    // In the archive mode "all tables" still copies the Paradox files.
    d.tabForm->TipoDataBase = "INTERBASE";
    fs::remove_all(d.cartella / "bak");
    EXPECT_TRUE(BackupTutteLeTabelle(*d.g));
    EXPECT_EQ(d.io.eventi().at(1), "messaggio: Backup di tutte le tabelle completato!");
    EXPECT_EQ(elenco(d.copia()), attesi);
    EXPECT_EQ(d.g->EditTabellaCorrente(), "CLI");
}

// A table that cannot be copied (held by another user) is reported and the run goes on with
// the next; the final message counts it, and the run's result is false.
TEST(Backup, TutteLeTabelleProseguonoOltreUnaTabellaNonCopiata)
{
    Ditta d;
    paradox::Table presa;
    presa.setDatabaseName(d.sorgente);
    presa.setTableName("CLI.DB");
    presa.setExclusive(true);
    presa.open();
    EXPECT_FALSE(BackupTutteLeTabelle(*d.g));
    const auto& e = d.io.eventi();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[1].rfind("messaggio: Errore durante il backup di " + d.sorgente + "/CLI.DB", 0), 0u) << e[1];
    EXPECT_EQ(e[2], "messaggio: Backup di tutte le tabelle completato! (1 tabella non copiata)");
    EXPECT_TRUE(fs::exists(d.copia() + "/CLIENTI.DB"));
    EXPECT_FALSE(fs::exists(d.copia() + "/CLI.DB"));
}

TEST(Backup, DirectoryNonImpostataOUgualeAiDati)
{
    struct Caso {
        const char* modo;
        bool uguale;
        bool tutte;
        const char* messaggio;
    };
    for (const Caso& c : {Caso{"PARADOX", false, false, kErroreDirBackup}, Caso{"PARADOX", false, true, kErroreDirBackup},
                          Caso{"INTERBASE", false, false, kErroreDirBackupArchivio},
                          Caso{"PARADOX", true, false, kErroreDirBackup}}) {
        Ditta d(c.modo);
        d.tabForm->BackupRiparazioniDir = c.uguale ? d.tabForm->LavoroDir : "C:\\WINDOWS";
        EXPECT_FALSE(c.tutte ? BackupTutteLeTabelle(*d.g) : BackupTabCorrente(*d.g));
        EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", std::string("messaggio: ") + c.messaggio, "fine"}));
        EXPECT_FALSE(fs::exists(d.cartella / "bak"));
        EXPECT_EQ(elenco(d.cartella / "dati").size(), 1u);  // archivi/ only
    }
}

TEST(Backup, SottoCaricoOgniCopiaEUnoStatoIntero)
{
    Ditta d;
    const pid_t figlio = fork();
    if (figlio == 0) {
        for (int i = 1000;; i += 5)
            aggiungi(d.sorgente, i, 5);
    }
    std::uint32_t prima = 0, primaCopia = 0;
    for (int volta = 0; volta < 12; ++volta) {
        ASSERT_TRUE(BackupTabCorrente(*d.g)) << d.io.eventi().at(1);
        const std::uint32_t n = recordSani(d.copia());
        EXPECT_GE(n, prima);
        prima = n;
        if (volta == 0)
            primaCopia = n;
        usleep(20000);
    }
    kill(figlio, SIGKILL);
    waitpid(figlio, nullptr, 0);
    EXPECT_GT(prima, primaCopia);
}

TEST(Backup, UnGuastoAOgniPassoLasciaIlBackupPrecedenteIntero)
{
    Ditta d;
    ASSERT_TRUE(BackupTabCorrente(*d.g));
    const std::string salvata = d.cartella / "salvata";
    fs::copy(d.copia(), salvata);
    aggiungi(d.sorgente, 500, 30);
    test::EnvGuasti conta;
    ASSERT_TRUE(BackupTabCorrente(*d.g, conta));
    const std::int64_t passi = conta.operazioni();
    ASSERT_GT(passi, 8);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        fs::remove_all(d.copia());
        fs::copy(salvata, d.copia());
        d.io.azzera();
        test::EnvGuasti env;
        env.guastaAl(n, test::EnvGuasti::Guasto::DiscoPieno);
        const bool fatto = BackupTabCorrente(*d.g, env);
        const std::string detto = d.io.eventi().at(1);
        if (!fatto) {
            EXPECT_EQ(detto.rfind("messaggio: Errore durante il backup di " + d.sorgente + "/", 0), 0u) << detto;
        }
        const std::uint32_t n2 = recordSani(d.copia());
        EXPECT_TRUE(n2 == 40u || n2 == 70u) << n2;
        if (fatto) {
            EXPECT_EQ(n2, 70u);
        }
    }
}

}  // namespace
}  // namespace korva
