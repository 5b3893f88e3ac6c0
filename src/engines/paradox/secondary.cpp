#include "engines/paradox/secondary.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"

#include <algorithm>
#include <cstdio>

namespace korva::paradox {

void nameIndexFiles(SecondaryIndex& si, const std::vector<FieldInfo>& fields, const std::string& base,
                    int& group)
{
    const unsigned o = si.def.options;
    const bool single = si.fields.size() == 1 &&
                        !(o & (IndexOption::CaseInsensitive | IndexOption::Unique | IndexOption::Descending)) &&
                        si.def.name == fields[static_cast<std::size_t>(si.fields[0])].def.name;
    char ext[8];
    if (single) {
        std::snprintf(ext, sizeof ext, "%02X", si.fields[0] + 1);
        si.xFile = base + ".X" + ext;
        si.yFile = base + ".Y" + ext;
    } else {
        if (group > 15)
            throw Error("Troppi indici secondari composti o con nome");
        std::snprintf(ext, sizeof ext, "G%X", group++);
        si.xFile = base + ".X" + ext;
        si.yFile = base + ".Y" + ext;
    }
}

namespace {

// Data blocks packed full, chained in order. Returns, per block, its first key and count.
using Leaf = IndexLeaf;

std::vector<Leaf> writeBlocks(std::vector<std::uint8_t>& file, const std::vector<std::string>& recs,
                              int headerSize, int blockSize, int recordSize, int keyBytes)
{
    const int cap = (blockSize - 6) / recordSize;
    const int blocks = static_cast<int>((recs.size() + static_cast<std::size_t>(cap) - 1) / static_cast<std::size_t>(cap));
    file.resize(static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(blocks) * blockSize, 0);
    std::vector<Leaf> leaves;
    for (int b = 0; b < blocks; ++b) {
        std::uint8_t* p = file.data() + headerSize + static_cast<std::size_t>(b) * blockSize;
        const int first = b * cap;
        const int n = std::min<int>(cap, static_cast<int>(recs.size()) - first);
        put16(p, static_cast<std::uint32_t>(b + 1 < blocks ? b + 2 : 0));
        put16(p + 2, static_cast<std::uint32_t>(b));
        put16(p + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>((n - 1) * recordSize))));
        for (int i = 0; i < n; ++i)
            std::memcpy(p + 6 + static_cast<std::size_t>(i) * recordSize, recs[static_cast<std::size_t>(first + i)].data(),
                        static_cast<std::size_t>(recordSize));
        leaves.push_back({recs[static_cast<std::size_t>(first)].substr(0, static_cast<std::size_t>(keyBytes)), b + 1, n});
    }
    return leaves;
}

void setCounts(std::vector<std::uint8_t>& h, std::uint32_t records, int blocks)
{
    put32(h.data() + Hdr::NumRecords, records);
    for (int at : {Hdr::UsedBlocks, Hdr::FileBlocks, Hdr::LastBlock, Hdr::MaxBlocks})
        put16(h.data() + at, static_cast<std::uint32_t>(blocks));
    put16(h.data() + Hdr::FirstBlock, blocks ? 1u : 0u);
}

}  // namespace

// An index in the .PX format over the blocks of a file: one entry per block, then levels of
// entries per index block up to a single root.
void writeIndexTree(std::vector<std::uint8_t>& file, std::vector<IndexLeaf> level, int keyBytes)
{
    const int headerSize = get16(file.data() + Hdr::HeaderSize);
    const int blockSize = file[Hdr::BlockSize] * 1024;
    const int es = keyBytes + 6;
    const int cap = (blockSize - 6) / es;
    std::uint32_t entries = 0;
    int block = 0, levels = 0;
    std::vector<std::vector<std::uint8_t>> pages;
    while (!level.empty()) {
        ++levels;
        std::vector<Leaf> up;
        for (std::size_t i = 0; i < level.size(); i += static_cast<std::size_t>(cap)) {
            const std::size_t n = std::min(level.size() - i, static_cast<std::size_t>(cap));
            std::vector<std::uint8_t> page(static_cast<std::size_t>(blockSize), 0);
            put16(page.data() + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>((static_cast<int>(n) - 1) * es))));
            int stat = 0;
            for (std::size_t j = 0; j < n; ++j) {
                const Leaf& l = level[i + j];
                std::uint8_t* e = page.data() + 6 + j * static_cast<std::size_t>(es);
                std::memcpy(e, l.key.data(), static_cast<std::size_t>(keyBytes));
                putS16(e + keyBytes, static_cast<std::uint32_t>(l.block));
                putS16(e + keyBytes + 2, static_cast<std::uint32_t>(l.count));
                putS16(e + keyBytes + 4, 0);
                stat += l.count;
            }
            entries += static_cast<std::uint32_t>(n);
            pages.push_back(std::move(page));
            up.push_back({level[i].key, ++block, stat});
        }
        if (up.size() == 1)
            break;
        level = std::move(up);
    }
    const int total = static_cast<int>(pages.size());
    file.resize(static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(total) * blockSize, 0);
    for (int b = 0; b < total; ++b) {
        std::uint8_t* p = file.data() + headerSize + static_cast<std::size_t>(b) * blockSize;
        std::memcpy(p, pages[static_cast<std::size_t>(b)].data(), static_cast<std::size_t>(blockSize));
        put16(p, static_cast<std::uint32_t>(b + 1 < total ? b + 2 : 0));
        put16(p + 2, static_cast<std::uint32_t>(b));
    }
    setCounts(file, entries, total);
    put16(file.data() + Hdr::IndexRoot, total ? static_cast<std::uint32_t>(total) : 1u);
    file[Hdr::IndexLevels] = static_cast<std::uint8_t>(total ? levels : 0);
}

std::vector<std::uint8_t> buildPrimaryImage(const Header& db, const std::vector<FieldInfo>& fields,
                                            const std::string& fileName, const std::vector<IndexLeaf>& leaves)
{
    NewTableLayout L;
    for (int i = 0; i < db.keyFields; ++i)
        L.fields.push_back(fields[static_cast<std::size_t>(i)].def);
    L.keyFields = db.keyFields;
    L.version = db.version;
    L.blockSize = db.blockSize;
    L.sortOrder = db.sortOrder;
    L.tableName = fileName;
    auto image = buildPxHeader(L, db.raw[Hdr::ChangeCount1], fileName);
    int keyBytes = 0;
    for (int i = 0; i < db.keyFields; ++i)
        keyBytes += fields[static_cast<std::size_t>(i)].bytes;
    writeIndexTree(image, leaves, keyBytes);
    return image;
}

IndexImages buildIndexImages(const Header& db, const std::vector<FieldInfo>& fields, const SecondaryIndex& si,
                             const std::vector<std::pair<std::string, int>>& records, const Collation* collation)
{
    const int cp = db.effectiveCodePage();
    const bool group = si.xFile.size() > 2 && std::toupper(static_cast<unsigned char>(si.xFile[si.xFile.size() - 2])) == 'G';
    NewTableLayout L;
    std::vector<int> from;  // table field of each X field
    for (int f : si.fields)
        from.push_back(f);
    for (int i = 0; i < db.keyFields; ++i)
        from.push_back(i);
    for (int f : from) {
        FieldDef d = fields[static_cast<std::size_t>(f)].def;
        d.name = codepage::fromUtf8(d.name, cp);
        L.fields.push_back(d);
    }
    L.fields.push_back({"Blk Num", FieldType::Short, 0, false});
    L.keyFields = static_cast<int>(L.fields.size()) - 1;
    L.version = db.version;
    L.blockSize = db.blockSize;
    L.codePage = cp;
    L.sortOrder = db.sortOrder;
    L.sortOrderId = db.sortOrderId;
    L.tableName = si.xFile;
    if (group)
        L.indexName = codepage::fromUtf8(si.def.name, cp);
    IndexImages im;
    im.x = buildDbHeader(L);
    std::uint8_t* h = im.x.data();
    h[Hdr::FileType] = group ? FileType::XGMaintained : FileType::XMaintained;
    h[Hdr::IndexFieldNumber] = static_cast<std::uint8_t>(si.fields[0] + 1);
    h[Hdr::IndexStamp] = 0xFF;
    h[Hdr::ChangeCount2] = db.raw[Hdr::ChangeCount2];
    std::uint8_t flags = 0;
    if (si.def.options & IndexOption::CaseInsensitive)
        flags |= 0x01;
    if (si.def.options & IndexOption::Descending)
        flags |= 0x10;
    if (si.def.options & IndexOption::Unique)
        flags |= 0x20;
    h[Hdr::IndexFlags] = flags;
    const std::size_t numbersAt = 0x58 + static_cast<std::size_t>(get16(h + 0x66));
    for (std::size_t i = 0; i < L.fields.size(); ++i) {
        std::uint32_t v = i < si.fields.size() ? static_cast<std::uint32_t>(si.fields[i] + 1) : static_cast<std::uint32_t>(i + 1);
        if (i < si.fields.size() && si.descending.size() > i && si.descending[i])
            v |= 0x8000;
        put16(h + numbersAt + 2 * i, v);
    }
    const int hs = static_cast<int>(im.x.size());

    // The X records in the index's order; the primary key settles equal keys.
    int xrs = 0;
    std::vector<int> offsets;
    for (int f : from) {
        offsets.push_back(xrs);
        xrs += fields[static_cast<std::size_t>(f)].bytes;
    }
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    std::vector<std::string> recs;
    recs.reserve(records.size());
    for (const auto& [rec, block] : records) {
        std::string x(static_cast<std::size_t>(xrs + 2), '\0');
        for (std::size_t i = 0; i < from.size(); ++i) {
            const FieldInfo& f = fields[static_cast<std::size_t>(from[i])];
            std::memcpy(x.data() + offsets[i], rec.data() + f.offset, static_cast<std::size_t>(f.bytes));
        }
        putS16(reinterpret_cast<std::uint8_t*>(x.data()) + xrs, static_cast<std::uint32_t>(block));
        recs.push_back(std::move(x));
    }
    auto cmp = [&](const std::string& a, const std::string& b) {
        for (std::size_t i = 0; i < from.size(); ++i) {
            const FieldInfo& f = fields[static_cast<std::size_t>(from[i])];
            const char* pa = a.data() + offsets[i];
            const char* pb = b.data() + offsets[i];
            int c;
            if (f.def.type == FieldType::Alpha && collation) {
                std::string_view va(pa, strnlen(pa, static_cast<std::size_t>(f.bytes)));
                std::string_view vb(pb, strnlen(pb, static_cast<std::size_t>(f.bytes)));
                c = (ci && i < si.fields.size()) ? collation->compareCaseInsensitive(va, vb) : collation->compare(va, vb);
            } else {
                c = std::memcmp(pa, pb, static_cast<std::size_t>(f.bytes));
            }
            if (i < si.descending.size() && i < si.fields.size() && si.descending[i])
                c = -c;
            if (c)
                return c < 0;
        }
        return false;
    };
    std::stable_sort(recs.begin(), recs.end(), cmp);
    const int keyBytes = xrs;  // the Y key: every X field but the block number
    auto leaves = writeBlocks(im.x, recs, hs, db.blockSize, xrs + 2, keyBytes);
    setCounts(im.x, static_cast<std::uint32_t>(recs.size()), static_cast<int>(leaves.size()));

    NewTableLayout Y = L;
    Y.fields.pop_back();
    Y.keyFields = static_cast<int>(Y.fields.size());
    im.y = buildPxHeader(Y, im.x[Hdr::ChangeCount1], si.yFile);
    im.y[Hdr::FileType] = group ? FileType::YGIndex : FileType::YIndex;
    writeIndexTree(im.y, leaves, keyBytes);
    return im;
}

}  // namespace korva::paradox
