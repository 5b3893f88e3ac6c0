#pragma once

#include "dictionary/righe.h"
#include "dictionary/tipo_lunghezza.h"

#include <string>
#include <vector>

namespace korva {

// The layout of a table as its dictionary rows describe it, checked and ready to be created
// in either engine.
struct CampoDescritto {
    std::string nome;
    TipoELunghezza tipo;
    bool chiave = false;          // Chiave = 1 (NOT NULL in the archive)
    bool indiceSingolo = false;   // IndiceSecSingolo = 1
};

struct IndiceCompostoDescritto {
    std::string nome;
    std::vector<std::string> campi;  // in index order
    bool maiuscoleDistinte = false;  // TipoIndiceSecComp = 1 on the group's last row
};

struct DescrizioneTabella {
    std::string nomeTabella;
    std::vector<CampoDescritto> campi;             // in NumeroCampo order
    std::vector<std::string> chiavePrimaria;       // the key fields, in field order
    std::vector<IndiceCompostoDescritto> indiciComposti;  // in the order of INDICIC.DB
};

// The most fields a composite index can have (positions "0" to "20").
inline constexpr int kPosizioniIndiceComposto = 21;

// Reads the rows of one table: its KORVA.DB row, its CAMPI.DB rows in NumeroCampo order and
// its INDICIC.DB rows in key order. A description that cannot give a sound table is refused
// before anything is created, with an Error naming the table, the field or index and the
// fault: no fields, a type letter outside the nine, a length that is not a decimal integer
// (for the archive only that of A: M, B and G are BLOB there), a key count above the number
// of fields, a composite index without a name, or with a position outside 0 to 20, repeated
// or with gaps, or over a field that is not described.
DescrizioneTabella descriviTabella(const DefTabella& tabella, const std::vector<DefCampo>& campi,
                                   const std::vector<DefIndiceComposto>& indici,
                                   LetturaTipo per = LetturaTipo::Paradox);

}  // namespace korva
