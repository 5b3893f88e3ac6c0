#pragma once

// What an archive holds, told without reading it whole: enough to see that nobody changed it
// between two moments, to check a restored copy, and to find the tables a killed drop broke.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korva {

namespace ib {
class Database;
class Transaction;
}

struct Impronta {
    // For every table with pages, system ones included: its rows and its newest record
    // version (the number of the transaction that wrote it), so that a row added, changed or
    // deleted shows.
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> tabelle;
    // Every generator's value: one used and given back shows too.
    std::map<std::string, std::int64_t> generatori;
    bool operator==(const Impronta&) const = default;
};

// The user tables whose pages are gone. A drop killed while it was being committed leaves its
// table so (the engine releases the pages before the commit is recorded), and so does a
// creation killed after its commit was recorded but before its pages were written: the
// catalogue has the table, but any reading of it stops the engine, and neither a drop nor a
// backup of its rows can be done.
std::vector<std::string> tabelleSenzaPagine(ib::Database& db, ib::Transaction& t);

// The archive as `t` sees it, `escluse` (tables without pages) left out.
Impronta improntaArchivio(ib::Database& db, ib::Transaction& t, const std::vector<std::string>& escluse);

// The rows of every user table, `escluse` left out.
std::map<std::string, std::int64_t> righeTabelleUtente(ib::Database& db, ib::Transaction& t,
                                                       const std::vector<std::string>& escluse);

}  // namespace korva
