#pragma once

// New files of a table written under temporary names beside its own, then put in place of the
// old ones in one switch that a stopped process leaves done or undone: the renames are listed
// in T.JSW first, and the next operation on the table completes them or removes the new files.

#include "base/env.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korva::paradox {

class FileSwitch {
public:
    // `dir` without the final separator; `base` the table's file name without extension.
    FileSwitch(Env& env, std::string dir, std::string base);
    // New files never switched in are removed.
    ~FileSwitch();
    FileSwitch(const FileSwitch&) = delete;
    FileSwitch& operator=(const FileSwitch&) = delete;

    // A new, empty file that will take the name `final`, for the caller to write.
    File& add(const std::string& final);
    void add(const std::string& final, const std::vector<std::uint8_t>& data);
    // Flushes the new files and switches them in; the files named in `removals` go in the
    // same step.
    void commit(const std::vector<std::string>& removals = {});

private:
    void discard() noexcept;

    Env& env_;
    std::string dir_, base_;
    std::vector<std::pair<std::string, std::string>> files_;  // temporary name, final name
    std::vector<std::unique_ptr<File>> open_;
    bool done_ = false;
};

}  // namespace korva::paradox
