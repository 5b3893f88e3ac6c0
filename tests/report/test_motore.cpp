// The report engine on real dictionary tables: the selection, the formula, page breaks, the
// empty report, jobs that cannot open, and the PDF as pdftotext reads it.

#include "base/errore.h"
#include "engines/paradox/table.h"
#include "report/motore.h"
#include "support/errore_di.h"
#include "support/esegui.h"
#include "supporto_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace korva::report {
namespace {

using test::DittaProva;
using test::quante;
using test::righe;
using test::testi;

// Names sharing prefixes, each table with fields the others lack.
std::vector<RigheTabella> treTabelle()
{
    return {righe("art", "magazzino/", {"codart:A10*", "descr:A30+"}),
            righe("articoli", "magazzino/", {"codice:A15*", "prezzo:N", "foto:G10"}),
            test::clientiEsempio()};
}

class Motore : public ::testing::Test {
protected:
    Motore() { motore.setData("05/03/2024"); }

    // A job on the company's report and dictionary 1, restricted to `nome`, for `ditta`.
    int lavoro(const std::string& nome, const std::string& ditta = "'Prova S.n.c.'")
    {
        const int job = motore.ApriStampa(d.tabForm->PercorsoReport);
        EXPECT_NE(job, 0) << motore.erroreReport();
        EXPECT_TRUE(motore.ImpostaPosizioneTabella(job, 0, d.tabForm->TracciatiDir1 + "KORVA/KORVA.DB"));
        EXPECT_TRUE(motore.ImpostaPosizioneTabella(job, 1, d.tabForm->TracciatiDir1 + "CAMPI/CAMPI.DB"));
        EXPECT_TRUE(motore.ImpostaSelezione(job, "{Korva.NomeTabella}='" + nome + "'"));
        EXPECT_TRUE(motore.ImpostaFormula(job, "NomeProgetto", ditta));
        return job;
    }

    DittaProva d;
    MotoreReport motore{paradox::Session::standard()};
};

TEST_F(Motore, LaSelezioneScegliesoloLaTabellaNominataConICampiInOrdine)
{
    d.dizionario(treTabelle());
    test::scriviReport(d);
    const Documento doc = motore.impagina(lavoro("art"));
    ASSERT_EQ(doc.pagine.size(), 1u);
    const auto t = testi(doc.pagine[0]);
    const std::vector<std::string> attesi = {"TRACCIATO RECORD", "Ditta: Prova S.n.c.", "Stampato il 05/03/2024",
                                             "Tabella: art", "Cartella:", "magazzino/", "Numero campi:", "2",
                                             "Campi chiave primaria:", "1", "Indici sec. singoli:", "1",
                                             "Indici sec. composti:", "0", "N.", "Nome campo", "Tipo", "Chiave",
                                             "Indice sec.", "1", "codart", "A10", "sì", "2", "descr", "A30", "sì",
                                             "Prova S.n.c.", "Pagina 1 di 1"};
    EXPECT_EQ(t, attesi);

    // The same engine, another job: clienti's fields in NumeroCampo order, flags where set.
    const auto c = testi(motore.impagina(lavoro("clienti")).pagine[0]);
    const auto campi = std::find(c.begin(), c.end(), "Indice sec.");
    ASSERT_NE(campi, c.end());
    EXPECT_EQ(std::vector<std::string>(campi + 1, campi + 11),
              (std::vector<std::string>{"1", "codice", "A6", "sì", "2", "ragsoc", "A40", "sì", "3", "scadenza"}));
    EXPECT_EQ(std::count(c.begin(), c.end(), "sì"), 2);
}

TEST_F(Motore, CentoventiCampiVannoSuPiuPagineConLIntestazioneRipetuta)
{
    d.dizionario({test::tabellaLunga("grande", "campo", 120), test::clientiEsempio()});
    test::scriviReport(d);
    // The company name as the formula gives it, quote and all.
    const Documento doc = motore.impagina(lavoro("grande", "'L'Arte del Mobile S.n.c.'"));
    ASSERT_GE(doc.pagine.size(), 3u);
    std::vector<std::string> campi;
    for (const Pagina& p : doc.pagine) {
        const auto t = testi(p);
        for (const char* intestazione : {"TRACCIATO RECORD", "Ditta: L'Arte del Mobile S.n.c.", "Tabella: grande",
                                         "Nome campo", "Tipo"})
            EXPECT_EQ(std::count(t.begin(), t.end(), intestazione), 1) << intestazione;
        EXPECT_EQ(t.back(), "Pagina " + std::to_string(&p - doc.pagine.data() + 1) + " di " +
                                std::to_string(doc.pagine.size()));
        double fondoCampi = 0, piede = doc.altezza;
        for (const TestoPosato& tp : p.testi) {
            if (tp.testo.rfind("campo", 0) == 0) {
                campi.push_back(tp.testo);
                fondoCampi = std::max(fondoCampi, tp.y + tp.altezza);
            }
            if (tp.testo.rfind("Pagina ", 0) == 0)
                piede = tp.y;
        }
        EXPECT_LE(fondoCampi, piede) << "righe sopra il piede di pagina";
        EXPECT_GT(fondoCampi, doc.altezza / 2) << "pagina lasciata mezza vuota";
    }
    ASSERT_EQ(campi.size(), 120u);  // each field once, in order, across the pages
    EXPECT_TRUE(std::is_sorted(campi.begin(), campi.end()));
    EXPECT_EQ(campi.front(), "campo001");
    EXPECT_EQ(campi.back(), "campo120");
    EXPECT_EQ(quante(doc, "scadenza"), 0);
    // A formula the report does not declare, or a value without quotes, is refused.
    EXPECT_FALSE(motore.ImpostaFormula(lavoro("grande"), "Altro", "'x'"));
    EXPECT_FALSE(motore.ImpostaFormula(lavoro("grande"), "NomeProgetto", "Rossi"));
}

TEST_F(Motore, UnDizionarioVuotoNonSelezionaNullaEDaUnReportVuoto)
{
    d.dizionario({});
    test::scriviReport(d);
    const Documento doc = motore.impagina(lavoro(""));
    ASSERT_EQ(doc.pagine.size(), 1u);
    EXPECT_EQ(testi(doc.pagine[0]), (std::vector<std::string>{"TRACCIATO RECORD", "Ditta: Prova S.n.c.",
                                                              "Stampato il 05/03/2024", "Prova S.n.c.",
                                                              "Pagina 1 di 1"}));
    // And with tables, a name that none has selects none of them.
    d.dizionario(treTabelle());
    EXPECT_EQ(quante(motore.impagina(lavoro("ar")), "Nome campo"), 0);
}

TEST_F(Motore, UnReportCheNonSiApreDaLavoroZeroERifiutaOgniPasso)
{
    d.dizionario(treTabelle());
    const std::string report = d.tabForm->PercorsoReport;
    EXPECT_EQ(motore.ApriStampa(report), 0);
    EXPECT_EQ(motore.erroreReport(), "");
    test::scriviReport(d, "[tabelle]\n0 = Korva KORVA.DB\n[colonne]\ncolonna 10 destra: X | {Korva.Manca\n");
    EXPECT_EQ(motore.ApriStampa(report), 0);
    EXPECT_EQ(motore.erroreReport(), "Report errato alla riga 4: \"{\" senza \"}\" (" + report + ")");

    EXPECT_FALSE(motore.ImpostaPosizioneTabella(0, 0, "x/KORVA.DB"));
    EXPECT_FALSE(motore.ImpostaSelezione(0, "{Korva.NomeTabella}='art'"));
    EXPECT_FALSE(motore.ImpostaFormula(0, "NomeProgetto", "'x'"));
    EXPECT_FALSE(motore.UscitaFinestra(0, "STAMPA TRACCIATI", 0, 0, 640, 480));
    EXPECT_FALSE(motore.UscitaPdf(0, d.cartella / "x.pdf"));
    EXPECT_FALSE(motore.AvviaStampa(0));
    EXPECT_FALSE(std::filesystem::exists(d.cartella / "x.pdf"));

    // A field the report names that the table lacks stops the start with its name.
    test::scriviReport(d, "[tabelle]\n0 = Korva KORVA.DB\n[intestazione tabella]\ntesto 0 10 destra: {Korva.Manca}\n");
    const int job = motore.ApriStampa(report);
    ASSERT_NE(job, 0);
    motore.ImpostaPosizioneTabella(job, 0, d.tabForm->TracciatiDir1 + "KORVA/KORVA.DB");
    EXPECT_EQ(test::erroreDi([&] { motore.impagina(job); }),
              "Il report nomina il campo Korva.Manca, che la tabella " + d.tabForm->TracciatiDir1 +
                  "KORVA/KORVA.DB non ha");
}

TEST_F(Motore, TestiOltreILimitiDelleVecchieChiamatePassanoInteri)
{
    // A program directory and a record-layout directory far longer than 128 and 255 characters.
    const std::string lungo = std::string(90, 'b') + "/" + std::string(90, 'c') + "/" + std::string(90, 'd') + "/";
    d.tabForm->BinDir = d.cartella.dir() + lungo;
    d.tabForm->AggiornaPercorsi();
    d.tabForm->TracciatiDir1 = d.cartella.dir() + lungo + "tr/";
    std::filesystem::create_directories(d.tabForm->TracciatiDir1);
    ASSERT_GT(d.tabForm->PercorsoReport.size(), 255u);
    d.dizionario(treTabelle());
    test::scriviReport(d);
    const std::string ditta(200, 'R');
    const Documento doc = motore.impagina(lavoro("art", "'" + ditta + "'"));
    EXPECT_EQ(quante(doc, "Ditta: " + ditta), 1);
    EXPECT_EQ(quante(doc, "descr"), 1);
}

TEST_F(Motore, IlPdfHaIlTestoDellePagine)
{
    d.dizionario({test::tabellaLunga("grande", "campo", 120), test::clientiEsempio()});
    test::scriviReport(d);
    const std::string pdf = d.cartella / "grande.pdf";
    // Many pages: the header on each, a form feed between them.
    int job = lavoro("grande");
    ASSERT_TRUE(motore.UscitaPdf(job, pdf));
    ASSERT_TRUE(motore.AvviaStampa(job));
    EXPECT_FALSE(motore.AvviaStampa(job));  // a job starts once
    const std::string grande = test::testoPdf(pdf);
    const auto pagine = std::count(grande.begin(), grande.end(), '\f');
    EXPECT_GE(pagine, 3);
    size_t intestazioni = 0;
    for (size_t p = 0; (p = grande.find("Tabella: grande", p)) != std::string::npos; ++p)
        ++intestazioni;
    EXPECT_EQ(intestazioni, static_cast<size_t>(pagine));
    EXPECT_NE(grande.find("campo120"), std::string::npos);

    // A PDF that cannot be written is an error naming it, and leaves nothing behind.
    job = lavoro("clienti");
    const std::string altrove = d.cartella / "manca/x.pdf";
    motore.UscitaPdf(job, altrove);
    const std::string errore = test::erroreDi([&] { motore.AvviaStampa(job); });
    EXPECT_EQ(errore.rfind("Impossibile scrivere il file PDF " + altrove + " (", 0), 0u) << errore;
    EXPECT_NE(errore.find("file o directory inesistente"), std::string::npos) << errore;
    EXPECT_FALSE(std::filesystem::exists(d.cartella / "manca"));

    // A PDF named through a link is written where the link points, and the link stays.
    const std::string condiviso = d.cartella / "condiviso.pdf", collegamento = d.cartella / "collegamento.pdf";
    test::scriviFile(condiviso, "vecchio");
    std::filesystem::create_symlink(condiviso, collegamento);
    job = lavoro("clienti");
    motore.UscitaPdf(job, collegamento);
    ASSERT_TRUE(motore.AvviaStampa(job));
    EXPECT_TRUE(std::filesystem::is_symlink(collegamento));
    EXPECT_NE(test::testoPdf(condiviso).find("Tabella: clienti"), std::string::npos);
}

}  // namespace
}  // namespace korva::report
