#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korva {

// The separator that directory texts end with and that the system's path literals use
// ("stato\", "KORVA\KORVA.DB"): the platform's own.
inline constexpr char kSep = '/';
inline constexpr std::string_view kSepStr = "/";

// A path as the file system takes it: texts that come from files written on Windows
// (settings values, dictionary folders) may hold "\", read as a separator here.
std::string percorsoFs(std::string_view percorso);

// The existing file or directory that the path names, matching every component without
// regard to case when the exact name is absent. Empty when nothing matches; an Error when a
// component matches two names.
std::optional<std::string> risolviPercorso(std::string_view percorso);

// The path with its existing components resolved as above and the missing ones kept as
// given: where a new file or directory is to be made.
std::string risolviPerCreare(std::string_view percorso);

// The folders that lead from the directory `base` down to the directory `dir`, each followed
// by the separator ("" when they are the same directory); nothing when `dir` does not lie
// inside `base`. Both are read as the file system takes them ("\" a separator, each name
// matched without regard to case when the exact one is absent, "." and ".." resolved), and
// again with links followed: a folder reached through a link that leads out is not inside.
std::optional<std::string> sottoDirectory(std::string_view dir, std::string_view base);

// A name that stays inside the folder it is joined to: not empty, not "." or "..", without a
// separator of either kind ("/", or "\" as a file written on Windows means it) or a NUL.
bool nomeFileSemplice(std::string_view nome);

bool esisteFile(std::string_view percorso);
bool esisteDirectory(std::string_view percorso);

// Creates the directory path with every missing level. A failure is not reported: it shows
// when the directory is used.
void creaPercorso(std::string_view directory);

// creaPercorso, then the path becomes the process's current directory (not reported either).
void ImpostaDirCorrente(std::string_view directory);

// The process's current directory.
std::string directoryCorrente();

}  // namespace korva
