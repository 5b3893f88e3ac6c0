// The work directories as the commands join them: one never chosen is refused, by name.

#include "base/profilo.h"
#include "shell/cambio_ditta.h"
#include "shell/directory_ditta.h"
#include "shell/gestione_tabelle.h"
#include "support/cartella_temporanea.h"
#include "support/errore_di.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::erroreDi;
using test::InterazioneScriptata;

TEST(DirectoryDitta, UnaDirectoryMaiSceltaERifiutataConIlSuoNomeEQuelloDellaDitta)
{
    CartellaTemporanea t;
    test::scriviFile(t / "ditta.cfg", "Rossi\r\n");
    InterazioneScriptata io;
    TTabForm f(io, t.percorso(), t / "varnelo.ini");
    const std::string impostazioni = t / "varnelo.ini";
    struct Caso {
        DirectoryLavoro quale;
        std::string* campo;
        std::string messaggio;
    };
    const Caso casi[] = {
        {DirectoryLavoro::Lavoro, &f.LavoroDir,
         "\"Directory di lavoro\" non impostata per la ditta Rossi (da impostare dal menu Sistema, "
         "Directory archivi)"},
        {DirectoryLavoro::Tracciati1, &f.TracciatiDir1,
         "\"Directory tracciati record\" non impostata per la ditta Rossi (da impostare dal menu Sistema, "
         "Directory tracciati record 1)"},
        {DirectoryLavoro::Tracciati2, &f.TracciatiDir2,
         "\"Directory tracciati record 2\" non impostata per la ditta Rossi (da impostare dal menu "
         "Sistema, Directory tracciati record 2)"},
        {DirectoryLavoro::BackupRiparazioni, &f.BackupRiparazioniDir,
         "\"Directory backup riparazioni\" non impostata per la ditta Rossi (da impostare dal menu "
         "Sistema, Directory bak. riparaz.)"},
        {DirectoryLavoro::Bin, &f.BinDir,
         "\"Directory bin\" non impostata per la ditta Rossi (da impostare nel file delle impostazioni " +
             impostazioni + ")"},
    };
    for (const Caso& c : casi) {
        for (const char* nonImpostata : {"C:\\WINDOWS", ""}) {
            *c.campo = nonImpostata;
            EXPECT_EQ(erroreDi([&] { richiediDirectory(f, c.quale); }), "Impossibile procedere: " + c.messaggio);
        }
        // Only the exact text means "not set".
        for (const char* impostata : {"/dati/", "C:\\WINDOWS\\", "c:\\windows"}) {
            *c.campo = impostata;
            EXPECT_EQ(richiediDirectory(f, c.quale), impostata);
        }
    }
    EXPECT_TRUE(io.eventi().empty());
}

// The table manager's test-open and the company switch join directories too: refused before
// anything is looked for where the program happens to run.
TEST(DirectoryDitta, GestioneTabelleECambioDittaNonUsanoDirectoryNonImpostate)
{
    CartellaTemporanea t;
    test::scriviFile(t / "ditta.cfg", "Rossi\r\n");
    ProfiloPrivato(t / "varnelo.ini").scrivi("Rossi", "Directory tracciati record", t.dir());
    InterazioneScriptata io;
    auto f = std::make_unique<TTabForm>(io, t.percorso(), t / "varnelo.ini");
    EXPECT_EQ(erroreDi([&] { PreparaGestioneTabelle(*f, 2, io); }),
              "Impossibile procedere: \"Directory tracciati record 2\" non impostata per la ditta Rossi (da "
              "impostare dal menu Sistema, Directory tracciati record 2)");
    // Directory 1 is set: the usual test-open answers.
    EXPECT_FALSE(PreparaGestioneTabelle(*f, 1, io));
    EXPECT_EQ(io.eventi(), std::vector<std::string>{
                               "messaggio: Errore apertura tabelle: verificare impostazione directory di lavoro"});

    f->BinDir = "";
    EXPECT_NE(erroreDi([&] { CambioDitta(f, io); }).find("\"Directory bin\" non impostata per la ditta Rossi"),
              std::string::npos);
    EXPECT_EQ(test::leggiFile(t / "ditta.cfg"), "Rossi\r\n");
}

}  // namespace
}  // namespace korva
