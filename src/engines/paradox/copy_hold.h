#pragma once

// Holding a table still while its files are copied, so that the copy is one state of it.

#include "base/env.h"

#include <chrono>
#include <memory>
#include <string>

namespace korva::paradox {

class TableLock;

// While it lives, the table whose data file is `dir`/`dbName` is open shared in this process
// (an exclusive user, or a structural change, is refused meanwhile) and its write lock is held
// shared: other users go on reading, a writer waits until the hold ends. A change a stopped
// writer left half-done is rolled back first, and a pending switch of files completed. The
// files are not read, so a table too damaged to open can be held as well.
class CopyHold {
public:
    // An Error naming the table when someone uses it exclusively, or when a change under way
    // does not end within `wait`.
    CopyHold(Env& env, const std::string& dir, const std::string& dbName,
             std::chrono::milliseconds wait = std::chrono::seconds(30));
    ~CopyHold();
    CopyHold(const CopyHold&) = delete;
    CopyHold& operator=(const CopyHold&) = delete;

private:
    std::unique_ptr<File> db_;
    std::unique_ptr<TableLock> lock_;
};

}  // namespace korva::paradox
