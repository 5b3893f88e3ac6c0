#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Firebird {
class IService;
}

namespace korva::ib {

namespace detail {
class Blocco;
}

// A backup or restore run by a service manager. Completion and errors are read from the
// service's own output: run() returns only when the service reports that the job has
// ended, and a job that failed is an ib::Error with the service's message, so a restore is
// never started from a backup that did not complete.
//
// With a server name, or a database named in server form ("host:path"), that server's service
// manager does the work, and the database and backup file names are paths on the server;
// otherwise the in-process service manager does it.
class Service {
public:
    virtual ~Service() = default;

    // "user_name=..." and "password=..." lines, as the connection's parameters.
    std::vector<std::string> params;
    std::string serverName;
    std::string databaseName;
    std::string backupFile;
    // The job reports every step (a line each).
    bool verbose = false;

    // Called with every line of the job's output.
    std::function<void(const std::string& riga)> onLine;
    // A backup with this set sends the backup itself here, in pieces, instead of writing a
    // file (backupFile is then ignored): the backup of a server's database reaches this
    // machine through the service. A failure it throws ends the job.
    std::function<void(const char* dati, std::size_t n)> onDati;
    // Called between reads of the output, at least once a second while the job runs, so
    // that a caller can process its pending events.
    std::function<void()> onAttesa;

    // Attaches to the service manager, starts the job, reads its output to the end, detaches.
    // Returns the output lines.
    virtual std::vector<std::string> run();

protected:
    std::vector<std::string> esegui(const std::string& nomeDatabase);
    // The action and its items of the service's start block.
    virtual void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const = 0;
    // The Italian text before the service's message when the job fails.
    virtual const char* contesto() const = 0;

private:
    void leggiUscita(Firebird::IService* svc, const std::string& nomeDatabase,
                     std::vector<std::string>& uscita);
    void leggiDati(Firebird::IService* svc);
};

// Backs the database up into backupFile (overwritten when it exists), or to onDati.
class BackupService : public Service {
public:
    // The tables whose rows are left out (their description is kept): names as the catalogue
    // has them, plain identifiers.
    std::vector<std::string> senzaDati;

protected:
    void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const override;
    const char* contesto() const override { return "Backup dell'archivio non riuscito: "; }
};

// Restores backupFile into the database, replacing it when `replace` is set.
//
// A restore that replaces a database removes it before it has read the backup, so a backup
// file that turns out to be damaged, or a disk that fills up, would leave no database at all.
// For a database opened in-process the restore therefore goes to a sibling file first, and
// only a complete restore is renamed over the database, which must then not be in use; the
// old database stays as it was when anything fails. A database in server form is replaced by
// the server itself.
class RestoreService : public Service {
public:
    bool replace = true;

    std::vector<std::string> run() override;

protected:
    void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const override;
    const char* contesto() const override { return "Ripristino dell'archivio non riuscito: "; }

private:
    bool soloCreazione_ = false;
};

// Takes the database off line for everybody (a full shutdown): refused, after waiting
// `secondi` for them to leave, while other connections are open. A restore may still replace
// it; nothing else can open it.
class SpegnimentoService : public Service {
public:
    int secondi = 0;

protected:
    void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const override;
    const char* contesto() const override { return "Impossibile mettere l'archivio fuori linea: "; }
};

// Puts a database taken off line back on line.
class RiattivazioneService : public Service {
protected:
    void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const override;
    const char* contesto() const override { return "Impossibile rimettere in linea l'archivio: "; }
};

// The header page of a database as the statistics service reads it, also off line.
class IntestazioneService : public Service {
public:
    // "Next transaction" of the header: the number the next transaction will get.
    std::int64_t prossimaTransazione();

protected:
    void avvio(detail::Blocco& spb, const std::string& nomeDatabase) const override;
    const char* contesto() const override { return "Impossibile leggere l'intestazione dell'archivio: "; }
};

// Refuses, with an Error naming the database and ending with `nonEseguito` ("ripristino non
// eseguito"), while anybody else has the database open: another process holding its file (the
// attach fails) or other connections, in the monitoring tables.
void richiediArchivioLibero(const std::string& nome, const std::vector<std::string>& params,
                            const std::string& nonEseguito);

}  // namespace korva::ib
