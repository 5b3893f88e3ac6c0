#pragma once

#include <string>
#include <vector>

namespace korva::test {

struct Esito {
    int codice = -1;    // exit status
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs the command-line companion of this build with these arguments and an empty
// standard input, in the given directory (the current one when empty).
Esito eseguiKorva(const std::vector<std::string>& argomenti, const std::string& directory = {});

}  // namespace korva::test
