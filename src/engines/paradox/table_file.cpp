#include "engines/paradox/table_file.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table_hold.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <ctime>

namespace korva::paradox {

namespace {

// As long as a reader waits for a writer's change before it says the table is in use.
constexpr std::chrono::milliseconds kWriterWait{3000};

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
    // Names that differ from ours only in case: on this file system another table's data
    // file, or a companion of ours or of that table.
    std::vector<std::pair<std::string, std::string>> candidates;  // name, extension upper-cased
    std::vector<std::string> otherTables;
    for (const auto& name : env.list(dir.empty() ? "." : dir)) {
        const auto d = name.rfind('.');
        if (d == std::string::npos || d != t.base.size() ||
            strncasecmp(name.c_str(), t.base.c_str(), t.base.size()) != 0)
            continue;
        const std::string ext = upper(name.substr(d + 1));
        if (ext == "DB" && name != dbName)
            otherTables.push_back(name);
        else if (ext != "TV" && ext != "FAM" && isCompanionExtension(ext))
            candidates.emplace_back(name, ext);
    }
    // With another table spelled in other case, a companion is ours only when its base is
    // spelled as ours; one spelled as neither cannot be told apart.
    auto ours = [&](const std::string& name) {
        if (otherTables.empty())
            return true;
        const bool exact = name.compare(0, t.base.size(), t.base) == 0;
        bool theirs = false;
        for (const auto& o : otherTables)
            theirs = theirs || name.compare(0, t.base.size(), o, 0, t.base.size()) == 0;
        if (exact == theirs)
            throw Error("Impossibile distinguere i file della tabella " + (dir.empty() ? "" : dir + "/") + dbName +
                        " da quelli della tabella " + otherTables.front() +
                        " (nomi diversi solo per maiuscole e minuscole): il file " + name +
                        " può essere dell'una o dell'altra");
        return exact;
    };
    std::vector<std::string> seen;
    for (const auto& [name, ext] : candidates) {
        if (!ours(name))
            continue;
        if (std::find(seen.begin(), seen.end(), ext) != seen.end())
            throw Error("La tabella " + (dir.empty() ? "" : dir + "/") + dbName + " ha più file " + ext +
                        " che differiscono solo per maiuscole e minuscole: impossibile sapere quale è il suo");
        seen.push_back(ext);
        if (ext == "PX")
            t.px = name;
        else if (ext == "MB")
            t.mb = name;
        else if (ext == "VAL")
            t.val = name;
        else
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
                     std::string display, OpenFor purpose)
    : env_(env), display_(std::move(display)), files_(findTableFiles(env, dir, dbName)),
      pager_(env, dir + "/" + files_.base + ".JNL"), purpose_(purpose)
{
    if (purpose_ == OpenFor::DataOnly && !exclusive)
        throw Error("La tabella " + display_ + " si apre senza i suoi indici solo in modo esclusivo");
    HeldTable held = holdTable(env_, dir, dbName, exclusive, display_);
    readOnly_ = held.readOnly;
    lock_ = std::move(held.lock);
    std::unique_ptr<File> dbFile = std::move(held.file);
    // A switch settled on the way may have changed the family.
    files_ = findTableFiles(env_, dir, dbName);
    // The lock refers to the file: from here on the file lives as long as the lock.
    db_ = std::make_unique<PagedFile>(std::move(dbFile), dbName, 0x58, 1024);
    pager_.addFile(db_.get());
    if (Pager::hot(env_, dir + "/" + files_.base + ".JNL")) {
        waitWriteLock(LockType::Exclusive);
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
    // The order of alpha keys: reading takes the best one known, writing needs the driver's own.
    collation_ = knowledgeCollationFor(hdr_.sortOrder, hdr_.sortOrderId, hdr_.hasDataHeader ? hdr_.codePage : 0);
    keysPlaceable_ = true;
    for (int i = 0; i < hdr_.keyFields; ++i)
        if (fields_[i].def.type == FieldType::Alpha)
            keysPlaceable_ = collation_ && collation_->exact();
    if (purpose_ == OpenFor::DataOnly) {
        // Nothing but the data blocks: the index files may be what is damaged.
        loadChain();
        pxMissing_ = hdr_.keyFields > 0;
        prefixValid_ = false;
        ++generation_;
        return;
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

void TableFile::refresh()
{
    if (exclusive())
        return;
    const std::string journal = files_.dir + "/" + files_.base + ".JNL";
    if (Pager::hot(env_, journal)) {
        // A writer stopped half-way: undo its change before reading anything.
        if (writeDepth_ == 0)
            db_->file().unlock(kWriteByte, 1);
        waitWriteLock(LockType::Exclusive);
        Pager::recover(env_, journal, files_.dir);
        if (writeDepth_ == 0)
            db_->file().lock(kWriteByte, 1, LockType::Shared, true);
        load();
        return;
    }
    std::uint8_t now[0x80];
    std::size_t got = db_->file().readAt(0, now, sizeof now);
    if (got != std::min<std::size_t>(headerPrefix_.size(), sizeof now) ||
        (got > 0 && std::memcmp(now, headerPrefix_.data(), got) != 0)) {
        if (px_)
            px_->dropCache();
        load();
    }
}

void TableFile::lockRead()
{
    if (exclusive() || readDepth_++ > 0 || writeDepth_ > 0)
        return;
    try {
        waitWriteLock(LockType::Shared);
    } catch (...) {
        --readDepth_;
        throw;
    }
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
    if (purpose_ == OpenFor::DataOnly) {
        why = "aperta senza i suoi indici, solo per ricostruirli";
        return false;
    }
    if (readOnly_) {
        why = "i file della tabella sono in sola lettura";
        return false;
    }
    if (hdr_.keyFields > 0 && pxMissing_) {
        why = "l'indice primario manca o non è valido: ricostruirlo prima di modificare i dati";
        return false;
    }
    if (!keysPlaceable_) {
        why = "l'ordinamento \"" + hdr_.sortOrderId +
              "\" della chiave non è gestito: modifiche non consentite";
        return false;
    }
    for (const auto& si : secondaries_) {
        if (si.def.options & IndexOption::NonMaintained)
            continue;  // left alone, as their kind wants
        for (int f : si.fields)
            if (fields_[static_cast<std::size_t>(f)].def.type == FieldType::Alpha && !(collation_ && collation_->exact())) {
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
void TableFile::waitWriteLock(LockType type)
{
    if (!lockWithin(db_->file(), kWriteByte, type, kWriterWait))
        throw TableBusy("La tabella " + display_ + " è in uso: un altro programma la sta modificando");
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

}  // namespace korva::paradox
