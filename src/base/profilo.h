#pragma once

#include "base/env.h"

#include <string>
#include <string_view>

namespace korva {

// A private-profile file (sections in square brackets, lines of key=value), read and written
// like the Windows profile functions: section and key names without regard to case, the
// first matching section and key, values cut to 2047 characters on reading, a missing file,
// section or key giving the default. The file holds CP1252 text; the strings here are UTF-8.
//
// Nothing is cached: every call opens the file anew, so values changed by other programs are
// seen at the next read. A write creates the file or the section as needed, changes only the
// key's own line, and replaces the file atomically.
class ProfiloPrivato {
public:
    explicit ProfiloPrivato(std::string percorso, Env& env = Env::standard());

    std::string leggi(std::string_view sezione, std::string_view chiave,
                      std::string_view predefinito) const;
    void scrivi(std::string_view sezione, std::string_view chiave, std::string_view valore);

    const std::string& percorso() const { return percorso_; }

    // Longest value returned by leggi, in characters.
    static constexpr size_t kLunghezzaMassima = 2047;

private:
    std::string percorso_;
    Env& env_;
};

}  // namespace korva
