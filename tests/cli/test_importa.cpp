// korva importa on the demo company, whose tables hold the same records on both sides.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

test::Esito korva(const test::CartellaTemporanea& t, std::vector<std::string> argomenti)
{
    argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
    return test::eseguiKorva(argomenti);
}

TEST(CliImporta, TabelleVuoteImportateLePieneRifiutateConEsito1)
{
    test::CartellaTemporanea t;
    ASSERT_EQ(test::eseguiKorva({"crea-demo", t / "demo"}).codice, 0);
    // Every destination holds records: each table refused, the run ends, exit status 1.
    auto e = korva(t, {"importa", "--da", "paradox", "--tutte"});
    EXPECT_EQ(e.codice, 1) << e.err;
    std::string atteso;
    for (int i = 0; i < 6; ++i)
        atteso += "Attenzione: la tabella destinazione deve essere vuota\n";
    EXPECT_EQ(e.out, atteso + "Importazione Terminata\n");

    ASSERT_EQ(korva(t, {"--si", "azzera", "clienti"}).codice, 0);
    e = korva(t, {"importa", "--da", "interbase", "CLIENTI"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Importazione tabella clienti\nImportazione Terminata\n");
    e = korva(t, {"conta", "clienti"});
    EXPECT_NE(e.out.find("4"), std::string::npos) << e.out;

    e = korva(t, {"importa", "--da", "interbase", "clienti", "nessuna"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Tabella nessuna non presente nel dizionario\n");
    e = korva(t, {"importa", "--da", "interbase"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("Indicare il nome di una o più tabelle del dizionario oppure --tutte"), std::string::npos);
}

}  // namespace
}  // namespace korva
