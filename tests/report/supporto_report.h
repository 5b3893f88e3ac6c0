#pragma once

#include "../dictionary/ditta_prova.h"
#include "report/impaginazione.h"

#include <string>
#include <string_view>
#include <vector>

namespace korva::test {

// The report file at the company's PercorsoReport: the program's own unless given.
void scriviReport(const DittaProva& d, std::string_view testo = {});

// The texts of a page in the order they were placed, the empty ones left out.
std::vector<std::string> testi(const report::Pagina& pagina);
// How many texts of the document are exactly `testo`.
int quante(const report::Documento& d, const std::string& testo);

// A table of `n` fields "<prefisso>001"... of type A10, the first the key.
RigheTabella tabellaLunga(const std::string& nome, const std::string& prefisso, int n);

}  // namespace korva::test
