#include "base/errore.h"
#include "base/profilo.h"
#include "shell/tabform.h"
#include "support/cartella_temporanea.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::InterazioneScriptata;
using test::leggiFile;
using test::scriviFile;

const char* const kMessaggioDittaCfg =
    "messaggio: Non trovato il file ditta.cfg: verificare directory associata all'icona programma";

class TabFormTest : public ::testing::Test {
protected:
    CartellaTemporanea t;
    InterazioneScriptata io;
    std::string ini() const { return t / "varnelo.ini"; }
    std::string avvio() const { return t / "avvio"; }

    std::unique_ptr<TTabForm> crea() { return std::make_unique<TTabForm>(io, avvio(), ini()); }
};

TEST_F(TabFormTest, DittaCfgMancante)
{
    auto f = crea();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kMessaggioDittaCfg});
    EXPECT_EQ(f->NomeDitta, "Ditta.cfg mancante o errato");
    EXPECT_EQ(f->DittaDir, avvio());
    for (const std::string* campo : {&f->LavoroDir, &f->TracciatiDir1, &f->TracciatiDir2,
                                     &f->BackupRiparazioniDir, &f->BinDir, &f->Archivio,
                                     &f->ObbedisciStato, &f->TipoDataBase, &f->PercorsoKorva})
        EXPECT_EQ(*campo, "");
    EXPECT_FALSE(f->chiusuraAutomatica());
}

TEST_F(TabFormTest, PrimaRigaUgualeAlTestoDellaDittaMancanteNonLeggeLeImpostazioni)
{
    scriviFile(t / "avvio/ditta.cfg", "Ditta.cfg mancante o errato\r\n");
    ProfiloPrivato(ini()).scrivi("Ditta.cfg mancante o errato", "Directory di lavoro", "/x/");
    auto f = crea();
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(f->LavoroDir, "");
    EXPECT_EQ(f->TipoDataBase, "");
}

TEST_F(TabFormTest, ImpostazioniDellaDittaEPercorsiDerivati)
{
    scriviFile(t / "ditte/ditta.cfg", "Rossi S.p.A.\r\nseconda riga ignorata\r\n");
    ProfiloPrivato p(ini());
    p.scrivi("DITTA", "Directory ditta", t / "ditte");
    p.scrivi("Rossi S.p.A.", "Directory di lavoro", "/dati/rossi/");
    p.scrivi("Rossi S.p.A.", "Directory tracciati record", "/dati/tracciati1/");
    p.scrivi("Rossi S.p.A.", "Directory tracciati record 2", "/dati/tracciati2/");
    p.scrivi("Rossi S.p.A.", "Directory backup riparazioni", "/dati/bak/");
    p.scrivi("Rossi S.p.A.", "Directory bin", "/opt/korva/");
    p.scrivi("Rossi S.p.A.", "Archivio", "/dati/rossi.gdb");
    p.scrivi("Rossi S.p.A.", "ObbedisciStato", "Si");
    p.scrivi("Rossi S.p.A.", "TipoDataBase", "INTERBASE");

    auto f = crea();
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(f->NomeDitta, "Rossi S.p.A.");
    EXPECT_EQ(f->DittaDir, t / "ditte");
    EXPECT_EQ(f->LavoroDir, "/dati/rossi/");
    EXPECT_EQ(f->TracciatiDir2, "/dati/tracciati2/");
    EXPECT_EQ(f->BackupRiparazioniDir, "/dati/bak/");
    EXPECT_EQ(f->BinDir, "/opt/korva/");
    EXPECT_EQ(f->Archivio, "/dati/rossi.gdb");
    EXPECT_EQ(f->TabellaKorva, "KORVA.DB");
    EXPECT_EQ(f->PercorsoKorva, "/dati/tracciati1/KORVA");
    EXPECT_EQ(f->TabellaCampi, "CAMPI.DB");
    EXPECT_EQ(f->PercorsoCampi, "/dati/tracciati1/CAMPI");
    EXPECT_EQ(f->TabellaIndicic, "INDICIC.DB");
    EXPECT_EQ(f->PercorsoIndicic, "/dati/tracciati1/INDICIC");
    EXPECT_EQ(f->PercorsoReport, "/opt/korva/report/struttur.rpt");
    EXPECT_TRUE(f->chiusuraAutomatica());
    EXPECT_TRUE(f->modoInterbase());
}

TEST_F(TabFormTest, DefaultDiChiaviMancantiEBinDirDallaDirectoryDiAvvio)
{
    scriviFile(t / "avvio/ditta.cfg", "Bianchi\n");
    auto f = crea();
    EXPECT_EQ(f->NomeDitta, "Bianchi");
    EXPECT_EQ(f->LavoroDir, "C:\\WINDOWS");
    EXPECT_EQ(f->TracciatiDir1, "C:\\WINDOWS");
    EXPECT_EQ(f->BackupRiparazioniDir, "C:\\WINDOWS");
    EXPECT_EQ(f->BinDir, avvio() + "/");
    EXPECT_EQ(f->Archivio, "");
    EXPECT_EQ(f->ObbedisciStato, "No");
    EXPECT_EQ(f->TipoDataBase, "PARADOX");
    EXPECT_FALSE(f->modoInterbase());
}

TEST_F(TabFormTest, PrimaRigaVuotaEOpzioniInMinuscolo)
{
    scriviFile(t / "avvio/ditta.cfg", "\r\nAltro\r\n");
    ProfiloPrivato(ini()).scrivi("Altro", "TipoDataBase", "INTERBASE");
    auto f = crea();
    EXPECT_TRUE(io.eventi().empty());
    EXPECT_EQ(f->NomeDitta, "");
    EXPECT_EQ(f->LavoroDir, "C:\\WINDOWS");
    EXPECT_EQ(f->TipoDataBase, "PARADOX");

    scriviFile(t / "avvio/ditta.cfg", "  Verdi  ");
    ProfiloPrivato(ini()).scrivi("  Verdi  ", "ObbedisciStato", "si");
    ProfiloPrivato(ini()).scrivi("  Verdi  ", "TipoDataBase", "Interbase");
    auto g = crea();
    EXPECT_EQ(g->NomeDitta, "  Verdi  ");  // not trimmed
    EXPECT_FALSE(g->chiusuraAutomatica());
    EXPECT_FALSE(g->modoInterbase());
}

TEST_F(TabFormTest, DirectoryDittaConSeparatoreFinaleEAccenti)
{
    scriviFile(t / "ditte/ditta.cfg", "Societ\xE0 Bell\xE8\r\n");  // CP1252
    ProfiloPrivato(ini()).scrivi("DITTA", "Directory ditta", t.dir() + "ditte/");
    auto f = crea();
    EXPECT_EQ(f->NomeDitta, "Società Bellè");
    EXPECT_TRUE(io.eventi().empty());
}

TEST_F(TabFormTest, ScriviLavoroDirScriveTutteLeCinqueChiavi)
{
    scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
    auto f = crea();
    f->LavoroDir = "/dati/";
    f->TracciatiDir1 = "/tracciati/";
    f->ScriviLavoroDir();
    EXPECT_EQ(leggiFile(ini()),
              "[Rossi]\r\n"
              "Directory di lavoro=/dati/\r\n"
              "Directory tracciati record=/tracciati/\r\n"
              "Directory tracciati record 2=C:\\WINDOWS\r\n"
              "Directory backup riparazioni=C:\\WINDOWS\r\n"
              "Archivio=\r\n");
    EXPECT_EQ(f->PercorsoKorva, "/tracciati/KORVA");

    f->ObbedisciStato = "Si";
    f->TipoDataBase = "INTERBASE";
    f->ScriviOpzioni();
    auto g = crea();
    EXPECT_EQ(g->TracciatiDir1, "/tracciati/");
    EXPECT_EQ(g->TracciatiDir2, "C:\\WINDOWS");
    EXPECT_TRUE(g->chiusuraAutomatica());
    EXPECT_TRUE(g->modoInterbase());
}

// Windows cannot open a directory as a text file; here it opens and its reading fails. It is
// a ditta.cfg that cannot be read, taken as a missing one: the program still has a holder.
TEST_F(TabFormTest, DittaCfgCheEUnaCartellaValeComeMancante)
{
    std::filesystem::create_directories(t / "avvio/ditta.cfg");
    auto f = crea();
    EXPECT_EQ(io.eventi(), std::vector<std::string>{kMessaggioDittaCfg});
    EXPECT_EQ(f->NomeDitta, "Ditta.cfg mancante o errato");
    EXPECT_EQ(f->LavoroDir, "");
}

TEST_F(TabFormTest, ScritturaRifiutataNominaIlFileDelleImpostazioni)
{
    scriviFile(t / "avvio/ditta.cfg", "Rossi\r\n");
    TTabForm f(io, avvio(), t / "manca/varnelo.ini");
    f.LavoroDir = "/dati/";
    try {
        f.ScriviLavoroDir();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(t / "manca/varnelo.ini"), std::string::npos);
    }
}

// Sets an environment variable for the life of the object, then puts back what was there.
class VariabileAmbiente {
public:
    VariabileAmbiente(const char* nome, const char* valore) : nome_(nome)
    {
        if (const char* prima = std::getenv(nome))
            prima_ = prima;
        valore ? ::setenv(nome, valore, 1) : ::unsetenv(nome);
    }
    ~VariabileAmbiente() { prima_ ? ::setenv(nome_, prima_->c_str(), 1) : ::unsetenv(nome_); }

private:
    const char* nome_;
    std::optional<std::string> prima_;
};

TEST_F(TabFormTest, FileDelleImpostazioniPredefinitoESuaCartella)
{
    {
        VariabileAmbiente ini("VARNELO_INI", (t / "condiviso/varnelo.ini").c_str());
        EXPECT_EQ(percorsoImpostazioniPredefinito(), t / "condiviso/varnelo.ini");
    }
    VariabileAmbiente senzaIni("VARNELO_INI", nullptr);
    {
        // On a fresh account the folder does not exist yet: the first write must not fail.
        VariabileAmbiente xdg("XDG_CONFIG_HOME", (t / "config").c_str());
        EXPECT_EQ(percorsoImpostazioniPredefinito(), t / "config/varnelo.ini");
        EXPECT_TRUE(std::filesystem::is_directory(t / "config"));
        ProfiloPrivato(percorsoImpostazioniPredefinito()).scrivi("DITTA", "Archivio", "a.gdb");
        EXPECT_EQ(leggiFile(t / "config/varnelo.ini"), "[DITTA]\r\nArchivio=a.gdb\r\n");
    }
    VariabileAmbiente senzaXdg("XDG_CONFIG_HOME", nullptr);
    VariabileAmbiente home("HOME", (t / "casa").c_str());
    EXPECT_EQ(percorsoImpostazioniPredefinito(), t / "casa/.config/varnelo.ini");
    EXPECT_TRUE(std::filesystem::is_directory(t / "casa/.config"));
}

}  // namespace
}  // namespace korva
