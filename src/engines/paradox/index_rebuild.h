#pragma once

// Rebuilding every index of a table, for the tables that need it most: those whose index files
// are damaged, missing or out of date. Only the data file is read; the table is held
// exclusively from the start; the new index files take the place of all the old ones in one
// switch that a stopped process leaves done or undone.

#include "engines/paradox/format.h"
#include "engines/paradox/table.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korva::paradox {

class IndexRebuild {
public:
    using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

    // Holds the table `name` of the directory `dir` exclusively and reads its data file, not
    // its index files. An Error when the table is missing or its data file cannot be read;
    // TableBusy when another user has it open.
    IndexRebuild(Session& session, const std::string& dir, const std::string& name);
    ~IndexRebuild();
    IndexRebuild(const IndexRebuild&) = delete;
    IndexRebuild& operator=(const IndexRebuild&) = delete;

    const std::string& displayName() const { return display_; }

    // Builds the indexes (a keyed table needs its primary index among them, formed by its key
    // fields; secondary indexes need a key) beside the table, then puts them in place of every
    // index file of the table (.PX .Xnn .Ynn .XGn .YGn of its name, without regard to case)
    // in one switch. An Error naming the table and the cause (for a duplicate key, its
    // value) leaves the old files as they were. The table is released afterwards.
    void run(const std::vector<IndexDef>& indexes, const Progress& progress = {});

private:
    Session& session_;
    std::string dir_;
    std::string display_;
    std::unique_ptr<TableFile> file_;
};

}  // namespace korva::paradox
