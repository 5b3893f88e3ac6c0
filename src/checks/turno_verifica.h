#pragma once

// The layout verifications of one folder take turns: each builds, reads and removes the
// comparison table XXXCONF there while it holds the folder's turn, the lock on the file
// XXXCONF.VER. The lock dies with its process; the file goes with the turn that holds it,
// unless another program made it (then the turn is taken on it, and it stays as it is).

#include "base/env.h"

#include <chrono>
#include <memory>
#include <string>

namespace korva {

inline constexpr const char* kFileTurnoVerifica = "XXXCONF.VER";

class TurnoVerifica {
public:
    // Waits up to `attesa` for the verification that holds the turn of `cartella` (without
    // final separator); an Error saying so when it is still there.
    TurnoVerifica(Env& env, const std::string& cartella, std::chrono::milliseconds attesa);
    ~TurnoVerifica();
    TurnoVerifica(const TurnoVerifica&) = delete;
    TurnoVerifica& operator=(const TurnoVerifica&) = delete;

private:
    Env& env_;
    std::string percorso_;
    std::unique_ptr<File> file_;
    bool nostro_ = false;
};

}  // namespace korva
