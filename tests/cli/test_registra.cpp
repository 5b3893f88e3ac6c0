// korva registra on the demo company: its tables registered into its empty dictionary 2.

#include "base/profilo.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;

class CliRegistra : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto e = eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
    }
    test::Esito korva(std::vector<std::string> argomenti)
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo", "--tracciati", "2"});
        return eseguiKorva(argomenti);
    }
    CartellaTemporanea t;
};

TEST_F(CliRegistra, FileParadoxDentroLaDirectoryDiLavoro)
{
    auto e = korva({"registra", t / "demo/alfa/dati/archivi/clienti.DB"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "");
    e = korva({"campi", "clienti"});
    EXPECT_EQ(e.out.substr(0, e.out.find('\n')), "Tabella clienti (PathParziale: \"archivi/\"), campi chiave primaria: 1");

    // Registered already: the question, answered by the flags.
    e = korva({"registra", t / "demo/alfa/dati/archivi/clienti.DB"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("Tabella esistente, Sostituire tabella? "), std::string::npos) << e.err;
    e = korva({"--no", "registra", t / "demo/alfa/dati/archivi/clienti.DB"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "Tabella esistente, Sostituire tabella?  no\n");
    e = korva({"--si", "registra", t / "demo/alfa/dati/archivi/clienti.DB"});
    EXPECT_EQ(e.codice, 0) << e.err;

    // A table outside the data directory, and the folder option outside the archive mode.
    e = korva({"registra", t / "demo/alfa/tracciati1/KORVA/KORVA.DB"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("fuori dalla directory di lavoro"), std::string::npos) << e.err;
    e = korva({"registra", "--percorso", "initab/", t / "demo/alfa/dati/agenti.DB"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("--percorso vale soltanto"), std::string::npos) << e.err;
}

TEST_F(CliRegistra, TabellaDellArchivioConLaSuaCartella)
{
    ProfiloPrivato(t / "demo/varnelo.ini").scrivi("Demo Alfa S.r.l.", "TipoDataBase", "INTERBASE");
    auto e = korva({"registra", "ordini", "--percorso", "initab/"});
    ASSERT_EQ(e.codice, 0) << e.err;
    e = korva({"registra", "AGENTI"});
    ASSERT_EQ(e.codice, 0) << e.err;
    e = korva({"elenco"});
    EXPECT_NE(e.out.find("agenti  agenti/"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("ordini  initab/ordini/"), std::string::npos) << e.out;
    e = korva({"registra", "nessuna"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_EQ(e.out, "La tabella nessuna non è tra le tabelle dell'archivio\n");
}

}  // namespace
}  // namespace korva
