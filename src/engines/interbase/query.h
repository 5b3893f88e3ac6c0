#pragma once

#include "engines/interbase/database.h"
#include "engines/interbase/field.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Firebird {
class IStatement;
class IResultSet;
}

namespace korva::ib {

class Transaction;

// One SQL statement, held as lines of text that are sent joined by line breaks, on a
// database and a transaction (the database's default one when none is given), which starts
// by itself when the statement needs it and is never ended here.
//
//     q.close(); q.sql.clear(); q.sql.push_back("DELETE FROM " + nome); q.execSql();
//
// The statement is prepared when its text is first executed and kept, until close() or a new
// text, so a statement run many times with new parameter values is prepared once.
// Statements that end or start a transaction (COMMIT, ROLLBACK, SET TRANSACTION) are
// refused: transactions are ended through Transaction only.
class Query : private detail::Dipendente {
public:
    explicit Query(Database& db, Transaction* t = nullptr);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    std::vector<std::string> sql;
    // The lines joined by "\n": the text that is sent.
    std::string text() const;

    // Prepares the current text (execSql and open do it when needed); afterwards the
    // parameters ("?") can be set.
    void prepare();
    size_t paramCount();
    Field& param(size_t i);
    // The name a parameter goes by in error messages (a parameter has none of its own).
    void setParamName(size_t i, std::string nome);

    // Executes a statement that returns no rows. Output values of a statement that returns
    // one row (EXECUTE PROCEDURE, ... RETURNING) are then read with field().
    void execSql();
    // Rows inserted, changed or deleted by the last execSql.
    std::uint64_t rowsAffected() const { return righe_; }

    // Executes a statement that returns rows; positioned on the first row (eof() when none).
    void open();
    bool active() const { return cursore_ != nullptr; }
    bool eof() const { return eof_; }
    void next();
    // Makes the object inactive: closes the rows and releases the prepared statement with its
    // parameters, so that nothing of it stays on the server (a prepared statement keeps its
    // tables in use: they could not be dropped).
    void close();

    size_t fieldCount() const;
    Field& field(size_t i);
    // An Error naming the column when there is none of that name.
    Field& fieldByName(std::string_view nome);

    Database& database();
    Transaction& transazione();

private:
    void transazioneTerminata(Transaction& t) override;
    void connessioneChiusa() override;
    void databaseDistrutto() override;
    void libera();
    void chiudiCursore();

    Database* db_;
    Transaction* tr_;
    Firebird::IStatement* stmt_ = nullptr;
    std::string preparato_;
    unsigned tipo_ = 0;
    std::unique_ptr<detail::Record> parametri_;
    std::unique_ptr<detail::Record> riga_;
    Firebird::IResultSet* cursore_ = nullptr;
    Transaction* trCursore_ = nullptr;
    bool eof_ = true;
    std::uint64_t righe_ = 0;
};

}  // namespace korva::ib
