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
