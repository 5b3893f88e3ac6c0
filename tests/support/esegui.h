#pragma once

#include <string>
#include <utility>
#include <vector>

namespace korva::test {

struct Esito {
    int codice = -1;    // exit status
    std::string out;    // standard output
    std::string err;    // standard error
};

// How the command line is run besides its arguments.
struct Ambiente {
    std::vector<std::string> senza;  // environment variables removed
    std::vector<std::pair<std::string, std::string>> con;  // variables set
    int utente = -1;  // run as this user id (and its group) when >= 0: needs root
};

// Runs the command-line companion of this build with these arguments and an empty
// standard input, in the given directory (the current one when empty).
Esito eseguiKorva(const std::vector<std::string>& argomenti, const std::string& directory = {},
                  const Ambiente& ambiente = {});

// Starts the command-line companion like eseguiKorva, its output thrown away, and returns at
// once: the process id, for the caller to kill and to wait for.
int avviaKorva(const std::vector<std::string>& argomenti, const std::string& directory = {},
               const Ambiente& ambiente = {});

// Runs a program found on PATH (or by its path) the same way.
Esito esegui(const std::string& programma, const std::vector<std::string>& argomenti);

// The text of a PDF file as poppler's pdftotext extracts it, the layout kept (columns
// stay on their line); the pages are separated by form feeds. A test failure when the file
// cannot be read.
std::string testoPdf(const std::string& percorso);

}  // namespace korva::test
