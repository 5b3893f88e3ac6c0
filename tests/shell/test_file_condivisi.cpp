// The files shared with the suite's other programs, linked by a site to a common place.

#include "base/profilo.h"
#include "shell/cambio_ditta.h"
#include "shell/stato.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::leggiFile;
using test::scriviFile;
namespace fs = std::filesystem;

// Each write reaches the common file and the link stays: a local copy in its place would
// stop this program and the others from seeing each other's words and company.
TEST(FileCondivisi, StatoDittaCfgEImpostazioniCollegatiRestanoCollegati)
{
    CartellaTemporanea t;
    scriviFile(t / "comune/STATO.TXT", "CHIUDITI");
    scriviFile(t / "comune/ditta.cfg", "Rossi\r\n");
    scriviFile(t / "comune/varnelo.ini", "[Rossi]\r\nTipoDataBase=PARADOX\r\n");
    fs::create_directories(t / "bin/stato");
    fs::create_directories(t / "ditta");
    fs::create_symlink(t / "comune/STATO.TXT", t / "bin/stato/STATO.TXT");
    fs::create_symlink("../comune/ditta.cfg", t / "ditta/ditta.cfg");
    fs::create_symlink(t / "comune/varnelo.ini", t / "varnelo.ini");

    test::InterazioneScriptata io;
    ScriviStato(io, t.dir() + "bin/", "APRITI");
    ScriviDittaCfg(t / "ditta", "Verdi");
    ProfiloPrivato(t / "varnelo.ini").scrivi("Rossi", "TipoDataBase", "INTERBASE");

    EXPECT_TRUE(io.eventi().empty());
    for (const char* collegamento : {"bin/stato/STATO.TXT", "ditta/ditta.cfg", "varnelo.ini"})
        EXPECT_TRUE(fs::is_symlink(t / collegamento)) << collegamento;
    EXPECT_EQ(leggiFile(t / "comune/STATO.TXT"), "APRITI");
    EXPECT_EQ(leggiFile(t / "comune/ditta.cfg"), "Verdi\r\n");
    EXPECT_EQ(leggiFile(t / "comune/varnelo.ini"), "[Rossi]\r\nTipoDataBase=INTERBASE\r\n");
    EXPECT_EQ(LeggiStato(t.dir() + "bin/"), "APRITI");
}

}  // namespace
}  // namespace korva
