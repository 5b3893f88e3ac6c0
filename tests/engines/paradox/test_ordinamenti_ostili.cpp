// Our drivers' order against Firebird's ORDER BY ... COLLATE where a value ends in blanks: the
// collation Firebird generated from the same driver ignores them, so a value with trailing
// blanks sorts exactly where the same value without them does.

#include "engines/paradox/collation.h"
#include "isql.h"
#include "misura.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korva::paradox {
namespace {

namespace cz = korva::collazioni;

std::string esadecimale(const std::string& s)
{
    static const char* cifre = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : s) {
        out += cifre[c >> 4];
        out += cifre[c & 15];
    }
    return out;
}

TEST(OrdinamentiOstiliFirebird, UnBiancoInFondoNonCambiaIlPostoDelValore)
{
    if (!cz::Isql::disponibile())
        GTEST_SKIP() << "isql-fb non installato";
    cz::Isql isql;
    // Each value, then the same with blanks after it, among neighbours below the blank.
    const std::vector<std::string> valori = {"ab", "ab ", "ab  ", "ab\x01", "ab\x1F", "ab!", "a b", "a\x01", "ab\x01 "};
    for (std::size_t i = 0; i < cz::drivers().size(); ++i) {
        const cz::Driver& d = cz::drivers()[i];
        SCOPED_TRACE(d.nome);
        const detail::DriverWeights& w = detail::kDriverWeights[i];
        const Collation* c = collationFor(w.sortOrder, w.id, w.codePage);
        ASSERT_NE(c, nullptr);
        const std::vector<int> rango = cz::ranghi(isql, d, valori);
        for (std::size_t a = 0; a < valori.size(); ++a)
            for (std::size_t b = 0; b < valori.size(); ++b) {
                if (rango[a] == rango[b])
                    continue;  // Firebird's ties: our order may tell them apart
                const int atteso = rango[a] < rango[b] ? -1 : 1;
                const int noi = c->compare(valori[a], valori[b]);
                EXPECT_EQ(noi < 0 ? -1 : 1, atteso) << esadecimale(valori[a]) << " e " << esadecimale(valori[b]);
            }
    }
}

}  // namespace
}  // namespace korva::paradox
