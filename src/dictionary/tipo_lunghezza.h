#pragma once

#include <string>
#include <string_view>

namespace korva {

// What a type code is read for: a column of the archive never takes a length from M, B or G
// (they are all BLOB there), a Paradox field does.
enum class LetturaTipo { Paradox, Archivio };

// The type code of a dictionary field: a letter of "ANISDTMBG" (upper case) and, for A, M, B
// and G, the length as a decimal integer; after N, I, S, D and T anything is ignored.
struct TipoELunghezza {
    char lettera = 0;
    int lunghezza = 0;              // 0 for N I S D T
    std::string testoLunghezza;     // the code after its letter, as written (A, M, B, G)

    static bool letteraPrevista(char lettera);
    static bool conLunghezza(char lettera);

    // The code read; an Error says what is wrong with it (the caller names table and field).
    static TipoELunghezza leggi(std::string_view codice, LetturaTipo per = LetturaTipo::Paradox);
    // The code as registration writes it: the letter, then the length for A, M, B and G.
    static std::string scrivi(char lettera, int lunghezza);
};

inline constexpr std::string_view kLettereTipo = "ANISDTMBG";

}  // namespace korva
