#pragma once

// The memo file (.MB) of a table read against the records that refer to it: every reference
// inside the file and to a block of the right type, the leader of the record agreeing with
// the value, no two records sharing one value.

#include "base/mem_env.h"
#include "maintenance/integrita_dati.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korva::paradox {
class PagedFile;
class BlobStore;
}  // namespace korva::paradox

namespace korva::integrita {

class Memo {
public:
    // `dati`: the .MB's bytes, nullptr when the table has none; `d`: the records that refer to it.
    Memo(const std::string* dati, std::string nome, const LetturaDati& d);
    ~Memo();
    Memo(const Memo&) = delete;
    Memo& operator=(const Memo&) = delete;

    // What is wrong with the file itself (its header, its blocks).
    std::vector<std::string> rilieviFile() const;
    // The value of the blob field `campo` of the record, as the .MB stores it; nothing, and the
    // reason in `perche`, when its reference is broken or shared with another record (which
    // of the two it belongs to cannot be told: neither gets it).
    std::optional<std::string> valore(const LetturaDati& d, const RecordLetto& r, const paradox::FieldInfo& campo,
                                      std::string& perche);

private:
    std::string nome_;
    bool presente_ = false;
    MemEnv env_;
    std::unique_ptr<paradox::PagedFile> mb_;
    std::unique_ptr<paradox::BlobStore> store_;
    std::vector<std::string> rilievi_;
    std::map<std::uint32_t, std::vector<std::string>> usati_;  // reference -> the records that refer to it
    // References whose place in the file overlaps another's -> a record of that other one.
    std::map<std::uint32_t, std::string> sovrapposti_;
};

// Every blob of every record read: the findings of the memo file.
std::vector<std::string> verificaMemo(const LetturaDati& d, const std::string* dati, const std::string& nome);

}  // namespace korva::integrita
