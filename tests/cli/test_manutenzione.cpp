// korva lck / backup / compatta on the demo company.

#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;
using test::eseguiKorva;
namespace fs = std::filesystem;

class CliManutenzione : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto e = eseguiKorva({"crea-demo", t / "demo"});
        ASSERT_EQ(e.codice, 0) << e.err;
    }
    test::Esito korva(std::vector<std::string> argomenti, const test::Ambiente& ambiente = {})
    {
        argomenti.insert(argomenti.begin(), {"--ini", t / "demo/varnelo.ini", "--dir", t / "demo"});
        return eseguiKorva(argomenti, {}, ambiente);
    }
    std::string dati(const std::string& nome) const { return t / ("demo/alfa/dati/" + nome); }
    CartellaTemporanea t;
};

TEST_F(CliManutenzione, LckElencaEdEliminaQuelliNonInUso)
{
    auto e = korva({"lck"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_EQ(e.out, "Nessun File .lck trovato!\n");
    test::scriviFile(dati("archivi/vecchio.LCK"), "KORVAWIN pid=999999999 host=altrove modo=condiviso tabella=x.DB\r\n");
    e = korva({"lck"});
    EXPECT_EQ(e.out, dati("archivi/vecchio.LCK") + "  non in uso\n");
    e = korva({"--si", "lck", "--elimina"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_FALSE(fs::exists(dati("archivi/vecchio.LCK")));
}

TEST_F(CliManutenzione, BackupECompattazioneDiUnaTabella)
{
    auto e = korva({"backup", "clienti"});
    ASSERT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("Backup tabella completato!"), std::string::npos) << e.out;
    const std::string copia = t / "demo/alfa/bak/archivi/clienti.DB";
    const std::string precedente = test::leggiFile(copia);
    EXPECT_EQ(precedente, test::leggiFile(dati("archivi/clienti.DB")));

    e = korva({"backup"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("Indicare il nome di una tabella del dizionario oppure --tutte"), std::string::npos) << e.err;

    e = korva({"--si", "compatta", "clienti"});
    EXPECT_EQ(e.codice, 0) << e.err;
    EXPECT_NE(e.out.find("Compattazione della tabella clienti terminata: da "), std::string::npos) << e.out;

    // A backup directory that cannot be written: the failure is told, the earlier copy stays.
    test::Ambiente ambiente;
    const std::string bak = t / "demo/alfa/bak/archivi";
    if (geteuid() == 0) {
        ambiente.utente = 65534;
        for (const auto& p : fs::recursive_directory_iterator(t.percorso()))
            chmod(p.path().c_str(), p.is_directory() ? 0777 : 0666);
        chmod(t.percorso().c_str(), 0777);
    }
    chmod(bak.c_str(), 0555);
    e = korva({"backup", "clienti"}, ambiente);
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.out.find("Errore durante il backup di " + dati("archivi/")), std::string::npos) << e.out << e.err;
    EXPECT_EQ(e.out.find("completato"), std::string::npos) << e.out;
    EXPECT_EQ(test::leggiFile(copia), precedente);
}

}  // namespace
}  // namespace korva
