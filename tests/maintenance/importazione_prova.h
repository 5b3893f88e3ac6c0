#pragma once

// A company for the import's tests: its dictionary, Paradox tables filled through the engine,
// the embedded archive, and the import with a view that records what the window would show.

#include "dictionary/ditta_prova.h"
#include "dictionary/gestione_tabelle.h"
#include "maintenance/importazione.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korva::test {

// The labels and bars, each change as "L1 text", "L2 text", "B1 n", "B2 n" (B1 only when the
// value changes, which is what the window shows).
class VistaRegistrata : public VistaImportazione {
public:
    void etichettaTabella(const std::string& t) override { eventi.push_back(std::string("L1 ").append(t)); }
    void etichettaRecord(const std::string& t) override { eventi.push_back(std::string("L2 ").append(t)); }
    void barraTabella(int p) override
    {
        if (p != ultima1)
            eventi.push_back(std::string("B1 ").append(std::to_string(p)));
        ultima1 = p;
    }
    void barraTabelle(int p) override { eventi.push_back(std::string("B2 ").append(std::to_string(p))); }
    // The events of one kind ("L2", "B2", ...).
    std::vector<std::string> di(const std::string& tipo) const;
    std::vector<std::string> eventi;
    int ultima1 = -1;
};

// The port of a run that presses "Interrompi" after the n-th record.
class InterazioneConStop : public InterazioneScriptata {
public:
    void elaboraEventi() override
    {
        InterazioneScriptata::elaboraEventi();
        if (stopDopo > 0 && chiamateEventi() == stopDopo && importazione)
            importazione->interrompi();
    }
    std::int64_t stopDopo = 0;
    Importazione* importazione = nullptr;
};

struct ImportazioneProva : DittaProva {
    explicit ImportazioneProva(const std::vector<RigheTabella>& tabelle);

    // The Paradox table of a dictionary row, created from the dictionary, then filled with
    // `record` records by `riempi` (called with the table open and a record appended).
    void tabellaParadox(const std::string& nome, std::int64_t record,
                        const std::function<void(paradox::Table&, std::int64_t)>& riempi);
    // Statements run on a connection of their own and committed.
    void sql(const std::vector<std::string>& istruzioni);
    // One value of the archive, through a connection of its own ("" for NULL).
    std::string valore(const std::string& select);
    std::int64_t righe(const std::string& tabella);
    std::int64_t recordParadox(const std::string& cartella, const std::string& file);

    // A run over these lines, all checked unless `spuntate` says otherwise.
    EsitoImportazione importa(DirezioneImportazione direzione, const std::vector<std::string>& righe,
                              std::vector<bool> spuntate = {});

    InterazioneConStop io2;
    VistaRegistrata vista;
    std::unique_ptr<Importazione> importazione;
};

}  // namespace korva::test
