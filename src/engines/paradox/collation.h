#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox {

// The order of alpha values in a table's indexes: the table's language driver, named by the
// sort-order byte of its header (0x29), the driver's name after the field list (sortOrderID)
// and the code page of its text. One object per driver and code page, living as long as the
// program; comparing allocates nothing.
//
// Byte-order drivers compare bytes. The dictionary drivers weigh every byte as one element,
// or two when it expands (ä: a with its accent, then e): two values compare by the primary
// weights of their elements over the whole value (a shorter sequence first), and only when
// those are equal by the secondary weights, position by position from the front. Trailing
// blanks are no elements: between values otherwise equal, fewer of them come first.
class Collation {
public:
    // The weights of every byte: primary, secondary, then the primary and secondary of the
    // element it adds when it expands (0: none). Byte 0 weighs nothing.
    using Weights = std::array<std::array<std::uint8_t, 4>, 256>;

    Collation(std::string name, bool byteOrder, bool exact, const Weights& weights,
              const std::array<std::uint8_t, 256>& upper);

    // Compares two alpha values as stored in the record (bytes in the table's code page, up to the first NUL).
    int compare(std::string_view a, std::string_view b) const;
    // The same with both values folded to upper case (case-insensitive indexes).
    int compareCaseInsensitive(std::string_view a, std::string_view b) const;
    std::string_view name() const { return name_; }
    bool byteOrder() const { return byteOrder_; }
    // The driver's own order: keys may be placed in files by it. False for an order known
    // only in part, good to read a table in its order, never to write its keys.
    bool exact() const { return exact_; }
    // A byte as case-insensitive indexes store it and compare it: the driver's upper case.
    std::uint8_t upper(std::uint8_t c) const { return upper_[c]; }

    // Sort keys: bytes that compare by memcmp as the values compare. A value of up to `bytes`
    // bytes (a NUL ends it) gives a key of sortKeyLength(bytes) bytes: its primary weights,
    // then its secondary ones, each part padded with zeros, then its count of trailing blanks.
    std::size_t sortKeyLength(std::size_t bytes) const;
    void sortKey(const std::uint8_t* value, std::size_t bytes, bool caseInsensitive, std::uint8_t* key) const;

private:
    int compareFolded(std::string_view a, std::string_view b, const std::uint8_t* fold) const;

    std::string name_;
    bool byteOrder_;
    bool exact_;
    bool expands_ = false;
    Weights weights_;
    std::array<std::uint8_t, 256> upper_;
};

// The collation of a sort order (header byte 0x29, the sortOrderID string, the code page) that
// keys may be placed by: byte order, or the driver's own weights; nullptr for any other. A
// table without a sortOrderID (level 3 and 3.5) is matched by the byte alone; its code page
// may be given as 0, which stands for the DOS page of that sort order.
const Collation* collationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage);

// The best collation known to read a table in its order: collationFor's, or for a driver with
// no weights of its own those of the closest driver (exact() false); nullptr when the order is
// not known or does not fit the code page.
const Collation* knowledgeCollationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage);

// The code page a sort order's driver is made for (the first, when it fits several): what a
// file that names the order but no code page (a .PX) implies; 0 when the order is not known.
int sortOrderCodePage(std::uint8_t sortOrder, std::string_view sortOrderId);

// A sort order new tables can be made with: one whose collation is exact.
struct TableSortOrder {
    std::uint8_t byte;
    std::string id;
    int codePage;
};
// The sort order named as a table's header names it (without regard to case); none when it
// is unknown or cannot place keys.
std::optional<TableSortOrder> tableSortOrder(std::string_view id);
// The names tableSortOrder accepts.
std::vector<std::string> tableSortOrderNames();

// The sort order of the tables we create unless told otherwise: byte order over code page 1252.
inline constexpr std::uint8_t kNewTableSortOrder = 0x4C;
inline constexpr std::string_view kNewTableSortOrderId = "DBWINUS0";
inline constexpr int kNewTableCodePage = 1252;

namespace detail {

// The weights of a language driver as measured on the Firebird collation generated from it
// (collation_tables.cpp, written by tools/collazioni/genera_collazioni).
struct DriverWeights {
    const char* id;            // as the header names it
    std::uint8_t sortOrder;    // the header's byte
    int codePage;
    const char* firebird;      // the collation it was measured on
    std::uint8_t weights[256][4];
    std::uint8_t upper[256];
};
extern const DriverWeights kDriverWeights[];
extern const std::size_t kDriverWeightsCount;

}  // namespace detail
}  // namespace korva::paradox
