// korva verifica-integrita / ripara on the demo company.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

class CliIntegrita : public ::testing::Test {
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
    std::string dati(const std::string& nome) const { return t / ("demo/alfa/dati/" + nome); }
    CartellaTemporanea t;
};

TEST_F(CliIntegrita, VerificaRiparaEVerificaDiNuovo)
{
    auto e = korva({"verifica-integrita", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("clienti.DB: nessun problema trovato"), std::string::npos) << e.out;

    // The header claims 200 records more than the chain holds.
    std::string db = test::leggiFile(dati("archivi/clienti.DB"));
    db[7] = static_cast<char>(db[7] + 1);
    test::scriviFile(dati("archivi/clienti.DB"), db);
    e = korva({"verifica-integrita", "--tutte"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.out.find("Verifica integrità: problemi trovati in 1 tabella"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("clienti.DB: l'intestazione dichiara "), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("Verifica integrità di tutte le tabelle completata!"), std::string::npos) << e.out;

    e = korva({"ripara", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.err << e.out;
    EXPECT_NE(e.out.find(" completata: "), std::string::npos) << e.out;
    // Saved in a folder of its own under the table's backup folder.
    std::vector<std::filesystem::path> salvate;
    for (const auto& c : std::filesystem::directory_iterator(t / "demo/alfa/bak/archivi"))
        salvate.push_back(c.path());
    ASSERT_EQ(salvate.size(), 1u);
    EXPECT_EQ(salvate[0].filename().string().rfind("clienti-riparazione-", 0), 0u);
    EXPECT_NE(e.out.find(salvate[0].string()), std::string::npos) << e.out;
    EXPECT_EQ(test::leggiFile(salvate[0] / "clienti.DB"), db);
    e = korva({"verifica-integrita", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.out;

    e = korva({"ripara", "nessuna"});
    EXPECT_EQ(e.codice, 1);
}

// Records lost: the repair goes through, says how many, and its status says so.
TEST_F(CliIntegrita, RiparazioneConPerditeEsceConUno)
{
    std::string db = test::leggiFile(dati("archivi/clienti.DB"));
    const std::size_t intestazione = static_cast<unsigned char>(db[2]) | (static_cast<unsigned char>(db[3]) << 8);
    const std::size_t blocco = static_cast<std::size_t>(static_cast<unsigned char>(db[5])) * 1024;
    db.replace(intestazione, blocco, std::string(blocco, '\0'));
    test::scriviFile(dati("archivi/clienti.DB"), db);
    const auto e = korva({"ripara", "clienti"});
    EXPECT_EQ(e.codice, 1) << e.out;
    EXPECT_NE(e.out.find(" completata: "), std::string::npos) << e.out;
    EXPECT_EQ(e.out.find(" 0 persi"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("Blocco perso: clienti.DB, blocco 1 (azzerato)"), std::string::npos) << e.out;
}

}  // namespace
}  // namespace korva
