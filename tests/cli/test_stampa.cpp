// korva stampa NAME --pdf FILE on the demo company, without a display.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

class CliStampa : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto e = eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
    }
    test::Esito korva(std::vector<std::string> argomenti)
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        test::Ambiente senzaSchermo;
        senzaSchermo.senza = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        return eseguiKorva(argomenti, {}, senzaSchermo);
    }
    CartellaTemporanea t;
};

TEST_F(CliStampa, ClientiDellaDemoSuUnaPagina)
{
    const std::string pdf = t / "x.pdf";
    auto e = korva({"stampa", "clienti", "--pdf", pdf});
    ASSERT_EQ(e.codice, 0) << e.out << e.err;
    EXPECT_EQ(e.out, "");
    const auto info = test::esegui("pdfinfo", {pdf});
    EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Pages:\s+1\n)"))) << info.out;
    EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(Title:\s+STAMPA TRACCIATI\n)"))) << info.out;
    const std::string testo = test::testoPdf(pdf);
    for (const char* atteso : {"Ditta: Demo Alfa S.r.l.", "Tabella: clienti", "archivi/"})
        EXPECT_NE(testo.find(atteso), std::string::npos) << atteso << "\n" << testo;
    for (const char* riga : {R"(\n\s*1\s+codice\s+A6\s+sì\s*\n)", R"(\n\s*2\s+ragsoc\s+A40\s+sì\s*\n)",
                             R"(\n\s*3\s+scadenza\s+D\s*\n)"})
        EXPECT_TRUE(std::regex_search(testo, std::regex(riga))) << riga << "\n" << testo;
    // No other table's fields.
    EXPECT_EQ(testo.find("codart"), std::string::npos);
}

TEST_F(CliStampa, SenzaReportIlMessaggioEdEsitoUno)
{
    std::filesystem::remove(t / "demo/bin/report/struttur.rpt");
    const std::string pdf = t / "x.pdf";
    auto e = korva({"stampa", "clienti", "--pdf", pdf});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "ATTENZIONE: directory bin errata o CRW non inizializzato\n");
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

}  // namespace
}  // namespace korva
