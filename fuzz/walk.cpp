#include "walk.h"

#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <vector>

namespace korva::fuzz {
namespace {

using paradox::Field;
using paradox::FieldType;
using paradox::Table;

[[noreturn]] void finding(const std::string& what)
{
    std::fprintf(stderr, "korva fuzz: %s\n", what.c_str());
    std::abort();
}

// The text of a reading, or of its refusal: refusals are answers too.
std::string attempt(const std::function<std::string()>& read)
{
    try {
        return read();
    } catch (const std::exception& e) {
        return std::string("!") + e.what();
    }
}

// Every value of the current record through each accessor that applies to its type; the
// bytes of the fixed-size fields identify the record.
std::string readRecord(Table& t)
{
    std::string identity;
    for (int i = 0; i < t.fieldCount(); ++i) {
        Field f = t.field(i);
        const FieldType type = f.type();
        const bool blob = paradox::isBlob(type);
        const bool dated = type == FieldType::Date || type == FieldType::Timestamp;
        const bool timed = type == FieldType::Time || type == FieldType::Timestamp;
        const bool numeric = !blob && type != FieldType::Alpha && type != FieldType::Bytes;
        attempt([&] {
            std::string all = f.isNull() ? "-" : "";
            all += f.asString();
            if (numeric)
                all += std::to_string(f.asInteger()) + std::to_string(f.asFloat()) + (f.asBoolean() ? "1" : "0");
            if (dated)
                all += paradox::formatDate(f.asDate()) + std::to_string(f.asTimestamp());
            if (timed)
                all += std::to_string(f.asTime());
            return all;
        });
        const std::string bytes = attempt([&] { return f.asBytes(); });
        if (!blob)
            identity += bytes;
    }
    return identity;
}

// Walks the current order both ways; the two walks must see the same records.
std::vector<std::string> walkOrder(Table& t, std::size_t bound)
{
    std::vector<std::string> forwards, backwards;
    for (t.first(); !t.eof(); t.next()) {
        forwards.push_back(readRecord(t));
        if (forwards.size() > bound)
            finding("the forward walk does not end");
    }
    for (t.last(); !t.bof(); t.prior()) {
        backwards.push_back(readRecord(t));
        if (backwards.size() > bound)
            finding("the backward walk does not end");
    }
    std::reverse(backwards.begin(), backwards.end());
    if (forwards != backwards)
        finding("the walks forwards and backwards saw different records (" +
                std::to_string(forwards.size()) + " and " + std::to_string(backwards.size()) + ")");
    return forwards;
}

// Searches, ranges and bookmarks over the current order, with the key of its first record.
void searchOrder(Table& t, const std::vector<std::string>& keyFields)
{
    t.first();
    if (t.eof() || keyFields.empty())
        return;
    std::vector<std::string> key;
    for (const auto& name : keyFields)
        key.push_back(attempt([&] { return t.field(name).asString(); }));
    const paradox::Bookmark mark = t.getBookmark();
    t.last();
    attempt([&] {
        t.gotoBookmark(mark);
        return std::string();
    });
    attempt([&] { return std::string(t.findKey(key) ? "1" : "0"); });
    attempt([&] {
        t.findNearest(key);
        return std::string();
    });
    attempt([&] {
        t.setRange(key, key);
        for (t.first(); !t.eof(); t.next())
            readRecord(t);
        t.cancelRange();
        return std::string();
    });
}

// The record positions of the open file, by their place in the table.
void readByOrdinal(Table& t)
{
    paradox::TableFile& f = t.file();
    paradox::ReadScope scope(f);
    for (std::uint32_t n = 0; n < f.recordCount(); ++n) {
        const paradox::Pos p = f.fromOrdinal(n);
        if (p.block >= f.blocks() || p.rec >= f.countIn(p.block))
            finding("record " + std::to_string(n) + " has no place in the blocks");
        if (f.ordinal(p) != n)
            finding("record " + std::to_string(n) + " reads back as " + std::to_string(f.ordinal(p)));
        f.record(p);
    }
}

void exerciseOpen(Table& t, std::size_t bound)
{
    t.recordCount();
    t.isEmpty();
    readByOrdinal(t);
    std::vector<std::string> primary;
    for (const auto& ix : t.indexDefs)
        if (ix.options & paradox::IndexOption::Primary)
            primary = paradox::splitFields(ix.fields);
    const auto records = walkOrder(t, bound);
    searchOrder(t, primary);
    for (const auto& ix : t.indexDefs) {
        if (ix.name.empty())
            continue;
        attempt([&] {
            t.setIndexName(ix.name);
            if (walkOrder(t, bound).size() != records.size())
                finding("the order of index " + ix.name + " holds another number of records");
            searchOrder(t, paradox::splitFields(ix.fields));
            t.setIndexName("");
            return std::string();
        });
    }
    t.check();
}

}  // namespace

int exercise(Env& env, const std::string& dir, const std::string& db)
{
    // Each record takes a byte at least: a walk longer than the file has bytes goes round.
    std::size_t bound = 1;
    try {
        bound += readWholeFile(env, dir + "/" + db).size();
    } catch (const std::exception&) {
        return 0;
    }
    paradox::Session session(env);
    session.setDurable(false);
    int through = 0;
    for (bool exclusive : {false, true}) {
        Table t(session);
        t.setDatabaseName(dir);
        t.setTableName(db);
        t.setExclusive(exclusive);
        try {
            t.open();
            exerciseOpen(t, bound);
            ++through;
        } catch (const std::exception&) {
            // The engine refused the files: what it must do with damaged ones.
        }
    }
    return through;
}

}  // namespace korva::fuzz
