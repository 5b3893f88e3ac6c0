#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korva::ib {

class Database;
class Transaction;

// The type of a table column as the catalogue declares it.
enum class TipoCampo {
    Varchar,
    Char,
    Smallint,
    Integer,
    Bigint,
    Numeric,
    Decimal,
    Float,
    Double,
    Date,
    Time,
    Timestamp,
    Memo,  // BLOB SUB_TYPE TEXT
    Blob,  // every other BLOB
    Boolean,
    Array,
    Altro,
};

// The SQL name of a column type ("VARCHAR", "BLOB SUB_TYPE TEXT", ...).
const char* nomeTipo(TipoCampo tipo);

struct FieldDef {
    std::string name;
    TipoCampo type = TipoCampo::Altro;
    // Characters of a text column, precision of NUMERIC/DECIMAL, segment length of a BLOB;
    // 0 for the other types.
    int size = 0;
    // Digits after the point of NUMERIC/DECIMAL.
    int scale = 0;
    // Declared NOT NULL, on the column or on its domain.
    bool required = false;
    // COMPUTED BY: read only.
    bool computed = false;
};

struct IndexDef {
    std::string name;
    // The columns in key order, joined by ";"; empty for an expression index.
    std::string fields;
    // The index of the table's PRIMARY KEY constraint.
    bool primary = false;
    bool unique = false;
    bool descending = false;
    // Every column compares text without regard to case (its collation says so).
    bool caseInsensitive = false;
    // The expression of an index COMPUTED BY, else empty.
    std::string expression;

    int fieldCount() const;
};

// The names of the user tables (no system tables, no views), trailing blanks removed,
// sorted by name.
std::vector<std::string> nomiTabelleUtente(Database& db, Transaction* t = nullptr);

// Whether a table or view of exactly this name is in the catalogue.
bool relazioneEsiste(Database& db, std::string_view nome, Transaction* t = nullptr);

// The columns of a table in their order; empty when there is no such table.
std::vector<FieldDef> leggiCampi(Database& db, std::string_view tabella, Transaction* t = nullptr);

// The indexes of a table, by name.
std::vector<IndexDef> leggiIndici(Database& db, std::string_view tabella, Transaction* t = nullptr);

}  // namespace korva::ib
