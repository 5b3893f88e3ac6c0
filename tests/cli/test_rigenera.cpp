// korva rigenera on the demo company.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

TEST(CliRigenera, LaDomandaDaiFlagEL_esito)
{
    CartellaTemporanea t;
    auto e = eseguiKorva({"crea-demo", t / "demo"});
    ASSERT_EQ(e.codice, 0) << e.err;
    auto korva = [&](std::vector<std::string> argomenti) {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return eseguiKorva(argomenti);
    };
    const std::string db = t / "demo/alfa/dati/archivi/clienti.DB";
    const std::string prima = test::leggiFile(db);
    const auto csvPrima = korva({"px", "dump", db});
    ASSERT_EQ(csvPrima.codice, 0) << csvPrima.err;

    e = korva({"rigenera", "clienti", "--no"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out.find("Rigenerazione Tabella corrente completata"), std::string::npos) << e.out;
    EXPECT_EQ(test::leggiFile(db), prima);

    // The answer before the command or after it; the records read the same afterwards.
    for (const std::vector<std::string>& comando :
         {std::vector<std::string>{"--si", "rigenera", "clienti"}, std::vector<std::string>{"rigenera", "clienti", "--si"}}) {
        e = korva(comando);
        EXPECT_EQ(e.codice, 0) << e.err;
        EXPECT_NE(e.out.find("Rigenerazione Tabella corrente completata"), std::string::npos) << e.out;
        EXPECT_EQ(korva({"px", "dump", db}).out, csvPrima.out);
    }

    e = korva({"--si", "rigenera", "nessuna"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE((e.out + e.err).find("non presente nel dizionario"), std::string::npos) << e.out << e.err;
}

}  // namespace
}  // namespace korva
