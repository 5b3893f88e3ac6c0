#pragma once

// Taking a table for use: its data file opened and its open lock taken on the file the path
// names at that moment, a switch of files that a stopped process left pending settled first.
// Only exclusive use settles it: a shared user takes the table exclusively for that moment,
// and while others have it open it waits a little, then is turned away. A switch under way in
// another process is never touched.

#include "base/env.h"
#include "engines/paradox/lock.h"

#include <memory>
#include <string>

namespace korva::paradox {

struct HeldTable {
    std::unique_ptr<File> file;  // the data file; opened read-only when it cannot be written
    std::unique_ptr<TableLock> lock;
    bool readOnly = false;
};

// `dbName` the data file's name in `dir` as on disk. TableBusy naming `display` when the use
// asked for conflicts with another user's, or a pending switch cannot be settled now.
HeldTable holdTable(Env& env, const std::string& dir, const std::string& dbName, bool exclusive,
                    const std::string& display);

}  // namespace korva::paradox
