#include "engines/paradox/format.h"

#include "base/errore.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace korva::paradox {

namespace {

struct TypeInfo {
    FieldType type;
    char letter;
    int fixedBytes;  // 0: from the size
    const char* name;
};

constexpr TypeInfo kTypes[] = {
    {FieldType::Alpha, 'A', 0, "alfanumerico"},  {FieldType::Date, 'D', 4, "data"},
    {FieldType::Short, 'S', 2, "intero corto"},  {FieldType::Long, 'I', 4, "intero lungo"},
    {FieldType::Money, '$', 8, "valuta"},        {FieldType::Number, 'N', 8, "numero"},
    {FieldType::Logical, 'L', 1, "logico"},      {FieldType::Memo, 'M', 0, "memo"},
    {FieldType::Binary, 'B', 0, "binario"},      {FieldType::FmtMemo, 'F', 0, "memo formattato"},
    {FieldType::Ole, 'O', 0, "OLE"},             {FieldType::Graphic, 'G', 0, "grafico"},
    {FieldType::Time, 'T', 4, "ora"},            {FieldType::Timestamp, '@', 8, "data e ora"},
    {FieldType::AutoInc, '+', 4, "autoincremento"}, {FieldType::Bcd, '#', 17, "BCD"},
    {FieldType::Bytes, 'Y', 0, "byte"},
};

const TypeInfo* info(FieldType t)
{
    for (const auto& i : kTypes)
        if (i.type == t)
            return &i;
    return nullptr;
}

[[noreturn]] void damaged(const std::string& what, const std::string& detail)
{
    throw Error("Il file " + what + " è danneggiato o non è un file Paradox: " + detail);
}

}  // namespace

char typeLetter(FieldType t)
{
    const TypeInfo* i = info(t);
    return i ? i->letter : '?';
}

std::optional<FieldType> typeFromLetter(char letter)
{
    for (const auto& i : kTypes)
        if (i.letter == letter || (letter >= 'a' && letter <= 'z' && i.letter == letter - 32))
            return i.type;
    return std::nullopt;
}

std::optional<FieldType> typeFromCode(std::uint8_t code)
{
    for (const auto& i : kTypes)
        if (static_cast<std::uint8_t>(i.type) == code)
            return i.type;
    return std::nullopt;
}

bool isBlob(FieldType t)
{
    return t == FieldType::Memo || t == FieldType::Binary || t == FieldType::FmtMemo ||
           t == FieldType::Ole || t == FieldType::Graphic;
}

std::string typeName(FieldType t)
{
    const TypeInfo* i = info(t);
    return i ? i->name : "sconosciuto";
}

std::string describeOptions(unsigned o)
{
    std::string s;
    auto add = [&](unsigned bit, const char* name) {
        if (o & bit) {
            if (!s.empty())
                s += ",";
            s += name;
        }
    };
    add(IndexOption::Primary, "primario");
    add(IndexOption::Unique, "univoco");
    add(IndexOption::CaseInsensitive, "maiuscole-indifferenti");
    add(IndexOption::Descending, "discendente");
    add(IndexOption::Expression, "espressione");
    add(IndexOption::NonMaintained, "non-mantenuto");
    return s;
}

std::vector<std::string> splitFields(std::string_view fields)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= fields.size()) {
        size_t end = fields.find(';', start);
        if (end == std::string_view::npos)
            end = fields.size();
        out.emplace_back(fields.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

int recordBytes(FieldType t, int size)
{
    const TypeInfo* i = info(t);
    if (i && i->fixedBytes)
        return i->fixedBytes;
    if (isBlob(t))
        return size + 10;
    return size;
}

std::uint8_t headerSizeByte(FieldType t, int size)
{
    if (t == FieldType::Bcd)
        return static_cast<std::uint8_t>(size);
    return static_cast<std::uint8_t>(recordBytes(t, size));
}

int sizeFromHeaderByte(FieldType t, std::uint8_t byte)
{
    if (t == FieldType::Alpha || t == FieldType::Bytes || t == FieldType::Bcd)
        return byte;
    if (isBlob(t))
        return byte - 10;
    return 0;
}

int Header::effectiveCodePage() const
{
    if (hasDataHeader)
        return codePage;
    // Level 3 tables name no code page: the DOS page of their sort order.
    return sortOrder == 0xC0 ? 866 : sortOrder == 0xE6 ? 865 : 437;
}

int peekHeaderSize(const std::uint8_t* data, std::size_t n, const std::string& what)
{
    if (n < 0x58)
        damaged(what, "intestazione troppo corta");
    int hs = get16(data + Hdr::HeaderSize);
    if (hs < 0x58)
        damaged(what, "dimensione dell'intestazione non valida");
    return hs;
}

Header parseHeader(const std::uint8_t* d, std::size_t avail, std::uint64_t fileSize,
                   const std::string& what)
{
    Header h;
    h.headerSize = peekHeaderSize(d, avail, what);
    if (static_cast<std::size_t>(h.headerSize) > avail)
        damaged(what, "intestazione incompleta");
    h.raw.assign(d, d + h.headerSize);
    h.recordSize = get16(d + Hdr::RecordSize);
    h.fileType = d[Hdr::FileType];
    if (h.fileType > 8)
        damaged(what, "tipo di file sconosciuto");
    int code = d[Hdr::BlockSize];
    if (code < 1 || code > 32)
        damaged(what, "dimensione dei blocchi non valida");
    h.blockSize = code * 1024;
    h.numRecords = get32(d + Hdr::NumRecords);
    h.usedBlocks = get16(d + Hdr::UsedBlocks);
    h.fileBlocks = get16(d + Hdr::FileBlocks);
    h.firstBlock = get16(d + Hdr::FirstBlock);
    h.lastBlock = get16(d + Hdr::LastBlock);
    h.indexFieldNumber = d[Hdr::IndexFieldNumber];
    h.indexRoot = get16(d + Hdr::IndexRoot);
    h.indexLevels = d[Hdr::IndexLevels];
    int n = get16(d + Hdr::NumFields);
    h.keyFields = get16(d + Hdr::KeyFields);
    h.sortOrder = d[Hdr::SortOrder];
    h.version = d[Hdr::Version];
    h.autoInc = get32(d + Hdr::AutoInc);
    h.firstFree = get16(d + Hdr::FirstFree);
    if (h.version < 3 || h.version > 0x0C)
        damaged(what, "versione del file sconosciuta");
    if (n < 1 || n > 255)
        damaged(what, "numero di campi non valido");
    if (h.keyFields > n)
        damaged(what, "numero di campi chiave non valido");
    if (h.recordSize < 1)
        damaged(what, "dimensione del record non valida");
    if (h.recordSize + 6 > h.blockSize)
        damaged(what, "record più grande di un blocco");
    if (h.headerSize + static_cast<std::uint64_t>(h.fileBlocks) * h.blockSize >
            fileSize + h.blockSize ||
        h.usedBlocks > h.fileBlocks || h.firstBlock > h.fileBlocks || h.lastBlock > h.fileBlocks)
        damaged(what, "numero di blocchi non valido");

    const bool index = h.isIndexFile();
    h.hasDataHeader = !index && h.version >= 5;
    if (h.hasDataHeader)
        h.encrypted = get32(d + Hdr::Encryption2) != 0;
    else if (!index)
        h.encrypted = get32(d + Hdr::Encryption1) != 0;

    std::size_t off = h.hasDataHeader ? 0x78 : 0x58;
    auto need = [&](std::size_t bytes) {
        if (off + bytes > static_cast<std::size_t>(h.headerSize))
            damaged(what, "intestazione troncata");
    };
    need(2 * static_cast<std::size_t>(n));
    int sum = 0;
    for (int i = 0; i < n; ++i) {
        std::uint8_t t = d[off + 2 * i], s = d[off + 2 * i + 1];
        auto type = typeFromCode(t);
        if (!type)
            damaged(what, "tipo di campo sconosciuto (" + std::to_string(t) + ")");
        const TypeInfo* ti = info(*type);
        int bytes = *type == FieldType::Bcd ? 17 : s;
        if ((ti->fixedBytes && bytes != ti->fixedBytes && *type != FieldType::Bcd) || bytes < 1 ||
            (isBlob(*type) && bytes < 10) || (*type == FieldType::Bcd && s > 32))
            damaged(what, "dimensione di campo non valida");
        sum += bytes;
        h.types.push_back(t);
        h.sizes.push_back(s);
    }
    if (sum + (index ? 6 : 0) != h.recordSize)
        damaged(what, "dimensione del record incoerente con i campi");
    off += 2 * static_cast<std::size_t>(n);
    need(4);
    off += 4;
    if (!index) {
        need(4 * static_cast<std::size_t>(n));
        off += 4 * static_cast<std::size_t>(n);
    }
    const std::size_t nameLen = h.version >= 0x0C ? 261 : 79;
    need(nameLen);
    {
        const char* p = reinterpret_cast<const char*>(d + off);
        h.tableName.assign(p, strnlen(p, nameLen));
    }
    off += nameLen;
    if (!index) {
        for (int i = 0; i < n; ++i) {
            const char* p = reinterpret_cast<const char*>(d + off);
            std::size_t left = h.headerSize - off;
            std::size_t len = strnlen(p, left);
            if (len == left)
                damaged(what, "nomi dei campi troncati");
            h.names.emplace_back(p, len);
            off += len + 1;
        }
    }
    if (h.hasDataHeader) {
        h.codePage = get16(d + Hdr::CodePage);
        auto cstr = [&](std::size_t at, std::string& out) {
            if (at >= static_cast<std::size_t>(h.headerSize))
                damaged(what, "intestazione troncata");
            const char* p = reinterpret_cast<const char*>(d + at);
            std::size_t left = h.headerSize - at;
            std::size_t len = strnlen(p, left);
            if (len == left)
                damaged(what, "intestazione troncata");
            out.assign(p, len);
        };
        std::size_t numbersAt = 0x58 + static_cast<std::size_t>(get16(d + 0x66));
        if (numbersAt + 2 * static_cast<std::size_t>(n) <= static_cast<std::size_t>(h.headerSize)) {
            for (int i = 0; i < n; ++i)
                h.fieldNumbers.push_back(get16(d + numbersAt + 2 * i));
        } else if (!h.encrypted) {
            damaged(what, "intestazione troncata");
        }
        if (!h.encrypted)
            cstr(0x58 + static_cast<std::size_t>(get16(d + 0x6E)), h.sortOrderId);
        if (std::uint16_t nameOff = get16(d + 0x68); nameOff && !h.encrypted)
            cstr(0x58 + static_cast<std::size_t>(nameOff), h.indexName);
    }
    return h;
}

std::uint8_t levelFor(const std::vector<FieldDef>& fields, bool needsLevel7)
{
    if (needsLevel7)
        return Version::V7;
    for (const auto& f : fields) {
        switch (f.type) {
        case FieldType::Long:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Logical:
        case FieldType::AutoInc:
        case FieldType::Bcd:
        case FieldType::Bytes:
            return Version::V5;
        default:
            break;
        }
    }
    return Version::V4;
}

std::vector<std::uint8_t> buildDbHeader(const NewTableLayout& L)
{
    const int n = static_cast<int>(L.fields.size());
    const std::size_t nameLen = L.version >= Version::V7 ? 261 : 79;
    std::size_t off = 0x78 + 6 * static_cast<std::size_t>(n) + 4 + nameLen;
    for (const auto& f : L.fields)
        off += f.name.size() + 1;
    const std::size_t numbersAt = off;
    const std::size_t sortIdAt = numbersAt + 2 * static_cast<std::size_t>(n);
    const std::size_t indexNameAt = sortIdAt + L.sortOrderId.size() + 1;
    const std::size_t real = indexNameAt + (L.indexName.empty() ? 0 : L.indexName.size() + 1);
    const std::size_t size = (real + 0x7FF) / 0x800 * 0x800;
    std::vector<std::uint8_t> h(size, 0);
    std::uint8_t* d = h.data();
    int recordSize = 0;
    for (const auto& f : L.fields)
        recordSize += recordBytes(f.type, f.size);
    put16(d + Hdr::RecordSize, static_cast<std::uint32_t>(recordSize));
    put16(d + Hdr::HeaderSize, static_cast<std::uint32_t>(size));
    d[Hdr::FileType] = L.keyFields > 0 ? FileType::KeyedDb : FileType::UnkeyedDb;
    d[Hdr::BlockSize] = static_cast<std::uint8_t>(L.blockSize / 1024);
    put16(d + 0x12, 3);
    put16(d + Hdr::NumFields, static_cast<std::uint32_t>(n));
    put16(d + Hdr::KeyFields, static_cast<std::uint32_t>(L.keyFields));
    put32(d + Hdr::Encryption1, 0xFF00FF00u);
    d[Hdr::SortOrder] = L.sortOrder;
    d[Hdr::ChangeCount1] = 2;
    d[Hdr::ChangeCount2] = 1;
    d[Hdr::Version] = L.version;
    put16(d + 0x3E, 0x0F1F);
    put16(d + Hdr::RealHeaderSize, static_cast<std::uint32_t>(real));
    d[0x56] = 0x20;
    put16(d + 0x58, 0x0100u | L.version);
    put16(d + 0x5A, 0x0100u | L.version);
    put32(d + Hdr::UpdateTime, static_cast<std::uint32_t>(std::time(nullptr)));
    put16(d + 0x64, static_cast<std::uint32_t>(n + 1));
    put16(d + 0x66, static_cast<std::uint32_t>(numbersAt - 0x58));
    put16(d + Hdr::CodePage, static_cast<std::uint32_t>(L.codePage));
    d[0x6C] = 1;
    d[0x6D] = 1;
    put16(d + 0x6E, static_cast<std::uint32_t>(sortIdAt - 0x58));
    put16(d + 0x70, 1);
    std::size_t p = 0x78;
    for (const auto& f : L.fields) {
        d[p++] = static_cast<std::uint8_t>(f.type);
        d[p++] = headerSizeByte(f.type, f.size);
    }
    p += 4 + 4 * static_cast<std::size_t>(n);
    std::memcpy(d + p, L.tableName.data(), std::min(L.tableName.size(), nameLen - 1));
    p += nameLen;
    for (const auto& f : L.fields) {
        std::memcpy(d + p, f.name.data(), f.name.size());
        p += f.name.size() + 1;
    }
    for (int i = 0; i < n; ++i)
        put16(d + numbersAt + 2 * i, static_cast<std::uint32_t>(i + 1));
    std::memcpy(d + sortIdAt, L.sortOrderId.data(), L.sortOrderId.size());
    if (!L.indexName.empty()) {
        std::memcpy(d + indexNameAt, L.indexName.data(), L.indexName.size());
        put16(d + 0x68, static_cast<std::uint32_t>(indexNameAt - 0x58));
    }
    return h;
}

std::vector<std::uint8_t> buildPxHeader(const NewTableLayout& L, std::uint8_t dbStamp,
                                        const std::string& fileName)
{
    const int n = L.keyFields;
    const std::size_t nameLen = L.version >= Version::V7 ? 261 : 79;
    std::vector<std::uint8_t> h(0x800, 0);
    std::uint8_t* d = h.data();
    int keyBytes = 0;
    for (int i = 0; i < n; ++i)
        keyBytes += recordBytes(L.fields[i].type, L.fields[i].size);
    put16(d + Hdr::RecordSize, static_cast<std::uint32_t>(keyBytes + 6));
    put16(d + Hdr::HeaderSize, 0x800);
    d[Hdr::FileType] = FileType::PrimaryIndex;
    d[Hdr::BlockSize] = static_cast<std::uint8_t>(L.blockSize / 1024);
    put16(d + 0x12, 4);
    put16(d + Hdr::IndexRoot, 1);
    put16(d + Hdr::NumFields, static_cast<std::uint32_t>(n));
    d[Hdr::SortOrder] = L.sortOrder;
    d[Hdr::IndexStamp] = dbStamp;
    d[Hdr::Version] = L.version;
    put16(d + Hdr::RealHeaderSize, static_cast<std::uint32_t>(0x58 + 2 * n + 4 + nameLen));
    std::size_t p = 0x58;
    for (int i = 0; i < n; ++i) {
        d[p++] = static_cast<std::uint8_t>(L.fields[i].type);
        d[p++] = headerSizeByte(L.fields[i].type, L.fields[i].size);
    }
    p += 4;
    std::string name = L.tableName;
    if (auto dot = name.rfind('.'); dot != std::string::npos)
        name = name.substr(0, dot) + ".PX";
    if (!fileName.empty())
        name = fileName;
    std::memcpy(d + p, name.data(), std::min(name.size(), nameLen - 1));
    return h;
}

std::vector<std::uint8_t> buildRequiredVal(const NewTableLayout& L, const std::vector<std::uint8_t>& db)
{
    constexpr std::size_t kEntries = 0x35, kEntry = 0x1C, kTableName = 79;
    const std::size_t n = L.fields.size();
    std::vector<std::uint8_t> required;
    std::size_t names = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (L.fields[i].required)
            required.push_back(static_cast<std::uint8_t>(i));
        names += L.fields[i].name.size() + 1;
    }
    const std::size_t footer = kEntries + kEntry * required.size();
    std::vector<std::uint8_t> v(footer + 6 + 4 * n + kTableName + names, 0);
    std::uint8_t* d = v.data();
    // The data file's structure stamp (a file with another is stale), its level, and its
    // update time and next field id as they were when the checks were written.
    d[0] = db[Hdr::ChangeCount2];
    d[1] = db[Hdr::Version];
    d[2] = static_cast<std::uint8_t>(required.size());
    std::memcpy(d + 3, db.data() + Hdr::UpdateTime, 6);
    put32(d + 9, static_cast<std::uint32_t>(footer));
    // 0x0D: no referential integrity. Each entry: field, picture length, required, lookup
    // flags, then the "present" words of lookup, min, max, default and picture, all absent.
    for (std::size_t i = 0; i < required.size(); ++i) {
        d[kEntries + kEntry * i] = required[i];
        d[kEntries + kEntry * i + 2] = 1;
    }
    std::uint8_t* p = d + footer;
    put16(p, static_cast<std::uint32_t>(n));
    put16(p + 2, static_cast<std::uint32_t>(L.keyFields));
    put16(p + 4, static_cast<std::uint32_t>(kTableName + names));  // the name part that follows
    p += 6;
    for (std::size_t i = 0; i < n; ++i)
        put16(p + 2 * i, static_cast<std::uint32_t>(i + 1));
    p += 2 * n;
    std::memcpy(p, db.data() + 0x78, 2 * n);  // type and size byte of every field
    p += 2 * n;
    std::memcpy(p, L.tableName.data(), std::min(L.tableName.size(), kTableName - 1));
    p += kTableName;
    for (const auto& f : L.fields) {
        std::memcpy(p, f.name.data(), f.name.size());
        p += f.name.size() + 1;
    }
    return v;
}

// ---- values ---------------------------------------------------------------------------------

namespace {
// Days since 1970-01-01 (H. Hinnant's civil calendar algorithms).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
constexpr std::int64_t kOrdinalOf1970 = 719163;
}  // namespace

std::int64_t dateToDays(const Date& dt)
{
    return daysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) +
           kOrdinalOf1970;
}

Date daysToDate(std::int64_t days)
{
    std::int64_t z = days - kOrdinalOf1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

bool validDate(const Date& d)
{
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    return daysToDate(dateToDays(d)) == d;
}

void storeBE(std::uint8_t* p, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
}

std::uint64_t loadBE(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

bool allZero(const std::uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

std::uint64_t encodeDouble(double v)
{
    if (v == 0)
        v = 0;  // -0 stores as +0
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if (bits & 0x8000000000000000ull)
        return ~bits;
    return bits | 0x8000000000000000ull;
}

double decodeDouble(std::uint64_t s)
{
    std::uint64_t bits = (s & 0x8000000000000000ull) ? (s & 0x7FFFFFFFFFFFFFFFull) : ~s;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

std::string formatDouble(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string formatDate(const Date& d)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string formatTime(std::int64_t ms)
{
    char buf[32];
    const int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60),
              s = static_cast<int>(ms / 1000 % 60), f = static_cast<int>(ms % 1000);
    if (f)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, m, s, f);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    return buf;
}

std::int64_t timestampDay(double ms)
{
    const double days = std::floor(ms / 86400000.0);
    // Past these a date's year no longer fits (only a damaged value gets there).
    if (!(std::fabs(days) < 2147483648.0))
        throw Error("Valore di data e ora non valido (campo danneggiato)");
    return static_cast<std::int64_t>(days);
}

std::string formatTimestamp(double ms)
{
    const std::int64_t days = timestampDay(ms);
    const auto rest = static_cast<std::int64_t>(std::llround(ms - static_cast<double>(days) * 86400000.0));
    return formatDate(daysToDate(days)) + " " + formatTime(rest);
}

std::string toHex(std::string_view bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

std::string decodeBcd(const std::uint8_t* p, int scale)
{
    const bool negative = !(p[0] & 0x80);
    std::string digits;
    for (int i = 0; i < 32; ++i) {
        int nib = (p[1 + i / 2] >> (i % 2 ? 0 : 4)) & 15;
        if (negative)
            nib = 15 - nib;
        // Some writers leave junk past the significant digits: the value ends there.
        if (nib > 9) {
            digits.append(static_cast<std::size_t>(32 - i), '0');
            break;
        }
        digits += static_cast<char>('0' + nib);
    }
    std::string intPart = digits.substr(0, 32 - scale), frac = digits.substr(32 - scale);
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    if (intPart.empty())
        intPart.assign(1, '0');
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    std::string s = negative ? "-" : "";
    s += intPart;
    if (!frac.empty())
        s.append(".").append(frac);
    return s == "-0" ? "0" : s;
}

bool encodeBcd(std::string_view text, int scale, std::uint8_t* out)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::string_view ip = text, fp;
    if (auto dot = text.find('.'); dot != std::string_view::npos) {
        ip = text.substr(0, dot);
        fp = text.substr(dot + 1);
    }
    if (ip.empty() && fp.empty())
        return false;
    for (char c : ip)
        if (c < '0' || c > '9')
            return false;
    for (char c : fp)
        if (c < '0' || c > '9')
            return false;
    while (!fp.empty() && fp.back() == '0')
        fp.remove_suffix(1);
    while (!ip.empty() && ip.front() == '0')
        ip.remove_prefix(1);
    if (static_cast<int>(fp.size()) > scale || static_cast<int>(ip.size()) > 32 - scale)
        return false;
    std::string digits(32, '0');
    for (size_t i = 0; i < ip.size(); ++i)
        digits[32 - scale - ip.size() + i] = ip[i];
    for (size_t i = 0; i < fp.size(); ++i)
        digits[32 - scale + i] = fp[i];
    if (digits == std::string(32, '0'))
        negative = false;
    std::memset(out, 0, 17);
    out[0] = static_cast<std::uint8_t>((negative ? 0 : 0x80) | 0x40 | scale);
    for (int i = 0; i < 32; ++i) {
        int nib = digits[i] - '0';
        if (negative)
            nib = 15 - nib;
        out[1 + i / 2] |= static_cast<std::uint8_t>(i % 2 ? nib : nib << 4);
    }
    return true;
}

}  // namespace korva::paradox
