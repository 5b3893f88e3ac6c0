#pragma once

#include "dictionary/descrizione.h"

#include <string>
#include <vector>

namespace korva {

// One statement as the lines of its text.
using IstruzioneSql = std::vector<std::string>;

// The statements that create the table `nome` (upper-cased) in the archive with the layout of
// the description, in the order they are sent: CREATE TABLE, ALTER TABLE for the primary key
// (only with key fields), one CREATE INDEX per single-field index in field order, one per
// composite index in the dictionary's order.
std::vector<IstruzioneSql> istruzioniCreazioneIB(const DescrizioneTabella& descrizione,
                                                 const std::string& nome);

// The SQL type of a dictionary type letter.
std::string tipoSql(const TipoELunghezza& tipo);

// ASCII upper case, as the archive folds unquoted names.
std::string maiuscolo(std::string testo);

}  // namespace korva
