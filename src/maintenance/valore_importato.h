#pragma once

// One value on its way between a Paradox field and an archive column, in its own type: numbers
// keep every digit, dates and times stay exact, memos and blobs keep their bytes. A conversion
// that would change the value is refused with a message naming table, record and field.

#include "engines/paradox/format.h"

#include <cstdint>
#include <string>

namespace korva {

namespace paradox {
class Field;
}
namespace ib {
class Field;
}

struct ValoreImportato {
    enum class Tipo { Nullo, Intero, Reale, Data, Ora, DataOra, Testo, Byte, Logico };
    Tipo tipo = Tipo::Nullo;
    std::int64_t intero = 0;    // Intero, Logico (0/1), Ora and DataOra: tenths of a millisecond
    double reale = 0;
    paradox::Date data;         // Data, DataOra
    std::string testo;          // Testo: UTF-8; Byte: the bytes as stored
    int codicePagina = 0;       // Byte holding text (a memo): its code page; 0 for binary data
};

// Where a value is, for the messages.
struct PosizioneValore {
    std::string tabella;
    std::int64_t record = 0;
    std::string campo;
};

// The message of a value that cannot be moved: "Tabella T, record N, campo C: " + motivo.
[[noreturn]] void valoreRifiutato(const PosizioneValore& p, const std::string& motivo);

ValoreImportato leggiParadox(const paradox::Field& campo, int codicePagina, const PosizioneValore& p);
ValoreImportato leggiIb(const ib::Field& campo, const PosizioneValore& p);

// Writing a value. Nullo leaves the field null, except in a required field: a text gets " ",
// an integer or floating-point field 0 (other types stay null, and the engine refuses them).
// A text longer than the field is refused with both lengths.
void scriviParadox(paradox::Field campo, bool obbligatorio, int codicePagina, const ValoreImportato& v,
                   const PosizioneValore& p);
void scriviIb(ib::Field& campo, bool obbligatorio, const ValoreImportato& v, const PosizioneValore& p);

}  // namespace korva
