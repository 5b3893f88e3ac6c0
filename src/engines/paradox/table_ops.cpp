// Creating, deleting, emptying and renaming tables. Every change of a table's set of files is
// made by building the new files beside the old ones and switching with renames; the list of
// renames is written first to a small journal (T.JSW) that the next operation on the table
// completes if a process stopped half-way.

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/file_switch.h"
#include "engines/paradox/pager.h"
#include "engines/paradox/secondary.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <strings.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <set>
#include <sstream>

namespace korva::paradox {

using detail::findFile;

namespace {

std::string baseOf(const std::string& name)
{
    auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string extOf(const std::string& name)
{
    auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

// ".val" beside a ".db", ".VAL" beside any other.
std::string valExtension(const std::string& dbName)
{
    const std::string ext = extOf(dbName);
    const bool lower = std::any_of(ext.begin(), ext.end(), [](char ch) { return std::islower(static_cast<unsigned char>(ch)); }) &&
                       std::none_of(ext.begin(), ext.end(), [](char ch) { return std::isupper(static_cast<unsigned char>(ch)); });
    return lower ? ".val" : ".VAL";
}

bool companion(const std::string& file)
{
    const std::string ext = extOf(file);
    return ext.size() > 1 && isCompanionExtension(ext.substr(1));
}

std::string tempName(const std::string& final)
{
    static std::atomic<unsigned> counter{0};
    return final + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::string display(const std::string& dir, const std::string& name)
{
    return dir + "/" + name;
}


// Holds a table exclusively while its files are replaced.
std::unique_ptr<File> holdExclusive(Env& env, const std::string& dir, const std::string& db,
                                    const std::string& what)
{
    auto f = env.open(dir + "/" + db, OpenMode::ReadWrite);
    if (!f->lock(kOpenByte, 1, LockType::Exclusive, false))
        throw Error("La tabella " + display(dir, db) + " è in uso: impossibile " + what);
    return f;
}

struct Switch {
    std::vector<std::string> removals;                       // old files that go
    std::vector<std::pair<std::string, std::string>> renames;  // from -> to, in order
};

std::string switchPath(const std::string& dir, const std::string& base)
{
    return dir + "/" + base + ".JSW";
}

void writeFileSynced(Env& env, const std::string& path, const std::vector<std::uint8_t>& data)
{
    auto f = env.open(path, OpenMode::CreateNew);
    if (!data.empty())
        f->writeAt(0, data.data(), data.size());
    f->sync();
}

// Whether a rename of the switch is still to be made. A new file's name (".tmp-<pid>-<n>") is
// never used twice, so while it is there its rename is pending. A table's own file (renaming a
// table) is pending only while the new name is free: the rename starts only when it is, and a
// file of the old name met later is another table that arrived since, never to be moved.
bool renamePending(Env& env, const std::string& dir, const std::string& from, const std::string& to)
{
    if (!env.exists(dir + "/" + from))
        return false;
    return from.find(".tmp-") != std::string::npos || !env.exists(dir + "/" + to);
}

void applySwitch(Env& env, const std::string& dir, const Switch& sw)
{
    for (const auto& r : sw.removals)
        if (env.exists(dir + "/" + r))
            env.remove(dir + "/" + r);
    for (const auto& [from, to] : sw.renames)
        if (renamePending(env, dir, from, to))
            env.rename(dir + "/" + from, dir + "/" + to);
    env.syncDir(dir);
}

// Records the switch, then makes it.
void runSwitch(Env& env, const std::string& dir, const std::string& base, const Switch& sw)
{
    std::string text = "KRVSWT01\n";
    for (const auto& r : sw.removals)
        text += "D\t" + r + "\n";
    for (const auto& [from, to] : sw.renames)
        text += "R\t" + from + "\t" + to + "\n";
    text += "END\t" + std::to_string(crc32(text.data(), text.size())) + "\n";
    const std::string jp = switchPath(dir, base);
    env.syncDir(dir);  // the new files' names are durable before the journal names them
    writeFileSynced(env, jp, std::vector<std::uint8_t>(text.begin(), text.end()));
    env.syncDir(dir);
    applySwitch(env, dir, sw);
    env.remove(jp);
}

void removeQuietly(Env& env, const std::string& path)
{
    try {
        if (env.exists(path))
            env.remove(path);
    } catch (const Error&) {
    }
}

}  // namespace

namespace {

// New files of a switch that never began, left by a process that stopped (or by this one,
// when even removing them failed): "<name>.tmp-<pid>-<n>".
void removeOrphanTemps(Env& env, const std::string& dir, const std::string& base)
{
    std::vector<std::string> names;
    try {
        names = env.list(dir);
    } catch (const Error&) {
        return;
    }
    for (const auto& n : names) {
        const auto at = n.find(".tmp-");
        if (at == std::string::npos || n.size() <= base.size() || n[base.size()] != '.' ||
            strncasecmp(n.c_str(), base.c_str(), base.size()) != 0)
            continue;
        const long pid = std::strtol(n.c_str() + at + 5, nullptr, 10);
        if (pid <= 0 || (pid != ::getpid() && !(::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)))
            continue;
        removeQuietly(env, dir + "/" + n);
    }
}

}  // namespace

void completePendingSwitch(Env& env, const std::string& dir, const std::string& base)
{
    const std::string jp = switchPath(dir, base);
    if (!env.exists(jp)) {
        removeOrphanTemps(env, dir, base);
        return;
    }
    std::string text = readWholeFile(env, jp);
    Switch sw;
    std::vector<std::string> temps;
    bool valid = false;
    std::istringstream in(text);
    std::string line;
    std::size_t consumed = 0;
    bool first = true;
    while (std::getline(in, line)) {
        const std::size_t lineStart = consumed;
        consumed += line.size() + 1;
        if (first) {
            first = false;
            if (line != "KRVSWT01")
                break;
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream ls(line);
        std::string p;
        while (std::getline(ls, p, '\t'))
            parts.push_back(p);
        if (parts.size() == 2 && parts[0] == "D") {
            sw.removals.push_back(parts[1]);
        } else if (parts.size() == 3 && parts[0] == "R") {
            sw.renames.emplace_back(parts[1], parts[2]);
            temps.push_back(parts[1]);
        } else if (parts.size() == 2 && parts[0] == "END") {
            valid = parts[1] == std::to_string(crc32(text.data(), lineStart));
            break;
        } else {
            break;
        }
    }
    auto safe = [](const std::string& n) { return !n.empty() && n.find('/') == std::string::npos && n != ".."; };
    if (valid) {
        for (const auto& r : sw.removals)
            if (!safe(r))
                valid = false;
        for (const auto& [a, b] : sw.renames)
            if (!safe(a) || !safe(b))
                valid = false;
    }
    // A journal whose renames are all made outlived a switch that ended (its removal failed):
    // replaying its removals could take files that have appeared since.
    const bool pending = std::any_of(sw.renames.begin(), sw.renames.end(), [&](const auto& r) {
        return renamePending(env, dir, r.first, r.second);
    });
    if (valid && pending) {
        applySwitch(env, dir, sw);
    } else if (!valid) {
        // Stopped before the switch began: the old files are whole; the new ones go.
        for (const auto& t : temps)
            if (safe(t) && t.find(".tmp-") != std::string::npos)
                removeQuietly(env, dir + "/" + t);
    }
    env.remove(jp);
    removeOrphanTemps(env, dir, base);
}

namespace {

struct CheckedDefs {
    std::vector<FieldDef> fields;  // names in the table's code page
    int keyFields = 0;
    bool level7 = false;
    std::vector<SecondaryIndex> secondaries;
};

CheckedDefs checkDefinitions(const std::string& what, const std::vector<FieldDef>& fields,
                             const std::vector<IndexDef>& indexes, int codePage)
{
    auto fail = [&](const std::string& why) -> void {
        throw Error("Impossibile creare la tabella " + what + ": " + why);
    };
    CheckedDefs c;
    if (fields.empty())
        fail("nessun campo definito");
    if (fields.size() > 255)
        fail("più di 255 campi");
    std::set<std::string> seen;
    for (const auto& f : fields) {
        if (f.name.empty())
            fail("un campo non ha nome");
        std::string bytes = codepage::fromUtf8(f.name, codePage);
        if (bytes.size() > 25)
            fail("il nome del campo " + f.name + " supera i 25 caratteri");
        std::string key = bytes;
        for (char& ch : key)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (!seen.insert(key).second)
            fail("il campo " + f.name + " è definito due volte");
        FieldDef d = f;
        d.name = bytes;
        auto badSize = [&] {
            fail("dimensione " + std::to_string(f.size) + " non valida per il campo " + f.name +
                 " (" + typeName(f.type) + ")");
        };
        switch (f.type) {
        case FieldType::Alpha:
        case FieldType::Bytes:
            if (f.size < 1 || f.size > 255)
                badSize();
            break;
        case FieldType::Memo:
            if (f.size < 1 || f.size > 240)
                badSize();
            break;
        case FieldType::Binary:
        case FieldType::FmtMemo:
        case FieldType::Ole:
        case FieldType::Graphic:
            if (f.size < 0 || f.size > 240)
                badSize();
            break;
        case FieldType::Bcd:
            if (f.size < 0 || f.size > 32)
                badSize();
            break;
        default:
            if (!typeFromCode(static_cast<std::uint8_t>(f.type)))
                fail("tipo non valido per il campo " + f.name);
            d.size = 0;
        }
        c.fields.push_back(d);
    }
    auto position = [&](const std::string& name) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (strcasecmp(fields[i].name.c_str(), name.c_str()) == 0)
                return static_cast<int>(i);
        return -1;
    };
    bool primarySeen = false;
    std::set<std::string> indexNames;
    for (const auto& ix : indexes) {
        const bool primary = ix.name.empty() || (ix.options & IndexOption::Primary);
        auto names = splitFields(ix.fields);
        if (ix.fields.empty() || names.empty())
            fail("l'indice " + ix.name + " non ha campi");
        std::vector<int> pos;
        for (const auto& n : names) {
            int p = position(n);
            if (p < 0)
                fail("l'indice " + (ix.name.empty() ? std::string("primario") : ix.name) +
                     " usa il campo inesistente " + n);
            if (isBlob(fields[static_cast<std::size_t>(p)].type))
                fail("il campo " + n + " (" + typeName(fields[static_cast<std::size_t>(p)].type) +
                     ") non può far parte di un indice");
            pos.push_back(p);
        }
        if (primary) {
            if (primarySeen)
                fail("più di un indice primario");
            primarySeen = true;
            for (std::size_t i = 0; i < pos.size(); ++i)
                if (pos[i] != static_cast<int>(i))
                    fail("la chiave primaria deve essere formata dai primi campi della tabella, "
                         "nell'ordine");
            if (pos.size() > 16)
                fail("la chiave primaria ha più di 16 campi");
            c.keyFields = static_cast<int>(pos.size());
        } else {
            if (ix.name.empty())
                fail("un indice secondario non ha nome");
            std::string up = ix.name;
            for (char& ch : up)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (!indexNames.insert(up).second)
                fail("l'indice " + ix.name + " è definito due volte");
            if (ix.options & (IndexOption::Unique | IndexOption::Descending))
                c.level7 = true;
            if (ix.options & IndexOption::Expression)
                fail("gli indici su espressione non sono gestiti");
            if (ix.options & IndexOption::NonMaintained)
                fail("gli indici non mantenuti non sono gestiti");
            SecondaryIndex si;
            si.def = ix;
            si.fields = pos;
            si.descending.assign(pos.size(), (ix.options & IndexOption::Descending) != 0);
            si.def.fields.clear();
            for (std::size_t i = 0; i < pos.size(); ++i)
                si.def.fields += (i ? ";" : "") + fields[static_cast<std::size_t>(pos[i])].name;
            c.secondaries.push_back(si);
        }
    }
    if (!c.secondaries.empty() && c.keyFields == 0)
        fail("gli indici secondari richiedono una chiave primaria");
    return c;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> detail::newTableFiles(
    const std::string& what, const std::string& name, const std::vector<FieldDef>& fields,
    const std::vector<IndexDef>& indexes, const TableSortOrder& order)
{
    CheckedDefs c = checkDefinitions(what, fields, indexes, order.codePage);
    const std::string base = baseOf(name);
    NewTableLayout L;
    L.codePage = order.codePage;
    L.sortOrder = order.byte;
    L.sortOrderId = order.id;
    L.fields = c.fields;
    L.keyFields = c.keyFields;
    L.tableName = name;
    int recordSize = 0, keyBytes = 0;
    for (std::size_t i = 0; i < L.fields.size(); ++i) {
        const int b = recordBytes(L.fields[i].type, L.fields[i].size);
        recordSize += b;
        if (static_cast<int>(i) < L.keyFields)
            keyBytes += b;
    }
    L.blockSize = 0;
    for (int bs : {2048, 4096, 16384, 32768}) {
        if ((bs - 6) / recordSize >= 1 && (L.keyFields == 0 || (bs - 6) / (keyBytes + 6) >= 3)) {
            L.blockSize = bs;
            break;
        }
    }
    if (L.blockSize == 0)
        throw Error("Impossibile creare la tabella " + what + ": record di " +
                    std::to_string(recordSize) + " byte troppo grande");
    L.version = levelFor(L.fields, c.level7 || L.blockSize > 4096);
    const bool checks = std::any_of(fields.begin(), fields.end(), [](const FieldDef& f) { return f.required; });
    if (checks && L.version >= Version::V7) {
        // Validity files are known only in the layout of levels 4 and 5.
        for (const auto& f : fields)
            if (f.required)
                throw Error("Impossibile creare la tabella " + what + ": il campo " + f.name +
                            " non può essere obbligatorio in una tabella di livello 7 (indici "
                            "secondari univoci o decrescenti, blocchi oltre i 4 KB)");
    }

    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    auto header = buildDbHeader(L);
    files.emplace_back(name, header);
    const bool blobs = std::any_of(L.fields.begin(), L.fields.end(),
                                   [](const FieldDef& f) { return isBlob(f.type); });
    if (L.keyFields > 0)
        files.emplace_back(base + ".PX", buildPxHeader(L, header[Hdr::ChangeCount1]));
    if (blobs)
        files.emplace_back(base + ".MB", BlobStore::newHeader());
    if (checks)
        files.emplace_back(base + valExtension(name), buildRequiredVal(L, header));
    if (!c.secondaries.empty()) {
        // The secondary indexes, empty like the table, with the table's own header to copy from.
        std::vector<FieldInfo> infos;
        int off = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldDef& f = fields[i];
            FieldInfo fi;
            fi.def = f;
            fi.def.size = c.fields[i].size;
            fi.offset = off;
            fi.bytes = recordBytes(f.type, f.size);
            off += fi.bytes;
            infos.push_back(fi);
        }
        Header h = parseHeader(header.data(), header.size(), header.size(), name);
        int group = 0;
        for (auto& si : c.secondaries) {
            nameIndexFiles(si, infos, base, group);
            IndexImages im = buildIndexImages(h, infos, si, RecordSet{},
                                              collationFor(L.sortOrder, L.sortOrderId, L.codePage), what);
            files.emplace_back(si.xFile, im.x);
            files.emplace_back(si.yFile, im.y);
        }
    }
    return files;
}

void createTable(Session& s, const std::string& dir, const std::string& name,
                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                 std::string_view sortOrder)
{
    Env& env = s.env();
    const std::string what = display(dir, name);
    const auto order = tableSortOrder(sortOrder.empty() ? kNewTableSortOrderId : sortOrder);
    if (!order) {
        std::string names;
        for (const std::string& n : tableSortOrderNames())
            names += (names.empty() ? "" : ", ") + n;
        throw Error("Impossibile creare la tabella " + what + ": l'ordinamento \"" + std::string(sortOrder) +
                    "\" non è gestito (ordinamenti possibili: " + names + ")");
    }
    auto images = detail::newTableFiles(what, name, fields, indexes, *order);
    if (!env.exists(dir.empty() ? "." : dir))
        throw Error("Impossibile creare la tabella " + what + ": la directory " + dir +
                    " non esiste");
    const std::string base = baseOf(name);
    completePendingSwitch(env, dir, base);

    // An existing table of that name is replaced: nobody may be using it.
    std::unique_ptr<File> hold;
    std::vector<std::string> oldFiles;
    if (auto old = findFile(env, dir, name)) {
        hold = holdExclusive(env, dir, *old, "sostituirla");
        completePendingSwitch(env, dir, baseOf(*old));
        oldFiles = findTableFiles(env, dir, *old).all();
    } else {
        for (const auto& e : env.list(dir)) {
            // Companions left without their data file belong to no table: they go too.
            if (strcasecmp(baseOf(e).c_str(), base.c_str()) == 0 && companion(e))
                oldFiles.push_back(e);
        }
    }

    struct NewFile {
        std::string final, temp;
        std::vector<std::uint8_t> data;
    };
    std::vector<NewFile> files;
    for (auto& [final, data] : images)
        files.push_back({final, "", std::move(data)});

    Switch sw;
    try {
        for (auto& f : files) {
            f.temp = tempName(f.final);
            writeFileSynced(env, dir + "/" + f.temp, f.data);
        }
    } catch (...) {
        for (auto& f : files)
            if (!f.temp.empty())
                removeQuietly(env, dir + "/" + f.temp);
        throw;
    }
    std::set<std::string> finals;
    for (const auto& f : files)
        finals.insert(f.final);
    for (const auto& o : oldFiles)
        if (!finals.count(o))
            sw.removals.push_back(o);
    // The data file last: until it is in place no table of that name is half there.
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        sw.renames.emplace_back(it->temp, it->final);
    try {
        runSwitch(env, dir, base, sw);
    } catch (...) {
        if (!env.exists(switchPath(dir, base)))
            for (const auto& f : files)
                removeQuietly(env, dir + "/" + f.temp);
        throw;
    }
}

FileSwitch::FileSwitch(Env& env, std::string dir, std::string base)
    : env_(env), dir_(std::move(dir)), base_(std::move(base))
{
}

FileSwitch::~FileSwitch()
{
    if (!done_)
        discard();
}

void FileSwitch::discard() noexcept
{
    open_.clear();
    try {
        // Once the journal is there the new files belong to it.
        if (env_.exists(switchPath(dir_, base_)))
            return;
    } catch (...) {
        return;
    }
    for (const auto& f : files_)
        removeQuietly(env_, dir_ + "/" + f.first);
}

File& FileSwitch::add(const std::string& final)
{
    files_.emplace_back(tempName(final), final);
    try {
        open_.push_back(env_.open(dir_ + "/" + files_.back().first, OpenMode::CreateNew));
    } catch (...) {
        files_.pop_back();
        throw;
    }
    return *open_.back();
}

void FileSwitch::add(const std::string& final, const std::vector<std::uint8_t>& data)
{
    File& f = add(final);
    if (!data.empty())
        f.writeAt(0, data.data(), data.size());
}

void FileSwitch::commit(const std::vector<std::string>& removals)
{
    for (auto& f : open_)
        f->sync();
    open_.clear();
    Switch sw;
    sw.removals = removals;
    for (const auto& [temp, final] : files_)
        sw.renames.emplace_back(temp, final);
    runSwitch(env_, dir_, base_, sw);
    done_ = true;
}

void replaceTableFiles(Env& env, const std::string& dir, const std::string& base,
                       const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
                       const std::vector<std::string>& removals)
{
    FileSwitch sw(env, dir, base);
    for (const auto& [final, data] : files)
        sw.add(final, data);
    sw.commit(removals);
}

void switchTableFiles(Env& env, const std::string& dir, const std::string& base,
                      const std::vector<std::pair<std::string, std::string>>& renames,
                      const std::vector<std::string>& removals)
{
    Switch sw;
    sw.renames = renames;
    sw.removals = removals;
    runSwitch(env, dir, base, sw);
}

void deleteTable(Session& s, const std::string& dir, const std::string& name)
{
    Env& env = s.env();
    auto db = findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + display(dir, name) + " non esiste");
    completePendingSwitch(env, dir, baseOf(*db));
    auto hold = holdExclusive(env, dir, *db, "eliminarla");
    TableFiles t = findTableFiles(env, dir, *db);
    // The data file first: from then on there is no table, only leftovers.
    env.remove(dir + "/" + *db);
    for (const auto& f : t.all())
        if (f != *db)
            env.remove(dir + "/" + f);
    removeQuietly(env, dir + "/" + t.base + ".JNL");
    removeQuietly(env, dir + "/" + t.base + ".LCK");
}

std::optional<std::string> detail::findFile(Env& env, const std::string& dir, const std::string& name)
{
    if (env.exists(dir + "/" + name))
        return name;
    std::optional<std::string> found;
    for (const auto& e : env.list(dir)) {
        if (strcasecmp(e.c_str(), name.c_str()) != 0)
            continue;
        if (found)
            throw Error("Nome ambiguo: \"" + *found + "\" e \"" + e + "\" in " + dir);
        found = e;
    }
    return found;
}

std::vector<std::uint8_t> detail::emptiedHeader(std::vector<std::uint8_t> h, bool index)
{
    put32(h.data() + Hdr::NumRecords, 0);
    for (int at : {Hdr::UsedBlocks, Hdr::FileBlocks, Hdr::FirstBlock, Hdr::LastBlock, Hdr::MaxBlocks, Hdr::FirstFree})
        put16(h.data() + at, 0);
    if (index) {
        put16(h.data() + Hdr::IndexRoot, 1);
        h[Hdr::IndexLevels] = 0;
    }
    return h;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> detail::emptiedFiles(Env& env,
                                                                                  const TableFile& t)
{
    const TableFiles& tf = t.files();
    auto indexHeader = [&](const std::string& file) {
        const std::string path = tf.dir + "/" + file;
        std::string raw = readWholeFile(env, path);
        const auto* d = reinterpret_cast<const std::uint8_t*>(raw.data());
        peekHeaderSize(d, raw.size(), path);
        Header h = parseHeader(d, raw.size(), raw.size(), path);
        return detail::emptiedHeader(h.raw, h.isIndexFile());
    };
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    files.emplace_back(tf.db, detail::emptiedHeader(t.header().raw, false));
    if (tf.px)
        files.emplace_back(*tf.px, indexHeader(*tf.px));
    for (const auto& x : tf.secondary)
        files.emplace_back(x, indexHeader(x));
    if (tf.mb)
        files.emplace_back(*tf.mb, BlobStore::newHeader());
    return files;
}

void emptyTable(Session& s, const std::string& dir, const std::string& name)
{
    Env& env = s.env();
    auto db = findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + display(dir, name) + " non esiste");
    completePendingSwitch(env, dir, baseOf(*db));
    std::unique_ptr<TableFile> t;
    try {
        t = std::make_unique<TableFile>(env, dir, *db, true, display(dir, *db));
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + ": impossibile azzerarla");
    }
    struct NewFile {
        std::string final, temp;
        std::vector<std::uint8_t> data;
    };
    std::vector<NewFile> files;
    for (auto& [final, data] : detail::emptiedFiles(env, *t))
        files.push_back({final, "", std::move(data)});
    const TableFiles& tf = t->files();
    try {
        for (auto& f : files) {
            f.temp = tempName(f.final);
            writeFileSynced(env, dir + "/" + f.temp, f.data);
        }
        Switch sw;
        for (auto it = files.rbegin(); it != files.rend(); ++it)
            sw.renames.emplace_back(it->temp, it->final);
        runSwitch(env, dir, tf.base, sw);
    } catch (...) {
        if (!env.exists(switchPath(dir, tf.base)))
            for (const auto& f : files)
                if (!f.temp.empty())
                    removeQuietly(env, dir + "/" + f.temp);
        throw;
    }
}

void renameTable(Session& s, const std::string& dir, const std::string& name,
                 const std::string& newName)
{
    Env& env = s.env();
    auto db = findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + display(dir, name) + " non esiste");
    completePendingSwitch(env, dir, baseOf(*db));
    std::string target = newName;
    if (extOf(target).empty())
        target += ".DB";
    const std::string newBase = baseOf(target);
    for (const auto& e : env.list(dir)) {
        const std::string ext = extOf(e);
        if (strcasecmp(baseOf(e).c_str(), newBase.c_str()) == 0 &&
            (strcasecmp(ext.c_str(), ".DB") == 0 || companion(e)))
            throw Error("Impossibile rinominare la tabella " + display(dir, *db) + " in " + target +
                        ": esiste già il file " + e);
    }
    auto hold = holdExclusive(env, dir, *db, "rinominarla");
    TableFiles t = findTableFiles(env, dir, *db);
    Switch sw;
    for (const auto& f : t.all())
        if (f != *db)
            sw.renames.emplace_back(f, newBase + extOf(f));
    sw.renames.emplace_back(*db, target);  // the data file last
    runSwitch(env, dir, t.base, sw);
    removeQuietly(env, dir + "/" + t.base + ".LCK");
}

}  // namespace korva::paradox
