// Index keys repeat much of themselves (codes and names of one family, the same date, the
// padding of short values): the byte positions where every key is alike order nothing and are
// skipped, the first eight positions where keys differ are sorted as one number by radix, and
// only keys equal in those are compared in full.

#include "engines/paradox/key_sort.h"

#include "engines/paradox/big_buffer.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korva::paradox {

namespace {

constexpr std::size_t kFewKeys = 4096;

struct Entry {
    std::uint64_t prefix;
    std::uint32_t pos;
};

std::vector<std::size_t> varyingPositions(const std::uint8_t* keys, std::size_t count, std::size_t length)
{
    std::vector<std::uint8_t> differs(length, 0);
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint8_t* k = keys + i * length;
        for (std::size_t j = 0; j < length; ++j)
            differs[j] |= static_cast<std::uint8_t>(k[j] ^ keys[j]);
    }
    std::vector<std::size_t> positions;
    for (std::size_t j = 0; j < length; ++j)
        if (differs[j])
            positions.push_back(j);
    return positions;
}

// Stable least-significant-digit radix sort on the prefixes, sixteen bits a pass; a pass whose
// digit is the same in every entry is skipped. The result is in `a` or in `b`: returned.
Entry* radixSort(Entry* a, Entry* b, std::size_t count)
{
    std::vector<std::uint32_t> counts(4 * 65536, 0);
    for (std::size_t i = 0; i < count; ++i)
        for (int d = 0; d < 4; ++d)
            ++counts[static_cast<std::size_t>(d) * 65536 + ((a[i].prefix >> (16 * d)) & 0xFFFF)];
    for (int d = 0; d < 4; ++d) {
        std::uint32_t* c = counts.data() + static_cast<std::size_t>(d) * 65536;
        if (std::find(c, c + 65536, static_cast<std::uint32_t>(count)) != c + 65536)
            continue;
        std::uint32_t at = 0;
        for (std::size_t v = 0; v < 65536; ++v) {
            const std::uint32_t here = c[v];
            c[v] = at;
            at += here;
        }
        for (std::size_t i = 0; i < count; ++i)
            b[c[(a[i].prefix >> (16 * d)) & 0xFFFF]++] = a[i];
        std::swap(a, b);
    }
    return a;
}

}  // namespace

std::vector<std::uint32_t> orderByKeys(const std::uint8_t* keys, std::size_t count, std::size_t length)
{
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    // Few keys (the indexes of a small table, rebuilt at each change): compared directly.
    if (count < kFewKeys) {
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return std::memcmp(keys + a * length, keys + b * length, length) < 0;
        });
        return order;
    }
    const std::vector<std::size_t> varying = varyingPositions(keys, count, length);
    const std::size_t inPrefix = std::min<std::size_t>(8, varying.size());
    BigBuffer one(count * sizeof(Entry)), two(count * sizeof(Entry));
    auto* entries = reinterpret_cast<Entry*>(one.data());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* k = keys + i * length;
        std::uint64_t p = 0;
        for (std::size_t b = 0; b < 8; ++b)
            p = (p << 8) | (b < inPrefix ? k[varying[b]] : 0u);
        entries[i] = {p, static_cast<std::uint32_t>(i)};
    }
    entries = radixSort(entries, reinterpret_cast<Entry*>(two.data()), count);
    if (varying.size() > inPrefix) {
        // Keys equal in the prefix: the rest from the next varying position decides.
        const std::size_t restAt = varying[inPrefix];
        const std::size_t rest = length - restAt;
        auto less = [&](const Entry& a, const Entry& b) {
            return std::memcmp(keys + a.pos * length + restAt, keys + b.pos * length + restAt, rest) < 0;
        };
        for (std::size_t i = 0; i < count;) {
            std::size_t j = i + 1;
            while (j < count && entries[j].prefix == entries[i].prefix)
                ++j;
            if (j - i > 1)
                std::stable_sort(entries + i, entries + j, less);
            i = j;
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].pos;
    return order;
}

}  // namespace korva::paradox
