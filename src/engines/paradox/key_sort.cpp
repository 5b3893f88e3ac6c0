// Index keys repeat much of themselves (codes and names of one family, the same date, the
// padding of short values): the byte positions where every key is alike order nothing and are
// skipped, the first eight positions where keys differ are sorted as one number by radix, and
// keys equal in those are sorted again the same way from the positions that follow (a group
// of few keys is compared in full).

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

struct Keys {
    const std::uint8_t* data;
    std::size_t length;
    const std::uint8_t* at(const Entry& e) const { return data + static_cast<std::size_t>(e.pos) * length; }
};

// The positions from `from` on where some key of the group differs from its first one.
std::vector<std::size_t> varyingPositions(const Keys& k, const Entry* group, std::size_t count, std::size_t from)
{
    std::vector<std::uint8_t> differs(k.length, 0);
    const std::uint8_t* first = k.at(group[0]);
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint8_t* key = k.at(group[i]);
        for (std::size_t j = from; j < k.length; ++j)
            differs[j] |= static_cast<std::uint8_t>(key[j] ^ first[j]);
    }
    std::vector<std::size_t> positions;
    for (std::size_t j = from; j < k.length; ++j)
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

// Sorts a group of entries whose keys are equal before position `from`, stably; `spare` is
// as large as the group.
void sortGroup(const Keys& k, Entry* group, Entry* spare, std::size_t count, std::size_t from)
{
    if (count < 2 || from >= k.length)
        return;
    if (count < kFewKeys) {
        const std::size_t rest = k.length - from;
        std::stable_sort(group, group + count, [&](const Entry& a, const Entry& b) {
            return std::memcmp(k.at(a) + from, k.at(b) + from, rest) < 0;
        });
        return;
    }
    const std::vector<std::size_t> varying = varyingPositions(k, group, count, from);
    if (varying.empty())
        return;  // all equal: their order stays
    const std::size_t inPrefix = std::min<std::size_t>(8, varying.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* key = k.at(group[i]);
        std::uint64_t p = 0;
        for (std::size_t b = 0; b < 8; ++b)
            p = (p << 8) | (b < inPrefix ? key[varying[b]] : 0u);
        group[i].prefix = p;
    }
    if (radixSort(group, spare, count) != group)
        std::copy(spare, spare + count, group);
    if (varying.size() == inPrefix)
        return;
    // Keys equal in the prefix: the positions after it decide.
    const std::size_t next = varying[inPrefix];
    for (std::size_t i = 0; i < count;) {
        std::size_t j = i + 1;
        while (j < count && group[j].prefix == group[i].prefix)
            ++j;
        sortGroup(k, group + i, spare + i, j - i, next);
        i = j;
    }
}

}  // namespace

std::vector<std::uint32_t> orderByKeys(const std::uint8_t* keys, std::size_t count, std::size_t length)
{
    BigBuffer one(count * sizeof(Entry)), two(count * sizeof(Entry));
    auto* entries = reinterpret_cast<Entry*>(one.data());
    for (std::size_t i = 0; i < count; ++i)
        entries[i] = {0, static_cast<std::uint32_t>(i)};
    sortGroup({keys, length}, entries, reinterpret_cast<Entry*>(two.data()), count, 0);
    std::vector<std::uint32_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].pos;
    return order;
}

}  // namespace korva::paradox
