#pragma once

// FORNITOR.DB: a table of a few thousand records written by the engine, with a six-character
// key, texts that hold a tab, a byte the Windows code page leaves undefined and bytes after
// their end, an indexed field (.X03), a number and a memo; its dictionary description; every
// record's bytes and place. The damage tests know from it which records a damage destroys
// and whether the records of a repaired table are byte for byte the ones it had.

#include "dictionary/creazione_paradox.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace korva::test {

// A record as the data file holds it: the bytes before its memo, the memo's value, its place.
struct RecordFornitore {
    std::string byte;
    std::string memo;
    int blocco = 0;
    std::size_t offset = 0;
};

struct FornitoriProva {
    // FORNITOR.DB in `dir` with `record` records.
    explicit FornitoriProva(std::string dir, int record = 3000);

    std::string dir;  // without the final separator
    DefinizioniParadox dizionario;
    std::map<std::string, RecordFornitore> record;  // by key
    std::vector<int> catena;                        // the data blocks in chain order
    int dimensioneIntestazione = 0, dimensioneBlocco = 0, dimensioneRecord = 0;

    std::string percorso(const std::string& nome) const { return dir + "/" + nome; }
    std::size_t inizioBlocco(int blocco) const;
    std::set<std::string> chiaviDel(int blocco) const;
    std::set<std::string> tutte() const;
};

inline constexpr std::size_t kOffsetMemoFornitori = 74;  // the memo field's place in the record

// Every record of dir/FORNITOR.DB, read from its chain of blocks (the memo through the engine).
std::map<std::string, RecordFornitore> leggiFornitori(const std::string& dir);

// The files of the table FORNITOR in `dir`, by name.
std::map<std::string, std::string> fileFornitori(const std::string& dir);
// The lines of a report, one a line, for a failure's message.
std::string tutte(const std::vector<std::string>& righe);
// Writes `byte` over the file's bytes from `at`.
void cambia(const std::string& percorso, std::size_t at, const std::string& byte);

}  // namespace korva::test
