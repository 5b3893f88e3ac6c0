#include "base/errore.h"
#include "base/percorsi.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::scriviFile;

TEST(Percorsi, BarraRovesciaLettaComeSeparatore)
{
    EXPECT_EQ(percorsoFs("archivi\\clienti.DB"), "archivi/clienti.DB");
    EXPECT_EQ(percorsoFs("/dati/"), "/dati/");
}

TEST(Percorsi, RisoluzioneSenzaRiguardoAlleMaiuscole)
{
    CartellaTemporanea t;
    scriviFile(t / "ARCHIVI/CLIENTI.DB", "x");
    EXPECT_EQ(risolviPercorso(t / "archivi/clienti.db"), t / "ARCHIVI/CLIENTI.DB");
    EXPECT_EQ(risolviPercorso(t.dir() + "archivi\\Clienti.DB"), t / "ARCHIVI/CLIENTI.DB");
    EXPECT_EQ(risolviPercorso(t / "ARCHIVI/CLIENTI.DB"), t / "ARCHIVI/CLIENTI.DB");
    EXPECT_FALSE(risolviPercorso(t / "archivi/fornitori.db"));
    EXPECT_TRUE(esisteFile(t / "archivi/clienti.db"));
    EXPECT_FALSE(esisteFile(t / "archivi"));
    EXPECT_TRUE(esisteDirectory(t / "archivi"));
    EXPECT_EQ(risolviPerCreare(t / "archivi/nuova/x.db"), t / "ARCHIVI/nuova/x.db");
}

TEST(Percorsi, DueNomiCheDifferisconoSoloPerMaiuscoleSonoAmbigui)
{
    CartellaTemporanea t;
    scriviFile(t / "Clienti.DB", "a");
    scriviFile(t / "CLIENTI.DB", "b");
    EXPECT_THROW(risolviPercorso(t / "clienti.db"), Error);
    // The exact name wins without ambiguity.
    EXPECT_EQ(risolviPercorso(t / "Clienti.DB"), t / "Clienti.DB");
}

TEST(Percorsi, SottoDirectoryPerComponentiSenzaRiguardoAlleMaiuscoleEAiCollegamenti)
{
    CartellaTemporanea t;
    for (const char* d : {"Dati/Archivi", "Dati2", "altrove"})
        std::filesystem::create_directories(t / d);
    std::filesystem::create_directory_symlink(t / "altrove", t / "Dati/collegata");
    std::filesystem::create_directory_symlink(t / "Dati/Archivi", t / "Dati/scorciatoia");
    std::filesystem::create_directory_symlink(t / "Dati", t / "dati-link");
    // The data directory as a setting written on Windows names it.
    const std::string dati = t.dir() + "DATI\\";
    const std::pair<std::string, std::optional<std::string>> casi[] = {
        {t / "Dati/", ""},
        {t / "Dati/Archivi/", "Archivi/"},
        {t.dir() + "dati\\archivi", "Archivi/"},
        {t / "Dati/altro/../Archivi/", "Archivi/"},
        {t / "Dati/collegata/", std::nullopt},
        {t / "Dati/scorciatoia/", "scorciatoia/"},
        {t / "dati-link/Archivi/", "Archivi/"},
        {t / "Dati2/", std::nullopt},
        {t / "Dati/../altrove/", std::nullopt},
        {t / "altrove/", std::nullopt},
        {t.percorso(), std::nullopt},
    };
    for (const auto& [dir, atteso] : casi)
        EXPECT_EQ(sottoDirectory(dir, dati), atteso) << dir;
}

TEST(Percorsi, ImpostaDirCorrenteCreaOgniLivello)
{
    CartellaTemporanea t;
    const auto prima = std::filesystem::current_path();
    ImpostaDirCorrente(t.dir() + "a\\b/c/");
    EXPECT_TRUE(std::filesystem::is_directory(t / "a/b/c"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(t / "a/b/c"));
    std::filesystem::current_path(prima);
}

}  // namespace
}  // namespace korva
