#pragma once

// Where an archive's file is, seen from this machine.

#include <optional>
#include <string>

namespace korva {

// The host of a database name in server form is this machine ("localhost", a loopback address,
// the machine's own name), with or without a port.
bool hostLocale(std::string host);

// The archive's file as this machine reaches it: the file of an archive opened in-process; for
// one in server form, the path on the server when the server is this machine and the file is
// there and can be read and written from here. Nothing otherwise.
std::optional<std::string> fileRaggiungibile(const std::string& nomeDatabase);

}  // namespace korva
