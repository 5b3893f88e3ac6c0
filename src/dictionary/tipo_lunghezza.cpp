#include "dictionary/tipo_lunghezza.h"

#include "base/errore.h"

#include <charconv>

namespace korva {

bool TipoELunghezza::letteraPrevista(char lettera)
{
    return lettera != 0 && kLettereTipo.find(lettera) != std::string_view::npos;
}

bool TipoELunghezza::conLunghezza(char lettera)
{
    return lettera == 'A' || lettera == 'M' || lettera == 'B' || lettera == 'G';
}

TipoELunghezza TipoELunghezza::leggi(std::string_view codice, LetturaTipo per)
{
    if (codice.empty())
        throw Error("tipo mancante");
    TipoELunghezza t;
    t.lettera = codice.front();
    if (!letteraPrevista(t.lettera))
        throw Error("tipo \"" + std::string(codice) + "\" non previsto (tipi ammessi: A N I S D T M B G)");
    if (!conLunghezza(t.lettera))
        return t;
    t.testoLunghezza = std::string(codice.substr(1));
    if (per == LetturaTipo::Archivio && t.lettera != 'A')
        return t;
    const std::string& testo = t.testoLunghezza;
    const char* fine = testo.data() + testo.size();
    auto [p, ec] = std::from_chars(testo.data(), fine, t.lunghezza);
    if (testo.empty() || ec != std::errc() || p != fine || testo.front() == '-')
        throw Error("la lunghezza del tipo \"" + std::string(codice) +
                    "\" non è un numero intero");
    return t;
}

std::string TipoELunghezza::scrivi(char lettera, int lunghezza)
{
    std::string codice(1, lettera);
    if (conLunghezza(lettera))
        codice += std::to_string(lunghezza);
    return codice;
}

}  // namespace korva
