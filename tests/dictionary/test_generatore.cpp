// The dictionary generator and the dictionary tables, on real files, read back by the engine
// and by pxlib.

#include "base/errore.h"
#include "dictionary/generatore.h"
#include "dictionary/tabelle_dizionario.h"
#include "ditta_prova.h"
#include "engines/paradox/pxlib_ref.h"
#include "engines/paradox/table.h"

extern "C" {
#include <paradox.h>
}

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
namespace fs = std::filesystem;

struct CampoPxlib {
    std::string nome;
    int tipo;
    int lunghezza;
    bool operator==(const CampoPxlib&) const = default;
};

struct TabellaPxlib {
    std::vector<CampoPxlib> campi;
    int campiChiave = -1;
    int record = -1;
};

// What pxlib reads in the header of a .DB file.
TabellaPxlib leggiIntestazione(const std::string& db)
{
    static const bool avviato = (PX_boot(), true);
    (void)avviato;
    TabellaPxlib t;
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, db.c_str()) < 0) {
        PX_delete(doc);
        ADD_FAILURE() << "pxlib non apre " << db;
        return t;
    }
    pxfield_t* campi = PX_get_fields(doc);
    for (int i = 0; i < doc->px_head->px_numfields; ++i)
        t.campi.push_back({campi[i].px_fname, campi[i].px_ftype, campi[i].px_flen});
    t.campiChiave = doc->px_head->px_primarykeyfields;
    t.record = doc->px_head->px_numrecords;
    PX_close(doc);
    PX_delete(doc);
    return t;
}

std::uint32_t righe(const std::string& cartella, const std::string& nome)
{
    paradox::Table t;
    t.setDatabaseName(cartella);
    t.setTableName(nome);
    t.open();
    return t.recordCount();
}

TEST(Generatore, IFileGeneratiLettiDaPxlibHannoICampiEITipiDelDizionario)
{
    DittaProva d;
    d.io.risposte({Risposta::Si});
    GeneratoreArchivi g(d.io, *d.tabForm);
    EXPECT_TRUE(g.Genera());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{
                                 "domanda: Procedo alla creazione dei tracciati record?",
                                 "messaggio: Creazione terminata!"}));
    // KORVA.DB, made last, stays open in the window's table object.
    EXPECT_TRUE(g.Table1.active());
    EXPECT_EQ(g.Table1.tableName(), "KORVA.DB");
    g.Table1.close();

    const int A = pxfAlpha, S = pxfShort;
    const std::string tr = d.cartella / "tr1";
    auto korva = leggiIntestazione(tr + "/KORVA/KORVA.DB");
    EXPECT_EQ(korva.campi, (std::vector<CampoPxlib>{{"NomeTabella", A, 8},
                                                    {"PathParziale", A, 128},
                                                    {"NumeroCampi", S, 2},
                                                    {"CampiChiavePrimaria", S, 2},
                                                    {"IndiciSecSingoli", S, 2},
                                                    {"IndiciSecComposti", S, 2},
                                                    {"Ordinamento", S, 2},
                                                    {"Formato", S, 2}}));
    EXPECT_EQ(korva.campiChiave, 1);
    EXPECT_EQ(korva.record, 0);
    EXPECT_EQ(test::recordPxlib(tr + "/CAMPI/CAMPI.DB"), 0);
    int voci = -1;
    EXPECT_TRUE(test::pxlibLeggeIndice(tr + "/KORVA/KORVA.DB", tr + "/KORVA/KORVA.PX", voci));
    auto campi = leggiIntestazione(tr + "/CAMPI/CAMPI.DB");
    EXPECT_EQ(campi.campi, (std::vector<CampoPxlib>{{"NomeTabella", A, 8},
                                                    {"NumeroCampo", S, 2},
                                                    {"NomeCampo", A, 25},
                                                    {"TipoELunghezza", A, 12},
                                                    {"Chiave", S, 2},
                                                    {"IndiceSecSingolo", S, 2},
                                                    {"TipoIndiceSecSingolo", S, 2}}));
    EXPECT_EQ(campi.campiChiave, 2);
    auto indicic = leggiIntestazione(tr + "/INDICIC/INDICIC.DB");
    EXPECT_EQ(indicic.campi, (std::vector<CampoPxlib>{{"NomeTabella", A, 8},
                                                      {"NomeIndiceSecComp", A, 25},
                                                      {"NumeroCampo", S, 2},
                                                      {"EstensioneIndiceSecComp", A, 3},
                                                      {"TipoIndiceSecComp", S, 2}}));
    EXPECT_EQ(indicic.campiChiave, 3);

    // The engine reports the primary indexes with their options; nothing is required.
    paradox::Table t;
    t.setDatabaseName(tr + "/CAMPI");
    t.setTableName("CAMPI.DB");
    t.open();
    ASSERT_EQ(t.indexDefs.size(), 1u);
    EXPECT_EQ(t.indexDefs[0], (paradox::IndexDef{"", "NomeTabella;NumeroCampo",
                                                 paradox::IndexOption::Primary | paradox::IndexOption::Unique}));
    for (const auto& f : t.fieldDefs)
        EXPECT_FALSE(f.required) << f.name;
}

TEST(Generatore, SopraUnDizionarioEsistenteLasciaTreTabelleVuote)
{
    DittaProva d;
    d.dizionario({test::clientiEsempio(), test::righe("agenti", "", {"codice:S*", "nome:A30"})});
    const std::string tr = d.cartella / "tr1";
    ASSERT_EQ(righe(tr + "/KORVA", "KORVA.DB"), 2u);
    ASSERT_EQ(righe(tr + "/CAMPI", "CAMPI.DB"), 5u);
    ASSERT_EQ(righe(tr + "/INDICIC", "INDICIC.DB"), 2u);

    // No: nothing happens.
    d.io.risposte({Risposta::No});
    {
        GeneratoreArchivi g(d.io, *d.tabForm);
        EXPECT_FALSE(g.Genera());
        EXPECT_FALSE(g.Table1.active());
    }
    EXPECT_EQ(righe(tr + "/KORVA", "KORVA.DB"), 2u);

    d.io.risposte({Risposta::Si});
    GeneratoreArchivi g(d.io, *d.tabForm);
    EXPECT_TRUE(g.Genera());
    g.Table1.close();
    EXPECT_EQ(righe(tr + "/KORVA", "KORVA.DB"), 0u);
    EXPECT_EQ(righe(tr + "/CAMPI", "CAMPI.DB"), 0u);
    EXPECT_EQ(righe(tr + "/INDICIC", "INDICIC.DB"), 0u);
}

TEST(Generatore, SenzaDirectoryTracciatiFallisceAllaPrimaTabellaConIlMessaggioDelMotore)
{
    DittaProva d;
    fs::remove_all(d.cartella / "tr1");
    d.io.risposte({Risposta::Si});
    GeneratoreArchivi g(d.io, *d.tabForm);
    const std::string cartella = d.cartella.dir() + "tr1/CAMPI";
    EXPECT_EQ(erroreDi([&] { g.Genera(); }),
              "Impossibile creare la tabella " + cartella + "/CAMPI.DB: la directory " + cartella +
                  " non esiste");
    // Only the question: no "Creazione terminata!", and nothing made.
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"domanda: Procedo alla creazione dei tracciati record?"}));
    EXPECT_FALSE(fs::exists(d.cartella / "tr1"));
}

TEST(Generatore, UnGuastoAMetaLasciaLeTabelleGiaCreateENessunMessaggioFinale)
{
    DittaProva d;
    // A file where the KORVA folder should be: the third creation fails.
    test::scriviFile(d.cartella / "tr1/KORVA", "non una cartella");
    d.io.risposte({Risposta::Si});
    GeneratoreArchivi g(d.io, *d.tabForm);
    EXPECT_THROW(g.Genera(), Error);
    EXPECT_EQ(d.io.eventi().size(), 1u);
    const std::string tr = d.cartella / "tr1";
    EXPECT_EQ(righe(tr + "/CAMPI", "CAMPI.DB"), 0u);
    EXPECT_EQ(righe(tr + "/INDICIC", "INDICIC.DB"), 0u);
    EXPECT_EQ(test::leggiFile(tr + "/KORVA"), "non una cartella");
}

TEST(TabelleDizionario, RigheScritteERilette)
{
    DittaProva d;
    auto clienti = test::clientiEsempio();
    clienti.tabella.Ordinamento = 0;
    clienti.tabella.PathParziale = "archivi\\vecchi\\";  // as written on Windows: kept as text
    d.dizionario({clienti});
    paradox::Table k, c, i;
    for (auto [t, quale] : {std::pair{&k, TabellaDizionario::Korva}, std::pair{&c, TabellaDizionario::Campi},
                            std::pair{&i, TabellaDizionario::Indicic}}) {
        auto p = posizioneDizionario(d.tabForm->TracciatiDir1, quale);
        t->setDatabaseName(p.cartella);
        t->setTableName(p.nome);
        t->open();
    }
    auto tabelle = righeTabelle(k);
    ASSERT_EQ(tabelle.size(), 1u);
    EXPECT_EQ(tabelle[0].NomeTabella, "clienti");
    EXPECT_EQ(tabelle[0].PathParziale, "archivi\\vecchi\\");
    EXPECT_EQ(tabelle[0].NumeroCampi, 3);
    EXPECT_EQ(tabelle[0].CampiChiavePrimaria, 1);
    EXPECT_EQ(tabelle[0].IndiciSecSingoli, 1);
    EXPECT_EQ(tabelle[0].IndiciSecComposti, 1);
    auto campi = righeCampi(c);
    ASSERT_EQ(campi.size(), 3u);
    EXPECT_EQ(campi[1].NomeCampo, "ragsoc");
    EXPECT_EQ(campi[1].TipoELunghezza, "A40");
    EXPECT_EQ(campi[1].IndiceSecSingolo, 1);
    EXPECT_EQ(campi[1].TipoIndiceSecSingolo, 1);
    EXPECT_EQ(campi[0].Chiave, 1);
    // Composite rows come in key order (NumeroCampo within the index), whatever the position.
    auto indici = righeIndici(i);
    ASSERT_EQ(indici.size(), 2u);
    EXPECT_EQ(indici[0].NumeroCampo, 1);
    EXPECT_EQ(indici[0].EstensioneIndiceSecComp, "1");
    EXPECT_EQ(indici[1].NumeroCampo, 3);
    EXPECT_EQ(indici[1].EstensioneIndiceSecComp, "0");

    // Look-up by key; a name the field cannot hold is simply not there.
    EXPECT_TRUE(c.findKey({"clienti", "3"}));
    EXPECT_EQ(leggiDefCampo(c).NomeCampo, "scadenza");
    EXPECT_FALSE(nomeTabellaAmmesso(c, "clienti12"));
    EXPECT_FALSE(nomeTabellaAmmesso(c, "città\u4e00"));
    EXPECT_TRUE(nomeTabellaAmmesso(c, "città"));
}

}  // namespace
}  // namespace korva
