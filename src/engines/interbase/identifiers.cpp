#include "engines/interbase/identifiers.h"

#include "base/errore.h"

namespace korva::ib {
namespace {

bool lettera(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool cifra(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool identificatoreSemplice(std::string_view nome)
{
    if (nome.empty() || nome.size() > kLunghezzaMassimaIdentificatore || !lettera(nome.front()))
        return false;
    for (char c : nome)
        if (!lettera(c) && !cifra(c) && c != '_' && c != '$')
            return false;
    return true;
}

void verificaIdentificatore(std::string_view nome, std::string_view cosa)
{
    if (identificatoreSemplice(nome))
        return;
    throw Error("Nome di " + std::string(cosa) + " non valido: \"" + std::string(nome) +
                "\" (ammessi lettere, cifre, _ e $, iniziale una lettera, al massimo " +
                std::to_string(kLunghezzaMassimaIdentificatore) + " caratteri)");
}

std::string nomeTraVirgolette(std::string_view nome)
{
    std::string r = "\"";
    for (char c : nome) {
        r += c;
        if (c == '"')
            r += '"';
    }
    r += '"';
    return r;
}

std::string nomeTabellaArchivio(std::string_view nome)
{
    verificaIdentificatore(nome, "tabella");
    return maiuscole(nome);
}

bool nomeCatalogoIndirizzabile(std::string_view nome)
{
    return identificatoreSemplice(nome) && maiuscole(nome) == nome;
}

std::string maiuscole(std::string_view testo)
{
    std::string r(testo);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

}  // namespace korva::ib
