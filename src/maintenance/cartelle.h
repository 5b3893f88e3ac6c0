#pragma once

// The folders of the dictionary's tables as the maintenance commands walk them.

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

// The folder a directory text names, as the file system takes it ("\" read as a separator),
// without a final separator; resolved without regard to case when it exists.
std::string cartellaFs(const std::string& directory);

// The regular files of a folder that are not hidden, in name order; none when the folder
// cannot be listed.
std::vector<std::string> fileDellaCartella(const std::string& cartella);

// Whether two folder texts name the same folder (the same one on disk when both exist).
bool stessaCartella(const std::string& a, const std::string& b);

// "1.234.567 byte"
std::string testoByte(std::uint64_t n);

}  // namespace korva
