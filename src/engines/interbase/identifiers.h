#pragma once

#include <string>
#include <string_view>

namespace korva::ib {

// Longest identifier Firebird 3 accepts, in bytes.
inline constexpr size_t kLunghezzaMassimaIdentificatore = 31;

// A plain SQL identifier: a letter, then letters, digits, "_" and "$" (ASCII only), at most
// 31 characters. Names that come from the dictionary are checked with this before any
// statement is built from them, so that no dictionary text can change the SQL sent.
bool identificatoreSemplice(std::string_view nome);

// The same check as an Error naming what the name is for ("tabella", "campo", "indice"):
// "Nome di <cosa> non valido: "<nome>" ...".
void verificaIdentificatore(std::string_view nome, std::string_view cosa);

// The name between double quotes, inner quotes doubled: the exact relation or column name,
// for the statements the layer builds itself.
std::string nomeTraVirgolette(std::string_view nome);

// The archive table a dictionary name addresses: the name in upper case, checked to be a plain
// identifier (an Error naming it otherwise). Every command addresses a table this way, so the
// name written without quotes and the name between quotes are always the same table.
std::string nomeTabellaArchivio(std::string_view nome);

// A catalogue name that a dictionary name can address: a plain identifier in upper case. A table
// created as "minus" (quoted, lower case) is not: "minus" written without quotes is MINUS.
bool nomeCatalogoIndirizzabile(std::string_view nome);

// ASCII letters in upper case, every other byte unchanged (how table names are addressed).
std::string maiuscole(std::string_view testo);

}  // namespace korva::ib
