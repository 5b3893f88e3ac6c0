// korva stampa NAME --pdf FILE on the demo company, without a display.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// A report missing, damaged or unreadable: the system's message (with the reason beside it
// when the file is there), status 1, no PDF. An empty PDF name is refused before anything.
TEST_F(CliStampa, SenzaReportIlMessaggioEdEsitoUno)
{
    namespace fs = std::filesystem;
    const std::string rpt = t / "demo/bin/report/struttur.rpt";
    const std::string pdf = t / "x.pdf";
    test::scriviFile(rpt, "[tabelle]\n0 = Korva\n");
    auto e = korva({"stampa", "clienti", "--pdf", pdf});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out.rfind("ATTENZIONE: directory bin errata o CRW non inizializzato\n", 0), 0u) << e.out;
    EXPECT_NE(e.out.find("Report errato alla riga 2"), std::string::npos) << e.out;
    EXPECT_FALSE(fs::exists(pdf));

    // Unreadable to the user who prints (another one when the tests run as root).
    test::Ambiente altro;
    altro.senza = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    if (geteuid() == 0) {
        altro.utente = 65534;
        for (const auto& p : fs::recursive_directory_iterator(t.percorso()))
            chmod(p.path().c_str(), p.is_directory() ? 0777 : 0666);
        chmod(t.percorso().c_str(), 0777);
    }
    chmod(rpt.c_str(), 0);
    e = eseguiKorva({"--ini", t / "demo/varnelo.ini", "--dir", t / "demo", "stampa", "clienti", "--pdf", pdf}, {},
                    altro);
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "ATTENZIONE: directory bin errata o CRW non inizializzato\n"
                     "  Impossibile leggere il file " + rpt + ": Permission denied\n") << e.err;
    EXPECT_FALSE(fs::exists(pdf));

    fs::remove(rpt);
    e = korva({"stampa", "clienti", "--pdf", pdf});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "ATTENZIONE: directory bin errata o CRW non inizializzato\n");
    EXPECT_FALSE(fs::exists(pdf));

    e = korva({"stampa", "clienti", "--pdf", ""});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE((e.out + e.err).find("Indicare il nome del file PDF da scrivere"), std::string::npos) << e.out << e.err;
}

}  // namespace
}  // namespace korva
