#include "base/profilo.h"
#include "shell/comandi_sistema.h"
#include "support/cartella_temporanea.h"
#include "support/errore_di.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
using test::leggiFile;
using test::scriviFile;

class ComandiSistemaTest : public ::testing::Test {
protected:
    CartellaTemporanea t;
    InterazioneScriptata io;
    std::string ini() const { return t / "varnelo.ini"; }

    std::unique_ptr<TTabForm> ditta()
    {
        scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
        return std::make_unique<TTabForm>(io, t / "avvio", ini());
    }
};

TEST_F(ComandiSistemaTest, TitoliDelleScelte)
{
    auto f = ditta();
    EXPECT_EQ(titoloSceltaDirectory(DirectoryDitta::Tracciati1, *f),
              "Selezione directory tracciati record 1 - Ditta: Rossi");
    EXPECT_EQ(titoloSceltaDirectory(DirectoryDitta::Tracciati2, *f),
              "Selezione directory tracciati record 2 - Ditta: Rossi");
    EXPECT_EQ(titoloSceltaDirectory(DirectoryDitta::Archivi, *f),
              "Selezione directory archivi - Ditta: Rossi");
    EXPECT_EQ(titoloSceltaDirectory(DirectoryDitta::BakRiparazioni, *f),
              "Selezione directory backup riparazioni - Ditta: Rossi");
}

TEST_F(ComandiSistemaTest, SceltaConfermataRileggeEScriveLeCinqueChiavi)
{
    auto f = ditta();
    // Changed by another program after the holder was created: the command sees it.
    ProfiloPrivato(ini()).scrivi("Rossi", "Directory backup riparazioni", "/vecchia/");
    std::string vistoDalloSceglitore;
    SceltaDirectoryDitta(*f, DirectoryDitta::BakRiparazioni,
                         [&](const std::string& titolo, const std::string& attuale) {
                             EXPECT_EQ(titolo, "Selezione directory backup riparazioni - Ditta: Rossi");
                             vistoDalloSceglitore = attuale;
                             return std::optional<std::string>("/nuova");
                         });
    EXPECT_EQ(vistoDalloSceglitore, "/vecchia/");
    EXPECT_EQ(f->BackupRiparazioniDir, "/nuova/");
    // Defaults that were only read become stored values.
    EXPECT_EQ(leggiFile(ini()),
              "[Rossi]\r\n"
              "Directory backup riparazioni=/nuova/\r\n"
              "Directory di lavoro=C:\\WINDOWS\r\n"
              "Directory tracciati record=C:\\WINDOWS\r\n"
              "Directory tracciati record 2=C:\\WINDOWS\r\n"
              "Archivio=\r\n");
}

TEST_F(ComandiSistemaTest, RadiceConDueSeparatoriEPercorsiDerivati)
{
    auto f = ditta();
    SceltaDirectoryDitta(*f, DirectoryDitta::Tracciati1,
                         [](const std::string&, const std::string&) { return std::optional<std::string>("/"); });
    EXPECT_EQ(f->TracciatiDir1, "//");
    EXPECT_EQ(f->PercorsoKorva, "//KORVA");
    EXPECT_EQ(ProfiloPrivato(ini()).leggi("Rossi", "Directory tracciati record", ""), "//");
}

TEST_F(ComandiSistemaTest, SceltaAnnullataNonScriveNulla)
{
    ProfiloPrivato(ini()).scrivi("Rossi", "Directory di lavoro", "/dati/");
    const std::string prima = leggiFile(ini());
    auto f = ditta();
    for (auto quale : {DirectoryDitta::Tracciati1, DirectoryDitta::Tracciati2, DirectoryDitta::Archivi,
                       DirectoryDitta::BakRiparazioni})
        SceltaDirectoryDitta(*f, quale, [](const std::string&, const std::string&) {
            return std::optional<std::string>();
        });
    EXPECT_EQ(leggiFile(ini()), prima);
    EXPECT_EQ(f->LavoroDir, "/dati/");
}

TEST_F(ComandiSistemaTest, ScelteDiOgniCampo)
{
    auto f = ditta();
    const std::pair<DirectoryDitta, const char*> casi[] = {
        {DirectoryDitta::Tracciati1, "Directory tracciati record"},
        {DirectoryDitta::Tracciati2, "Directory tracciati record 2"},
        {DirectoryDitta::Archivi, "Directory di lavoro"},
        {DirectoryDitta::BakRiparazioni, "Directory backup riparazioni"},
    };
    for (const auto& [quale, chiave] : casi) {
        const std::string scelta = std::string("/scelta/") + chiave;
        SceltaDirectoryDitta(*f, quale, [&](const std::string&, const std::string&) {
            return std::optional<std::string>(scelta);
        });
        EXPECT_EQ(ProfiloPrivato(ini()).leggi("Rossi", chiave, ""), scelta + "/");
    }
}

TEST_F(ComandiSistemaTest, CartellaDelDialogoArchivio)
{
    std::filesystem::create_directories(t / "Archivi/Rossi");
    const std::string programma = "/opt/korvawin/bin";
    EXPECT_EQ(cartellaSceltaArchivio(t / "Archivi/Rossi/rossi.gdb", programma), t / "Archivi/Rossi");
    // Case and separators as written on Windows.
    EXPECT_EQ(cartellaSceltaArchivio(t.percorso() + "\\archivi\\ROSSI\\rossi.gdb", programma),
              t / "Archivi/Rossi");
    // A folder that is gone, a server name, a bare name, nothing at all.
    EXPECT_EQ(cartellaSceltaArchivio(t / "Archivi/Bianchi/b.gdb", programma), programma);
    EXPECT_EQ(cartellaSceltaArchivio("SERVER:C:\\dati\\dati.gdb", programma), programma);
    EXPECT_EQ(cartellaSceltaArchivio("dati.gdb", programma), programma);
    EXPECT_EQ(cartellaSceltaArchivio("", programma), programma);
    EXPECT_EQ(cartellaSceltaArchivio("/dati.gdb", programma), "/");
}

// Only the file name tells whether it has an extension: on this system the folders under
// ~/.config or ~/.local hold a dot.
TEST_F(ComandiSistemaTest, EstensioneGdbSoloSeNelNomeDelFileNonCeUnPunto)
{
    const std::pair<const char*, const char*> casi[] = {
        {"/dati/rossi", "/dati/rossi.gdb"},
        {"/dati/rossi.gdb", "/dati/rossi.gdb"},
        {"/dati/rossi.fdb", "/dati/rossi.fdb"},
        {"/home/u/.local/share/korva/rossi", "/home/u/.local/share/korva/rossi.gdb"},
        {"/dati/ditta.rossi/archivio", "/dati/ditta.rossi/archivio.gdb"},
        {"C:\\dati.vecchi\\rossi", "C:\\dati.vecchi\\rossi.gdb"},
        {"rossi", "rossi.gdb"},
        {".config/rossi.fdb", ".config/rossi.fdb"},
    };
    for (const auto& [scelto, memorizzato] : casi)
        EXPECT_EQ(nomeArchivioScelto(scelto), memorizzato);
}

TEST_F(ComandiSistemaTest, ImpostaArchivioScriveIValoriDelContenitoreSenzaRileggerli)
{
    auto f = ditta();
    f->LavoroDir = "/dati/";
    ProfiloPrivato(ini()).scrivi("Rossi", "Directory di lavoro", "/altra/");
    io.risposte({Risposta::No});
    ImpostaArchivio(*f, t / "rossi");
    EXPECT_EQ(f->Archivio, t / "rossi.gdb");
    ProfiloPrivato p(ini());
    EXPECT_EQ(p.leggi("Rossi", "Archivio", ""), t / "rossi.gdb");
    EXPECT_EQ(p.leggi("Rossi", "Directory di lavoro", ""), "/dati/");
    // The file does not exist: creating it is offered, and declined.
    EXPECT_EQ(io.eventi(), std::vector<std::string>{
                               "domanda: Attenzione: Il Database selezionato non esiste. Crearlo?"});
    EXPECT_FALSE(f->IBDatabase1.connected());
    EXPECT_FALSE(std::filesystem::exists(t / "rossi.gdb"));
}

// With ditta.cfg missing the company is the placeholder: its settings are not written, or
// the shared file would gain a section of that name. Each command says why before the user
// chooses.
TEST_F(ComandiSistemaTest, LaDittaSegnapostoNonScriveNulla)
{
    const std::string prima = "[Rossi]\r\nTipoDataBase=PARADOX\r\n";
    scriviFile(ini(), prima);
    TTabForm f(io, t / "senza-ditta", ini());
    ASSERT_EQ(f.NomeDitta, kDittaMancante);
    io.azzera();
    const std::string rifiuto = "Impostazioni non salvate: la ditta non è nota, perché il file ditta.cfg "
                                "della directory " + (t / "senza-ditta") + " manca o è errato";
    bool scelto = false;
    EXPECT_EQ(test::erroreDi([&] {
                  SceltaDirectoryDitta(f, DirectoryDitta::Archivi, [&](const std::string&, const std::string&) {
                      scelto = true;
                      return std::optional<std::string>("/dati");
                  });
              }),
              rifiuto);
    EXPECT_FALSE(scelto);
    EXPECT_EQ(test::erroreDi([&] { ImpostaOpzioni(f, true, true); }), rifiuto);
    EXPECT_EQ(test::erroreDi([&] { ImpostaArchivio(f, t / "rossi"); }), rifiuto);
    EXPECT_EQ(test::erroreDi([&] { f.ScriviLavoroDir(); }), rifiuto);
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_FALSE(f.IBDatabase1.connected());
    EXPECT_EQ(leggiFile(ini()), prima);
}

TEST_F(ComandiSistemaTest, OpzioniConfermate)
{
    auto f = ditta();
    ImpostaOpzioni(*f, true, true);
    ProfiloPrivato p(ini());
    EXPECT_EQ(p.leggi("Rossi", "ObbedisciStato", ""), "Si");
    EXPECT_EQ(p.leggi("Rossi", "TipoDataBase", ""), "INTERBASE");
    ImpostaOpzioni(*f, false, false);
    EXPECT_EQ(p.leggi("Rossi", "ObbedisciStato", ""), "No");
    EXPECT_EQ(p.leggi("Rossi", "TipoDataBase", ""), "PARADOX");
}

}  // namespace
}  // namespace korva
