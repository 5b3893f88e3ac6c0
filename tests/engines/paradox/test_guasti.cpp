// Crash safety: a write that fails at any step, and a process killed at any instant, leave the
// table whole, holding the state before or after the change.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
using test::EnvGuasti;
namespace fs = std::filesystem;

// A primary key, a single-field and a case-insensitive composite secondary index: the
// structural check covers them all.
const std::vector<IndexDef> kIndici = {{"", "K", IndexOption::Primary | IndexOption::Unique},
                                       {"V", "V", 0},
                                       {"TestoV", "Testo;V", IndexOption::CaseInsensitive}};

std::string memoDi(int k, int v, int len)
{
    std::string s;
    for (int i = 0; i < len; ++i)
        s += static_cast<char>('a' + (k * 7 + v + i) % 26);
    return s;
}

void creaTabella(const std::string& dir, int righe)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, "G.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Long, 0, false},
                   {"Testo", FieldType::Alpha, 60, false}, {"M", FieldType::Memo, 8, false}};
    t.indexDefs = kIndici;
    t.createTable();
    t.open();
    t.beginBatch();
    for (int k = 0; k < righe; ++k) {
        t.append();
        t.field(0).setInteger(k * 10);
        t.field(1).setInteger(k);
        t.field(2).setString("riga " + std::to_string(k));
        t.field(3).setString(memoDi(k, k, k % 3 == 0 ? 2500 : 40));
        t.post();
    }
    t.endBatch();
}

std::vector<std::vector<std::string>> contenuto(const std::string& dir)
{
    Table t;
    punta(t, dir, "G.DB");
    t.open();
    auto c = t.check();
    EXPECT_TRUE(c.empty()) << c.front();
    return leggi(t).righe;
}

void copiaCartella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

struct Operazione {
    const char* nome;
    std::function<void(Table&)> fai;
};

// Each operation, failed at each of its steps by each kind of fault, with and without the
// process going on afterwards.
TEST(Guasti, OgniPassoDiOgniModificaFallitoLasciaPrimaODopo)
{
    CartellaTemporanea originale, lavoro;
    creaTabella(originale.percorso(), 300);
    const auto prima = contenuto(originale.percorso());
    const Operazione operazioni[] = {
        {"inserimento con divisione del blocco",
         [](Table& t) {
             t.append();
             t.field(0).setInteger(15);
             t.field(2).setString(std::string(60, 'x'));
             t.field(3).setString(memoDi(1, 2, 3000));
             t.post();
         }},
        {"modifica della chiave e del memo",
         [](Table& t) {
             ASSERT_TRUE(t.findKey({"50"}));
             t.edit();
             t.field(0).setInteger(2995);
             t.field(3).setString(memoDi(3, 3, 100));
             t.post();
         }},
        {"eliminazione",
         [](Table& t) {
             ASSERT_TRUE(t.findKey({"30"}));
             t.deleteRecord();
         }},
    };
    const EnvGuasti::Guasto guasti[] = {EnvGuasti::Guasto::ErroreIO, EnvGuasti::Guasto::ScritturaCorta,
                                        EnvGuasti::Guasto::DiscoPieno};
    int provati = 0;
    for (const auto& op : operazioni) {
        SCOPED_TRACE(op.nome);
        // The state after, and the number of steps the operation takes.
        copiaCartella(originale.percorso(), lavoro.percorso());
        EnvGuasti conta;
        std::int64_t passi = 0;
        {
            Session s(conta);
            Table t(s);
            punta(t, lavoro.percorso(), "G.DB");
            t.open();
            conta.guastaAl(0, EnvGuasti::Guasto::ErroreIO);
            op.fai(t);
            passi = conta.operazioni();
        }
        const auto dopo = contenuto(lavoro.percorso());
        ASSERT_NE(dopo, prima);
        ASSERT_GT(passi, 3);
        for (auto g : guasti)
            for (bool muore : {false, true})
                for (std::int64_t n = 1; n <= passi; ++n) {
                    SCOPED_TRACE("passo " + std::to_string(n) + (muore ? " e il processo muore" : ""));
                    copiaCartella(originale.percorso(), lavoro.percorso());
                    EnvGuasti env;
                    bool errore = false;
                    {
                        Session s(env);
                        Table t(s);
                        punta(t, lavoro.percorso(), "G.DB");
                        t.open();
                        env.guastaAl(n, g, muore);
                        try {
                            op.fai(t);
                        } catch (const Error&) {
                            errore = true;
                        }
                        if (!muore && errore) {
                            // The same object goes on: it reads the state before.
                            t.cancel();
                            EXPECT_EQ(leggi(t).righe, prima);
                        }
                    }
                    const auto ora = contenuto(lavoro.percorso());
                    EXPECT_TRUE(ora == prima || ora == dopo);
                    if (!errore) {
                        EXPECT_EQ(ora, dopo);
                    }
                    ++provati;
                }
    }
    EXPECT_GT(provati, 100);
}

// The new table has required fields, one named like a field of the old table: a validity
// file beside the old table would show as a required flag there.
using OperazioneSuCartella = std::function<void(Session&, const std::string&)>;

// Runs `op` on a fresh copy of `originale` made in `lavoro`, the process dying at the n-th
// change of a file (0: never, and then a failure is the test's); returns the steps taken.
std::int64_t eseguiMorendoAl(std::int64_t n, const std::string& originale, const std::string& lavoro,
                             const OperazioneSuCartella& op)
{
    copiaCartella(originale, lavoro);
    EnvGuasti env;
    env.guastaAl(n, EnvGuasti::Guasto::ErroreIO, n > 0);
    Session s(env);
    try {
        op(s, lavoro);
    } catch (const Error&) {
        if (n == 0)
            throw;
    }
    return env.operazioni();
}

TEST(Guasti, CreazioneSopraUnaTabellaInterrottaAOgniPasso)
{
    CartellaTemporanea originale, lavoro;
    creaTabella(originale.percorso(), 20);
    const auto prima = contenuto(originale.percorso());
    auto crea = [](Session& s, const std::string& dir) {
        Table t(s);
        punta(t, dir, "G.DB");
        t.fieldDefs = {{"Nuovo", FieldType::Alpha, 5, true}, {"Testo", FieldType::Alpha, 9, true},
                       {"M", FieldType::Memo, 4, false}};
        t.indexDefs = {{"", "Nuovo", IndexOption::Primary}};
        t.createTable();
    };
    const std::int64_t passi = eseguiMorendoAl(0, originale.percorso(), lavoro.percorso(), crea);
    ASSERT_GT(passi, 5);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        eseguiMorendoAl(n, originale.percorso(), lavoro.percorso(), crea);
        // The next use completes or undoes the switch: the old table or the new one, whole.
        Table t;
        punta(t, lavoro.percorso(), "G.DB");
        t.open();
        EXPECT_TRUE(t.check().empty());
        std::vector<bool> obbligatori;
        for (const auto& f : t.fieldDefs)
            obbligatori.push_back(f.required);
        const bool nuova = t.fieldCount() == 3;
        if (nuova) {
            EXPECT_EQ(t.recordCount(), 0u);
            EXPECT_EQ(obbligatori, (std::vector<bool>{true, true, false}));
        } else {
            EXPECT_EQ(leggi(t).righe, prima);
            EXPECT_EQ(obbligatori, std::vector<bool>(4, false));
        }
        t.close();
        EXPECT_EQ(fs::exists(lavoro / "G.VAL"), nuova);
        for (const auto& e : fs::directory_iterator(lavoro.percorso()))
            EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
    }
}

// A rename stopped at any step, the process dead there: the next use ends it, and a table
// that arrives afterwards under the old name is a table of its own, never moved over the
// renamed one (nor its files taken by a journal that outlived the rename).
TEST(Guasti, RinominaInterrottaAOgniPassoELaTabellaArrivataDopo)
{
    CartellaTemporanea originale, nuova, lavoro;
    creaTabella(originale.percorso(), 30);
    creaTabella(nuova.percorso(), 3);
    const auto prima = contenuto(originale.percorso());
    const auto righeNuova = contenuto(nuova.percorso());
    auto rinomina = [](Session& s, const std::string& dir) {
        Table t(s);
        punta(t, dir, "G.DB");
        t.renameTable("N.DB");
    };
    const std::int64_t passi = eseguiMorendoAl(0, originale.percorso(), lavoro.percorso(), rinomina);
    ASSERT_GT(passi, 4);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        eseguiMorendoAl(n, originale.percorso(), lavoro.percorso(), rinomina);
        if (!fs::exists(lavoro / "N.DB")) {
            // The data file moves last: the next use of the old name ends the rename, or
            // finds that it never began.
            try {
                Table t;
                punta(t, lavoro.percorso(), "G.DB");
                t.open();
            } catch (const Error&) {
            }
        }
        const std::string dove = fs::exists(lavoro / "N.DB") ? "N.DB" : "G.DB";
        {
            Table t;
            punta(t, lavoro.percorso(), dove);
            t.open();
            EXPECT_TRUE(t.check().empty());
            EXPECT_EQ(leggi(t).righe, prima);
        }
        if (dove == "G.DB")
            continue;
        EXPECT_FALSE(fs::exists(lavoro / "G.DB"));
        // Another G.DB comes in by a copy: it opens as itself, N.DB stays as it was.
        for (const auto& e : fs::directory_iterator(nuova.percorso()))
            fs::copy_file(e.path(), lavoro / e.path().filename().string(), fs::copy_options::overwrite_existing);
        EXPECT_EQ(contenuto(lavoro.percorso()), righeNuova);
        Table t;
        punta(t, lavoro.percorso(), "N.DB");
        t.open();
        EXPECT_TRUE(t.check().empty());
        EXPECT_EQ(leggi(t).righe, prima);
    }
}

// ---- killed processes ----------------------------------------------------------------------

using Modello = std::map<int, std::pair<int, int>>;  // key -> (value, memo length)

Modello leggiModello(const std::string& dir)
{
    Table t;
    punta(t, dir, "G.DB");
    t.open();
    auto c = t.check();
    EXPECT_TRUE(c.empty()) << c.front();
    Modello m;
    for (t.first(); !t.eof(); t.next()) {
        const int k = static_cast<int>(t.field(0).asInteger());
        const int v = static_cast<int>(t.field(1).asInteger());
        const std::string memo = t.field(3).asString();
        EXPECT_EQ(memo, memoDi(k, v, static_cast<int>(memo.size())));
        EXPECT_EQ(t.field(2).asString(), "valore " + std::to_string(v));
        m[k] = {v, static_cast<int>(memo.size())};
    }
    return m;
}

// The child: random changes, each announced before and acknowledged after it returned.
[[noreturn]] void figlio(const std::string& dir, int fd, unsigned seme)
{
    std::mt19937 rng(seme);
    Session s;
    s.setDurable(false);  // a killed process loses nothing the kernel already has
    Table t(s);
    punta(t, dir, "G.DB");
    t.open();
    Modello m;
    for (t.first(); !t.eof(); t.next())
        m[static_cast<int>(t.field(0).asInteger())] = {static_cast<int>(t.field(1).asInteger()), 0};
    auto scrivi = [&](const std::string& riga) {
        if (write(fd, riga.data(), riga.size()) != static_cast<ssize_t>(riga.size()))
            _exit(3);
    };
    for (int i = 0;; ++i) {
        const int op = static_cast<int>(rng() % 3);
        const int k = static_cast<int>(rng() % 3000);
        const int v = static_cast<int>(rng() % 100000);
        const int len = static_cast<int>(rng() % 4) == 0 ? 3000 : static_cast<int>(rng() % 50);
        if (op == 0 && !m.count(k)) {
            scrivi("I " + std::to_string(k) + " " + std::to_string(v) + " " + std::to_string(len) + "\n");
            t.append();
            t.field(0).setInteger(k);
            t.field(1).setInteger(v);
            t.field(2).setString("valore " + std::to_string(v));
            t.field(3).setString(memoDi(k, v, len));
            t.post();
            m[k] = {v, len};
        } else if (op == 1 && !m.empty()) {
            const int vecchia = m.lower_bound(k) == m.end() ? m.begin()->first : m.lower_bound(k)->first;
            const int nuova = m.count(k) ? vecchia : k;
            scrivi("E " + std::to_string(vecchia) + " " + std::to_string(nuova) + " " + std::to_string(v) +
                   " " + std::to_string(len) + "\n");
            if (!t.findKey({std::to_string(vecchia)}))
                _exit(4);
            t.edit();
            t.field(0).setInteger(nuova);
            t.field(1).setInteger(v);
            t.field(2).setString("valore " + std::to_string(v));
            t.field(3).setString(memoDi(nuova, v, len));
            t.post();
            m.erase(vecchia);
            m[nuova] = {v, len};
        } else if (op == 2 && !m.empty()) {
            const int vecchia = m.lower_bound(k) == m.end() ? m.begin()->first : m.lower_bound(k)->first;
            scrivi("D " + std::to_string(vecchia) + "\n");
            if (!t.findKey({std::to_string(vecchia)}))
                _exit(4);
            t.deleteRecord();
            m.erase(vecchia);
        } else {
            continue;
        }
        scrivi("A\n");
    }
}

void applica(Modello& m, const std::string& riga)
{
    std::istringstream in(riga);
    char op;
    in >> op;
    if (op == 'I') {
        int k, v, len;
        in >> k >> v >> len;
        m[k] = {v, len};
    } else if (op == 'E') {
        int vecchia, nuova, v, len;
        in >> vecchia >> nuova >> v >> len;
        m.erase(vecchia);
        m[nuova] = {v, len};
    } else if (op == 'D') {
        int vecchia;
        in >> vecchia;
        m.erase(vecchia);
    }
}

TEST(Guasti, ProcessoUccisoInUnMomentoQualsiasiTieneEsattamenteLeModificheConfermate)
{
    const char* quanti = std::getenv("KORVA_GIRI_CRASH");
    const int giri = quanti ? std::atoi(quanti) : 200;
    CartellaTemporanea d;
    {
        Table t;
        punta(t, d.percorso(), "G.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Long, 0, false},
                       {"Testo", FieldType::Alpha, 60, false}, {"M", FieldType::Memo, 8, false}};
        t.indexDefs = kIndici;
        t.createTable();
    }
    std::mt19937 rng(2024);
    Modello modello;
    int inCorso = 0;
    for (int giro = 0; giro < giri; ++giro) {
        SCOPED_TRACE("giro " + std::to_string(giro));
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            figlio(d.percorso(), fds[1], static_cast<unsigned>(rng()));
        }
        close(fds[1]);
        FILE* in = fdopen(fds[0], "r");
        const int conferme = static_cast<int>(rng() % 40);
        std::string annunciata;
        char buf[256];
        Modello confermato = modello;
        for (int visti = 0; visti < conferme && fgets(buf, sizeof buf, in);) {
            std::string riga = buf;
            if (riga == "A\n") {
                applica(confermato, annunciata);
                annunciata.clear();
                ++visti;
            } else {
                annunciata = riga;
            }
        }
        usleep(static_cast<useconds_t>(rng() % 3000));
        kill(pid, SIGKILL);
        // What the child wrote before it died: the last change may be announced, or done and
        // acknowledged.
        while (fgets(buf, sizeof buf, in)) {
            std::string riga = buf;
            if (riga == "A\n") {
                applica(confermato, annunciata);
                annunciata.clear();
            } else {
                annunciata = riga;
            }
        }
        fclose(in);
        int stato = 0;
        waitpid(pid, &stato, 0);
        ASSERT_TRUE(WIFSIGNALED(stato)) << "il figlio è uscito da solo: " << WEXITSTATUS(stato);
        Modello letto = leggiModello(d.percorso());
        Modello conAnnunciata = confermato;
        if (!annunciata.empty()) {
            applica(conAnnunciata, annunciata);
            ++inCorso;
        }
        if (letto != confermato) {
            ASSERT_EQ(letto, conAnnunciata) << "né lo stato confermato né quello con " << annunciata;
        }
        modello = letto;
    }
    RecordProperty("modifiche_interrotte", inCorso);
}

}  // namespace
}  // namespace korva::paradox
