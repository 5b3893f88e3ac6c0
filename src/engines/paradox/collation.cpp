#include "engines/paradox/collation.h"

#include "base/codepage.h"
#include "base/errore.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace korva::paradox {

namespace {

std::string_view untilNul(std::string_view s)
{
    const void* nul = std::memchr(s.data(), 0, s.size());
    return nul ? s.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - s.data())) : s;
}

// A value without its trailing blanks, which weigh nothing in the drivers' order (Firebird
// ignores them); how many there were decides only between values otherwise equal.
std::string_view withoutTrailingBlanks(std::string_view s)
{
    const std::size_t end = s.find_last_not_of(' ');
    return s.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

// The elements of a value one after another: (primary, secondary) pairs, two for a byte that
// expands; nullptr at the end.
class Elements {
public:
    Elements(std::string_view s, const Collation::Weights& w, const std::uint8_t* fold)
        : s_(reinterpret_cast<const std::uint8_t*>(s.data())), n_(s.size()), w_(w), fold_(fold)
    {
    }
    const std::uint8_t* next()
    {
        if (i_ == n_)
            return nullptr;
        const std::uint8_t b = fold_ ? fold_[s_[i_]] : s_[i_];
        const std::uint8_t* e = w_[b].data();
        if (second_) {
            second_ = false;
            ++i_;
            return e + 2;
        }
        if (e[2])
            second_ = true;
        else
            ++i_;
        return e;
    }

private:
    const std::uint8_t* s_;
    std::size_t n_;
    std::size_t i_ = 0;
    bool second_ = false;
    const Collation::Weights& w_;
    const std::uint8_t* fold_;
};

}  // namespace

Collation::Collation(std::string name, bool byteOrder, bool exact, const Weights& weights,
                     const std::array<std::uint8_t, 256>& upper)
    : name_(std::move(name)), byteOrder_(byteOrder), exact_(exact), weights_(weights), upper_(upper)
{
    for (const auto& w : weights_)
        expands_ = expands_ || w[2] != 0;
}

int Collation::compareFolded(std::string_view a, std::string_view b, const std::uint8_t* fold) const
{
    a = untilNul(a);
    b = untilNul(b);
    if (byteOrder_) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t x = static_cast<std::uint8_t>(a[i]), y = static_cast<std::uint8_t>(b[i]);
            const int fx = fold ? fold[x] : x, fy = fold ? fold[y] : y;
            if (fx != fy)
                return fx < fy ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    if (!fold && a == b)
        return 0;
    const std::size_t blanksA = a.size(), blanksB = b.size();
    a = withoutTrailingBlanks(a);
    b = withoutTrailingBlanks(b);
    // Primary weights over the whole values; with equal ones, both have as many elements.
    Elements pa(a, weights_, fold), pb(b, weights_, fold);
    for (;;) {
        const std::uint8_t* x = pa.next();
        const std::uint8_t* y = pb.next();
        if (!x || !y) {
            if (x || y)
                return x ? 1 : -1;
            break;
        }
        if (x[0] != y[0])
            return x[0] < y[0] ? -1 : 1;
    }
    Elements sa(a, weights_, fold), sb(b, weights_, fold);
    while (const std::uint8_t* x = sa.next()) {
        const std::uint8_t* y = sb.next();
        if (x[1] != y[1])
            return x[1] < y[1] ? -1 : 1;
    }
    const std::size_t ta = blanksA - a.size(), tb = blanksB - b.size();
    return ta == tb ? 0 : (ta < tb ? -1 : 1);
}

int Collation::compare(std::string_view a, std::string_view b) const
{
    return compareFolded(a, b, nullptr);
}

int Collation::compareCaseInsensitive(std::string_view a, std::string_view b) const
{
    return compareFolded(a, b, upper_.data());
}

std::size_t Collation::sortKeyLength(std::size_t bytes) const
{
    if (byteOrder_)
        return bytes;
    // Primaries and secondaries, then the count of trailing blanks.
    return 2 * (expands_ ? 2 * bytes : bytes) + 1;
}

void Collation::sortKey(const std::uint8_t* value, std::size_t bytes, bool caseInsensitive, std::uint8_t* key) const
{
    const std::size_t length = sortKeyLength(bytes);
    std::memset(key, 0, length);
    const std::size_t n = strnlen(reinterpret_cast<const char*>(value), bytes);
    const std::uint8_t* fold = caseInsensitive ? upper_.data() : nullptr;
    if (byteOrder_) {
        for (std::size_t i = 0; i < n; ++i)
            key[i] = fold ? fold[value[i]] : value[i];
        return;
    }
    std::uint8_t* secondary = key + (length - 1) / 2;
    const std::string_view v = withoutTrailingBlanks(std::string_view(reinterpret_cast<const char*>(value), n));
    Elements e(v, weights_, fold);
    for (std::size_t k = 0; const std::uint8_t* x = e.next(); ++k) {
        key[k] = x[0];
        secondary[k] = x[1];
    }
    key[length - 1] = static_cast<std::uint8_t>(n - v.size());
}

namespace {

enum class Kind {
    ByteOrder,  // plain byte order
    Measured,   // the driver's weights, measured (kDriverWeights)
    Borrowed,   // read with the weights of `from`, the closest driver known: never written
    None,       // not known
};

// The sort orders met in tables. `codePages` lists the pages the driver is made for; the first
// one stands for a table that names none (level 3 and 3.5). `anySingleByte`: the order does
// not depend on the page (byte order), so any single-byte page the program knows is accepted.
struct SortOrder {
    std::uint8_t byte;
    const char* id;
    Kind kind;
    int codePages[2];
    bool anySingleByte;
    const char* from;  // Borrowed: the measured driver it reads by
};

// intl850 is ANSII850's order through code page 850 (its letters; what 1252 lacks comes after
// them); DBWINWE0, a Windows driver without a Firebird collation, reads as ANSIINTL.
constexpr SortOrder kSortOrders[] = {
    {0x00, "ascii", Kind::ByteOrder, {437, 850}, true, nullptr},
    {0x4C, "DBWINUS0", Kind::ByteOrder, {1252, 0}, false, nullptr},
    {0x62, "ANSIINTL", Kind::Measured, {1252, 0}, false, nullptr},
    {0x11, "ANSII850", Kind::Measured, {1252, 0}, false, nullptr},
    {0xB7, "intl", Kind::Measured, {437, 0}, false, nullptr},
    {0xC0, "cyrr", Kind::Measured, {866, 0}, false, nullptr},
    {0xF0, "swedfin", Kind::Measured, {437, 0}, false, nullptr},
    {0xE6, "nordan40", Kind::Measured, {865, 0}, false, nullptr},
    {0x54, "intl850", Kind::Borrowed, {850, 0}, false, "ANSII850"},
    {0x40, "DBWINWE0", Kind::Borrowed, {1252, 0}, false, "ANSIINTL"},
    {0x03, "china", Kind::None, {936, 0}, false, nullptr},
    {0x14, "BLROM800", Kind::None, {0, 0}, false, nullptr},
};

bool sameId(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
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

// The entry for a header and the code page its collation is built for; nullptr when the
// header names no sort order we know, or one that does not fit the code page.
const SortOrder* find(std::uint8_t byte, std::string_view id, int& codePage)
{
    for (const SortOrder& s : kSortOrders) {
        if (s.byte != byte || !(id.empty() || sameId(id, s.id)))
            continue;
        if (s.kind == Kind::None)
            return nullptr;
        if (codePage == 0)
            codePage = s.codePages[0];
        if (codePage == s.codePages[0] || codePage == s.codePages[1] || (s.anySingleByte && singleByte(codePage)))
            return &s;
        return nullptr;
    }
    return nullptr;
}

const detail::DriverWeights& measured(std::string_view id)
{
    for (std::size_t i = 0; i < detail::kDriverWeightsCount; ++i)
        if (id == detail::kDriverWeights[i].id)
            return detail::kDriverWeights[i];
    throw Error("pesi del driver " + std::string(id) + " mancanti");
}

// The Unicode character of every byte of a single-byte code page (0 for byte 0).
std::array<char32_t, 256> charactersOf(int codePage)
{
    std::array<char32_t, 256> out{};
    for (int b = 1; b < 256; ++b) {
        const std::string utf8 = codepage::toUtf8(std::string(1, static_cast<char>(b)), codePage);
        const auto u = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(utf8[i])); };
        char32_t c = 0xFFFD;  // not one character: no letter
        if (utf8.size() == 1)
            c = u(0);
        else if (utf8.size() == 2)
            c = ((u(0) & 0x1F) << 6) | (u(1) & 0x3F);
        else if (utf8.size() == 3)
            c = ((u(0) & 0x0F) << 12) | ((u(1) & 0x3F) << 6) | (u(2) & 0x3F);
        out[static_cast<std::size_t>(b)] = c;
    }
    return out;
}

std::map<char32_t, std::uint8_t> bytesOf(const std::array<char32_t, 256>& characters)
{
    std::map<char32_t, std::uint8_t> byteOf;
    for (int b = 255; b >= 1; --b)
        byteOf[characters[static_cast<std::size_t>(b)]] = static_cast<std::uint8_t>(b);
    return byteOf;
}

// The code page's own upper case (Unicode's simple mapping, where the page holds the result):
// what byte-order drivers fold to.
std::array<std::uint8_t, 256> codePageUpper(int codePage)
{
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!unicode)
        throw Error("la localizzazione C.UTF-8 non è disponibile: impossibile confrontare senza maiuscole");
    const auto characters = charactersOf(codePage);
    const auto byteOf = bytesOf(characters);
    std::array<std::uint8_t, 256> upper{};
    for (int b = 0; b < 256; ++b) {
        upper[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
        const char32_t c = characters[static_cast<std::size_t>(b)];
        const auto u = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode));
        const auto it = byteOf.find(u);
        if (b > 0 && u != c && it != byteOf.end())
            upper[static_cast<std::size_t>(b)] = it->second;
    }
    return upper;
}

std::unique_ptr<Collation> byteOrderCollation(const SortOrder& s, int codePage)
{
    Collation::Weights w{};
    for (int b = 1; b < 256; ++b)
        w[static_cast<std::size_t>(b)][0] = static_cast<std::uint8_t>(b);
    return std::make_unique<Collation>(s.id, true, true, w, codePageUpper(codePage));
}

std::unique_ptr<Collation> measuredCollation(const SortOrder& s, const detail::DriverWeights& d, int codePage, bool exact)
{
    Collation::Weights w{};
    std::array<std::uint8_t, 256> upper{};
    if (codePage == d.codePage) {
        for (std::size_t b = 0; b < 256; ++b) {
            std::copy(d.weights[b], d.weights[b] + 4, w[b].begin());
            upper[b] = d.upper[b];
        }
        return std::make_unique<Collation>(s.id, false, exact, w, upper);
    }
    // The driver's weights through another code page: each character weighs as in the
    // driver's page; those the driver's page lacks come after everything, in byte order.
    const auto mine = charactersOf(codePage), theirs = charactersOf(d.codePage);
    const auto theirByte = bytesOf(theirs), myByte = bytesOf(mine);
    int next = 0;
    for (const auto& e : d.weights)
        next = std::max({next, static_cast<int>(e[0]), static_cast<int>(e[2])});
    for (int b = 1; b < 256; ++b) {
        const auto it = theirByte.find(mine[static_cast<std::size_t>(b)]);
        auto& e = w[static_cast<std::size_t>(b)];
        upper[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
        if (it == theirByte.end()) {
            if (++next > 255)
                throw Error("troppi caratteri senza peso nell'ordinamento " + std::string(s.id));
            e = {static_cast<std::uint8_t>(next), 0, 0, 0};
            continue;
        }
        std::copy(d.weights[it->second], d.weights[it->second] + 4, e.begin());
        const auto up = myByte.find(theirs[d.upper[it->second]]);
        if (up != myByte.end())
            upper[static_cast<std::size_t>(b)] = up->second;
    }
    return std::make_unique<Collation>(s.id, false, exact, w, upper);
}

const Collation* collationOf(const SortOrder& s, int codePage)
{
    static std::mutex mutex;
    static std::map<std::pair<const SortOrder*, int>, std::unique_ptr<Collation>> built;

    const std::lock_guard<std::mutex> lock(mutex);
    auto& slot = built[{&s, codePage}];
    if (!slot) {
        try {
            if (s.kind == Kind::ByteOrder)
                slot = byteOrderCollation(s, codePage);
            else if (s.kind == Kind::Measured)
                slot = measuredCollation(s, measured(s.id), codePage, true);
            else
                slot = measuredCollation(s, measured(s.from), codePage, false);
        } catch (const Error&) {
            return nullptr;  // the code page cannot be converted on this machine
        }
    }
    return slot.get();
}

}  // namespace

const Collation* collationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage)
{
    const Collation* c = knowledgeCollationFor(sortOrder, sortOrderId, codePage);
    return c && c->exact() ? c : nullptr;
}

const Collation* knowledgeCollationFor(std::uint8_t sortOrder, std::string_view sortOrderId, int codePage)
{
    const SortOrder* s = find(sortOrder, sortOrderId, codePage);
    return s ? collationOf(*s, codePage) : nullptr;
}

int sortOrderCodePage(std::uint8_t sortOrder, std::string_view sortOrderId)
{
    int codePage = 0;
    return find(sortOrder, sortOrderId, codePage) ? codePage : 0;
}

std::optional<TableSortOrder> tableSortOrder(std::string_view id)
{
    for (const SortOrder& s : kSortOrders)
        if (sameId(id, s.id) && (s.kind == Kind::ByteOrder || s.kind == Kind::Measured))
            return TableSortOrder{s.byte, s.id, s.codePages[0]};
    return std::nullopt;
}

std::vector<std::string> tableSortOrderNames()
{
    std::vector<std::string> names;
    for (const SortOrder& s : kSortOrders)
        if (s.kind == Kind::ByteOrder || s.kind == Kind::Measured)
            names.emplace_back(s.id);
    return names;
}

}  // namespace korva::paradox
