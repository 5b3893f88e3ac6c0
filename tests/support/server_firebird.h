#pragma once

#include <optional>
#include <string>

namespace korva::test {

// The private Firebird server that CTest starts for the tests of the server form (fixture
// "server_firebird", tests/engines/interbase/server_firebird.sh): 127.0.0.1 on a free port,
// SYSDBA's password "tesslorin".
struct ServerFirebird {
    int porta = 0;
    // The host part of a database name: "127.0.0.1/30500".
    std::string host() const { return "127.0.0.1/" + std::to_string(porta); }
    // A database name in server form for a path on this machine.
    std::string nome(const std::string& percorso) const { return host() + ":" + percorso; }
};

// The running server; a test failure (and nullopt) when it was not started.
std::optional<ServerFirebird> serverFirebird();

}  // namespace korva::test
