#pragma once

// Registration: the dictionary rows of a table that exists, read from a Paradox table or from
// a table of the archive. The rows are made whole before anything is written; a table whose
// layout the dictionary cannot hold is refused with an Error that says why.

#include "dictionary/tabelle_dizionario.h"
#include "engines/interbase/catalog.h"
#include "engines/paradox/format.h"

#include <string>
#include <vector>

namespace korva {

inline constexpr const char* kDomandaSostituzione = "Tabella esistente, Sostituire tabella? ";
inline constexpr const char* kScegliereTabella = "Si prega di scegliere una tabella da interrogare";
inline constexpr const char* kChiaveSospetta = "Sospetta irregolarità nel riconoscimento chiave primaria";
// The reduced name of the primary-key constraint that archive creation makes.
inline constexpr const char* kChiavePrimaria = "CHIAVEPRIMARIA";

// What registration read of a table.
struct TabellaLetta {
    RigheTabella righe;  // PathParziale is the caller's
    // Where the dictionary describes the table otherwise than it is: a field in a type of the
    // dictionary that keeps its values, an index property it cannot describe. One line each,
    // shown in one message before anything is written.
    std::vector<std::string> differenze;
    // Messages due on the way, in order.
    std::vector<std::string> avvisi;
};

// Lower case as registration stores names and folders: the letters of the Western code page,
// accented ones included.
std::string minuscole(const std::string& testo);

// The rows of a Paradox table from its field and index definitions (`nomeTabella` as stored).
TabellaLetta righeDaParadox(const std::string& nomeTabella, const std::vector<paradox::FieldDef>& campi,
                            const std::vector<paradox::IndexDef>& indici);

// An index name without its part up to the first "_" (the whole name when there is none):
// CLIENTI_CHIAVEPRIMARIA gives CHIAVEPRIMARIA, MOV_CLI_PERDATA gives CLI_PERDATA.
std::string RilasciaNomeIndiceRidotto(const std::string& nome);

// The rows of the archive table `nomeArchivio` from its columns and indexes (`nomeTabella` as
// the dictionary stores it).
TabellaLetta righeDaArchivio(const std::string& nomeArchivio, const std::string& nomeTabella,
                             const std::vector<ib::FieldDef>& colonne, const std::vector<ib::IndexDef>& indici);

// The properties of the archive columns that the dictionary cannot keep (DATE and FLOAT
// columns, text blobs, NOT NULL outside the key), added to the differences of `letta`, whose
// field rows are those of `colonne`.
void aggiungiPerditeArchivio(TabellaLetta& letta, const std::vector<ib::FieldDef>& colonne);

// "Impossibile registrare la tabella T: " + the reason, as an Error.
[[noreturn]] void rifiutaRegistrazione(const std::string& tabella, const std::string& motivo);

// The name and the folder of a table to register fit the dictionary (size and code page); else
// rifiutaRegistrazione.
void verificaVoce(const std::string& nomeTabella, const std::string& pathParziale);
// Every text of the rows fits its dictionary field and the rows describe a table that
// creation accepts; else rifiutaRegistrazione.
void verificaRegistrazione(const RigheTabella& righe);

// The one message that lists the differences.
std::string testoDifferenze(const std::string& tabella, const std::vector<std::string>& differenze);

}  // namespace korva
