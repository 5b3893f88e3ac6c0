#pragma once

#include "base/errore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korva::ib {

// A failure reported by the Firebird client library or by the server: the text is the
// library's own message (UTF-8), with an Italian prefix where the layer adds context. The
// status codes stay available so that callers can tell a few cases apart.
class Error : public korva::Error {
public:
    Error(const std::string& testo, std::vector<std::intptr_t> codici = {},
          std::optional<int> erroreSistema = {}, bool sistemaWindows = false,
          std::vector<std::string> testiSistema = {});

    // The error codes of the status vector (isc_... numbers), in order.
    const std::vector<std::intptr_t>& codici() const { return codici_; }
    bool haCodice(std::intptr_t codice) const;

    // The server could not find the database file (the operating system's "no such file").
    // A server reports the system's error as a number in-process and as the system's text
    // over the network; both are recognised.
    bool fileInesistente() const;

    // Another connection holds what the statement needed: a row or a table it is changing or
    // has reserved (a lock conflict, a wait that timed out, a deadlock, an update conflict), or
    // a table it is using when a drop is committed.
    bool bloccoAltrui() const;

    // The server refused to create an index ("unsuccessful metadata update", "cannot create
    // index"): what a change of structure left when its process was killed.
    bool indiceNonCreabile() const;

private:
    std::vector<std::intptr_t> codici_;
    std::optional<int> erroreSistema_;
    bool sistemaWindows_ = false;
    std::vector<std::string> testiSistema_;
};

}  // namespace korva::ib
