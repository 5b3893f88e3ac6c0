#include "engines/paradox/collation.h"

#include "base/codepage.h"
#include "base/errore.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace korva::paradox {
namespace {

std::string_view untilNul(std::string_view s)
{
    const void* nul = std::memchr(s.data(), 0, s.size());
    return nul ? s.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - s.data())) : s;
}

int sign(int v) { return (v > 0) - (v < 0); }

// Compares through a weight table; a value that is a prefix of the other comes first.
int compareWeighted(std::string_view a, std::string_view b, const std::uint8_t* weight)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int wa = weight[static_cast<unsigned char>(a[i])];
        const int wb = weight[static_cast<unsigned char>(b[i])];
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

class TableCollation final : public Collation {
public:
    TableCollation(std::string name, bool byteOrder, const detail::CollationTables& tables)
        : name_(std::move(name)), byteOrder_(byteOrder), weight_(tables.weight)
    {
        for (std::size_t b = 0; b < 256; ++b)
            foldedWeight_[b] = tables.weight[tables.upper[b]];
    }

    int compare(std::string_view a, std::string_view b) const override
    {
        a = untilNul(a);
        b = untilNul(b);
        if (!byteOrder_)
            return compareWeighted(a, b, weight_.data());
        const std::size_t n = std::min(a.size(), b.size());
        const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
        if (c != 0)
            return sign(c);
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }

    int compareCaseInsensitive(std::string_view a, std::string_view b) const override
    {
        return compareWeighted(untilNul(a), untilNul(b), foldedWeight_.data());
    }

    std::string_view name() const override { return name_; }
    bool byteOrder() const override { return byteOrder_; }
    const std::array<std::uint8_t, 256>& weights(bool caseInsensitive) const override
    {
        return caseInsensitive ? foldedWeight_ : weight_;
    }

private:
    std::string name_;
    bool byteOrder_;
    std::array<std::uint8_t, 256> weight_;
    std::array<std::uint8_t, 256> foldedWeight_{};
};

enum class Kind { ByteOrder, Dictionary, None };

// The sort orders met in tables. `codePages` lists the pages the driver is made for; the first
// one stands for a table that names none (level 3 and 3.5). `anySingleByte`: the order does
// not depend on the page (byte order), so any single-byte page the program knows is accepted.
struct SortOrder {
    std::uint8_t byte;
    const char* id;
    Kind kind;
    int codePages[2];
    bool anySingleByte;
};

// What the stored indexes of the sample tables tell: their text keys hold ASCII only (digits,
// letters of one case at every deciding position, blank, # & ' - / _), so byte order and the
// dictionary order reproduce all of them alike. Only the orders that are byte order by
// definition are trusted for writing; the dictionary ones are built from knowledge. Case
// folding goes to upper case through the code page; the case-insensitive sample indexes hold
// upper-case text only, so they confirm the order of blanks, signs and digits under folding
// but not the folding itself.
constexpr SortOrder kSortOrders[] = {
    {0x00, "ascii", Kind::ByteOrder, {437, 850}, true},
    {0x4C, "DBWINUS0", Kind::ByteOrder, {1252, 0}, false},
    {0xB7, "intl", Kind::Dictionary, {437, 0}, false},
    {0x54, "intl850", Kind::Dictionary, {850, 0}, false},
    {0x62, "ANSIINTL", Kind::Dictionary, {1252, 0}, false},
    {0x11, "ANSII850", Kind::Dictionary, {1252, 0}, false},
    {0x40, "DBWINWE0", Kind::Dictionary, {1252, 0}, false},
    {0xC0, "cyrr", Kind::Dictionary, {866, 0}, false},
    {0x03, "china", Kind::None, {936, 0}, false},
    {0x14, "BLROM800", Kind::None, {0, 0}, false},
};

bool sameId(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool singleByte(int codePage)
{
    if (!codepage::supported(codePage))
        return false;
    // Multi-byte pages turn a lead byte alone into nothing or a replacement; a single-byte
    // page gives one character for every byte.
    for (const int multi : {932, 936, 949, 950})
        if (codePage == multi)
            return false;
    return true;
}

// The entry for a header and the code page its tables are built for; nullptr when the header
// names no sort order we know, or one that does not fit the code page.
const SortOrder* find(std::uint8_t byte, std::string_view id, int& codePage)
{
    for (const SortOrder& s : kSortOrders) {
        if (s.byte != byte || !(id.empty() || sameId(id, s.id)))
            continue;
        if (s.kind == Kind::None)
            return &s;
        if (codePage == 0) {
            codePage = s.codePages[0];
            return &s;
        }
        if (codePage != 0 && (codePage == s.codePages[0] || codePage == s.codePages[1]))
            return &s;
        if (s.anySingleByte && singleByte(codePage))
            return &s;
        return nullptr;
    }
    return nullptr;
}

const Collation* collationOf(const SortOrder& s, int codePage)
{
    static std::mutex mutex;
    static std::map<std::pair<const SortOrder*, int>, std::unique_ptr<TableCollation>> built;

    const std::lock_guard<std::mutex> lock(mutex);
    auto& slot = built[{&s, codePage}];
    if (!slot) {
        try {
            const bool bytes = s.kind == Kind::ByteOrder;
            slot = std::make_unique<TableCollation>(
                s.id, bytes, bytes ? detail::byteOrderTables(codePage) : detail::dictionaryTables(codePage));
        } catch (const Error&) {
            return nullptr;  // the code page cannot be converted on this machine
        }
    }
    return slot.get();
}

}  // namespace

CollationTrust collationTrust(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage)
{
    const SortOrder* s = find(sortOrder, sortOrderId, codePage);
    if (!s || s->kind == Kind::None)
        return CollationTrust::Unknown;
    return s->kind == Kind::ByteOrder ? CollationTrust::ByteOrder : CollationTrust::Knowledge;
}

const Collation* collationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage)
{
    const SortOrder* s = find(sortOrder, sortOrderId, codePage);
    if (!s || s->kind != Kind::ByteOrder)
        return nullptr;
    return collationOf(*s, codePage);
}

const Collation* knowledgeCollationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage)
{
    const SortOrder* s = find(sortOrder, sortOrderId, codePage);
    if (!s || s->kind == Kind::None)
        return nullptr;
    return collationOf(*s, codePage);
}

}  // namespace korva::paradox
