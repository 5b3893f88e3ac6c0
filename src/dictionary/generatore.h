#pragma once

// The dictionary generator: creates the three dictionary tables of record-layout directory 1
// empty, replacing the ones that are there.

#include "base/interazione.h"
#include "dictionary/tabelle_dizionario.h"
#include "engines/paradox/table.h"

namespace korva {

class TTabForm;

inline constexpr const char* kDomandaGenera = "Procedo alla creazione dei tracciati record?";
inline constexpr const char* kCreazioneTerminata = "Creazione terminata!";

// Creates one dictionary table empty in `cartella` (made when missing, one level only) over an
// existing one, and leaves it open in `t`. An Error of the engine when it cannot.
void CreaTabellaDizionario(paradox::Session& sessione, paradox::Table& t, TabellaDizionario quale,
                           const std::string& cartella, const std::string& nome);

// A dictionary in the record-layout directory with these tables: the three tables created
// empty, then the rows of each table appended.
void CreaDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                    const std::vector<RigheTabella>& tabelle);

class GeneratoreArchivi {
public:
    GeneratoreArchivi(Interazione& interazione, TTabForm& tabForm,
                      paradox::Session& sessione = paradox::Session::standard());
    GeneratoreArchivi(const GeneratoreArchivi&) = delete;
    GeneratoreArchivi& operator=(const GeneratoreArchivi&) = delete;

    // Serves the three creations; KORVA.DB stays open in it after the last one.
    paradox::Table Table1;

    // Each one: the table's folder made (one level; a failure, such as a folder that exists,
    // is ignored), the table created empty over an existing one, then opened. A failure of
    // the engine is an Error with its message.
    void CreaTabellaCampi();
    void CreaTabellaIndicic();
    void CreaTabellaKorva();

    // "&Genera": after the question, the three creations in this order, then "Creazione
    // terminata!". True when the tables were made; false when the answer was No. An Error
    // before the question when record-layout directory 1 is not set.
    bool Genera();

private:
    Interazione& interazione_;
    TTabForm& tabForm_;
    paradox::Session& sessione_;
};

}  // namespace korva
