#pragma once

// The data file of a table read block by block without trusting it: what its header says
// against what the file holds, the chain of data blocks and the free list, every record and
// every value. The verification reports what it finds; the repair takes the records that
// could be read whole, from every block that holds data, also those the chain lost.

#include "engines/paradox/format.h"
#include "engines/paradox/table_file.h"

#include <optional>
#include <string>
#include <vector>

namespace korva::integrita {

// A record read whole: its bytes and where it was.
struct RecordLetto {
    std::string byte;
    int blocco = 0;     // the data block (numbered from 1)
    int posizione = 0;  // in the block, from 1
};

// What the layout of a data file is taken from when its header cannot be read.
struct Tracciato {
    std::vector<paradox::FieldDef> campi;
    int campiChiave = 0;
    int dimensioneIntestazione = 0;
    int dimensioneBlocco = 0;
    int codePage = 1252;
};

struct LetturaDati {
    std::string file;                            // the data file's name, for the findings
    std::optional<paradox::Header> intestazione;  // empty when it could not be read
    std::vector<paradox::FieldInfo> campi;
    int campiChiave = 0;
    int byteChiave = 0;
    int dimensioneRecord = 0;
    int dimensioneIntestazione = 0;
    int dimensioneBlocco = 0;
    int codePage = 1252;
    const paradox::Collation* ordine = nullptr;  // the best one known; nullptr: byte order
    // The records read whole: those of the chain in its order, then those of the blocks
    // outside the chain and the free list, in block order.
    std::vector<RecordLetto> record;
    // The records that could not be read whole, each with its place and why.
    std::vector<std::string> perdite;
    int recordPersi = 0;
    // Everything found wrong with the file (the losses among them).
    std::vector<std::string> rilievi;
};

// Reads the data file `nome` whose bytes are `dati`. With a header that cannot be read, the
// layout comes from `ripiego` when given (else nothing is read beyond the finding).
LetturaDati leggiDati(const std::string& nome, const std::string& dati, const Tracciato* ripiego = nullptr);

// Why the field's value in the record cannot be decoded; empty when it can. Not for blobs.
std::string difettoValore(const paradox::FieldInfo& campo, const std::uint8_t* valore, int codePage);

// The key fields of a record as text, for messages ("CODICE = 12").
std::string testoChiave(const LetturaDati& d, const std::uint8_t* record);

// Compares the keys of two records in the table's order.
int confrontaChiavi(const LetturaDati& d, const std::uint8_t* a, const std::uint8_t* b);

// "T.DB, blocco 3, record 2"
std::string luogo(const std::string& file, int blocco, int posizione = 0);

}  // namespace korva::integrita
