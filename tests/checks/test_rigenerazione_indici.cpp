// Index rebuild from the dictionary on real tables: damaged and oddly named index files, the
// files of other tables, refusals before anything changes.

#include "checks/rigenerazione_indici.h"
#include "ditta_prova.h"
#include "engines/paradox/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
using test::righe;
using Eventi = std::vector<std::string>;
namespace fs = std::filesystem;

// The files of a table's name in the folder, by upper-case name, with their bytes; the time
// an index file was written (0x60) does not count.
std::map<std::string, std::string> famiglia(const std::string& dir, const std::string& base)
{
    std::map<std::string, std::string> f;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string nome = e.path().filename().string(), maiuscolo = nome;
        std::transform(maiuscolo.begin(), maiuscolo.end(), maiuscolo.begin(), ::toupper);
        std::string radice = base;
        std::transform(radice.begin(), radice.end(), radice.begin(), ::toupper);
        if (maiuscolo.rfind(radice + ".", 0) != 0 || maiuscolo.ends_with(".LCK"))
            continue;
        std::string byte = test::leggiFile(e.path().string());
        if (!maiuscolo.ends_with(".DB") && !maiuscolo.ends_with(".MB"))
            byte.replace(0x60, 4, 4, '\0');
        f[maiuscolo] = byte;
    }
    return f;
}

void riempi(const std::string& dir, const std::string& tabella, int quanti)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(tabella);
    t.open();
    for (int i = quanti; i > 0; --i) {
        t.append();
        t.field(0).setString(std::string("K").append(std::to_string(i)));
        t.field(1).setString(i % 2 ? "Rossi" : "rossi");
        t.post();
    }
}

// clienti with a memo, art and articoli in one folder, a table without key beside them.
class Rigenerazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.dizionario({righe("art", "archivi/", {"codice:A6*", "descr:A20+"}),
                      righe("articoli", "archivi/", {"codice:A6*", "descr:A20+"}),
                      righe("clienti", "archivi/", {"codice:A6*", "ragsoc:A40+", "scadenza:D+", "note:M10"},
                            {{"perscad", {{1, "1"}, {3, "0"}}}}),
                      righe("nochiave", "archivi/", {"x:A5*", "y:I"}, {}, 0)});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        g->perOgniTabella([&] { ASSERT_TRUE(g->CreaTabCorrente()); });
        for (const char* t : {"art.DB", "articoli.DB", "clienti.DB"})
            riempi(dir, t, 40);
        d.io.azzera();
    }
    DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
    const std::string dir = d.cartella.dir() + "dati/archivi/";
};

TEST_F(Rigenerazione, IndiciGuastiODaiNomiStraniRifattiComeAllaCreazione)
{
    const auto creati = famiglia(dir, "clienti");
    const auto articoli = famiglia(dir, "articoli");
    // The names as another system left them, a primary index that is garbage, a lost index.
    fs::rename(dir + "clienti.X02", dir + "CLIENTI.X02");
    fs::rename(dir + "clienti.Y02", dir + "clienti.y02");
    test::scriviFile(dir + "clienti.PX", std::string(3000, 'z'));
    fs::remove(dir + "clienti.XG0");
    for (const char* t : {"art", "clienti", "nochiave"}) {
        ASSERT_TRUE(g->vaiA(t));
        EXPECT_TRUE(RigeneraIndici(*g)) << t;
    }
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Rigenerazione indici tabella terminata", "fine", "inizio",
                                     "messaggio: Rigenerazione indici tabella terminata", "fine", "inizio",
                                     "messaggio: Rigenerazione indici tabella terminata", "fine"}));
    EXPECT_EQ(famiglia(dir, "clienti"), creati);
    // Rebuilt under the table's own name, the odd names gone.
    for (const char* nome :
         {"clienti.PX", "clienti.X02", "clienti.Y02", "clienti.X03", "clienti.Y03", "clienti.XG0", "clienti.YG0"})
        EXPECT_TRUE(fs::exists(dir + nome)) << nome;
    EXPECT_FALSE(fs::exists(dir + "CLIENTI.X02"));
    EXPECT_FALSE(fs::exists(dir + "clienti.y02"));
    EXPECT_EQ(famiglia(dir, "articoli"), articoli);
    EXPECT_EQ(famiglia(dir, "nochiave").size(), 1u);  // CampiChiavePrimaria 0: no .PX
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName("clienti.DB");
    t.open();
    EXPECT_TRUE(t.check().empty());
    EXPECT_EQ(t.recordCount(), 40u);
    EXPECT_FALSE(d.io.progressi().empty());
    EXPECT_EQ(d.io.progressi().back(), "Rigenerazione indici nochiave 1/1");
}

// The same tables described otherwise in directory 2: a composite position out of range, a
// field the table lacks. Nothing of those tables changes; the all-tables run reports each and
// goes on to the end, its final message counting them.
TEST_F(Rigenerazione, DizionarioCheNonCorrispondeNonToccaNullaELaCorsaProsegue)
{
    EXPECT_TRUE(RigeneraTutto(*g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Rigenerazione indici di tutte le tabelle terminata", "fine"}));
    EXPECT_EQ(g->EditTabellaCorrente(), "nochiave");
    d.io.azzera();
    d.dizionario({righe("aassente", "archivi/", {"k:A5*"}),
                  righe("art", "archivi/", {"codice:A6*", "descr:A20+", "extra:A5+"}),
                  righe("articoli", "archivi/", {"codice:A6*", "descr:A20+"}),
                  righe("clienti", "archivi/", {"codice:A6*", "ragsoc:A40+", "scadenza:D", "note:M10"},
                        {{"perscad", {{1, "25"}, {3, "0"}}}})},
                 d.tabForm->TracciatiDir2);
    GestioneTabelle g2(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    const auto art = famiglia(dir, "art"), clienti = famiglia(dir, "clienti");
    fs::remove(dir + "articoli.X02");  // rebuilt by the run, after the refused ones
    ASSERT_TRUE(g2.vaiA("clienti"));
    const std::string clientiNonValida =
        "Descrizione della tabella clienti non valida: indice perscad: posizione 25 fuori dall'intervallo da 0 a 20";
    EXPECT_EQ(erroreDi([&] { RigeneraIndici(g2); }), clientiNonValida);
    d.io.azzera();
    EXPECT_FALSE(RigeneraTutto(g2));
    EXPECT_EQ(g2.EditTabellaCorrente(), "clienti");
    EXPECT_EQ(d.io.eventi(),
              (Eventi{"inizio", "messaggio: Impossibile procedere: tabella aassente non apribile in modo esclusivo",
                      "messaggio: Tabella art: Impossibile rigenerare gli indici della tabella " + dir +
                          "art.DB: l'indice extra usa il campo extra, che la tabella non ha",
                      "messaggio: Tabella clienti: " + clientiNonValida,
                      "messaggio: Rigenerazione indici di tutte le tabelle terminata (3 tabelle non rigenerate)", "fine"}));
    EXPECT_TRUE(fs::exists(dir + "articoli.X02"));
    EXPECT_EQ(famiglia(dir, "art"), art);
    EXPECT_EQ(famiglia(dir, "clienti"), clienti);
    // The failed table is not kept: another user can have it whole.
    paradox::Table altro;
    altro.setDatabaseName(dir);
    altro.setTableName("art.DB");
    altro.setExclusive(true);
    EXPECT_NO_THROW(altro.open());
}

}  // namespace
}  // namespace korva
