#include "base/errore.h"
#include "base/profilo.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::EnvGuasti;
using test::leggiFile;
using test::scriviFile;

TEST(ProfiloPrivato, FileSezioneOChiaveMancantiDannoIlPredefinito)
{
    CartellaTemporanea t;
    ProfiloPrivato assente(t / "nessuno.ini");
    EXPECT_EQ(assente.leggi("DITTA", "Directory ditta", "C:\\WINDOWS"), "C:\\WINDOWS");

    scriviFile(t / "v.ini", "[DITTA]\r\nDirectory ditta=/dati\r\n");
    ProfiloPrivato p(t / "v.ini");
    EXPECT_EQ(p.leggi("Rossi", "Directory ditta", "def"), "def");
    EXPECT_EQ(p.leggi("DITTA", "Altro", ""), "");
    EXPECT_EQ(p.leggi("DITTA", "Directory ditta", "def"), "/dati");
}

TEST(ProfiloPrivato, NomiSenzaRiguardoAlleMaiuscoleEPrimaCorrispondenza)
{
    CartellaTemporanea t;
    scriviFile(t / "v.ini",
               "[rossi spa]\nArchivio = /a/uno.gdb \nARCHIVIO=/a/due.gdb\n"
               "[ROSSI SPA]\narchivio=/a/tre.gdb\n[Citt\xE0]\nChiave=\"tra virgolette\"\n");
    ProfiloPrivato p(t / "v.ini");
    EXPECT_EQ(p.leggi("Rossi SpA", "archivio", ""), "/a/uno.gdb");
    EXPECT_EQ(p.leggi("CITTÀ", "chiave", ""), "tra virgolette");
}

TEST(ProfiloPrivato, ValoreLungoTagliatoA2047Caratteri)
{
    CartellaTemporanea t;
    const std::string lungo(3000, 'x');
    scriviFile(t / "v.ini", "[S]\nK=" + lungo + "\n");
    ProfiloPrivato p(t / "v.ini");
    EXPECT_EQ(p.leggi("S", "K", ""), std::string(2047, 'x'));
}

TEST(ProfiloPrivato, TestoInCp1252)
{
    CartellaTemporanea t;
    ProfiloPrivato p(t / "v.ini");
    p.scrivi("Società Sàn", "Directory di lavoro", "/dati/città/");
    EXPECT_EQ(leggiFile(t / "v.ini"), "[Societ\xE0 S\xE0n]\r\nDirectory di lavoro=/dati/citt\xE0/\r\n");
    EXPECT_EQ(p.leggi("società sàn", "directory di lavoro", ""), "/dati/città/");
    EXPECT_THROW(p.scrivi("S", "K", "ж"), Error);
}

TEST(ProfiloPrivato, ScritturaConservaOgniAltraRiga)
{
    CartellaTemporanea t;
    const std::string prima =
        "; impostazioni condivise\r\n"
        "[DITTA]\r\n"
        "Directory ditta=C:\\ditte\r\n"
        "\r\n"
        "[Rossi]\r\n"
        "  directory di LAVORO = C:\\vecchia\\ \r\n"
        "ObbedisciStato=Si\r\n"
        "\r\n"
        "[Bianchi]\r\n"
        "TipoDataBase=PARADOX\r\n";
    scriviFile(t / "v.ini", prima);
    ProfiloPrivato p(t / "v.ini");

    p.scrivi("ROSSI", "Directory di lavoro", "/dati/rossi/");
    p.scrivi("Rossi", "Archivio", "/dati/rossi.gdb");
    p.scrivi("Verdi", "TipoDataBase", "INTERBASE");

    EXPECT_EQ(leggiFile(t / "v.ini"),
              "; impostazioni condivise\r\n"
              "[DITTA]\r\n"
              "Directory ditta=C:\\ditte\r\n"
              "\r\n"
              "[Rossi]\r\n"
              "directory di LAVORO=/dati/rossi/\r\n"
              "ObbedisciStato=Si\r\n"
              "Archivio=/dati/rossi.gdb\r\n"
              "\r\n"
              "[Bianchi]\r\n"
              "TipoDataBase=PARADOX\r\n"
              "\r\n"
              "[Verdi]\r\n"
              "TipoDataBase=INTERBASE\r\n");
}

TEST(ProfiloPrivato, FileSenzaFineRigaFinaleEConFineRigaLf)
{
    CartellaTemporanea t;
    scriviFile(t / "v.ini", "[A]\nx=1");
    ProfiloPrivato p(t / "v.ini");
    p.scrivi("A", "y", "2");
    EXPECT_EQ(leggiFile(t / "v.ini"), "[A]\nx=1\ny=2\n");
}

// A value with a line break would add lines (keys, sections) to the shared file; a file that
// exists but cannot be read must not be replaced by one holding only the new key.
TEST(ProfiloPrivato, ScrittureRifiutateSenzaToccareIlFile)
{
    CartellaTemporanea t;
    const std::string prima = "[DITTA]\r\nArchivio=a.gdb\r\n";
    scriviFile(t / "v.ini", prima);
    ProfiloPrivato p(t / "v.ini");
    EXPECT_THROW(p.scrivi("DITTA", "Archivio", "b.gdb\r\n[ALTRA]"), Error);
    EXPECT_THROW(p.scrivi("DITTA", "Archivio", "b.gdb\nX=1"), Error);
    EXPECT_EQ(leggiFile(t / "v.ini"), prima);

    std::filesystem::create_directories(t / "cartella.ini");  // there, but no file to read
    ProfiloPrivato q(t / "cartella.ini");
    try {
        q.scrivi("DITTA", "Archivio", "b.gdb");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("cartella.ini"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(t / "cartella.ini"));
}

TEST(ProfiloPrivato, ScritturaInterrottaLasciaIntattoIlFileVecchio)
{
    CartellaTemporanea t;
    const std::string prima = "[Rossi]\r\nArchivio=/vecchio.gdb\r\n";
    scriviFile(t / "v.ini", prima);

    EnvGuasti env;
    ProfiloPrivato p(t / "v.ini", env);
    // Learn how many steps a write takes, then fail each of them in turn.
    p.scrivi("Rossi", "Archivio", "/prova.gdb");
    const auto passi = env.operazioni();
    ASSERT_GE(passi, 3);
    scriviFile(t / "v.ini", prima);

    for (auto guasto : {EnvGuasti::Guasto::ErroreIO, EnvGuasti::Guasto::ScritturaCorta,
                        EnvGuasti::Guasto::DiscoPieno}) {
        for (std::int64_t n = 1; n <= passi; ++n) {
            env.guastaAl(n, guasto);
            try {
                p.scrivi("Rossi", "Archivio", "/nuovo/percorso/molto/lungo.gdb");
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find(t / "v.ini"), std::string::npos) << e.what();
            }
            env.guastaAl(0, guasto);
            const std::string dopo = leggiFile(t / "v.ini");
            // The last step (making the rename durable) fails after the switch.
            EXPECT_TRUE(dopo == prima || dopo == "[Rossi]\r\nArchivio=/nuovo/percorso/molto/lungo.gdb\r\n")
                << "passo " << n << ": " << dopo;
            if (dopo != prima)
                scriviFile(t / "v.ini", prima);
            // No sibling file is left behind.
            EXPECT_EQ(env.list(t.percorso()).size(), 1u) << "passo " << n;
        }
    }
}

}  // namespace
}  // namespace korva
