#pragma once

// Locks between the users of a table. The real locks are POSIX open-file-description locks on
// bytes of the .DB file far past its data (the system drops them when a process dies):
//   kOpenByte  - shared lock while a table is open shared, exclusive lock while open exclusive;
//   kWriteByte - exclusive while a change is being written, shared while a shared user reads;
//   kLckByte   - exclusive while the .LCK file is rewritten.
// Beside them the directory holds T.LCK, one line per open naming the holder, for people and
// for the lock-file search. It is information only: a stale one blocks nothing and may be
// deleted; lines of processes that no longer run on this machine are dropped at each update.
// A T.LCK that another program wrote is never touched: our lines then go into T.KORVAWIN.LCK.

#include "base/env.h"
#include "base/errore.h"

#include <chrono>
#include <string>
#include <vector>

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

// T.KORVAWIN.LCK beside the T.LCK of `lckPath`.
std::string ownLckPath(const std::string& lckPath);
// Removes the lock files of the table `base` that this engine wrote (T.LCK when its lines are
// ours, T.KORVAWIN.LCK); another program's stays. Failures are not reported.
void removeOwnLckFiles(Env& env, const std::string& dir, const std::string& base);

// The holder line this process writes for a table.
std::string lckLine(const std::string& tableFile, bool exclusive);

// Takes a lock, trying again until `within` has passed; false when it could not be had.
bool lockWithin(File& f, std::uint64_t offset, LockType type, std::chrono::milliseconds within);

// ---- the lock-file search ----
// A holder named by a line of T.LCK.
struct LckHolder {
    std::string program, pid, host, user, mode, table;
    // "KORVAWIN pid 12 sul computer h, utente u, esclusivo"
    std::string describe() const;
};

enum class LckState {
    InUse,    // the table is open in some program now
    Stale,    // ours, and nobody holds its table: left by a program that ended
    Foreign,  // not written by this engine: nothing can be told of it
};

struct LckStatus {
    LckState state = LckState::Foreign;
    // The holders the file names; for a file in use, those that may be holding it.
    std::vector<LckHolder> holders;
    // Why a file is in use, in Italian: "in uso da ...".
    std::string describe() const;
};

// What a lock file beside a table is. Ours names its holders line by line; whether one still
// holds the table is told by the table's open lock, which dies with its process. A file
// whose table is gone is stale.
LckStatus examineLckFile(Env& env, const std::string& path);

// Removes a lock file that is stale or foreign. One of ours whose table is in use stays: an
// Error saying by whom ("Il file è in uso da ..."). While the removal happens nobody can open the table, so a holder that
// arrives meanwhile writes the file again afterwards.
void removeLckFile(Env& env, const std::string& path);

}  // namespace korva::paradox
