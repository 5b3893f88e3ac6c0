#include "engines/paradox/table.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table_file.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <limits>

namespace korva::paradox {

// ---- session ------------------------------------------------------------------------------------

Session::Session(Env& env) : env_(env) {}

Session& Session::standard()
{
    static Session s;
    return s;
}

// ---- values in record bytes ---------------------------------------------------------------------

namespace {

std::int64_t getInt(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = loadBE(p, bytes) ^ (1ull << (8 * bytes - 1));
    if (v & (1ull << (8 * bytes - 1)))
        return static_cast<std::int64_t>(v | (~0ull << (8 * bytes)));
    return static_cast<std::int64_t>(v);
}

void putInt(std::uint8_t* p, std::int64_t v, int bytes)
{
    storeBE(p, static_cast<std::uint64_t>(v) ^ (1ull << (8 * bytes - 1)), bytes);
}

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

// Stores a value given as text (the inspection tools' formats) into the field's bytes.
void storeText(const FieldInfo& f, int codePage, std::uint8_t* p, std::string_view text,
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

}  // namespace

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
    const std::uint8_t* p = t_->buffer() + f.offset;
    switch (f.def.type) {
    case FieldType::Alpha: {
        std::size_t len = strnlen(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.bytes));
        return codepage::toUtf8(std::string_view(reinterpret_cast<const char*>(p), len),
                                t_->file_->codePage());
    }
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        return std::to_string(asInteger());
    case FieldType::Number:
    case FieldType::Money:
        return formatDouble(asFloat());
    case FieldType::Bcd:
        return decodeBcd(p, f.def.size);
    case FieldType::Date:
        return formatDate(asDate());
    case FieldType::Time:
        return formatTime(asTime());
    case FieldType::Timestamp:
        return formatTimestamp(asTimestamp());
    case FieldType::Logical:
        return asBoolean() ? "true" : "false";
    case FieldType::Memo:
        return codepage::toUtf8(asBytes(), t_->file_->codePage());
    default:
        return toHex(asBytes());
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
        return daysToDate(static_cast<std::int64_t>(std::floor(asTimestamp() / 86400000.0)));
    if (f.def.type != FieldType::Date)
        throw Error("Il campo " + f.def.name + " non è una data");
    return daysToDate(asInteger());
}

std::int64_t Field::asTime() const
{
    const FieldInfo& f = t_->file_->fields()[static_cast<std::size_t>(i_)];
    if (f.def.type == FieldType::Timestamp) {
        const double ms = asTimestamp();
        return static_cast<std::int64_t>(std::llround(ms - std::floor(ms / 86400000.0) * 86400000.0));
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

// ---- table: address and operations -------------------------------------------------------------

Table::Table(Session& session) : session_(session) {}

Table::~Table()
{
    try {
        close();
    } catch (const Error&) {
    }
}

void Table::setDatabaseName(std::string dir)
{
    requireClosed("cambiare la directory");
    dir_ = std::move(dir);
}

void Table::setTableName(std::string name)
{
    requireClosed("cambiare il nome");
    name_ = std::move(name);
}

void Table::setExclusive(bool e)
{
    requireClosed("cambiare il modo di apertura");
    exclusive_ = e;
}

std::string Table::dirFs() const
{
    std::string d = percorsoFs(dir_);
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (d.empty())
        return ".";
    if (auto r = risolviPercorso(d))
        return *r;
    return d;
}

namespace {
std::string withExtension(const std::string& name)
{
    std::string n = percorsoFs(name);
    if (auto slash = n.rfind('/'); slash != std::string::npos)
        n = n.substr(slash + 1);
    if (n.rfind('.') == std::string::npos)
        n += ".DB";
    return n;
}
}  // namespace

std::string Table::displayName() const
{
    std::string d = percorsoFs(dir_);
    if (!d.empty() && d.back() != '/')
        d += '/';
    return d + withExtension(name_);
}

std::optional<std::string> Table::resolvedPath() const
{
    const std::string dir = dirFs();
    const std::string name = withExtension(name_);
    Env& env = session_.env();
    if (env.exists(dir + "/" + name))
        return dir + "/" + name;
    if (!env.exists(dir))
        return std::nullopt;
    std::optional<std::string> found;
    for (const auto& e : env.list(dir)) {
        if (strcasecmp(e.c_str(), name.c_str()) != 0)
            continue;
        if (found)
            throw Error("Nome ambiguo: \"" + *found + "\" e \"" + dir + "/" + e + "\"");
        found = dir + "/" + e;
    }
    return found;
}

bool Table::exists() const
{
    return resolvedPath().has_value();
}

void Table::requireActive() const
{
    if (!file_)
        throw Error("La tabella " + displayName() + " non è aperta");
}

void Table::requireClosed(const char* what) const
{
    if (file_)
        throw Error("Impossibile " + std::string(what) + ": la tabella " + displayName() +
                    " è aperta");
}

void Table::createTable()
{
    requireClosed("creare la tabella");
    paradox::createTable(session_, dirFs(), withExtension(name_), fieldDefs, indexDefs);
}

void Table::deleteTable()
{
    requireClosed("eliminare la tabella");
    paradox::deleteTable(session_, dirFs(), withExtension(name_));
}

void Table::emptyTable()
{
    requireClosed("azzerare la tabella");
    paradox::emptyTable(session_, dirFs(), withExtension(name_));
}

void Table::renameTable(const std::string& newName)
{
    requireClosed("rinominare la tabella");
    paradox::renameTable(session_, dirFs(), withExtension(name_), withExtension(newName));
}

void Session::dropIdleConnections()
{
    // A closed table keeps nothing open: every handle goes with its table object's close.
}

// ---- opening -------------------------------------------------------------------------------------

void Table::open()
{
    if (file_)
        return;
    auto path = resolvedPath();
    if (!path)
        throw Error("La tabella " + displayName() + " non esiste");
    const std::string dir = path->substr(0, path->rfind('/'));
    const std::string db = path->substr(path->rfind('/') + 1);
    completePendingSwitch(session_.env(), dir, db.substr(0, db.rfind('.')));
    file_ = std::make_unique<TableFile>(session_.env(), dir, db, exclusive_, displayName());
    file_->setDurable(session_.durable());
    fieldDefs = file_->fieldDefs();
    indexDefs = file_->indexDefs();
    buf_.assign(static_cast<std::size_t>(file_->recordSize()), 0);
    orig_ = buf_;
    keyBuf_ = buf_;
    state_ = DataSetState::Browse;
    indexName_.clear();
    ranged_ = false;
    pendingBlobs_.clear();
    first();
}

void Table::close()
{
    if (!file_)
        return;
    if (file_->inBatch())
        file_->endBatch(true);
    file_.reset();
    state_ = DataSetState::Inactive;
    hasRecord_ = false;
    bof_ = eof_ = true;
}

void Table::updateFieldDefs()
{
    requireActive();
    fieldDefs = file_->fieldDefs();
}

void Table::updateIndexDefs()
{
    requireActive();
    indexDefs = file_->indexDefs();
}

std::optional<IndexDef> Table::findIndex(std::string_view name) const
{
    for (const auto& ix : indexDefs)
        if (ix.name.size() == name.size() && strncasecmp(ix.name.data(), name.data(), name.size()) == 0)
            return ix;
    return std::nullopt;
}

std::uint32_t Table::recordCount()
{
    requireActive();
    ReadScope scope(*file_);
    return file_->recordCount();
}

TableFile& Table::file()
{
    requireActive();
    return *file_;
}

std::vector<std::string> Table::check()
{
    requireActive();
    ReadScope scope(*file_);
    return file_->check();
}

int Table::fieldCount() const
{
    requireActive();
    return static_cast<int>(file_->fields().size());
}

std::optional<int> Table::fieldIndex(std::string_view name) const
{
    requireActive();
    int i = file_->fieldIndex(name);
    if (i < 0)
        return std::nullopt;
    return i;
}

Field Table::field(int index)
{
    requireActive();
    if (index < 0 || index >= fieldCount())
        throw Error("La tabella " + displayName() + " non ha il campo numero " +
                    std::to_string(index + 1));
    return Field(*this, index);
}

Field Table::field(std::string_view name)
{
    requireActive();
    int i = file_->fieldIndex(name);
    if (i < 0)
        throw Error("Campo " + std::string(name) + " non trovato nella tabella " + displayName());
    return Field(*this, i);
}

std::uint8_t* Table::buffer()
{
    return state_ == DataSetState::SetKey ? keyBuf_.data() : buf_.data();
}

const std::uint8_t* Table::buffer() const
{
    return state_ == DataSetState::SetKey ? keyBuf_.data() : buf_.data();
}

void Table::notify()
{
    if (disabled_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    if (onChange_)
        onChange_();
}

void Table::enableControls()
{
    if (disabled_ > 0 && --disabled_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        if (onChange_)
            onChange_();
    }
}

// ---- navigation ----------------------------------------------------------------------------------

void Table::requireBrowse(const char* what) const
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        throw Error("Impossibile " + std::string(what) + ": la tabella " + displayName() +
                    " ha modifiche non confermate");
}

int Table::compareKey(const std::uint8_t* a, const std::uint8_t* b, int nfields) const
{
    if (secIndex_ < 0)
        return file_->compareKeys(a, b, nfields);
    const SecondaryIndex& si = file_->secondaries()[static_cast<std::size_t>(secIndex_)];
    const Collation* coll = file_->readCollation();
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    for (int i = 0; i < nfields && i < static_cast<int>(si.fields.size()); ++i) {
        const FieldInfo& f = file_->fields()[static_cast<std::size_t>(si.fields[static_cast<std::size_t>(i)])];
        int c;
        if (f.def.type == FieldType::Alpha) {
            auto text = [&](const std::uint8_t* p) {
                return std::string_view(reinterpret_cast<const char*>(p + f.offset),
                                        strnlen(reinterpret_cast<const char*>(p + f.offset),
                                                static_cast<std::size_t>(f.bytes)));
            };
            if (coll)
                c = ci ? coll->compareCaseInsensitive(text(a), text(b)) : coll->compare(text(a), text(b));
            else
                c = text(a).compare(text(b));
        } else {
            c = std::memcmp(a + f.offset, b + f.offset, static_cast<std::size_t>(f.bytes));
        }
        if (si.descending[static_cast<std::size_t>(i)])
            c = -c;
        if (c)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

int Table::indexFieldCount() const
{
    if (secIndex_ < 0)
        return file_->keyFields();
    return static_cast<int>(file_->secondaries()[static_cast<std::size_t>(secIndex_)].fields.size());
}

int Table::indexField(int i) const
{
    if (secIndex_ < 0)
        return i;
    return file_->secondaries()[static_cast<std::size_t>(secIndex_)].fields[static_cast<std::size_t>(i)];
}

int Table::assignedKeyFields() const
{
    int n = 0;
    while (n < indexFieldCount() && keyAssigned_.count(indexField(n)))
        ++n;
    return n > 0 ? n : indexFieldCount();
}

// The records in the order of the current secondary index (the primary key, or the place in
// the table, settles equal keys).
void Table::buildOrder()
{
    std::vector<std::pair<std::string, Pos>> recs;
    recs.reserve(file_->recordCount());
    for (int b = 0; b < file_->blocks(); ++b)
        for (int r = 0; r < file_->countIn(b); ++r)
            recs.emplace_back(std::string(reinterpret_cast<const char*>(file_->record({b, r})),
                                          static_cast<std::size_t>(file_->recordSize())),
                              Pos{b, r});
    const int n = indexFieldCount();
    std::stable_sort(recs.begin(), recs.end(), [&](const auto& x, const auto& y) {
        return compareKey(reinterpret_cast<const std::uint8_t*>(x.first.data()),
                          reinterpret_cast<const std::uint8_t*>(y.first.data()), n) < 0;
    });
    orderRecs_.clear();
    orderPos_.clear();
    for (auto& [rec, pos] : recs) {
        orderRecs_.push_back(std::move(rec));
        orderPos_.push_back(pos);
    }
    orderGen_ = file_->generation();
    orderAborts_ = file_->aborts();
    orderValid_ = true;
}

void Table::ensureOrder()
{
    if (secIndex_ >= 0 && (!orderValid_ || orderGen_ != file_->generation()))
        buildOrder();
}

const std::uint8_t* Table::orderRec(int i) const
{
    return reinterpret_cast<const std::uint8_t*>(orderRecs_[static_cast<std::size_t>(i)].data());
}

// The first entry of the order whose key is >= key (`upper`: > key).
int Table::orderBound(const std::uint8_t* key, int nfields, bool upper) const
{
    int lo = 0, hi = static_cast<int>(orderRecs_.size());
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        int c = compareKey(orderRec(mid), key, nfields);
        if (c < 0 || (upper && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void Table::setOrderPos(int i)
{
    opos_ = i;
    const Pos p = orderPos_[static_cast<std::size_t>(i)];
    setPos(true, p.block, p.rec);
}

bool Table::inRange(const std::uint8_t* rec) const
{
    if (!ranged_)
        return true;
    return compareKey(rec, rangeStart_.data(), rangeFields_) >= 0 &&
           compareKey(rec, rangeEnd_.data(), rangeFields_) <= 0;
}

void Table::loadCurrent()
{
    if (hasRecord_) {
        const std::uint8_t* r = file_->record({block_, rec_});
        orig_.assign(r, r + file_->recordSize());
        // The place in the table finds a record of an unkeyed table again after others
        // changed it; elsewhere it is worked out when asked for (it costs a walk of the blocks).
        ordinalKnown_ = !file_->exclusive() && file_->keyFields() == 0;
        if (ordinalKnown_)
            ordinal_ = file_->ordinal({block_, rec_});
    } else {
        std::fill(orig_.begin(), orig_.end(), 0);
    }
    buf_ = orig_;
    gen_ = file_->generation();
    pendingBlobs_.clear();
}

void Table::setPos(bool found, int block, int rec)
{
    hasRecord_ = found;
    block_ = block;
    rec_ = rec;
    loadCurrent();
}

namespace {
// Steps through the chain order of a table file, skipping empty blocks.
bool stepNext(TableFile& f, int& b, int& r)
{
    if (b < f.blocks() && r + 1 < f.countIn(b)) {
        ++r;
        return true;
    }
    for (int n = b + 1; n < f.blocks(); ++n)
        if (f.countIn(n) > 0) {
            b = n;
            r = 0;
            return true;
        }
    return false;
}

bool stepPrior(TableFile& f, int& b, int& r)
{
    if (r > 0 && b < f.blocks()) {
        --r;
        return true;
    }
    for (int n = std::min(b, f.blocks()) - 1; n >= 0; --n)
        if (f.countIn(n) > 0) {
            b = n;
            r = f.countIn(n) - 1;
            return true;
        }
    return false;
}
}  // namespace

bool Table::findCurrent(int& block, int& rec)
{
    if (!hasRecord_)
        return false;
    if (file_->keyFields() > 0) {
        bool exact = false;
        Pos p = file_->lowerBound(orig_.data(), file_->keyFields(), exact);
        block = p.block;
        rec = p.rec;
        return exact;
    }
    // Where it was, when nothing moved it; else where its place in the table says.
    if (block_ < file_->blocks() && rec_ < file_->countIn(block_) &&
        std::memcmp(file_->record({block_, rec_}), orig_.data(), orig_.size()) == 0) {
        block = block_;
        rec = rec_;
        return true;
    }
    Pos p = file_->fromOrdinal(ordinal_);
    if (ordinalKnown_ && p.block < file_->blocks() &&
        std::memcmp(file_->record(p), orig_.data(), orig_.size()) == 0) {
        block = p.block;
        rec = p.rec;
        return true;
    }
    for (int b = 0; b < file_->blocks(); ++b)
        for (int r = 0; r < file_->countIn(b); ++r)
            if (std::memcmp(file_->record({b, r}), orig_.data(), orig_.size()) == 0) {
                block = b;
                rec = r;
                return true;
            }
    p = file_->fromOrdinal(ordinal_);
    block = p.block;
    rec = p.rec;
    return false;
}

// After other users changed the table, finds the current record again (or the one now in its
// place).
void Table::relocate()
{
    if (secIndex_ >= 0) {
        if (orderValid_ && orderGen_ == file_->generation() && orderAborts_ == file_->aborts())
            return;
        buildOrder();
        if (!hasRecord_)
            return;
        // The current record again, by its bytes; else the one now in its place.
        const int n = indexFieldCount();
        int i = orderBound(orig_.data(), n, false);
        for (int j = i; j < static_cast<int>(orderRecs_.size()) && compareKey(orderRec(j), orig_.data(), n) == 0; ++j)
            if (orderRecs_[static_cast<std::size_t>(j)] == std::string(orig_.begin(), orig_.end())) {
                i = j;
                break;
            }
        if (i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i)))
            setOrderPos(i);
        else if (i > 0 && inRange(orderRec(i - 1)))
            setOrderPos(i - 1);
        else
            setPos(false, 0, 0);
        return;
    }
    if (gen_ == file_->generation() || !hasRecord_)
        return;
    int b = 0, r = 0;
    if (findCurrent(b, r)) {
        block_ = b;
        rec_ = r;
        gen_ = file_->generation();
        return;
    }
    if (b < file_->blocks() && r < file_->countIn(b) && inRange(file_->record({b, r})))
        setPos(true, b, r);
    else if (stepPrior(*file_, b, r) && inRange(file_->record({b, r})))
        setPos(true, b, r);
    else
        setPos(false, 0, 0);
}

void Table::first()
{
    requireBrowse("andare al primo record");
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = ranged_ ? orderBound(rangeStart_.data(), rangeFields_, false) : 0;
        const bool found = i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i));
        if (found)
            setOrderPos(i);
        else
            setPos(false, 0, 0);
        bof_ = true;
        eof_ = !found;
        notify();
        return;
    }
    int b = 0, r = -1;
    bool found;
    if (ranged_) {
        bool exact = false;
        Pos p = file_->lowerBound(rangeStart_.data(), rangeFields_, exact);
        b = p.block;
        r = p.rec;
        found = b < file_->blocks() && inRange(file_->record(p));
    } else {
        b = 0;
        found = file_->blocks() > 0 && (file_->countIn(0) > 0 ? (r = 0, true) : stepNext(*file_, b, r));
    }
    setPos(found, b, std::max(r, 0));
    bof_ = true;
    eof_ = !found;
    notify();
}

void Table::last()
{
    requireBrowse("andare all'ultimo record");
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = (ranged_ ? orderBound(rangeEnd_.data(), rangeFields_, true)
                               : static_cast<int>(orderRecs_.size())) - 1;
        const bool found = i >= 0 && inRange(orderRec(i));
        if (found)
            setOrderPos(i);
        else
            setPos(false, 0, 0);
        eof_ = true;
        bof_ = !found;
        notify();
        return;
    }
    int b = file_->blocks(), r = 0;
    if (ranged_) {
        Pos p = file_->upperBound(rangeEnd_.data(), rangeFields_);
        b = p.block;
        r = p.rec;
    }
    bool found = stepPrior(*file_, b, r) && inRange(file_->record({b, r}));
    setPos(found, b, r);
    eof_ = true;
    bof_ = !found;
    notify();
}

void Table::step(bool forward)
{
    requireBrowse(forward ? "andare al record successivo" : "andare al record precedente");
    ReadScope scope(*file_);
    relocate();
    if (secIndex_ >= 0) {
        const int i = opos_ + (forward ? 1 : -1);
        if (hasRecord_ && i >= 0 && i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else {
            (forward ? eof_ : bof_) = true;
        }
        notify();
        return;
    }
    int b = block_, r = rec_;
    if (hasRecord_ && (forward ? stepNext(*file_, b, r) : stepPrior(*file_, b, r)) &&
        inRange(file_->record({b, r}))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else {
        (forward ? eof_ : bof_) = true;
    }
    notify();
}

void Table::next()
{
    step(true);
}

void Table::prior()
{
    step(false);
}

bool Table::isEmpty()
{
    requireActive();
    if (!ranged_)
        return recordCount() == 0;
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = orderBound(rangeStart_.data(), rangeFields_, false);
        return !(i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i)));
    }
    bool exact = false;
    Pos p = file_->lowerBound(rangeStart_.data(), rangeFields_, exact);
    return !(p.block < file_->blocks() && inRange(file_->record(p)));
}

// ---- editing --------------------------------------------------------------------------------------

void Table::blankBuffer()
{
    std::fill(buf_.begin(), buf_.end(), 0);
    pendingBlobs_.clear();
}

void Table::append()
{
    insert();
}

void Table::insert()
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        post();
    if (state_ == DataSetState::SetKey)
        state_ = DataSetState::Browse;
    blankBuffer();
    state_ = DataSetState::Insert;
}

void Table::edit()
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        return;
    if (!hasRecord_)
        throw Error("La tabella " + displayName() + " non ha un record da modificare");
    ReadScope scope(*file_);
    relocate();
    if (!hasRecord_)
        throw Error("Il record da modificare non è più presente nella tabella " + displayName());
    state_ = DataSetState::Edit;
}

void Table::cancel()
{
    requireActive();
    if (state_ == DataSetState::SetKey) {
        state_ = keyReturn_;
        return;
    }
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        return;
    state_ = DataSetState::Browse;
    buf_ = orig_;
    pendingBlobs_.clear();
    notify();
}

void Table::post()
{
    requireActive();
    if (state_ == DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " è in modalità chiave: nessun record da confermare");
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        return;
    TableFile& f = *file_;
    for (std::size_t i = 0; i < f.fields().size(); ++i) {
        const FieldInfo& fi = f.fields()[i];
        if (fi.def.required && fi.def.type != FieldType::AutoInc &&
            Field(*this, static_cast<int>(i)).isNull())
            throw Error("Il campo " + fi.def.name + " della tabella " + displayName() +
                        " è obbligatorio");
    }
    const bool inserting = state_ == DataSetState::Insert;
    f.beginChange();
    Pos at{};
    try {
        if (!inserting) {
            int b = 0, r = 0;
            gen_ = ~0ull;  // always look the record up again under the write lock
            if (!findCurrent(b, r))
                throw Error("Il record è stato modificato o eliminato da un altro utente nella "
                            "tabella " + displayName());
            if (std::memcmp(f.record({b, r}), orig_.data(), orig_.size()) != 0)
                throw Error("Il record è stato modificato da un altro utente nella tabella " +
                            displayName());
            block_ = b;
            rec_ = r;
        }
        f.checkInsert(buf_.data(), inserting ? nullptr : orig_.data());
    } catch (...) {
        f.commitChange();  // nothing was changed: just release
        throw;
    }
    try {
        for (std::size_t i = 0; i < f.fields().size(); ++i) {
            const FieldInfo& fi = f.fields()[i];
            if (fi.def.type == FieldType::AutoInc) {
                std::uint8_t* p = buf_.data() + fi.offset;
                if (allZero(p, 4))
                    putInt(p, f.nextAutoInc(), 4);
                else
                    f.noteAutoInc(static_cast<std::uint32_t>(getInt(p, 4)));
            }
        }
        for (const auto& [i, value] : pendingBlobs_) {
            if (!inserting)
                f.freeBlob(orig_.data(), i);
            f.writeBlob(buf_.data(), i, value);
        }
        at = inserting ? f.insert(buf_.data()) : f.update({block_, rec_}, buf_.data());
        f.commitChange();
    } catch (...) {
        f.abortChange();
        throw;
    }
    state_ = DataSetState::Browse;
    hasRecord_ = true;
    block_ = at.block;
    rec_ = at.rec;
    loadCurrent();
    if (secIndex_ >= 0) {
        orderValid_ = false;
        ReadScope scope(f);
        relocate();
    }
    bof_ = eof_ = false;
    notify();
}

void Table::deleteRecord()
{
    requireActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit)
        cancel();
    if (!hasRecord_)
        throw Error("La tabella " + displayName() + " non ha un record da eliminare");
    TableFile& f = *file_;
    f.beginChange();
    Pos next{};
    try {
        int b = 0, r = 0;
        if (!findCurrent(b, r) || std::memcmp(f.record({b, r}), orig_.data(), orig_.size()) != 0)
            throw Error("Il record da eliminare è stato modificato o eliminato da un altro utente "
                        "nella tabella " + displayName());
        for (std::size_t i = 0; i < f.fields().size(); ++i)
            if (isBlob(f.fields()[i].def.type))
                f.freeBlob(orig_.data(), static_cast<int>(i));
        next = f.erase({b, r});
        f.commitChange();
    } catch (...) {
        f.abortChange();
        throw;
    }
    ReadScope scope(f);
    if (secIndex_ >= 0) {
        // The record after the deleted one in the index's order.
        orderValid_ = false;
        buildOrder();
        const int n = indexFieldCount();
        int i = orderBound(orig_.data(), n, false);
        while (i < static_cast<int>(orderRecs_.size()) && compareKey(orderRec(i), orig_.data(), n) == 0 &&
               file_->compareKeys(orderRec(i), orig_.data(), file_->keyFields()) < 0)
            ++i;
        if (i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else if (i > 0 && inRange(orderRec(i - 1))) {
            setOrderPos(i - 1);
            eof_ = true;
            bof_ = false;
        } else {
            setPos(false, 0, 0);
            bof_ = eof_ = true;
        }
        notify();
        return;
    }
    int b = next.block, r = next.rec;
    if (b < f.blocks() && r < f.countIn(b) && inRange(f.record({b, r}))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else if (stepPrior(f, b, r) && inRange(f.record({b, r}))) {
        setPos(true, b, r);
        eof_ = true;
        bof_ = false;
    } else {
        setPos(false, 0, 0);
        bof_ = eof_ = true;
    }
    notify();
}

void Table::addIndex(const std::string& name, const std::string& fields, unsigned options)
{
    requireBrowse("aggiungere un indice");
    file_->addIndex({name, fields, options});
    // Reopened on the new set of files.
    const std::string current = indexName_;
    close();
    open();
    if (!current.empty())
        setIndexName(current);
}

void Table::batchAppend(Table& source)
{
    requireBrowse("aggiungere i record");
    source.requireBrowse("leggere i record");
    const int n = std::min(fieldCount(), source.fieldCount());
    long numero = 0;
    beginBatch();
    try {
        for (source.first(); !source.eof(); source.next()) {
            ++numero;
            try {
                append();
                for (int i = 0; i < n; ++i) {
                    Field from = source.field(i), to = field(i);
                    if (from.isNull())
                        continue;
                    if (isBlob(to.type()) && from.type() == to.type())
                        to.setBytes(from.asBytes());
                    else
                        to.setString(from.asString());
                }
                post();
            } catch (const Error& e) {
                cancel();
                throw Error("Record " + std::to_string(numero) + " della tabella " + source.displayName() +
                            ": " + e.what());
            }
        }
    } catch (...) {
        endBatch();  // the records appended before stay
        throw;
    }
    endBatch();
}

void Table::beginBatch()
{
    requireActive();
    file_->beginBatch();
}

void Table::endBatch()
{
    requireActive();
    file_->endBatch(true);
}

// ---- index and keys -------------------------------------------------------------------------------

void Table::setIndexName(const std::string& name)
{
    requireBrowse("cambiare indice");
    int sec = -1;
    if (!name.empty()) {
        const auto& list = file_->secondaries();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (strcasecmp(list[i].def.name.c_str(), name.c_str()) == 0)
                sec = static_cast<int>(i);
        if (sec < 0)
            throw Error("Indice " + name + " non trovato nella tabella " + displayName());
    } else if (file_->keyFields() == 0) {
        // An unkeyed table's own order.
    }
    indexName_ = name;
    secIndex_ = sec;
    orderValid_ = false;
    ranged_ = false;
    first();
}

void Table::checkKeyIndex() const
{
    if (secIndex_ < 0 && file_->keyFields() == 0)
        throw Error("La tabella " + displayName() + " non ha un indice: ricerca per chiave impossibile");
}

void Table::setKey()
{
    requireBrowse("impostare la chiave");
    checkKeyIndex();
    if (state_ != DataSetState::SetKey)
        keyReturn_ = state_;
    std::fill(keyBuf_.begin(), keyBuf_.end(), 0);
    keyAssigned_.clear();
    state_ = DataSetState::SetKey;
}

void Table::editKey()
{
    requireBrowse("modificare la chiave");
    checkKeyIndex();
    if (state_ != DataSetState::SetKey)
        keyReturn_ = state_;
    state_ = DataSetState::SetKey;
}

void Table::positionAtKey(const std::uint8_t* key, int nfields, bool wantExact, bool& found)
{
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        int i = orderBound(key, nfields, false);
        const int size = static_cast<int>(orderRecs_.size());
        found = i < size && compareKey(orderRec(i), key, nfields) == 0 && inRange(orderRec(i));
        if (wantExact && !found)
            return;
        if (i < size && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else if (i > 0 && inRange(orderRec(i - 1))) {
            setOrderPos(i - 1);
            eof_ = true;
            bof_ = false;
        }
        notify();
        return;
    }
    bool exact = false;
    Pos p = file_->lowerBound(key, nfields, exact);
    found = exact && inRange(file_->record(p));
    if (wantExact && !found)
        return;
    int b = p.block, r = p.rec;
    if (b < file_->blocks() && inRange(file_->record(p))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else if (stepPrior(*file_, b, r) && inRange(file_->record({b, r}))) {
        setPos(true, b, r);
        eof_ = true;
        bof_ = false;
    }
    notify();
}

bool Table::gotoKey()
{
    requireActive();
    if (state_ != DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " non è in modalità chiave");
    state_ = DataSetState::Browse;
    const int n = assignedKeyFields();
    bool found = false;
    positionAtKey(keyBuf_.data(), n, true, found);
    return found;
}

void Table::gotoNearest()
{
    requireActive();
    if (state_ != DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " non è in modalità chiave");
    state_ = DataSetState::Browse;
    const int n = assignedKeyFields();
    bool found = false;
    positionAtKey(keyBuf_.data(), n, false, found);
}

std::vector<std::uint8_t> Table::keyFrom(const std::vector<std::string>& values, int& nfields)
{
    checkKeyIndex();
    if (values.empty() || static_cast<int>(values.size()) > indexFieldCount())
        throw Error("Numero di valori non valido per la chiave della tabella " + displayName());
    std::vector<std::uint8_t> key(static_cast<std::size_t>(file_->recordSize()), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const FieldInfo& f = file_->fields()[static_cast<std::size_t>(indexField(static_cast<int>(i)))];
        std::string blob;
        storeText(f, file_->codePage(), key.data() + f.offset, values[i], &blob);
    }
    nfields = static_cast<int>(values.size());
    return key;
}

bool Table::searchKey(const std::vector<std::string>& values, bool exact)
{
    requireBrowse("cercare la chiave");
    int n = 0;
    auto key = keyFrom(values, n);
    bool found = false;
    positionAtKey(key.data(), n, exact, found);
    return found;
}

bool Table::findKey(const std::vector<std::string>& values)
{
    return searchKey(values, true);
}

void Table::findNearest(const std::vector<std::string>& values)
{
    searchKey(values, false);
}

void Table::setRange(const std::vector<std::string>& start, const std::vector<std::string>& end)
{
    requireBrowse("impostare l'intervallo");
    int n1 = 0, n2 = 0;
    rangeStart_ = keyFrom(start, n1);
    rangeEnd_ = keyFrom(end, n2);
    if (n1 != n2)
        throw Error("Gli estremi dell'intervallo della tabella " + displayName() +
                    " devono avere lo stesso numero di campi");
    rangeFields_ = n1;
    ranged_ = true;
    first();
}

void Table::cancelRange()
{
    requireBrowse("annullare l'intervallo");
    ranged_ = false;
    first();
}

// ---- bookmarks ------------------------------------------------------------------------------------

Bookmark Table::getBookmark()
{
    requireActive();
    Bookmark b;
    if (!hasRecord_)
        return b;
    b.record.assign(reinterpret_cast<const char*>(orig_.data()), orig_.size());
    if (!ordinalKnown_) {
        ReadScope scope(*file_);
        relocate();
        ordinal_ = file_->ordinal({block_, rec_});
        ordinalKnown_ = true;
    }
    b.ordinal = ordinal_;
    b.valid = true;
    return b;
}

void Table::gotoBookmark(const Bookmark& bm)
{
    requireBrowse("tornare al segnalibro");
    if (!bm.valid)
        throw Error("Segnalibro non valido per la tabella " + displayName());
    ReadScope scope(*file_);
    const auto saved = orig_;
    const auto savedOrd = ordinal_;
    const bool savedHas = hasRecord_;
    orig_.assign(bm.record.begin(), bm.record.end());
    ordinal_ = bm.ordinal;
    hasRecord_ = true;
    int b = 0, r = 0;
    if (!findCurrent(b, r)) {
        orig_ = saved;
        ordinal_ = savedOrd;
        hasRecord_ = savedHas;
        throw Error("Il record del segnalibro non è più presente nella tabella " + displayName());
    }
    setPos(true, b, r);
    if (secIndex_ >= 0) {
        orderValid_ = false;
        relocate();
    }
    bof_ = eof_ = false;
    notify();
}

}  // namespace korva::paradox
