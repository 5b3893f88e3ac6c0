#include "engines/paradox/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korva::paradox {
namespace {

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

TEST(Collazione, SoloLOrdineDeiByteVieneConcessoPerScrivere)
{
    struct Caso {
        std::uint8_t byte;
        const char* id;
        int codePage;
        CollationTrust fiducia;
    };
    const Caso casi[] = {
        {0x00, "ascii", 437, CollationTrust::ByteOrder},
        {0x00, "ascii", 850, CollationTrust::ByteOrder},
        {0x00, "", 0, CollationTrust::ByteOrder},  // level 3: no sortOrderID, no code page
        {0x4C, "DBWINUS0", 1252, CollationTrust::ByteOrder},
        {0x4C, "dbwinus0", 1252, CollationTrust::ByteOrder},
        {0xB7, "intl", 437, CollationTrust::Knowledge},
        {0x54, "intl850", 850, CollationTrust::Knowledge},
        {0x62, "ANSIINTL", 1252, CollationTrust::Knowledge},
        {0x11, "ANSII850", 1252, CollationTrust::Knowledge},
        {0x40, "DBWINWE0", 1252, CollationTrust::Knowledge},
        {0xC0, "cyrr", 866, CollationTrust::Knowledge},
        {0xC0, "", 0, CollationTrust::Knowledge},  // of.db, level 3.5
        {0x03, "china", 936, CollationTrust::Unknown},
        {0x14, "BLROM800", 0, CollationTrust::Unknown},
        {0x82, "nordan", 865, CollationTrust::Unknown},
        // Headers that contradict themselves are not trusted either.
        {0x4C, "ascii", 1252, CollationTrust::Unknown},
        {0x00, "DBWINUS0", 1252, CollationTrust::Unknown},
        {0x4C, "DBWINUS0", 437, CollationTrust::Unknown},
        {0x00, "ascii", 936, CollationTrust::Unknown},
        {0x11, "ANSII850", 850, CollationTrust::Unknown},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(std::string(c.id) + " " + std::to_string(c.byte) + " cp " + std::to_string(c.codePage));
        EXPECT_EQ(collationTrust(c.byte, c.id, c.codePage), c.fiducia);
        const Collation* scrittura = collationFor(c.byte, c.id, c.codePage);
        const Collation* lettura = knowledgeCollationFor(c.byte, c.id, c.codePage);
        EXPECT_EQ(scrittura != nullptr, c.fiducia == CollationTrust::ByteOrder);
        EXPECT_EQ(lettura != nullptr, c.fiducia != CollationTrust::Unknown);
        if (scrittura) {
            EXPECT_TRUE(scrittura->byteOrder());
            EXPECT_EQ(scrittura, lettura);
        } else if (lettura) {
            EXPECT_FALSE(lettura->byteOrder());
        }
    }
    EXPECT_EQ(richiedi(collationFor(0x00, "", 0)).name(), "ascii");
    EXPECT_EQ(collationFor(0x00, "ascii", 437), collationFor(0x00, "", 0));  // built once
}

TEST(Collazione, LeNuoveTabelleSonoInOrdineDeiByteSu1252)
{
    const Collation& c = richiedi(collationFor(kNewTableSortOrder, kNewTableSortOrderId, kNewTableCodePage));
    EXPECT_EQ(c.name(), "DBWINUS0");
    EXPECT_TRUE(c.byteOrder());
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
    for (const Collation* c : {collationFor(0x4C, "DBWINUS0", 1252), knowledgeCollationFor(0x11, "ANSII850", 1252)}) {
        SCOPED_TRACE(richiedi(c).name());
        using namespace std::string_literals;
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

TEST(Collazione, OgniCollazioneEUnOrdineTotale)
{
    // Over every pair of one-byte values: antisymmetric, equal only when equal; sorted with
    // it, the bytes come out strictly increasing (so it is transitive). Folding makes classes
    // of at most a letter and its other case, and every class is ordered like its members.
    const Collation* tutte[] = {
        collationFor(0x00, "ascii", 437),        collationFor(0x00, "ascii", 850),
        collationFor(0x4C, "DBWINUS0", 1252),    knowledgeCollationFor(0xB7, "intl", 437),
        knowledgeCollationFor(0x54, "intl850", 850), knowledgeCollationFor(0x62, "ANSIINTL", 1252),
        knowledgeCollationFor(0x11, "ANSII850", 1252), knowledgeCollationFor(0x40, "DBWINWE0", 1252),
        knowledgeCollationFor(0xC0, "cyrr", 866),
    };
    for (const Collation* c : tutte) {
        SCOPED_TRACE(richiedi(c).name());
        std::vector<std::string> byte;
        for (int b = 1; b < 256; ++b)
            byte.emplace_back(1, static_cast<char>(b));
        for (const std::string& x : byte)
            for (const std::string& y : byte) {
                ASSERT_EQ(c->compare(x, y), -c->compare(y, x)) << int(static_cast<unsigned char>(x[0])) << " " << int(static_cast<unsigned char>(y[0]));
                ASSERT_EQ(c->compare(x, y) == 0, x == y);
                ASSERT_EQ(c->compareCaseInsensitive(x, y), -c->compareCaseInsensitive(y, x));
            }
        std::sort(byte.begin(), byte.end(), [&](const std::string& x, const std::string& y) { return c->compare(x, y) < 0; });
        attesoCrescente(*c, byte);
        for (std::size_t i = 0; i < byte.size(); ++i) {
            int uguali = 0;
            for (const std::string& y : byte)
                uguali += c->compareCaseInsensitive(byte[i], y) == 0;
            ASSERT_LE(uguali, 2) << int(static_cast<unsigned char>(byte[i][0]));
        }
    }
}

TEST(Collazione, DizionarioRaggruppaLeLettereAccentate)
{
    // Built from knowledge (see collationTrust): letters under their base letter, upper case
    // before lower case, accented forms after the plain ones; other characters below letters.
    for (const Collation* c : {knowledgeCollationFor(0x62, "ANSIINTL", 1252), knowledgeCollationFor(0x11, "ANSII850", 1252),
                               knowledgeCollationFor(0x40, "DBWINWE0", 1252)}) {
        attesoCrescente(richiedi(c), {"", " ", "0", "9", "A", "a", "\xC1", "\xE1", "\xC4", "\xE4", "B", "E", "e", "\xC9",
                                      "\xE9", "\xEA", "F", "O", "o", "\xD6", "\xF6", "\x8C", "\x9C", "P", "s", "\xDF",
                                      "T", "z", "\xDE", "\xFE", "[", "_", "{", "\x80"});
        // One level: the first differing character decides, case and accent included.
        attesoCrescente(*c, {"Eta", "Etb", "eta", "\xC8ta", "\xE8ta"});
        attesoCrescente(*c, {"ABC", "Ab", "ab", "abc"});
        EXPECT_EQ(c->compareCaseInsensitive("\xC9t\xC9", "\xE9t\xE9"), 0);
        EXPECT_NE(c->compareCaseInsensitive("\xE9", "e"), 0);
        attesoCrescente(*c, {"E", "\xE9", "f", "G"}, true);
    }
    const Collation& intl = richiedi(knowledgeCollationFor(0xB7, "intl", 437));
    attesoCrescente(intl, {"A", "a", "\xA0", "\x85", "\x8E", "\x84", "\x8F", "\x86", "\x92", "\x91", "B", "C", "c", "\x80", "\x87", "D"});
    const Collation& intl850 = richiedi(knowledgeCollationFor(0x54, "intl850", 850));
    attesoCrescente(intl850, {"N", "n", "\xA5", "\xA4", "O", "o", "\xE0", "\xA2", "\xE3", "\x95", "P"});
    EXPECT_EQ(intl850.compareCaseInsensitive("\xA4", "\xA5"), 0);  // ñ Ñ
}

TEST(Collazione, CirillicoPerAlfabeto)
{
    const Collation& c = richiedi(knowledgeCollationFor(0xC0, "cyrr", 866));
    // А а Б б ... Е е Ё ё Ж ж ... Я я, after the Latin letters and the ASCII signs.
    attesoCrescente(c, {"0", "Z", "z", "~", "\x80", "\xA0", "\x81", "\xA1", "\x85", "\xA5", "\xF0", "\xF1", "\x86", "\xA6",
                        "\x9F", "\xEF"});
    EXPECT_EQ(c.compareCaseInsensitive("\x8C\xAE\xE1\xAA\xA2\xA0", "\x8C\x8E\x91\x8A\x82\x80"), 0);  // Москва МОСКВА
    EXPECT_EQ(c.compareCaseInsensitive("\xF1", "\xF0"), 0);
}

}  // namespace
}  // namespace korva::paradox
