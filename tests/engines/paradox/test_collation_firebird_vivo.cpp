// The drivers' weights and golden files measured again on the Firebird of this machine (when
// its isql-fb is installed): what the engine compiles in is what Firebird does today.

#include "campioni.h"
#include "engines/paradox/collation.h"
#include "isql.h"
#include "misura.h"
#include "scrittura.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace korva::paradox {
namespace {

namespace cz = korva::collazioni;

std::string leggi(const std::string& percorso)
{
    std::ifstream in(percorso, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CollazioniFirebird, PesiECampioniMisuratiDiNuovoSonoQuelliRegistrati)
{
    if (!cz::Isql::disponibile())
        GTEST_SKIP() << "isql-fb non installato";
    cz::Isql isql;
    ASSERT_EQ(detail::kDriverWeightsCount, cz::drivers().size());
    for (std::size_t i = 0; i < cz::drivers().size(); ++i) {
        const cz::Driver& d = cz::drivers()[i];
        const detail::DriverWeights& compilati = detail::kDriverWeights[i];
        SCOPED_TRACE(d.nome);
        ASSERT_EQ(d.nome, compilati.id);
        EXPECT_EQ(d.byte, compilati.sortOrder);
        EXPECT_EQ(d.codePage, compilati.codePage);

        const cz::Pesi p = cz::misura(isql, d, 3000);
        for (int b = 0; b < 256; ++b) {
            const auto& e = p.elementi[static_cast<std::size_t>(b)];
            const std::uint8_t* w = compilati.weights[b];
            EXPECT_EQ((std::vector<int>{e[0].primario, e[0].secondario, e[1].primario, e[1].secondario}),
                      (std::vector<int>{w[0], w[1], w[2], w[3]}))
                << "byte " << b;
            EXPECT_EQ(p.maiuscole[static_cast<std::size_t>(b)], compilati.upper[b]) << "byte " << b;
        }

        // Firebird orders the golden file's strings as it did when the file was written.
        const auto righe = cz::leggiCampione(leggi(std::string(KORVA_COLLAZIONI_DIR) + "/" + d.nome + ".txt"));
        std::vector<std::string> stringhe;
        std::vector<int> registrati;
        for (const auto& [rango, byte] : righe) {
            registrati.push_back(rango);
            stringhe.push_back(byte);
        }
        EXPECT_EQ(cz::ranghi(isql, d, stringhe), registrati);
    }
}

}  // namespace
}  // namespace korva::paradox
