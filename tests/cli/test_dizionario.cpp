// korva genera / elenco / campi / rimuovi / crea on the demo company.

#include "base/profilo.h"
#include "dictionary/tabelle_dizionario.h"
#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"
#include "support/korva_nomi_lunghi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

class CliDizionario : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto e = eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
    }
    test::Esito korva(std::vector<std::string> argomenti)
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return eseguiKorva(argomenti);
    }
    CartellaTemporanea t;
};

TEST_F(CliDizionario, ElencoECampiDellaDemo)
{
    auto e = korva({"elenco"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out.substr(0, e.out.find('\n', e.out.find("clienti"))),
              "Nome      PathParziale  NumeroCampi  CampiChiavePrimaria  IndiciSecSingoli  IndiciSecComposti\n"
              "agenti                  3            1                    1                 0\n"
              "articoli  magazzino/    6            1                    1                 0\n"
              "clienti   archivi/      3            1                    1                 1");

    // The name as registration stores it is found from the upper-case one too.
    e = korva({"campi", "CLIENTI"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out,
              "Tabella clienti (PathParziale: \"archivi/\"), campi chiave primaria: 1\n"
              "NumeroCampo  NomeCampo  TipoELunghezza  Chiave  IndiceSecSingolo  TipoIndiceSecSingolo\n"
              "1            codice     A6              1       0                 0\n"
              "2            ragsoc     A40             0       1                 1\n"
              "3            scadenza   D               0       0                 0\n"
              "Indici multipli:\n"
              "NomeIndiceSecComp  NumeroCampo  EstensioneIndiceSecComp  TipoIndiceSecComp\n"
              "perscad            1            1                        0\n"
              "perscad            3            0                        0\n");

    e = korva({"campi", "nessuna"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Tabella nessuna non presente nel dizionario\n");

    // Dictionary 2 of the demo is empty.
    e = korva({"--tracciati", "2", "campi", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Impossibile procedere: nessuna tabella presente\n");
}

TEST_F(CliDizionario, RimuoviChiedeERispondeDaiFlag)
{
    auto e = korva({"rimuovi", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.err, "Domanda senza risposta: \"Procedo alla rimozione tabella?\" (usare --si o --no)\n");
    e = korva({"--no", "rimuovi", "clienti"});
    EXPECT_EQ(e.codice, 0);
    EXPECT_EQ(e.out, "Procedo alla rimozione tabella? no\n");
    EXPECT_NE(korva({"elenco"}).out.find("clienti"), std::string::npos);

    e = korva({"--si", "rimuovi", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Procedo alla rimozione tabella? si\n");
    const std::string elenco = korva({"elenco"}).out;
    EXPECT_EQ(elenco.find("clienti"), std::string::npos);
    EXPECT_NE(elenco.find("ordini"), std::string::npos);
    EXPECT_EQ(korva({"campi", "clienti"}).codice, 1);

    e = korva({"--tracciati", "2", "--si", "rimuovi", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Impossibile procedere: nessuna tabella presente\n");
}

TEST_F(CliDizionario, GeneraSoloSullaDirectoryUnoEDopoLaDomanda)
{
    auto e = korva({"--tracciati", "2", "--si", "genera"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("--tracciati 2 non è ammesso"), std::string::npos) << e.err;
    e = korva({"--no", "genera"});
    EXPECT_EQ(e.codice, 0);
    EXPECT_EQ(e.out, "Procedo alla creazione dei tracciati record? no\n");
    EXPECT_NE(korva({"elenco"}).out.find("clienti"), std::string::npos);

    e = korva({"--si", "genera"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Procedo alla creazione dei tracciati record? si\nCreazione terminata!\n");
    EXPECT_EQ(korva({"elenco"}).out,
              "Nome  PathParziale  NumeroCampi  CampiChiavePrimaria  IndiciSecSingoli  IndiciSecComposti\n");

    // Without a dictionary the table manager does not open.
    std::filesystem::remove_all(t / "demo/alfa/tracciati1/KORVA");
    e = korva({"elenco"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Errore apertura tabelle: verificare impostazione directory di lavoro\n");
    // Generating when the record-layout directory is gone fails with the engine's message.
    std::filesystem::remove_all(t / "demo/alfa/tracciati1");
    e = korva({"--si", "genera"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Procedo alla creazione dei tracciati record? si\n");
    EXPECT_NE(e.err.find("CAMPI.DB: la directory"), std::string::npos) << e.err;
}

TEST_F(CliDizionario, CreaUnaOTutteNelModoDellaDitta)
{
    // The demo has its tables already.
    auto e = korva({"crea", "clienti"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "La Tabella Esiste Già\n");
    EXPECT_EQ(e.err, "ELABORAZIONE IN CORSO....\nELABORAZIONE TERMINATA!\n");

    namespace fs = std::filesystem;
    fs::remove_all(t / "demo/alfa/dati/archivi");
    e = korva({"crea", "CLIENTI"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "La Tabella è stata creata\n");
    EXPECT_EQ(e.err, "ELABORAZIONE IN CORSO....\nELABORAZIONE TERMINATA!\n");
    for (const char* file : {"clienti.DB", "clienti.PX", "clienti.X02", "clienti.Y02", "clienti.XG0", "clienti.YG0"})
        EXPECT_TRUE(fs::exists(t / ("demo/alfa/dati/archivi/" + std::string(file)))) << file;

    // The two other tables of that folder are made silently, the four that exist give one
    // message each, then the final one.
    e = korva({"crea", "--tutte"});
    EXPECT_EQ(e.codice, 0) << e.err;
    std::string attese;
    for (int i = 0; i < 4; ++i)
        attese += "La Tabella Esiste Già\n";
    EXPECT_EQ(e.out, attese + "Creazione di tutte le tabelle terminata\n");
    EXPECT_TRUE(fs::exists(t / "demo/alfa/dati/archivi/fornitor.DB"));
    EXPECT_TRUE(fs::exists(t / "demo/alfa/dati/archivi/ordini.DB"));

    e = korva({"crea"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("Indicare il nome di una tabella del dizionario oppure --tutte"), std::string::npos);
    e = korva({"crea", "nessuna"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Tabella nessuna non presente nel dizionario\n");

    // In the archive mode the demo archive answers: it has the table too.
    ProfiloPrivato(t / "demo/varnelo.ini").scrivi("Demo Alfa S.r.l.", "TipoDataBase", "INTERBASE");
    e = korva({"crea", "ordini"});
    EXPECT_EQ(e.codice, 1) << e.err;
    EXPECT_EQ(e.out, "La Tabella Esiste Già\n");
}

// The demo dictionary of company Alfa with its KORVA.DB written again with a wider name field,
// holding one more table whose name CAMPI.DB and INDICIC.DB cannot hold.
void aggiungiTabellaDalNomeLungo(const std::string& tracciatiDir)
{
    std::vector<DefTabella> righe;
    {
        paradox::Table korva;
        korva.setDatabaseName(tracciatiDir + "KORVA");
        korva.setTableName("KORVA.DB");
        korva.open();
        righe = righeTabelle(korva);
    }
    DefTabella lunga = *std::find_if(righe.begin(), righe.end(), [](const DefTabella& r) { return r.NomeTabella == "movimag"; });
    lunga.NomeTabella = "movimagazzino";
    righe.push_back(lunga);
    test::scriviKorvaConNomiLunghi(tracciatiDir, righe);
}

TEST_F(CliDizionario, UnNomeCheIDettagliNonPossonoTenereERifiutatoDaOgniComando)
{
    aggiungiTabellaDalNomeLungo(t / "demo/alfa/tracciati1/");
    const std::string rifiuto = "Impossibile usare la tabella \"movimagazzino\": il nome è troppo lungo o ha caratteri "
                                "che CAMPI.DB e INDICIC.DB non ammettono, quindi i suoi campi e indici non si possono "
                                "cercare nel dizionario";
    auto e = korva({"elenco"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("\nmovimagazzino  magazzino/"), std::string::npos) << e.out;
    for (const std::vector<std::string>& comando :
         {std::vector<std::string>{"campi", "movimagazzino"}, {"crea", "movimagazzino"},
          {"--si", "rimuovi", "movimagazzino"}}) {
        e = korva(comando);
        EXPECT_EQ(e.codice, 1) << comando[0];
        EXPECT_EQ(e.out, "") << comando[0];
        EXPECT_NE(e.err.find(rifiuto), std::string::npos) << e.err;
    }
    EXPECT_FALSE(std::filesystem::exists(t / "demo/alfa/dati/magazzino/movimagazzino.DB"));
    EXPECT_NE(korva({"elenco"}).out.find("movimagazzino"), std::string::npos);
}

TEST_F(CliDizionario, CreaTutteNellArchivioChiedeUnaVoltaEIlNoEsceConUno)
{
    ProfiloPrivato p(t / "demo/varnelo.ini");
    p.scrivi("Demo Alfa S.r.l.", "TipoDataBase", "INTERBASE");
    p.scrivi("Demo Alfa S.r.l.", "Archivio", t / "demo/nuovo.gdb");
    auto e = korva({"--no", "crea", "--tutte"});
    EXPECT_EQ(e.codice, 1) << e.err;
    EXPECT_EQ(e.out, "Attenzione: Il Database selezionato non esiste. Crearlo? no\n");
    EXPECT_FALSE(std::filesystem::exists(t / "demo/nuovo.gdb"));
}

// Run from a folder of its own: an unset "Directory di lavoro" must not make "C:\WINDOWS..."
// folders there.
TEST_F(CliDizionario, CreaSenzaDirectoryDiLavoroRifiutaENonCreaNulla)
{
    ProfiloPrivato(t / "demo/varnelo.ini").scrivi("Demo Alfa S.r.l.", "Directory di lavoro", "C:\\WINDOWS");
    std::filesystem::create_directories(t / "altrove");
    const std::string rifiuto = "Impossibile procedere: \"Directory di lavoro\" non impostata per la ditta Demo Alfa "
                                "S.r.l. (da impostare dal menu Sistema, Directory archivi)";
    for (const char* quale : {"clienti", "--tutte"}) {
        auto e = test::eseguiKorva({"--ini", t / "demo/varnelo.ini", "--dir", t / "demo", "crea", quale},
                                   t / "altrove");
        EXPECT_EQ(e.codice, 1) << quale;
        EXPECT_EQ(e.out, "");
        EXPECT_NE(e.err.find(rifiuto), std::string::npos) << e.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(t / "altrove"));
}

TEST_F(CliDizionario, CreaRifiutaUnNomeConUnaCartella)
{
    RigheTabella r;
    r.tabella.NomeTabella = "a/b";
    r.tabella.NumeroCampi = 1;
    r.campi.push_back({"a/b", 1, "x", "A5", 0, 0, 0});
    scriviRigheDizionario(paradox::Session::standard(), t / "demo/alfa/tracciati1/", r);
    auto e = korva({"crea", "a/b"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("Nome di tabella non valido: \"a/b\""), std::string::npos) << e.err;
    EXPECT_FALSE(std::filesystem::exists(t / "demo/alfa/dati/b.DB"));
    EXPECT_FALSE(std::filesystem::exists(t / "demo/alfa/dati/a"));
}

}  // namespace
}  // namespace korva
