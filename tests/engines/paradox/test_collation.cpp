#include "engines/paradox/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace korva::paradox {
namespace {

using namespace std::string_literals;

// Each value must compare below the next one, both ways round.
void attesoCrescente(const Collation& c, const std::vector<std::string>& valori, bool senzaMaiuscole = false)
{
    for (std::size_t i = 1; i < valori.size(); ++i) {
        const std::string& a = valori[i - 1];
        const std::string& b = valori[i];
        const int ab = senzaMaiuscole ? c.compareCaseInsensitive(a, b) : c.compare(a, b);
        const int ba = senzaMaiuscole ? c.compareCaseInsensitive(b, a) : c.compare(b, a);
        EXPECT_LT(ab, 0) << c.name() << ": '" << a << "' < '" << b << "'";
        EXPECT_GT(ba, 0) << c.name() << ": '" << b << "' > '" << a << "'";
    }
}

const Collation& richiedi(const Collation* c)
{
    if (!c)
        throw std::runtime_error("collazione assente");
    return *c;
}

// What each header gives: the collation that places keys (collationFor), the best one to
// read by (knowledgeCollationFor).
TEST(Collazione, OgniIntestazioneHaLaSuaCollazione)
{
    struct Caso {
        std::uint8_t byte;
        const char* id;
        int codePage;
        const char* nome;  // nullptr: none
        bool esatta;
        bool ordineDeiByte;
    };
    const Caso casi[] = {
        {0x00, "ascii", 437, "ascii", true, true},
        {0x00, "ascii", 850, "ascii", true, true},
        {0x00, "", 0, "ascii", true, true},  // level 3: no sortOrderID, no code page
        {0x4C, "DBWINUS0", 1252, "DBWINUS0", true, true},
        {0x4C, "dbwinus0", 1252, "DBWINUS0", true, true},
        {0x62, "ANSIINTL", 1252, "ANSIINTL", true, false},
        {0x11, "ANSII850", 1252, "ANSII850", true, false},
        {0xB7, "intl", 437, "intl", true, false},
        {0xC0, "cyrr", 866, "cyrr", true, false},
        {0xC0, "", 0, "cyrr", true, false},  // of.db, level 3.5
        {0xF0, "swedfin", 437, "swedfin", true, false},
        {0xE6, "nordan40", 865, "nordan40", true, false},
        {0x54, "intl850", 850, "intl850", false, false},  // read only: ANSII850 through 850
        {0x40, "DBWINWE0", 1252, "DBWINWE0", false, false},
        {0x03, "china", 936, nullptr, false, false},
        {0x14, "BLROM800", 0, nullptr, false, false},
        {0x82, "nordan", 865, nullptr, false, false},
        // A name that does not fit its byte, or a code page its driver is not made for.
        {0x4C, "ascii", 1252, nullptr, false, false},
        {0x00, "DBWINUS0", 1252, nullptr, false, false},
        {0x4C, "DBWINUS0", 437, nullptr, false, false},
        {0x00, "ascii", 936, nullptr, false, false},
        {0x11, "ANSII850", 850, nullptr, false, false},
        {0xB7, "intl", 1252, nullptr, false, false},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(std::string(c.id) + " " + std::to_string(c.codePage));
        const Collation* x = knowledgeCollationFor(c.byte, c.id, c.codePage);
        ASSERT_EQ(x != nullptr, c.nome != nullptr);
        // Only an exact one places keys.
        EXPECT_EQ(collationFor(c.byte, c.id, c.codePage), c.esatta ? x : nullptr);
        if (!x)
            continue;
        EXPECT_EQ(x->name(), c.nome);
        EXPECT_EQ(x->exact(), c.esatta);
        EXPECT_EQ(x->byteOrder(), c.ordineDeiByte);
    }
    EXPECT_EQ(collationFor(0x00, "ascii", 437), collationFor(0x00, "", 0));  // built once
}

TEST(Collazione, LeNuoveTabellePossonoAvereOgniOrdinamentoEsatto)
{
    const auto predefinito = tableSortOrder(kNewTableSortOrderId);
    ASSERT_TRUE(predefinito);
    EXPECT_EQ(predefinito->byte, kNewTableSortOrder);
    EXPECT_EQ(predefinito->codePage, kNewTableCodePage);
    for (const std::string& nome : tableSortOrderNames()) {
        const auto o = tableSortOrder(nome);
        ASSERT_TRUE(o) << nome;
        EXPECT_TRUE(richiedi(collationFor(o->byte, o->id, o->codePage)).exact()) << nome;
    }
    EXPECT_EQ(tableSortOrder("ansiintl")->id, "ANSIINTL");
    EXPECT_EQ(tableSortOrder("intl")->codePage, 437);
    EXPECT_EQ(tableSortOrder("cyrr")->codePage, 866);
    for (const char* no : {"intl850", "DBWINWE0", "china", "", "PXW_INTL"})
        EXPECT_FALSE(tableSortOrder(no)) << no;
}

TEST(Collazione, OrdineDeiByte)
{
    for (const Collation* c : {collationFor(0x00, "ascii", 437), collationFor(0x00, "ascii", 850),
                               collationFor(0x4C, "DBWINUS0", 1252)}) {
        // Blank first, a prefix before what extends it (a trailing blank too), upper case
        // before lower case, bytes above 0x7F after 'z' as unsigned values.
        attesoCrescente(richiedi(c), {"", " ", "!", "0", "9", "@", "A", "AB", "ABC", "ABC ", "ABD", "AZ", "Z", "_",
                                      "a", "z", "\x7F", "\x80", "\xC9", "\xE9", "\xFF"});
        EXPECT_EQ(c->compare("ABC", "ABC"), 0);
        EXPECT_EQ(c->compare("", ""), 0);
    }
}

TEST(Collazione, IlValoreFinisceAlPrimoNul)
{
    for (const Collation* c : {collationFor(0x4C, "DBWINUS0", 1252), collationFor(0x11, "ANSII850", 1252),
                               collationFor(0xB7, "intl", 437)}) {
        SCOPED_TRACE(richiedi(c).name());
        EXPECT_EQ(c->compare("AB\0\0\0"s, "AB"), 0);
        EXPECT_EQ(c->compare("AB\0Z"s, "AB\0A"s), 0);
        EXPECT_LT(c->compare("AB\0Z"s, "ABA"), 0);
        EXPECT_EQ(c->compare("\0abc"s, ""), 0);
        EXPECT_EQ(c->compareCaseInsensitive("ab\0X"s, "AB\0y"s), 0);
    }
}

TEST(Collazione, SenzaMaiuscoleNellOrdineDeiByte)
{
    const Collation& win = richiedi(collationFor(0x4C, "DBWINUS0", 1252));
    EXPECT_EQ(win.compareCaseInsensitive("Rossi", "ROSSI"), 0);
    EXPECT_EQ(win.compareCaseInsensitive("citt\xE0", "CITT\xC0"), 0);  // à À
    EXPECT_EQ(win.compareCaseInsensitive("\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F"), 0);  // š œ ž ÿ
    EXPECT_NE(win.compareCaseInsensitive("\xDF", "SS"), 0);  // ß has no single upper-case form
    EXPECT_NE(win.compareCaseInsensitive("\xB5", "M"), 0);   // µ is no letter m
    // Folding goes to upper case: the characters between 'Z' and 'a' then follow every letter,
    // while case-sensitive they stand between the two cases.
    attesoCrescente(win, {"", " ", "0", "a", "AB", "abc", "ABD", "b", "z", "[", "_", "`", "{", "\xC0", "\xE9"}, true);
    attesoCrescente(win, {"Z", "_", "a"});
    // Equal letters do not stop the comparison.
    EXPECT_GT(win.compareCaseInsensitive("Xb", "xa"), 0);
    EXPECT_LT(win.compareCaseInsensitive("xa", "XB"), 0);

    // DOS pages fold the letters that have both forms in the page.
    const Collation& dos437 = richiedi(collationFor(0x00, "ascii", 437));
    EXPECT_EQ(dos437.compareCaseInsensitive("\x84\x94\x81\x82\x87\xA4", "\x8E\x99\x9A\x90\x80\xA5"), 0);  // äöüéçñ
    EXPECT_NE(dos437.compare("\x84", "\x8E"), 0);
    const Collation& dos850 = richiedi(collationFor(0x00, "ascii", 850));
    EXPECT_EQ(dos850.compareCaseInsensitive("\x85\x8A\x95\xA2", "\xB7\xD4\xE3\xE0"), 0);  // àèòó
}

// What the drivers do that a comparison letter by letter cannot: the base letters of the whole
// value first (lower case first at the second level), expansions, symbols that look like
// letters.
TEST(Collazione, IDriverConfrontanoPrimaLeLettereDiBaseDiTuttoIlValore)
{
    for (const Collation* c : {collationFor(0x62, "ANSIINTL", 1252), collationFor(0x11, "ANSII850", 1252)}) {
        const Collation& x = richiedi(c);
        SCOPED_TRACE(x.name());
        attesoCrescente(x, {"aa", "ab", "Ab"});  // lower case first, at the second level
        attesoCrescente(x, {"ea", "\xE9""a", "eb"});               // éa
        attesoCrescente(x, {"deJesus", "Dejesus"});
        attesoCrescente(x, {"Mueller", "M\xFCller", "Muff"});      // Müller: ü = ue
        attesoCrescente(x, {"Strasse", "Stra\xDF""e", "Strast"});  // Straße: ß = ss
        attesoCrescente(x, {"Tha", "\xDE""a", "Thb"});             // Þ = th
        // Š, Œ, Ž, Ÿ, ƒ are no letters to the drivers: after every letter.
        for (const char* simbolo : {"\x8A", "\x8C", "\x8E", "\x9F", "\x83"})
            attesoCrescente(x, {"z", "Z", simbolo});
        attesoCrescente(x, {"HERC_BODY", "hTML_FOOTER", "HTML_HEADER1"});
    }
    const Collation& intl = richiedi(collationFor(0xB7, "intl", 437));
    attesoCrescente(intl, {"Mueller", "M\x81ller", "Muff"});  // ü in 437
    attesoCrescente(intl, {"aa", "ab", "\xA0""b", "Ab"});       // áb
    const Collation& cyrr = richiedi(collationFor(0xC0, "cyrr", 866));
    // а А б ... е Е ё Ё ж, after the Latin letters.
    attesoCrescente(cyrr, {"z", "Z", "\xA0", "\x80", "\xA1", "\x81", "\xA5", "\x85", "\xF1", "\xF0", "\xA6", "\x86"});
    attesoCrescente(cyrr, {"\xA0\xA1", "\x80\xA2"});  // аб < Ав
}

// Trailing blanks weigh nothing in the drivers (a value sorts where it does without them, so
// before what extends it with a control byte) and tell apart only values otherwise equal.
TEST(Collazione, IBianchiInFondoNonPesanoNeiDriver)
{
    for (const auto& [b, id, cp] : {std::tuple{0x62, "ANSIINTL", 1252}, std::tuple{0x11, "ANSII850", 1252}, std::tuple{0xB7, "intl", 437},
                                    std::tuple{0xC0, "cyrr", 866}, std::tuple{0xF0, "swedfin", 437}, std::tuple{0xE6, "nordan40", 865}}) {
        const Collation& c = richiedi(collationFor(static_cast<std::uint8_t>(b), id, cp));
        attesoCrescente(c, {"", " ", "a", "a b", "ab", "ab ", "ab  ", "ab\x01", "ab\x01 ", "ab\x1F", "ab!", "abc"});
        attesoCrescente(c, {"aB", "Ab ", "AB  ", "aB\x01"}, true);
    }
}

// Firebird 3 keeps ANSII850's secondary weights in four bits; the driver's own weights put Ã
// after every other a, then ä and Ä, which expand (ä = a + e).
TEST(Collazione, ANSII850PoneLeTreLettereTroncateComeIlDriver)
{
    const Collation& c = richiedi(collationFor(0x11, "ANSII850", 1252));
    attesoCrescente(c, {"a", "\xAA", "\xE6", "\xE1", "\xE0", "\xE2", "\xE5", "\xE3", "A", "\xC6", "\xC1", "\xC0", "\xC2",
                        "\xC5", "\xC3", "\xE4", "\xC4", "b"});
    attesoCrescente(c, {"ae", "\xC3""e", "\xE4", "\xC4", "af"});
    attesoCrescente(c, {"\xE4" "B", "\xC4" "b"});  // equal first weights: the e and the E decide
}

TEST(Collazione, Intl850LeggeConANSII850AttraversoLaCodePage850)
{
    const Collation& c = richiedi(knowledgeCollationFor(0x54, "intl850", 850));
    EXPECT_FALSE(c.exact());
    attesoCrescente(c, {"Mueller", "M\x81ller", "Muff"});       // ü
    attesoCrescente(c, {"a", "\xA0", "A", "\xB5", "\xC7", "\x84", "\x8E", "b"});  // a á A Á Ã ä Ä
    attesoCrescente(c, {"z", "\xB0", "\xDB"});  // box drawing: after everything the driver knows
    EXPECT_EQ(c.compareCaseInsensitive("\x81", "\x9A"), 0);     // ü Ü
}

// Over every pair of one-byte values: antisymmetric and equal only when equal; sorted with
// it, the bytes come out strictly increasing (so it is transitive). Folded, two values are
// equal exactly when their upper cases are.
TEST(Collazione, OgniCollazioneEUnOrdineTotale)
{
    const Collation* tutte[] = {
        collationFor(0x00, "ascii", 437), collationFor(0x00, "ascii", 850),    collationFor(0x4C, "DBWINUS0", 1252),
        collationFor(0xB7, "intl", 437),  knowledgeCollationFor(0x54, "intl850", 850), collationFor(0x62, "ANSIINTL", 1252),
        collationFor(0x11, "ANSII850", 1252), knowledgeCollationFor(0x40, "DBWINWE0", 1252), collationFor(0xC0, "cyrr", 866),
        collationFor(0xF0, "swedfin", 437), collationFor(0xE6, "nordan40", 865),
    };
    for (const Collation* c : tutte) {
        SCOPED_TRACE(richiedi(c).name());
        std::vector<std::string> byte;
        for (int b = 1; b < 256; ++b)
            byte.emplace_back(1, static_cast<char>(b));
        for (const std::string& x : byte)
            for (const std::string& y : byte) {
                ASSERT_EQ(c->compare(x, y), -c->compare(y, x));
                ASSERT_EQ(c->compare(x, y) == 0, x == y);
                ASSERT_EQ(c->compareCaseInsensitive(x, y) == 0,
                          c->upper(static_cast<std::uint8_t>(x[0])) == c->upper(static_cast<std::uint8_t>(y[0])));
            }
        std::sort(byte.begin(), byte.end(), [&](const std::string& x, const std::string& y) { return c->compare(x, y) < 0; });
        attesoCrescente(*c, byte);
        // Nor do two different values of one or two bytes compare equal (an expansion is never
        // the pair it expands to): a key could not be told from another.
        std::vector<std::string> corti = byte;
        for (int x = 1; x < 256; ++x)
            for (int y = 1; y < 256; ++y)
                corti.push_back(std::string{static_cast<char>(x), static_cast<char>(y)});
        std::sort(corti.begin(), corti.end(), [&](const std::string& x, const std::string& y) { return c->compare(x, y) < 0; });
        for (std::size_t i = 1; i < corti.size(); ++i)
            ASSERT_LT(c->compare(corti[i - 1], corti[i]), 0) << i;
    }
}

// The sort keys order as the comparison does, for values of every length up to the field's,
// case-sensitive and folded.
TEST(Collazione, LeChiaviDiOrdinamentoSeguonoIlConfronto)
{
    std::mt19937 caso(26);
    const std::string lettere = "aAbBeEzZ \xE0\xC0\xE4\xC4\xF6\xDF\xFE\xDE\xE9\xC9\x84\x8E\x81\x9A\xA0\x80\xF1\xF0\xC3";
    for (const Collation* c : {collationFor(0x4C, "DBWINUS0", 1252), collationFor(0x62, "ANSIINTL", 1252),
                               collationFor(0x11, "ANSII850", 1252), collationFor(0xB7, "intl", 437),
                               collationFor(0xC0, "cyrr", 866), collationFor(0xE6, "nordan40", 865)}) {
        SCOPED_TRACE(richiedi(c).name());
        constexpr std::size_t campo = 6;
        const std::size_t lunghezza = c->sortKeyLength(campo);
        for (int giro = 0; giro < 20000; ++giro) {
            std::string v[2];
            for (std::string& s : v) {
                s.assign(campo, '\0');
                const std::size_t n = caso() % (campo + 1);
                for (std::size_t i = 0; i < n; ++i)
                    s[i] = lettere[caso() % lettere.size()];
            }
            for (const bool ci : {false, true}) {
                std::vector<std::uint8_t> k0(lunghezza), k1(lunghezza);
                c->sortKey(reinterpret_cast<const std::uint8_t*>(v[0].data()), campo, ci, k0.data());
                c->sortKey(reinterpret_cast<const std::uint8_t*>(v[1].data()), campo, ci, k1.data());
                const int m = std::memcmp(k0.data(), k1.data(), lunghezza);
                const int atteso = ci ? c->compareCaseInsensitive(v[0], v[1]) : c->compare(v[0], v[1]);
                ASSERT_EQ((m > 0) - (m < 0), atteso) << ci << " '" << v[0].c_str() << "' '" << v[1].c_str() << "'";
            }
        }
    }
}

}  // namespace
}  // namespace korva::paradox
