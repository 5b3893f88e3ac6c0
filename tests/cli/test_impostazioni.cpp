#include "base/profilo.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;
using test::scriviFile;

TEST(CliImpostazioni, StampaICampiDellaDitta)
{
    CartellaTemporanea t;
    scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
    ProfiloPrivato p(t / "v.ini");
    p.scrivi("Rossi", "Directory di lavoro", t.dir() + "dati/");
    p.scrivi("Rossi", "Directory tracciati record", t.dir() + "tr1/");
    p.scrivi("Rossi", "Archivio", t.dir() + "rossi.gdb");
    p.scrivi("Rossi", "TipoDataBase", "INTERBASE");

    auto e = eseguiKorva({"--ini", t / "v.ini", "--dir", t / "avvio", "impostazioni"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out,
              "NomeDitta: Rossi\n"
              "TabellaCampi: CAMPI.DB\n"
              "PercorsoCampi: " + t.dir() + "tr1/CAMPI\n"
              "TabellaIndicic: INDICIC.DB\n"
              "PercorsoIndicic: " + t.dir() + "tr1/INDICIC\n"
              "TabellaKorva: KORVA.DB\n"
              "PercorsoKorva: " + t.dir() + "tr1/KORVA\n"
              "PercorsoReport: " + t.dir() + "avvio/report/struttur.rpt\n"
              "ObbedisciStato: No\n"
              "BinDir: " + t.dir() + "avvio/\n"
              "LavoroDir: " + t.dir() + "dati/\n"
              "TracciatiDir1: " + t.dir() + "tr1/\n"
              "TracciatiDir2: C:\\WINDOWS\n"
              "BackupRiparazioniDir: C:\\WINDOWS\n"
              "DittaDir: " + t.dir() + "avvio\n"
              "AvvioDir: " + t.dir() + "avvio\n"
              "Archivio: " + t.dir() + "rossi.gdb\n"
              "TipoDataBase: INTERBASE\n");
}

TEST(CliImpostazioni, DittaMancanteMostraIlMessaggioEDirectoryCorrentePredefinita)
{
    CartellaTemporanea t;
    auto e = eseguiKorva({"--ini", t / "v.ini", "impostazioni"}, t.percorso());
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out.substr(0, e.out.find('\n') + 1),
              "Non trovato il file ditta.cfg: verificare directory associata all'icona programma\n");
    EXPECT_NE(e.out.find("NomeDitta: Ditta.cfg mancante o errato\n"), std::string::npos);
    EXPECT_NE(e.out.find("AvvioDir: " + t.percorso() + "\n"), std::string::npos);
}

TEST(CliImpostazioni, ComandoSconosciutoEsceConErroreAiutoEVersioneConZero)
{
    auto e = eseguiKorva({"nessuno"});
    EXPECT_NE(e.codice, 0);
    e = eseguiKorva({"px", "crea"});
    EXPECT_NE(e.codice, 0);
    EXPECT_EQ(e.err, "Manca tabella (obbligatorio)\nUsare --help per l'aiuto.\n");

    e = eseguiKorva({"--help"});
    EXPECT_EQ(e.codice, 0) << e.err;
    for (const char* testo : {"Uso: korva [OPZIONI] COMANDO", "Opzioni:", "Comandi:", "crea-demo"})
        EXPECT_NE(e.out.find(testo), std::string::npos) << testo << "\n" << e.out;
    e = eseguiKorva({"px", "crea", "--help"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("Mostra questo aiuto ed esce"), std::string::npos) << e.out;

    e = eseguiKorva({"--version"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "korva " KORVA_VERSIONE "\n");
}

}  // namespace
}  // namespace korva
