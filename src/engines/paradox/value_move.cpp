#include "engines/paradox/value_move.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace korva::paradox {

namespace {

// A decimal number as 0.<digits> x 10^exponent, the digits without leading or trailing zeros
// (none for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
    bool operator==(const Decimal&) const = default;
};

std::optional<Decimal> decimalOf(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    Decimal d;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        d.negative = s[i++] == '-';
    std::string whole, fraction;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9')
            (point ? fraction : whole) += c;
        else if ((c == '.' || c == ',') && !point)
            point = true;
        else
            break;
    }
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        const std::string_view e = s.substr(i);
        const char* begin = e.data() + (!e.empty() && e[0] == '+' ? 1 : 0);
        auto [end, ec] = std::from_chars(begin, e.data() + e.size(), exponent);
        if (ec != std::errc() || end != e.data() + e.size() || end == begin || std::labs(exponent) > 100000)
            return std::nullopt;
        i = s.size();
    }
    if (i != s.size())
        return std::nullopt;
    d.digits = whole + fraction;
    d.exponent = static_cast<long>(whole.size()) + exponent;
    const std::size_t lead = d.digits.find_first_not_of('0');
    if (lead == std::string::npos)
        return Decimal{};
    d.digits.erase(0, lead);
    d.exponent -= static_cast<long>(lead);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
    return d;
}

[[noreturn]] void refuse(const FieldInfo& b, const std::string& shown, const std::string& why)
{
    throw Error("Il valore \"" + shown + "\" non si può portare nel campo " + b.def.name + " (" +
                typeName(b.def.type) + ")" + (why.empty() ? "" : ": " + why));
}

// "1.000", "-12,500": one separator before exactly three digits, after one to three digits
// that do not begin with 0. An Italian text reads it as thousands, another as decimals.
bool thousandsOrDecimals(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (!s.empty() && (s.front() == '+' || s.front() == '-'))
        s.remove_prefix(1);
    const auto sep = s.find_first_of(".,");
    auto digitsOnly = [](std::string_view d) {
        return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return sep != std::string_view::npos && sep >= 1 && sep <= 3 && s[0] != '0' && s.size() == sep + 4 &&
           digitsOnly(s.substr(0, sep)) && digitsOnly(s.substr(sep + 1));
}

bool integerType(FieldType t)
{
    return t == FieldType::Short || t == FieldType::Long || t == FieldType::AutoInc;
}

bool numberType(FieldType t)
{
    return t == FieldType::Number || t == FieldType::Money;
}

bool textBlob(FieldType t)
{
    return t == FieldType::Memo || t == FieldType::FmtMemo;
}

// The source as text, when text is a faithful form of it; the bytes of binary values are not.
std::string textOf(const FieldInfo& a, const std::uint8_t* from, int cpFrom, const std::string& blobFrom,
                   const FieldInfo& b)
{
    if (textBlob(a.def.type))
        return codepage::toUtf8(blobFrom, cpFrom);
    if (isBlob(a.def.type) || a.def.type == FieldType::Bytes)
        refuse(b, (isBlob(a.def.type) ? toHex(blobFrom) : detail::valueText(a, from, cpFrom)).substr(0, 64),
               "un valore binario (" + typeName(a.def.type) + ") non diventa un altro tipo");
    const std::string text = detail::valueText(a, from, cpFrom);
    if (a.def.type == FieldType::Timestamp) {
        // Its text keeps milliseconds: a fraction of one would be lost.
        const double ms = decodeDouble(loadBE(from, 8));
        if (ms != std::floor(ms))
            refuse(b, text, "la data e ora ha frazioni di millisecondo");
    }
    return text;
}

// Raw bytes of a source that has them as such: blobs, bytes, text of an alpha field.
std::string bytesOf(const FieldInfo& a, const std::uint8_t* from, const std::string& blobFrom)
{
    if (isBlob(a.def.type))
        return blobFrom;
    if (a.def.type == FieldType::Alpha)
        return std::string(reinterpret_cast<const char*>(from),
                           strnlen(reinterpret_cast<const char*>(from), static_cast<std::size_t>(a.bytes)));
    return std::string(reinterpret_cast<const char*>(from), static_cast<std::size_t>(a.bytes));
}

void toBlob(const FieldInfo& a, const std::uint8_t* from, int cpFrom, const std::string& blobFrom,
            const FieldInfo& b, int cpTo, std::string& blobTo)
{
    const FieldType ta = a.def.type;
    if (textBlob(b.def.type) && !isBlob(ta) && ta != FieldType::Bytes) {
        // Text, in the new table's code page.
        blobTo = codepage::fromUtf8(textOf(a, from, cpFrom, blobFrom, b), cpTo);
        return;
    }
    if (isBlob(ta) || ta == FieldType::Bytes || ta == FieldType::Alpha) {
        blobTo = bytesOf(a, from, blobFrom);
        return;
    }
    refuse(b, detail::valueText(a, from, cpFrom), typeName(ta) + " non diventa un valore binario");
}

}  // namespace

std::optional<double> exactDouble(std::string_view text)
{
    const auto d = decimalOf(text);
    if (!d)
        return std::nullopt;
    if (d->digits.empty())
        return 0.0;
    const std::string normal = (d->negative ? "-0." : "0.") + d->digits + "e" + std::to_string(d->exponent);
    double v = 0;
    auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), v);
    if (ec != std::errc() || end != normal.data() + normal.size() || !std::isfinite(v))
        return std::nullopt;
    char shortest[64];
    auto r = std::to_chars(shortest, shortest + sizeof shortest, v);
    if (decimalOf(std::string_view(shortest, static_cast<std::size_t>(r.ptr - shortest))) != d)
        return std::nullopt;
    return v;
}

void moveValue(const FieldInfo& a, const std::uint8_t* from, int cpFrom, const std::string& blobFrom,
               const FieldInfo& b, std::uint8_t* to, int cpTo, std::string& blobTo)
{
    const FieldType ta = a.def.type, tb = b.def.type;
    if (isBlob(tb)) {
        toBlob(a, from, cpFrom, blobFrom, b, cpTo, blobTo);
        return;
    }
    // The same type in the same room (alpha in the same code page): the same bytes.
    if (ta == tb && a.bytes == b.bytes && !isBlob(ta) && (ta != FieldType::Alpha || cpFrom == cpTo)) {
        std::memcpy(to, from, static_cast<std::size_t>(b.bytes));
        return;
    }
    if (tb == FieldType::Bytes) {
        if (ta != FieldType::Bytes && ta != FieldType::Alpha && !isBlob(ta))
            refuse(b, detail::valueText(a, from, cpFrom), typeName(ta) + " non diventa un valore binario");
        const std::string raw = bytesOf(a, from, blobFrom);
        if (raw.size() > static_cast<std::size_t>(b.def.size))
            refuse(b, toHex(raw).substr(0, 64), "più lungo di " + std::to_string(b.def.size) + " byte");
        std::memset(to, 0, static_cast<std::size_t>(b.bytes));
        std::memcpy(to, raw.data(), raw.size());
        return;
    }
    if (numberType(tb)) {
        if (integerType(ta)) {
            storeBE(to, encodeDouble(static_cast<double>(detail::getInt(from, a.bytes))), 8);
            return;
        }
        if (numberType(ta)) {
            std::memcpy(to, from, 8);
            return;
        }
        const std::string text = textOf(a, from, cpFrom, blobFrom, b);
        if (thousandsOrDecimals(text))
            refuse(b, text, "il separatore può essere delle migliaia o dei decimali: il numero è ambiguo");
        const auto v = exactDouble(text);
        if (!v)
            refuse(b, text, "un numero in virgola mobile non lo tiene esattamente");
        storeBE(to, encodeDouble(*v), 8);
        return;
    }
    if (integerType(tb) && numberType(ta)) {
        const double v = decodeDouble(loadBE(from, 8));
        if (v != std::trunc(v) || std::fabs(v) > 9e15)
            refuse(b, detail::valueText(a, from, cpFrom), "non è un numero intero");
        std::string blob;
        detail::storeText(b, cpTo, to, std::to_string(static_cast<std::int64_t>(v)), &blob);
        return;
    }
    if (integerType(tb) && ta == FieldType::Logical)
        refuse(b, detail::valueText(a, from, cpFrom), "un valore logico non diventa un numero");
    // Every other pair as text: the new type reads the text exactly or refuses it.
    std::string blob;
    detail::storeText(b, cpTo, to, textOf(a, from, cpFrom, blobFrom, b), &blob);
}

}  // namespace korva::paradox
