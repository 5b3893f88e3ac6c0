#include "engines/paradox/table_file.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/secondary.h"
#include "engines/paradox/table.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <ctime>

namespace korva::paradox {

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool hex2(const std::string& s)
{
    return s.size() == 2 && std::isxdigit(static_cast<unsigned char>(s[0])) &&
           std::isxdigit(static_cast<unsigned char>(s[1]));
}

}  // namespace

bool isCompanionExtension(const std::string& extension)
{
    const std::string e = upper(extension);
    if (e == "PX" || e == "MB" || e == "VAL" || e == "TV" || e == "FAM")
        return true;
    if (e.size() == 3 && (e[0] == 'X' || e[0] == 'Y')) {
        if (e[1] == 'G')
            return std::isxdigit(static_cast<unsigned char>(e[2])) != 0;
        return hex2(e.substr(1));
    }
    return false;
}

std::vector<std::string> TableFiles::all() const
{
    std::vector<std::string> v{db};
    for (const auto* o : {&px, &mb, &val})
        if (*o)
            v.push_back(**o);
    v.insert(v.end(), secondary.begin(), secondary.end());
    return v;
}

TableFiles findTableFiles(Env& env, const std::string& dir, const std::string& dbName)
{
    TableFiles t;
    t.dir = dir;
    t.db = dbName;
    const auto dot = dbName.rfind('.');
    t.base = dot == std::string::npos ? dbName : dbName.substr(0, dot);
    for (const auto& name : env.list(dir.empty() ? "." : dir)) {
        const auto d = name.rfind('.');
        if (d == std::string::npos || d != t.base.size() ||
            strncasecmp(name.c_str(), t.base.c_str(), t.base.size()) != 0)
            continue;
        const std::string ext = upper(name.substr(d + 1));
        if (ext == "PX")
            t.px = name;
        else if (ext == "MB")
            t.mb = name;
        else if (ext == "VAL")
            t.val = name;
        else if (ext != "TV" && ext != "FAM" && isCompanionExtension(ext))
            t.secondary.push_back(name);
    }
    std::sort(t.secondary.begin(), t.secondary.end());
    return t;
}

namespace {

// Required flags from a level-4+ .VAL file, by field name; empty when absent or stale.
std::vector<std::string> requiredFromVal(const std::string& data, std::uint8_t dbStamp)
{
    std::vector<std::string> required;
    const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
    const std::size_t n = data.size();
    if (n < 0x35 || d[0] != dbStamp || (d[1] != 0x09 && d[1] != 0x0B))
        return required;
    const int entries = d[2];
    const std::size_t footer = get32(d + 9);
    if (footer + 6 > n)
        return required;
    const int count = get16(d + footer);
    std::size_t p = footer + 6;
    if (p + 4 * static_cast<std::size_t>(count) + 79 > n)
        return required;
    p += 2 * static_cast<std::size_t>(count);
    std::vector<std::pair<std::uint8_t, std::uint8_t>> types;
    for (int i = 0; i < count; ++i)
        types.emplace_back(d[p + 2 * i], d[p + 2 * i + 1]);
    p += 2 * static_cast<std::size_t>(count) + 79;
    std::vector<std::string> names;
    for (int i = 0; i < count && p < n; ++i) {
        std::size_t len = strnlen(reinterpret_cast<const char*>(d + p), n - p);
        names.emplace_back(data.substr(p, len));
        p += len + 1;
    }
    std::size_t e = 0x35;
    for (int i = 0; i < entries; ++i) {
        if (e + 0x1C > footer)
            break;
        const int field = d[e];
        const int pictureLen = d[e + 1];
        if (field >= static_cast<int>(types.size()) || field >= static_cast<int>(names.size()))
            break;
        if (d[e + 2])
            required.push_back(names[field]);
        auto type = typeFromCode(types[field].first);
        const int bytes = type ? (*type == FieldType::Bcd ? 17 : types[field].second) : 0;
        std::size_t len = 0x1C;
        for (int m = 0; m < 3; ++m)
            if (get32(d + e + 0x0C + 4 * m))
                len += bytes;
        if (get32(d + e + 4))
            len += 26 + 0x36;
        if (get32(d + e + 0x18))
            len += pictureLen;
        e += len;
    }
    return required;
}

}  // namespace

TableFile::TableFile(Env& env, const std::string& dir, const std::string& dbName, bool exclusive,
                     std::string display)
    : env_(env), display_(std::move(display)), files_(findTableFiles(env, dir, dbName)),
      pager_(env, dir + "/" + files_.base + ".JNL")
{
    const std::string dbPath = dir + "/" + dbName;
    std::unique_ptr<File> dbFile;
    // The .DB may be replaced (emptied, created over) between our open and our lock: then
    // the lock is on a file no longer there, and we start again on the new one.
    for (int attempt = 0;; ++attempt) {
        try {
            dbFile = env_.open(dbPath, OpenMode::ReadWrite);
        } catch (const Error&) {
            // A read-only file or medium: the table can still be read.
            dbFile = env_.open(dbPath, OpenMode::Read);
            readOnly_ = true;
        }
        lock_ = std::make_unique<TableLock>(env_, *dbFile, dir + "/" + files_.base + ".LCK", dbName,
                                            exclusive, display_);
        auto now = env_.identity(dbPath);
        if ((now && *now == dbFile->identity()) || attempt >= 5)
            break;
        lock_.reset();
    }
    // The lock refers to the file: from here on the file lives as long as the lock.
    db_ = std::make_unique<PagedFile>(std::move(dbFile), dbName, 0x58, 1024);
    pager_.addFile(db_.get());
    if (Pager::hot(env_, dir + "/" + files_.base + ".JNL")) {
        db_->file().lock(kWriteByte, 1, LockType::Exclusive, true);
        try {
            Pager::recover(env_, dir + "/" + files_.base + ".JNL", dir);
        } catch (...) {
            db_->file().unlock(kWriteByte, 1);
            throw;
        }
        db_->file().unlock(kWriteByte, 1);
    }
    ReadScope scope(*this);
    load();
}

TableFile::~TableFile()
{
    if (pager_.active())
        pager_.rollback();
}

void TableFile::damaged(const std::string& what) const
{
    throw Error("La tabella " + display_ + " è danneggiata: " + what);
}

void TableFile::load()
{
    db_->dropCache();
    const std::uint64_t size = db_->file().size();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    raw.resize(db_->file().readAt(0, raw.data(), raw.size()));
    hdr_ = parseHeader(raw.data(), raw.size(), size, display_);
    if (hdr_.isIndexFile() || hdr_.fileType == FileType::XMaintained ||
        hdr_.fileType == FileType::XNonMaintained || hdr_.fileType == FileType::XGMaintained ||
        hdr_.fileType == FileType::XGNonMaintained)
        throw Error("Il file " + display_ + " non è una tabella Paradox ma un file indice");
    if (hdr_.encrypted)
        throw Error("La tabella " + display_ +
                    " è protetta da password: la lettura di tabelle cifrate non è supportata");
    if ((hdr_.fileType == FileType::KeyedDb) != (hdr_.keyFields > 0))
        damaged("tipo di file e campi chiave incoerenti");
    headerPrefix_.assign(raw.begin(), raw.begin() + std::min<std::size_t>(raw.size(), 0x80));
    // Page geometry comes from the header.
    db_->setGeometry(hdr_.headerSize, hdr_.blockSize);
    fields_.clear();
    int off = 0;
    const int cp = hdr_.effectiveCodePage();
    for (int i = 0; i < hdr_.numFields(); ++i) {
        FieldInfo fi;
        fi.def.type = *typeFromCode(hdr_.types[i]);
        fi.def.size = sizeFromHeaderByte(fi.def.type, hdr_.sizes[i]);
        fi.def.name = i < static_cast<int>(hdr_.names.size()) ? codepage::toUtf8(hdr_.names[i], cp)
                                                              : "";
        fi.offset = off;
        fi.bytes = recordBytes(fi.def.type, fi.def.size);
        off += fi.bytes;
        fields_.push_back(fi);
    }
    keyBytes_ = 0;
    for (int i = 0; i < hdr_.keyFields; ++i)
        keyBytes_ += fields_[i].bytes;
    capacity_ = (hdr_.blockSize - 6) / hdr_.recordSize;
    // The order of alpha keys: writing needs a collation we can stand behind; reading in an
    // index's order takes the best one known.
    {
        const int cpForCollation = hdr_.hasDataHeader ? hdr_.codePage : 0;
        collation_ = collationFor(hdr_.sortOrder, hdr_.sortOrderId, cpForCollation);
        readCollation_ = collation_ ? collation_
                                    : knowledgeCollationFor(hdr_.sortOrder, hdr_.sortOrderId, cpForCollation);
        keyByteOrder_ = true;
        for (int i = 0; i < hdr_.keyFields; ++i)
            if (fields_[i].def.type == FieldType::Alpha)
                keyByteOrder_ = collation_ != nullptr;
    }
    if (files_.val) {
        try {
            auto req = requiredFromVal(readWholeFile(env_, files_.dir + "/" + *files_.val),
                                       hdr_.raw[Hdr::ChangeCount2]);
            for (auto& f : fields_)
                for (const auto& r : req)
                    if (strcasecmp(codepage::toUtf8(r, cp).c_str(), f.def.name.c_str()) == 0)
                        f.def.required = true;
        } catch (const Error&) {
            // An unreadable validity file only loses the required flags.
        }
    }
    loadChain();
    loadPx();
    loadSecondaries();
    if (files_.mb && !mb_) {
        mb_ = std::make_unique<PagedFile>(env_.open(files_.dir + "/" + *files_.mb, readOnly_ ? OpenMode::Read : OpenMode::ReadWrite),
                                          *files_.mb, 4096, 4096);
        pager_.addFile(mb_.get());
    }
    if (mb_) {
        mb_->dropCache();
        blobs_ = std::make_unique<BlobStore>(*mb_, display_);
    } else {
        blobs_.reset();
    }
    prefixValid_ = false;
    pxDirty_.clear();
    pxRelayout_ = false;
    ++generation_;
}

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

void TableFile::loadPx()
{
    px_levels_.clear();
    pxMissing_ = false;
    if (hdr_.keyFields == 0)
        return;
    if (!files_.px) {
        pxMissing_ = true;
        if (!exclusive())
            throw Error("La tabella " + display_ + " non può essere aperta: manca l'indice primario (" +
                        files_.base + ".PX)");
        return;
    }
    if (!px_) {
        auto f = env_.open(files_.dir + "/" + *files_.px, readOnly_ ? OpenMode::Read : OpenMode::ReadWrite);
        std::uint8_t first[0x58];
        std::size_t got = f->readAt(0, first, sizeof first);
        const int hs = peekHeaderSize(first, got, *files_.px);
        px_ = std::make_unique<PagedFile>(std::move(f), *files_.px, hs, 1024);
    } else {
        px_->dropCache();
    }
    const std::string what = files_.dir + "/" + *files_.px;
    const std::uint64_t size = px_->file().size();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    raw.resize(px_->file().readAt(0, raw.data(), raw.size()));
    pxHdr_ = parseHeader(raw.data(), raw.size(), size, what);
    px_->setGeometry(pxHdr_.headerSize, pxHdr_.blockSize);
    pager_.removeFile(px_.get());
    pager_.addFile(px_.get());
    auto bad = [&](const std::string& why) {
        pxMissing_ = true;
        px_levels_.clear();
        if (!exclusive())
            throw Error("La tabella " + display_ + " non può essere aperta: l'indice primario " +
                        *files_.px + " non è valido (" + why + ")");
    };
    if (pxHdr_.fileType != FileType::PrimaryIndex || pxHdr_.numFields() != hdr_.keyFields ||
        pxHdr_.recordSize != keyBytes_ + 6)
        return bad("struttura diversa dalla chiave della tabella");
    for (int i = 0; i < hdr_.keyFields; ++i)
        if (pxHdr_.types[i] != hdr_.types[i] || pxHdr_.sizes[i] != hdr_.sizes[i])
            return bad("campi diversi dalla chiave della tabella");
    if (chain_.empty()) {
        if (pxHdr_.numRecords != 0)
            return bad("voci presenti in una tabella vuota");
        return;
    }
    const int levels = pxHdr_.indexLevels;
    if (levels < 1 || levels > 8)
        return bad("numero di livelli non valido");
    px_levels_.assign(static_cast<std::size_t>(levels), {});
    const int es = pxHdr_.recordSize;
    const int cap = (pxHdr_.blockSize - 6) / es;
    std::vector<bool> seen(static_cast<std::size_t>(pxHdr_.fileBlocks) + 1, false);
    std::size_t leaf = 0;
    std::uint32_t entries = 0;
    std::string why;
    // Depth-first, left to right: nodes of each level come in key order.
    std::function<bool(int, int, std::string&, std::uint32_t&)> walk =
        [&](int block, int level, std::string& firstKey, std::uint32_t& stat) -> bool {
        if (block < 1 || block > pxHdr_.fileBlocks || seen[block]) {
            why = "blocco " + std::to_string(block) + " non valido";
            return false;
        }
        seen[block] = true;
        const std::uint8_t* page = px_->read(static_cast<std::uint32_t>(block));
        const int add = static_cast<std::int16_t>(get16(page + 4));
        const int n = add / es + 1;
        if (add % es != 0 || n < 1 || n > cap) {
            why = "conteggio del blocco " + std::to_string(block) + " non valido";
            return false;
        }
        std::vector<std::uint8_t> copy(page, page + 6 + static_cast<std::size_t>(n) * es);
        PxNode node;
        node.block = static_cast<std::uint16_t>(block);
        const int depth = level - 1;  // 0 = leaves
        auto& below = depth == 0 ? px_levels_[0] : px_levels_[static_cast<std::size_t>(depth - 1)];
        node.begin = depth == 0 ? static_cast<int>(leaf) : static_cast<int>(below.size());
        stat = 0;
        entries += static_cast<std::uint32_t>(n);
        for (int i = 0; i < n; ++i) {
            const std::uint8_t* e = copy.data() + 6 + static_cast<std::size_t>(i) * es;
            const std::string key(reinterpret_cast<const char*>(e), keyBytes_);
            const int child = getS16(e + keyBytes_);
            const std::uint32_t st = getS16(e + keyBytes_ + 2);
            if (i == 0)
                firstKey = key;
            if (depth == 0) {
                if (leaf >= chain_.size() || chain_[leaf].block != child ||
                    chain_[leaf].count != st || chain_[leaf].firstKey != key) {
                    why = "voce " + std::to_string(leaf + 1) + " diversa dai blocchi dati";
                    return false;
                }
                ++leaf;
            } else {
                std::string childKey;
                std::uint32_t childStat = 0;
                if (!walk(child, level - 1, childKey, childStat))
                    return false;
                if (childKey != key || childStat != st) {
                    why = "voce del blocco " + std::to_string(block) + " incoerente";
                    return false;
                }
            }
            stat += st;
        }
        node.end = depth == 0 ? static_cast<int>(leaf) : static_cast<int>(below.size());
        px_levels_[static_cast<std::size_t>(depth)].push_back(node);
        return true;
    };
    std::string k;
    std::uint32_t s = 0;
    if (!walk(pxHdr_.indexRoot, levels, k, s))
        return bad(why);
    if (leaf != chain_.size())
        return bad("non tutti i blocchi dati sono indicizzati");
    if (entries != pxHdr_.numRecords)
        return bad("numero di voci incoerente");
    px_->dropCache();
}

void TableFile::loadSecondaries()
{
    secondaries_.clear();
    std::vector<std::string> missing;
    auto has = [&](const std::string& name) {
        for (const auto& f : files_.secondary)
            if (strcasecmp(f.c_str(), name.c_str()) == 0)
                return f;
        return std::string();
    };
    for (const auto& x : files_.secondary) {
        const std::string ext = x.substr(x.rfind('.') + 1);
        if (std::toupper(static_cast<unsigned char>(ext[0])) != 'X')
            continue;
        std::string y = has(files_.base + ".Y" + ext.substr(1));
        if (y.empty()) {
            missing.push_back(files_.base + ".Y" + ext.substr(1));
            continue;
        }
        const std::string path = files_.dir + "/" + x;
        auto f = env_.open(path, OpenMode::Read);
        const std::uint64_t size = f->size();
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
        raw.resize(f->readAt(0, raw.data(), raw.size()));
        Header xh = parseHeader(raw.data(), raw.size(), size, path);
        const bool group = xh.fileType == FileType::XGMaintained || xh.fileType == FileType::XGNonMaintained;
        if (!group && xh.fileType != FileType::XMaintained && xh.fileType != FileType::XNonMaintained)
            throw Error("Il file " + path + " non è un indice secondario");
        const int extra = hdr_.keyFields > 0 ? hdr_.keyFields + 1 : 3;
        const int n = xh.numFields() - extra;
        if (n < 1 || xh.fieldNumbers.size() < static_cast<std::size_t>(n))
            throw Error("L'indice secondario " + path + " è danneggiato: campi non validi");
        SecondaryIndex si;
        si.xFile = x;
        si.yFile = y;
        const int cp = hdr_.effectiveCodePage();
        for (int i = 0; i < n; ++i) {
            const int number = xh.fieldNumbers[static_cast<std::size_t>(i)] & 0x7FFF;
            if (number < 1 || number > static_cast<int>(fields_.size()))
                throw Error("L'indice secondario " + path + " è danneggiato: campo " +
                            std::to_string(number) + " inesistente");
            si.fields.push_back(number - 1);
            si.descending.push_back((xh.fieldNumbers[static_cast<std::size_t>(i)] & 0x8000) != 0);
            si.def.fields += (i ? ";" : "") + fields_[static_cast<std::size_t>(number - 1)].def.name;
        }
        const std::uint8_t flags = xh.raw[Hdr::IndexFlags];
        si.def.name = group ? codepage::toUtf8(xh.indexName, cp) : fields_[static_cast<std::size_t>(si.fields[0])].def.name;
        if (flags & 0x01)
            si.def.options |= IndexOption::CaseInsensitive;
        if ((flags & 0x10) || std::find(si.descending.begin(), si.descending.end(), true) != si.descending.end())
            si.def.options |= IndexOption::Descending;
        if (flags & 0x20)
            si.def.options |= IndexOption::Unique;
        if (xh.fileType == FileType::XNonMaintained || xh.fileType == FileType::XGNonMaintained)
            si.def.options |= IndexOption::NonMaintained;
        if (!(si.def.options & IndexOption::NonMaintained) && !readOnly_) {
            for (const std::string* name : {&si.xFile, &si.yFile}) {
                if (secFiles_.count(*name))
                    continue;
                auto pf = std::make_unique<PagedFile>(
                    env_.open(files_.dir + "/" + *name, OpenMode::ReadWrite), *name, 0x800, hdr_.blockSize);
                pager_.addFile(pf.get());
                secFiles_.emplace(*name, std::move(pf));
            }
        }
        secondaries_.push_back(std::move(si));
    }
    for (const auto& y : files_.secondary) {
        const std::string ext = y.substr(y.rfind('.') + 1);
        if (std::toupper(static_cast<unsigned char>(ext[0])) == 'Y' && has(files_.base + ".X" + ext.substr(1)).empty())
            missing.push_back(files_.base + ".X" + ext.substr(1));
    }
    if (!missing.empty() && !exclusive()) {
        std::string list;
        for (const auto& m : missing)
            list += (list.empty() ? "" : ", ") + m;
        throw Error("La tabella " + display_ + " non può essere aperta: mancano file dei suoi indici (" +
                    list + ")");
    }
}

void TableFile::refresh()
{
    if (exclusive())
        return;
    const std::string journal = files_.dir + "/" + files_.base + ".JNL";
    if (Pager::hot(env_, journal)) {
        // A writer stopped half-way: undo its change before reading anything.
        if (writeDepth_ == 0)
            db_->file().unlock(kWriteByte, 1);
        db_->file().lock(kWriteByte, 1, LockType::Exclusive, true);
        Pager::recover(env_, journal, files_.dir);
        if (writeDepth_ == 0)
            db_->file().lock(kWriteByte, 1, LockType::Shared, true);
        load();
        return;
    }
    std::uint8_t now[0x80];
    std::size_t got = db_->file().readAt(0, now, sizeof now);
    if (got != std::min<std::size_t>(headerPrefix_.size(), sizeof now) ||
        std::memcmp(now, headerPrefix_.data(), got) != 0) {
        if (px_)
            px_->dropCache();
        load();
    }
}

void TableFile::lockRead()
{
    if (exclusive() || readDepth_++ > 0 || writeDepth_ > 0)
        return;
    db_->file().lock(kWriteByte, 1, LockType::Shared, true);
    try {
        refresh();
    } catch (...) {
        --readDepth_;
        db_->file().unlock(kWriteByte, 1);
        throw;
    }
}

void TableFile::unlockRead()
{
    if (exclusive())
        return;
    if (--readDepth_ > 0 || writeDepth_ > 0)
        return;
    db_->file().unlock(kWriteByte, 1);
}

bool TableFile::writable(std::string& why) const
{
    if (readOnly_) {
        why = "i file della tabella sono in sola lettura";
        return false;
    }
    if (hdr_.keyFields > 0 && pxMissing_) {
        why = "l'indice primario manca o non è valido: ricostruirlo prima di modificare i dati";
        return false;
    }
    if (!keyByteOrder_) {
        why = "l'ordinamento \"" + hdr_.sortOrderId +
              "\" della chiave non è gestito: modifiche non consentite";
        return false;
    }
    for (const auto& si : secondaries_) {
        if (si.def.options & IndexOption::NonMaintained)
            continue;  // left alone, as their kind wants
        for (int f : si.fields)
            if (fields_[static_cast<std::size_t>(f)].def.type == FieldType::Alpha && !collation_) {
                why = "l'ordinamento \"" + hdr_.sortOrderId + "\" dell'indice " + si.def.name +
                      " non è gestito: modifiche non consentite";
                return false;
            }
    }
    if (!hdr_.hasDataHeader && !exclusive()) {
        why = "una tabella di livello 3 si può modificare solo aprendola in modo esclusivo";
        return false;
    }
    return true;
}

void TableFile::beginChange()
{
    if (writeDepth_++ > 0)
        return;
    std::string why;
    if (!writable(why)) {
        --writeDepth_;
        throw Error("Tabella " + display_ + ": " + why);
    }
    if (!exclusive()) {
        if (readDepth_ > 0)
            db_->file().unlock(kWriteByte, 1);
        db_->file().lock(kWriteByte, 1, LockType::Exclusive, true);
        try {
            refresh();
        } catch (...) {
            --writeDepth_;
            db_->file().unlock(kWriteByte, 1);
            if (readDepth_ > 0)
                db_->file().lock(kWriteByte, 1, LockType::Shared, true);
            throw;
        }
    }
    try {
        pager_.begin();
    } catch (...) {
        --writeDepth_;
        if (!exclusive())
            db_->file().unlock(kWriteByte, 1);
        throw;
    }
}

bool TableFile::changed() const
{
    return db_->dirty() || (px_ && px_->dirty()) || (mb_ && mb_->dirty()) || pxRelayout_ ||
           !pxDirty_.empty();  // index files follow the data file
}

void TableFile::commitChange()
{
    if (writeDepth_ <= 0)
        return;
    if (writeDepth_ > 1) {
        --writeDepth_;
        try {
            pager_.spillIfNeeded();
        } catch (...) {
            writeDepth_ = 1;
            abortChange();
            throw;
        }
        return;
    }
    try {
        if (changed())
            prepareCommit();
        pager_.commit();
    } catch (...) {
        abortChange();
        throw;
    }
    headerPrefix_.assign(db_->read(0), db_->read(0) + std::min(0x80, hdr_.headerSize));
    writeDepth_ = 0;
    batch_ = 0;
    if (!exclusive()) {
        db_->file().unlock(kWriteByte, 1);
        if (readDepth_ > 0)
            db_->file().lock(kWriteByte, 1, LockType::Shared, true);
    }
}

void TableFile::abortChange()
{
    if (writeDepth_ <= 0)
        return;
    // Whatever was changed in this step, or in the batch it belongs to, is undone.
    pager_.rollback();
    writeDepth_ = 0;
    batch_ = 0;
    ++aborts_;
    try {
        if (!pager_.broken())
            load();
    } catch (const Error&) {
        // The next use reports it.
    }
    if (!exclusive()) {
        db_->file().unlock(kWriteByte, 1);
        if (readDepth_ > 0)
            db_->file().lock(kWriteByte, 1, LockType::Shared, true);
    }
}

void TableFile::beginBatch()
{
    beginChange();
    ++batch_;
}

void TableFile::endBatch(bool commit)
{
    if (batch_ == 0)
        return;  // already undone by a failure
    --batch_;
    if (commit)
        commitChange();
    else
        abortChange();
}

int TableFile::fieldIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].def.name.size() == name.size() &&
            strncasecmp(fields_[i].def.name.data(), name.data(), name.size()) == 0)
            return static_cast<int>(i);
    return -1;
}

std::vector<FieldDef> TableFile::fieldDefs() const
{
    std::vector<FieldDef> v;
    for (const auto& f : fields_)
        v.push_back(f.def);
    return v;
}

std::vector<IndexDef> TableFile::indexDefs() const
{
    std::vector<IndexDef> v;
    if (hdr_.keyFields > 0 && files_.px) {
        IndexDef d;
        for (int i = 0; i < hdr_.keyFields; ++i)
            d.fields += (i ? ";" : "") + fields_[i].def.name;
        d.options = IndexOption::Primary | IndexOption::Unique;
        v.push_back(d);
    }
    for (const auto& si : secondaries_)
        v.push_back(si.def);
    return v;
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
    const Collation* coll = collation_ ? collation_ : readCollation_;
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

std::string TableFile::readBlob(const std::uint8_t* rec, int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    std::string v = BlobStore::read(blobs_.get(), rec + f.offset, f.def.size, display_);
    if (f.def.type == FieldType::Graphic && v.size() >= 8 && !v.empty())
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

namespace {
int compareIndexKey(const SecondaryIndex& si, const std::vector<FieldInfo>& fields, const Collation* coll,
                    const std::uint8_t* a, const std::uint8_t* b);
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
                if (sameIndexKey(si, fields_, readCollation_, rec, other))
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

// ---- commit: headers and primary index ---------------------------------------------------------

void TableFile::prepareCommit()
{
    std::uint8_t* h = db_->write(0);
    put32(h + Hdr::NumRecords, hdr_.numRecords);
    hdr_.usedBlocks = static_cast<int>(chain_.size());
    put16(h + Hdr::UsedBlocks, static_cast<std::uint32_t>(hdr_.usedBlocks));
    put16(h + Hdr::FileBlocks, static_cast<std::uint32_t>(hdr_.fileBlocks));
    put16(h + Hdr::FirstBlock, static_cast<std::uint32_t>(hdr_.firstBlock));
    put16(h + Hdr::LastBlock, static_cast<std::uint32_t>(hdr_.lastBlock));
    put16(h + Hdr::MaxBlocks, static_cast<std::uint32_t>(hdr_.fileBlocks));
    put32(h + Hdr::AutoInc, hdr_.autoInc);
    hdr_.firstFree = freeBlocks_.empty() ? 0 : freeBlocks_.front();
    put16(h + Hdr::FirstFree, static_cast<std::uint32_t>(hdr_.firstFree));
    if (hdr_.hasDataHeader) {
        // The update time doubles as a change counter for other users of the table.
        const auto now = static_cast<std::uint32_t>(std::time(nullptr));
        const std::uint32_t last = get32(h + Hdr::UpdateTime);
        put32(h + Hdr::UpdateTime, now > last ? now : last + 1);
    }
    if (hdr_.keyFields > 0 && px_ && !pxMissing_)
        writePx();
    if (blobs_)
        blobs_->prepareCommit();
    rebuildSecondaries();
}

std::vector<std::pair<std::string, int>> TableFile::allRecords()
{
    std::vector<std::pair<std::string, int>> records;
    records.reserve(hdr_.numRecords);
    for (int b = 0; b < static_cast<int>(chain_.size()); ++b)
        for (int r = 0; r < chain_[b].count; ++r)
            records.emplace_back(std::string(reinterpret_cast<const char*>(record({b, r})),
                                             static_cast<std::size_t>(hdr_.recordSize)),
                                 chain_[b].block);
    return records;
}

namespace {

// How two records compare on the index's fields, as the index compares them (ascending: only
// equality and a consistent order matter here).
int compareIndexKey(const SecondaryIndex& si, const std::vector<FieldInfo>& fields, const Collation* coll,
                    const std::uint8_t* a, const std::uint8_t* b)
{
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    for (int f : si.fields) {
        const FieldInfo& fi = fields[static_cast<std::size_t>(f)];
        int c;
        if (fi.def.type == FieldType::Alpha && coll) {
            std::string_view va(reinterpret_cast<const char*>(a + fi.offset),
                                strnlen(reinterpret_cast<const char*>(a + fi.offset), static_cast<std::size_t>(fi.bytes)));
            std::string_view vb(reinterpret_cast<const char*>(b + fi.offset),
                                strnlen(reinterpret_cast<const char*>(b + fi.offset), static_cast<std::size_t>(fi.bytes)));
            c = ci ? coll->compareCaseInsensitive(va, vb) : coll->compare(va, vb);
        } else {
            c = std::memcmp(a + fi.offset, b + fi.offset, static_cast<std::size_t>(fi.bytes));
        }
        if (c != 0)
            return c;
    }
    return 0;
}

}  // namespace

void TableFile::addIndex(const IndexDef& ix)
{
    if (!exclusive())
        throw Error("Per aggiungere un indice la tabella " + display_ + " va aperta in modo esclusivo");
    if (pager_.active())
        throw Error("La tabella " + display_ + " ha modifiche in corso: impossibile aggiungere l'indice");
    std::vector<int> pos;
    for (const auto& n : splitFields(ix.fields)) {
        const int p = fieldIndex(n);
        if (p < 0)
            throw Error("Impossibile aggiungere l'indice alla tabella " + display_ + ": campo " + n +
                        " inesistente");
        if (isBlob(fields_[static_cast<std::size_t>(p)].def.type))
            throw Error("Il campo " + n + " non può far parte di un indice");
        pos.push_back(p);
    }
    if (pos.empty())
        throw Error("L'indice da aggiungere alla tabella " + display_ + " non ha campi");
    const bool primary = ix.name.empty() || (ix.options & IndexOption::Primary);
    if (primary) {
        if (hdr_.keyFields == 0 || static_cast<int>(pos.size()) != hdr_.keyFields)
            throw Error("L'indice primario della tabella " + display_ +
                        " deve essere formato dai suoi campi chiave");
        for (std::size_t i = 0; i < pos.size(); ++i)
            if (pos[i] != static_cast<int>(i))
                throw Error("L'indice primario della tabella " + display_ +
                            " deve essere formato dai suoi campi chiave, nell'ordine");
        if (files_.px && !pxMissing_)
            throw Error("La tabella " + display_ + " ha già l'indice primario");
        std::vector<IndexLeaf> leaves;
        for (const auto& e : chain_)
            if (e.count > 0)
                leaves.push_back({e.firstKey, e.block, e.count});
        const std::string name = files_.px ? *files_.px : files_.base + ".PX";
        Header db = hdr_;
        db.raw.assign(db_->read(0), db_->read(0) + hdr_.headerSize);
        replaceTableFiles(env_, files_.dir, files_.base, {{name, buildPrimaryImage(db, fields_, name, leaves)}});
        return;
    }
    if (hdr_.keyFields == 0)
        throw Error("Gli indici secondari richiedono una chiave primaria: la tabella " + display_ +
                    " non ne ha");
    for (const auto& si : secondaries_)
        if (strcasecmp(si.def.name.c_str(), ix.name.c_str()) == 0)
            throw Error("La tabella " + display_ + " ha già l'indice " + si.def.name);
    if ((ix.options & (IndexOption::Unique | IndexOption::Descending)) && hdr_.version < Version::V7)
        throw Error("Un indice univoco o discendente richiede una tabella di livello 7: la tabella " +
                    display_ + " è di livello inferiore");
    SecondaryIndex si;
    si.def = ix;
    si.def.options &= ~IndexOption::Primary;
    si.fields = pos;
    si.descending.assign(pos.size(), (ix.options & IndexOption::Descending) != 0);
    si.def.fields.clear();
    for (std::size_t i = 0; i < pos.size(); ++i)
        si.def.fields += (i ? ";" : "") + fields_[static_cast<std::size_t>(pos[i])].def.name;
    for (int f : pos)
        if (fields_[static_cast<std::size_t>(f)].def.type == FieldType::Alpha && !collation_)
            throw Error("L'ordinamento \"" + hdr_.sortOrderId + "\" della tabella " + display_ +
                        " non è gestito: impossibile costruire l'indice");
    int group = 0;
    for (const auto& f : files_.secondary) {
        const std::string ext = f.substr(f.rfind('.') + 1);
        if (ext.size() == 3 && std::toupper(static_cast<unsigned char>(ext[1])) == 'G')
            group = std::max(group, static_cast<int>(std::strtol(ext.substr(2).c_str(), nullptr, 16)) + 1);
    }
    nameIndexFiles(si, fields_, files_.base, group);
    for (const auto& f : files_.secondary)
        if (strcasecmp(f.c_str(), si.xFile.c_str()) == 0 || strcasecmp(f.c_str(), si.yFile.c_str()) == 0)
            throw Error("La tabella " + display_ + " ha già un indice sul campo " + si.def.fields);
    auto records = allRecords();
    if (ix.options & IndexOption::Unique) {
        // Sorted by the index, equal keys are neighbours.
        std::vector<const std::uint8_t*> ordered;
        ordered.reserve(records.size());
        for (const auto& r : records)
            ordered.push_back(reinterpret_cast<const std::uint8_t*>(r.first.data()));
        std::sort(ordered.begin(), ordered.end(), [&](const std::uint8_t* a, const std::uint8_t* b) {
            return compareIndexKey(si, fields_, collation_, a, b) < 0;
        });
        for (std::size_t i = 1; i < ordered.size(); ++i)
            if (compareIndexKey(si, fields_, collation_, ordered[i - 1], ordered[i]) == 0)
                throw Error("Violazione di chiave nella tabella " + display_ + ": l'indice univoco " +
                            ix.name + " avrebbe valori doppi");
    }
    Header db = hdr_;
    db.raw.assign(db_->read(0), db_->read(0) + hdr_.headerSize);
    IndexImages im = buildIndexImages(db, fields_, si, records, collation_);
    replaceTableFiles(env_, files_.dir, files_.base, {{si.xFile, im.x}, {si.yFile, im.y}});
}

std::vector<std::pair<const SecondaryIndex*, IndexImages>> TableFile::secondaryImages(const Collation* coll)
{
    std::vector<std::pair<const SecondaryIndex*, IndexImages>> out;
    std::vector<std::pair<std::string, int>> records;
    bool collected = false;
    Header db = hdr_;
    db.raw.assign(db_->read(0), db_->read(0) + hdr_.headerSize);
    for (const auto& si : secondaries_) {
        if (si.def.options & IndexOption::NonMaintained)
            continue;
        if (!collected) {
            records = allRecords();
            collected = true;
        }
        out.emplace_back(&si, buildIndexImages(db, fields_, si, records, coll));
    }
    return out;
}

void TableFile::rebuildSecondaries()
{
    for (auto& [sp, im] : secondaryImages(collation_)) {
        const SecondaryIndex& si = *sp;
        for (auto [name, image] : {std::pair{&si.xFile, &im.x}, std::pair{&si.yFile, &im.y}}) {
            PagedFile& f = *secFiles_.at(*name);
            // The new header may be longer than the old one: the geometry follows the file.
            const int hs = get16(image->data() + Hdr::HeaderSize);
            if (f.headerSize() != hs)
                f.setGeometry(hs, hdr_.blockSize);
            const std::uint32_t pages = static_cast<std::uint32_t>(1 + (image->size() - hs) / hdr_.blockSize);
            for (std::uint32_t p = 0; p < pages; ++p)
                std::memcpy(f.write(p), image->data() + f.offsetOf(p), f.sizeOf(p));
            f.truncatePages(pages);
        }
    }
}

std::string TableFile::pxNodeFirstKey(int level, int node) const
{
    while (level > 0) {
        node = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)].begin;
        --level;
    }
    return chain_[static_cast<std::size_t>(px_levels_[0][static_cast<std::size_t>(node)].begin)].firstKey;
}

std::uint32_t TableFile::pxNodeStat(int level, int node) const
{
    const PxNode& n = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)];
    std::uint32_t s = 0;
    for (int i = n.begin; i < n.end; ++i)
        s += level == 0 ? chain_[static_cast<std::size_t>(i)].count : pxNodeStat(level - 1, i);
    return s;
}

std::vector<std::uint8_t> TableFile::serializePxNode(int level, int node)
{
    const PxNode& n = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)];
    const int es = keyBytes_ + 6;
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(n.end - n.begin) * es, 0);
    for (int i = n.begin; i < n.end; ++i) {
        std::uint8_t* e = entries.data() + static_cast<std::size_t>(i - n.begin) * es;
        std::string key;
        int child;
        std::uint32_t stat;
        if (level == 0) {
            key = chain_[static_cast<std::size_t>(i)].firstKey;
            child = chain_[static_cast<std::size_t>(i)].block;
            stat = chain_[static_cast<std::size_t>(i)].count;
        } else {
            key = pxNodeFirstKey(level - 1, i);
            child = px_levels_[static_cast<std::size_t>(level - 1)][static_cast<std::size_t>(i)].block;
            stat = pxNodeStat(level - 1, i);
        }
        std::memcpy(e, key.data(), static_cast<std::size_t>(keyBytes_));
        putS16(e + keyBytes_, static_cast<std::uint32_t>(child));
        putS16(e + keyBytes_ + 2, stat);
        putS16(e + keyBytes_ + 4, 0);
    }
    return entries;
}

void TableFile::relayoutPx()
{
    const int es = keyBytes_ + 6;
    const int cap = (px_->pageSize() - 6) / es;
    px_levels_.clear();
    int count = static_cast<int>(chain_.size());
    int block = 1;
    while (count > 0) {
        std::vector<PxNode> level;
        for (int i = 0; i < count; i += cap)
            level.push_back({static_cast<std::uint16_t>(block++), i, std::min(count, i + cap)});
        px_levels_.push_back(level);
        if (level.size() == 1)
            break;
        count = static_cast<int>(level.size());
    }
    const int total = block - 1;
    if (total > 0xFFFF)
        throw Error("La tabella " + display_ + " è troppo grande per il suo indice primario");
    for (std::size_t l = 0; l < px_levels_.size(); ++l) {
        for (std::size_t n = 0; n < px_levels_[l].size(); ++n) {
            const int b = px_levels_[l][n].block;
            std::uint8_t* page = px_->write(static_cast<std::uint32_t>(b));
            std::memset(page, 0, static_cast<std::size_t>(px_->pageSize()));
            put16(page, static_cast<std::uint32_t>(b < total ? b + 1 : 0));
            put16(page + 2, static_cast<std::uint32_t>(b - 1));
            auto entries = serializePxNode(static_cast<int>(l), static_cast<int>(n));
            setCount(page, 0);
            put16(page + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(
                                static_cast<std::int16_t>(static_cast<int>(entries.size()) - es))));
            std::memcpy(page + 6, entries.data(), entries.size());
        }
    }
    px_->truncatePages(static_cast<std::uint32_t>(total + 1));
}

void TableFile::writePx()
{
    const int es = keyBytes_ + 6;
    if (pxRelayout_) {
        relayoutPx();
    } else {
        std::set<std::pair<int, int>> nodes;  // (level, node) on the paths of changed entries
        for (int ci : pxDirty_) {
            int idx = ci;
            for (std::size_t l = 0; l < px_levels_.size(); ++l) {
                const auto& lv = px_levels_[l];
                auto it = std::upper_bound(lv.begin(), lv.end(), idx,
                                           [](int v, const PxNode& n) { return v < n.begin; });
                idx = static_cast<int>(it - lv.begin()) - 1;
                nodes.insert({static_cast<int>(l), idx});
            }
        }
        for (auto [l, n] : nodes) {
            const int b = px_levels_[static_cast<std::size_t>(l)][static_cast<std::size_t>(n)].block;
            std::uint8_t* page = px_->write(static_cast<std::uint32_t>(b));
            auto entries = serializePxNode(l, n);
            put16(page + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(
                                static_cast<std::int16_t>(static_cast<int>(entries.size()) - es))));
            std::memcpy(page + 6, entries.data(), entries.size());
        }
    }
    std::uint32_t entries = 0;
    int nodes = 0;
    for (const auto& lv : px_levels_) {
        nodes += static_cast<int>(lv.size());
        for (const auto& n : lv)
            entries += static_cast<std::uint32_t>(n.end - n.begin);
    }
    std::uint8_t* h = px_->write(0);
    put32(h + Hdr::NumRecords, entries);
    if (pxRelayout_) {
        put16(h + Hdr::UsedBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::FileBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::FirstBlock, nodes ? 1u : 0u);
        put16(h + Hdr::LastBlock, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::MaxBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::IndexRoot, px_levels_.empty() ? 1u : px_levels_.back()[0].block);
        h[Hdr::IndexLevels] = static_cast<std::uint8_t>(px_levels_.size());
        pxHdr_.fileBlocks = nodes;
    }
    h[Hdr::IndexStamp] = db_->read(0)[Hdr::ChangeCount1];
    pxDirty_.clear();
    pxRelayout_ = false;
}

}  // namespace korva::paradox

namespace korva::paradox {

// Walks the files again from the disk, independently of the model, and reports every
// inconsistency: counts, chain links, key order, the primary index and the free list.
std::vector<std::string> TableFile::check()
{
    std::vector<std::string> out;
    auto add = [&](const std::string& s) { out.push_back(s); };
    db_->dropCache();
    const std::uint64_t size = db_->file().size();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    raw.resize(db_->file().readAt(0, raw.data(), raw.size()));
    Header h;
    try {
        h = parseHeader(raw.data(), raw.size(), size, display_);
    } catch (const Error& e) {
        add(e.what());
        return out;
    }
    const int rs = h.recordSize;
    const int cap = (h.blockSize - 6) / rs;
    std::vector<int> seen(static_cast<std::size_t>(h.fileBlocks) + 1, 0);
    std::vector<std::pair<int, int>> chain;  // block, count
    std::uint32_t total = 0;
    int prev = 0;
    std::string lastKey;
    for (int b = h.firstBlock; b != 0;) {
        if (b > h.fileBlocks || seen[b]) {
            add("catena dei blocchi interrotta al blocco " + std::to_string(b));
            break;
        }
        seen[b] = 1;
        const std::uint8_t* p = db_->read(static_cast<std::uint32_t>(b));
        const int add16 = static_cast<std::int16_t>(get16(p + 4));
        const int n = add16 / rs + 1;
        if (add16 % rs != 0 || n < 0 || n > cap) {
            add("conteggio non valido nel blocco " + std::to_string(b));
            break;
        }
        if (get16(p + 2) != prev)
            add("collegamento all'indietro errato nel blocco " + std::to_string(b));
        if (n == 0)
            add("blocco vuoto nella catena: " + std::to_string(b));
        for (int i = 0; i < n && h.keyFields > 0; ++i) {
            std::string k(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * rs), keyBytes_);
            if (!lastKey.empty() || total + static_cast<std::uint32_t>(i) > 0) {
                if (compareKeys(reinterpret_cast<const std::uint8_t*>(lastKey.data()),
                                reinterpret_cast<const std::uint8_t*>(k.data()), h.keyFields) >= 0)
                    add("chiavi fuori ordine o duplicate nel blocco " + std::to_string(b));
            }
            lastKey = k;
        }
        chain.emplace_back(b, n);
        total += static_cast<std::uint32_t>(n);
        prev = b;
        b = get16(p);
    }
    if (total != h.numRecords)
        add("record nell'intestazione " + std::to_string(h.numRecords) + ", nei blocchi " +
            std::to_string(total));
    if (prev != h.lastBlock)
        add("ultimo blocco dell'intestazione " + std::to_string(h.lastBlock) + ", della catena " +
            std::to_string(prev));
    if (static_cast<int>(chain.size()) != h.usedBlocks)
        add("blocchi in uso nell'intestazione " + std::to_string(h.usedBlocks) + ", nella catena " +
            std::to_string(chain.size()));
    for (int f = h.firstFree; f != 0;) {
        if (f > h.fileBlocks || seen[f]) {
            add("elenco dei blocchi liberi non valido al blocco " + std::to_string(f));
            break;
        }
        seen[f] = 2;
        f = get16(db_->read(static_cast<std::uint32_t>(f)));
    }
    for (int b = 1; b <= h.fileBlocks; ++b)
        if (!seen[b])
            add("blocco " + std::to_string(b) + " né in uso né libero");
    if (db_->pagesOnDisk() < static_cast<std::uint32_t>(h.fileBlocks) + 1)
        add("file più corto dei suoi blocchi");

    if (h.keyFields > 0) {
        if (!px_) {
            add("indice primario assente");
            return out;
        }
        px_->dropCache();
        std::vector<std::uint8_t> praw(static_cast<std::size_t>(std::min<std::uint64_t>(px_->file().size(), 0xFFFF)));
        praw.resize(px_->file().readAt(0, praw.data(), praw.size()));
        Header ph;
        try {
            ph = parseHeader(praw.data(), praw.size(), px_->file().size(), *files_.px);
        } catch (const Error& e) {
            add(e.what());
            return out;
        }
        const int es = ph.recordSize;
        std::vector<std::pair<int, int>> leaves;
        std::uint32_t entries = 0;
        std::vector<bool> pseen(static_cast<std::size_t>(ph.fileBlocks) + 1, false);
        std::function<bool(int, int, std::string&, std::uint32_t&)> walk =
            [&](int block, int level, std::string& fk, std::uint32_t& stat) -> bool {
            if (block < 1 || block > ph.fileBlocks || pseen[block]) {
                add("indice primario: blocco " + std::to_string(block) + " non valido");
                return false;
            }
            pseen[block] = true;
            std::vector<std::uint8_t> page(px_->read(static_cast<std::uint32_t>(block)),
                                           px_->read(static_cast<std::uint32_t>(block)) + ph.blockSize);
            const int n = static_cast<std::int16_t>(get16(page.data() + 4)) / es + 1;
            if (n < 1 || n > (ph.blockSize - 6) / es) {
                add("indice primario: conteggio non valido nel blocco " + std::to_string(block));
                return false;
            }
            entries += static_cast<std::uint32_t>(n);
            stat = 0;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t* e = page.data() + 6 + static_cast<std::size_t>(i) * es;
                std::string key(reinterpret_cast<const char*>(e), keyBytes_);
                const int child = getS16(e + keyBytes_);
                const std::uint32_t st = getS16(e + keyBytes_ + 2);
                if (i == 0)
                    fk = key;
                if (level == 1) {
                    leaves.emplace_back(child, static_cast<int>(st));
                    const std::size_t li = leaves.size() - 1;
                    if (li < chain.size()) {
                        const std::uint8_t* dp = db_->read(static_cast<std::uint32_t>(chain[li].first));
                        if (chain[li].second > 0 && std::memcmp(dp + 6, key.data(), key.size()) != 0)
                            add("indice primario: chiave della voce " + std::to_string(li + 1) +
                                " diversa dal primo record del blocco " + std::to_string(chain[li].first));
                    }
                } else {
                    std::string ck;
                    std::uint32_t cs = 0;
                    if (!walk(child, level - 1, ck, cs))
                        return false;
                    if (ck != key || cs != st)
                        add("indice primario: voce incoerente nel blocco " + std::to_string(block));
                }
                stat += st;
            }
            return true;
        };
        if (h.numRecords > 0) {
            std::string fk;
            std::uint32_t st = 0;
            if (ph.indexLevels < 1)
                add("indice primario vuoto per una tabella con record");
            else
                walk(ph.indexRoot, ph.indexLevels, fk, st);
        }
        if (entries != ph.numRecords)
            add("indice primario: voci nell'intestazione " + std::to_string(ph.numRecords) +
                ", contate " + std::to_string(entries));
        if (leaves != chain)
            add("indice primario: le voci non corrispondono ai blocchi dei dati");
    }
    checkSecondaries(out);
    return out;
}

// Every maintained secondary index holds exactly the entries the data calls for, in order, and
// its .Y indexes the blocks of its .X.
void TableFile::checkSecondaries(std::vector<std::string>& out)
{
    for (auto& [sp, im] : secondaryImages(readCollation_)) {
        const SecondaryIndex& si = *sp;
        auto add = [&](const std::string& s) { out.push_back("indice " + si.def.name + ": " + s); };
        auto parse = [&](const std::string& data, const std::string& what, Header& h, std::vector<std::string>& recs,
                         std::vector<std::tuple<std::string, int, int>>* blocks) {
            const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
            h = parseHeader(d, data.size(), data.size(), what);
            std::vector<bool> seen(static_cast<std::size_t>(h.fileBlocks) + 1, false);
            for (int b = h.firstBlock; b != 0;) {
                if (b > h.fileBlocks || seen[b] ||
                    static_cast<std::size_t>(h.headerSize) + static_cast<std::size_t>(b) * h.blockSize > data.size())
                    throw Error("catena dei blocchi non valida");
                seen[b] = true;
                const std::uint8_t* p = d + h.headerSize + static_cast<std::size_t>(b - 1) * h.blockSize;
                const int n = static_cast<std::int16_t>(get16(p + 4)) / h.recordSize + 1;
                if (n < 0 || n > (h.blockSize - 6) / h.recordSize)
                    throw Error("conteggio non valido nel blocco " + std::to_string(b));
                for (int i = 0; i < n; ++i)
                    recs.emplace_back(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * h.recordSize),
                                      static_cast<std::size_t>(h.recordSize));
                if (blocks && n > 0)
                    blocks->emplace_back(recs[recs.size() - static_cast<std::size_t>(n)].substr(0, static_cast<std::size_t>(h.recordSize - 2)), b, n);
                b = get16(p);
            }
        };
        try {
            Header expH, actH;
            std::vector<std::string> expected, actual;
            std::vector<std::tuple<std::string, int, int>> xBlocks;
            parse(std::string(im.x.begin(), im.x.end()), si.xFile, expH, expected, nullptr);
            parse(readWholeFile(env_, files_.dir + "/" + si.xFile), si.xFile, actH, actual, &xBlocks);
            if (actual != expected)
                add("le voci non corrispondono ai dati");
            if (actH.numRecords != hdr_.numRecords)
                add("numero di voci nell'intestazione diverso da quello dei record");
            // The .Y: its leaf entries are the .X blocks, their first keys and counts.
            const std::string ydata = readWholeFile(env_, files_.dir + "/" + si.yFile);
            const auto* yd = reinterpret_cast<const std::uint8_t*>(ydata.data());
            Header yh = parseHeader(yd, ydata.size(), ydata.size(), si.yFile);
            const int es = yh.recordSize, kb = es - 6;
            std::vector<std::tuple<std::string, int, int>> leaves;
            std::vector<bool> seen(static_cast<std::size_t>(yh.fileBlocks) + 1, false);
            std::function<void(int, int)> walk = [&](int block, int level) {
                if (block < 1 || block > yh.fileBlocks || seen[block] ||
                    static_cast<std::size_t>(yh.headerSize) + static_cast<std::size_t>(block) * yh.blockSize > ydata.size())
                    throw Error("blocco " + std::to_string(block) + " del file .Y non valido");
                seen[block] = true;
                const std::uint8_t* p = yd + yh.headerSize + static_cast<std::size_t>(block - 1) * yh.blockSize;
                const int n = static_cast<std::int16_t>(get16(p + 4)) / es + 1;
                if (n < 1 || n > (yh.blockSize - 6) / es)
                    throw Error("conteggio non valido nel file .Y");
                for (int i = 0; i < n; ++i) {
                    const std::uint8_t* e = p + 6 + static_cast<std::size_t>(i) * es;
                    if (level == 1)
                        leaves.emplace_back(std::string(reinterpret_cast<const char*>(e), static_cast<std::size_t>(kb)),
                                            getS16(e + kb), getS16(e + kb + 2));
                    else
                        walk(getS16(e + kb), level - 1);
                }
            };
            if (!xBlocks.empty())
                walk(yh.indexRoot, yh.indexLevels);
            if (leaves != xBlocks)
                add("il file " + si.yFile + " non corrisponde ai blocchi di " + si.xFile);
        } catch (const Error& e) {
            add(e.what());
        }
    }
}

}  // namespace korva::paradox
