// Our order of every language driver against Firebird's, recorded in the golden files of
// tests/data/collazioni (written by tools/collazioni/genera_collazioni): every single byte and
// thousands of strings, in the order Firebird's collation made from the same driver gives them.

#include "engines/paradox/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korva::paradox {
namespace {

struct Riga {
    int rango;
    std::string byte;
};

std::vector<Riga> campione(const std::string& driver)
{
    std::ifstream in(std::string(KORVA_COLLAZIONI_DIR) + "/" + driver + ".txt");
    std::vector<Riga> righe;
    for (std::string linea; std::getline(in, linea);) {
        if (linea.empty() || linea[0] == '#')
            continue;
        std::istringstream parti(linea);
        Riga r{};
        std::string hex;
        parti >> r.rango >> hex;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            r.byte += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        righe.push_back(r);
    }
    return righe;
}

class OrdineFirebird : public ::testing::TestWithParam<const char*> {};

TEST_P(OrdineFirebird, LaNostraCollazioneOrdinaComeFirebird)
{
    const std::string driver = GetParam();
    const std::vector<Riga> righe = campione(driver);
    ASSERT_GE(righe.size(), 3200u) << driver;
    std::size_t singoli = 0;
    for (const Riga& r : righe)
        singoli += r.byte.size() == 1;
    EXPECT_GE(singoli, 250u);

    const detail::DriverWeights* pesi = nullptr;
    for (std::size_t i = 0; i < detail::kDriverWeightsCount; ++i)
        if (driver == detail::kDriverWeights[i].id)
            pesi = &detail::kDriverWeights[i];
    ASSERT_NE(pesi, nullptr);
    const Collation* c = collationFor(pesi->sortOrder, pesi->id, pesi->codePage);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(c->exact());

    // Sorted by our comparison, the strings come out in Firebird's ranks, none equal to
    // another unless Firebird says so.
    std::vector<Riga> nostro = righe;
    std::stable_sort(nostro.begin(), nostro.end(), [&](const Riga& a, const Riga& b) { return c->compare(a.byte, b.byte) < 0; });
    int errori = 0;
    for (std::size_t i = 1; i < nostro.size() && errori < 10; ++i) {
        const int atteso = nostro[i - 1].rango == nostro[i].rango ? 0 : -1;
        const int noi = c->compare(nostro[i - 1].byte, nostro[i].byte);
        if (nostro[i - 1].rango > nostro[i].rango || noi != atteso) {
            ++errori;
            ADD_FAILURE() << driver << ": '" << nostro[i - 1].byte << "' (Firebird " << nostro[i - 1].rango << ") e '"
                          << nostro[i].byte << "' (Firebird " << nostro[i].rango << ")";
        }
    }

    // The sort keys of index building give the same order.
    constexpr std::size_t campo = 12;
    const std::size_t lunghezza = c->sortKeyLength(campo);
    auto chiave = [&](const std::string& s) {
        std::string valore(campo, '\0');
        std::memcpy(valore.data(), s.data(), s.size());
        std::string k(lunghezza, '\0');
        c->sortKey(reinterpret_cast<const std::uint8_t*>(valore.data()), campo, false, reinterpret_cast<std::uint8_t*>(k.data()));
        return k;
    };
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string a = chiave(righe[i - 1].byte), b = chiave(righe[i].byte);
        if (righe[i - 1].rango == righe[i].rango)
            EXPECT_EQ(a, b) << driver << " riga " << i;
        else
            EXPECT_LT(a, b) << driver << " riga " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Driver, OrdineFirebird,
                         ::testing::Values("ANSIINTL", "ANSII850", "intl", "cyrr", "swedfin", "nordan40"));

}  // namespace
}  // namespace korva::paradox
