#include "engines/paradox/secondary.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/key_sort.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

using Leaf = IndexLeaf;

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

namespace {

// Where each field's bytes lie in the sort keys of an index's records: alpha fields take the
// collation's sort key (folded to upper case for the index's own fields when it ignores case),
// the others their stored bytes, which memcmp orders as they are made to.
struct KeyLayout {
    std::vector<std::size_t> at, length;
    std::size_t total = 0, indexed = 0;  // all fields; the index's own
};

KeyLayout keyLayout(const std::vector<FieldInfo>& fields, const SecondaryIndex& si, const std::vector<int>& from,
                    const Collation* collation)
{
    KeyLayout k;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const FieldInfo& f = fields[static_cast<std::size_t>(from[i])];
        const auto bytes = static_cast<std::size_t>(f.bytes);
        const std::size_t n = f.def.type == FieldType::Alpha && collation ? collation->sortKeyLength(bytes) : bytes;
        k.at.push_back(k.total);
        k.length.push_back(n);
        k.total += n;
        if (i < si.fields.size())
            k.indexed = k.total;
    }
    return k;
}

// The sort keys of the X records, descending fields reversed. The primary key that follows
// the indexed fields settles equal keys, case-sensitively.
BigBuffer sortKeys(const std::vector<FieldInfo>& fields, const SecondaryIndex& si, const std::vector<int>& from,
                   const RecordSet& records, const Collation* collation, const KeyLayout& layout)
{
    BigBuffer keys(records.size() * layout.total);
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const FieldInfo& f = fields[static_cast<std::size_t>(from[i])];
        const bool indexed = i < si.fields.size();
        const bool descending = indexed && i < si.descending.size() && si.descending[i];
        const bool text = f.def.type == FieldType::Alpha && collation;
        const std::size_t n = layout.length[i];
        for (std::size_t r = 0; r < records.size(); ++r) {
            const std::uint8_t* src = records.at(r) + f.offset;
            std::uint8_t* dst = keys.data() + r * layout.total + layout.at[i];
            if (text)
                collation->sortKey(src, static_cast<std::size_t>(f.bytes), ci && indexed, dst);
            else
                std::memcpy(dst, src, n);
            if (descending)
                for (std::size_t j = 0; j < n; ++j)
                    dst[j] = static_cast<std::uint8_t>(~dst[j]);
        }
    }
    return keys;
}

}  // namespace

std::vector<std::uint8_t> writeIndexFiles(const Header& db, const std::vector<FieldInfo>& fields,
                                          const SecondaryIndex& si, const RecordSet& records,
                                          const Collation* collation, const std::string& display,
                                          const std::function<void(const std::uint8_t*, std::size_t)>& x)
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
    std::vector<std::uint8_t> header = buildDbHeader(L);
    std::uint8_t* h = header.data();
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

    // The X records in the index's order; the primary key settles equal keys.
    int xrs = 0;
    std::vector<int> offsets;
    for (int f : from) {
        offsets.push_back(xrs);
        xrs += fields[static_cast<std::size_t>(f)].bytes;
    }
    const std::size_t keyLength = static_cast<std::size_t>(xrs);
    const KeyLayout layout = keyLayout(fields, si, from, collation);
    const BigBuffer keys = sortKeys(fields, si, from, records, collation, layout);
    const std::vector<std::uint32_t> order = orderByKeys(keys.data(), records.size(), layout.total);
    if ((si.def.options & IndexOption::Unique) && !order.empty()) {
        // Sorted, equal values are neighbours.
        const std::size_t sortLength = layout.total;
        for (std::size_t i = 1; i < order.size(); ++i)
            if (std::memcmp(keys.data() + order[i - 1] * sortLength, keys.data() + order[i] * sortLength,
                            layout.indexed) == 0) {
                std::string value;
                for (int f : si.fields) {
                    const FieldInfo& fi = fields[static_cast<std::size_t>(f)];
                    value += (value.empty() ? "" : ", ") + fi.def.name + " = " +
                             detail::valueText(fi, records.at(order[i]) + fi.offset, cp);
                }
                throw Error("Violazione di chiave nella tabella " + display + ": l'indice univoco " +
                            si.def.name + " avrebbe valori doppi (" + value + ")");
            }
    }

    const bool fold = (si.def.options & IndexOption::CaseInsensitive) && collation;
    // Blocks packed full, chained in order, handed on a run of blocks at a time.
    const int recordSize = xrs + 2;
    const int cap = (db.blockSize - 6) / recordSize;
    const std::size_t count = order.size();
    const int blocks = static_cast<int>((count + static_cast<std::size_t>(cap) - 1) / static_cast<std::size_t>(cap));
    setCounts(header, static_cast<std::uint32_t>(count), blocks);
    x(header.data(), header.size());
    const std::size_t bs = static_cast<std::size_t>(db.blockSize);
    const int perRun = std::max(1, static_cast<int>((1u << 20) / bs));
    std::vector<std::uint8_t> run(static_cast<std::size_t>(std::min(perRun, std::max(blocks, 1))) * bs);
    std::vector<Leaf> leaves;
    leaves.reserve(static_cast<std::size_t>(blocks));
    for (int first = 0; first < blocks; first += perRun) {
        const int last = std::min(blocks, first + perRun);
        std::memset(run.data(), 0, run.size());
        for (int b = first; b < last; ++b) {
            std::uint8_t* p = run.data() + static_cast<std::size_t>(b - first) * bs;
            const std::size_t at = static_cast<std::size_t>(b) * static_cast<std::size_t>(cap);
            const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(cap), count - at));
            put16(p, static_cast<std::uint32_t>(b + 1 < blocks ? b + 2 : 0));
            put16(p + 2, static_cast<std::uint32_t>(b));
            put16(p + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>((n - 1) * recordSize))));
            for (int i = 0; i < n; ++i) {
                const std::size_t r = order[at + static_cast<std::size_t>(i)];
                const std::uint8_t* rec = records.at(r);
                std::uint8_t* xr = p + 6 + static_cast<std::size_t>(i) * recordSize;
                for (std::size_t j = 0; j < from.size(); ++j) {
                    const FieldInfo& f = fields[static_cast<std::size_t>(from[j])];
                    std::uint8_t* to = xr + offsets[j];
                    std::memcpy(to, rec + f.offset, static_cast<std::size_t>(f.bytes));
                    // A case-insensitive index stores its own text fields in upper case.
                    if (fold && j < si.fields.size() && f.def.type == FieldType::Alpha)
                        for (int b = 0; b < f.bytes; ++b)
                            to[b] = collation->upper(to[b]);
                }
                putS16(xr + xrs, records.blocks[r]);
            }
            leaves.push_back({std::string(reinterpret_cast<const char*>(p + 6), keyLength), b + 1, n});
        }
        x(run.data(), static_cast<std::size_t>(last - first) * bs);
    }

    NewTableLayout Y = L;
    Y.fields.pop_back();
    Y.keyFields = static_cast<int>(Y.fields.size());
    std::vector<std::uint8_t> y = buildPxHeader(Y, header[Hdr::ChangeCount1], si.yFile);
    y[Hdr::FileType] = group ? FileType::YGIndex : FileType::YIndex;
    writeIndexTree(y, leaves, xrs);
    return y;
}

IndexImages buildIndexImages(const Header& db, const std::vector<FieldInfo>& fields, const SecondaryIndex& si,
                             const RecordSet& records, const Collation* collation, const std::string& display)
{
    IndexImages im;
    im.y = writeIndexFiles(db, fields, si, records, collation, display,
                           [&](const std::uint8_t* p, std::size_t n) { im.x.insert(im.x.end(), p, p + n); });
    return im;
}

}  // namespace korva::paradox
