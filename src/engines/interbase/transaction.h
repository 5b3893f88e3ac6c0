#pragma once

#include <string>
#include <vector>

namespace Firebird {
class ITransaction;
}

namespace korva::ib {

class Database;

// How long a statement waits for a lock another connection holds before it fails.
inline constexpr int kAttesaBlocchiSecondi = 3;

// A transaction on one database. It starts by itself when a statement needs it and ends
// only when told: commit, rollback, or deactivate (which rolls back). There is no automatic
// stop and nothing is ever committed implicitly.
class Transaction {
public:
    explicit Transaction(Database* db = nullptr);
    // Rolls back when still active.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Parameters, one a line: "read", "write", "concurrency", "consistency" (table-level
    // consistency locking), "read_committed", "rec_version", "no_rec_version", "wait",
    // "nowait", "lock_timeout=N" (seconds), and table reservations "lock_read=TABLE" or
    // "lock_write=TABLE" followed by "shared" or "protected". None: write, concurrency. A
    // transaction never waits without limit on another connection's lock: unless "nowait" or
    // "lock_timeout" is given it waits kAttesaBlocchiSecondi, then fails. They apply from the
    // next start.
    std::vector<std::string> params;

    Database* defaultDatabase() const { return db_; }
    void setDefaultDatabase(Database* db);

    bool inTransaction() const { return tr_ != nullptr; }
    // An Error when already active or when the database is not connected.
    void start();
    // Commits the work; an Error when not active. Cursors of the transaction close first.
    void commit();
    // Undoes the work; an Error when not active.
    void rollback();
    // Ends the transaction without committing: rolls back when active, else nothing.
    void deactivate();

    // For the layer: the transaction's handle, started when not active.
    Firebird::ITransaction* handle();
    // For the layer: the connection was lost or closed; the handle is gone.
    void abbandona();

private:
    void termina(bool conferma);

    Database* db_ = nullptr;
    Firebird::ITransaction* tr_ = nullptr;
};

// The unit of work of one command. Build it at the command's start on the transaction the
// command uses, call commit() when the command has done everything; leaving the scope
// without commit() (the command failed, an error is on its way to the caller) rolls back
// every statement the command executed, so that no half-done change stays pending for a
// later, unrelated commit.
//
//     TransactionScope lavoro(t.IBTransaction1);
//     ... statements ...
//     lavoro.commit();
class TransactionScope {
public:
    explicit TransactionScope(Transaction& t) : t_(t) {}
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

    // Commits when the transaction is active (a command that read nothing has nothing to
    // commit). A failed commit leaves the work to the destructor's rollback.
    void commit();

private:
    Transaction& t_;
    bool concluso_ = false;
};

}  // namespace korva::ib
