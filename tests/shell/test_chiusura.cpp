#include "base/errore.h"
#include "base/profilo.h"
#include "shell/chiusura.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
using test::leggiFile;
using test::scriviFile;

// A company whose program directory has the "stato" folder, and a controller whose actions
// are counted.
class ChiusuraTest : public ::testing::Test {
protected:
    CartellaTemporanea t;
    InterazioneScriptata io;
    int chiusure = 0;
    int interruzioni = 0;
    std::vector<bool> timer;
    ControlloChiusura controllo{{
        [this](bool attivo) { timer.push_back(attivo); },
        [this] { ++chiusure; },
        [this] { ++interruzioni; },
    }};

    std::string stato() const { return t / "bin/stato/STATO.TXT"; }

    std::unique_ptr<TTabForm> ditta(const char* obbedisci, bool cartellaStato = true)
    {
        scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
        ProfiloPrivato p(t / "varnelo.ini");
        p.scrivi("Rossi", "Directory bin", t / "bin/");
        p.scrivi("Rossi", "ObbedisciStato", obbedisci);
        if (cartellaStato)
            std::filesystem::create_directories(t / "bin/stato");
        return std::make_unique<TTabForm>(io, t / "avvio", t / "varnelo.ini");
    }

    void tick(const TTabForm& f)
    {
        ControlloChiusura::Comando c(controllo);
        controllo.Timer1Timer(f);
    }
};

TEST_F(ChiusuraTest, AvvioConOpzioneAttivaSovrascriveLaRichiestaPrimaDelPrimoTick)
{
    auto f = ditta("Si");
    scriviFile(stato(), "CHIUDITI");
    controllo.avvio(*f, io);
    EXPECT_EQ(leggiFile(stato()), "APRITI");
    EXPECT_EQ(timer, std::vector<bool>{true});
    tick(*f);
    EXPECT_EQ(chiusure, 0);
    EXPECT_TRUE(io.eventi().empty());
}

TEST_F(ChiusuraTest, AvvioConOpzioneSpentaOInMinuscoloNonTocca)
{
    for (const char* valore : {"No", "si", "SI", ""}) {
        auto f = ditta(valore);
        scriviFile(stato(), "CHIUDITI");
        controllo.avvio(*f, io);
        EXPECT_EQ(leggiFile(stato()), "CHIUDITI") << valore;
        EXPECT_TRUE(timer.empty()) << valore;
        EXPECT_FALSE(controllo.timerAttivo());
        // A tick of a timer that is not running reads nothing.
        tick(*f);
        EXPECT_EQ(chiusure, 0);
    }
}

TEST_F(ChiusuraTest, SoloChiuditiEsattoChiude)
{
    auto f = ditta("Si");
    controllo.avvio(*f, io);
    for (const char* contenuto : {"chiuditi", "CHIUDITI ", " CHIUDITI", "APRITI", ""}) {
        scriviFile(stato(), contenuto);
        tick(*f);
        EXPECT_EQ(chiusure, 0) << contenuto;
    }
    std::filesystem::remove(stato());
    tick(*f);
    EXPECT_EQ(chiusure, 0);

    scriviFile(stato(), "CHIUDITI\r\n");
    tick(*f);
    EXPECT_EQ(chiusure, 1);
    EXPECT_EQ(leggiFile(stato()), "CHIUDITI\r\n");  // left for the other programs
}

TEST_F(ChiusuraTest, RichiestaDuranteUnComandoAttendeLaFineDiTutti)
{
    auto f = ditta("Si");
    controllo.avvio(*f, io);
    {
        ControlloChiusura::Comando comando(controllo);
        {
            ControlloChiusura::Comando finestraModale(controllo);
            scriviFile(stato(), "CHIUDITI");
            tick(*f);  // the timer fires inside the modal window
            EXPECT_TRUE(controllo.chiusuraRichiesta());
            EXPECT_EQ(chiusure, 0);
            EXPECT_GE(interruzioni, 1);
        }
        EXPECT_EQ(chiusure, 0);
        // The command still runs with its settings: the options dialog's switch must not
        // take the request out of the file.
        controllo.dopoOpzioni(*f, io);
        EXPECT_EQ(leggiFile(stato()), "CHIUDITI");
        EXPECT_EQ(chiusure, 0);
    }
    EXPECT_EQ(chiusure, 1);

    // Once closed, nothing more happens.
    controllo.chiusa();
    EXPECT_FALSE(controllo.timerAttivo());
    tick(*f);
    controllo.richiediChiusura();
    EXPECT_EQ(chiusure, 1);
}

TEST_F(ChiusuraTest, EsciSenzaComandiChiudeSubito)
{
    controllo.richiediChiusura();
    EXPECT_EQ(chiusure, 1);
    EXPECT_EQ(interruzioni, 0);
}

TEST_F(ChiusuraTest, F11)
{
    // Option off: no question, nothing written.
    auto spenta = ditta("No");
    controllo.richiestaDiChiusura(*spenta, io);
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_FALSE(std::filesystem::exists(stato()));

    auto f = ditta("Si");
    controllo.avvio(*f, io);
    io.risposte({Risposta::Annulla, Risposta::Ok});
    controllo.richiestaDiChiusura(*f, io);
    EXPECT_EQ(leggiFile(stato()), "APRITI");
    controllo.richiestaDiChiusura(*f, io);
    EXPECT_EQ(leggiFile(stato()), "CHIUDITI");
    EXPECT_EQ(io.eventi(), (std::vector<std::string>{"conferma: Confermare stato di chiusura",
                                                     "conferma: Confermare stato di chiusura"}));
    // This program watches the same file: its next tick closes it.
    EXPECT_EQ(chiusure, 0);
    tick(*f);
    EXPECT_EQ(chiusure, 1);
}

TEST_F(ChiusuraTest, DopoOpzioni)
{
    auto f = ditta("Si");
    controllo.avvio(*f, io);
    scriviFile(stato(), "CHIUDITI");

    // Turned off: the timer stops and the file keeps its last word.
    f->ObbedisciStato = "No";
    controllo.dopoOpzioni(*f, io);
    EXPECT_FALSE(controllo.timerAttivo());
    EXPECT_EQ(leggiFile(stato()), "CHIUDITI");
    tick(*f);
    EXPECT_EQ(chiusure, 0);

    // Turned on again: "APRITI" and the timer runs.
    f->ObbedisciStato = "Si";
    controllo.dopoOpzioni(*f, io);
    EXPECT_TRUE(controllo.timerAttivo());
    EXPECT_EQ(leggiFile(stato()), "APRITI");
    EXPECT_EQ(timer, (std::vector<bool>{true, false, true}));
}

TEST_F(ChiusuraTest, CartellaStatoMancanteMessaggioMaTimerAttivo)
{
    auto f = ditta("Si", false);
    controllo.avvio(*f, io);
    EXPECT_EQ(io.eventi(), std::vector<std::string>{
                               "messaggio: Verificare esistenza directory STATO e posizione directory bin"});
    EXPECT_TRUE(controllo.timerAttivo());
    tick(*f);
    EXPECT_EQ(chiusure, 0);
    EXPECT_FALSE(std::filesystem::exists(t / "bin/stato"));
}

// A state file that cannot be replaced is one that cannot be created: the folder message,
// not the raw failure, and the option on still means watching. A failure of the write
// itself is an error, and the watching starts all the same.
TEST_F(ChiusuraTest, FileDiStatoNonSostituibileMessaggioETimerAttivo)
{
    const std::string verificare = "messaggio: Verificare esistenza directory STATO e posizione directory bin";
    auto f = ditta("Si");
    std::filesystem::create_directories(stato());
    controllo.avvio(*f, io);
    EXPECT_TRUE(controllo.timerAttivo());
    controllo.dopoOpzioni(*f, io);
    EXPECT_TRUE(controllo.timerAttivo());
    EXPECT_EQ(io.eventi(), std::vector<std::string>(2, verificare));
    EXPECT_TRUE(std::filesystem::is_directory(stato()));
    EXPECT_EQ(std::filesystem::directory_iterator(t / "bin/stato")->path(), stato());

    std::filesystem::remove(stato());
    test::EnvGuasti guasti;
    ControlloChiusura altro({[this](bool attivo) { timer.push_back(attivo); }, [] {}, [] {}}, guasti);
    guasti.guastaAl(2, test::EnvGuasti::Guasto::DiscoPieno);
    EXPECT_THROW(altro.avvio(*f, io), Error);
    EXPECT_TRUE(altro.timerAttivo());
    EXPECT_EQ(io.eventi().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(stato()));
}

}  // namespace
}  // namespace korva
