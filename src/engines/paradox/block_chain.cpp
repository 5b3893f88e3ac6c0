// The chain of data blocks: loading it, reading records in key or chain order, and the block
// moves a change makes (allocation, the free list, links, splits and merges).

#include "engines/paradox/table_file.h"

#include "base/errore.h"
#include "engines/paradox/collation.h"

#include <string.h>

#include <algorithm>
#include <cstring>

namespace korva::paradox {

void TableFile::loadChain()
{
    chain_.clear();
    freeBlocks_.clear();
    const int total = hdr_.fileBlocks;
    std::vector<bool> seen(static_cast<std::size_t>(total) + 1, false);
    std::uint32_t records = 0;
    int b = hdr_.firstBlock;
    int prev = 0;
    std::vector<std::uint8_t> head(6 + static_cast<std::size_t>(std::max(keyBytes_, 0)));
    const std::uint64_t fileSize = db_->file().size();
    while (b != 0) {
        if (b > total || seen[b])
            damaged(b > total ? "catena dei blocchi fuori dal file" : "catena dei blocchi circolare");
        seen[b] = true;
        const std::uint64_t off = db_->offsetOf(static_cast<std::uint32_t>(b));
        if (off + 6 > fileSize)
            damaged("blocco " + std::to_string(b) + " oltre la fine del file");
        std::fill(head.begin(), head.end(), 0);
        db_->file().readAt(off, head.data(), head.size());
        const int next = get16(head.data());
        const int add = static_cast<std::int16_t>(get16(head.data() + 4));
        if (add % hdr_.recordSize != 0 && add != -hdr_.recordSize)
            damaged("conteggio dei record del blocco " + std::to_string(b) + " non valido");
        const int count = add / hdr_.recordSize + 1;
        if (count < 0 || count > capacity_ ||
            off + 6 + static_cast<std::uint64_t>(count) * hdr_.recordSize > fileSize)
            damaged("conteggio dei record del blocco " + std::to_string(b) + " non valido");
        ChainEntry e;
        e.block = static_cast<std::uint16_t>(b);
        e.count = static_cast<std::uint16_t>(count);
        if (keyBytes_ > 0 && count > 0)
            e.firstKey.assign(reinterpret_cast<const char*>(head.data() + 6), keyBytes_);
        chain_.push_back(std::move(e));
        records += static_cast<std::uint32_t>(count);
        prev = b;
        b = next;
    }
    if (records != hdr_.numRecords)
        damaged("il numero di record dell'intestazione (" + std::to_string(hdr_.numRecords) +
                ") non corrisponde ai blocchi (" + std::to_string(records) + ")");
    if (!chain_.empty() && prev != hdr_.lastBlock)
        damaged("ultimo blocco della catena non corrispondente all'intestazione");
    int f = hdr_.firstFree;
    while (f != 0) {
        if (f > total || seen[f])
            damaged("elenco dei blocchi liberi non valido");
        seen[f] = true;
        freeBlocks_.push_back(f);
        std::uint8_t w[2] = {0, 0};
        db_->file().readAt(db_->offsetOf(static_cast<std::uint32_t>(f)), w, 2);
        f = get16(w);
    }
}

// ---- reading ---------------------------------------------------------------------------------

const std::uint8_t* TableFile::record(Pos p)
{
    const std::uint8_t* page = db_->read(chain_[p.block].block);
    return page + 6 + static_cast<std::size_t>(p.rec) * hdr_.recordSize;
}

int TableFile::compareKeys(const std::uint8_t* a, const std::uint8_t* b, int nfields) const
{
    int bytes = 0;
    for (int i = 0; i < nfields; ++i)
        bytes += fields_[i].bytes;
    // The file is in its sort order's collation: searching a table we may not change still
    // needs it (the best one known).
    const Collation* coll = collation_;
    if (!coll || coll->byteOrder())
        return std::memcmp(a, b, static_cast<std::size_t>(bytes));
    for (int i = 0; i < nfields; ++i) {
        const FieldInfo& f = fields_[static_cast<std::size_t>(i)];
        int c;
        if (f.def.type == FieldType::Alpha) {
            auto text = [&](const std::uint8_t* p) {
                return std::string_view(reinterpret_cast<const char*>(p + f.offset),
                                        strnlen(reinterpret_cast<const char*>(p + f.offset),
                                                static_cast<std::size_t>(f.bytes)));
            };
            c = coll->compare(text(a), text(b));
        } else {
            c = std::memcmp(a + f.offset, b + f.offset, static_cast<std::size_t>(f.bytes));
        }
        if (c)
            return c;
    }
    return 0;
}

Pos TableFile::upperBound(const std::uint8_t* key, int nfields)
{
    if (chain_.empty())
        return {0, 0};
    int lo = 0, hi = static_cast<int>(chain_.size());
    while (hi - lo > 1) {
        int mid = (lo + hi) / 2;
        const auto* fk = reinterpret_cast<const std::uint8_t*>(chain_[mid].firstKey.data());
        if (chain_[mid].count > 0 && compareKeys(fk, key, nfields) <= 0)
            lo = mid;
        else
            hi = mid;
    }
    for (int b = lo; b < static_cast<int>(chain_.size()); ++b) {
        int l = 0, h = chain_[b].count;
        while (l < h) {
            int m = (l + h) / 2;
            if (compareKeys(record({b, m}), key, nfields) <= 0)
                l = m + 1;
            else
                h = m;
        }
        if (l < chain_[b].count)
            return {b, l};
    }
    return {static_cast<int>(chain_.size()), 0};
}

Pos TableFile::lowerBound(const std::uint8_t* key, int nfields, bool& exact)
{
    exact = false;
    if (chain_.empty())
        return {0, 0};
    // The last block whose first key is below the key.
    int lo = 0, hi = static_cast<int>(chain_.size());
    while (hi - lo > 1) {
        int mid = (lo + hi) / 2;
        const auto* fk = reinterpret_cast<const std::uint8_t*>(chain_[mid].firstKey.data());
        if (chain_[mid].count > 0 && compareKeys(fk, key, nfields) < 0)
            lo = mid;
        else
            hi = mid;
    }
    int b = lo;
    for (;; ++b) {
        if (b >= static_cast<int>(chain_.size()))
            return {static_cast<int>(chain_.size()), 0};
        int l = 0, h = chain_[b].count;
        while (l < h) {
            int m = (l + h) / 2;
            if (compareKeys(record({b, m}), key, nfields) < 0)
                l = m + 1;
            else
                h = m;
        }
        if (l < chain_[b].count) {
            exact = compareKeys(record({b, l}), key, nfields) == 0;
            return {b, l};
        }
    }
}

std::uint32_t TableFile::ordinal(Pos p)
{
    if (!prefixValid_) {
        prefix_.assign(chain_.size() + 1, 0);
        for (std::size_t i = 0; i < chain_.size(); ++i)
            prefix_[i + 1] = prefix_[i] + chain_[i].count;
        prefixValid_ = true;
    }
    return prefix_[static_cast<std::size_t>(std::min<int>(p.block, static_cast<int>(chain_.size())))] +
           static_cast<std::uint32_t>(p.rec);
}

Pos TableFile::fromOrdinal(std::uint32_t n)
{
    ordinal({0, 0});
    auto it = std::upper_bound(prefix_.begin(), prefix_.end(), n);
    int b = static_cast<int>(it - prefix_.begin()) - 1;
    if (b >= static_cast<int>(chain_.size()))
        return {static_cast<int>(chain_.size()), 0};
    return {b, static_cast<int>(n - prefix_[static_cast<std::size_t>(b)])};
}

// ---- changing ----------------------------------------------------------------------------------

std::uint8_t* TableFile::blockForWrite(int b)
{
    return db_->write(static_cast<std::uint32_t>(b));
}

void TableFile::setCount(std::uint8_t* page, int count)
{
    put16(page + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(
                        static_cast<std::int16_t>((count - 1) * hdr_.recordSize))));
}

int TableFile::allocBlock()
{
    if (!freeBlocks_.empty()) {
        int b = freeBlocks_.front();
        freeBlocks_.erase(freeBlocks_.begin());
        return b;
    }
    if (hdr_.fileBlocks >= 0xFFFF)
        throw Error("La tabella " + display_ + " è piena: raggiunto il numero massimo di blocchi");
    return ++hdr_.fileBlocks;
}

void TableFile::freeBlock(int block)
{
    std::uint8_t* p = blockForWrite(block);
    std::memset(p, 0, static_cast<std::size_t>(hdr_.blockSize));
    put16(p, freeBlocks_.empty() ? 0 : static_cast<std::uint32_t>(freeBlocks_.front()));
    setCount(p, 0);
    freeBlocks_.insert(freeBlocks_.begin(), block);
}

void TableFile::join(int a, int b)
{
    if (a)
        put16(blockForWrite(a), static_cast<std::uint32_t>(b));
    else
        hdr_.firstBlock = b;
    if (b)
        put16(blockForWrite(b) + 2, static_cast<std::uint32_t>(a));
    else
        hdr_.lastBlock = a;
}

void TableFile::linkAfter(int ci, int nb)
{
    // chain_ does not hold nb yet.
    const int prevBlock = ci >= 0 ? chain_[ci].block : 0;
    const int nextBlock = ci + 1 < static_cast<int>(chain_.size()) ? chain_[ci + 1].block : 0;
    join(prevBlock, nb);
    join(nb, nextBlock);
    pxRelayout_ = true;
    prefixValid_ = false;
}

void TableFile::unlink(int ci)
{
    const int block = chain_[ci].block;
    const int prevBlock = ci > 0 ? chain_[ci - 1].block : 0;
    const int nextBlock = ci + 1 < static_cast<int>(chain_.size()) ? chain_[ci + 1].block : 0;
    join(prevBlock, nextBlock);
    chain_.erase(chain_.begin() + ci);
    if (chain_.empty()) {
        // An empty table has no blocks at all.
        freeBlocks_.clear();
        hdr_.fileBlocks = 0;
        hdr_.firstBlock = hdr_.lastBlock = 0;
        db_->truncatePages(1);
    } else {
        freeBlock(block);
    }
    pxRelayout_ = true;
    prefixValid_ = false;
}

void TableFile::touch(int ci)
{
    pxDirty_.insert(ci);
    prefixValid_ = false;
}

Pos TableFile::insertAt(Pos p, const std::uint8_t* rec)
{
    const int rs = hdr_.recordSize;
    if (chain_.empty()) {
        int nb = allocBlock();
        std::uint8_t* page = blockForWrite(nb);
        std::memset(page, 0, static_cast<std::size_t>(hdr_.blockSize));
        linkAfter(-1, nb);
        page = blockForWrite(nb);
        std::memcpy(page + 6, rec, static_cast<std::size_t>(rs));
        setCount(page, 1);
        chain_.push_back({static_cast<std::uint16_t>(nb), 1, keyOf(rec)});
        return {0, 0};
    }
    ChainEntry& e = chain_[p.block];
    if (e.count < capacity_) {
        std::uint8_t* page = blockForWrite(e.block);
        std::uint8_t* at = page + 6 + static_cast<std::size_t>(p.rec) * rs;
        std::memmove(at + rs, at, static_cast<std::size_t>(e.count - p.rec) * rs);
        std::memcpy(at, rec, static_cast<std::size_t>(rs));
        ++e.count;
        setCount(page, e.count);
        if (p.rec == 0)
            e.firstKey = keyOf(rec);
        touch(p.block);
        return p;
    }
    const int nb = allocBlock();
    std::memset(blockForWrite(nb), 0, static_cast<std::size_t>(hdr_.blockSize));
    linkAfter(p.block, nb);
    if (p.block == static_cast<int>(chain_.size()) - 1 && p.rec == e.count) {
        // Adding past the end of the last block starts a new block.
        std::uint8_t* page = blockForWrite(nb);
        std::memcpy(page + 6, rec, static_cast<std::size_t>(rs));
        setCount(page, 1);
        chain_.insert(chain_.begin() + p.block + 1, {static_cast<std::uint16_t>(nb), 1, keyOf(rec)});
        return {p.block + 1, 0};
    }
    // Split half and half, then add to the half it belongs in.
    const int cnt = e.count, half = cnt / 2;
    std::uint8_t* src = blockForWrite(e.block);
    std::uint8_t* dst = blockForWrite(nb);
    std::memcpy(dst + 6, src + 6 + static_cast<std::size_t>(half) * rs,
                static_cast<std::size_t>(cnt - half) * rs);
    setCount(dst, cnt - half);
    std::memset(src + 6 + static_cast<std::size_t>(half) * rs, 0, static_cast<std::size_t>(cnt - half) * rs);
    setCount(src, half);
    chain_[p.block].count = static_cast<std::uint16_t>(half);
    chain_.insert(chain_.begin() + p.block + 1,
                  {static_cast<std::uint16_t>(nb), static_cast<std::uint16_t>(cnt - half),
                   std::string(reinterpret_cast<const char*>(dst + 6), keyBytes_)});
    Pos target = p.rec <= half ? p : Pos{p.block + 1, p.rec - half};
    return insertAt(target, rec);
}

void TableFile::mergeAround(int ci)
{
    const int rs = hdr_.recordSize;
    auto mergeInto = [&](int a) {  // moves chain_[a+1]'s records into chain_[a]
        ChainEntry& x = chain_[a];
        ChainEntry& y = chain_[a + 1];
        std::uint8_t* dst = blockForWrite(x.block);
        const std::uint8_t* src = blockForWrite(y.block);
        std::memcpy(dst + 6 + static_cast<std::size_t>(x.count) * rs, src + 6,
                    static_cast<std::size_t>(y.count) * rs);
        x.count = static_cast<std::uint16_t>(x.count + y.count);
        setCount(dst, x.count);
        unlink(a + 1);
    };
    const int limit = capacity_ / 2;
    if (ci + 1 < static_cast<int>(chain_.size()) && chain_[ci].count + chain_[ci + 1].count <= limit)
        mergeInto(ci);
    else if (ci > 0 && chain_[ci - 1].count + chain_[ci].count <= limit)
        mergeInto(ci - 1);
}

RecordSet TableFile::allRecords()
{
    RecordSet rs;
    rs.recordSize = hdr_.recordSize;
    const std::size_t rsz = static_cast<std::size_t>(hdr_.recordSize);
    rs.bytes = BigBuffer(static_cast<std::size_t>(hdr_.numRecords) * rsz);
    rs.blocks.reserve(hdr_.numRecords);
    std::uint8_t* out = rs.bytes.data();
    // Without a change under way the file is what the blocks hold: read straight from it, runs
    // of neighbouring blocks at a time.
    const bool direct = !pager_.active();
    const std::size_t bs = static_cast<std::size_t>(hdr_.blockSize);
    const std::size_t most = std::max<std::size_t>(1, (4u << 20) / bs);
    std::vector<std::uint8_t> run;
    for (std::size_t b = 0; b < chain_.size();) {
        std::size_t e = b + 1;
        while (direct && e < chain_.size() && e - b < most && chain_[e].block == chain_[e - 1].block + 1)
            ++e;
        const std::uint8_t* pages = nullptr;
        if (direct) {
            run.resize((e - b) * bs);
            const std::uint64_t at = db_->offsetOf(chain_[b].block);
            const std::size_t got = db_->file().readAt(at, run.data(), run.size());
            // The last block may end early: only its records must be there.
            const std::size_t need = (e - b - 1) * bs + 6 + chain_[e - 1].count * rsz;
            if (got < need)
                damaged("blocco " + std::to_string(chain_[e - 1].block) + " oltre la fine del file");
            pages = run.data();
        }
        for (std::size_t i = b; i < e; ++i) {
            const std::size_t n = chain_[i].count * rsz;
            if (n)
                std::memcpy(out, direct ? pages + (i - b) * bs + 6 : record({static_cast<int>(i), 0}), n);
            out += n;
            rs.blocks.insert(rs.blocks.end(), chain_[i].count, chain_[i].block);
        }
        b = e;
    }
    return rs;
}

}  // namespace korva::paradox
