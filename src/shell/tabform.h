#pragma once

#include "base/env.h"
#include "base/interazione.h"

#include <string>

namespace korva {

// The settings holder of the current company: its name from ditta.cfg, its work paths and
// options from the shared settings file. Never shown; the main window creates one at start
// and replaces it at each company switch.
class TTabForm {
public:
    // Reads the company and, when it was found, the work paths and options. A read failure
    // of ditta.cfg after it was opened is an Error: there is then no holder.
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

    // Only the exact texts count.
    bool modoInterbase() const { return TipoDataBase == "INTERBASE"; }
    bool chiusuraAutomatica() const { return ObbedisciStato == "Si"; }

    const std::string& percorsoImpostazioni() const { return percorsoImpostazioni_; }

    // Fields, in declaration order.
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

// The settings file: VARNELO_INI when set, else $XDG_CONFIG_HOME/varnelo.ini
// (~/.config/varnelo.ini).
std::string percorsoImpostazioniPredefinito();

}  // namespace korva
