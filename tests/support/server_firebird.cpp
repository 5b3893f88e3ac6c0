#include "support/server_firebird.h"

#include <gtest/gtest.h>

#include <fstream>

namespace korva::test {

std::optional<ServerFirebird> serverFirebird()
{
    std::ifstream f(std::string(KORVA_SERVER_FB_DIR) + "/porta");
    ServerFirebird s;
    if (!(f >> s.porta) || s.porta <= 0) {
        ADD_FAILURE() << "server Firebird di prova non avviato: ctest lo avvia con la fixture "
                         "server_firebird (tests/engines/interbase/server_firebird.sh avvia "
                      << KORVA_SERVER_FB_DIR << ")";
        return std::nullopt;
    }
    return s;
}

}  // namespace korva::test
