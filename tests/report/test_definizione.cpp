// The report file: the program's own, faults a hand edit can make, and the formulas a job
// receives.

#include "../dictionary/ditta_prova.h"
#include "base/codepage.h"
#include "dictionary/report_predefinito.h"
#include "report/dati.h"
#include "report/definizione.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

namespace korva::report {
namespace {

using test::erroreDi;

TEST(DefinizioneReport, IlReportDelProgrammaLegaCampiAKorvaEMostraIlTracciato)
{
    // As the program has it, and as Windows editors save it: byte-order mark and CR LF, or
    // the Windows code page.
    std::string windows = "\xEF\xBB\xBF";
    for (char c : reportPredefinito())
        windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string ansi = codepage::fromUtf8(reportPredefinito(), codepage::kWindowsWestern);
    ASSERT_NE(ansi.find("s\xEC}"), std::string::npos);
    for (const std::string& testo : {std::string(reportPredefinito()), windows, ansi}) {
        SCOPED_TRACE(testo.size());
        const DefinizioneReport d = leggiDefinizione(testo);
        ASSERT_EQ(d.tabelle.size(), 2u);
        EXPECT_EQ(d.tabelle[0].alias + " " + d.tabelle[0].file + " " + d.tabelle[1].alias + " " + d.tabelle[1].file,
                  "Korva KORVA.DB Campi CAMPI.DB");
        EXPECT_EQ(d.campoCollegato + " " + d.campoPrincipale + " " + d.ordina,
                  "NomeTabella NomeTabella NumeroCampo");
        EXPECT_EQ(d.formule.at("NomeProgetto"), "''");
        std::vector<std::string> colonne;
        for (const Colonna& c : d.colonne)
            colonne.push_back(c.intestazione + "=" + (c.contenuto.empty() ? "" : c.contenuto[0].campo));
        EXPECT_EQ(colonne, (std::vector<std::string>{"N.=NumeroCampo", "Nome campo=NomeCampo", "Tipo=TipoELunghezza",
                                                     "Chiave=Chiave", "Indice sec.=IndiceSecSingolo"}));
        EXPECT_EQ(d.colonne[4].contenuto[0].seVero, "sì");
        EXPECT_DOUBLE_EQ(d.larghezzaUtile(), 180);
    }
}

TEST(DefinizioneReport, UnFileErratoDiceRigaEMotivo)
{
    const std::string tabelle = "[tabelle]\n0 = Korva KORVA.DB\n";
    const std::pair<std::string, std::string> casi[] = {
        {tabelle + "[colonne]\ncolonna 15 destra: N. | {Campi.NumeroCampo}\n",
         "Report errato alla riga 4: tabella \"Campi\" non dichiarata in [tabelle]"},
        {tabelle + "[colonne]\ncolonna 100 destra: A | x\ncolonna 81 destra: B | y\n",
         "Report errato alla riga 5: oltre il margine destro (larghezza utile 180 mm)"},
        {tabelle + "[intestazione pagina]\ntesto 0 50 sinistra: {Korva.NomeTabella}\n",
         "Report errato alla riga 4: i campi delle tabelle non si stampano nell'intestazione o nel piede di pagina"},
        {tabelle + "[piede tabella]\ntesto 0 50 sinistra: {@NomeProgetto}\n",
         "Report errato alla riga 4: formula \"NomeProgetto\" non dichiarata in [formule]"},
        {tabelle + "[piede tabella]\ntesto 0 50 alto: x\n",
         "Report errato alla riga 4: allineamento sconosciuto \"alto\" (sinistra, centro o destra)"},
        {tabelle + "[pagina]\n", "Report errato alla riga 3: sezione sconosciuta [pagina]"},
        {tabelle + "[report]\nmargini = 100 10 120 10\n", "Report errato alla riga 4: margini più ampi della pagina"},
        {tabelle + "[formule]\nNomeProgetto = Rossi\n",
         "Report errato alla riga 4: formula da scrivere come Nome = 'valore'"},
        {"[report]\ncarta = A4\n", "Report errato: manca la tabella 0 in [tabelle]"},
    };
    for (const auto& [testo, errore] : casi)
        EXPECT_EQ(erroreDi([&] { leggiDefinizione(testo); }), errore) << testo;
}

TEST(DefinizioneReport, SelezioneEFormule)
{
    auto s = leggiSelezione("{Korva.NomeTabella}='clienti'");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->alias + "|" + s->campo + "|" + s->valore, "Korva|NomeTabella|clienti");
    s = leggiSelezione("  {Korva.NomeTabella} = 'o''x'  ");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->valore, "o'x");
    s = leggiSelezione("{Korva.NomeTabella}=''");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->alias + "|" + s->valore, "Korva|");
    EXPECT_EQ(leggiSelezione(" ")->alias, "");  // no selection: every record
    // A quote that ends the text early, and formulas of other shapes, are refused.
    for (const char* errata : {"{Korva.NomeTabella}='o'x'", "Korva.NomeTabella='x'", "{Korva}='x'",
                               "{Korva.NomeTabella}=x", "{Korva.NomeTabella}<>'x'", "{.NomeTabella}='x'"})
        EXPECT_FALSE(leggiSelezione(errata)) << errata;

    // A formula value is the text between its quotes, as it is.
    EXPECT_EQ(valoreFormula("'Rossi S.p.A.'"), "Rossi S.p.A.");
    EXPECT_EQ(valoreFormula("'L'Arte S.n.c.'"), "L'Arte S.n.c.");
    EXPECT_EQ(valoreFormula("\"Rossi\""), "Rossi");
    EXPECT_FALSE(valoreFormula("Rossi"));
    EXPECT_FALSE(valoreFormula("'Rossi\""));
}

}  // namespace
}  // namespace korva::report
