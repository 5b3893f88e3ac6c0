// Regenerating a table: its records moved into a new family of files with another layout,
// built beside the old one and switched in only when it holds every record.

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/new_family.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"
#include "engines/paradox/value_move.h"

#include <strings.h>

#include <algorithm>
#include <set>

namespace korva::paradox {

namespace {

bool blank(const FieldInfo& f, const std::uint8_t* rec)
{
    const std::uint8_t* p = rec + f.offset;
    if (isBlob(f.def.type))
        return get32(p + f.def.size + 4) == 0;
    if (f.def.type == FieldType::Bcd)  // 0x40 is set in every value that is not blank
        return (p[0] & 0x40) == 0;
    return allZero(p, static_cast<std::size_t>(f.bytes));
}

// A failure of one record: the cause stays, the record is named.
class RecordAtFault : public Error {
public:
    using Error::Error;
};

// Moves records field by field, by position, each value converted to the new field's type:
// exact, or refused with a message naming the field and the value.
class RecordMover {
public:
    RecordMover(TableFile& from, TableFile& to)
        : from_(from), to_(to), rec_(static_cast<std::size_t>(to.recordSize())),
          n_(std::min(from.fields().size(), to.fields().size()))
    {
    }

    void move(const std::uint8_t* old)
    {
        std::fill(rec_.begin(), rec_.end(), 0);
        for (std::size_t i = 0; i < n_; ++i)
            value(old, static_cast<int>(i));
        for (const FieldInfo& f : to_.fields()) {
            if (f.def.type == FieldType::AutoInc) {
                std::uint8_t* p = rec_.data() + f.offset;
                if (allZero(p, 4))
                    detail::putInt(p, to_.nextAutoInc(), 4);
                else
                    to_.noteAutoInc(static_cast<std::uint32_t>(detail::getInt(p, 4)));
            } else if (f.def.required && blank(f, rec_.data())) {
                throw RecordAtFault("il campo " + f.def.name + " è obbligatorio e il record non ha un valore");
            }
        }
        try {
            to_.checkInsert(rec_.data());
        } catch (const Error& e) {
            throw RecordAtFault(std::string(e.what()) + " (" + keyText() + ")");
        }
        // One step of the batch: the pager may then write out what it holds.
        to_.beginChange();
        to_.insert(rec_.data());
        to_.commitChange();
    }

private:
    void value(const std::uint8_t* old, int i)
    {
        const FieldInfo& a = from_.fields()[static_cast<std::size_t>(i)];
        const FieldInfo& b = to_.fields()[static_cast<std::size_t>(i)];
        if (blank(a, old))
            return;
        const std::string bytes = isBlob(a.def.type) ? from_.readBlob(old, i) : std::string();
        std::string blob;
        try {
            moveValue(a, old + a.offset, from_.codePage(), bytes, b, rec_.data() + b.offset, to_.codePage(), blob);
        } catch (const Error& e) {
            throw RecordAtFault(e.what());
        }
        if (isBlob(b.def.type))
            to_.writeBlob(rec_.data(), i, blob);
    }

    // The new record's key fields with their values.
    std::string keyText() const
    {
        std::string text;
        for (int k = 0; k < to_.keyFields(); ++k) {
            const FieldInfo& f = to_.fields()[static_cast<std::size_t>(k)];
            if (k > 0)
                text += ", ";
            text += codepage::toUtf8(f.def.name, to_.codePage());
            text += " = \"";
            text += detail::valueText(f, rec_.data() + f.offset, to_.codePage());
            text += '"';
        }
        return text;
    }

    TableFile& from_;
    TableFile& to_;
    std::vector<std::uint8_t> rec_;
    std::size_t n_;
};

}  // namespace

std::uint32_t regenerateTable(Session& s, const std::string& dir, const std::string& name,
                              const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                              const PackProgress& progress)
{
    Env& env = s.env();
    const auto db = detail::findFile(env, dir, name);
    if (!db)
        throw Error("La tabella " + dir + "/" + name + " non esiste");
    const std::string display = dir + "/" + *db;
    const std::string extension = extensionOf(*db);
    const std::string base = db->substr(0, db->size() - extension.size());

    // Held exclusively until the new files are in place.
    std::unique_ptr<TableFile> old;
    try {
        old = std::make_unique<TableFile>(env, dir, *db, true, display);
    } catch (const TableBusy& e) {
        throw TableBusy(std::string(e.what()) + ": impossibile rigenerarla");
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + ": impossibile rigenerarla");
    }
    // The new layout keeps the table's own sort order and code page; its definitions are
    // checked before anything is written.
    const Header& h = old->header();
    const std::string id = !h.sortOrderId.empty() ? h.sortOrderId
                           : old->collation()     ? std::string(old->collation()->name())
                                                  : std::string();
    auto images = detail::newTableFiles(display, *db, fields, indexes, {h.sortOrder, id, old->codePage()});
    // The new files keep the spelling of the old family's (a t.mb stays t.mb).
    for (auto& image : images)
        for (const auto& f : old->files().all())
            if (strcasecmp(f.c_str(), image.first.c_str()) == 0)
                image.first = f;
    const std::uint32_t total = old->recordCount();
    auto failed = [&](const std::string& why) {
        return Error("Rigenerazione della tabella " + display + " non riuscita: " + why +
                     ". La tabella è rimasta com'era");
    };

    NewFamily family(env, dir, base);
    std::vector<std::pair<std::string, std::string>> renames;
    for (const auto& [final, data] : images)
        renames.emplace_back(family.write(extensionOf(final), data), final);
    {
        TableFile regenerated(env, dir, family.base() + extension, true, display);
        regenerated.setDurable(s.durable());
        RecordMover mover(*old, regenerated);
        std::uint32_t done = 0;
        regenerated.beginBatch();
        for (int b = 0; b < old->blocks(); ++b)
            for (int r = 0; r < old->countIn(b); ++r) {
                ++done;
                try {
                    mover.move(old->record({b, r}));
                } catch (const RecordAtFault& e) {
                    regenerated.endBatch(false);
                    throw failed("record " + std::to_string(done) + ": " + e.what());
                }
                if (progress && (done % 1000 == 0 || done == total))
                    progress(done, total);
            }
        regenerated.endBatch(true);
        if (regenerated.recordCount() != total)
            throw failed(std::to_string(regenerated.recordCount()) + " record invece di " + std::to_string(total));
        const auto problems = regenerated.check();
        if (!problems.empty())
            throw failed(problems.front());
    }

    // Every file of the old family that the new one does not replace goes in the same switch.
    std::set<std::string> finals;
    for (const auto& r : renames)
        finals.insert(r.second);
    std::vector<std::string> removals;
    for (const auto& f : old->files().all())
        if (!finals.count(f))
            removals.push_back(f);
    // The data file last.
    std::reverse(renames.begin(), renames.end());
    family.switchIn(renames, removals);
    return total;
}

}  // namespace korva::paradox
