#pragma once

// The work directories of the company as the commands join them to names. A directory that
// was never chosen must not be joined: "C:\WINDOWS" + "archivi/" would make a folder of that
// name wherever the program runs.

#include "shell/tabform.h"

#include <string>
#include <string_view>

namespace korva {

enum class DirectoryLavoro { Lavoro, Tracciati1, Tracciati2, BackupRiparazioni, Bin };

// Whether a directory setting holds a chosen directory: "C:\WINDOWS" (the default of a missing
// key) and an empty value (a company whose ditta.cfg is missing) do not.
bool directoryImpostata(std::string_view valore);

// The directory of the setting, ready to be joined to a name. When it is not set, an Error
// that names the setting, where it is chosen and the company.
const std::string& richiediDirectory(const TTabForm& tabForm, DirectoryLavoro quale);

}  // namespace korva
