#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Firebird {
class IAttachment;
}

namespace korva::ib {

class Transaction;

namespace detail {
// An object that holds handles of a connection (statements, cursors, blobs). It is told
// when a transaction ends (its cursors in that transaction are gone) and when the
// connection closes (every handle is gone).
class Dipendente {
public:
    virtual void transazioneTerminata(Transaction& t) = 0;
    virtual void connessioneChiusa() = 0;
    // The database object itself is going away: forget it.
    virtual void databaseDistrutto() = 0;

protected:
    ~Dipendente() = default;
};
}  // namespace detail

// What the layer sends to the server.
enum class Invio {
    Esecuzione,  // a statement without result rows (Query::execSql, Table::post)
    Apertura,    // a statement whose rows are read (Query::open, Table::open, catalogue reads)
    Creazione,   // CREATE DATABASE
    Commit,      // the end of a transaction: text "COMMIT"
    Rollback,    // text "ROLLBACK"
};

// Called with everything the layer sends, in order, before sending it: statement texts as
// sent (lines joined by "\n"), each before it is prepared, and the ends of transactions.
// Tests record it; it can trace.
using OsservatoreIstruzioni = std::function<void(const std::string& testo, Invio tipo)>;

// Whether the client library sends this database name to a server: a host before the first
// ":" ("server:/dati/a.gdb", "127.0.0.1/3050:/dati/a.gdb", "SERVER:c:\dati\a.gdb"). Other
// names are files opened in-process by the embedded engine.
bool formaServer(std::string_view nome);

// A name in server form split into the host ("127.0.0.1/3050") and the path on the server.
std::pair<std::string, std::string> dividiFormaServer(std::string_view nome);

// One connection to a Firebird database.
//
// A name without a host opens the file in-process (no server needed); "\" in it is read as a
// separator and the file is matched without regard to case, as every path of the program.
// The connection character set is always WIN1252; text reaches the program as UTF-8.
//
// Nothing is committed implicitly: disconnecting (also by setting another name, or by the
// destructor) rolls back a transaction that is still active. A command commits its own work;
// see TransactionScope.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Connection parameters, one "name=value" a line: user_name, password, sql_role_name and
    // lc_ctype (WIN1252 only). For createDatabase: lines of the CREATE DATABASE statement
    // (USER "...", PASSWORD "...", PAGE_SIZE 4096).
    std::vector<std::string> params;
    int sqlDialect = 3;

    const std::string& databaseName() const { return nome_; }
    // Setting a name that differs from the current one closes an open connection first.
    void setDatabaseName(const std::string& nome);

    Transaction* defaultTransaction() const { return predefinita_; }
    void setDefaultTransaction(Transaction* t);

    bool connected() const { return att_ != nullptr; }
    // Connects with the parameters; nothing happens when already connected. A refusal is an
    // ib::Error with the server's message.
    void connect();
    // Rolls back what is still active, releases every statement and closes the connection.
    // Never fails: a connection that cannot be closed cleanly is dropped.
    void disconnect();

    // Drops the connected database: its file is deleted and the connection closed. An Error
    // (the connection then stays) when other connections have it open.
    void dropDatabase();

    // Sends "CREATE DATABASE '" + name + "' " followed by the parameter lines, each ended by
    // CR LF, in dialect 3. The new database is left connected.
    void createDatabase();

    void setOsservatore(OsservatoreIstruzioni o) { osservatore_ = std::move(o); }

    // For the layer's own types.
    Firebird::IAttachment* attachment();
    // `t`, or the default transaction when `t` is null; an Error when there is none.
    Transaction& transazione(Transaction* t);
    void notificaIstruzione(const std::string& testo, Invio tipo);
    void aggiungi(detail::Dipendente* d);
    void togli(detail::Dipendente* d);
    void aggiungi(Transaction* t);
    void togli(Transaction* t);
    void transazioneTerminata(Transaction& t);

private:
    void apri(const std::string& utente, const std::string& password, const std::string& ruolo);

    std::string nome_;
    Firebird::IAttachment* att_ = nullptr;
    Transaction* predefinita_ = nullptr;
    std::vector<detail::Dipendente*> dipendenti_;
    std::vector<Transaction*> transazioni_;
    OsservatoreIstruzioni osservatore_;
};

// The name as the client library is given it: server names unchanged, local ones with "\"
// as separator and matched without regard to case.
std::string nomePerIlCliente(const std::string& nome);

}  // namespace korva::ib
