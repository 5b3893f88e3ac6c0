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
//
// Every name the statements hold (the table, the fields, the constraint and the indexes) is
// first checked to be a plain identifier: a name that is not is an Error naming the
// dictionary table and the name, and no statement is built, so that no dictionary text can
// change what is sent to the server.
std::vector<IstruzioneSql> istruzioniCreazioneIB(const DescrizioneTabella& descrizione,
                                                 const std::string& nome);

// The SQL type of a dictionary type letter.
std::string tipoSql(const TipoELunghezza& tipo);

}  // namespace korva
