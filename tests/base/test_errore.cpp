#include "base/errore.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(TestoErroreGenerale, PuntoAggiuntoSoloDopoUnCarattereCheSeguePunto)
{
    EXPECT_EQ(testoErroreGenerale("Tabella non trovata"), "Tabella non trovata.");
    EXPECT_EQ(testoErroreGenerale("Fine."), "Fine.");
    EXPECT_EQ(testoErroreGenerale("Perché?"), "Perché?.");  // '?' sorts after '.'
    EXPECT_EQ(testoErroreGenerale("Errore!"), "Errore!");   // '!' sorts before '.'
    EXPECT_EQ(testoErroreGenerale("riga 12)"), "riga 12)");
    EXPECT_EQ(testoErroreGenerale("codice 7"), "codice 7.");
    EXPECT_EQ(testoErroreGenerale("a,"), "a,");              // ',' sorts before '.'
    EXPECT_EQ(testoErroreGenerale("percorso /"), "percorso /.");
    EXPECT_EQ(testoErroreGenerale("Già"), "Già.");          // accented letter
    EXPECT_EQ(testoErroreGenerale(""), "");
}

}  // namespace
}  // namespace korva
