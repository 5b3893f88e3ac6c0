#include "base/codepage.h"

#include "base/errore.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace korva::codepage {
namespace {

struct IconvName {
    int number;
    const char* name;
    bool singleByte;
};

constexpr IconvName kNames[] = {
    {0, "HP-ROMAN8", true},   {437, "CP437", true},     {850, "CP850", true},
    {852, "CP852", true},     {857, "CP857", true},     {860, "CP860", true},
    {861, "CP861", true},     {862, "CP862", true},     {863, "CP863", true},
    {865, "CP865", true},     {866, "CP866", true},
    {874, "CP874", true},     {1250, "CP1250", true},   {1251, "CP1251", true},
    {1252, "CP1252", true},   {1253, "CP1253", true},   {1254, "CP1254", true},
    {1255, "CP1255", true},   {1256, "CP1256", true},   {1257, "CP1257", true},
    {1258, "CP1258", true},   {932, "CP932", false},    {936, "CP936", false},
    {949, "CP949", false},    {950, "CP950", false},
};

const IconvName* lookup(int codePage)
{
    for (const auto& n : kNames)
        if (n.number == codePage)
            return &n;
    return nullptr;
}

const IconvName& require(int codePage)
{
    const IconvName* n = lookup(codePage);
    if (!n)
        throw Error("Code page " + std::to_string(codePage) + " non gestita");
    return *n;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw Error(std::string("Conversione da ") + from + " a " + to + " non disponibile");
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts the whole input; returns false at the first sequence it cannot convert,
    // leaving `consumed` at that point.
    bool convert(std::string_view in, std::string& out, size_t& consumed)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        std::array<char, 4096> buf;
        while (inLeft > 0) {
            char* outPtr = buf.data();
            size_t outLeft = buf.size();
            size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buf.data(), buf.size() - outLeft);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                consumed = in.size() - inLeft;
                return false;
            }
        }
        consumed = in.size();
        return true;
    }

private:
    iconv_t cd_;
};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 character at `pos`; returns false on a malformed sequence.
bool decodeUtf8(std::string_view s, size_t& pos, char32_t& c)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char b0 = byte(pos);
    size_t len;
    if (b0 < 0x80) {
        c = b0;
        len = 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        c = b0 & 0x1F;
        len = 2;
    } else if ((b0 & 0xF0) == 0xE0) {
        c = b0 & 0x0F;
        len = 3;
    } else if ((b0 & 0xF8) == 0xF0) {
        c = b0 & 0x07;
        len = 4;
    } else {
        return false;
    }
    if (pos + len > s.size())
        return false;
    for (size_t i = 1; i < len; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    pos += len;
    return true;
}

std::string describe(char32_t c)
{
    std::string glyph;
    appendUtf8(glyph, c);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    return "'" + glyph + "' (" + code + ")";
}

// Single-byte code pages convert through a table built once from iconv; all of them keep
// ASCII in their lower half.
struct SingleByteTable {
    std::array<std::string, 256> toUtf8;
    std::unordered_map<char32_t, unsigned char> fromUnicode;
};

const SingleByteTable& tableFor(const IconvName& cp)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<SingleByteTable>> tables;
    std::lock_guard lock(mutex);
    auto& slot = tables[cp.number];
    if (!slot) {
        auto table = std::make_unique<SingleByteTable>();
        Iconv conv("UTF-8", cp.name);
        for (int b = 0; b < 256; ++b) {
            const char in = static_cast<char>(b);
            std::string out;
            size_t consumed = 0;
            if (!conv.convert(std::string_view(&in, 1), out, consumed) || out.empty()) {
                out.clear();
                appendUtf8(out, static_cast<char32_t>(b));
            }
            size_t pos = 0;
            char32_t c = 0;
            if (decodeUtf8(out, pos, c) && pos == out.size())
                table->fromUnicode.emplace(c, static_cast<unsigned char>(b));
            table->toUtf8[b] = std::move(out);
        }
        slot = std::move(table);
    }
    return *slot;
}

}  // namespace

bool supported(int codePage)
{
    const IconvName* n = lookup(codePage);
    if (!n)
        return false;
    iconv_t cd = iconv_open("UTF-8", n->name);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

std::string toUtf8(std::string_view bytes, int codePage)
{
    const IconvName& cp = require(codePage);
    std::string out;
    out.reserve(bytes.size());
    if (cp.singleByte) {
        const SingleByteTable& table = tableFor(cp);
        for (unsigned char b : bytes) {
            if (b < 0x80)
                out += static_cast<char>(b);
            else
                out += table.toUtf8[b];
        }
        return out;
    }
    Iconv conv("UTF-8", cp.name);
    size_t consumed = 0;
    if (!conv.convert(bytes, out, consumed))
        throw Error("Testo non valido nella code page " + std::to_string(codePage) +
                    " alla posizione " + std::to_string(consumed + 1));
    return out;
}

std::string fromUtf8(std::string_view text, int codePage)
{
    const IconvName& cp = require(codePage);
    std::string out;
    out.reserve(text.size());
    if (cp.singleByte) {
        const SingleByteTable& table = tableFor(cp);
        size_t pos = 0;
        while (pos < text.size()) {
            auto b = static_cast<unsigned char>(text[pos]);
            if (b < 0x80) {
                out += static_cast<char>(b);
                ++pos;
                continue;
            }
            char32_t c = 0;
            if (!decodeUtf8(text, pos, c))
                throw Error("Testo UTF-8 non valido alla posizione " + std::to_string(pos + 1));
            auto it = table.fromUnicode.find(c);
            if (it == table.fromUnicode.end())
                throw Error("Il carattere " + describe(c) +
                            " non è rappresentabile nella code page " + std::to_string(codePage));
            out += static_cast<char>(it->second);
        }
        return out;
    }
    // Multi-byte code pages: validate first so that the failing character can be named.
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = 0;
        if (!decodeUtf8(text, pos, c))
            throw Error("Testo UTF-8 non valido alla posizione " + std::to_string(pos + 1));
    }
    Iconv conv(cp.name, "UTF-8");
    size_t consumed = 0;
    if (!conv.convert(text, out, consumed)) {
        size_t at = consumed;
        char32_t c = 0;
        decodeUtf8(text, at, c);
        throw Error("Il carattere " + describe(c) + " non è rappresentabile nella code page " +
                    std::to_string(codePage));
    }
    return out;
}

}  // namespace korva::codepage
