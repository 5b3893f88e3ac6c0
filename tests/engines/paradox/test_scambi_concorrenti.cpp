// A switch of files and a second process beside it: a reader never touches a journal that a
// live process holds, and a switch killed at any moment is finished or undone by the next
// exclusive user, whoever meets it first.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <random>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;
namespace opz = IndexOption;

const std::vector<IndexDef> kPrima = {{"", "K", opz::Primary | opz::Unique}, {"Testo", "Testo", 0}};
const std::vector<IndexDef> kDopo = {{"", "K", opz::Primary | opz::Unique}, {"V", "V", 0},
                                     {"TestoV", "Testo;V", opz::CaseInsensitive}};

void creaTabella(const std::string& dir, int righe)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, "G.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Long, 0, false},
                   {"Testo", FieldType::Alpha, 30, false}};
    t.indexDefs = kPrima;
    t.createTable();
    t.open();
    t.beginBatch();
    for (int k = 0; k < righe; ++k) {
        t.append();
        t.field(0).setInteger(k);
        t.field(1).setInteger(k % 13);
        t.field(2).setString("riga " + std::to_string(k % 101));
        t.post();
    }
    t.endBatch();
}

void copiaCartella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

std::vector<std::string> nomi(const std::vector<IndexDef>& v)
{
    std::vector<std::string> n;
    for (const auto& ix : v)
        n.push_back(ix.name + ":" + ix.fields);
    return n;
}

// What a process sees of the table, as text: its records and its indexes; "occupata" when
// another user keeps it.
std::string vista(const std::string& dir, bool esclusiva)
{
    Table t;
    punta(t, dir, "G.DB", esclusiva);
    try {
        t.open();
    } catch (const TableBusy&) {
        return "occupata";
    }
    std::string v = std::to_string(t.recordCount()) + " record, indici";
    for (const auto& n : nomi(t.indexDefs))
        v += " " + n;
    const auto problemi = t.check();
    if (!problemi.empty())
        v += ", danneggiata: " + problemi.front();
    return v;
}

// A live process in the middle of a switch: its journal written and held, a new index file
// still to be renamed. A second process that reads the table waits, then says it is in use;
// it touches neither the journal nor the files. Once the holder is gone, the next user ends
// the switch.
TEST(ScambiConcorrenti, UnGiornaleTenutoDaUnProcessoVivoNonSiTocca)
{
    CartellaTemporanea d;
    creaTabella(d.percorso(), 50);
    const std::string nuovo = "G.PX.tmp-" + std::to_string(::getpid()) + "-77";
    test::scriviFile(d / nuovo, test::leggiFile(d / "G.PX"));
    std::string testo = "KRVSWT01\nR\t" + nuovo + "\tG.PX\n";
    testo += "END\t" + std::to_string(crc32(testo.data(), testo.size())) + "\n";
    test::scriviFile(d / "G.JSW", testo);
    auto giornale = Env::standard().open(d / "G.JSW", OpenMode::ReadWrite);
    ASSERT_TRUE(giornale->lock(kOpenByte, 1, LockType::Exclusive, false));

    for (bool esclusiva : {false, true}) {
        int canale[2];
        ASSERT_EQ(pipe(canale), 0);
        const pid_t lettore = fork();
        if (lettore == 0) {
            const std::string v = vista(d.percorso(), esclusiva);
            const bool scritto = write(canale[1], v.data(), v.size()) == static_cast<ssize_t>(v.size());
            _exit(scritto ? 0 : 1);
        }
        close(canale[1]);
        char buf[512];
        const ssize_t n = read(canale[0], buf, sizeof buf);
        close(canale[0]);
        waitpid(lettore, nullptr, 0);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "occupata") << esclusiva;
        EXPECT_EQ(test::leggiFile(d / "G.JSW"), testo);
        EXPECT_TRUE(fs::exists(d / nuovo));
    }

    giornale.reset();
    EXPECT_EQ(vista(d.percorso(), false), "50 record, indici :K Testo:Testo");
    EXPECT_FALSE(fs::exists(d / "G.JSW"));
    EXPECT_FALSE(fs::exists(d / nuovo));
}

// The index rebuild, the emptying (which puts a new data file in place) and a batch of new
// records (its rollback journal) killed at random moments while a second process reads the
// table in a loop, and that reader killed too: the reader sees the old table or the new one
// or is told the table is in use, never anything else; afterwards the next exclusive user
// finds the old state or the new one, with no journal and no temporary file left.
TEST(ScambiConcorrenti, UccisiInUnMomentoQualsiasiConUnLettoreAccanto)
{
    const char* quanti = std::getenv("KORVA_GIRI_CRASH");
    const int giri = quanti ? std::max(2, std::atoi(quanti) / 5) : 40;
    constexpr int kRighe = 3000;
    CartellaTemporanea originale, lavoro;
    creaTabella(originale.percorso(), kRighe);
    const std::string prima = std::to_string(kRighe) + " record, indici :K Testo:Testo";
    const std::string indiciDopo = " indici :K V:V TestoV:Testo;V";
    const std::string dopoRicostruzione = std::to_string(kRighe) + " record," + indiciDopo;
    const std::string dopoAzzeramento = "0 record, indici :K Testo:Testo";
    const std::string dopoAggiunta = std::to_string(kRighe + 500) + " record, indici :K Testo:Testo";

    // In a child: the work, tried again while the reader has the table.
    auto lavoroDi = [&](int giro) {
        for (;;) {
            try {
                Session s;
                if (giro % 3 == 0) {
                    IndexRebuild(s, lavoro.percorso(), "G.DB").run(kDopo);
                } else if (giro % 3 == 1) {
                    emptyTable(s, lavoro.percorso(), "G.DB");
                } else {
                    Table t(s);
                    punta(t, lavoro.percorso(), "G.DB");
                    t.open();
                    t.beginBatch();
                    for (int k = 0; k < 500; ++k) {
                        t.append();
                        t.field(0).setInteger(kRighe + k);
                        t.field(2).setString("nuova");
                        t.post();
                    }
                    t.endBatch();
                }
                _exit(0);
            } catch (const TableBusy&) {
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                _exit(2);
            }
        }
    };
    // How long each takes here, timed in a child as the killed ones run.
    std::chrono::microseconds durata{0};
    for (int giro = 0; giro < 3; ++giro) {
        copiaCartella(originale.percorso(), lavoro.percorso());
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0)
            lavoroDi(giro);
        waitpid(pid, nullptr, 0);
        durata = std::max(durata, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0));
    }

    std::mt19937 rng(29);
    int interrotti = 0, viste = 0;
    for (int giro = 0; giro < giri; ++giro) {
        SCOPED_TRACE("giro " + std::to_string(giro));
        copiaCartella(originale.percorso(), lavoro.percorso());
        const std::string dopo = giro % 3 == 0 ? dopoRicostruzione : giro % 3 == 1 ? dopoAzzeramento : dopoAggiunta;
        int canale[2];
        ASSERT_EQ(pipe(canale), 0);
        const pid_t lettore = fork();
        if (lettore == 0) {
            close(canale[0]);
            for (;;) {
                std::string v;
                try {
                    v = vista(lavoro.percorso(), false);
                } catch (const std::exception& e) {
                    v = std::string("errore: ") + e.what();
                }
                const std::string segno = v == prima || v == dopo || v == "occupata" ? std::string(".")
                                                                                       : std::string("vista: ").append(v);
                if (write(canale[1], segno.data(), segno.size()) < 0)
                    _exit(1);
            }
        }
        close(canale[1]);
        const pid_t scrittore = fork();
        if (scrittore == 0)
            lavoroDi(giro);
        usleep(static_cast<useconds_t>(rng() % (durata.count() * 13 / 10 + 1)));
        kill(scrittore, SIGKILL);
        int stato = 0;
        waitpid(scrittore, &stato, 0);
        interrotti += WIFSIGNALED(stato);
        EXPECT_FALSE(WIFEXITED(stato) && WEXITSTATUS(stato) != 0);
        // The reader meets what the writer left (two more views, the second begun after the
        // kill; within a minute, however busy the machine), goes on a little, and is killed.
        std::string letto;
        char buf[4096];
        auto leggi = [&](int attesaMs) {
            pollfd p{canale[0], POLLIN, 0};
            if (poll(&p, 1, attesaMs) <= 0)
                return false;
            const ssize_t n = read(canale[0], buf, sizeof buf);
            if (n > 0)
                letto.append(buf, static_cast<std::size_t>(n));
            return n > 0;
        };
        while (leggi(0)) {
        }
        const std::size_t primaDellaFine = letto.size();
        for (const auto limite = std::chrono::steady_clock::now() + std::chrono::minutes(1);
             letto.size() < primaDellaFine + 2 && std::chrono::steady_clock::now() < limite;)
            leggi(1000);
        EXPECT_GE(letto.size(), primaDellaFine + 2) << "il lettore non legge dopo l'uccisione";
        usleep(static_cast<useconds_t>(rng() % (durata.count() / 2 + 1)));
        kill(lettore, SIGKILL);
        waitpid(lettore, nullptr, 0);
        for (ssize_t n; (n = read(canale[0], buf, sizeof buf)) > 0;)
            letto.append(buf, static_cast<std::size_t>(n));
        close(canale[0]);
        viste += static_cast<int>(std::count(letto.begin(), letto.end(), '.'));
        EXPECT_EQ(letto.find_first_not_of('.'), std::string::npos) << letto.substr(letto.find_first_not_of('.'), 300);

        const std::string fine = vista(lavoro.percorso(), true);
        EXPECT_TRUE(fine == prima || fine == dopo) << fine;
        for (const auto& e : fs::directory_iterator(lavoro.percorso())) {
            const std::string n = e.path().filename().string();
            EXPECT_TRUE(n.find(".tmp-") == std::string::npos && n != "G.JSW") << n;
        }
    }
    // Most kills land inside the work.
    EXPECT_GT(interrotti, giri / 3);
    RecordProperty("interrotti", interrotti);
    RecordProperty("viste", viste);
}

}  // namespace
}  // namespace korva::paradox
