// Packing a table: its records written again without gaps into a new family of files built
// beside the old one, and switched in when that family is complete and sound.

#include "base/errore.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/new_family.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cstring>

namespace korva::paradox {

namespace {

std::uint64_t sizeOf(Env& env, const std::string& dir, const std::vector<std::string>& files)
{
    std::uint64_t total = 0;
    for (const auto& f : files)
        total += env.open(dir + "/" + f, OpenMode::Read)->size();
    return total;
}

// Every record of `from`, in its chain order (key order for a keyed table), into the empty
// table `to`, memo values written anew; one journaled batch.
void copyRecords(TableFile& from, TableFile& to, const std::function<void(std::uint32_t, std::uint32_t)>& progress)
{
    std::vector<int> blobFields;
    for (std::size_t i = 0; i < from.fields().size(); ++i)
        if (isBlob(from.fields()[i].def.type))
            blobFields.push_back(static_cast<int>(i));
    const std::uint32_t total = from.recordCount();
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(from.recordSize()));
    std::uint32_t done = 0;
    to.beginBatch();
    for (int b = 0; b < from.blocks(); ++b)
        for (int r = 0; r < from.countIn(b); ++r) {
            std::memcpy(rec.data(), from.record({b, r}), rec.size());
            for (int f : blobFields)
                to.writeStoredBlob(rec.data(), f, from.readStoredBlob(rec.data(), f));
            // One step of the batch: the pager may then write out what it holds.
            to.beginChange();
            to.insert(rec.data());
            to.commitChange();
            ++done;
            if (progress && (done % 1000 == 0 || done == total))
                progress(done, total);
        }
    to.endBatch(true);
}

}  // namespace

PackResult packTable(Session& s, const std::string& dir, const std::string& name,
                     const std::function<void(std::uint32_t, std::uint32_t)>& progress)
{
    Env& env = s.env();
    const auto db = detail::findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + dir + "/" + name + " non esiste");
    const std::string display = dir + "/" + *db;
    const std::string extension = extensionOf(*db);
    const std::string base = db->substr(0, db->size() - extension.size());

    // Held exclusively until the packed files are in place.
    std::unique_ptr<TableFile> old;
    try {
        old = std::make_unique<TableFile>(env, dir, *db, true, display);
    } catch (const TableBusy& e) {
        throw TableBusy(std::string(e.what()) + ": impossibile compattarla");
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + ": impossibile compattarla");
    }
    std::string why;
    if (!old->writable(why))
        throw Error("Impossibile compattare la tabella " + display + ": " + why);
    for (const auto& si : old->secondaries())
        if (si.def.options & IndexOption::NonMaintained)
            throw Error("Impossibile compattare la tabella " + display + ": l'indice " + si.def.name +
                        " non è mantenuto e non si può ricostruire");

    PackResult result;
    result.records = old->recordCount();
    result.sizeBefore = sizeOf(env, dir, old->files().all());

    NewFamily family(env, dir, base);
    std::vector<std::pair<std::string, std::string>> renames;
    // Its own headers, emptied: sort order, code page, level, stamps and counters stay.
    for (auto& [final, data] : detail::emptiedFiles(env, *old))
        renames.emplace_back(family.write(extensionOf(final), data), final);
    {
        TableFile packed(env, dir, family.base() + extension, true, display);
        packed.setDurable(s.durable());
        copyRecords(*old, packed, progress);
        if (packed.recordCount() != result.records)
            throw Error("Compattazione della tabella " + display + " non riuscita: " +
                        std::to_string(packed.recordCount()) + " record invece di " +
                        std::to_string(result.records));
        const auto problems = packed.check();
        if (!problems.empty())
            throw Error("Compattazione della tabella " + display + " non riuscita: " + problems.front());
    }
    result.sizeAfter = sizeOf(env, dir, family.files());

    // The data file last.
    std::reverse(renames.begin(), renames.end());
    family.switchIn(renames);
    return result;
}

}  // namespace korva::paradox
