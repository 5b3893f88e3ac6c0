// Packing: the same records in fewer bytes, indexes and counters intact, other readers
// agreeing, and a process stopped at any moment leaving the old table or the packed one.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "pxlib_ref.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

// 900 records with memo values of both kinds and an auto-increment field, every third one
// deleted afterwards.
void creaConBuchi(const std::string& dir)
{
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, "G.DB");
    t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"V", FieldType::Long, 0, false},
                   {"Testo", FieldType::Alpha, 60, false}, {"M", FieldType::Memo, 8, false},
                   {"N", FieldType::AutoInc, 0, false}};
    t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique},
                   {"V", "V", 0},
                   {"TestoV", "Testo;V", IndexOption::CaseInsensitive}};
    t.createTable();
    t.open();
    t.beginBatch();
    for (int k = 0; k < 900; ++k) {
        t.append();
        t.field(0).setInteger(k);
        t.field(1).setInteger((k * 37) % 900);
        t.field(2).setString("riga " + std::to_string(k));
        t.field(3).setString(std::string(k % 3 == 0 ? 2500 : 40, static_cast<char>('a' + k % 26)));
        t.post();
    }
    t.endBatch();
    for (int k = 1; k < 900; k += 3) {
        ASSERT_TRUE(t.findKey({std::to_string(k)}));
        t.deleteRecord();
    }
}

std::uintmax_t dimensione(const std::string& dir, const char* nome)
{
    return fs::file_size(fs::path(dir) / nome);
}

std::vector<std::vector<std::string>> righeSane(const std::string& dir)
{
    Table t;
    punta(t, dir, "G.DB");
    t.open();
    const auto problemi = t.check();
    EXPECT_TRUE(problemi.empty()) << problemi.front();
    return leggi(t).righe;
}

TEST(Compattazione, StessiRecordInBlocchiPieniEIndiciCheFunzionano)
{
    CartellaTemporanea d;
    creaConBuchi(d.percorso());
    const auto prima = righeSane(d.percorso());
    ASSERT_EQ(prima.size(), 600u);
    const auto db = dimensione(d.percorso(), "G.DB"), mb = dimensione(d.percorso(), "G.MB");

    Table t;
    punta(t, d.percorso(), "G.DB");
    const PackResult r = t.packTable();
    EXPECT_EQ(r.records, 600u);
    EXPECT_GT(r.sizeBefore, r.sizeAfter);
    EXPECT_LT(dimensione(d.percorso(), "G.DB"), db);
    EXPECT_LT(dimensione(d.percorso(), "G.MB"), mb);
    EXPECT_EQ(righeSane(d.percorso()), prima);

    t.open();
    const Header& h = t.file().header();
    const int perBlocco = (h.blockSize - 6) / h.recordSize;
    EXPECT_EQ(h.fileBlocks, (600 + perBlocco - 1) / perBlocco);
    EXPECT_EQ(dimensione(d.percorso(), "G.DB"),
              static_cast<std::uintmax_t>(h.headerSize + h.fileBlocks * h.blockSize));
    // The secondary indexes order the packed records; the counter goes on from where it was.
    t.setIndexName("V");
    t.first();
    EXPECT_EQ(t.field("V").asInteger(), 0);
    t.setIndexName("");
    t.append();
    t.field(0).setInteger(5000);
    t.post();
    EXPECT_EQ(t.field("N").asInteger(), 901);
    for (const auto& e : fs::directory_iterator(d.percorso()))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST(Compattazione, PxlibLeggeLaTabellaCompattataConESenzaChiave)
{
    // Unkeyed: written by pxlib; keyed: by our engine (pxlib writes no primary index).
    for (const int chiavi : {1, 0}) {
        SCOPED_TRACE(chiavi ? "con chiave" : "senza chiave");
        CartellaTemporanea d;
        const std::string db = d / "P.DB";
        std::vector<std::vector<std::string>> righe;
        for (int i = 0; i < 700; ++i)
            righe.push_back({"cod" + std::to_string(1000 + i), std::to_string(i * 1.5), "2024-03-0" + std::to_string(1 + i % 9)});
        if (chiavi) {
            Session s;
            s.setDurable(false);
            Table t(s);
            punta(t, d.percorso(), "P.DB");
            t.fieldDefs = {{"Codice", FieldType::Alpha, 10, false}, {"Valore", FieldType::Number, 0, false},
                           {"Data", FieldType::Date, 0, false}};
            t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
            t.createTable();
            t.open();
            for (int i = 699; i >= 0; --i) {
                t.append();
                t.field(0).setString(righe[static_cast<std::size_t>(i)][0]);
                t.field(1).setFloat(i * 1.5);
                t.field(2).setString(righe[static_cast<std::size_t>(i)][2]);
                t.post();
            }
        } else {
            // pxlib type codes: 1 alpha, 6 number, 2 date.
            test::scriviConPxlib(db, {{"Codice", 1, 10}, {"Valore", 6, 8}, {"Data", 2, 4}}, 0, righe);
        }
        {
            Table t;
            punta(t, d.percorso(), "P.DB");
            t.open();
            for (t.first(); !t.eof();)
                if (t.field(1).asFloat() < 350)
                    t.deleteRecord();
                else
                    t.next();
        }
        Table t;
        punta(t, d.percorso(), "P.DB");
        const PackResult r = t.packTable();
        EXPECT_LT(r.sizeAfter, r.sizeBefore);
        t.open();
        EXPECT_TRUE(t.check().empty());
        const auto nostre = leggi(t).righe;
        ASSERT_EQ(nostre.size(), 466u);
        EXPECT_EQ(test::leggiConPxlib(db, "", 1252).rows, nostre);
        int voci = 0;
        if (chiavi) {
            EXPECT_TRUE(test::pxlibLeggeIndice(db, d / "P.PX", voci)) << test::ultimoErrorePxlib();
        }
    }
}

TEST(Compattazione, RifiutataMentreLaTabellaEInUsoSenzaToccareNulla)
{
    CartellaTemporanea d;
    creaConBuchi(d.percorso());
    const std::string primaDb = test::leggiFile(d / "G.DB");
    Table aperta, altra;
    punta(aperta, d.percorso(), "G.DB");
    aperta.open();
    const auto cartella = files(d);
    punta(altra, d.percorso(), "G.DB");
    EXPECT_NE(errore([&] { altra.packTable(); }).find("è in uso"), std::string::npos);
    EXPECT_EQ(test::leggiFile(d / "G.DB"), primaDb);
    EXPECT_EQ(files(d), cartella);
}

void copiaCartella(const std::string& da, const std::string& a)
{
    for (const auto& e : fs::directory_iterator(a))
        fs::remove(e.path());
    for (const auto& e : fs::directory_iterator(da))
        fs::copy_file(e.path(), a + "/" + e.path().filename().string());
}

// After the stop, the next user finds the old table or the packed one, whole, and nothing of
// the work left behind.
void vecchiaOCompattata(const std::string& dir, const std::vector<std::vector<std::string>>& prima,
                        std::uintmax_t dbPrima, std::uintmax_t dbDopo)
{
    EXPECT_EQ(righeSane(dir), prima);
    const auto db = dimensione(dir, "G.DB");
    EXPECT_TRUE(db == dbPrima || db == dbDopo) << db;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        EXPECT_TRUE(n.find(".tmp-") == std::string::npos && n != "G.JSW") << n;
    }
}

TEST(Compattazione, FermataAOgniPassoLasciaLaVecchiaOLaCompattata)
{
    CartellaTemporanea originale, lavoro;
    creaConBuchi(originale.percorso());
    const auto prima = righeSane(originale.percorso());
    const auto dbPrima = dimensione(originale.percorso(), "G.DB");
    auto compatta = [&](std::int64_t n) {
        copiaCartella(originale.percorso(), lavoro.percorso());
        test::EnvGuasti env;
        env.guastaAl(n, test::EnvGuasti::Guasto::ErroreIO, n > 0);
        Session s(env);
        try {
            packTable(s, lavoro.percorso(), "G.DB");
        } catch (const Error&) {
            if (n == 0)
                throw;
        }
        return env.operazioni();
    };
    const std::int64_t passi = compatta(0);
    const auto dbDopo = dimensione(lavoro.percorso(), "G.DB");
    ASSERT_LT(dbDopo, dbPrima);
    ASSERT_GT(passi, 10);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        compatta(n);
        vecchiaOCompattata(lavoro.percorso(), prima, dbPrima, dbDopo);
    }
}

TEST(Compattazione, UccisaInMomentiCasualiLasciaLaVecchiaOLaCompattata)
{
    CartellaTemporanea originale, lavoro;
    creaConBuchi(originale.percorso());
    const auto prima = righeSane(originale.percorso());
    const auto dbPrima = dimensione(originale.percorso(), "G.DB");
    copiaCartella(originale.percorso(), lavoro.percorso());
    packTable(Session::standard(), lavoro.percorso(), "G.DB");
    const auto dbDopo = dimensione(lavoro.percorso(), "G.DB");
    std::mt19937 rng(18);
    int compattate = 0;
    for (int giro = 0; giro < 30; ++giro) {
        SCOPED_TRACE("giro " + std::to_string(giro));
        copiaCartella(originale.percorso(), lavoro.percorso());
        const pid_t pid = fork();
        if (pid == 0) {
            packTable(Session::standard(), lavoro.percorso(), "G.DB");
            _exit(0);
        }
        usleep(static_cast<useconds_t>(rng() % 60000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        vecchiaOCompattata(lavoro.percorso(), prima, dbPrima, dbDopo);
        compattate += dimensione(lavoro.percorso(), "G.DB") == dbDopo;
    }
    RecordProperty("compattate_prima_della_morte", compattate);
}

}  // namespace
}  // namespace korva::paradox
