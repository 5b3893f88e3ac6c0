#pragma once

// Firebird's isql-fb run on a scratch database of its own, embedded (no server): scripts in,
// rows of integers out.

#include <string>
#include <vector>

namespace korva::collazioni {

class Isql {
public:
    // A new empty database in a new temporary folder; an exception when isql-fb fails.
    Isql();
    ~Isql();
    Isql(const Isql&) = delete;
    Isql& operator=(const Isql&) = delete;

    // Whether isql-fb can be run on this machine.
    static bool disponibile();

    // Runs the script (statements after the connection); the rows it prints, each a list of
    // integers. An exception with isql-fb's message when a statement fails.
    std::vector<std::vector<long>> esegui(const std::string& script);

private:
    std::string cartella_;
    std::string database_;
};

}  // namespace korva::collazioni
