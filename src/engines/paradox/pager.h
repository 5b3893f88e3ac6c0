#pragma once

// Block access to the files of a table, and the rollback journal that keeps them consistent:
// before a block that existed is overwritten, its old content is in the journal on disk; the
// journal is removed once every new block is written. A journal found at the next access is
// rolled back, so a change is either wholly there or not at all.

#include "base/env.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace korva::paradox {

std::uint32_t crc32(const void* data, std::size_t n, std::uint32_t crc = 0);

// A file seen as a header (page 0) followed by equal pages numbered from 1.
class PagedFile {
public:
    PagedFile(std::unique_ptr<File> file, std::string name, int headerSize, int pageSize);

    File& file() { return *file_; }
    const std::string& name() const { return name_; }  // file name (no directory)
    int headerSize() const { return headerSize_; }
    int pageSize() const { return pageSize_; }
    std::uint64_t offsetOf(std::uint32_t page) const
    {
        return page == 0 ? 0 : headerSize_ + static_cast<std::uint64_t>(page - 1) * pageSize_;
    }
    std::uint32_t sizeOf(std::uint32_t page) const
    {
        return page == 0 ? static_cast<std::uint32_t>(headerSize_) : static_cast<std::uint32_t>(pageSize_);
    }
    // Whole or partial pages present in the file.
    std::uint32_t pagesOnDisk();

    // The page's bytes (a short last page reads zero-padded); an Error past the end.
    const std::uint8_t* read(std::uint32_t page);
    // The page's bytes for changing; a page past the end starts zeroed.
    std::uint8_t* write(std::uint32_t page);
    // After the change the file holds exactly this many pages (header included as page 0).
    void truncatePages(std::uint32_t pages);
    void setGeometry(int headerSize, int pageSize)
    {
        headerSize_ = headerSize;
        pageSize_ = pageSize;
        dropCache();
    }
    // Forgets every cached page (another process may have changed the file).
    void dropCache();
    bool dirty() const;

private:
    friend class Pager;
    struct Page {
        std::vector<std::uint8_t> data;
        bool dirty = false;
    };
    Page& load(std::uint32_t page);

    std::unique_ptr<File> file_;
    std::string name_;
    int headerSize_;
    int pageSize_;
    std::unordered_map<std::uint32_t, Page> pages_;
    std::uint64_t sizeCache_ = UINT64_MAX;
    std::size_t dirtyCount_ = 0;  // pages changed and not yet written
    // Transaction state.
    std::uint64_t originalSize_ = 0;
    std::uint64_t targetSize_ = UINT64_MAX;  // truncation requested
    std::map<std::uint64_t, std::vector<std::uint8_t>> originals_;  // offset -> old bytes
    std::map<std::uint64_t, bool> journaled_;  // offsets whose originals are in the journal
};

// The changes of one table, across its files, as one atomic step.
class Pager {
public:
    Pager(Env& env, std::string journalPath);
    ~Pager();
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    void addFile(PagedFile* f);
    void removeFile(PagedFile* f);
    void setDurable(bool d) { durable_ = d; }

    void begin();
    bool active() const { return active_; }
    // Writes every changed page; on failure rolls back and rethrows.
    void commit();
    // Forgets the changes; pages already written are restored from their originals.
    void rollback();
    // Writes changed pages early when too many are held (long batches).
    void spillIfNeeded();
    // A failed rollback leaves the files to the journal: nothing more may be written.
    bool broken() const { return broken_; }

    // Rolls back a journal left by a process that stopped half-way. True when it did.
    static bool recover(Env& env, const std::string& journalPath, const std::string& dir);
    // Whether a journal holds changes to undo.
    static bool hot(Env& env, const std::string& journalPath);

private:
    void writeJournal();
    void writePages(bool markClean);
    void applyTruncation();
    void restore();

    Env& env_;
    std::string journalPath_;
    std::vector<PagedFile*> files_;
    std::unique_ptr<File> journal_;
    std::uint64_t journalEnd_ = 0;
    bool active_ = false;
    bool spilled_ = false;
    bool durable_ = true;
    bool broken_ = false;
};

}  // namespace korva::paradox
