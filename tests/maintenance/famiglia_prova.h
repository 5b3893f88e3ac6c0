#pragma once

// A small table with a key, a memo, a required field, a single-field and a composite index,
// written by the engine, and what each of its records holds and where it lies: the damage
// tests know from it which records a damage destroys.

#include "support/cartella_temporanea.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace korva::test {

struct FamigliaProva {
    // ART.DB in `cartella`/dati with `record` records.
    FamigliaProva(const CartellaTemporanea& cartella, int record);

    std::string dir;  // without the final separator
    // Every record as the engine reads it, by key: the fields as text.
    std::map<int, std::vector<std::string>> originali;
    // Where each key lies in the data file: its block (numbered from 1) and byte offset.
    struct Posto {
        int blocco;
        std::size_t offset;
    };
    std::map<int, Posto> posti;
    std::vector<int> catena;  // the data blocks in chain order
    int dimensioneIntestazione = 0, dimensioneBlocco = 0, dimensioneRecord = 0;

    std::string percorso(const std::string& nome) const { return dir + "/" + nome; }
    // The keys of the records of a block.
    std::set<int> chiaviDel(int blocco) const;
    // Every key.
    std::set<int> tutte() const;
};

// Every record of dir/ART.DB read by the engine, by key.
std::map<int, std::vector<std::string>> leggiTabella(const std::string& dir);

}  // namespace korva::test
