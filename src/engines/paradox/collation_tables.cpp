#include "engines/paradox/collation.h"

#include "base/codepage.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <string>
#include <tuple>

namespace korva::paradox::detail {
namespace {

// Letters known to the tables, by Unicode code point. `base` orders the letter groups
// ('A'..'Z', then the thorn; Cyrillic 0..31 in alphabet order), `variant` orders the forms
// inside a group: 0 plain, then acute, grave, circumflex, diaeresis, tilde, ring, cedilla,
// caron, stroke, ligature, eth, sharp s, hook; 20 and up the extra Cyrillic letters.
enum Variant : std::uint8_t {
    kPlain = 0, kAcute, kGrave, kCircumflex, kDiaeresis, kTilde, kRing, kCedilla, kCaron,
    kStroke, kLigature, kEth, kSharp, kHook, kExtra = 20,
};

enum Script : std::uint8_t { kLatin, kCyrillic };

struct CasePair {
    char32_t upper;
    char32_t lower;  // 0: the letter has no lower-case form here
    std::uint8_t base;
    std::uint8_t variant;
    Script script;
};

constexpr std::uint8_t kThorn = 'Z' + 1;

constexpr CasePair kPairs[] = {
    {0xC0, 0xE0, 'A', kGrave, kLatin},      {0xC1, 0xE1, 'A', kAcute, kLatin},
    {0xC2, 0xE2, 'A', kCircumflex, kLatin}, {0xC3, 0xE3, 'A', kTilde, kLatin},
    {0xC4, 0xE4, 'A', kDiaeresis, kLatin},  {0xC5, 0xE5, 'A', kRing, kLatin},
    {0xC6, 0xE6, 'A', kLigature, kLatin},   {0xC7, 0xE7, 'C', kCedilla, kLatin},
    {0xC8, 0xE8, 'E', kGrave, kLatin},      {0xC9, 0xE9, 'E', kAcute, kLatin},
    {0xCA, 0xEA, 'E', kCircumflex, kLatin}, {0xCB, 0xEB, 'E', kDiaeresis, kLatin},
    {0xCC, 0xEC, 'I', kGrave, kLatin},      {0xCD, 0xED, 'I', kAcute, kLatin},
    {0xCE, 0xEE, 'I', kCircumflex, kLatin}, {0xCF, 0xEF, 'I', kDiaeresis, kLatin},
    {0xD0, 0xF0, 'D', kEth, kLatin},        {0xD1, 0xF1, 'N', kTilde, kLatin},
    {0xD2, 0xF2, 'O', kGrave, kLatin},      {0xD3, 0xF3, 'O', kAcute, kLatin},
    {0xD4, 0xF4, 'O', kCircumflex, kLatin}, {0xD5, 0xF5, 'O', kTilde, kLatin},
    {0xD6, 0xF6, 'O', kDiaeresis, kLatin},  {0xD8, 0xF8, 'O', kStroke, kLatin},
    {0xD9, 0xF9, 'U', kGrave, kLatin},      {0xDA, 0xFA, 'U', kAcute, kLatin},
    {0xDB, 0xFB, 'U', kCircumflex, kLatin}, {0xDC, 0xFC, 'U', kDiaeresis, kLatin},
    {0xDD, 0xFD, 'Y', kAcute, kLatin},      {0xDE, 0xFE, kThorn, kPlain, kLatin},
    {0x152, 0x153, 'O', kLigature, kLatin}, {0x160, 0x161, 'S', kCaron, kLatin},
    {0x17D, 0x17E, 'Z', kCaron, kLatin},    {0x178, 0xFF, 'Y', kDiaeresis, kLatin},
    // Cyrillic letters outside the contiguous alphabet U+0410..U+044F.
    {0x401, 0x451, 5, kDiaeresis, kCyrillic},  // Ё with Е
    {0x404, 0x454, 5, kExtra, kCyrillic},      // Є after Е
    {0x406, 0x456, 8, kExtra, kCyrillic},      // І after И
    {0x407, 0x457, 8, kExtra + 1, kCyrillic},  // Ї
    {0x40E, 0x45E, 19, kExtra, kCyrillic},     // Ў after У
};

// Lower-case letters without an upper-case form.
struct LowerOnly {
    char32_t code;
    std::uint8_t base;
    std::uint8_t variant;
};
constexpr LowerOnly kLowerOnly[] = {{0xDF, 'S', kSharp}, {0x192, 'F', kHook}};

struct Letter {
    bool isLetter = false;
    Script script = kLatin;
    std::uint8_t base = 0;
    std::uint8_t variant = 0;
    bool lower = false;
    char32_t upper = 0;
};

Letter letterOf(char32_t c)
{
    if (c >= 'A' && c <= 'Z')
        return {true, kLatin, static_cast<std::uint8_t>(c), kPlain, false, c};
    if (c >= 'a' && c <= 'z')
        return {true, kLatin, static_cast<std::uint8_t>(c - 0x20), kPlain, true, c - 0x20};
    if (c >= 0x410 && c <= 0x42F)
        return {true, kCyrillic, static_cast<std::uint8_t>(c - 0x410), kPlain, false, c};
    if (c >= 0x430 && c <= 0x44F)
        return {true, kCyrillic, static_cast<std::uint8_t>(c - 0x430), kPlain, true, c - 0x20};
    for (const CasePair& p : kPairs) {
        if (c == p.upper)
            return {true, p.script, p.base, p.variant, false, c};
        if (c == p.lower)
            return {true, p.script, p.base, p.variant, true, p.upper};
    }
    for (const LowerOnly& l : kLowerOnly)
        if (c == l.code)
            return {true, kLatin, l.base, l.variant, true, c};
    return {};
}

// The code point of every byte of a single-byte code page (0 for byte 0). Bytes the page
// leaves undefined come back from the code-page layer as C1 controls, which are no letters.
std::array<char32_t, 256> codePointsOf(int codePage)
{
    std::array<char32_t, 256> out{};
    for (int b = 1; b < 256; ++b) {
        const std::string utf8 = codepage::toUtf8(std::string(1, static_cast<char>(b)), codePage);
        const auto u = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(utf8[i])); };
        char32_t c = 0;
        if (utf8.size() == 1)
            c = u(0);
        else if (utf8.size() == 2)
            c = ((u(0) & 0x1F) << 6) | (u(1) & 0x3F);
        else if (utf8.size() == 3)
            c = ((u(0) & 0x0F) << 12) | ((u(1) & 0x3F) << 6) | (u(2) & 0x3F);
        else
            c = 0xFFFD;  // not a single character: treated as a symbol
        out[static_cast<std::size_t>(b)] = c;
    }
    return out;
}

std::array<std::uint8_t, 256> upperOf(const std::array<char32_t, 256>& codes)
{
    std::map<char32_t, std::uint8_t> byteOf;
    for (int b = 255; b >= 1; --b)
        byteOf[codes[static_cast<std::size_t>(b)]] = static_cast<std::uint8_t>(b);
    std::array<std::uint8_t, 256> upper{};
    for (int b = 0; b < 256; ++b) {
        upper[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
        const Letter l = letterOf(codes[static_cast<std::size_t>(b)]);
        if (!l.lower)
            continue;
        // A lower-case letter whose upper-case form the code page lacks stays as it is.
        const auto it = byteOf.find(l.upper);
        if (it != byteOf.end())
            upper[static_cast<std::size_t>(b)] = it->second;
    }
    return upper;
}

}  // namespace

CollationTables byteOrderTables(int codePage)
{
    CollationTables t{};
    std::iota(t.weight.begin(), t.weight.end(), std::uint8_t{0});
    t.upper = upperOf(codePointsOf(codePage));
    return t;
}

CollationTables dictionaryTables(int codePage)
{
    const std::array<char32_t, 256> codes = codePointsOf(codePage);

    // Groups in order: the end of the value, ASCII characters below 'A', the Latin letters,
    // the ASCII characters after 'Z' that are no letters, the Cyrillic letters, the rest.
    using Key = std::tuple<int, int, int, int, int>;
    std::array<Key, 256> keys;
    for (int b = 0; b < 256; ++b) {
        const Letter l = letterOf(codes[static_cast<std::size_t>(b)]);
        int group;
        if (b == 0)
            group = 0;
        else if (l.isLetter)
            group = l.script == kLatin ? 2 : 4;
        else if (b < 'A')
            group = 1;
        else if (b < 0x80)
            group = 3;
        else
            group = 5;
        keys[static_cast<std::size_t>(b)] =
            l.isLetter ? Key{group, l.base, l.variant, l.lower ? 1 : 0, b} : Key{group, 0, 0, 0, b};
    }
    std::array<std::uint8_t, 256> order;
    std::iota(order.begin(), order.end(), std::uint8_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::uint8_t x, std::uint8_t y) { return keys[x] < keys[y]; });

    CollationTables t{};
    for (int w = 0; w < 256; ++w)
        t.weight[order[static_cast<std::size_t>(w)]] = static_cast<std::uint8_t>(w);
    t.upper = upperOf(codes);
    return t;
}

}  // namespace korva::paradox::detail
