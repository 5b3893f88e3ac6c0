#pragma once

#include "base/errore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva {

// Which file a path or an open file is: equal identities are the same file on disk.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

enum class LockType { Shared, Exclusive };

// An open file. Every failure is an Error naming the file.
class File {
public:
    virtual ~File() = default;
    // Reads up to n bytes at the offset; fewer only at the end of the file.
    virtual size_t readAt(std::uint64_t offset, void* buf, size_t n) = 0;
    // Writes all n bytes at the offset.
    virtual void writeAt(std::uint64_t offset, const void* buf, size_t n) = 0;
    virtual std::uint64_t size() = 0;
    virtual void truncate(std::uint64_t size) = 0;
    // Flushes the file's data to the disk.
    virtual void sync() = 0;
    virtual const std::string& path() const = 0;
    virtual FileIdentity identity() = 0;
    // A lock on a byte range (POSIX open-file-description lock: held by this open file, so two
    // opens in one process exclude each other like two processes; released by the system when
    // the process dies). The range may lie beyond the end of the file. Without `wait`, false
    // when another holder conflicts.
    virtual bool lock(std::uint64_t offset, std::uint64_t length, LockType type, bool wait) = 0;
    virtual void unlock(std::uint64_t offset, std::uint64_t length) = 0;
};

enum class OpenMode {
    Read,            // existing file, read only
    ReadWrite,       // existing file
    CreateTruncate,  // created, or emptied when it exists
    CreateNew,       // created; an Error when it exists
};

// Every file access of the engines and of the settings goes through an Env, so that tests can
// substitute one that injects short writes, I/O errors, a full disk and crashes.
class Env {
public:
    virtual ~Env() = default;

    // The real file system.
    static Env& standard();

    virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
    // Replaces `to` atomically when it exists.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // The identity of the file a path names; empty when it does not exist.
    virtual std::optional<FileIdentity> identity(const std::string& path) = 0;
    // Names of the entries of a directory, without "." and "..".
    virtual std::vector<std::string> list(const std::string& dir) = 0;
    virtual void createDir(const std::string& path) = 0;
    // Makes the directory's entries (creations, renames) durable.
    virtual void syncDir(const std::string& dir) = 0;
};

// The whole content of a file.
std::string readWholeFile(Env& env, const std::string& path);

// The rename that puts a replacement in place was refused (for instance a directory has the
// file's name): the file is as it was.
class ReplaceRefused : public Error {
public:
    using Error::Error;
};

// Replaces a file's content so that a crash or a failure at any moment leaves either the old
// content or the new one: a sibling file is written and flushed, then renamed over it.
// Creating the sibling happens in the constructor, so a caller can tell a directory it cannot
// write in from a failure half-way. Without commit() the sibling is removed.
//
// A path that is a symbolic link (or a chain of them) is followed: the sibling is written
// beside the file the link names and renamed over that one, so the link stays and whoever
// shares the file through it sees the new content. A link to nothing gets its file made.
class AtomicFileWriter {
public:
    AtomicFileWriter(Env& env, std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void append(std::string_view data);
    // Flushes the sibling, renames it over the file (ReplaceRefused when that is refused) and
    // makes the rename durable.
    void commit();

private:
    Env& env_;
    std::string path_;
    std::string temp_;
    std::unique_ptr<File> file_;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

void writeFileAtomic(Env& env, const std::string& path, std::string_view contents);

// The directory part of a path ("." when it has none).
std::string parentDirectory(const std::string& path);

}  // namespace korva
