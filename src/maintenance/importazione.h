#pragma once

// The import of chosen dictionary tables from their Paradox form to their archive form or
// back: the work behind the import window and `korva importa`.
//
// From Paradox to the archive the records go into the staging table IMPTMP one by one and
// are moved into the real table by INSERT ... SELECT every 10,000 records and at the end of
// each table, each move committed. IMPTMP is a temporary table of the run's connection. From the archive to Paradox they are appended in journaled
// batches of 10,000 records. Either way a failure leaves the destination with exactly the
// moves (batches) already committed, and says how many records they hold.

#include "base/interazione.h"
#include "engines/paradox/table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korva {

class TTabForm;
class GestioneTabelle;

enum class DirezioneImportazione { DaParadox, DaInterbase };

// "PARADOX" is the direction from Paradox to the archive; any other text the opposite one.
DirezioneImportazione direzioneDaTesto(const std::string& testo);

inline constexpr const char* kSelezionareTabella = "Selezionare almeno una tabella da importare";
inline constexpr const char* kDestinazioneNonVuota = "Attenzione: la tabella destinazione deve essere vuota";
inline constexpr const char* kImportazioneTerminata = "Importazione Terminata";
inline constexpr const char* kTabellaTransito = "IMPTMP";
inline constexpr std::int64_t kRecordPerTrasferimento = 10000;

// "Importazione dati da Paradox a Interbase - Ditta: " + company, or the other direction's.
std::string titoloImportazione(DirezioneImportazione direzione, const std::string& nomeDitta);
// "Tabella " + name + " destinazione non creata".
std::string testoDestinazioneNonCreata(const std::string& nome);

// NomeTabella of every row of the dictionary of tables (KORVA/KORVA.DB under the record-layout
// directory), in key order. A failure while opening or reading ends the list where it happened.
std::vector<std::string> tabelleDelDizionario(const std::string& tracciatiDir,
                                              paradox::Session& sessione = paradox::Session::standard());

// round(100 * fatto / totale), halves to even; 0 when totale is 0.
int percentuale(std::int64_t fatto, std::int64_t totale);

// What the import window shows of a run: its two labels and two bars.
class VistaImportazione {
public:
    virtual ~VistaImportazione() = default;
    virtual void etichettaTabella(const std::string& testo) = 0;   // Label1
    virtual void etichettaRecord(const std::string& testo) = 0;    // Label2
    virtual void barraTabella(int percento) = 0;                    // ProgressBar1
    virtual void barraTabelle(int percento) = 0;                    // ProgressBar2
};

// How a run ended (a failure is an Error instead).
struct EsitoImportazione {
    bool eseguita = false;     // the run went through (nothing checked, or a second start: false)
    int importate = 0;         // tables whose records were copied to the end
    int saltate = 0;           // tables skipped: not in the dictionary, not created, not empty
    bool interrotta = false;   // "Interrompi" ended it
};

class Importazione {
public:
    Importazione(Interazione& interazione, TTabForm& tabForm, std::string tracciatiDir,
                 DirezioneImportazione direzione, VistaImportazione& vista,
                 paradox::Session& sessione = paradox::Session::standard());
    Importazione(const Importazione&) = delete;
    Importazione& operator=(const Importazione&) = delete;

    // "Importa Tabelle": the lines are visited from the first to the last, a line's check read
    // when the visit reaches it. A second start while a run is going does nothing. A failure
    // rolls back what was not yet moved, leaves the connection without the run's transaction
    // parameters, and is an Error whose text ends by saying what of the table was committed.
    EsitoImportazione importa(const std::vector<std::string>& righe,
                              const std::function<bool(std::size_t)>& spuntata);
    // "Interrompi": the current table ends after the record being copied (what was copied is
    // still moved), the later ones are prepared but get no records.
    void interrompi() { stop_ = true; }
    bool inCorso() const { return inCorso_; }

private:
    void daParadox(const std::vector<std::string>& righe, const std::function<bool(std::size_t)>& spuntata,
                   int spuntate, EsitoImportazione& esito);
    void daInterbase(const std::vector<std::string>& righe, const std::function<bool(std::size_t)>& spuntata,
                     int spuntate, EsitoImportazione& esito);
    bool preparaArchivio(GestioneTabelle& g, const std::string& nome);
    void copiaVersoArchivio(GestioneTabelle& g, const std::string& nome);
    void trasferisci(const std::string& destinazione, const std::string& colonne, std::int64_t n);
    [[noreturn]] void fallita(const std::string& nome, const std::exception& e) const;
    bool copiaVersoParadox(GestioneTabelle& g, const std::string& nome);
    void inizioTabella(const std::string& nome);
    void avanzamento(const std::string& nome, std::int64_t n, std::int64_t totale);
    void tabellaFatta(int& fatte, int spuntate);

    Interazione& interazione_;
    TTabForm& tabForm_;
    std::string tracciatiDir_;
    DirezioneImportazione direzione_;
    VistaImportazione& vista_;
    paradox::Session& sessione_;
    bool stop_ = false;
    bool inCorso_ = false;
    int barra1_ = -1;
    std::int64_t confermati_ = 0;  // records of the current table committed in the destination
};

}  // namespace korva
