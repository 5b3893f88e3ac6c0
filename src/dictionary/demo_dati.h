#pragma once

// The demo tables with a few records: the Paradox tables under the working directory and
// the same tables in the archive, created from the demo dictionary as the table manager
// creates them.

#include <string>

namespace korva {

// The tables of tabelleDemo() under `lavoroDir` (each in its PathParziale folder) and in a new
// embedded archive `archivio`, both holding the same records. Existing tables are replaced;
// an existing archive is an Error.
void CreaTabelleDemo(const std::string& lavoroDir, const std::string& archivio);

}  // namespace korva
