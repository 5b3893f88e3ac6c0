#include "shell/tabform.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "base/profilo.h"

#include <cstdlib>
#include <filesystem>

namespace korva {
namespace {

constexpr const char* kSezioneDitta = "DITTA";

}  // namespace

std::string percorsoImpostazioniPredefinito()
{
    if (const char* ini = std::getenv("VARNELO_INI"); ini && *ini)
        return ini;
    std::string cartella;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        cartella = xdg;
    } else {
        const char* home = std::getenv("HOME");
        cartella = std::string(home ? home : "") + "/.config";
    }
    // On a fresh account the folder may not exist yet; the first write of a setting must
    // not fail for that. A folder that cannot be made shows up as that write's error.
    std::error_code ec;
    std::filesystem::create_directories(cartella, ec);
    return cartella + "/varnelo.ini";
}

TTabForm::TTabForm(Interazione& interazione, std::string avvioDir,
                   std::string percorsoImpostazioni, Env& env)
    : AvvioDir(std::move(avvioDir)),
      interazione_(interazione),
      percorsoImpostazioni_(std::move(percorsoImpostazioni)),
      env_(env)
{
    IBDatabase1.params = parametriConnessioneIb();
    IBDatabase1.setDefaultTransaction(&IBTransaction1);
    IBDatabase1.sqlDialect = 3;
    LetturaNomeProgetto();
    if (NomeDitta != kDittaMancante) {
        SettaLavoroDir();
        SettaOpzioni();
    }
}

void TTabForm::LetturaNomeProgetto()
{
    NomeDitta = kDittaMancante;
    ProfiloPrivato profilo(percorsoImpostazioni_, env_);
    DittaDir = profilo.leggi(kSezioneDitta, "Directory ditta", kDirNonImpostata);
    if (DittaDir == kDirNonImpostata)
        DittaDir = AvvioDir;

    const std::string percorso = DittaDir + kSep + "ditta.cfg";
    std::unique_ptr<File> file;
    try {
        auto risolto = risolviPercorso(percorso);
        // A directory of that name opens here, where Windows refuses it: it is no ditta.cfg.
        if (!risolto || esisteFile(*risolto))
            file = env_.open(risolto ? *risolto : percorsoFs(percorso), OpenMode::Read);
    } catch (const Error&) {
    }
    if (!file) {
        interazione_.messaggio(
            "Non trovato il file ditta.cfg: verificare directory associata all'icona programma");
        return;
    }

    std::string dati(file->size(), '\0');
    dati.resize(file->readAt(0, dati.data(), dati.size()));
    size_t fine = dati.find_first_of("\r\n");
    NomeDitta = codepage::toUtf8(dati.substr(0, fine), codepage::kWindowsWestern);
}

void TTabForm::AggiornaPercorsi()
{
    TabellaCampi = "CAMPI.DB";
    PercorsoCampi = TracciatiDir1 + "CAMPI";
    TabellaIndicic = "INDICIC.DB";
    PercorsoIndicic = TracciatiDir1 + "INDICIC";
    TabellaKorva = "KORVA.DB";
    PercorsoKorva = TracciatiDir1 + "KORVA";
    PercorsoReport = BinDir + "report" + kSep + "struttur.rpt";
}

void TTabForm::SettaLavoroDir()
{
    ProfiloPrivato profilo(percorsoImpostazioni_, env_);
    LavoroDir = profilo.leggi(NomeDitta, "Directory di lavoro", kDirNonImpostata);
    TracciatiDir1 = profilo.leggi(NomeDitta, "Directory tracciati record", kDirNonImpostata);
    TracciatiDir2 = profilo.leggi(NomeDitta, "Directory tracciati record 2", kDirNonImpostata);
    BackupRiparazioniDir =
        profilo.leggi(NomeDitta, "Directory backup riparazioni", kDirNonImpostata);
    BinDir = profilo.leggi(NomeDitta, "Directory bin", kDirNonImpostata);
    if (BinDir == kDirNonImpostata)
        BinDir = AvvioDir + kSep;
    Archivio = profilo.leggi(NomeDitta, "Archivio", "");
    AggiornaPercorsi();
}

void TTabForm::richiediDittaNota() const
{
    if (NomeDitta == kDittaMancante)
        throw Error("Impostazioni non salvate: la ditta non è nota, perché il file ditta.cfg "
                    "della directory " + DittaDir + " manca o è errato");
}

void TTabForm::ScriviLavoroDir()
{
    richiediDittaNota();
    ProfiloPrivato profilo(percorsoImpostazioni_, env_);
    profilo.scrivi(NomeDitta, "Directory di lavoro", LavoroDir);
    profilo.scrivi(NomeDitta, "Directory tracciati record", TracciatiDir1);
    profilo.scrivi(NomeDitta, "Directory tracciati record 2", TracciatiDir2);
    profilo.scrivi(NomeDitta, "Directory backup riparazioni", BackupRiparazioniDir);
    profilo.scrivi(NomeDitta, "Archivio", Archivio);
    AggiornaPercorsi();
}

void TTabForm::SettaOpzioni()
{
    ProfiloPrivato profilo(percorsoImpostazioni_, env_);
    ObbedisciStato = profilo.leggi(NomeDitta, "ObbedisciStato", "No");
    TipoDataBase = profilo.leggi(NomeDitta, "TipoDataBase", "PARADOX");
}

void TTabForm::ScriviOpzioni()
{
    richiediDittaNota();
    ProfiloPrivato profilo(percorsoImpostazioni_, env_);
    profilo.scrivi(NomeDitta, "ObbedisciStato", ObbedisciStato);
    profilo.scrivi(NomeDitta, "TipoDataBase", TipoDataBase);
}

}  // namespace korva
