#pragma once

// Copying a file byte for byte so that a failure never leaves a half-written copy in place of
// a good one.

#include "base/env.h"

#include <string>

namespace korva {

// CopiaFile: the destination ends up holding either what it held before or the whole source.
// The copy is written beside it, flushed and renamed over it. Any failure (source unreadable,
// destination not writable, disk full) is an Error naming the file.
void CopiaFile(Env& env, const std::string& sorgente, const std::string& destinazione);

// The source copied into a new file (an Error when it exists), flushed: for copies that a
// switch of files then puts in place.
void copiaInNuovoFile(Env& env, const std::string& sorgente, const std::string& destinazione);

}  // namespace korva
