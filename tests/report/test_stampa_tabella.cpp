// The print command on the table manager's model with the real report engine, where the
// window's tests do not reach: a broken report, a failing job, a name holding a quote.

#include "base/errore.h"
#include "checks/stampa_tabella.h"
#include "dictionary/gestione_tabelle.h"
#include "report/motore.h"
#include "shell/tabform.h"
#include "support/errore_di.h"
#include "support/korva_nomi_lunghi.h"
#include "supporto_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace korva {
namespace {

using test::DittaProva;
using test::righe;

class Stampa : public ::testing::Test {
protected:
    Stampa()
    {
        d.dizionario({righe("art", "magazzino/", {"codart:A10*", "descr:A30+"}), test::clientiEsempio(),
                      righe("zeta", "", {"z:S*"})});
        test::scriviReport(d);
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        motore.setAnteprima([this](std::shared_ptr<const report::Documento>, const report::RichiestaFinestra&) {
            ++anteprime;
        });
        g->vaiA("clienti");
    }

    // The window's state that a print must leave as it was.
    std::string stato()
    {
        std::string s = g->EditTabellaCorrente() + (g->Table1.active() ? " aperta" : " chiusa") +
                        (g->TabCampi.active() ? " campi:" : " campi chiusi");
        for (const DefCampo& c : g->campiCorrenti())
            s += " " + c.NomeCampo;
        return s;
    }

    DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
    report::MotoreReport motore{paradox::Session::standard()};
    int anteprime = 0;
};

TEST_F(Stampa, UnReportGuastoOLaBinNonImpostataESiRestaSullaRiga)
{
    const std::string prima = stato();
    // The system's message, with what is wrong and where as its details.
    test::scriviReport(d, "[tabelle]\n0 = Korva\n");
    EXPECT_FALSE(StampaTabellaCorrente(*g, motore));
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"messaggio: ATTENZIONE: directory bin errata o CRW non inizializzato",
                                                       "dettaglio: Report errato alla riga 2: tabella da scrivere "
                                                       "come Alias FILE.DB (" + d.tabForm->PercorsoReport + ")"}));
    EXPECT_EQ(stato(), prima);

    // A program directory never set is a wrong one.
    d.tabForm->BinDir = kDirNonImpostata;
    d.io.azzera();
    EXPECT_FALSE(StampaTabellaCorrente(*g, motore));
    EXPECT_EQ(d.io.eventi(),
              std::vector<std::string>{"messaggio: ATTENZIONE: directory bin errata o CRW non inizializzato"});
    EXPECT_EQ(stato(), prima);
    EXPECT_EQ(anteprime, 0);
}

TEST_F(Stampa, UnGuastoDuranteLaStampaRiapreIlDizionarioSullaRiga)
{
    const std::string prima = stato();
    // A PDF in a folder that is not there cannot be written.
    EXPECT_NE(test::erroreDi([&] { StampaTabellaCorrente(*g, motore, d.cartella / "manca/x.pdf"); })
                  .find("Impossibile scrivere il file PDF"),
              std::string::npos);
    EXPECT_EQ(stato(), prima);
    EXPECT_TRUE(StampaTabellaCorrente(*g, motore, d.cartella / "clienti.pdf"));
    EXPECT_TRUE(std::filesystem::exists(d.cartella / "clienti.pdf"));
    EXPECT_EQ(stato(), prima);
}

TEST_F(Stampa, UnDizionarioVuotoStampaUnReportSenzaTabelle)
{
    // No precondition: the selection compares with an empty name and keeps no row.
    g.reset();
    d.dizionario({});
    g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    std::shared_ptr<const report::Documento> mostrato;
    motore.setAnteprima([&](std::shared_ptr<const report::Documento> doc, const report::RichiestaFinestra&) {
        mostrato = std::move(doc);
    });
    EXPECT_TRUE(StampaTabellaCorrente(*g, motore));
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>{});
    EXPECT_EQ(g->NomeTabellaCorrente, "");
    ASSERT_TRUE(mostrato);
    ASSERT_EQ(mostrato->pagine.size(), 1u);
    const auto t = test::testi(mostrato->pagine[0]);
    EXPECT_EQ(t.front(), "TRACCIATO RECORD");
    EXPECT_EQ(std::count(t.begin(), t.end(), "Nome campo"), 0);
    EXPECT_TRUE(g->Table1.active());
    EXPECT_TRUE(g->TabCampi.active());
    EXPECT_TRUE(g->dizionarioVuoto());
}

TEST_F(Stampa, NomiCheNonArrivanoAllaSelezioneORigheCheNonSiCercano)
{
    // Names are file names, which may hold a quote; one would end the selection's text early
    // and select another table, so the print refuses it before closing anything.
    g.reset();
    d.dizionario({righe("o'neil", "", {"a:A5*"}), righe("o", "", {"b:A5*"})});
    g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g->vaiA("o'neil"));
    EXPECT_EQ(test::erroreDi([&] { StampaTabellaCorrente(*g, motore); }),
              "Impossibile stampare la tabella \"o'neil\": un nome che contiene un apice non può essere "
              "selezionato nel report");
    EXPECT_TRUE(g->Table1.active());
    EXPECT_EQ(g->EditTabellaCorrente(), "o'neil");

    // A name longer than CAMPI.DB holds, from a dictionary written by another tool.
    g.reset();
    DefTabella lunga;
    lunga.NomeTabella = "anagrafica_clienti";
    test::scriviKorvaConNomiLunghi(d.tabForm->TracciatiDir1, {lunga});
    g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    EXPECT_NE(test::erroreDi([&] { StampaTabellaCorrente(*g, motore); }).find("anagrafica_clienti"),
              std::string::npos);
    EXPECT_TRUE(g->Table1.active());
    EXPECT_EQ(anteprime, 0);
}

}  // namespace
}  // namespace korva
