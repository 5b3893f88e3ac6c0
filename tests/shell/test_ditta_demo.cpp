#include "base/errore.h"
#include "shell/cambio_ditta.h"
#include "shell/ditta_demo.h"
#include "shell/stato.h"
#include "shell/tabform.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
using test::leggiFile;
namespace fs = std::filesystem;

// The demo opens as the program opens a company: the holder finds both companies with
// folders that exist, in Paradox mode, with an archive path for the embedded engine.
TEST(DittaDemo, SiApreComeUnaDittaVera)
{
    CartellaTemporanea t;
    const std::string ini = CreaDittaDemo(t / "demo");
    EXPECT_EQ(ini, t / "demo/varnelo.ini");
    EXPECT_EQ(leggiFile(t / "demo/ditta.cfg"), "Demo Alfa S.r.l.\r\n");

    InterazioneScriptata io;
    TTabForm alfa(io, t / "altrove", ini);
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(alfa.NomeDitta, DittaDemo::kPrima);
    EXPECT_EQ(alfa.DittaDir, t / "demo");
    EXPECT_EQ(alfa.BinDir, t / "demo/bin/");
    EXPECT_TRUE(alfa.chiusuraAutomatica());
    EXPECT_FALSE(alfa.modoInterbase());
    EXPECT_EQ(alfa.TipoDataBase, "PARADOX");
    EXPECT_EQ(alfa.Archivio, t / "demo/alfa/archivio/ARCHIVIO.GDB");
    for (const std::string* dir : {&alfa.LavoroDir, &alfa.TracciatiDir1, &alfa.TracciatiDir2,
                                   &alfa.BackupRiparazioniDir, &alfa.BinDir})
        EXPECT_TRUE(fs::is_directory(*dir)) << *dir;
    EXPECT_TRUE(fs::is_directory(alfa.BinDir + "report"));
    EXPECT_TRUE(fs::is_directory(fs::path(alfa.Archivio).parent_path()));
    EXPECT_EQ(LeggiStato(alfa.BinDir), kStatoApriti);

    // The second company has its own folders and does not obey the state file.
    test::scriviFile(t / "demo/ditta.cfg", std::string(DittaDemo::kSeconda) + "\r\n");
    TTabForm beta(io, t / "altrove", ini);
    EXPECT_EQ(beta.NomeDitta, DittaDemo::kSeconda);
    EXPECT_FALSE(beta.chiusuraAutomatica());
    EXPECT_EQ(beta.LavoroDir, t / "demo/beta/dati/");
    EXPECT_TRUE(fs::is_directory(beta.LavoroDir));
}

// F12 on the demo goes from one company to the other and back.
TEST(DittaDemo, LElencoDelleDitteLeAlterna)
{
    CartellaTemporanea t;
    const std::string ini = CreaDittaDemo(t / "demo");
    EXPECT_EQ(DittaSuccessiva(t / "demo/bin/", DittaDemo::kSeconda), DittaDemo::kPrima);
    EXPECT_EQ(DittaSuccessiva(t / "demo/bin/", "Demo"), std::nullopt);
    // A name that the field could not even hold is in no row.
    EXPECT_EQ(DittaSuccessiva(t / "demo/bin/", std::string(DittaDemo::kPrima) + std::string(40, ' ')),
              std::nullopt);
    EXPECT_EQ(DittaSuccessiva(t / "demo/bin/", "Демо"), std::nullopt);

    InterazioneScriptata io;
    auto tabForm = std::make_unique<TTabForm>(io, t.percorso(), ini);
    ASSERT_TRUE(CambioDitta(tabForm, io));
    EXPECT_EQ(tabForm->NomeDitta, DittaDemo::kSeconda);
    EXPECT_EQ(leggiFile(t / "demo/ditta.cfg"), std::string(DittaDemo::kSeconda) + "\r\n");
    EXPECT_EQ(tabForm->LavoroDir, t / "demo/beta/dati/");
    ASSERT_TRUE(CambioDitta(tabForm, io));
    EXPECT_EQ(tabForm->NomeDitta, DittaDemo::kPrima);
    EXPECT_TRUE(io.eventi().empty());
}

TEST(DittaDemo, NonSovrascriveUnaDemoEsistente)
{
    CartellaTemporanea t;
    CreaDittaDemo(t / "demo");
    const std::string prima = leggiFile(t / "demo/varnelo.ini");
    EXPECT_THROW(CreaDittaDemo(t / "demo/"), Error);
    EXPECT_EQ(leggiFile(t / "demo/varnelo.ini"), prima);
}

}  // namespace
}  // namespace korva
