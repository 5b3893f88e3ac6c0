#pragma once

// The Paradox table as the system's commands use it: a table object set to a directory and a
// table name that creates, deletes, renames and empties the table, opens it shared or
// exclusive, and then works as a cursor over its records (navigation, fields, editing, current
// index, key search, ranges, bookmarks).

#include "base/env.h"
#include "engines/paradox/format.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox {

class TableFile;
class Table;
struct Pos;

// The engine's session: the Env every table goes through.
class Session {
public:
    explicit Session(Env& env = Env::standard());
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    static Session& standard();
    Env& env() { return env_; }
    // Releases every handle kept on closed tables, so that their files can be deleted,
    // renamed or opened exclusively. Closing a table releases all of its handles already.
    void dropIdleConnections();
    // Writes are flushed to the disk at every change (default); off for throw-away work.
    void setDurable(bool d) { durable_ = d; }
    bool durable() const { return durable_; }

private:
    Env& env_;
    bool durable_ = true;
};

enum class DataSetState { Inactive, Browse, Edit, Insert, SetKey };

// A field of the current record (or of the key buffer in key mode).
class Field {
public:
    Field(Table& t, int index) : t_(&t), i_(index) {}
    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    FieldType type() const { return def().type; }
    int size() const { return def().size; }
    bool required() const { return def().required; }
    int index() const { return i_; }

    bool isNull() const;
    // Text as the inspection tools write it: alpha and memo as text, numbers as the shortest
    // text that reads back the same, dates YYYY-MM-DD, times HH:MM:SS[.mmm], logical
    // true/false, other blobs and bytes in lowercase hex; blank as "".
    std::string asString() const;
    std::int64_t asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    Date asDate() const;
    std::int64_t asTime() const;     // milliseconds since midnight
    double asTimestamp() const;      // milliseconds since 0001-01-01 00:00 minus one day
    std::string asBytes() const;     // blob, bytes (Y) or the raw field

    void setString(std::string_view text);  // the same formats; "" = blank
    void setInteger(std::int64_t v);
    void setFloat(double v);
    void setBoolean(bool v);
    void setDate(const Date& d);
    void setTime(std::int64_t ms);
    void setTimestamp(double ms);
    void setBytes(std::string_view bytes);
    void clear();

private:
    Table* t_;
    int i_;
};

// What packing did: the bytes of the table's files before and after, the records moved.
struct PackResult {
    std::uint64_t sizeBefore = 0;
    std::uint64_t sizeAfter = 0;
    std::uint32_t records = 0;
};
using PackProgress = std::function<void(std::uint32_t done, std::uint32_t total)>;

struct Bookmark {
    std::string record;        // the record's bytes when taken
    std::uint32_t ordinal = 0; // its place in the table's order
    bool valid = false;
};

class Table {
public:
    explicit Table(Session& session = Session::standard());
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // ---- address ----
    void setDatabaseName(std::string dir);   // a directory ("\" read as separator)
    const std::string& databaseName() const { return dir_; }
    // "KORVA.DB"; ".DB" added when absent. A name with a folder part ("/" or "\\") is an
    // Error: the folder is the database name.
    void setTableName(std::string name);
    const std::string& tableName() const { return name_; }
    void setExclusive(bool e);
    bool exclusive() const { return exclusive_; }
    // The table's path for messages.
    std::string displayName() const;
    // The .DB file as found on disk (without regard to case); empty when absent.
    std::optional<std::string> resolvedPath() const;
    bool exists() const;

    // ---- definitions: set before createTable, read back after open ----
    std::vector<FieldDef> fieldDefs;
    std::vector<IndexDef> indexDefs;
    // The language driver a new table gets, as headers name it; empty: DBWINUS0.
    std::string sortOrder;
    void updateFieldDefs();
    void updateIndexDefs();
    // The index with this name, without regard to case ("" = the primary index).
    std::optional<IndexDef> findIndex(std::string_view name) const;

    // ---- table operations (on a closed table object) ----
    void createTable();
    // The same for a table that must not exist yet: an Error, and nothing replaced, when one of
    // that name is there or appears meanwhile.
    void createNewTable();
    void deleteTable();
    // Deletes the table only when it holds no record (an Error saying how many it holds, or
    // why they cannot be counted, and nothing deleted otherwise). Without a data file, what
    // is left of the table's family goes: a pending switch settled, its companion files.
    void deleteEmptyTable();
    void emptyTable();
    void renameTable(const std::string& newName);
    PackResult packTable(const PackProgress& progress = {});
    // Writes the table again with the layout of fieldDefs and indexDefs, keeping its records
    // (see regenerateTable below); gives the number of records.
    std::uint32_t regenerateTable(const PackProgress& progress = {});

    // ---- opening ----
    void open();
    void close();
    bool active() const { return file_ != nullptr; }
    DataSetState state() const { return state_; }
    std::uint32_t recordCount();

    // ---- navigation ----
    void first();
    void last();
    void next();
    void prior();
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool isEmpty();

    // ---- fields ----
    int fieldCount() const;
    Field field(int index);
    Field field(std::string_view name);
    std::optional<int> fieldIndex(std::string_view name) const;

    // ---- editing ----
    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void deleteRecord();

    // ---- current index and keys ----
    void setIndexName(const std::string& name);
    const std::string& indexName() const { return indexName_; }
    void setKey();
    void editKey();
    bool gotoKey();
    void gotoNearest();
    bool findKey(const std::vector<std::string>& values);
    void findNearest(const std::vector<std::string>& values);
    // Records whose leading fields of the current index lie between the two value lists.
    void setRange(const std::vector<std::string>& start, const std::vector<std::string>& end);
    void cancelRange();

    // ---- bookmarks ----
    Bookmark getBookmark();
    void gotoBookmark(const Bookmark& b);
    void freeBookmark(Bookmark& b) { b = Bookmark{}; }

    // ---- views bound to the table ----
    void setOnChange(std::function<void()> f) { onChange_ = std::move(f); }
    void disableControls() { ++disabled_; }
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // Adds an index to a table opened exclusively, built over its records: a secondary index,
    // or the primary index of a keyed table that lost its .PX.
    void addIndex(const std::string& name, const std::string& fields, unsigned options);
    // Appends every record of the source (open) to this table, fields by position, values
    // converted to this table's types; stops at the first key violation or value that does
    // not fit, naming the record. The records appended before stay.
    void batchAppend(Table& source);

    // ---- groups of changes ----
    // Posts between these form one journaled step (faster; undone together on failure).
    void beginBatch();
    void endBatch();
    // Undoes every change since beginBatch (a record being edited is dropped first).
    void cancelBatch();

    // Structural check of the open table's files (empty when sound).
    std::vector<std::string> check();
    TableFile& file();

private:
    friend class Field;
    std::string dirFs() const;
    void requireActive() const;
    void requireClosed(const char* what) const;
    void requireBrowse(const char* what) const;
    std::uint8_t* buffer();
    const std::uint8_t* buffer() const;
    void loadCurrent();
    void setPos(bool found, int block, int rec);
    void relocate();
    void step(bool forward);
    bool findCurrent(int& block, int& rec);
    void blankBuffer();
    void notify();
    void checkKeyIndex() const;
    std::vector<std::uint8_t> keyFrom(const std::vector<std::string>& values, int& nfields);
    bool inRange(const std::uint8_t* rec) const;
    int compareKey(const std::uint8_t* a, const std::uint8_t* b, int nfields) const;
    int indexFieldCount() const;
    int indexField(int i) const;
    int assignedKeyFields() const;
    void buildOrder();
    void ensureOrder();
    const std::uint8_t* orderRec(int i) const;
    int orderBound(const std::uint8_t* key, int nfields, bool upper) const;
    void setOrderPos(int i);
    void positionAtKey(const std::uint8_t* key, int nfields, bool exact, bool& found);
    // The key built from the values, then positionAtKey; whether it was found.
    bool searchKey(const std::vector<std::string>& values, bool exact);

    Session& session_;
    std::string dir_;
    std::string name_;
    bool exclusive_ = false;
    std::unique_ptr<TableFile> file_;
    DataSetState state_ = DataSetState::Inactive;
    DataSetState keyReturn_ = DataSetState::Browse;
    std::vector<std::uint8_t> buf_;
    std::vector<std::uint8_t> orig_;
    std::vector<std::uint8_t> keyBuf_;
    std::set<int> keyAssigned_;  // fields set in key mode
    std::map<int, std::string> pendingBlobs_;
    bool hasRecord_ = false;
    int block_ = 0, rec_ = 0;
    std::uint32_t ordinal_ = 0;
    bool ordinalKnown_ = false;
    std::uint64_t gen_ = 0;
    bool bof_ = true, eof_ = true;
    std::string indexName_;
    int secIndex_ = -1;  // the current secondary index, -1 for the primary order
    std::vector<std::string> orderRecs_;  // records in its order
    std::vector<struct Pos> orderPos_;
    int opos_ = 0;
    bool orderValid_ = false;
    std::uint64_t orderGen_ = 0, orderAborts_ = 0;
    bool ranged_ = false;
    std::vector<std::uint8_t> rangeStart_, rangeEnd_;
    int rangeFields_ = 0;
    std::function<void()> onChange_;
    int disabled_ = 0;
    bool changedWhileDisabled_ = false;
};

// ---- table operations by path (what the table object's operations call) ----
// `dir` without final separator, `name` the .DB file name.
// `sortOrder`: the language driver as headers name it (see tableSortOrder); empty: DBWINUS0.
void createTable(Session& s, const std::string& dir, const std::string& name,
                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                 std::string_view sortOrder = {}, bool replace = true);
void deleteTable(Session& s, const std::string& dir, const std::string& name);
void deleteEmptyTable(Session& s, const std::string& dir, const std::string& name);
// The Error createTable would give for these definitions ("Impossibile creare la tabella
// <what>: ..."), before anything is written; nothing when it would make the table.
void checkNewTable(const std::string& what, const std::vector<FieldDef>& fields,
                   const std::vector<IndexDef>& indexes);
void emptyTable(Session& s, const std::string& dir, const std::string& name);
void renameTable(Session& s, const std::string& dir, const std::string& name,
                 const std::string& newName);
// Writes the table again without free space, held exclusively throughout: its records in full
// blocks in key order (chain order without a key), the memo values one after the other in a
// new .MB, the primary and secondary indexes built anew, its headers otherwise kept. The new
// files are built beside the old ones, checked, and switched in with one journaled switch.
PackResult packTable(Session& s, const std::string& dir, const std::string& name,
                     const PackProgress& progress = {});
// Gives the table the layout of `fields` and `indexes` keeping its records, held exclusively
// throughout: a new table is built beside the old one, every record appended to it in the
// old one's order with the n-th field going to the n-th field, converted to its type; the new
// files are checked and switched in with one journaled switch only when they hold as many
// records as the old ones. A value that does not fit, a key violation, a required field left
// blank, or any failure stops the work with an Error (naming the record, the field and the
// value when a record is at fault) and the old table stays as it was.
std::uint32_t regenerateTable(Session& s, const std::string& dir, const std::string& name,
                              const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                              const PackProgress& progress = {});
// Puts whole files in place of a table's (new ones, or replacing those of the same name),
// built beside and switched with renames; the files named in `removals` go in the same switch.
void replaceTableFiles(Env& env, const std::string& dir, const std::string& base,
                       const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
                       const std::vector<std::string>& removals = {});
// Removes `removals`, then renames files built beside a table (names holding ".tmp-") to their
// final names in the order given (the data file's last), as one journaled switch that the next
// exclusive user of the table completes when a process stopped half-way. TableBusy, and
// nothing done, when another switch of the table is under way or left pending.
void switchTableFiles(Env& env, const std::string& dir, const std::string& base,
                      const std::vector<std::pair<std::string, std::string>>& renames,
                      const std::vector<std::string>& removals = {});
// Completes a switch of files that a stopped process left half-done (or removes the new files
// of one never begun), then the temporary files of processes that no longer run. Only for a
// caller that holds the table exclusively, or a folder of its own: TableBusy when the switch
// is another process's, still under way after a short wait. True when a journal was met (the
// table's files may have changed).
bool completePendingSwitch(Env& env, const std::string& dir, const std::string& base);

}  // namespace korva::paradox
