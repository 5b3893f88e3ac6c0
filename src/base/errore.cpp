#include "base/errore.h"

namespace korva {

std::string testoErroreGenerale(std::string_view testo)
{
    std::string risultato(testo);
    // Bytes compare unsigned: a UTF-8 continuation byte sorts after "." like the
    // accented letter it belongs to.
    if (!risultato.empty() && static_cast<unsigned char>(risultato.back()) > '.')
        risultato += '.';
    return risultato;
}

}  // namespace korva
