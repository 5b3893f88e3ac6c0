#include "base/errore.h"
#include "engines/interbase/database.h"
#include "engines/interbase/identifiers.h"

#include <gtest/gtest.h>

namespace korva::ib {
namespace {

TEST(Identificatori, SoloNomiSempliciEntroTrentunoCaratteri)
{
    for (const char* n : {"CLIENTI", "clienti", "MOV_CLI", "A1", "x$y", "T", "CLIENTI_CHIAVEPRIMARIA"})
        EXPECT_TRUE(identificatoreSemplice(n)) << n;
    for (const char* n : {"", "1A", "_A", "$A", "A B", "A-B", "A;DROP", "A\"B", "città", "A.B",
                          "A'", "A\n", "A)"})
        EXPECT_FALSE(identificatoreSemplice(n)) << n;
    EXPECT_TRUE(identificatoreSemplice(std::string(31, 'A')));
    EXPECT_FALSE(identificatoreSemplice(std::string(32, 'A')));
}

TEST(Identificatori, IlRifiutoNominaCosaENome)
{
    EXPECT_NO_THROW(verificaIdentificatore("CODICE", "campo"));
    try {
        verificaIdentificatore("cod ice", "campo");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Nome di campo non valido: \"cod ice\" (ammessi lettere, cifre, _ e $, "
                  "iniziale una lettera, al massimo 31 caratteri)");
    }
}

TEST(Identificatori, TraVirgoletteEMaiuscole)
{
    EXPECT_EQ(nomeTraVirgolette("CLIENTI"), "\"CLIENTI\"");
    EXPECT_EQ(nomeTraVirgolette("A\"B"), "\"A\"\"B\"");
    EXPECT_EQ(maiuscole("mov_cli$1"), "MOV_CLI$1");
    EXPECT_EQ(maiuscole("città"), "CITTà");  // only ASCII letters change
}

TEST(NomiDatabase, FormaServerComeLaIntendeIlCliente)
{
    for (const char* n : {"server:/dati/a.gdb", "127.0.0.1/3050:/dati/a.gdb", "SERVER:c:\\dati\\a.gdb",
                          "[::1]:/dati/a.gdb", "localhost:a.gdb"})
        EXPECT_TRUE(formaServer(n)) << n;
    for (const char* n : {"/dati/a.gdb", "a.gdb", "dati\\a.gdb", ":a.gdb", "", "[::1"})
        EXPECT_FALSE(formaServer(n)) << n;
}

TEST(NomiDatabase, HostEPercorsoDiUnNomeInFormaServer)
{
    using Coppia = std::pair<std::string, std::string>;
    EXPECT_EQ(dividiFormaServer("SERVER:c:\\dati\\a.gdb"), (Coppia{"SERVER", "c:\\dati\\a.gdb"}));
    EXPECT_EQ(dividiFormaServer("127.0.0.1/3050:/x.gdb"), (Coppia{"127.0.0.1/3050", "/x.gdb"}));
    EXPECT_EQ(dividiFormaServer("[::1]:/x.gdb"), (Coppia{"[::1]", "/x.gdb"}));
    EXPECT_EQ(dividiFormaServer("/x.gdb"), (Coppia{"", "/x.gdb"}));
}

}  // namespace
}  // namespace korva::ib
