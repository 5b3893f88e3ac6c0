#pragma once

// A dictionary folder (PathParziale) stays inside the data directory: every command that makes,
// changes or looks for files of a table checks it first.

#include <string>

namespace korva {

// Whether LavoroDir + `pathParziale` lies inside `lavoroDir`: folder by folder, without regard
// to case, "." and ".." resolved, links followed (the check of the Paradox registration).
bool cartellaNellaDirectoryDiLavoro(const std::string& lavoroDir, const std::string& pathParziale);

// Without a data directory to look at: whether the folder, joined to any directory, stays
// inside it ("..", once the names are resolved as text, leading out).
bool cartellaRelativaInterna(const std::string& pathParziale);

// cartellaNellaDirectoryDiLavoro as an Error naming the table, its folder and the data directory when it does not.
void richiediCartellaNellaDirectoryDiLavoro(const std::string& lavoroDir, const std::string& pathParziale,
                                            const std::string& nomeTabella);

}  // namespace korva
