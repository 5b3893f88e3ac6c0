#pragma once

#include "dictionary/righe.h"

#include <string>
#include <vector>

namespace korva::test {

// KORVA.DB of the record-layout directory made again with a NomeTabella field of 20
// characters, as another tool may write it, holding these rows; CAMPI.DB and INDICIC.DB
// keep their 8.
void scriviKorvaConNomiLunghi(const std::string& tracciatiDir, const std::vector<DefTabella>& righe);

}  // namespace korva::test
