#pragma once

// What the fuzz targets do with a table family they were given: everything a reader can.

#include "base/env.h"

#include <string>

namespace korva::fuzz {

// Opens the table dir/db of the Env shared, then exclusively, and each time walks every order
// forwards and backwards, reads every value through every accessor, searches keys, goes to
// bookmarks and runs the structural check. A refusal by the engine (an Error or a standard
// exception) ends that opening; an inconsistency between two readings of the same records
// aborts the process, as a crash would. Returns how many of the two openings got through it all.
int exercise(Env& env, const std::string& dir, const std::string& db);

}  // namespace korva::fuzz
