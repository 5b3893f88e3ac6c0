// "&8. Stampa tabella " on the table manager's model, with the real report engine: the
// question, the dictionary closed and reopened on the same row, the preview asked for, the
// report that is missing.

#include "base/errore.h"
#include "checks/stampa_tabella.h"
#include "dictionary/gestione_tabelle.h"
#include "report/motore.h"
#include "supporto_report.h"

#include <gtest/gtest.h>

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
        motore.setAnteprima([this](std::shared_ptr<const report::Documento> doc, const report::RichiestaFinestra& r) {
            anteprime.push_back(r.titolo + " " + std::to_string(r.sinistra) + "," + std::to_string(r.alto) + " " +
                                std::to_string(r.larghezza) + "x" + std::to_string(r.altezza));
            documenti.push_back(std::move(doc));
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
    std::vector<std::string> anteprime;
    std::vector<std::shared_ptr<const report::Documento>> documenti;
};

TEST_F(Stampa, AnnullaNonCambiaNulla)
{
    const std::string prima = stato();
    d.io.risposte({Risposta::Annulla});
    EXPECT_FALSE(StampaTabella(*g, motore));
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"conferma: Confermare stampa?"});
    EXPECT_TRUE(anteprime.empty());
    EXPECT_EQ(stato(), prima);
    EXPECT_EQ(g->NomeTabellaCorrente, "");
}

TEST_F(Stampa, OgniStampaApreUnaFinestraInPiuERitornaSullaRiga)
{
    const std::string prima = stato();
    ASSERT_EQ(prima, "clienti aperta campi: codice ragsoc scadenza");
    d.io.risposte({Risposta::Ok, Risposta::Ok});
    EXPECT_TRUE(StampaTabella(*g, motore));
    EXPECT_EQ(stato(), prima);
    EXPECT_EQ(g->NomeTabellaCorrente, "clienti");
    EXPECT_TRUE(g->TabIndicic.active());
    g->primo();
    EXPECT_TRUE(StampaTabella(*g, motore));
    EXPECT_EQ(g->EditTabellaCorrente(), "art");
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>(2, "conferma: Confermare stampa?"));
    EXPECT_EQ(anteprime, std::vector<std::string>(2, "STAMPA TRACCIATI 0,0 640x480"));
    ASSERT_EQ(documenti.size(), 2u);
    EXPECT_EQ(test::quante(*documenti[0], "Tabella: clienti"), 1);
    EXPECT_EQ(test::quante(*documenti[0], "Ditta: Prova S.n.c."), 1);
    EXPECT_EQ(test::quante(*documenti[1], "Tabella: art"), 1);
    EXPECT_EQ(test::quante(*documenti[1], "ragsoc"), 0);
}

TEST_F(Stampa, UnDizionarioVuotoDaUnReportVuoto)
{
    d.dizionario({}, d.tabForm->TracciatiDir2);
    GestioneTabelle vuota(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    EXPECT_TRUE(StampaTabellaCorrente(vuota, motore));
    ASSERT_EQ(documenti.size(), 1u);
    ASSERT_EQ(documenti[0]->pagine.size(), 1u);
    EXPECT_EQ(test::quante(*documenti[0], "Nome campo"), 0);
    EXPECT_EQ(test::quante(*documenti[0], "TRACCIATO RECORD"), 1);
    EXPECT_TRUE(vuota.Table1.active());
    EXPECT_TRUE(vuota.TabCampi.active());
}

TEST_F(Stampa, SenzaReportIlMessaggioUnaVoltaESiRestaSullaRiga)
{
    std::filesystem::remove(d.tabForm->PercorsoReport);
    const std::string prima = stato();
    d.io.risposte({Risposta::Ok});
    EXPECT_FALSE(StampaTabella(*g, motore));
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"conferma: Confermare stampa?",
                                                       "messaggio: ATTENZIONE: directory bin errata o CRW non "
                                                       "inizializzato"}));
    EXPECT_TRUE(anteprime.empty());
    EXPECT_EQ(stato(), prima);

    // A report the user broke says where, instead.
    test::scriviReport(d, "[tabelle]\n0 = Korva\n");
    d.io.azzera();
    EXPECT_FALSE(StampaTabellaCorrente(*g, motore));
    EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"messaggio: Report errato alla riga 2: tabella da scrivere "
                                                      "come Alias FILE.DB (" + d.tabForm->PercorsoReport + ")"});
    EXPECT_EQ(stato(), prima);
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

TEST_F(Stampa, UnNomeConUnApiceNonArrivaAllaSelezione)
{
    // Names are file names, which may hold a quote; one would end the selection's text early
    // and select another table, so the print refuses it before closing anything.
    g.reset();
    d.dizionario({righe("o'neil", "", {"a:A5*"}), righe("o", "", {"b:A5*"})});
    g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g->vaiA("o'neil"));
    const std::string prima = stato();
    EXPECT_EQ(test::erroreDi([&] { StampaTabellaCorrente(*g, motore); }),
              "Impossibile stampare la tabella \"o'neil\": un nome che contiene un apice non può essere "
              "selezionato nel report");
    EXPECT_EQ(stato(), prima);
    EXPECT_TRUE(anteprime.empty());
}

}  // namespace
}  // namespace korva
