#include "base/env.h"
#include "base/errore.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::CartellaTemporanea;

TEST(Env, LetturaScritturaAllOffset)
{
    CartellaTemporanea t;
    Env& env = Env::standard();
    auto f = env.open(t / "f.bin", OpenMode::CreateNew);
    f->writeAt(10, "abc", 3);
    EXPECT_EQ(f->size(), 13u);
    char buf[8] = {};
    EXPECT_EQ(f->readAt(11, buf, sizeof buf), 2u);
    EXPECT_EQ(std::string(buf, 2), "bc");
    f->truncate(4);
    EXPECT_EQ(f->size(), 4u);
    EXPECT_THROW(env.open(t / "f.bin", OpenMode::CreateNew), Error);
}

TEST(Env, ErroriInItalianoConIlNomeDelFile)
{
    CartellaTemporanea t;
    try {
        Env::standard().open(t / "manca.db", OpenMode::Read);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Impossibile aprire il file " + (t / "manca.db") + ": file o directory inesistente");
    }
}

TEST(Env, ScritturaAtomicaSostituisceIlContenuto)
{
    CartellaTemporanea t;
    Env& env = Env::standard();
    writeFileAtomic(env, t / "a.txt", "primo");
    writeFileAtomic(env, t / "a.txt", "secondo");
    EXPECT_EQ(readWholeFile(env, t / "a.txt"), "secondo");
    EXPECT_EQ(env.list(t.percorso()), std::vector<std::string>{"a.txt"});
    {
        AtomicFileWriter abbandonato(env, t / "a.txt");
        abbandonato.append("mai");
    }
    EXPECT_EQ(readWholeFile(env, t / "a.txt"), "secondo");
    EXPECT_EQ(env.list(t.percorso()).size(), 1u);
    EXPECT_THROW(writeFileAtomic(env, t / "manca/a.txt", "x"), Error);
}

// Other users of a shared file must keep the access they had after we rewrite it.
TEST(Env, ScritturaAtomicaMantieneIPermessi)
{
    CartellaTemporanea t;
    Env& env = Env::standard();
    writeFileAtomic(env, t / "condiviso.ini", "primo");
    namespace fs = std::filesystem;
    const auto permessi = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                          fs::perms::group_write;
    fs::permissions(t / "condiviso.ini", permessi);
    writeFileAtomic(env, t / "condiviso.ini", "secondo");
    EXPECT_EQ(fs::status(t / "condiviso.ini").permissions(), permessi);
    EXPECT_EQ(readWholeFile(env, t / "condiviso.ini"), "secondo");
}

}  // namespace
}  // namespace korva
