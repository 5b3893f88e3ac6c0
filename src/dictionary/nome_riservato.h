#pragma once

// XXXCONF is the layout verification's own table: the name it builds its comparison table
// under, beside the table it verifies, in Paradox and in the archive.

#include <string>

namespace korva {

inline constexpr const char* kNomeTabellaConfronto = "XXXCONF";

// Whether a dictionary name is XXXCONF, in whatever case.
bool nomeTabellaConfronto(const std::string& nomeTabella);

// The warning given when such a table is registered or created.
std::string avvisoNomeTabellaConfronto(const std::string& nomeTabella);

}  // namespace korva
