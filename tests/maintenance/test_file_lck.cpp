// "Ricerca file .lck" over the folders of a real dictionary, with programs holding tables.

#include "dictionary/gestione_tabelle.h"
#include "dictionary/ditta_prova.h"
#include "engines/paradox/table.h"
#include "maintenance/file_lck.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace korva {
namespace {

using test::righe;
using test::scriviFile;
namespace fs = std::filesystem;

std::string host()
{
    char nome[256] = {};
    gethostname(nome, sizeof nome - 1);
    return nome;
}

std::string utente()
{
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : std::to_string(getuid());
}

// A line of a process that no longer runs.
std::string lineaMorta(const std::string& tabella)
{
    return "KORVAWIN pid=999999999 host=" + host() + " user=x modo=condiviso tabella=" + tabella + "\r\n";
}

struct Ditta : test::DittaProva {
    Ditta()
    {
        dizionario({righe("alfa", "", {"k:A4*"}), righe("beta", "sub/", {"k:A4*"}),
                    righe("gamma", "sub/", {"k:A4*"}), righe("manca", "nessuna/", {"k:A4*"})});
        g = std::make_unique<GestioneTabelle>(io, *tabForm, tabForm->TracciatiDir1);
    }
    std::string dati(const std::string& nome) const { return cartella / ("dati/" + nome); }
    std::vector<std::string> trovate()
    {
        std::vector<std::string> v;
        for (const VoceLck& voce : RicercaFileLck(*g))
            v.push_back(voce.percorso.substr(cartella.percorso().size() + 6) + " " + voce.descrizioneStato());
        return v;
    }
    std::unique_ptr<GestioneTabelle> g;
};

TEST(FileLck, OgniCartellaUnaVoltaConLoStatoDiOgniFile)
{
    Ditta d;
    EXPECT_TRUE(d.trovate().empty());
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"messaggio: Nessun File .lck trovato!"});

    scriviFile(d.dati("A.LCK"), lineaMorta("alfa.DB"));
    scriviFile(d.dati("sub/b.lck"), lineaMorta("b.DB"));
    scriviFile(d.dati("sub/PDOXUSRS.LCK"), std::string("\0\1\2", 3));
    scriviFile(d.dati("sub/.nascosto.lck"), "");
    fs::create_directories(d.dati("sub/cartella.lck"));
    ASSERT_TRUE(d.g->vaiA("beta"));
    d.io.azzera();
    // alfa's folder is the data directory itself; beta and gamma share one; manca's is missing.
    EXPECT_EQ(d.trovate(), (std::vector<std::string>{"A.LCK non in uso",
                                                     "sub/PDOXUSRS.LCK di un altro programma: non verificabile",
                                                     "sub/b.lck non in uso"}));
    EXPECT_TRUE(d.io.eventi().empty());
    EXPECT_EQ(d.g->EditTabellaCorrente(), "beta");
}

TEST(FileLck, QuelloDiUnProcessoVivoRestaQuelloDiUnProcessoUccisoVa)
{
    Ditta d;
    ASSERT_TRUE(d.g->vaiA("alfa"));
    ASSERT_TRUE(d.g->CreaTabCorrente());
    int segnale[2];
    ASSERT_EQ(pipe(segnale), 0);
    const pid_t figlio = fork();
    if (figlio == 0) {
        paradox::Table t;
        t.setDatabaseName(d.dati(""));
        t.setTableName("alfa.DB");
        t.open();
        if (write(segnale[1], "k", 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(segnale[0], &c, 1), 1);
    const std::string lck = d.dati("alfa.LCK");
    const std::string inUso = "in uso da KORVAWIN pid " + std::to_string(figlio) + " sul computer " + host() +
                              ", utente " + utente() + ", condiviso";
    EXPECT_EQ(d.trovate(), std::vector<std::string>{"alfa.LCK " + inUso});

    ListaLck lista(d.io, RicercaFileLck(*d.g));
    d.io.risposte({Risposta::Si});
    EXPECT_FALSE(lista.EliminaSelezionati({0}));
    EXPECT_EQ(d.io.eventi().back(), "messaggio: Impossibile eliminare il file: " + lck + "\nIl file è " + inUso + ".");
    EXPECT_TRUE(fs::exists(lck));
    ASSERT_EQ(lista.voci().size(), 1u);

    kill(figlio, SIGKILL);
    waitpid(figlio, nullptr, 0);
    ListaLck dopo(d.io, RicercaFileLck(*d.g));
    ASSERT_EQ(dopo.nonInUso(), std::vector<std::size_t>{0});
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(dopo.EliminaSelezionati({0}));
    EXPECT_FALSE(fs::exists(lck));
    EXPECT_TRUE(dopo.voci().empty());
}

// Looking at a lock file takes no lock: a program opening the table at that moment would
// otherwise be turned away as if the search held the table exclusively.
TEST(FileLck, GuardareUnFileNonPrendeBlocchi)
{
    Ditta d;
    ASSERT_TRUE(d.g->vaiA("alfa"));
    ASSERT_TRUE(d.g->CreaTabCorrente());
    const std::string lck = d.dati("alfa.LCK");
    scriviFile(lck, lineaMorta("alfa.DB"));
    // A table on read-only files can be told as well.
    fs::permissions(d.dati("alfa.DB"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    test::EnvGuasti env;
    EXPECT_EQ(paradox::examineLckFile(env, lck).state, paradox::LckState::Stale);
    paradox::Table aperta;
    aperta.setDatabaseName(d.dati(""));
    aperta.setTableName("alfa.DB");
    aperta.open();
    EXPECT_EQ(paradox::examineLckFile(env, lck).state, paradox::LckState::InUse);
    EXPECT_EQ(env.blocchiPresi(), 0);
}

// A holder open in another process: its pid, once the child has opened `tabella` in `dir`.
pid_t tieniAperta(const std::string& dir, const std::string& tabella)
{
    int segnale[2];
    if (pipe(segnale) != 0)
        return -1;
    const pid_t figlio = fork();
    if (figlio == 0) {
        paradox::Table t;
        t.setDatabaseName(dir);
        t.setTableName(tabella);
        t.open();
        if (write(segnale[1], "k", 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char c;
    if (read(segnale[0], &c, 1) != 1)
        return -1;
    return figlio;
}

// Another program's lock file beside a table is left byte for byte whoever opens, closes,
// deletes or renames the table; our holders go beside it, where the search finds them.
TEST(FileLck, QuelloDiUnAltroProgrammaRestaComEIlTitolareSiTrovaAccanto)
{
    Ditta d;
    ASSERT_TRUE(d.g->vaiA("alfa"));
    ASSERT_TRUE(d.g->CreaTabCorrente());
    for (const std::string& altrui : {std::string("\0\1PDOX lock\xff\r\n", 15), std::string("ALTRO pid=12\r\n")}) {
        SCOPED_TRACE(altrui);
        scriviFile(d.dati("alfa.LCK"), altrui);
        const pid_t figlio = tieniAperta(d.dati(""), "alfa.DB");
        ASSERT_GT(figlio, 0);
        EXPECT_EQ(test::leggiFile(d.dati("alfa.LCK")), altrui);
        EXPECT_EQ(d.trovate(), (std::vector<std::string>{
                                   "alfa.KORVAWIN.LCK in uso da KORVAWIN pid " + std::to_string(figlio) +
                                       " sul computer " + host() + ", utente " + utente() + ", condiviso",
                                   "alfa.LCK di un altro programma: non verificabile"}));
        {
            paradox::Table t;
            t.setDatabaseName(d.dati(""));
            t.setTableName("alfa.DB");
            t.open();
        }
        kill(figlio, SIGKILL);
        waitpid(figlio, nullptr, 0);
        EXPECT_EQ(test::leggiFile(d.dati("alfa.LCK")), altrui);
        // The next user drops the line of the process that died, and the file with it.
        paradox::Table t;
        t.setDatabaseName(d.dati(""));
        t.setTableName("alfa.DB");
        t.open();
        t.close();
        EXPECT_FALSE(fs::exists(d.dati("alfa.KORVAWIN.LCK")));
        EXPECT_EQ(test::leggiFile(d.dati("alfa.LCK")), altrui);
    }
    paradox::renameTable(paradox::Session::standard(), d.dati(""), "alfa.DB", "delta.DB");
    EXPECT_TRUE(fs::exists(d.dati("alfa.LCK")));
    paradox::deleteTable(paradox::Session::standard(), d.dati(""), "delta.DB");
    EXPECT_EQ(test::leggiFile(d.dati("alfa.LCK")), "ALTRO pid=12\r\n");
}

// Rows that name one folder in several ways (a dot, a detour, a link, another case) make it
// searched once: each file listed and deleted once. A row whose folder leaves the data
// directory is not searched.
TEST(FileLck, UnaCartellaScrittaInPiuModiSiCercaUnaVolta)
{
    Ditta d;
    fs::create_directories(d.dati("sub"));
    fs::create_symlink(d.dati("sub"), d.dati("legame"));
    fs::create_directories(d.cartella / "fuori");
    scriviFile(d.cartella / "fuori/x.lck", lineaMorta("x.DB"));
    d.g.reset();
    d.dizionario({righe("beta", "sub/", {"k:A4*"}), righe("b2", "./sub/", {"k:A4*"}),
                  righe("b3", "sub/../sub/", {"k:A4*"}), righe("b4", "legame/", {"k:A4*"}),
                  righe("b5", "SUB\\", {"k:A4*"}), righe("fuori", "../fuori/", {"k:A4*"})});
    d.g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    scriviFile(d.dati("sub/b.lck"), lineaMorta("b.DB"));
    scriviFile(d.dati("sub/c.LCK"), lineaMorta("c.DB"));
    d.io.azzera();
    // As the first row in the dictionary's order spells the folder.
    EXPECT_EQ(d.trovate(), (std::vector<std::string>{"./sub/b.lck non in uso", "./sub/c.LCK non in uso"}));
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{
                                 "messaggio: La cartella \"../fuori/\" della tabella fuori è fuori dalla directory "
                                 "di lavoro " + d.tabForm->LavoroDir + ": non vi si cercano file .lck"}));
    ListaLck lista(d.io, RicercaFileLck(*d.g));
    d.io.azzera();
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(lista.EliminaSelezionati(lista.nonInUso()));
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"domanda: Elimino tutti i file.lck selezionati? "}));
    EXPECT_TRUE(lista.voci().empty());
    EXPECT_TRUE(fs::exists(d.cartella / "fuori/x.lck"));
}

TEST(FileLck, NoNonEliminaNullaEUnFileSparitoLasciaLaLista)
{
    Ditta d;
    scriviFile(d.dati("ESTRANEO.LCK"), std::string("\0\1", 2));
    scriviFile(d.dati("sparito.lck"), lineaMorta("sparito.DB"));
    ListaLck lista(d.io, RicercaFileLck(*d.g));
    d.io.risposte({Risposta::No});
    EXPECT_FALSE(lista.EliminaSelezionati({0, 1}));
    EXPECT_EQ(lista.voci().size(), 2u);
    EXPECT_TRUE(fs::exists(d.dati("ESTRANEO.LCK")) && fs::exists(d.dati("sparito.lck")));

    fs::remove(d.dati("sparito.lck"));
    d.io.azzera();
    d.io.risposte({Risposta::Si});
    EXPECT_FALSE(lista.EliminaSelezionati({0, 1}));
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{
                                 "domanda: Elimino tutti i file.lck selezionati? ",
                                 "messaggio: Impossibile eliminare il file: " + d.dati("sparito.lck") +
                                     "\nIl file non esiste più."}));
    EXPECT_FALSE(fs::exists(d.dati("ESTRANEO.LCK")));
    EXPECT_TRUE(lista.voci().empty());
}

}  // namespace
}  // namespace korva
