#pragma once

// "&8. Stampa tabella ": the layout of the current table, as the dictionary describes it,
// printed through the layout report of the program directory (PercorsoReport). The report
// reads KORVA.DB and CAMPI.DB itself; the command only points it at the window's dictionary,
// restricts it to the current table and passes the company name.

#include <string>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kConfermaStampa = "Confermare stampa?";
inline constexpr const char* kReportNonDisponibile = "ATTENZIONE: directory bin errata o CRW non inizializzato";
inline constexpr const char* kTitoloAnteprima = "STAMPA TRACCIATI";

// The report engine as the print command drives it. Jobs are numbered from 1; job 0 stands
// for a report that could not be opened, and every call on it is refused (false).
class MotoreStampa {
public:
    virtual ~MotoreStampa() = default;

    // Opens the report file: the job, or 0 when the file is missing, unreadable or not a
    // sound report.
    virtual int ApriStampa(const std::string& percorsoReport) = 0;
    // After ApriStampa gave 0: what is wrong with a report file that is there (it cannot be
    // read, or is not a sound report); empty when the file is missing.
    virtual std::string erroreReport() const = 0;
    // The .DB file of the report's table 0 or 1.
    virtual bool ImpostaPosizioneTabella(int job, int tabella, const std::string& posizione) = 0;
    virtual bool ImpostaSelezione(int job, const std::string& formula) = 0;
    // The value of a formula the report declares, quoted ("'text'").
    virtual bool ImpostaFormula(int job, const std::string& nome, const std::string& testo) = 0;
    // Where the pages go: a preview window of its own, or a PDF file.
    virtual bool UscitaFinestra(int job, const std::string& titolo, int sinistra, int alto, int larghezza,
                                int altezza) = 0;
    virtual bool UscitaPdf(int job, const std::string& file) = 0;
    // Reads the tables, lays out the pages and sends them out; returns without waiting for
    // the preview, which lives on its own. A table that cannot be read or a PDF that cannot
    // be written is an Error.
    virtual bool AvviaStampa(int job) = 0;
};

// ButtonStampaTabellaClick: "Confermare stampa?" (OK/Cancel); on OK the current table's
// layout in a new preview window (StampaTabellaCorrente). True when the preview was started.
bool StampaTabella(GestioneTabelle& g, MotoreStampa& motore);

// The current row's layout through the report PercorsoReport, to the preview window, or to
// the file `pdf` when one is given. NomeTabellaCorrente := the row's name; Table1 and
// TabCampi are closed while the job is set up and started (TabIndicic stays open) and are
// reopened on the row that was current whatever happens. A report that cannot be opened
// gives "ATTENZIONE: directory bin errata o CRW non inizializzato" (with what is wrong with
// the file as its details), as does a BinDir never set, and nothing is printed. A name holding a quote, or one
// whose field rows cannot be looked up, is refused before anything is touched: the first
// would end the selection's text early. True when the job was started.
bool StampaTabellaCorrente(GestioneTabelle& g, MotoreStampa& motore, const std::string& pdf = {});

}  // namespace korva
