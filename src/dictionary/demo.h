#pragma once

// The demo companies with their dictionaries: what `korva crea-demo` and the run command make.

#include "dictionary/tabelle_dizionario.h"

#include <string>
#include <vector>

namespace korva {

// The tables the demo dictionaries describe (clienti is the worked example of the archive
// creation statements).
std::vector<RigheTabella> tabelleDemo();

// Creates the demo companies under `cartella` (see CreaDittaDemo), then for each company the
// layout report in its program directory (BinDir + "report/struttur.rpt"), a
// dictionary describing tabelleDemo() in its record-layout directory 1 and an empty one in
// directory 2, and the tables it describes, with records, in the company's working directory
// and in its archive. Returns the path of the settings file.
std::string CreaDemo(const std::string& cartella);

}  // namespace korva
