// Index keys share long prefixes (codes, names of one family): the bytes every key has in
// common are skipped, the next eight are sorted as numbers by radix, and only keys equal in
// those eight are compared in full.

#include "engines/paradox/key_sort.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korva::paradox {

namespace {

struct Entry {
    std::uint64_t prefix;
    std::uint32_t pos;
};

std::size_t commonPrefix(const std::uint8_t* keys, std::size_t count, std::size_t length)
{
    std::size_t common = length;
    for (std::size_t i = 1; i < count && common > 0; ++i) {
        const std::uint8_t* k = keys + i * length;
        if (std::memcmp(keys, k, common) == 0)
            continue;
        std::size_t m = 0;
        while (keys[m] == k[m])
            ++m;
        common = m;
    }
    return common;
}

// Stable least-significant-digit radix sort on the prefixes; passes whose byte is the same in
// every entry are skipped.
void radixSort(std::vector<Entry>& entries)
{
    std::vector<std::array<std::uint32_t, 256>> counts(8);
    for (auto& c : counts)
        c.fill(0);
    for (const Entry& e : entries)
        for (int d = 0; d < 8; ++d)
            ++counts[static_cast<std::size_t>(d)][(e.prefix >> (8 * d)) & 0xFF];
    std::vector<Entry> other(entries.size());
    for (int d = 0; d < 8; ++d) {
        auto& c = counts[static_cast<std::size_t>(d)];
        if (std::find(c.begin(), c.end(), static_cast<std::uint32_t>(entries.size())) != c.end())
            continue;
        std::uint32_t at = 0;
        for (auto& n : c) {
            const std::uint32_t here = n;
            n = at;
            at += here;
        }
        for (const Entry& e : entries)
            other[c[(e.prefix >> (8 * d)) & 0xFF]++] = e;
        entries.swap(other);
    }
}

}  // namespace

std::vector<std::uint32_t> orderByKeys(const std::uint8_t* keys, std::size_t count, std::size_t length)
{
    std::vector<std::uint32_t> order(count);
    if (count == 0)
        return order;
    const std::size_t common = commonPrefix(keys, count, length);
    const std::size_t width = std::min<std::size_t>(8, length - common);
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* k = keys + i * length + common;
        std::uint64_t p = 0;
        for (std::size_t b = 0; b < 8; ++b)
            p = (p << 8) | (b < width ? k[b] : 0u);
        entries[i] = {p, static_cast<std::uint32_t>(i)};
    }
    radixSort(entries);
    const std::size_t restAt = common + width;
    const std::size_t rest = length - restAt;
    if (rest > 0) {
        auto less = [&](const Entry& a, const Entry& b) {
            return std::memcmp(keys + a.pos * length + restAt, keys + b.pos * length + restAt, rest) < 0;
        };
        for (std::size_t i = 0; i < count;) {
            std::size_t j = i + 1;
            while (j < count && entries[j].prefix == entries[i].prefix)
                ++j;
            if (j - i > 1)
                std::stable_sort(entries.begin() + static_cast<std::ptrdiff_t>(i),
                                 entries.begin() + static_cast<std::ptrdiff_t>(j), less);
            i = j;
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].pos;
    return order;
}

}  // namespace korva::paradox
