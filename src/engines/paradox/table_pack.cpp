// Packing a table: its records written again without gaps into a new family of files built
// beside the old one, and switched in when that family is complete and sound.

#include "base/errore.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace korva::paradox {

namespace {

std::string extensionOf(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::uint64_t sizeOf(Env& env, const std::string& dir, const std::vector<std::string>& files)
{
    std::uint64_t total = 0;
    for (const auto& f : files)
        total += env.open(dir + "/" + f, OpenMode::Read)->size();
    return total;
}

// The files of the new family: removed again unless the switch took them.
class NewFamily {
public:
    NewFamily(Env& env, std::string dir, std::string base)
        : env_(env), dir_(std::move(dir)), base_(std::move(base))
    {
    }
    ~NewFamily()
    {
        if (!kept_)
            for (const auto& f : files_)
                remove(f);
        // What the table object opened on the family may have left.
        remove(base_ + ".JNL");
        remove(base_ + ".LCK");
    }
    NewFamily(const NewFamily&) = delete;
    NewFamily& operator=(const NewFamily&) = delete;

    const std::string& base() const { return base_; }
    const std::vector<std::string>& files() const { return files_; }
    // Writes a file of the family (`extension` with its dot) and flushes it; returns its name.
    std::string write(const std::string& extension, const std::vector<std::uint8_t>& data)
    {
        const std::string name = base_ + extension;
        auto f = env_.open(dir_ + "/" + name, OpenMode::CreateNew);
        files_.push_back(name);
        if (!data.empty())
            f->writeAt(0, data.data(), data.size());
        f->sync();
        return name;
    }
    void keep() { kept_ = true; }

private:
    void remove(const std::string& name)
    {
        try {
            if (env_.exists(dir_ + "/" + name))
                env_.remove(dir_ + "/" + name);
        } catch (const Error&) {
            // Named ".tmp-<pid>-<n>": the next use of the table removes what is left.
        }
    }

    Env& env_;
    std::string dir_;
    std::string base_;
    std::vector<std::string> files_;
    bool kept_ = false;
};

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
            to.insert(rec.data());
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
    completePendingSwitch(env, dir, base);

    // Held exclusively until the packed files are in place.
    std::unique_ptr<TableFile> old;
    try {
        old = std::make_unique<TableFile>(env, dir, *db, true, display);
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

    static std::atomic<unsigned> counter{0};
    NewFamily family(env, dir, base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
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
    try {
        switchTableFiles(env, dir, base, renames);
    } catch (...) {
        // Once its journal is written the switch belongs to the next use of the table.
        if (env.exists(dir + "/" + base + ".JSW"))
            family.keep();
        throw;
    }
    family.keep();
    return result;
}

}  // namespace korva::paradox
