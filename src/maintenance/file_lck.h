#pragma once

// "Ricerca file .lck": the lock files in the folders of the dictionary's tables, listed with
// whether a running program holds them, and their deletion.

#include "base/env.h"
#include "base/interazione.h"
#include "engines/paradox/lock.h"

#include <string>
#include <vector>

namespace korva {

class GestioneTabelle;

inline constexpr const char* kNessunFileLck = "Nessun File .lck trovato!";
inline constexpr const char* kDomandaEliminaLck = "Elimino tutti i file.lck selezionati? ";
inline constexpr const char* kImpossibileEliminare = "Impossibile eliminare il file: ";

struct VoceLck {
    std::string percorso;  // folder + "/" + file name
    paradox::LckStatus stato;
    // "in uso da ...", "non in uso", "di un altro programma: non verificabile"
    std::string descrizioneStato() const;
};

// The lock files ("*.lck" without regard to case, hidden files left out) of the folder of
// every dictionary row (LavoroDir + PathParziale), each folder in name order, each folder once
// however its rows spell it (folders compared by device and inode); a folder that cannot be
// listed is skipped, one outside LavoroDir is left out with a message. The row current before
// is current after.
std::vector<VoceLck> CercaFileLck(GestioneTabelle& g, Env& env = Env::standard());

// ButtonRicercaLCKClick's search: the entries to show; none after "Nessun File .lck trovato!".
std::vector<VoceLck> RicercaFileLck(GestioneTabelle& g, Env& env = Env::standard());

// The list of TListaLckForm.
class ListaLck {
public:
    ListaLck(Interazione& interazione, std::vector<VoceLck> voci, Env& env = Env::standard());

    const std::vector<VoceLck>& voci() const { return voci_; }

    // "&Elimina file selezionati" over the entries at these positions. After the question (No:
    // nothing changes, false) the file of each selected entry goes, first to last; one that
    // cannot go (in use by a running program, already gone, not deletable) gives its message
    // and the next goes on. Then the entries whose file is gone leave the list and the others
    // are looked at again. True when every selected file went.
    bool EliminaSelezionati(const std::vector<std::size_t>& selezionati);

    // The positions of the entries nobody holds (those `korva lck --elimina` deletes).
    std::vector<std::size_t> nonInUso() const;

private:
    Interazione& interazione_;
    std::vector<VoceLck> voci_;
    Env& env_;
};

}  // namespace korva
