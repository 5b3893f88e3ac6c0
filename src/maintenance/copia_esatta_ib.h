#pragma once

// The rows of one archive table copied into another of another layout, column by column in
// their order, each value converted exactly or not at all: the server's own casts round
// (3.5 becomes 4 in an INTEGER) and are never left to decide.

#include "engines/interbase/catalog.h"

#include <cstdint>
#include <string>

namespace korva {

namespace ib {
class Database;
class Transaction;
}

// How a value of column `da` goes into column `a`.
struct Conversione {
    // The value in the new column's type, an SQL expression over the quoted column `colonna`.
    std::string espressione;
    // An SQL condition true for a value that would not arrive unchanged; empty when every
    // value does.
    std::string inesatto;
    // What is wrong with such a value, said after it.
    std::string motivo;
};

// `colonna` is the source column's name as it stands in the statement (quoted).
Conversione conversione(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& colonna);

// Copies every row of table `da` into table `a` (both existing, names as in the catalogue) in
// `t`, after checking in the same transaction that every value converts exactly. A value that
// does not is an Error naming the table, the row (its number in the table's order, and its
// key when the table has a primary key), the column and the value; a column of `da` beyond the
// columns of `a` must hold no value. Gives the number of rows copied.
std::int64_t copiaEsatta(ib::Database& db, ib::Transaction& t, const std::string& da, const std::string& a);

}  // namespace korva
