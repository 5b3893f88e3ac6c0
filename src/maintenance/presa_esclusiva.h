#pragma once

// A table held exclusively, without reading it: the verification and the repair keep it so
// from the test of exclusive use to their end, so that nobody opens it in between, and a table
// too damaged to open can be held as well.

#include "base/env.h"

#include <memory>
#include <string>

namespace korva::paradox {
class TableLock;
}

namespace korva {

class PresaEsclusiva {
public:
    // The data file `db` of `dir` (its name on disk). A switch of files a stopped process left
    // is completed and a change it left half-written rolled back first. TableBusy when another
    // user has the table open; an Error when the data file cannot be opened.
    PresaEsclusiva(Env& env, const std::string& dir, const std::string& db);
    ~PresaEsclusiva();
    PresaEsclusiva(const PresaEsclusiva&) = delete;
    PresaEsclusiva& operator=(const PresaEsclusiva&) = delete;

private:
    std::unique_ptr<File> db_;
    std::unique_ptr<paradox::TableLock> lock_;
};

}  // namespace korva
