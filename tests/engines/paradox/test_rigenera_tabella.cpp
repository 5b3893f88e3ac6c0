// Regenerating a table with another layout: other readers agree with the result, and a
// failure at any step or a process killed at any moment leaves the old table or the new one,
// each with every record.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "pxlib_ref.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;
using Righe = std::vector<std::vector<std::string>>;

// `n` records with memo values (some past the part kept in the record), a primary key and
// two secondary indexes.
void creaVecchia(const std::string& dir, int n)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, "R.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 20, false},
                   {"V", FieldType::Short, 0, false}, {"M", FieldType::Memo, 10, false}};
    t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique},
                   {"V", "V", 0},
                   {"NomeV", "Nome;V", IndexOption::CaseInsensitive}};
    t.createTable();
    t.open();
    t.beginBatch();
    for (int k = 0; k < n; ++k) {
        t.append();
        t.field(0).setInteger(k);
        t.field(1).setString(std::string("nome ").append(std::to_string(k % 997)));
        t.field(2).setInteger(k % 300);
        if (k % 5)
            t.field(3).setString(std::string(k % 11 == 0 ? 700 : 6, static_cast<char>('a' + k % 26)));
        t.post();
    }
    t.endBatch();
}

// The new layout: Nome widened, V a number, a date appended, the same indexes.
std::vector<FieldDef> campiNuovi()
{
    return {{"K", FieldType::Long, 0, false}, {"Nome", FieldType::Alpha, 40, false},
            {"V", FieldType::Number, 0, false}, {"M", FieldType::Memo, 10, false},
            {"Quando", FieldType::Date, 0, false}};
}

std::vector<IndexDef> indiciNuovi()
{
    return {{"", "K", IndexOption::Primary | IndexOption::Unique},
            {"V", "V", 0},
            {"NomeV", "Nome;V", IndexOption::CaseInsensitive}};
}

struct Stato {
    int campi = 0;
    Righe righe;
    std::vector<std::string> problemi;
};

Stato leggiSana(const std::string& dir)
{
    Table t;
    punta(t, dir, "R.DB");
    t.open();
    Stato s;
    s.problemi = t.check();
    s.campi = t.fieldCount();
    s.righe = leggi(t).righe;
    return s;
}

void copiaCartella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

// The old table or the new one, sound and whole, and nothing of the work left; whether it is
// the new one.
bool vecchiaONuova(const std::string& dir, const Stato& vecchia, const Stato& nuova)
{
    const Stato s = leggiSana(dir);
    EXPECT_TRUE(s.problemi.empty()) << s.problemi.front();
    if (s.campi == vecchia.campi)
        EXPECT_TRUE(s.righe == vecchia.righe) << "vecchia con " << s.righe.size() << " record";
    else
        EXPECT_TRUE(s.campi == nuova.campi && s.righe == nuova.righe) << "nuova con " << s.righe.size() << " record";
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        EXPECT_TRUE(n.find(".tmp-") == std::string::npos && n != "R.JSW") << n;
    }
    return s.campi == nuova.campi;
}

TEST(RigeneraTabella, PxlibLeggeLaTabellaNelNuovoTracciato)
{
    CartellaTemporanea d;
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, d.percorso(), "P.DB");
    t.fieldDefs = {{"Codice", FieldType::Alpha, 4, false}, {"Q", FieldType::Short, 0, false},
                   {"Prezzo", FieldType::Number, 0, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    for (int k = 0; k < 600; ++k) {
        t.append();
        t.field(0).setString(std::string("c").append(std::to_string(k)));
        t.field(1).setInteger(k - 300);
        t.field(2).setString(std::to_string(k) + ".25");
        t.post();
    }
    t.close();
    // Reordered and retyped: Q to a long integer, Prezzo to text; a logical field appended.
    t.fieldDefs = {{"Codice", FieldType::Alpha, 6, false}, {"Q", FieldType::Long, 0, false},
                   {"Prezzo", FieldType::Alpha, 12, false}, {"Ok", FieldType::Logical, 0, false}};
    EXPECT_EQ(t.regenerateTable(), 600u);
    const auto px = test::leggiConPxlib(d / "P.DB", "", 1252);
    ASSERT_EQ(px.rows.size(), 600u) << test::ultimoErrorePxlib();
    EXPECT_EQ(px.names, (std::vector<std::string>{"Codice", "Q", "Prezzo", "Ok"}));
    int voci = 0;
    EXPECT_TRUE(test::pxlibLeggeIndice(d / "P.DB", d / "P.PX", voci)) << test::ultimoErrorePxlib();
    for (const auto& r : px.rows) {
        const int k = std::stoi(r[0].substr(1));
        EXPECT_EQ(r[1], std::to_string(k - 300));
        EXPECT_EQ(r[2], std::to_string(k) + ".25");
    }
}

// Each value goes into its new type exactly, or the regeneration stops naming the table, the
// record, the field and the value, and the table stays as it was. Blobs and memos keep their
// bytes.
TEST(RigeneraTabella, OgniValoreEsattoOppureRifiutatoColSuoNome)
{
    struct Caso {
        FieldType da;
        int daDim;
        std::string valore;  // as setBytes takes it for blobs, setString for the others
        FieldType a;
        int aDim;
        std::string atteso;  // the new value (asBytes for blobs, asString otherwise), or the refusal
        bool rifiutato = false;
    };
    const std::string binario("\0\xff" "abc\r\n", 7);
    const std::vector<Caso> casi = {
        {FieldType::Alpha, 30, "12345678901234567890", FieldType::Number, 0,
         "Il valore \"12345678901234567890\" non si può portare nel campo F (numero): un numero in virgola mobile non lo "
         "tiene esattamente", true},
        {FieldType::Alpha, 30, "0.1", FieldType::Number, 0, "0.1"},
        {FieldType::Alpha, 30, "1,50", FieldType::Number, 0, "1.5"},
        {FieldType::Alpha, 30, "9007199254740993", FieldType::Number, 0,
         "Il valore \"9007199254740993\" non si può portare nel campo F (numero): un numero in virgola mobile non lo "
         "tiene esattamente", true},
        {FieldType::Alpha, 30, "-7", FieldType::Long, 0, "-7"},
        {FieldType::Alpha, 30, "7.5", FieldType::Long, 0, "Il valore \"7.5\" non è valido per il campo F (intero lungo)", true},
        {FieldType::Number, 0, "12.25", FieldType::Alpha, 10, "12.25"},
        {FieldType::Number, 0, "3", FieldType::Short, 0, "3"},
        {FieldType::Number, 0, "3.5", FieldType::Short, 0,
         "Il valore \"3.5\" non si può portare nel campo F (intero corto): non è un numero intero", true},
        {FieldType::Long, 0, "2147483647", FieldType::Number, 0, "2147483647"},
        {FieldType::Long, 0, "40000", FieldType::Short, 0, "Il valore \"40000\" non è valido per il campo F (intero corto)", true},
        {FieldType::Date, 0, "2024-02-29", FieldType::Alpha, 10, "2024-02-29"},
        {FieldType::Alpha, 12, "2024-02-30", FieldType::Date, 0, "Il valore \"2024-02-30\" non è valido per il campo F (data)", true},
        {FieldType::Binary, 0, binario, FieldType::Memo, 5, binario},
        {FieldType::Memo, 5, "testo\r\n\xe8 0a", FieldType::Binary, 0, "testo\r\n\xe8 0a"},
        {FieldType::Memo, 5, "ab", FieldType::Graphic, 0, "ab"},
        {FieldType::Memo, 5, "\xe8 vero", FieldType::Alpha, 10, "è vero"},
        {FieldType::Binary, 0, "ab", FieldType::Alpha, 10,
         "Il valore \"6162\" non si può portare nel campo F (alfanumerico): un valore binario (binario) non diventa un altro tipo", true},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(typeName(c.da) + " -> " + typeName(c.a) + " " + c.valore);
        CartellaTemporanea d;
        Session s;
        s.setDurable(false);
        Table t(s);
        punta(t, d.percorso(), "R.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", c.da, c.daDim, false}};
        t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}};
        t.createTable();
        t.open();
        for (int k = 1; k <= 2; ++k) {
            t.append();
            t.field(0).setInteger(k);
            if (k == 2)
                isBlob(c.da) ? t.field(1).setBytes(c.valore) : t.field(1).setString(c.valore);
            t.post();
        }
        t.close();
        const std::string prima = test::leggiFile(d / "R.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", c.a, c.aDim, false}};
        const std::string errore = test::erroreDi([&] { t.regenerateTable(); });
        if (c.rifiutato) {
            EXPECT_EQ(errore, "Rigenerazione della tabella " + d.percorso() + "/R.DB non riuscita: record 2: " +
                                  c.atteso + ". La tabella è rimasta com'era");
            EXPECT_EQ(test::leggiFile(d / "R.DB"), prima);
            continue;
        }
        ASSERT_EQ(errore, "nessun errore");
        t.open();
        t.last();
        EXPECT_EQ(isBlob(c.a) ? t.field(1).asBytes() : t.field(1).asString(), c.atteso);
        t.first();
        EXPECT_TRUE(t.field(1).isNull());
    }
}

TEST(RigeneraTabella, FermataAOgniPassoLasciaLaVecchiaOLaNuova)
{
    CartellaTemporanea originale, lavoro, riferimento;
    creaVecchia(originale.percorso(), 300);
    const Stato vecchia = leggiSana(originale.percorso());
    copiaCartella(originale.percorso(), riferimento.percorso());
    regenerateTable(Session::standard(), riferimento.percorso(), "R.DB", campiNuovi(), indiciNuovi());
    const Stato nuova = leggiSana(riferimento.percorso());
    ASSERT_EQ(nuova.righe.size(), 300u);
    ASSERT_EQ(nuova.campi, 5);

    auto rigenera = [&](std::int64_t n, test::EnvGuasti::Guasto guasto) {
        copiaCartella(originale.percorso(), lavoro.percorso());
        test::EnvGuasti env;
        env.guastaAl(n, guasto, n > 0);
        Session s(env);
        try {
            regenerateTable(s, lavoro.percorso(), "R.DB", campiNuovi(), indiciNuovi());
        } catch (const Error&) {
            if (n == 0)
                throw;
        }
        return env.operazioni();
    };
    const std::int64_t passi = rigenera(0, test::EnvGuasti::Guasto::ErroreIO);
    ASSERT_GT(passi, 10);
    for (auto guasto : {test::EnvGuasti::Guasto::ErroreIO, test::EnvGuasti::Guasto::DiscoPieno,
                        test::EnvGuasti::Guasto::ScritturaCorta})
        for (std::int64_t n = 1; n <= passi; ++n) {
            SCOPED_TRACE(std::string("passo ").append(std::to_string(n)).append(" guasto ").append(std::to_string(static_cast<int>(guasto))));
            rigenera(n, guasto);
            vecchiaONuova(lavoro.percorso(), vecchia, nuova);
        }
}

TEST(RigeneraTabella, UccisaInMomentiCasualiLasciaLaVecchiaOLaNuova)
{
    const char* quanti = std::getenv("KORVA_GIRI_CRASH");
    const int giri = quanti ? std::atoi(quanti) : 200;
    CartellaTemporanea originale, lavoro;
    creaVecchia(originale.percorso(), 20000);
    const Stato vecchia = leggiSana(originale.percorso());
    copiaCartella(originale.percorso(), lavoro.percorso());
    // A killed process loses nothing the kernel holds: flushing to the disk would only slow
    // the rounds down.
    Session veloce;
    veloce.setDurable(false);
    auto rigenera = [&] {
        const pid_t pid = fork();
        if (pid == 0) {
            regenerateTable(veloce, lavoro.percorso(), "R.DB", campiNuovi(), indiciNuovi());
            _exit(0);
        }
        return pid;
    };
    // How long a whole run takes in a child, as the killed ones run.
    const auto inizio = std::chrono::steady_clock::now();
    int stato = 0;
    waitpid(rigenera(), &stato, 0);
    ASSERT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
    const auto durata = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - inizio);
    const Stato nuova = leggiSana(lavoro.percorso());
    ASSERT_EQ(nuova.righe.size(), 20000u);
    ASSERT_EQ(nuova.campi, 5);
    // Kill moments spread over the whole run and a little past it; on a machine busier than
    // when it was measured, the span grows until some runs complete.
    auto arco = static_cast<unsigned>(durata.count() * 5 / 4 + 1);
    std::mt19937 rng(20);
    int nuove = 0;
    for (int giro = 0; giro < giri; ++giro) {
        SCOPED_TRACE(std::string("giro ").append(std::to_string(giro)));
        copiaCartella(originale.percorso(), lavoro.percorso());
        const pid_t pid = rigenera();
        usleep(static_cast<useconds_t>(rng() % arco));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        nuove += vecchiaONuova(lavoro.percorso(), vecchia, nuova);
        if (HasFailure())
            break;
        if (nuove == 0 && giro % 10 == 9)
            arco *= 2;
    }
    // Both outcomes were met: the kills fell before and after the switch.
    EXPECT_GT(nuove, 0);
    EXPECT_LT(nuove, giri);
    RecordProperty("rigenerate_prima_della_morte", nuove);
}

}  // namespace
}  // namespace korva::paradox
