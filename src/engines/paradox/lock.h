#pragma once

// Locks between the users of a table. The real locks are POSIX open-file-description locks on
// bytes of the .DB file far past its data (the system drops them when a process dies):
//   kOpenByte  - shared lock while a table is open shared, exclusive lock while open exclusive;
//   kWriteByte - exclusive while a change is being written, shared while a shared user reads;
//   kLckByte   - exclusive while the .LCK file is rewritten.
// Beside them the directory holds T.LCK, one line per open naming the holder, for people and
// for the lock-file search. It is information only: a stale one blocks nothing and may be
// deleted; lines of processes that no longer run on this machine are dropped at each update.

#include "base/env.h"
#include "base/errore.h"

#include <string>

namespace korva::paradox {

inline constexpr std::uint64_t kOpenByte = 0x7FFFFF00;
inline constexpr std::uint64_t kWriteByte = kOpenByte + 1;
inline constexpr std::uint64_t kLckByte = kOpenByte + 2;

// The table is in use by another user in a way that excludes the use asked for.
class TableBusy : public Error {
public:
    using Error::Error;
};

class TableLock {
public:
    // Takes the open lock; TableBusy naming the table when someone else's use conflicts.
    TableLock(Env& env, File& db, std::string lckPath, std::string tableFile, bool exclusive,
              const std::string& display);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    bool exclusive() const { return exclusive_; }

private:
    void updateLckFile(bool add);

    Env& env_;
    File& db_;
    std::string lckPath_;
    std::string line_;
    bool exclusive_;
};

// The holder line this process writes for a table.
std::string lckLine(const std::string& tableFile, bool exclusive);

}  // namespace korva::paradox
