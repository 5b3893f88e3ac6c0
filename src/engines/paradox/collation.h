#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace korva::paradox {

// The order of alpha values in a table's indexes. A table names it with the sort-order byte of
// its header (0x29), the language-driver name after the field list (sortOrderID) and the code
// page of its text. Objects live as long as the program; comparing allocates nothing.
class Collation {
public:
    virtual ~Collation() = default;
    // Compares two alpha values as stored in the record (bytes in the table's code page, up to the first NUL).
    virtual int compare(std::string_view a, std::string_view b) const = 0;
    // The same with the collation's case folding (case-insensitive indexes).
    virtual int compareCaseInsensitive(std::string_view a, std::string_view b) const = 0;
    virtual std::string_view name() const = 0;   // e.g. "ascii", "ANSII850"
    virtual bool byteOrder() const = 0;          // compare() is plain byte order
    // The weight of every byte as compare() (or compareCaseInsensitive()) orders them: byte 0
    // alone weighs 0, so values padded with NULs and mapped through the weights compare
    // byte by byte as the collation compares them (index keys are sorted that way).
    virtual const std::array<std::uint8_t, 256>& weights(bool caseInsensitive) const = 0;
};

// The collation of a sort order (header byte 0x29 and the sortOrderID string, code page); nullptr when not known.
//
// Only collations we can stand behind come back: those whose order is plain byte order
// ("ascii" and "DBWINUS0"). For every other sort order, keys we would place could land where
// the classic engine does not expect them, so writing into such a keyed table must stay refused.
// A table without a sortOrderID (level 3 and 3.5) is matched by the byte alone; its code page
// may be given as 0, which stands for the DOS default of that sort order (437 for "ascii").
const Collation* collationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage);

// How far the collation of a sort order can be trusted.
enum class CollationTrust {
    ByteOrder,  // plain byte order: returned by collationFor
    Knowledge,  // built from what is known of the language driver, not confirmed by any stored
                // index: good to order or search what is read, never to place keys in a file
    Unknown,    // no collation at all
};
CollationTrust collationTrust(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage);

// The collation built from knowledge for a sort order that collationFor refuses (see
// CollationTrust::Knowledge); the byte-order collation where there is one; nullptr otherwise.
const Collation* knowledgeCollationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage);

// The sort order of the tables we create: byte order over code page 1252.
inline constexpr std::uint8_t kNewTableSortOrder = 0x4C;
inline constexpr std::string_view kNewTableSortOrderId = "DBWINUS0";
inline constexpr int kNewTableCodePage = 1252;

namespace detail {

// What a collation is made of: a weight for every byte (a permutation of 0..255, so that two
// values compare equal only when they are equal) and the byte each byte folds to when case is
// ignored. Built once per sort order and code page.
struct CollationTables {
    std::array<std::uint8_t, 256> weight;
    std::array<std::uint8_t, 256> upper;
};

// Byte order, folding each letter to its upper-case form in the same code page.
CollationTables byteOrderTables(int codePage);
// Dictionary order of the international drivers as far as it is known: letters grouped under
// their base letter (upper case, lower case, then the accented forms), other characters in
// code order around them. Single-byte code pages only.
CollationTables dictionaryTables(int codePage);

}  // namespace detail
}  // namespace korva::paradox
