#pragma once

// A company in the archive mode whose archive holds table T with 300 rows.

#include "dictionary/ditta_prova.h"
#include "dictionary/gestione_tabelle.h"

#include <memory>
#include <string>

namespace korva::test {

struct ArchivioProva : DittaProva {
    // `nomeArchivio`: the archive's name in server form; the local file when empty.
    explicit ArchivioProva(const std::string& nomeArchivio = {});
    // Statements run on the program's connection and committed.
    void esegui(const std::vector<std::string>& istruzioni);
    // The rows of T in the database (a file, or a name in server form), read through a
    // connection of its own.
    std::int64_t righeDiT(const std::string& file);
    std::string archivio() const { return cartella / "archivio.gdb"; }
    std::string backupDir() const { return cartella / "bak"; }
    std::unique_ptr<GestioneTabelle> g;
};

}  // namespace korva::test
