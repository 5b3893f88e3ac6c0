#pragma once

// New files of a table written under temporary names beside its own, then put in place of the
// old ones in one switch that a stopped process leaves done or undone: the renames are listed
// in T.JSW first, and the next user that holds the table exclusively completes them or removes
// the new files. The journal is locked by its writer for as long as it lies there.

#include "base/env.h"

#include <functional>
#include <memory>
#include <optional>
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
    // same step. TableBusy, and nothing switched, when another switch of the table is under
    // way or left pending. `beforeSwitch` runs once no other switch of the table can begin,
    // before anything is switched: what it throws stops the switch.
    void commit(const std::vector<std::string>& removals = {}, const std::function<void()>& beforeSwitch = {});

private:
    void discard() noexcept;

    Env& env_;
    std::string dir_, base_;
    std::vector<std::pair<std::string, std::string>> files_;  // temporary name, final name
    std::vector<std::unique_ptr<File>> open_;
    bool journaled_ = false;
    bool done_ = false;
};

// "<final>.tmp-<pid>-<n>": the name a new file is written under beside the table.
std::string switchTempName(const std::string& final);

// Whether a switch journal of the table `base` lies in `dir`.
bool switchPending(Env& env, const std::string& dir, const std::string& base);

// The process whose temporary file of the table `base` this is: "<base>.<ext>.tmp-<pid>-<n>"
// (a new file of a switch) or "<base>.tmp-<pid>-<n>[.<ext>]" (a family built beside it).
// Nothing for any other name, however like it.
std::optional<long> tempOwner(const std::string& name, const std::string& base);

// Removes the temporary files of the table `base` whose process no longer runs on this machine
// (or is this one, when even removing them failed): new files of a switch that never began.
// Only while the table is held, so that no other machine's process is building them.
void removeOrphanTemps(Env& env, const std::string& dir, const std::string& base);

}  // namespace korva::paradox
