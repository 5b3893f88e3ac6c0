#include "engines/paradox/blob_store.h"

#include "base/errore.h"
#include "engines/paradox/format.h"

#include <algorithm>
#include <cstring>

namespace korva::paradox {

namespace {
constexpr int kUnit = 4096;
constexpr int kSlots = 64;
constexpr int kSubData = 0x150;        // first data byte of a sub-allocated block
constexpr std::size_t kSubLimit = 2048;  // longer values get blocks of their own
}  // namespace

BlobStore::BlobStore(PagedFile& mb, std::string display) : mb_(mb), display_(std::move(display)) {}

std::vector<std::uint8_t> BlobStore::newHeader()
{
    std::vector<std::uint8_t> h(kUnit, 0);
    const std::pair<int, int> bytes[] = {{1, 1},     {3, 1},     {5, 0x82}, {6, 0x73}, {7, 2},
                                         {9, 0x29},  {12, 0x10}, {14, 0x10}, {16, 0x10},
                                         {17, 0x40}, {20, 8},    {41, 0xA1}, {42, 2}};
    for (auto [at, v] : bytes)
        h[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v);
    return h;
}

void BlobStore::damaged(const std::string& why) const
{
    throw Error("Il file dei memo della tabella " + display_ + " è danneggiato: " + why);
}

std::string BlobStore::read(BlobStore* store, const std::uint8_t* desc, int leader,
                            const std::string& display)
{
    const std::uint8_t* tail = desc + leader;
    const std::uint32_t offset = get32(tail);
    const std::uint32_t length = get32(tail + 4);
    if (length == 0)
        return {};
    if (offset == 0) {
        if (length > static_cast<std::uint32_t>(leader))
            throw Error("La tabella " + display + " è danneggiata: memo di " +
                        std::to_string(length) + " byte senza blocco nel file dei memo");
        return std::string(reinterpret_cast<const char*>(desc), length);
    }
    if (!store)
        throw Error("La tabella " + display + " non ha il file dei memo (.MB)");
    return store->readStored(offset, length, display);
}

std::string BlobStore::readStored(std::uint32_t offset, std::uint32_t length, const std::string&)
{
    const std::uint32_t block = offset / kUnit;
    const int index = static_cast<int>(offset & 0xFF);
    if (block == 0 || (offset & 0xF00) != 0 || block >= mb_.pagesOnDisk())
        damaged("riferimento a un blocco inesistente");
    const std::uint8_t* page = mb_.read(block);
    if (index == 0xFF) {
        const int chunks = get16(page + 1);
        if (page[0] != 2 || get32(page + 3) != length ||
            static_cast<std::uint64_t>(length) + 9 > static_cast<std::uint64_t>(chunks) * kUnit ||
            block + static_cast<std::uint32_t>(chunks) > mb_.pagesOnDisk() + 1)
            damaged("blocco di un memo non valido");
        std::string v;
        v.reserve(length);
        std::uint32_t left = length;
        std::uint32_t b = block;
        std::size_t at = 9;
        while (left > 0) {
            const std::uint8_t* p = mb_.read(b);
            const std::size_t take = std::min<std::size_t>(left, kUnit - at);
            v.append(reinterpret_cast<const char*>(p + at), take);
            left -= static_cast<std::uint32_t>(take);
            at = 0;
            ++b;
        }
        return v;
    }
    if (page[0] != 3 || index >= kSlots)
        damaged("blocco di un memo non valido");
    const std::uint8_t* slot = page + 12 + 5 * index;
    const int start = slot[0] * 16, chunks = slot[1], last = slot[4];
    if (last == 0 || chunks == 0)
        damaged("memo cancellato ancora in uso");
    const std::uint32_t len = static_cast<std::uint32_t>((chunks - 1) * 16 + last);
    if (len != length || start < kSubData || start + static_cast<int>(len) > kUnit)
        damaged("posizione di un memo non valida");
    return std::string(reinterpret_cast<const char*>(page + start), len);
}

void BlobStore::scanFree()
{
    if (scanned_)
        return;
    freeRuns_.clear();
    const std::uint32_t pages = mb_.pagesOnDisk();
    std::uint32_t b = 1;
    while (b < pages) {
        const std::uint8_t* p = mb_.read(b);
        const int chunks = get16(p + 1);
        if (chunks < 1)
            damaged("blocco senza dimensione");
        if (p[0] == 4)
            freeRuns_.emplace_back(static_cast<int>(b), chunks);
        b += static_cast<std::uint32_t>(chunks);
    }
    endBlock_ = static_cast<int>(std::max<std::uint32_t>(b, 1));
    scanned_ = true;
}

std::uint32_t BlobStore::allocRun(int chunks)
{
    scanFree();
    for (auto it = freeRuns_.begin(); it != freeRuns_.end(); ++it) {
        if (it->second < chunks)
            continue;
        const int first = it->first;
        if (it->second > chunks) {
            it->first += chunks;
            it->second -= chunks;
            std::uint8_t* rest = mb_.write(static_cast<std::uint32_t>(it->first));
            rest[0] = 4;
            put16(rest + 1, static_cast<std::uint32_t>(it->second));
        } else {
            freeRuns_.erase(it);
        }
        return static_cast<std::uint32_t>(first);
    }
    const int first = endBlock_;
    endBlock_ += chunks;
    return static_cast<std::uint32_t>(first);
}

void BlobStore::write(BlobStore* store, std::uint8_t* desc, int leader, std::string_view value)
{
    std::uint8_t* tail = desc + leader;
    std::memset(desc, 0, static_cast<std::size_t>(leader) + 10);
    if (value.empty())
        return;
    std::memcpy(desc, value.data(), std::min<std::size_t>(value.size(), static_cast<std::size_t>(leader)));
    put32(tail + 4, static_cast<std::uint32_t>(value.size()));
    if (value.size() <= static_cast<std::size_t>(leader))
        return;
    BlobStore& s = *store;
    s.scanFree();
    s.changed_ = true;
    std::uint8_t* hdr = s.mb_.write(0);
    const std::uint32_t mod = (get16(hdr + 3) + 1) & 0xFFFF;
    put16(hdr + 3, mod ? mod : 1);
    const std::uint16_t modNr = static_cast<std::uint16_t>(get16(hdr + 3));
    if (value.size() <= kSubLimit) {
        const int need = static_cast<int>((value.size() + 15) / 16);
        // A sub-allocated block with a free slot and room (the last one filled, or one where
        // something was freed), else a new one.
        std::vector<std::uint32_t> tries = s.subCandidates_;
        if (s.subHint_)
            tries.push_back(s.subHint_);
        for (std::uint32_t b : tries) {
            if (s.placeInSub(b, value, need, modNr, tail))
                return;
            std::erase(s.subCandidates_, b);
        }
        const std::uint32_t b = s.allocRun(1);
        std::uint8_t* w = s.mb_.write(b);
        std::memset(w, 0, kUnit);
        w[0] = 3;
        put16(w + 1, 1);
        const int slot = kSlots - 1;
        std::uint8_t* sl = w + 12 + 5 * slot;
        sl[0] = kSubData / 16;
        sl[1] = static_cast<std::uint8_t>(need);
        put16(sl + 2, modNr);
        sl[4] = static_cast<std::uint8_t>(value.size() - static_cast<std::size_t>(need - 1) * 16);
        std::memcpy(w + kSubData, value.data(), value.size());
        put32(tail, b * kUnit + static_cast<std::uint32_t>(slot));
        put16(tail + 8, modNr);
        s.subHint_ = b;
        return;
    }
    const int chunks = static_cast<int>((value.size() + 9 + kUnit - 1) / kUnit);
    const std::uint32_t first = s.allocRun(chunks);
    std::size_t done = 0;
    for (int i = 0; i < chunks; ++i) {
        std::uint8_t* w = s.mb_.write(first + static_cast<std::uint32_t>(i));
        std::memset(w, 0, kUnit);
        std::size_t at = 0;
        if (i == 0) {
            w[0] = 2;
            put16(w + 1, static_cast<std::uint32_t>(chunks));
            put32(w + 3, static_cast<std::uint32_t>(value.size()));
            put16(w + 7, modNr);
            at = 9;
        }
        const std::size_t take = std::min(value.size() - done, kUnit - at);
        std::memcpy(w + at, value.data() + done, take);
        done += take;
    }
    put32(tail, first * kUnit + 0xFF);
    put16(tail + 8, modNr);
}

bool BlobStore::placeInSub(std::uint32_t b, std::string_view value, int need, std::uint16_t modNr,
                           std::uint8_t* tail)
{
    if (b == 0 || b >= static_cast<std::uint32_t>(endBlock_))
        return false;
    const std::uint8_t* p = mb_.read(b);
    if (p[0] != 3)
        return false;
    std::vector<bool> used(256, false);
    for (int i = 0; i < kSubData / 16; ++i)
        used[static_cast<std::size_t>(i)] = true;
    int freeSlot = -1;
    for (int i = kSlots - 1; i >= 0; --i) {
        const std::uint8_t* sl = p + 12 + 5 * i;
        if (sl[4] == 0) {
            if (freeSlot < 0)
                freeSlot = i;
            continue;
        }
        for (int c = sl[0]; c < sl[0] + sl[1] && c < 256; ++c)
            used[static_cast<std::size_t>(c)] = true;
    }
    if (freeSlot < 0)
        return false;
    int start = -1;
    for (int c = kSubData / 16, run = 0; c < 256; ++c) {
        run = used[static_cast<std::size_t>(c)] ? 0 : run + 1;
        if (run == need) {
            start = c - need + 1;
            break;
        }
    }
    if (start < 0)
        return false;
    std::uint8_t* w = mb_.write(b);
    std::uint8_t* sl = w + 12 + 5 * freeSlot;
    sl[0] = static_cast<std::uint8_t>(start);
    sl[1] = static_cast<std::uint8_t>(need);
    put16(sl + 2, modNr);
    sl[4] = static_cast<std::uint8_t>(value.size() - static_cast<std::size_t>(need - 1) * 16);
    std::memset(w + start * 16, 0, static_cast<std::size_t>(need) * 16);
    std::memcpy(w + start * 16, value.data(), value.size());
    put32(tail, b * kUnit + static_cast<std::uint32_t>(freeSlot));
    put16(tail + 8, modNr);
    return true;
}

void BlobStore::free(const std::uint8_t* desc, int leader)
{
    const std::uint8_t* tail = desc + leader;
    const std::uint32_t offset = get32(tail);
    if (offset == 0 || get32(tail + 4) == 0)
        return;
    const std::uint32_t block = offset / kUnit;
    const int index = static_cast<int>(offset & 0xFF);
    if (block == 0 || block >= mb_.pagesOnDisk() + 64)
        return;  // a damaged reference frees nothing
    scanFree();
    changed_ = true;
    std::uint8_t* w = mb_.write(block);
    if (index == 0xFF) {
        if (w[0] != 2)
            return;
        w[0] = 4;
        freeRuns_.emplace_back(static_cast<int>(block), std::max<int>(1, get16(w + 1)));
        return;
    }
    if (w[0] != 3 || index >= kSlots)
        return;
    w[12 + 5 * index + 4] = 0;
    for (int i = 0; i < kSlots; ++i)
        if (w[12 + 5 * i + 4]) {
            if (std::find(subCandidates_.begin(), subCandidates_.end(), block) == subCandidates_.end())
                subCandidates_.push_back(block);
            return;
        }
    std::erase(subCandidates_, block);
    if (subHint_ == block)
        subHint_ = 0;
    // No value left in it: the block becomes free.
    std::memset(w, 0, kUnit);
    w[0] = 4;
    put16(w + 1, 1);
    freeRuns_.emplace_back(static_cast<int>(block), 1);
}

void BlobStore::prepareCommit()
{
    changed_ = false;
}

}  // namespace korva::paradox
