#include "shell/stato.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
using test::leggiFile;
using test::scriviFile;

TEST(Stato, ParolaScrittaSenzaFineRiga)
{
    CartellaTemporanea t;
    std::filesystem::create_directories(t / "stato");
    InterazioneScriptata io;
    ScriviStato(io, t.dir(), "CHIUDITI");
    EXPECT_EQ(leggiFile(t / "stato/STATO.TXT"), "CHIUDITI");
    ScriviStato(io, t.dir(), "APRITI");
    EXPECT_EQ(leggiFile(t / "stato/STATO.TXT"), "APRITI");
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(LeggiStato(t.dir()), "APRITI");
}

TEST(Stato, CartellaMancanteMessaggioENessunaCartellaCreata)
{
    CartellaTemporanea t;
    InterazioneScriptata io;
    ScriviStato(io, t.dir(), "APRITI");
    EXPECT_EQ(io.eventi(), std::vector<std::string>{
                               "messaggio: Verificare esistenza directory STATO e posizione directory bin"});
    EXPECT_FALSE(std::filesystem::exists(t / "stato"));
    EXPECT_EQ(LeggiStato(t.dir()), "APRITI");
}

TEST(Stato, LetturaDellaPrimaRiga)
{
    CartellaTemporanea t;
    const std::pair<std::string, std::string> casi[] = {
        {"CHIUDITI", "CHIUDITI"},     {"CHIUDITI\r\n", "CHIUDITI"}, {"CHIUDITI\nAPRITI", "CHIUDITI"},
        {"chiuditi", "chiuditi"},     {"", ""},                      {" CHIUDITI", " CHIUDITI"},
    };
    for (const auto& [contenuto, atteso] : casi) {
        scriviFile(t / "stato/STATO.TXT", contenuto);
        EXPECT_EQ(LeggiStato(t.dir()), atteso) << contenuto;
    }
}

TEST(Stato, FileOCartellaConAltreMaiuscoleEFileIllegibile)
{
    CartellaTemporanea t;
    scriviFile(t / "STATO/stato.txt", "CHIUDITI");
    EXPECT_EQ(LeggiStato(t.dir()), "CHIUDITI");
    InterazioneScriptata io;
    ScriviStato(io, t.dir(), "APRITI");
    EXPECT_EQ(leggiFile(t / "STATO/stato.txt"), "APRITI");

    CartellaTemporanea u;
    std::filesystem::create_directories(u / "stato/STATO.TXT");  // a directory: unreadable
    EXPECT_EQ(LeggiStato(u.dir()), "APRITI");
}

// Two names that differ only in case, neither matching exactly: the file cannot be told, so
// it reads as "APRITI" and a write gets the folder message, never an error.
TEST(Stato, NomiAmbiguiLettiComeApritiEScritturaConMessaggio)
{
    CartellaTemporanea t;
    scriviFile(t / "stato/Stato.txt", "CHIUDITI");
    scriviFile(t / "stato/stato.TXT", "CHIUDITI");
    EXPECT_EQ(LeggiStato(t.dir()), "APRITI");
    InterazioneScriptata io;
    ScriviStato(io, t.dir(), "APRITI");
    EXPECT_EQ(io.eventi(), std::vector<std::string>{
                               "messaggio: Verificare esistenza directory STATO e posizione directory bin"});
    EXPECT_EQ(leggiFile(t / "stato/Stato.txt"), "CHIUDITI");
    EXPECT_EQ(leggiFile(t / "stato/stato.TXT"), "CHIUDITI");
}

}  // namespace
}  // namespace korva
