#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads the keys that a sample table stores, independently of the engine, so that a collation
// can be checked against the order the classic engine left in the files. Only what the
// collation tests need; every offset, count and block number is checked against the file, and
// a file that does not hold together is a std::runtime_error.
namespace korva::test {

struct CampoFile {
    std::uint8_t tipo;      // field type code: 0x01 alpha, 0x16 autoincrement, ...
    std::size_t dimensione; // bytes in the record
};

struct IntestazioneFile {
    std::uint8_t tipoFile = 0;  // 0 keyed .DB, 1 .PX, 2 unkeyed .DB, 3/5 .Xnn, 4 .Ynn, 6/8 .XGn, 7 .YGn
    std::uint8_t versione = 0;
    std::uint8_t sortOrder = 0;
    std::string sortOrderId;  // empty when the file names none (level 3 and 3.5, .PX, .Y)
    int codePage = 0;         // 0 when the file names none
    std::uint8_t flagIndice = 0;  // byte 0x55 of .X files
    bool cifrata = false;
    std::uint32_t numRecord = 0;
    std::size_t campiChiave = 0;  // .DB: leading key fields; .X: all fields but the last
    std::vector<CampoFile> campi;
    std::vector<std::string> nomi;           // .DB and .X only
    std::vector<std::uint16_t> numeriCampo;  // level 4 and up, .DB and .X only
};

IntestazioneFile leggiIntestazione(const std::string& percorso);

// A .DB or .X file: its records in the order of the block chain.
struct FileRecord {
    struct Blocco {
        std::uint16_t numero;
        std::size_t primoRecord;
        std::size_t record;
    };
    IntestazioneFile testa;
    std::vector<std::size_t> inizioCampo;  // offset of each field in a record
    std::vector<std::string> record;
    std::vector<Blocco> blocchi;

    std::string_view campo(std::size_t r, std::size_t f) const
    {
        return std::string_view(record[r]).substr(inizioCampo[f], testa.campi[f].dimensione);
    }
};

FileRecord leggiRecord(const std::string& percorso);

// A .PX or .Y file: the entries of its lowest level in key order, found by walking the tree from
// the root. Each upper-level entry is checked to carry the first key below it.
struct VoceFoglia {
    std::string chiave;     // the key bytes, as in the records
    std::uint16_t blocco;   // the data block it points to
    std::uint16_t record;   // records in that block
};

struct FileIndice {
    IntestazioneFile testa;
    std::vector<VoceFoglia> foglie;
};

FileIndice leggiIndice(const std::string& percorso);

}  // namespace korva::test
