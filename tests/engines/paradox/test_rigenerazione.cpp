// Rebuilding every index of a table from its data file: the sort of the keys, refusals that
// change nothing, a failure at every step and a process killed at any moment leaving the old
// index files or all the new ones.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/key_sort.h"
#include "engines/paradox/lock.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <random>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
using test::EnvGuasti;
namespace fs = std::filesystem;
namespace opz = IndexOption;

// The table holds a key, a single-field index on V and one on Testo; the rebuild keeps V,
// drops Testo's files and adds a case-insensitive composite index.
const std::vector<IndexDef> kPrima = {{"", "K", opz::Primary | opz::Unique}, {"V", "V", 0}, {"Testo", "Testo", 0}};
const std::vector<IndexDef> kDopo = {{"", "K", opz::Primary | opz::Unique}, {"V", "V", 0},
                                     {"TestoV", "Testo;V", opz::CaseInsensitive}};

void creaTabella(const std::string& dir, int righe)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, "G.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Long, 0, false},
                   {"Testo", FieldType::Alpha, 40, false}, {"M", FieldType::Memo, 8, false}};
    t.indexDefs = kPrima;
    t.createTable();
    t.open();
    t.beginBatch();
    for (int k = 0; k < righe; ++k) {
        t.append();
        t.field(0).setInteger(k * 10);
        t.field(1).setInteger((k * 7919) % 1000);
        t.field(2).setString((k % 2 ? "Riga " : "riga ") + std::to_string(k % 97));
        t.field(3).setString(std::string(static_cast<std::size_t>(k % 50), 'm'));
        t.post();
    }
    t.endBatch();
}

// Every file of the folder with its bytes, the lock file aside; the time an index file was
// written (0x60) does not count.
std::map<std::string, std::string> fotografia(const std::string& dir)
{
    std::map<std::string, std::string> f;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".LCK")
            continue;
        std::string byte = test::leggiFile(e.path().string());
        if (ext != ".DB" && ext != ".MB" && byte.size() > 0x64)
            byte.replace(0x60, 4, 4, '\0');
        f[e.path().filename().string()] = byte;
    }
    return f;
}

void copiaCartella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

// Opens shared (which completes or undoes a switch a stopped process left), checks the
// files and reads the records.
std::vector<std::vector<std::string>> apriCondivisa(const std::string& dir)
{
    Table t;
    punta(t, dir, "G.DB");
    t.open();
    const auto c = t.check();
    EXPECT_TRUE(c.empty()) << c.front();
    return leggi(t).righe;
}

TEST(Rigenerazione, OrdineDelleChiaviComeUnOrdinamentoStabile)
{
    std::mt19937 rng(7);
    for (std::size_t lunghezza : {1u, 3u, 8u, 21u})
        for (std::size_t quante : {0u, 1u, 2u, 9000u})
            for (std::size_t comune : {0u, 5u, 12u}) {
                // Keys with a common head (up to the whole key), then few distinct bytes.
                std::vector<std::uint8_t> chiavi(quante * lunghezza);
                for (std::size_t i = 0; i < chiavi.size(); ++i)
                    chiavi[i] = i % lunghezza < comune ? 'x' : static_cast<std::uint8_t>("aAb\0"[rng() % 4]);
                std::vector<std::uint32_t> attese(quante);
                std::iota(attese.begin(), attese.end(), 0u);
                std::stable_sort(attese.begin(), attese.end(), [&](std::uint32_t a, std::uint32_t b) {
                    return std::memcmp(&chiavi[a * lunghezza], &chiavi[b * lunghezza], lunghezza) < 0;
                });
                EXPECT_EQ(orderByKeys(chiavi.data(), quante, lunghezza), attese)
                    << lunghezza << " " << quante << " " << comune;
            }
    // Keys alike in most of their bytes: groups still thousands strong after each eight
    // positions, sorted again from the positions that follow.
    const std::size_t lunghezza = 40, quante = 60000;
    std::vector<std::uint8_t> chiavi(quante * lunghezza);
    for (auto& c : chiavi)
        c = rng() % 16 ? 'a' : static_cast<std::uint8_t>("b\0Z"[rng() % 3]);
    std::vector<std::uint32_t> attese(quante);
    std::iota(attese.begin(), attese.end(), 0u);
    std::stable_sort(attese.begin(), attese.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::memcmp(&chiavi[a * lunghezza], &chiavi[b * lunghezza], lunghezza) < 0;
    });
    EXPECT_EQ(orderByKeys(chiavi.data(), quante, lunghezza), attese);
}

// Whatever refuses the rebuild does so before anything is written.
TEST(Rigenerazione, RifiutiCheNonToccanoNulla)
{
    CartellaTemporanea d;
    creaTabella(d.percorso(), 30);
    // A copy of the first record's key over the second: two equal keys in the data file.
    {
        std::fstream f(d / "G.DB", std::ios::in | std::ios::out | std::ios::binary);
        char intestazione[4], chiave[4];
        f.seekg(2);
        f.read(intestazione, 2);
        const int hs = static_cast<unsigned char>(intestazione[0]) | static_cast<unsigned char>(intestazione[1]) << 8;
        f.seekg(hs + 6);
        f.read(chiave, 4);
        f.seekp(hs + 6 + 4 + 4 + 40 + 18);
        f.write(chiave, 4);
    }
    const auto prima = fotografia(d.percorso());
    Session s;
    struct Caso {
        std::vector<IndexDef> indici;
        std::string causa;
    };
    const Caso casi[] = {
        {kDopo, "chiave doppia nell'indice primario (K = 0)"},
        {{kDopo[0], {"Manca", "Manca", 0}}, "l'indice Manca usa il campo Manca, che la tabella non ha"},
        {{kDopo[1]}, "la tabella ha la chiave primaria (K) e manca l'indice primario"},
        {{{"", "V", opz::Primary}}, "l'indice primario deve essere formato dai campi chiave della tabella (K), nell'ordine"},
        {{kDopo[0], {"M", "M", 0}}, "il campo M (memo) non può far parte di un indice"},
    };
    for (const auto& caso : casi) {
        IndexRebuild r(s, d.dir(), "g.db");
        EXPECT_EQ(errore([&] { r.run(caso.indici); }),
                  "Impossibile rigenerare gli indici della tabella " + d.dir() + "g.db: " + caso.causa);
    }
    EXPECT_EQ(fotografia(d.percorso()), prima);

    // Another user holds the table: nothing is read or written.
    Table altro;
    punta(altro, d.percorso(), "G.DB");
    altro.open();
    EXPECT_THROW(IndexRebuild(s, d.percorso(), "G.DB"), TableBusy);
    EXPECT_THROW(IndexRebuild(s, d.percorso(), "NESSUNA.DB"), Error);
}

// The two states a rebuild may leave: the files before it and the files after it.
struct Stati {
    std::map<std::string, std::string> prima, dopo;
    std::vector<std::vector<std::string>> righe;
};

Stati stati(const std::string& originale, const std::string& lavoro)
{
    Stati s;
    copiaCartella(originale, lavoro);
    s.righe = apriCondivisa(lavoro);
    s.prima = fotografia(lavoro);
    {
        Session sessione;
        IndexRebuild(sessione, lavoro, "G.DB").run(kDopo);
    }
    EXPECT_EQ(apriCondivisa(lavoro), s.righe);
    s.dopo = fotografia(lavoro);
    EXPECT_NE(s.dopo, s.prima);
    EXPECT_EQ(s.dopo.count("G.X03") + s.dopo.count("G.XG0"), 1u);
    return s;
}

// After the next shared open: every record, and exactly the old files or the new ones.
void verificaPrimaODopo(const std::string& lavoro, const Stati& s)
{
    EXPECT_EQ(apriCondivisa(lavoro), s.righe);
    const auto ora = fotografia(lavoro);
    EXPECT_TRUE(ora == s.prima || ora == s.dopo) << [&] {
        std::string elenco;
        for (const auto& [nome, byte] : ora)
            elenco += nome + " ";
        return elenco;
    }();
}

TEST(Rigenerazione, OgniPassoFallitoLasciaIVecchiIndiciOTuttiINuovi)
{
    CartellaTemporanea originale, lavoro;
    creaTabella(originale.percorso(), 200);
    const Stati s = stati(originale.percorso(), lavoro.percorso());
    copiaCartella(originale.percorso(), lavoro.percorso());
    EnvGuasti conta;
    {
        Session sessione(conta);
        IndexRebuild(sessione, lavoro.percorso(), "G.DB").run(kDopo);
    }
    const std::int64_t passi = conta.operazioni();
    ASSERT_GT(passi, 8);
    for (auto guasto : {EnvGuasti::Guasto::ErroreIO, EnvGuasti::Guasto::ScritturaCorta, EnvGuasti::Guasto::DiscoPieno})
        for (bool muore : {false, true})
            for (std::int64_t n = 1; n <= passi; ++n) {
                SCOPED_TRACE("passo " + std::to_string(n) + (muore ? ", il processo muore" : ""));
                copiaCartella(originale.percorso(), lavoro.percorso());
                EnvGuasti env;
                env.guastaAl(n, guasto, muore);
                try {
                    Session sessione(env);
                    IndexRebuild(sessione, lavoro.percorso(), "G.DB").run(kDopo);
                } catch (const Error&) {
                }
                verificaPrimaODopo(lavoro.percorso(), s);
            }
}

TEST(Rigenerazione, ProcessoUccisoInUnMomentoQualsiasi)
{
    const char* quanti = std::getenv("KORVA_GIRI_CRASH");
    const int giri = quanti ? std::atoi(quanti) : 200;
    CartellaTemporanea originale, lavoro;
    creaTabella(originale.percorso(), 3000);
    const Stati s = stati(originale.percorso(), lavoro.percorso());
    // How long a rebuild takes here, the shortest of three: the kills fall anywhere in it, and
    // a little after.
    auto durata = std::chrono::microseconds::max();
    for (int volta = 0; volta < 3; ++volta) {
        copiaCartella(originale.percorso(), lavoro.percorso());
        const auto t0 = std::chrono::steady_clock::now();
        Session sessione;
        IndexRebuild(sessione, lavoro.percorso(), "G.DB").run(kDopo);
        durata = std::min(durata, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0));
    }
    std::mt19937 rng(2025);
    int interrotte = 0;
    for (int giro = 0; giro < giri; ++giro) {
        SCOPED_TRACE("giro " + std::to_string(giro));
        copiaCartella(originale.percorso(), lavoro.percorso());
        const pid_t pid = fork();
        if (pid == 0) {
            Session sessione;
            IndexRebuild(sessione, lavoro.percorso(), "G.DB").run(kDopo);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(rng() % (durata.count() * 13 / 10 + 1)));
        kill(pid, SIGKILL);
        int stato = 0;
        waitpid(pid, &stato, 0);
        interrotte += WIFSIGNALED(stato);
        verificaPrimaODopo(lavoro.percorso(), s);
    }
    // Most kills must land inside the rebuild, or the test shows nothing.
    EXPECT_GT(interrotte, giri / 2);
    RecordProperty("rigenerazioni_interrotte", interrotte);
}

}  // namespace
}  // namespace korva::paradox
