// Our order of every language driver against Firebird's, recorded in the golden files of
// tests/data/collazioni (written by tools/collazioni/genera_collazioni): every single byte and
// thousands of strings, in the order Firebird's collation made from the same driver gives them.

#include "base/codepage.h"
#include "engines/paradox/collation.h"
#include "support/cartella_temporanea.h"
#include "support/esegui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <cstring>
#include <fstream>
#include <random>
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

std::string csv(const std::string& v)
{
    if (v.find_first_of(",\"\r\n") == std::string::npos)
        return v;
    std::string out = "\"";
    for (char c : v)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The lines of `korva px dump` back into values (a quoted value may hold a doubled quote).
std::vector<std::string> valoriDelDump(const std::string& testo)
{
    std::vector<std::string> valori;
    std::istringstream righe(testo);
    std::string riga;
    std::getline(righe, riga);  // the field names
    while (std::getline(righe, riga)) {
        if (riga.size() >= 2 && riga.front() == '"' && riga.back() == '"') {
            std::string v;
            for (std::size_t i = 1; i + 1 < riga.size(); ++i) {
                v += riga[i];
                i += riga[i] == '"' ? 1 : 0;
            }
            valori.push_back(v);
        } else {
            valori.push_back(riga);
        }
    }
    return valori;
}

// korva px crea --ordinamento, then thousands of mixed strings loaded in random order: the
// table gives its keys back in Firebird's order of the same strings.
TEST_P(OrdineFirebird, UnaTabellaCreataConLOrdinamentoRestituisceLeChiaviNellOrdineDiFirebird)
{
    const std::string driver = GetParam();
    const auto ordine = tableSortOrder(driver);
    ASSERT_TRUE(ordine);
    std::vector<Riga> righe;
    // What a line of CSV can carry as text: no control characters (C0, DEL, C1).
    auto stampabile = [&](char b) {
        const std::string u = codepage::toUtf8(std::string(1, b), ordine->codePage);
        const auto c = static_cast<unsigned char>(u[0]);
        return !(c < 0x20 || c == 0x7F || (c == 0xC2 && static_cast<unsigned char>(u[1]) < 0xA0));
    };
    for (const Riga& r : campione(driver))
        if (std::all_of(r.byte.begin(), r.byte.end(), stampabile))
            righe.push_back(r);
    ASSERT_GE(righe.size(), 3000u);
    std::shuffle(righe.begin(), righe.end(), std::mt19937(26));

    test::CartellaTemporanea d;
    std::string testo = "Nome\n";
    for (const Riga& r : righe)
        testo += csv(codepage::toUtf8(r.byte, ordine->codePage)) + "\n";
    test::scriviFile(d / "valori.csv", testo);
    const std::string tabella = d / "T.DB";
    auto e = test::eseguiKorva({"px", "crea", tabella, "--campo", "Nome:A20", "--chiave", "1", "--ordinamento", driver});
    ASSERT_EQ(e.codice, 0) << e.err;
    e = test::eseguiKorva({"px", "carica", tabella, d / "valori.csv"});
    ASSERT_EQ(e.codice, 0) << e.err;
    e = test::eseguiKorva({"px", "info", tabella});
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%x", ordine->byte);
    EXPECT_NE(e.out.find("Ordinamento: " + ordine->id + " (" + byte + ")"), std::string::npos) << e.out;
    e = test::eseguiKorva({"px", "dump", tabella});
    ASSERT_EQ(e.codice, 0) << e.err;

    std::map<std::string, int> rango;
    for (const Riga& r : righe)
        rango[r.byte] = r.rango;
    const std::vector<std::string> valori = valoriDelDump(e.out);
    ASSERT_EQ(valori.size(), righe.size());
    for (std::size_t i = 0; i < valori.size(); ++i) {
        const std::string b = codepage::fromUtf8(valori[i], ordine->codePage);
        ASSERT_TRUE(rango.count(b)) << i << " [" << valori[i] << "]";
        if (i > 0) {
            const std::string a = codepage::fromUtf8(valori[i - 1], ordine->codePage);
            ASSERT_LT(rango.at(a), rango.at(b)) << "'" << valori[i - 1] << "' e '" << valori[i] << "'";
        }
    }
}

TEST(OrdineFirebirdCli, UnOrdinamentoCheNonSiScriveERifiutato)
{
    test::CartellaTemporanea d;
    const auto e = test::eseguiKorva({"px", "crea", d / "T.DB", "--campo", "Nome:A20", "--ordinamento", "intl850"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_NE(e.err.find("l'ordinamento \"intl850\" non è gestito (ordinamenti possibili: ascii, DBWINUS0, ANSIINTL"),
              std::string::npos)
        << e.out << e.err;
    EXPECT_FALSE(std::filesystem::exists(d / "T.DB"));
}

}  // namespace
}  // namespace korva::paradox
