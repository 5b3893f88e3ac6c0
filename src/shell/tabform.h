#pragma once

#include "base/env.h"
#include "base/interazione.h"
#include "engines/interbase/database.h"
#include "engines/interbase/transaction.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva {

// The settings holder of the current company: its name from ditta.cfg, its work paths and
// options from the shared settings file, and the connection to its InterBase archive. Never
// shown; the main window creates one at start and replaces it at each company switch.
class TTabForm {
public:
    // Reads the company and, when it was found, the work paths and options. A ditta.cfg that
    // is missing or no file (a directory) leaves the company unknown, after the message; a
    // read failure after it was opened is an Error: there is then no holder.
    TTabForm(Interazione& interazione, std::string avvioDir, std::string percorsoImpostazioni,
             Env& env = Env::standard());
    TTabForm(const TTabForm&) = delete;
    TTabForm& operator=(const TTabForm&) = delete;

    void LetturaNomeProgetto();
    void AggiornaPercorsi();
    void SettaLavoroDir();
    void ScriviLavoroDir();
    void SettaOpzioni();
    void ScriviOpzioni();
    // The settings of a company whose ditta.cfg was not read are not written: its section
    // would carry the placeholder name in the file every program shares. An Error saying so
    // when the company is not known; ScriviLavoroDir and ScriviOpzioni begin with it.
    void richiediDittaNota() const;

    // The archive connection. SettaDataBaseIb gives the database the name of the archive path
    // (a network path \\server\share\rest becomes server:share:\rest); an Error for a
    // network path without share or file. TestDatabaseIB tells whether the archive exists,
    // offering to create it when it does not (false when the user declines); an archive in
    // server form is tested by connecting to it. ConnettiDatabaseIB leaves IBDatabase1
    // connected to Archivio, unless the user declined the creation; a refusal of the server
    // is an Error with its message.
    void SettaDataBaseIb(const std::string& percorso, ib::Database& database);
    bool TestDatabaseIB(ib::Database& database);
    void ConnettiDatabaseIB();

    // Only the exact texts count.
    bool modoInterbase() const { return TipoDataBase == "INTERBASE"; }
    bool chiusuraAutomatica() const { return ObbedisciStato == "Si"; }

    const std::string& percorsoImpostazioni() const { return percorsoImpostazioni_; }

    // Fields, in declaration order. The transaction outlives the database, whose end rolls
    // back whatever is still pending in it.
    ib::Transaction IBTransaction1;
    ib::Database IBDatabase1;
    std::string NomeDitta;
    std::string TabellaCampi;
    std::string PercorsoCampi;
    std::string TabellaIndicic;
    std::string PercorsoIndicic;
    std::string TabellaKorva;
    std::string PercorsoKorva;
    std::string PercorsoReport;
    std::string ObbedisciStato;
    std::string BinDir;
    std::string LavoroDir;
    std::string TracciatiDir1;
    std::string TracciatiDir2;
    std::string BackupRiparazioniDir;
    std::string DittaDir;
    std::string AvvioDir;
    std::string Archivio;
    std::string TipoDataBase;

private:
    Interazione& interazione_;
    std::string percorsoImpostazioni_;
    Env& env_;
};

// The company name of a holder whose ditta.cfg could not be read.
inline constexpr const char* kDittaMancante = "Ditta.cfg mancante o errato";
// Default of a missing directory key; in a directory field it means "not set".
inline constexpr const char* kDirNonImpostata = "C:\\WINDOWS";

// The text of the question asked before creating a missing archive.
inline constexpr const char* kDomandaCreaArchivio =
    "Attenzione: Il Database selezionato non esiste. Crearlo?";

// The database name of an archive path: a network path "\\server\share\rest" becomes
// "server:share:\rest" (the share taken as the drive on the server), every other path is
// unchanged. Empty for a network path without server, share or file.
std::optional<std::string> nomeDatabaseIb(std::string_view percorso);

// The connection parameters: "user_name=sysdba" and "password=tesslorin", or the values of
// ISC_USER and ISC_PASSWORD when those are set.
std::vector<std::string> parametriConnessioneIb();
// The lines of the CREATE DATABASE statement: USER "SYSDBA", PASSWORD "tesslorin" (or the
// values of ISC_USER and ISC_PASSWORD) and PAGE_SIZE 4096.
std::vector<std::string> parametriCreazioneIb();

// The settings file: VARNELO_INI when set, else $XDG_CONFIG_HOME/varnelo.ini
// (~/.config/varnelo.ini).
std::string percorsoImpostazioniPredefinito();

}  // namespace korva
