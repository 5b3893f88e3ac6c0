// The verification of tables written by other programs: a sound table gives no finding.

#include "maintenance/verifica_integrita.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace korva {
namespace {

namespace fs = std::filesystem;

// Findings only for the samples that are incomplete or that we cannot read: encrypted tables,
// and tables shipped without their .PX or .MB.
TEST(VerificaCampioni, RilieviSoloPerICampioniIncompleti)
{
    int tabelle = 0;
    std::set<std::string> conRilievi;
    for (const auto& e : fs::recursive_directory_iterator(KORVA_SAMPLES_DIR)) {
        const std::string nome = e.path().filename().string();
        if (e.path().extension() != ".db" && e.path().extension() != ".DB")
            continue;
        test::InterazioneScriptata io;
        if (!VerificaIntegritaTabella(e.path().parent_path().string() + "/", nome, false, io).empty())
            conRilievi.insert(nome);
        ++tabelle;
    }
    EXPECT_GT(tabelle, 10);
    EXPECT_EQ(conRilievi, (std::set<std::string>{"MEMBRE.DB", "STATES.DB", "TypSammlung.DB", "biolife.db", "country.db",
                                                 "encrypted.db", "encrypted35.db", "encryptedmemo.db"}));
}

}  // namespace
}  // namespace korva
