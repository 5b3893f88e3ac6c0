// Creating, deleting, emptying and renaming tables. Every change of a table's set of files is
// made while the table is held exclusively, by building the new files beside the old ones and
// switching them in with a journaled switch (file_switch).

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
#include "engines/paradox/table_hold.h"
#include "engines/paradox/table_internal.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

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

// A file of a table's own family besides its data file: .PX .MB .VAL .Xnn .Ynn .XGn .YGn (the
// forms and views other programs keep beside a table are theirs).
bool familyCompanion(const std::string& file)
{
    const std::string ext = extOf(file);
    return companion(file) && strcasecmp(ext.c_str(), ".TV") != 0 && strcasecmp(ext.c_str(), ".FAM") != 0;
}

std::string display(const std::string& dir, const std::string& name)
{
    return dir + "/" + name;
}

// Held exclusively while its files are replaced, a pending switch settled first.
HeldTable holdExclusive(Env& env, const std::string& dir, const std::string& db, const std::string& what)
{
    try {
        return holdTable(env, dir, db, true, display(dir, db));
    } catch (const TableBusy&) {
        throw TableBusy("La tabella " + display(dir, db) + " è in uso: impossibile " + what);
    }
}

void removeQuietly(Env& env, const std::string& path)
{
    try {
        if (env.exists(path))
            env.remove(path);
    } catch (const Error&) {
    }
}

// The files of a table held exclusively, the data file first: from then on there is no table,
// only leftovers. A lock file goes only when it is this engine's.
void removeHeldTable(Env& env, const std::string& dir, const std::string& db)
{
    TableFiles t = findTableFiles(env, dir, db);
    env.remove(dir + "/" + db);
    for (const auto& f : t.all())
        if (f != db)
            env.remove(dir + "/" + f);
    removeQuietly(env, dir + "/" + t.base + ".JNL");
    removeOwnLckFiles(env, dir, t.base);
}

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


void checkNewTable(const std::string& what, const std::vector<FieldDef>& fields,
                   const std::vector<IndexDef>& indexes)
{
    detail::newTableFiles(what, "T.DB", fields, indexes, *tableSortOrder(kNewTableSortOrderId));
}

void createTable(Session& s, const std::string& dir, const std::string& name,
                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                 std::string_view sortOrder, bool replace)
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

    // An existing table of that name is replaced: nobody may be using it. Without one, a
    // creation that stopped half-way is settled first, under its journal's lock.
    HeldTable hold;
    std::vector<std::string> oldFiles;
    for (int round = 0;; ++round) {
        if (auto old = findFile(env, dir, name)) {
            if (!replace)
                throw Error("Impossibile creare la tabella " + what + ": esiste già il file " + *old);
            hold = holdExclusive(env, dir, *old, "sostituirla");
            oldFiles = findTableFiles(env, dir, *old).all();
            break;
        }
        const bool pending = switchPending(env, dir, base);
        if (pending && round >= 10)
            throw TableBusy("La tabella " + what + " è in uso: impossibile crearla");
        completePendingSwitch(env, dir, base);
        if (pending)
            continue;
        for (const auto& e : env.list(dir)) {
            // Companions left without their data file belong to no table: they go too.
            if (strcasecmp(baseOf(e).c_str(), base.c_str()) == 0 && familyCompanion(e))
                oldFiles.push_back(e);
        }
        break;
    }

    FileSwitch sw(env, dir, base);
    // The data file last: until it is in place no table of that name is half there.
    for (auto it = images.rbegin(); it != images.rend(); ++it)
        sw.add(it->first, it->second);
    std::set<std::string> finals;
    for (const auto& f : images)
        finals.insert(f.first);
    std::vector<std::string> removals;
    for (const auto& o : oldFiles)
        if (!finals.count(o))
            removals.push_back(o);
    // A table of that name made meanwhile by another process is not ours to replace.
    sw.commit(removals, [&] {
        if (!hold.file && findFile(env, dir, name))
            throw TableBusy("La tabella " + what + " è stata creata da un altro programma: non viene sostituita");
    });
}

void deleteTable(Session& s, const std::string& dir, const std::string& name)
{
    Env& env = s.env();
    auto db = findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + display(dir, name) + " non esiste");
    findTableFiles(env, dir, *db);  // a family it cannot tell apart is refused before any hold
    HeldTable hold = holdExclusive(env, dir, *db, "eliminarla");
    removeHeldTable(env, dir, *db);
}

void deleteEmptyTable(Session& s, const std::string& dir, const std::string& name)
{
    Env& env = s.env();
    const std::string base = baseOf(name);
    auto db = findFile(env, dir, name);
    for (int round = 0; !db; ++round) {
        // No table: what a creation or a deletion stopped half-way left of it goes, a pending
        // switch settled first (it may put the table in place).
        const bool pending = switchPending(env, dir, base);
        if (pending && round >= 10)
            throw TableBusy("La tabella " + display(dir, name) + " è in uso: impossibile eliminarla");
        completePendingSwitch(env, dir, base);
        db = findFile(env, dir, name);
        if (db || pending)
            continue;
        for (const auto& e : env.list(dir))
            if (strcasecmp(baseOf(e).c_str(), base.c_str()) == 0 && familyCompanion(e))
                env.remove(dir + "/" + e);
        removeQuietly(env, dir + "/" + base + ".JNL");
        removeOwnLckFiles(env, dir, base);
        return;
    }
    const std::string what = display(dir, *db);
    // Its data blocks read, and held until its files are gone: what it holds is known.
    std::unique_ptr<TableFile> t;
    try {
        t = std::make_unique<TableFile>(env, dir, *db, true, what, OpenFor::DataOnly);
    } catch (const TableBusy&) {
        throw TableBusy("La tabella " + what + " è in uso: impossibile eliminarla");
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + ": la tabella non viene eliminata");
    }
    std::uint64_t inBlocks = 0;
    for (int b = 0; b < t->blocks(); ++b)
        inBlocks += static_cast<std::uint64_t>(t->countIn(b));
    const std::uint64_t records = std::max<std::uint64_t>(inBlocks, t->recordCount());
    if (records > 0)
        throw Error("La tabella " + what + " contiene " + std::to_string(records) +
                    " record: non viene eliminata");
    // Blocks beyond those the header counts may hold records a damaged header lost.
    const Header& h = t->header();
    const std::uint64_t counted = static_cast<std::uint64_t>(h.headerSize) +
                                  static_cast<std::uint64_t>(h.fileBlocks) * static_cast<std::uint64_t>(h.blockSize);
    if (env.open(dir + "/" + *db, OpenMode::Read)->size() > counted)
        throw Error("La tabella " + what + " è danneggiata: il file è più lungo dei blocchi che la sua "
                    "intestazione conta e potrebbe contenere record. Non viene eliminata");
    removeHeldTable(env, dir, *db);
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
    std::unique_ptr<TableFile> t;
    try {
        t = std::make_unique<TableFile>(env, dir, *db, true, display(dir, *db));
    } catch (const TableBusy& e) {
        throw TableBusy(std::string(e.what()) + ": impossibile azzerarla");
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + ": impossibile azzerarla");
    }
    auto files = detail::emptiedFiles(env, *t);
    FileSwitch sw(env, dir, t->files().base);
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        sw.add(it->first, it->second);
    sw.commit();
}

void renameTable(Session& s, const std::string& dir, const std::string& name,
                 const std::string& newName)
{
    Env& env = s.env();
    auto db = findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + display(dir, name) + " non esiste");
    HeldTable hold = holdExclusive(env, dir, *db, "rinominarla");
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
    TableFiles t = findTableFiles(env, dir, *db);
    std::vector<std::pair<std::string, std::string>> renames;
    for (const auto& f : t.all())
        if (f != *db)
            renames.emplace_back(f, newBase + extOf(f));
    renames.emplace_back(*db, target);  // the data file last
    switchTableFiles(env, dir, t.base, renames);
    removeOwnLckFiles(env, dir, t.base);
}

}  // namespace korva::paradox
