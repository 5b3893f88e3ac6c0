// Changes to records: key checks, insert, update, erase, blob values and the auto-increment
// counter.

#include "engines/paradox/table_file.h"

#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cstring>

namespace korva::paradox {

using detail::compareIndexKey;

std::string TableFile::readStoredBlob(const std::uint8_t* rec, int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    return BlobStore::read(blobs_.get(), rec + f.offset, f.def.size, display_);
}

std::string TableFile::readBlob(const std::uint8_t* rec, int field)
{
    std::string v = readStoredBlob(rec, field);
    if (fields_[static_cast<std::size_t>(field)].def.type == FieldType::Graphic && v.size() >= 8)
        v.erase(0, 8);
    return v;
}

void TableFile::writeBlob(std::uint8_t* rec, int field, std::string_view value)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    std::string stored;
    if (f.def.type == FieldType::Graphic && !value.empty()) {
        std::uint8_t prefix[8] = {1, 0, 0, 1, 0, 0, 0, 0};
        put32(prefix + 4, static_cast<std::uint32_t>(value.size()));
        stored.assign(reinterpret_cast<const char*>(prefix), 8);
    }
    stored.append(value);
    writeStoredBlob(rec, field, stored);
}

void TableFile::writeStoredBlob(std::uint8_t* rec, int field, std::string_view stored)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    if (!blobs_ && stored.size() > static_cast<std::size_t>(f.def.size))
        throw Error("Tabella " + display_ + ": manca il file dei memo (" + files_.base + ".MB)");
    BlobStore::write(blobs_.get(), rec + f.offset, f.def.size, stored);
}

void TableFile::freeBlob(const std::uint8_t* rec, int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    if (blobs_)
        blobs_->free(rec + f.offset, f.def.size);
}

std::uint32_t TableFile::nextAutoInc()
{
    return ++hdr_.autoInc;
}

void TableFile::noteAutoInc(std::uint32_t v)
{
    hdr_.autoInc = std::max(hdr_.autoInc, v);
}

namespace {
bool sameIndexKey(const SecondaryIndex& si, const std::vector<FieldInfo>& fields, const Collation* coll,
                  const std::uint8_t* a, const std::uint8_t* b)
{
    return compareIndexKey(si, fields, coll, a, b) == 0;
}
}  // namespace

void TableFile::checkInsert(const std::uint8_t* rec, const std::uint8_t* replacing)
{
    for (const auto& si : secondaries_) {
        if (!(si.def.options & IndexOption::Unique) || (si.def.options & IndexOption::NonMaintained))
            continue;
        for (int b = 0; b < static_cast<int>(chain_.size()); ++b)
            for (int r = 0; r < chain_[b].count; ++r) {
                const std::uint8_t* other = record({b, r});
                if (replacing && std::memcmp(other, replacing, static_cast<std::size_t>(hdr_.recordSize)) == 0)
                    continue;
                if (sameIndexKey(si, fields_, collation_, rec, other))
                    throw Error("Violazione di chiave nella tabella " + display_ +
                                ": l'indice univoco " + si.def.name + " ha già questo valore");
            }
    }
    if (hdr_.keyFields == 0)
        return;
    if (replacing && std::memcmp(rec, replacing, static_cast<std::size_t>(keyBytes_)) == 0)
        return;
    bool exact = false;
    lowerBound(rec, hdr_.keyFields, exact);
    if (exact)
        throw Error("Violazione di chiave nella tabella " + display_ +
                    ": esiste già un record con la stessa chiave");
}

Pos TableFile::insert(const std::uint8_t* rec)
{
    Pos p;
    if (hdr_.keyFields > 0) {
        bool exact = false;
        p = lowerBound(rec, hdr_.keyFields, exact);
        if (exact)
            throw Error("Violazione di chiave nella tabella " + display_ +
                        ": esiste già un record con la stessa chiave");
        if (p.rec == 0 && p.block > 0)
            p = {p.block - 1, chain_[p.block - 1].count};
    } else if (!chain_.empty()) {
        p = {static_cast<int>(chain_.size()) - 1, chain_.back().count};
    }
    Pos at = insertAt(p, rec);
    ++hdr_.numRecords;
    return at;
}

Pos TableFile::update(Pos at, const std::uint8_t* rec)
{
    const std::uint8_t* old = record(at);
    if (hdr_.keyFields == 0 || std::memcmp(old, rec, static_cast<std::size_t>(keyBytes_)) == 0) {
        std::uint8_t* page = blockForWrite(chain_[at.block].block);
        std::memcpy(page + 6 + static_cast<std::size_t>(at.rec) * hdr_.recordSize, rec,
                    static_cast<std::size_t>(hdr_.recordSize));
        return at;
    }
    bool exact = false;
    lowerBound(rec, hdr_.keyFields, exact);
    if (exact)
        throw Error("Violazione di chiave nella tabella " + display_ +
                    ": esiste già un record con la stessa chiave");
    erase(at);
    return insert(rec);
}

Pos TableFile::erase(Pos at)
{
    const int rs = hdr_.recordSize;
    const std::uint32_t ord = ordinal(at);
    ChainEntry& e = chain_[at.block];
    std::uint8_t* page = blockForWrite(e.block);
    std::uint8_t* p = page + 6 + static_cast<std::size_t>(at.rec) * rs;
    std::memmove(p, p + rs, static_cast<std::size_t>(e.count - at.rec - 1) * rs);
    std::memset(page + 6 + static_cast<std::size_t>(e.count - 1) * rs, 0, static_cast<std::size_t>(rs));
    --e.count;
    setCount(page, e.count);
    --hdr_.numRecords;
    if (e.count == 0) {
        unlink(at.block);
    } else {
        if (at.rec == 0)
            e.firstKey = keyOf(page + 6);
        touch(at.block);
        mergeAround(at.block);
    }
    prefixValid_ = false;
    return fromOrdinal(ord);
}

}  // namespace korva::paradox
