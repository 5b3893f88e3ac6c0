#pragma once

// An Env whose files live in memory: the fuzz targets open thousands of tables a second
// without touching the disk, and the integrity verifier and the repair work on a damaged
// family there. One user at a time: every lock is granted.

#include "base/env.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korva {

class MemEnv : public Env {
public:
    struct Node {
        std::vector<std::uint8_t> data;
        std::uint64_t inode = 0;
    };

    MemEnv();
    // Puts a file with these bytes at the path (its directory must exist).
    void put(const std::string& path, std::string_view bytes);

    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    bool exists(const std::string& path) override;
    std::optional<FileIdentity> identity(const std::string& path) override;
    std::vector<std::string> list(const std::string& dir) override;
    void createDir(const std::string& path) override;
    void syncDir(const std::string&) override {}

private:
    std::shared_ptr<Node> make();
    std::map<std::string, std::shared_ptr<Node>> files_;
    std::set<std::string> dirs_;
    std::uint64_t nextInode_ = 1;
};

}  // namespace korva
