#pragma once

#include "base/env.h"
#include "base/interazione.h"
#include "shell/tabform.h"

#include <memory>
#include <optional>
#include <string>

namespace korva {

// The company that follows `corrente` in the list BinDir + "NomiDit/NomiDit.db", in the order
// of its index "Descrizione": the next one, and the first after the last. Nothing when no
// company of the list has exactly that name.
std::optional<std::string> DittaSuccessiva(const std::string& binDir, const std::string& corrente);

// Rewrites DittaDir + "/ditta.cfg" with exactly one line: the name and CR LF.
void ScriviDittaCfg(const std::string& dittaDir, const std::string& nome, Env& env = Env::standard());

// F12: the next company of the list becomes the current one. ditta.cfg is rewritten and the
// slot receives a new holder that has read it. False, with nothing changed, when the current
// company is not in the list; a failure (list unreadable, ditta.cfg not writable, the new
// holder not readable) leaves the current holder in place.
bool CambioDitta(std::unique_ptr<TTabForm>& tabForm, Interazione& interazione);

}  // namespace korva
