#pragma once

// An open Paradox table: its files, the model of its block chain and primary index, record
// reads and the changes to records, each change one journaled step.

#include "base/env.h"
#include "engines/paradox/big_buffer.h"
#include "engines/paradox/format.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korva::paradox {

class Collation;
class BlobStore;
class FileSwitch;
struct IndexLeaf;

bool isPrimaryIndex(const IndexDef& ix);

// A secondary index of the table, as its .Xnn/.XGn file describes it.
struct SecondaryIndex {
    IndexDef def;
    std::vector<int> fields;        // table fields in key order
    std::vector<bool> descending;   // per field
    std::string xFile, yFile;
};

struct FieldInfo {
    FieldDef def;
    int offset = 0;  // in the record
    int bytes = 0;   // in the record
};

// A record's place: index in the chain of data blocks, index in the block.
struct Pos {
    int block = 0;
    int rec = 0;
    bool operator==(const Pos&) const = default;
};

// Records of a table in chain order, one after another, with the data block holding each.
struct RecordSet {
    int recordSize = 0;
    BigBuffer bytes;
    std::vector<std::uint16_t> blocks;
    std::size_t size() const { return blocks.size(); }
    const std::uint8_t* at(std::size_t i) const { return bytes.data() + i * static_cast<std::size_t>(recordSize); }
};

// What an open table reads: everything (to use it), or only its data file, its index files
// being damaged, missing or about to be rebuilt (exclusive use only).
enum class OpenFor { Use, DataOnly };

// The companion files of a table, found in its directory without regard to case unless
// another table's data file is spelled like it in other case (then only its own spelling).
struct TableFiles {
    std::string dir;       // without the final separator
    std::string db;        // file name as on disk
    std::string base;      // file name without extension, as on disk
    std::optional<std::string> px, mb, val;
    std::vector<std::string> secondary;  // .Xnn .Ynn .XGn .YGn
    std::vector<std::string> all() const;
};
// Finds the files of the table whose .DB file is `dbName` in `dir`.
TableFiles findTableFiles(Env& env, const std::string& dir, const std::string& dbName);
bool isCompanionExtension(const std::string& ext);

class TableFile {
public:
    // Opens the table whose .DB file is `path` (exact name on disk). `display` names the
    // table in messages.
    TableFile(Env& env, const std::string& dir, const std::string& dbName, bool exclusive,
              std::string display, OpenFor purpose = OpenFor::Use);
    ~TableFile();
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    const std::string& display() const { return display_; }
    const Header& header() const { return hdr_; }
    const std::vector<FieldInfo>& fields() const { return fields_; }
    int fieldIndex(std::string_view name) const;  // without regard to case; -1 when absent
    int recordSize() const { return hdr_.recordSize; }
    int keyFields() const { return hdr_.keyFields; }
    int keyBytes() const { return keyBytes_; }
    int codePage() const { return hdr_.effectiveCodePage(); }
    bool exclusive() const { return lock_->exclusive(); }
    std::vector<FieldDef> fieldDefs() const;
    std::vector<IndexDef> indexDefs() const;
    const std::vector<SecondaryIndex>& secondaries() const { return secondaries_; }
    const TableFiles& files() const { return files_; }

    // ---- reading (callers hold a ReadScope in shared mode) ----
    std::uint32_t recordCount() const { return hdr_.numRecords; }
    int blocks() const { return static_cast<int>(chain_.size()); }
    int countIn(int block) const { return chain_[block].count; }
    const std::uint8_t* record(Pos p);
    // Increases whenever the model was reloaded because the files changed under us.
    std::uint64_t generation() const { return generation_; }
    // The first position whose key (first `nfields` key fields) is >= key; `exact` when equal.
    Pos lowerBound(const std::uint8_t* key, int nfields, bool& exact);
    // The first position whose key is > key.
    Pos upperBound(const std::uint8_t* key, int nfields);
    // Records before a position in chain order.
    std::uint32_t ordinal(Pos p);
    Pos fromOrdinal(std::uint32_t n);
    int compareKeys(const std::uint8_t* a, const std::uint8_t* b, int nfields) const;
    // The order of the table's alpha values (nullptr: its sort order is not known, bytes
    // then stand in for reading; nothing with an alpha key is written).
    const Collation* collation() const { return collation_; }

    std::string readBlob(const std::uint8_t* rec, int field);
    // The value as the .MB holds it (a graphic with its leading 8 bytes).
    std::string readStoredBlob(const std::uint8_t* rec, int field);

    // ---- changing (between beginChange and commitChange) ----
    // A key violation as an Error, before anything is changed (`replacing`: the record the new
    // one takes the place of).
    void checkInsert(const std::uint8_t* rec, const std::uint8_t* replacing = nullptr);
    // Each returns where the record now is; an Error (and nothing changed) on a key violation.
    Pos insert(const std::uint8_t* rec);
    Pos update(Pos at, const std::uint8_t* rec);
    // Returns the position of the record after it (may be past the end).
    Pos erase(Pos at);
    // Stores a blob value into the field of `rec` (old value's space freed by freeBlob).
    void writeBlob(std::uint8_t* rec, int field, std::string_view value);
    void writeStoredBlob(std::uint8_t* rec, int field, std::string_view stored);
    void freeBlob(const std::uint8_t* rec, int field);
    std::uint32_t nextAutoInc();
    void noteAutoInc(std::uint32_t v);
    bool writable(std::string& why) const;

    void lockRead();
    void unlockRead();
    void beginChange();
    void commitChange();
    void abortChange();
    // Groups many changes into one journaled step (batch append, bulk loads).
    void beginBatch();
    void endBatch(bool commit);
    bool inBatch() const { return batch_ > 0; }
    // Counts the changes undone after a failure (a batch a failure ended).
    std::uint64_t aborts() const { return aborts_; }
    bool changed() const;
    void setDurable(bool d) { pager_.setDurable(d); }

    // Builds a new index over the records (exclusive use); the object must be reopened after.
    void addIndex(const IndexDef& ix);
    // Every index of `indexes` built over the records (opened for its data only) into new files
    // of `out`; gives their names. An Error naming the table and the cause (for a duplicate
    // key, its value) before `out` is switched in. `progress` hears the steps done of those
    // to do.
    std::vector<std::string> buildAllIndexes(const std::vector<IndexDef>& indexes, FileSwitch& out,
                                             const std::function<void(std::int64_t, std::int64_t)>& progress);
    // The records of the table with their data block numbers, in chain order.
    RecordSet allRecords();
    // The structure stamp and the change counters as the data file's header holds them now.
    Header headerNow();

    // Structural check: every inconsistency found, as text (empty when sound).
    std::vector<std::string> check();

private:
    struct ChainEntry {
        std::uint16_t block = 0;
        std::uint16_t count = 0;
        std::string firstKey;
    };
    struct PxNode {
        std::uint16_t block = 0;
        int begin = 0, end = 0;  // children: chain entries (leaves) or nodes of the level below
    };

    void load();
    void loadChain();
    void loadPx();
    void loadSecondaries();
    void refresh();
    // Waits a bounded time for the write lock a writer holds, then TableBusy: a writer that
    // stopped in the middle of a change does not stop its readers for ever.
    void waitWriteLock(LockType type);
    std::string keyOf(const std::uint8_t* rec) const { return std::string(reinterpret_cast<const char*>(rec), keyBytes_); }
    int capacity() const { return capacity_; }
    [[noreturn]] void damaged(const std::string& what) const;
    // The checks that adding and rebuilding an index share: an Error with the cause alone.
    std::vector<int> indexFields(const IndexDef& ix) const;
    void checkPrimaryDefinition(const std::vector<int>& pos) const;
    SecondaryIndex secondaryDefinition(const IndexDef& ix, const std::vector<int>& pos) const;
    std::string keyList() const;
    std::vector<IndexLeaf> primaryLeaves() const;
    // The .X file of the index written into a new file of `out` as it is built, then its .Y.
    void writeSecondary(FileSwitch& out, const SecondaryIndex& si, const RecordSet& records, const Header& db);
    // The records' keys in order and distinct, else an Error beginning with `what`.
    void checkKeyOrder(const RecordSet& records, const std::string& what) const;

    std::uint8_t* blockForWrite(int b);
    void setCount(std::uint8_t* page, int count);
    int allocBlock();
    void freeBlock(int block);
    // Makes block b follow block a in the chain (0: none, the chain's end).
    void join(int a, int b);
    void linkAfter(int chainIdx, int newBlock);
    void unlink(int chainIdx);
    Pos insertAt(Pos p, const std::uint8_t* rec);
    void mergeAround(int chainIdx);
    void touch(int chainIdx);
    void prepareCommit();
    void writePx();
    void relayoutPx();
    std::vector<std::uint8_t> serializePxNode(int level, int node);
    std::string pxNodeFirstKey(int level, int node) const;
    std::uint32_t pxNodeStat(int level, int node) const;

    Env& env_;
    std::string display_;
    TableFiles files_;
    std::unique_ptr<PagedFile> db_, px_, mb_;
    std::unique_ptr<TableLock> lock_;
    Pager pager_;
    Header hdr_;
    Header pxHdr_;
    std::vector<FieldInfo> fields_;
    std::vector<bool> required_;
    int keyBytes_ = 0;
    int capacity_ = 0;
    bool keysPlaceable_ = true;  // the collation can place the table's own keys
    const Collation* collation_ = nullptr;
    std::vector<SecondaryIndex> secondaries_;
    std::map<std::string, std::unique_ptr<PagedFile>> secFiles_;  // maintained X and Y files
    void rebuildSecondaries();
    // What the files of every maintained secondary index should hold now.
    std::vector<std::pair<const SecondaryIndex*, struct IndexImages>> secondaryImages(const Collation* coll);
    void checkSecondaries(std::vector<std::string>& out);
    std::vector<ChainEntry> chain_;
    std::vector<int> freeBlocks_;  // free list, head first
    std::vector<std::vector<PxNode>> px_levels_;
    std::set<int> pxDirty_;
    bool pxRelayout_ = false;
    bool pxMissing_ = false;
    std::vector<std::uint8_t> headerPrefix_;  // for noticing changes by others
    std::uint64_t generation_ = 0;
    int readDepth_ = 0;
    int writeDepth_ = 0;
    int batch_ = 0;
    bool readOnly_ = false;
    OpenFor purpose_ = OpenFor::Use;
    std::uint64_t aborts_ = 0;
    std::vector<std::uint32_t> prefix_;  // records before each chain entry (lazy)
    bool prefixValid_ = false;
    std::unique_ptr<BlobStore> blobs_;
};

// Holds a shared user's read lock for a moment (nothing in exclusive mode).
class ReadScope {
public:
    explicit ReadScope(TableFile& t) : t_(t) { t_.lockRead(); }
    ~ReadScope() { t_.unlockRead(); }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

private:
    TableFile& t_;
};

// One change: committed by commit(), undone when left without it.
class ChangeScope {
public:
    explicit ChangeScope(TableFile& t) : t_(t) { t_.beginChange(); }
    ~ChangeScope()
    {
        if (!done_)
            t_.abortChange();
    }
    void commit()
    {
        done_ = true;
        t_.commitChange();
    }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

private:
    TableFile& t_;
    bool done_ = false;
};

}  // namespace korva::paradox
