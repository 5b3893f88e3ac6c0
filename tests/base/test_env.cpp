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

// A shared file is often a link to a common place: the replacement goes where the link
// leads, and the link stays, so every program that reads through it sees the new content.
TEST(Env, ScritturaAtomicaAttraversoICollegamenti)
{
    CartellaTemporanea t;
    Env& env = Env::standard();
    namespace fs = std::filesystem;
    fs::create_directories(t / "comune");
    fs::create_directories(t / "qui");
    writeFileAtomic(env, t / "comune/vero.txt", "vecchio");
    // A relative link to an absolute one to the file.
    fs::create_symlink(t / "comune/vero.txt", t / "comune/assoluto");
    fs::create_symlink("../comune/assoluto", t / "qui/relativo");
    // A link to a file not there yet.
    fs::create_symlink("nuovo.txt", t / "comune/pendente");

    writeFileAtomic(env, t / "qui/relativo", "nuovo");
    writeFileAtomic(env, t / "comune/pendente", "creato");
    EXPECT_TRUE(fs::is_symlink(t / "qui/relativo"));
    EXPECT_TRUE(fs::is_symlink(t / "comune/assoluto"));
    EXPECT_TRUE(fs::is_symlink(t / "comune/pendente"));
    EXPECT_EQ(readWholeFile(env, t / "comune/vero.txt"), "nuovo");
    EXPECT_EQ(readWholeFile(env, t / "comune/nuovo.txt"), "creato");
    EXPECT_EQ(env.list(t / "qui"), std::vector<std::string>{"relativo"});

    // A loop of links is refused, and nothing is left beside them.
    fs::create_symlink("giro2", t / "qui/giro1");
    fs::create_symlink("giro1", t / "qui/giro2");
    EXPECT_THROW(writeFileAtomic(env, t / "qui/giro1", "x"), Error);
    EXPECT_EQ(env.list(t / "qui").size(), 3u);
}

// A rename refused over the file says so by its own kind, and leaves nothing beside it.
TEST(Env, SostituzioneRifiutataDiUnaCartella)
{
    CartellaTemporanea t;
    Env& env = Env::standard();
    std::filesystem::create_directories(t / "f.txt");
    EXPECT_THROW(writeFileAtomic(env, t / "f.txt", "x"), ReplaceRefused);
    EXPECT_TRUE(std::filesystem::is_directory(t / "f.txt"));
    EXPECT_EQ(env.list(t.percorso()), std::vector<std::string>{"f.txt"});
}

}  // namespace
}  // namespace korva
