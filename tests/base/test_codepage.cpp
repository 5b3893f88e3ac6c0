#include "base/codepage.h"
#include "base/errore.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using codepage::fromUtf8;
using codepage::toUtf8;

TEST(CodePage, LettereAccentateNelleQuattroCodePage)
{
    EXPECT_EQ(fromUtf8("è", 1252), "\xE8");
    EXPECT_EQ(fromUtf8("€", 1252), "\x80");
    EXPECT_EQ(fromUtf8("è", 850), "\x8A");
    EXPECT_EQ(fromUtf8("è", 437), "\x8A");
    EXPECT_EQ(fromUtf8("ж", 866), "\xA6");
    EXPECT_EQ(toUtf8("\xE8\xE0\xF9", 1252), "èàù");
    EXPECT_EQ(toUtf8("\x85", 850), "à");
    EXPECT_EQ(toUtf8("\xA6", 866), "ж");
    EXPECT_EQ(toUtf8("Ditta Rossi S.p.A.", 437), "Ditta Rossi S.p.A.");
}

TEST(CodePage, OgniByteDi1252FaIlGiroCompleto)
{
    // Bytes that CP1252 leaves undefined (0x81, 0x8D, ...) must survive as well.
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(fromUtf8(toUtf8(byte, 1252), 1252), byte) << "byte " << b;
        EXPECT_EQ(fromUtf8(toUtf8(byte, 850), 850), byte) << "byte " << b;
    }
}

TEST(CodePage, CarattereNonRappresentabileNominatoNellErrore)
{
    try {
        fromUtf8("prezzo €", 437);
        FAIL() << "nessun errore";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("'€' (U+20AC)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("437"), std::string::npos) << e.what();
    }
    EXPECT_THROW(fromUtf8("ж", 1252), Error);
    EXPECT_THROW(fromUtf8("漢", 850), Error);
}

TEST(CodePage, Utf8MalformatoRifiutato)
{
    EXPECT_THROW(fromUtf8("\xC3", 1252), Error);
    EXPECT_THROW(fromUtf8("a\xFF", 1252), Error);
    EXPECT_THROW(fromUtf8("\xC0\xAF", 1252), Error);  // overlong "/"
}

TEST(CodePage, CodePageMultibyteEIgnote)
{
    EXPECT_EQ(toUtf8(fromUtf8("中文", 936), 936), "中文");
    EXPECT_THROW(toUtf8("x", 12345), Error);
    EXPECT_FALSE(codepage::supported(12345));
    EXPECT_TRUE(codepage::supported(1252));
}

}  // namespace
}  // namespace korva
