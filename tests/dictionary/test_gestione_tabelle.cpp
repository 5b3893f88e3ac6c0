// The table manager's model on real dictionary tables.

#include "base/errore.h"
#include "dictionary/demo.h"
#include "dictionary/gestione_tabelle.h"
#include "ditta_prova.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"
#include "shell/ditta_demo.h"
#include "support/korva_nomi_lunghi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace korva {
namespace {

using test::DittaProva;
using test::righe;
namespace fs = std::filesystem;

std::vector<std::string> nomiCampi(GestioneTabelle& g)
{
    std::vector<std::string> nomi;
    for (const DefCampo& c : g.campiCorrenti())
        nomi.push_back(c.NomeTabella + "." + c.NomeCampo);
    return nomi;
}

std::vector<std::string> nomiIndici(GestioneTabelle& g)
{
    std::vector<std::string> nomi;
    for (const DefIndiceComposto& i : g.indiciCorrenti())
        nomi.push_back(i.NomeTabella + "." + i.NomeIndiceSecComp + "." + std::to_string(i.NumeroCampo));
    return nomi;
}

// Three tables whose names share prefixes, so that a range that is too wide shows.
std::vector<RigheTabella> treTabelle()
{
    return {righe("art", "magazzino/", {"codart:A10*", "descr:A30+"}, {{"ix", {{1, "0"}, {2, "1"}}}}),
            righe("articoli", "magazzino/", {"codice:A15*", "prezzo:N", "foto:G10"}),
            test::clientiEsempio()};
}

TEST(GestioneTabelle, AperturaSullUltimaRigaConIDettagliCheSeguonoLaRigaCorrente)
{
    DittaProva d;
    d.dizionario(treTabelle());
    int cambi = 0;
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    g.setOnCambioRiga([&] { ++cambi; });
    EXPECT_TRUE(g.NomeTabellaCorrente.empty());
    EXPECT_EQ(g.DirScelta, d.tabForm->LavoroDir);
    EXPECT_EQ(g.TracciatiDir(), d.cartella.dir() + "tr1/");
    EXPECT_EQ(g.EditTabellaCorrente(), "clienti");
    EXPECT_EQ(nomiCampi(g), (std::vector<std::string>{"clienti.codice", "clienti.ragsoc", "clienti.scadenza"}));
    EXPECT_EQ(nomiIndici(g), (std::vector<std::string>{"clienti.perscad.1", "clienti.perscad.3"}));

    g.primo();
    EXPECT_EQ(g.EditTabellaCorrente(), "art");
    EXPECT_EQ(nomiCampi(g), (std::vector<std::string>{"art.codart", "art.descr"}));
    EXPECT_EQ(nomiIndici(g), (std::vector<std::string>{"art.ix.1", "art.ix.2"}));
    // The detail cursors themselves follow, as the window's grids read them.
    EXPECT_EQ(g.TabCampi.field("NomeTabella").asString(), "art");
    g.successivo();
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_EQ(nomiCampi(g), (std::vector<std::string>{"articoli.codice", "articoli.prezzo", "articoli.foto"}));
    EXPECT_TRUE(nomiIndici(g).empty());
    g.ultimo();
    g.precedente();
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_TRUE(g.vaiA("art"));
    EXPECT_FALSE(g.vaiA("ar"));
    EXPECT_FALSE(g.vaiA("nessunatabella"));
    EXPECT_EQ(g.EditTabellaCorrente(), "art");
    EXPECT_EQ(cambi, 5);  // one per move; a look-up that finds nothing does not move

    // The current row in full, and every row without moving it.
    auto riga = g.rigaCorrente();
    ASSERT_TRUE(riga);
    EXPECT_EQ(riga->PathParziale, "magazzino/");
    EXPECT_EQ(riga->CampiChiavePrimaria, 1);
    auto tutte = g.elencoTabelle();
    ASSERT_EQ(tutte.size(), 3u);
    EXPECT_EQ(tutte[2].NomeTabella, "clienti");
    EXPECT_EQ(g.EditTabellaCorrente(), "art");
    auto campo = g.CercaCampo("clienti", 2);
    ASSERT_TRUE(campo);
    EXPECT_EQ(campo->NomeCampo, "ragsoc");
    EXPECT_FALSE(g.CercaCampo("clienti", 4));
    EXPECT_TRUE(d.io.eventi().empty());
}

TEST(GestioneTabelle, DizionarioVuotoRispondeNessunaTabellaPresenteAOgniComando)
{
    DittaProva d;
    d.dizionario({});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    EXPECT_TRUE(g.dizionarioVuoto());
    EXPECT_FALSE(g.rigaCorrente());
    EXPECT_EQ(g.EditTabellaCorrente(), "");
    EXPECT_TRUE(g.campiCorrenti().empty());
    EXPECT_TRUE(g.elencoTabelle().empty());
    EXPECT_FALSE(g.Precondizioni());
    EXPECT_FALSE(g.RimuoviTabella());  // asks nothing
    EXPECT_FALSE(g.TabellePresenti());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>(3, "messaggio: Impossibile procedere: nessuna tabella presente")));
    // The walk over all tables has nothing to do and nowhere to return.
    int passi = 0;
    g.perOgniTabella([&] { ++passi; });
    EXPECT_EQ(passi, 0);
}

TEST(GestioneTabelle, RigaSenzaNomeRispondeNessunaTabellaSelezionata)
{
    DittaProva d;
    d.dizionario({righe("", "", {"a:A1"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    EXPECT_FALSE(g.Precondizioni());
    EXPECT_TRUE(g.TabellePresenti());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{
                                 "messaggio: Impossibile procedere: nessuna tabella selezionata"}));
}

TEST(GestioneTabelle, RimozioneDopoLaDomandaTogliesoloLeRigheDellaTabellaCorrente)
{
    DittaProva d;
    d.dizionario(treTabelle());
    // The table's own file is not touched by the removal.
    test::scriviFile(d.cartella / "dati/magazzino/art.DB", "dati");
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("art"));

    d.io.risposte({Risposta::No});
    EXPECT_FALSE(g.RimuoviTabella());
    EXPECT_EQ(g.elencoTabelle().size(), 3u);
    EXPECT_EQ(nomiCampi(g).size(), 2u);

    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(g.RimuoviTabella());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>(2, "domanda: Procedo alla rimozione tabella?")));
    auto rimaste = g.elencoTabelle();
    ASSERT_EQ(rimaste.size(), 2u);
    EXPECT_EQ(rimaste[0].NomeTabella, "articoli");
    // The next row is current, with its own rows.
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_EQ(nomiCampi(g).size(), 3u);

    // Every CAMPI and INDICIC row of the other tables is still there, none of art's.
    paradox::Table campi, indici;
    campi.setDatabaseName(g.TabCampi.databaseName());
    campi.setTableName("CAMPI.DB");
    indici.setDatabaseName(g.TabIndicic.databaseName());
    indici.setTableName("INDICIC.DB");
    campi.open();
    indici.open();
    EXPECT_EQ(campi.recordCount(), 6u);
    EXPECT_EQ(indici.recordCount(), 2u);
    for (indici.first(); !indici.eof(); indici.next())
        EXPECT_EQ(indici.field("NomeTabella").asString(), "clienti");
    EXPECT_EQ(test::leggiFile(d.cartella / "dati/magazzino/art.DB"), "dati");

    // Removing the last row leaves the one before it current.
    g.ultimo();
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(g.RimuoviTabella());
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_EQ(g.elencoTabelle().size(), 1u);
}

// A dictionary written in another code page may hold a name that cannot be looked up in
// CAMPI and INDICIC: the rows in view are then those of the table seen before, and removing
// them would take another table's description away.
TEST(GestioneTabelle, RimozioneRifiutataPerUnNomeCheNonSiPuoCercare)
{
    DittaProva d;
    auto tabelle = treTabelle();
    tabelle[1] = righe("c\xc3\xa0rte", "magazzino/", {"codice:A15*"});
    d.dizionario(tabelle);
    {
        // KORVA.DB now says its text is in code page 866, where the byte of "à" is a letter
        // that the Western code page does not have.
        std::fstream korva(d.tabForm->TracciatiDir1 + "KORVA/KORVA.DB", std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(korva);
        korva.seekp(0x6A);
        const char cp866[2] = {static_cast<char>(866 & 0xFF), static_cast<char>(866 >> 8)};
        korva.write(cp866, 2);
    }
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("art"));
    ASSERT_EQ(nomiCampi(g).size(), 2u);
    g.ultimo();
    ASSERT_EQ(g.EditTabellaCorrente(), "c\xd1\x80rte");
    EXPECT_THROW(g.RimuoviTabella(), Error);
    EXPECT_TRUE(d.io.eventi().empty());
    EXPECT_EQ(g.elencoTabelle().size(), 3u);
    ASSERT_TRUE(g.vaiA("art"));
    EXPECT_EQ(nomiCampi(g).size(), 2u);
    EXPECT_EQ(nomiIndici(g).size(), 2u);
}

// A name too long for CAMPI.DB and INDICIC.DB has no rows there: the rows of the table seen
// before must not stand in for them, and no command may build a table from them.
TEST(GestioneTabelle, UnNomeCheNonPuoEssereChiaveDeiDettagliNonMostraLeRigheDiUnAltraTabella)
{
    DittaProva d;
    auto tabelle = treTabelle();
    d.dizionario(tabelle);
    DefTabella lunga = tabelle[1].tabella;
    lunga.NomeTabella = "articolilunghi";
    test::scriviKorvaConNomiLunghi(d.tabForm->TracciatiDir1,
                                   {tabelle[0].tabella, tabelle[1].tabella, lunga, tabelle[2].tabella});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("articoli"));
    ASSERT_EQ(nomiCampi(g).size(), 3u);
    ASSERT_TRUE(g.vaiA("art"));
    ASSERT_EQ(nomiIndici(g).size(), 2u);

    // Found by its whole name, as the list shows it.
    ASSERT_TRUE(g.vaiA("articolilunghi"));
    EXPECT_EQ(g.EditTabellaCorrente(), "articolilunghi");
    EXPECT_TRUE(nomiCampi(g).empty());
    EXPECT_TRUE(nomiIndici(g).empty());
    // The detail cursors themselves hold nothing, as the window's grids read them.
    g.TabCampi.first();
    EXPECT_TRUE(g.TabCampi.eof());
    g.TabIndicic.first();
    EXPECT_TRUE(g.TabIndicic.eof());
    EXPECT_EQ(g.elencoTabelle().size(), 4u);

    const std::string rifiuto = "Impossibile usare la tabella \"articolilunghi\": il nome è troppo lungo o ha "
                                "caratteri che CAMPI.DB e INDICIC.DB non ammettono, quindi i suoi campi e indici "
                                "non si possono cercare nel dizionario";
    EXPECT_EQ(test::erroreDi([&] { g.CreaTabella(); }), rifiuto);
    EXPECT_EQ(test::erroreDi([&] { g.descrizioneCorrente(); }), rifiuto);
    EXPECT_EQ(test::erroreDi([&] { g.RimuoviTabella(); }), rifiuto);
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"inizio"});
    EXPECT_TRUE(fs::is_empty(d.cartella / "dati"));
    EXPECT_EQ(g.elencoTabelle().size(), 4u);

    // The next row has its own rows again.
    g.successivo();
    EXPECT_EQ(nomiCampi(g).size(), 3u);
    EXPECT_EQ(nomiCampi(g).front(), "clienti.codice");
}

TEST(GestioneTabelle, IlGiroSuTutteLeTabelleTornaAllaRigaDiPartenza)
{
    DittaProva d;
    d.dizionario(treTabelle());
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("articoli"));
    std::vector<std::string> visti;
    g.perOgniTabella([&] { visti.push_back(g.EditTabellaCorrente() + ":" + std::to_string(nomiCampi(g).size())); });
    EXPECT_EQ(visti, (std::vector<std::string>{"art:2", "articoli:3", "clienti:3"}));
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_EQ(nomiCampi(g).size(), 3u);

    // With the view suspended the window hears of the walk once, at its end; the details
    // still follow every row.
    int cambi = 0;
    g.setOnCambioRiga([&] { ++cambi; });
    visti.clear();
    g.perOgniTabella([&] { visti.push_back(std::to_string(nomiCampi(g).size())); }, true);
    EXPECT_EQ(visti, (std::vector<std::string>{"2", "3", "3"}));
    EXPECT_EQ(cambi, 1);

    // A failure ends the walk at the row where it happened.
    EXPECT_THROW(g.perOgniTabella([&] {
        if (g.EditTabellaCorrente() == "articoli")
            throw Error("guasto");
    }),
                 Error);
    EXPECT_EQ(g.EditTabellaCorrente(), "articoli");
    EXPECT_THROW(g.perOgniTabella([&] { throw Error("guasto"); }, true), Error);
    EXPECT_FALSE(g.Table1.controlsDisabled());
}

TEST(GestioneTabelle, PercorsoDellaTabellaPerConcatenazioneEModoLettoAOgniComando)
{
    DittaProva d;
    d.dizionario({righe("clienti", "archivi", {"a:A1"}), righe("fornitor", "archivi/", {"a:A1"}),
                  righe("zeta", "", {"a:A1"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    const std::string dati = d.cartella.dir() + "dati/";
    g.primo();
    // Without its trailing separator the folder runs into the file name.
    EXPECT_EQ(g.ImpostaPercorsoTabellaCorrente(), dati + "archiviclienti.DB");
    EXPECT_EQ(g.DirTabellaCorrente, dati + "archivi");
    EXPECT_EQ(g.FileTabellaCorrente, "clienti.DB");
    g.successivo();
    EXPECT_EQ(g.ImpostaPercorsoTabellaCorrente(), dati + "archivi/fornitor.DB");
    g.ultimo();
    EXPECT_EQ(g.ImpostaPercorsoTabellaCorrente(), dati + "zeta.DB");

    EXPECT_FALSE(g.modoInterbase());
    d.tabForm->TipoDataBase = "Interbase";
    EXPECT_FALSE(g.modoInterbase());
    d.tabForm->TipoDataBase = "INTERBASE";
    EXPECT_TRUE(g.modoInterbase());
}

TEST(GestioneTabelle, AperturaImpossibileDaIlMessaggioDelMotore)
{
    DittaProva d;
    d.dizionario({});
    fs::remove(d.cartella / "tr1/INDICIC/INDICIC.DB");
    try {
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        ADD_FAILURE() << "aperto senza INDICIC.DB";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "La tabella " + d.cartella.dir() + "tr1/INDICIC/INDICIC.DB non esiste");
    }
}

TEST(GestioneTabelle, LaDemoHaUnDizionarioPerDittaCheDescriveLeSueTabelle)
{
    test::CartellaTemporanea t;
    const std::string ini = CreaDemo(t / "demo");
    test::InterazioneScriptata io;
    for (const char* ditta : {DittaDemo::kPrima, DittaDemo::kSeconda}) {
        test::scriviFile(t / "demo/ditta.cfg", std::string(ditta) + "\r\n");
        TTabForm tab(io, t.percorso(), ini);
        GestioneTabelle g1(io, tab, tab.TracciatiDir1);
        std::vector<std::string> nomi;
        for (const DefTabella& r : g1.elencoTabelle())
            nomi.push_back(r.NomeTabella);
        EXPECT_EQ(nomi, (std::vector<std::string>{"agenti", "articoli", "clienti", "fornitor", "movimag",
                                                  "ordini"}));
        // Every description is one that creation accepts.
        g1.perOgniTabella([&] { EXPECT_NO_THROW(g1.descrizioneCorrente()) << g1.EditTabellaCorrente(); });
        GestioneTabelle g2(io, tab, tab.TracciatiDir2);
        EXPECT_TRUE(g2.dizionarioVuoto());

        // Its tables, with the same records in the data directory and in the archive.
        tab.ConnettiDatabaseIB();
        ib::Transaction lettura(&tab.IBDatabase1);
        g1.perOgniTabella([&] {
            paradox::Table px;
            g1.ImpostaPercorsoTabellaCorrente();
            px.setDatabaseName(g1.DirTabellaCorrente);
            px.setTableName(g1.EditTabellaCorrente() + ".DB");
            px.open();
            ib::Table archivio(tab.IBDatabase1, &lettura);
            archivio.setTableName(g1.EditTabellaCorrente());
            archivio.open();
            archivio.fetchAll();
            EXPECT_GT(px.recordCount(), 0u) << g1.EditTabellaCorrente();
            EXPECT_EQ(px.recordCount(), archivio.recordCount()) << g1.EditTabellaCorrente();
            px.first();
            archivio.first();
            EXPECT_EQ(px.field(0).asString(), archivio.field(0).asString()) << g1.EditTabellaCorrente();
        });
        lettura.commit();
        tab.IBDatabase1.disconnect();
    }
    EXPECT_TRUE(io.eventi().empty());
}

}  // namespace
}  // namespace korva
