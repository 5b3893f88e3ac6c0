// Fields of the current record: values read from and stored into the record's bytes, as
// numbers, dates, bytes or text in the inspection tools' formats.

#include "engines/paradox/table.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <string.h>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace korva::paradox {

using detail::getInt;
using detail::putInt;
using detail::storeText;

// ---- values in record bytes ---------------------------------------------------------------------

std::int64_t detail::getInt(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = loadBE(p, bytes) ^ (1ull << (8 * bytes - 1));
    if (v & (1ull << (8 * bytes - 1)))
        return static_cast<std::int64_t>(v | (~0ull << (8 * bytes)));
    return static_cast<std::int64_t>(v);
}

void detail::putInt(std::uint8_t* p, std::int64_t v, int bytes)
{
    storeBE(p, static_cast<std::uint64_t>(v) ^ (1ull << (8 * bytes - 1)), bytes);
}

namespace {

std::string trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

bool parseInt(std::string_view s, std::int64_t& v)
{
    std::string t = trimmed(s);
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty();
}

bool parseDouble(std::string_view s, double& v)
{
    std::string t = trimmed(s);
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    for (char& c : t)
        if (c == ',')
            c = '.';
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty() && std::isfinite(v);
}

bool parseDate(std::string_view s, Date& d)
{
    std::string t = trimmed(s);
    int y = 0, m = 0, dd = 0;
    char a = 0, b = 0;
    if (std::sscanf(t.c_str(), "%d%c%d%c%d", &y, &a, &m, &b, &dd) != 5 || a != '-' || b != '-' ||
        t.size() != 10)
        return false;
    d = {y, m, dd};
    return validDate(d);
}

bool parseTime(std::string_view s, std::int64_t& ms)
{
    std::string t = trimmed(s);
    int h = 0, m = 0, sec = 0, frac = 0;
    int n = 0;
    if (std::sscanf(t.c_str(), "%d:%d%n", &h, &m, &n) != 2)
        return false;
    std::size_t at = static_cast<std::size_t>(n);
    if (at < t.size()) {
        int n2 = 0;
        if (std::sscanf(t.c_str() + at, ":%d%n", &sec, &n2) != 1)
            return false;
        at += static_cast<std::size_t>(n2);
        if (at < t.size()) {
            if (t[at] != '.')
                return false;
            std::string f = t.substr(at + 1);
            if (f.empty() || f.size() > 3 || f.find_first_not_of("0123456789") != std::string::npos)
                return false;
            while (f.size() < 3)
                f += '0';
            frac = std::stoi(f);
        }
    }
    if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
        return false;
    ms = ((h * 60 + m) * 60 + sec) * 1000LL + frac;
    return true;
}

bool parseHex(std::string_view s, std::string& out)
{
    if (s.size() % 2)
        return false;
    out.clear();
    for (std::size_t i = 0; i < s.size(); i += 2) {
        int v = 0;
        auto r = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + i + 2)
            return false;
        out += static_cast<char>(v);
    }
    return true;
}

[[noreturn]] void badValue(const FieldInfo& f, std::string_view text)
{
    throw Error("Il valore \"" + std::string(text) + "\" non è valido per il campo " + f.def.name +
                " (" + typeName(f.def.type) + ")");
}

[[noreturn]] void tooLong(const FieldInfo& f, std::string_view text)
{
    throw Error("Il valore \"" + std::string(text) + "\" non entra nel campo " + f.def.name + " (" +
                std::to_string(f.def.size) + (f.def.type == FieldType::Alpha ? " caratteri)" : " byte)"));
}

void storeInteger(const FieldInfo& f, std::uint8_t* p, std::int64_t v, std::string_view shown)
{
    switch (f.def.type) {
    case FieldType::Short:
        if (v < -32767 || v > 32767)
            badValue(f, shown);
        putInt(p, v, 2);
        return;
    case FieldType::Long:
    case FieldType::AutoInc:
        if (v < -2147483647LL || v > 2147483647LL || (f.def.type == FieldType::AutoInc && v < 1))
            badValue(f, shown);
        putInt(p, v, 4);
        return;
    case FieldType::Number:
    case FieldType::Money:
        storeBE(p, encodeDouble(static_cast<double>(v)), 8);
        return;
    case FieldType::Bcd: {
        std::string t = std::to_string(v);
        if (!encodeBcd(t, f.def.size, p))
            badValue(f, shown);
        return;
    }
    case FieldType::Logical:
        p[0] = v ? 0x81 : 0x80;
        return;
    default:
        badValue(f, shown);
    }
}

}  // namespace

// Stores a value given as text (the inspection tools' formats) into the field's bytes.
void detail::storeText(const FieldInfo& f, int codePage, std::uint8_t* p, std::string_view text,
                       std::string* blobOut)
{
    const FieldType t = f.def.type;
    if (text.empty() && !isBlob(t)) {
        std::memset(p, 0, static_cast<std::size_t>(f.bytes));
        return;
    }
    switch (t) {
    case FieldType::Alpha: {
        std::string bytes = codepage::fromUtf8(text, codePage);
        if (bytes.size() > static_cast<std::size_t>(f.def.size))
            tooLong(f, text);
        if (bytes.find('\0') != std::string::npos)
            badValue(f, text);
        std::memset(p, 0, static_cast<std::size_t>(f.bytes));
        std::memcpy(p, bytes.data(), bytes.size());
        return;
    }
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc: {
        std::int64_t v = 0;
        if (!parseInt(text, v))
            badValue(f, text);
        storeInteger(f, p, v, text);
        return;
    }
    case FieldType::Number:
    case FieldType::Money: {
        double v = 0;
        if (!parseDouble(text, v))
            badValue(f, text);
        storeBE(p, encodeDouble(v), 8);
        return;
    }
    case FieldType::Bcd:
        if (!encodeBcd(trimmed(text), f.def.size, p))
            badValue(f, text);
        return;
    case FieldType::Date: {
        Date d;
        if (!parseDate(text, d))
            badValue(f, text);
        putInt(p, dateToDays(d), 4);
        return;
    }
    case FieldType::Time: {
        std::int64_t ms = 0;
        if (!parseTime(text, ms))
            badValue(f, text);
        putInt(p, ms, 4);
        return;
    }
    case FieldType::Timestamp: {
        std::string s = trimmed(text);
        auto blank = s.find(' ');
        Date d;
        std::int64_t ms = 0;
        if (!parseDate(s.substr(0, blank), d) ||
            (blank != std::string::npos && !parseTime(s.substr(blank + 1), ms)))
            badValue(f, text);
        storeBE(p, encodeDouble(static_cast<double>(dateToDays(d)) * 86400000.0 + static_cast<double>(ms)), 8);
        return;
    }
    case FieldType::Logical: {
        std::string s = trimmed(text);
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (s == "true" || s == "1" || s == "t" || s == "si" || s == "sì" || s == "s")
            p[0] = 0x81;
        else if (s == "false" || s == "0" || s == "f" || s == "no" || s == "n")
            p[0] = 0x80;
        else
            badValue(f, text);
        return;
    }
    case FieldType::Bytes: {
        std::string raw;
        if (!parseHex(trimmed(text), raw))
            badValue(f, text);
        if (raw.size() > static_cast<std::size_t>(f.def.size))
            tooLong(f, text);
        std::memset(p, 0, static_cast<std::size_t>(f.bytes));
        std::memcpy(p, raw.data(), raw.size());
        return;
    }
    default:
        break;
    }
    // Blobs: memo as text, the others in hex.
    std::string value;
    if (t == FieldType::Memo)
        value = codepage::fromUtf8(text, codePage);
    else if (!parseHex(trimmed(text), value))
        badValue(f, text);
    *blobOut = value;
}

// ---- field --------------------------------------------------------------------------------------

const FieldDef& Field::def() const
{
    t_->requireActive();
    return t_->file_->fields()[static_cast<std::size_t>(i_)].def;
}

bool Field::isNull() const
{
    t_->requireActive();
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (isBlob(f.def.type)) {
        auto it = t_->pendingBlobs_.find(i_);
        if (it != t_->pendingBlobs_.end())
            return it->second.empty();
        return get32(t_->buffer() + f.offset + f.def.size + 4) == 0;
    }
    if (f.def.type == FieldType::Bcd)  // 0x40 is set in every value that is not blank
        return (t_->buffer()[f.offset] & 0x40) == 0;
    return allZero(t_->buffer() + f.offset, static_cast<std::size_t>(f.bytes));
}

std::string Field::asString() const
{
    if (isNull())
        return {};
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Memo)
        return codepage::toUtf8(asBytes(), t_->file_->codePage());
    if (isBlob(f.def.type))
        return toHex(asBytes());
    return detail::valueText(f, t_->buffer() + f.offset, t_->file_->codePage());
}

std::string detail::valueText(const FieldInfo& f, const std::uint8_t* p, int codePage)
{
    if (f.def.type == FieldType::Bcd ? (p[0] & 0x40) == 0 : allZero(p, static_cast<std::size_t>(f.bytes)))
        return {};
    switch (f.def.type) {
    case FieldType::Alpha: {
        std::size_t len = strnlen(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.bytes));
        return codepage::toUtf8(std::string_view(reinterpret_cast<const char*>(p), len), codePage);
    }
    case FieldType::Short:
        return std::to_string(getInt(p, 2));
    case FieldType::Long:
    case FieldType::AutoInc:
        return std::to_string(getInt(p, 4));
    case FieldType::Number:
    case FieldType::Money:
        return formatDouble(decodeDouble(loadBE(p, 8)));
    case FieldType::Bcd:
        return decodeBcd(p, f.def.size);
    case FieldType::Date:
        return formatDate(daysToDate(getInt(p, 4)));
    case FieldType::Time:
        return formatTime(getInt(p, 4));
    case FieldType::Timestamp:
        return formatTimestamp(decodeDouble(loadBE(p, 8)));
    case FieldType::Logical:
        return p[0] == 0x81 ? "true" : "false";
    default:
        return toHex(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.bytes)));
    }
}

std::int64_t Field::asInteger() const
{
    if (isNull())
        return 0;
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    const std::uint8_t* p = t_->buffer() + f.offset;
    switch (f.def.type) {
    case FieldType::Short:
        return getInt(p, 2);
    case FieldType::Long:
    case FieldType::AutoInc:
    case FieldType::Date:
    case FieldType::Time:
        return getInt(p, 4);
    case FieldType::Logical:
        return p[0] == 0x81;
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp:
    case FieldType::Bcd:
        return std::llround(asFloat());
    default:
        throw Error("Il campo " + f.def.name + " (" + typeName(f.def.type) + ") non è numerico");
    }
}

double Field::asFloat() const
{
    if (isNull())
        return 0;
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    const std::uint8_t* p = t_->buffer() + f.offset;
    switch (f.def.type) {
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp:
        return decodeDouble(loadBE(p, 8));
    case FieldType::Bcd:
        return std::stod(decodeBcd(p, f.def.size));
    default:
        return static_cast<double>(asInteger());
    }
}

bool Field::asBoolean() const
{
    return asInteger() != 0;
}

Date Field::asDate() const
{
    if (isNull())
        return {};
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Timestamp)
        return daysToDate(timestampDay(asTimestamp()));
    if (f.def.type != FieldType::Date)
        throw Error("Il campo " + f.def.name + " non è una data");
    return daysToDate(asInteger());
}

std::int64_t Field::asTime() const
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Timestamp) {
        const double ms = asTimestamp();
        return static_cast<std::int64_t>(std::llround(ms - static_cast<double>(timestampDay(ms)) * 86400000.0));
    }
    return asInteger();
}

double Field::asTimestamp() const
{
    if (isNull())
        return 0;
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Date)
        return static_cast<double>(asInteger()) * 86400000.0;
    return asFloat();
}

std::string Field::asBytes() const
{
    t_->requireActive();
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (isBlob(f.def.type)) {
        auto it = t_->pendingBlobs_.find(i_);
        if (it != t_->pendingBlobs_.end())
            return it->second;
        if (get32(t_->buffer() + f.offset + f.def.size + 4) == 0)
            return {};
        ReadScope scope(*t_->file_);
        return t_->file_->readBlob(t_->buffer(), i_);
    }
    return std::string(reinterpret_cast<const char*>(t_->buffer() + f.offset), static_cast<std::size_t>(f.bytes));
}

namespace {
void requireWritable(const Table& t, DataSetState s, const std::string& name)
{
    if (s != DataSetState::Edit && s != DataSetState::Insert && s != DataSetState::SetKey)
        throw Error("Impossibile assegnare il campo " + name + ": la tabella " + t.displayName() +
                    " non è in modifica");
}
}  // namespace

void Field::setString(std::string_view text)
{
    requireWritable(*t_, t_->state_, name());
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    std::string blob;
    storeText(f, t_->file_->codePage(), t_->buffer() + f.offset, text, &blob);
    if (isBlob(f.def.type)) {
        if (t_->state_ == DataSetState::SetKey)
            throw Error("Il campo " + f.def.name + " non può far parte di una chiave");
        t_->pendingBlobs_[i_] = blob;
    }
    if (t_->state_ == DataSetState::SetKey)
        t_->keyAssigned_.insert(i_);
}

void Field::setInteger(std::int64_t v)
{
    requireWritable(*t_, t_->state_, name());
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Alpha || isBlob(f.def.type))
        return setString(std::to_string(v));
    storeInteger(f, t_->buffer() + f.offset, v, std::to_string(v));
    if (t_->state_ == DataSetState::SetKey)
        t_->keyAssigned_.insert(i_);
}

void Field::setFloat(double v)
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Number || f.def.type == FieldType::Money ||
        f.def.type == FieldType::Timestamp) {
        requireWritable(*t_, t_->state_, name());
        if (!std::isfinite(v))
            badValue(f, formatDouble(v));
        storeBE(t_->buffer() + f.offset, encodeDouble(v), 8);
        if (t_->state_ == DataSetState::SetKey)
            t_->keyAssigned_.insert(i_);
        return;
    }
    if (f.def.type == FieldType::Alpha || f.def.type == FieldType::Bcd)
        return setString(formatDouble(v));
    if (v != std::floor(v))
        badValue(f, formatDouble(v));
    setInteger(static_cast<std::int64_t>(v));
}

void Field::setBoolean(bool v)
{
    setString(v ? "true" : "false");
}

void Field::setDate(const Date& d)
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (!validDate(d))
        badValue(f, formatDate(d));
    if (f.def.type == FieldType::Timestamp)
        return setTimestamp(static_cast<double>(dateToDays(d)) * 86400000.0);
    setString(formatDate(d));
}

void Field::setTime(std::int64_t ms)
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (ms < 0 || ms >= 86400000)
        badValue(f, std::to_string(ms));
    setString(formatTime(ms));
}

void Field::setTimestamp(double ms)
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type != FieldType::Timestamp)
        return setString(formatTimestamp(ms));
    setFloat(ms);
}

void Field::setBytes(std::string_view bytes)
{
    requireWritable(*t_, t_->state_, name());
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (isBlob(f.def.type)) {
        if (t_->state_ == DataSetState::SetKey)
            throw Error("Il campo " + f.def.name + " non può far parte di una chiave");
        t_->pendingBlobs_[i_] = std::string(bytes);
        return;
    }
    if (f.def.type == FieldType::Alpha)
        return setString(codepage::toUtf8(bytes, t_->file_->codePage()));
    if (bytes.size() > static_cast<std::size_t>(f.bytes))
        tooLong(f, toHex(bytes));
    std::uint8_t* p = t_->buffer() + f.offset;
    std::memset(p, 0, static_cast<std::size_t>(f.bytes));
    std::memcpy(p, bytes.data(), bytes.size());
}

void Field::clear()
{
    requireWritable(*t_, t_->state_, name());
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (isBlob(f.def.type)) {
        t_->pendingBlobs_[i_] = std::string();
        return;
    }
    std::memset(t_->buffer() + f.offset, 0, static_cast<std::size_t>(f.bytes));
}

}  // namespace korva::paradox
