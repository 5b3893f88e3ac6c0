#pragma once

// The data file of a table read block by block without trusting it. Under a given layout
// (field sizes, key, header and block size) every block is seen with its links and its
// count; only the blocks whose place in the chain a neighbour confirms are read as records,
// so a block zeroed, overwritten or cut short never turns into records. The verification
// reports what it finds; the repair takes the records read.

#include "engines/paradox/format.h"
#include "engines/paradox/table_file.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korva::integrita {

// A record read whole: its bytes and where it was.
struct RecordLetto {
    std::string byte;
    int blocco = 0;     // the data block (numbered from 1)
    int posizione = 0;  // in the block, from 1
};

// The words of a data file's header that describe its chain, each read on its own; all zero
// (and `letti` false) when the header is not one.
struct IndiziIntestazione {
    bool letti = false;
    std::uint32_t record = 0;
    int blocchiUsati = 0, blocchiDelFile = 0, primo = 0, ultimo = 0, primoLibero = 0;
};
IndiziIntestazione leggiIndizi(const std::string& dati);

// The layout a data file is read with.
struct Tracciato {
    std::vector<paradox::FieldDef> campi;
    int campiChiave = 0;
    int dimensioneIntestazione = 0;
    int dimensioneBlocco = 0;
    int codePage = 1252;
    // What the header says of the chain.
    IndiziIntestazione indizi;
    // Blocks whose count word says more records than the primary index counts in them: only
    // that many are read (the rest of the block is no longer records).
    std::map<int, int> limiti;
    // Blocks none of whose records has the key the primary index gives them (one that agrees
    // with the other blocks): another table's block where ours was. Not read; lost whole.
    std::set<int> estranei;
    const paradox::Collation* ordine = nullptr;  // the best one known; nullptr: byte order
    // The key order can be held against the records (an order we stand behind): a record out
    // of it is not taken.
    bool ordineFidato = true;
    int dimensioneRecord() const;
};

// A block of the file as a geometry sees it.
struct StatoBlocco {
    bool presente = false;   // its control words are in the file
    int avanti = 0, indietro = 0;
    int conteggio = -1;      // the records it says it holds; -1 when the word is no count
    bool azzerato = false;   // every byte of it in the file is zero
    bool collegato = false;  // linked to a neighbour that links back
    bool fidato = false;     // its place is confirmed: its records are read
    bool libero = false;     // in the free list
    // The block that followed the header's last block before its forward link was lost: it
    // links back to it, ends the chain itself, and is in no free list.
    bool coda = false;
};

// Every block of a data file under one geometry.
struct Censimento {
    int dimensioneIntestazione = 0, dimensioneBlocco = 0, dimensioneRecord = 0;
    int capienza = 0;
    int nelFile = 0;                   // blocks whose control words are in the file
    std::vector<StatoBlocco> blocchi;  // by number; [0] unused
    int collegati = 0;                 // blocks linked both ways with a neighbour
    int conteggiValidi = 0;            // of those, the ones whose count word is a count
};
Censimento censisci(const std::string& dati, int dimensioneIntestazione, int dimensioneBlocco, int dimensioneRecord,
                    const IndiziIntestazione& h);

// A block the chain needs whose records could not be read.
struct BloccoPerso {
    int blocco = 0;
    std::string perche;
    bool richiesto = false;  // a block read links to it (not the header alone): it held records
};

struct LetturaDati {
    std::string file;                            // the data file's name, for the findings
    std::optional<paradox::Header> intestazione;  // when it reads whole
    IndiziIntestazione indizi;
    std::vector<paradox::FieldInfo> campi;
    int campiChiave = 0;
    int byteChiave = 0;
    int dimensioneRecord = 0;
    int dimensioneIntestazione = 0;
    int dimensioneBlocco = 0;
    int codePage = 1252;
    const paradox::Collation* ordine = nullptr;
    bool ordineFidato = true;
    // The records read: those of the blocks whose place is confirmed, chain piece after chain
    // piece, each in block order.
    std::vector<RecordLetto> record;
    // The records of those blocks that could not be taken, each with its place and why.
    std::vector<std::string> perdite;
    int recordPersi = 0;
    // Of those, the ones whose values or key order the layout contradicts (not those the file
    // lost at its end).
    int scartati = 0;
    // The blocks read, each with the records it says it holds (taken or listed as lost), and
    // their sum.
    std::vector<std::pair<int, int>> blocchiLetti;
    std::uint32_t neiBlocchiLetti = 0;
    int capienza = 0;  // records a block holds at most
    // Read blocks with a link their neighbour does not return: their count word may have
    // been hit too, and they could hold up to `margine` records more than it says.
    int sospetti = 0;
    std::uint32_t margine = 0;
    // Blocks the chain goes through that could not be read; with the blocks outside the chain
    // and the free list that are not read, they could hold at most `capienzaNonLetta` records,
    // and those a block read links to held at least one each.
    std::vector<BloccoPerso> blocchiPersi;
    std::uint32_t capienzaNonLetta = 0;
    // The chain goes on past the end of the file: how many blocks followed is not known.
    bool oltreLaFine = false;
    // The blocks of the free list.
    std::set<int> liberi;
    // Records read in the block the chain's end lost (see `StatoBlocco::coda`).
    std::uint32_t nellaCoda = 0;
    // Everything found wrong with the file (the losses among them).
    std::vector<std::string> rilievi;
};

// The header's words of a data file whose header cannot be read: a block alone in the file,
// with nothing before or after it, is its chain.
IndiziIntestazione indiziSenzaIntestazione(const std::string& dati, int dimensioneIntestazione, int dimensioneBlocco,
                                           int dimensioneRecord);

// Reads the data file `nome` whose bytes are `dati` with the layout `t`.
LetturaDati leggiDati(const std::string& nome, const std::string& dati, const Tracciato& t);

// Why the field's value in the record cannot be one of its type; empty when it can. Not for
// blobs. Text of any byte, dates and times of any day the type holds, are values.
std::string difettoValore(const paradox::FieldInfo& campo, const std::uint8_t* valore);

// The key fields of a record as text, for messages ("CODICE = 12").
std::string testoChiave(const LetturaDati& d, const std::uint8_t* record);

// Compares the keys of two records in the table's order.
int confrontaChiavi(const LetturaDati& d, const std::uint8_t* a, const std::uint8_t* b);

// "T.DB, blocco 3, record 2"
std::string luogo(const std::string& file, int blocco, int posizione = 0);

}  // namespace korva::integrita
