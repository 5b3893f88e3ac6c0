#pragma once

// The files of a table being built beside the one it will replace ("<base>.tmp-<pid>-<n>"
// plus the table's extensions): removed again unless a switch took them. A process that
// stops leaves them to the next use of the table, which removes the files of dead processes.

#include "base/env.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korva::paradox {

class NewFamily {
public:
    // `base` the base name of the table the family will replace.
    NewFamily(Env& env, std::string dir, const std::string& base);
    ~NewFamily();
    NewFamily(const NewFamily&) = delete;
    NewFamily& operator=(const NewFamily&) = delete;

    const std::string& base() const { return base_; }
    const std::vector<std::string>& files() const { return files_; }
    // Writes a file of the family (`extension` with its dot) and flushes it; returns its name.
    std::string write(const std::string& extension, const std::vector<std::uint8_t>& data);
    // Switches the family's files in (renames from a family name to a table name, the data
    // file last), the files named in `removals` going in the same step; once the switch's
    // journal is written the files belong to it.
    void switchIn(const std::vector<std::pair<std::string, std::string>>& renames,
                  const std::vector<std::string>& removals = {});
    void keep() { kept_ = true; }

private:
    void remove(const std::string& name);

    Env& env_;
    std::string dir_;
    std::string table_;
    std::string base_;
    std::vector<std::string> files_;
    bool kept_ = false;
};

std::string extensionOf(const std::string& name);

}  // namespace korva::paradox
