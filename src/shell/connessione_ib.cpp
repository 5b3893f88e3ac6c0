// The InterBase archive connection of the settings holder.

#include "base/errore.h"
#include "base/percorsi.h"
#include "engines/interbase/error.h"
#include "shell/tabform.h"

#include <cstdlib>

namespace korva {
namespace {

std::string daAmbiente(const char* variabile, const char* predefinito)
{
    const char* v = std::getenv(variabile);
    return v && *v ? std::string(v) : std::string(predefinito);
}

}  // namespace

std::optional<std::string> nomeDatabaseIb(std::string_view percorso)
{
    if (percorso.substr(0, 2) != "\\\\")
        return std::string(percorso);
    // \\server\share\rest: server, share and rest must each be there.
    std::string_view resto = percorso.substr(2);
    const size_t fineServer = resto.find('\\');
    if (fineServer == std::string_view::npos || fineServer == 0)
        return std::nullopt;
    const std::string_view server = resto.substr(0, fineServer);
    resto = resto.substr(fineServer + 1);
    const size_t fineCondivisione = resto.find('\\');
    if (fineCondivisione == std::string_view::npos || fineCondivisione == 0 ||
        fineCondivisione + 1 >= resto.size())
        return std::nullopt;
    return std::string(server) + ":" + std::string(resto.substr(0, fineCondivisione)) + ":" +
           std::string(resto.substr(fineCondivisione));
}

std::vector<std::string> parametriConnessioneIb()
{
    return {"user_name=" + daAmbiente("ISC_USER", "sysdba"),
            "password=" + daAmbiente("ISC_PASSWORD", "tesslorin")};
}

std::vector<std::string> parametriCreazioneIb()
{
    const std::string utente = daAmbiente("ISC_USER", "SYSDBA");
    const std::string password = daAmbiente("ISC_PASSWORD", "tesslorin");
    // The values go between double quotes in the statement.
    for (const std::string* v : {&utente, &password})
        if (v->find_first_of("\"\r\n") != std::string::npos)
            throw Error("Il nome utente e la password per creare l'archivio (ISC_USER, "
                        "ISC_PASSWORD) non possono contenere virgolette o a capo");
    return {"USER \"" + utente + "\"", "PASSWORD \"" + password + "\"", "PAGE_SIZE 4096"};
}

void TTabForm::SettaDataBaseIb(const std::string& percorso, ib::Database& database)
{
    auto nome = nomeDatabaseIb(percorso);
    if (!nome)
        throw Error("Percorso di rete dell'archivio non valido: \"" + percorso +
                    "\" (servono server, condivisione e file: \\\\server\\condivisione\\file)");
    database.setDatabaseName(*nome);
}

bool TTabForm::TestDatabaseIB(ib::Database& database)
{
    if (ib::formaServer(database.databaseName())) {
        // The local file system cannot see a file on a server: ask the server itself, and
        // offer the creation only when it says that the file does not exist.
        try {
            database.connect();
            return true;
        } catch (const ib::Error& e) {
            if (!e.fileInesistente())
                throw;
        }
    } else if (esisteFile(Archivio)) {
        return true;
    }
    if (interazione_.domanda(kDomandaCreaArchivio) != Risposta::Si)
        return false;
    database.params = parametriCreazioneIb();
    database.sqlDialect = 3;
    database.createDatabase();
    // The creation's lines are no connection parameters: left in place, the next connection
    // to this archive (a reconnection, a backup) would be refused.
    database.params = parametriConnessioneIb();
    return true;
}

void TTabForm::ConnettiDatabaseIB()
{
    std::string nome = IBDatabase1.databaseName();
    if (const size_t duepunti = nome.find(':'); duepunti != std::string::npos)
        nome.erase(duepunti, 1);
    // A connection to the archive already open stays: also one in server form, whose name
    // never equals the path, since closing it would undo the work pending in the command
    // that calls again.
    if (IBDatabase1.connected() &&
        (nome == Archivio || IBDatabase1.databaseName() == nomeDatabaseIb(Archivio)))
        return;
    if (Archivio.empty())
        throw Error("Archivio Interbase non impostato per la ditta " + NomeDitta);
    IBDatabase1.disconnect();
    IBDatabase1.params = parametriConnessioneIb();
    SettaDataBaseIb(Archivio, IBDatabase1);
    if (TestDatabaseIB(IBDatabase1) && !IBDatabase1.connected())
        IBDatabase1.connect();
}

}  // namespace korva
