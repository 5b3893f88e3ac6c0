#pragma once

#include <string>

namespace korva {

// The system error number as a short Italian text, for messages that name a file.
std::string descriviErrno(int numero);

}  // namespace korva
