#pragma once

#include "engines/interbase/catalog.h"
#include "engines/interbase/query.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::ib {

class Database;
class Transaction;

// A table of the database addressed by name, in upper case: its definitions from the
// catalogue, a walk over its rows and appending new rows.
//
// Opening reads the rows in the transaction (the database's default one when none is given),
// which starts by itself; ending the transaction or closing the connection closes the table.
// Rows are fetched one at a time from the server (the client library fetches them in batches
// over the network), so a table of any size is walked in constant memory; recordCount() is
// the number of rows fetched so far, all of them after fetchAll().
class Table {
public:
    explicit Table(Database& db, Transaction* t = nullptr);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& tableName() const { return nome_; }
    // The name in upper case; a different name closes the table and forgets the definitions.
    void setTableName(std::string_view nome);

    // A relation of this name is in the catalogue.
    bool exists();

    // An Error with the server's message when the table cannot be read (a missing table
    // included). Positioned on the first row.
    void open();
    void close();
    bool active() const;

    // Definitions from the catalogue, read at first use; update...() reads them again.
    const std::vector<FieldDef>& fieldDefs();
    const std::vector<IndexDef>& indexDefs();
    void updateFieldDefs();
    void updateIndexDefs();

    // Walking the rows.
    bool eof() const;
    void first();
    void next();
    // Fetches every remaining row; recordCount() is then the number of rows of the table.
    void fetchAll();
    std::int64_t recordCount() const { return contati_; }
    // The number of rows as the server counts them, without fetching them.
    std::int64_t contaRighe();

    // The columns of the current row, or of the new row between append() and post().
    size_t fieldCount() const;
    Field& field(size_t i);
    Field& fieldByName(std::string_view nome);

    // A new row with every column NULL; post() inserts it (in the table's transaction),
    // cancel() drops it. Computed columns cannot be set.
    void append();
    void post();
    void cancel();
    bool inserting() const { return inserendo_; }

private:
    void verificaAperta() const;
    void preparaInserimento();

    Database& db_;
    Transaction* tr_;
    std::string nome_;
    std::optional<std::vector<FieldDef>> campi_;
    std::optional<std::vector<IndexDef>> indici_;
    std::unique_ptr<Query> lettura_;
    std::unique_ptr<Query> inserimento_;
    // For each column of the row, its parameter in the insert (-1 for a computed column).
    std::vector<int> parametroDi_;
    bool aperta_ = false;
    bool inserendo_ = false;
    std::int64_t contati_ = 0;
};

}  // namespace korva::ib
