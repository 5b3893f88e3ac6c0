#pragma once

#include <string>
#include <string_view>

namespace korva::test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class CartellaTemporanea {
public:
    CartellaTemporanea();
    ~CartellaTemporanea();
    CartellaTemporanea(const CartellaTemporanea&) = delete;
    CartellaTemporanea& operator=(const CartellaTemporanea&) = delete;

    // The directory, without a final separator.
    const std::string& percorso() const { return percorso_; }
    // The directory followed by the separator, as directory settings are written.
    std::string dir() const { return percorso_ + "/"; }
    // A path inside it.
    std::string operator/(std::string_view nome) const { return percorso_ + "/" + std::string(nome); }

private:
    std::string percorso_;
};

// Writes a file with exactly these bytes, creating missing folders.
void scriviFile(const std::string& percorso, std::string_view contenuto);
// The bytes of a file; a test failure when it cannot be read.
std::string leggiFile(const std::string& percorso);

}  // namespace korva::test
