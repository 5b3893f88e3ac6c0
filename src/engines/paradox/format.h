#pragma once

// The Paradox file format: field types, definitions, headers and value encodings.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox {

enum class FieldType : std::uint8_t {
    Alpha = 0x01,       // A
    Date = 0x02,        // D
    Short = 0x03,       // S
    Long = 0x04,        // I
    Money = 0x05,       // $
    Number = 0x06,      // N
    Logical = 0x09,     // L
    Memo = 0x0C,        // M
    Binary = 0x0D,      // B
    FmtMemo = 0x0E,     // F
    Ole = 0x0F,         // O
    Graphic = 0x10,     // G
    Time = 0x14,        // T
    Timestamp = 0x15,   // @
    AutoInc = 0x16,     // +
    Bcd = 0x17,         // #
    Bytes = 0x18,       // Y
};

char typeLetter(FieldType t);
std::optional<FieldType> typeFromLetter(char letter);
std::optional<FieldType> typeFromCode(std::uint8_t code);
bool isBlob(FieldType t);
// The Italian name of a type, for messages.
std::string typeName(FieldType t);

// A field as defined and as reported. Size: characters for A, bytes for Y, the part kept in
// the record for blobs (M B F O G), decimals for #, 0 for every other type.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::Alpha;
    int size = 0;
    bool required = false;
    bool operator==(const FieldDef&) const = default;
};

namespace IndexOption {
inline constexpr unsigned Primary = 1;
inline constexpr unsigned Unique = 2;
inline constexpr unsigned CaseInsensitive = 4;
inline constexpr unsigned Descending = 8;
inline constexpr unsigned Expression = 16;
inline constexpr unsigned NonMaintained = 32;
}  // namespace IndexOption

// An index: empty name for the primary one; fields joined by ";" in key order.
struct IndexDef {
    std::string name;
    std::string fields;
    unsigned options = 0;
    bool operator==(const IndexDef&) const = default;
};

// "primario, univoco, ..." for messages and the inspection tools.
std::string describeOptions(unsigned options);
std::vector<std::string> splitFields(std::string_view fields);

// Bytes a field takes in the record.
int recordBytes(FieldType t, int size);
// The size byte of the header for a field, and back.
std::uint8_t headerSizeByte(FieldType t, int size);
int sizeFromHeaderByte(FieldType t, std::uint8_t byte);

// ---- little-endian helpers (header and control words) -------------------------------------
inline std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
// Index entries carry their numbers as big-endian shorts with the sign bit flipped.
inline std::uint16_t getS16(const std::uint8_t* p) { return static_cast<std::uint16_t>(((p[0] ^ 0x80) << 8) | p[1]); }
inline void putS16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(((v >> 8) & 0xFF) ^ 0x80);
    p[1] = static_cast<std::uint8_t>(v);
}

// ---- file types and header -----------------------------------------------------------------
namespace FileType {
inline constexpr std::uint8_t KeyedDb = 0;
inline constexpr std::uint8_t PrimaryIndex = 1;
inline constexpr std::uint8_t UnkeyedDb = 2;
inline constexpr std::uint8_t XNonMaintained = 3;
inline constexpr std::uint8_t YIndex = 4;
inline constexpr std::uint8_t XMaintained = 5;
inline constexpr std::uint8_t XGNonMaintained = 6;
inline constexpr std::uint8_t YGIndex = 7;
inline constexpr std::uint8_t XGMaintained = 8;
}  // namespace FileType

namespace Version {
inline constexpr std::uint8_t V30 = 3;
inline constexpr std::uint8_t V35 = 4;
inline constexpr std::uint8_t V4 = 9;
inline constexpr std::uint8_t V5 = 0x0B;
inline constexpr std::uint8_t V7 = 0x0C;
}  // namespace Version

// Byte offsets of the header words that change as records change.
namespace Hdr {
inline constexpr int RecordSize = 0x00, HeaderSize = 0x02, FileType = 0x04, BlockSize = 0x05,
                     NumRecords = 0x06, UsedBlocks = 0x0A, FileBlocks = 0x0C, FirstBlock = 0x0E,
                     LastBlock = 0x10, IndexFieldNumber = 0x15, IndexRoot = 0x1E, IndexLevels = 0x20,
                     NumFields = 0x21, KeyFields = 0x23, Encryption1 = 0x25, SortOrder = 0x29,
                     IndexStamp = 0x2C, ChangeCount1 = 0x2D, ChangeCount2 = 0x2E, Version = 0x39,
                     MaxBlocks = 0x3A, AutoInc = 0x49, FirstFree = 0x4D, RealHeaderSize = 0x51,
                     IndexFlags = 0x55, Encryption2 = 0x5C, UpdateTime = 0x60, CodePage = 0x6A;
}

// The parsed header of any file of the family (.DB, .PX, .Xnn, .Ynn, .XGn, .YGn).
struct Header {
    std::vector<std::uint8_t> raw;   // the header bytes as read (headerSize of them)
    int recordSize = 0;
    int headerSize = 0;
    std::uint8_t fileType = 0;
    int blockSize = 0;
    std::uint32_t numRecords = 0;
    int usedBlocks = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int indexFieldNumber = 0;
    int indexRoot = 0;
    int indexLevels = 0;
    int keyFields = 0;
    bool encrypted = false;
    std::uint8_t sortOrder = 0;
    std::uint8_t version = 0;
    std::uint32_t autoInc = 0;
    int firstFree = 0;
    int codePage = 0;       // 0 when the file names none (level 3): see effectiveCodePage
    bool hasDataHeader = false;
    std::string sortOrderId;
    std::string indexName;  // .XGn only
    std::string tableName;
    std::vector<std::uint8_t> types;   // type codes
    std::vector<std::uint8_t> sizes;   // header size bytes
    std::vector<std::string> names;    // raw bytes of the names (DB and X files)
    std::vector<std::uint16_t> fieldNumbers;  // level >= 4 DB and X files

    bool isIndexFile() const
    {
        return fileType == FileType::PrimaryIndex || fileType == FileType::YIndex ||
               fileType == FileType::YGIndex;
    }
    int numFields() const { return static_cast<int>(types.size()); }
    // Code page of the text in the file.
    int effectiveCodePage() const;
};

// Parses a header; `fileSize` bounds every count. An Error (naming `what`) when damaged.
Header parseHeader(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize,
                   const std::string& what);
// The header size field alone (to know how much to read), checked to be plausible.
int peekHeaderSize(const std::uint8_t* data, std::size_t n, const std::string& what);

// What a new data file is made of.
struct NewTableLayout {
    std::vector<FieldDef> fields;
    int keyFields = 0;
    std::uint8_t version = Version::V4;
    int blockSize = 2048;
    int codePage = 1252;
    std::uint8_t sortOrder = 0x4C;
    std::string sortOrderId = "DBWINUS0";
    std::string tableName;
    std::string indexName;  // .XGn files: the index's name, after the sort order's
};

// The sort order we create tables with: byte order in the Windows Western code page.
inline constexpr std::uint8_t kNewSortOrder = 0x4C;
inline constexpr const char* kNewSortOrderId = "DBWINUS0";

// The lowest level that holds these field types (and index options).
std::uint8_t levelFor(const std::vector<FieldDef>& fields, bool needsLevel7);
// The header of a new, empty .DB file.
std::vector<std::uint8_t> buildDbHeader(const NewTableLayout& layout);
// The header of a new, empty .PX file for a table with this layout.
std::vector<std::uint8_t> buildPxHeader(const NewTableLayout& layout, std::uint8_t dbStamp,
                                        const std::string& fileName = {});

// The validity file (T.VAL, level-4+ layout) of a new table that holds only the required
// flags of its fields; `dbHeader` is the new .DB's header, whose stamps the file repeats.
std::vector<std::uint8_t> buildRequiredVal(const NewTableLayout& layout,
                                           const std::vector<std::uint8_t>& dbHeader);

// ---- values --------------------------------------------------------------------------------
struct Date {
    int year = 0, month = 0, day = 0;
    bool operator==(const Date&) const = default;
};
// Days where 0001-01-01 is 1 (proleptic Gregorian).
std::int64_t dateToDays(const Date& d);
Date daysToDate(std::int64_t days);
bool validDate(const Date& d);

std::uint64_t encodeDouble(double v);   // the 8 stored bytes as a big-endian number
double decodeDouble(std::uint64_t stored);
void storeBE(std::uint8_t* p, std::uint64_t v, int bytes);
std::uint64_t loadBE(const std::uint8_t* p, int bytes);
bool allZero(const std::uint8_t* p, std::size_t n);

// Shortest text that reads back as the same double.
std::string formatDouble(double v);
std::string formatDate(const Date& d);
std::string formatTime(std::int64_t ms);
std::string formatTimestamp(double ms);
// The day of a timestamp (as dateToDays counts); an Error for a value beyond every date.
std::int64_t timestampDay(double ms);
std::string toHex(std::string_view bytes);

// BCD (#): 17 bytes; scale = decimals.
std::string decodeBcd(const std::uint8_t* p, int scale);
// False when the text is not a number or does not fit.
bool encodeBcd(std::string_view text, int scale, std::uint8_t* out);

}  // namespace korva::paradox
