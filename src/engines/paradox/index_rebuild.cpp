// Rebuilding every index of a table from its data file alone, switched in at once.

#include "engines/paradox/index_rebuild.h"

#include "base/errore.h"
#include "engines/paradox/file_switch.h"
#include "engines/paradox/secondary.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace korva::paradox {

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void TableFile::checkKeyOrder(const RecordSet& records, const std::string& what) const
{
    auto keyText = [&](const std::uint8_t* rec) {
        std::string text;
        for (int i = 0; i < hdr_.keyFields; ++i) {
            const FieldInfo& f = fields_[static_cast<std::size_t>(i)];
            text += (i ? ", " : "") + f.def.name + " = " + detail::valueText(f, rec + f.offset, codePage());
        }
        return text;
    };
    for (std::size_t i = 1; i < records.size(); ++i) {
        const int c = compareKeys(records.at(i - 1), records.at(i), hdr_.keyFields);
        if (c == 0)
            throw Error(what + "chiave doppia nell'indice primario (" + keyText(records.at(i)) + ")");
        // Only an order we can stand behind is held against the table.
        if (c > 0 && keysPlaceable_)
            throw Error(what + "i record non sono nell'ordine della chiave (" + keyText(records.at(i - 1)) +
                        " prima di " + keyText(records.at(i)) + "): la tabella va riparata");
    }
}

std::vector<std::string> TableFile::buildAllIndexes(const std::vector<IndexDef>& indexes, FileSwitch& out,
                                                    const std::function<void(std::int64_t, std::int64_t)>& progress)
{
    const std::string what = "Impossibile rigenerare gli indici della tabella " + display_ + ": ";
    bool primary = false;
    std::vector<SecondaryIndex> secondaries;
    try {
        std::set<std::string> names;
        int group = 0;
        for (const IndexDef& ix : indexes) {
            const std::vector<int> pos = indexFields(ix);
            if (isPrimaryIndex(ix)) {
                if (primary)
                    throw Error("più di un indice primario");
                checkPrimaryDefinition(pos);
                primary = true;
                continue;
            }
            SecondaryIndex si = secondaryDefinition(ix, pos);
            if (!names.insert(upper(si.def.name)).second)
                throw Error("l'indice " + si.def.name + " è definito due volte");
            nameIndexFiles(si, fields_, files_.base, group);
            for (const SecondaryIndex& other : secondaries)
                if (strcasecmp(other.xFile.c_str(), si.xFile.c_str()) == 0)
                    throw Error("gli indici " + other.def.name + " e " + si.def.name + " sono sullo stesso campo");
            secondaries.push_back(std::move(si));
        }
        // A keyed table without its .PX opens only exclusively: never left so.
        if (hdr_.keyFields > 0 && !primary)
            throw Error("la tabella ha la chiave primaria (" + keyList() + ") e manca l'indice primario");
    } catch (const Error& e) {
        throw Error(what + e.what());
    }

    const std::int64_t steps = 1 + (primary ? 1 : 0) + static_cast<std::int64_t>(secondaries.size());
    std::int64_t done = 0;
    auto step = [&] {
        if (progress)
            progress(++done, steps);
    };
    if (progress)
        progress(0, steps);
    const RecordSet records = allRecords();
    step();
    const Header db = headerNow();
    std::vector<std::string> names;
    if (primary) {
        checkKeyOrder(records, what);
        const std::string name = files_.base + ".PX";
        out.add(name, buildPrimaryImage(db, fields_, name, primaryLeaves()));
        names.push_back(name);
        step();
    }
    for (const SecondaryIndex& si : secondaries) {
        writeSecondary(out, si, records, db);
        names.push_back(si.xFile);
        names.push_back(si.yFile);
        step();
    }
    return names;
}

IndexRebuild::IndexRebuild(Session& session, const std::string& dir, const std::string& name)
    : session_(session)
{
    Table address(session);
    address.setDatabaseName(dir);
    address.setTableName(name);
    display_ = address.displayName();
    const auto path = address.resolvedPath();
    if (!path)
        throw Error("La tabella " + display_ + " non esiste");
    dir_ = path->substr(0, path->rfind('/'));
    const std::string db = path->substr(path->rfind('/') + 1);
    file_ = std::make_unique<TableFile>(session_.env(), dir_, db, true, display_, OpenFor::DataOnly);
}

IndexRebuild::~IndexRebuild() = default;

void IndexRebuild::run(const std::vector<IndexDef>& indexes, const Progress& progress)
{
    if (!file_)
        throw Error("Gli indici della tabella " + display_ + " sono già stati rigenerati");
    const TableFiles& old = file_->files();
    FileSwitch fresh(session_.env(), dir_, old.base);
    const std::vector<std::string> names = file_->buildAllIndexes(indexes, fresh, progress);
    // Every index file of the table that is not written anew goes in the same switch.
    std::vector<std::string> removals;
    auto replaced = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    if (old.px && !replaced(*old.px))
        removals.push_back(*old.px);
    for (const std::string& s : old.secondary)
        if (!replaced(s))
            removals.push_back(s);
    fresh.commit(removals);
    file_.reset();
}

}  // namespace korva::paradox
