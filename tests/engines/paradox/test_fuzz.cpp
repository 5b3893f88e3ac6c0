// Damaged files of every kind: random changes to headers, blocks, indexes and blobs are
// refused with an error or read as what they say, never a crash, a hang or a read past a
// buffer (the sanitizer build runs these cases).

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "family_input.h"
#include "support/cartella_temporanea.h"
#include "walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

// Everything a user of the table could do with it.
void usa(const std::string& dir, const std::string& name)
{
    static Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, dir, name, true);
    t.open();
    t.check();
    int n = 0;
    for (t.first(); !t.eof() && n < 100000; t.next(), ++n)
        for (int i = 0; i < t.fieldCount(); ++i)
            t.field(i).asString();
    t.last();
    t.prior();
    t.append();
    t.field(0).setString(t.field(0).type() == FieldType::Alpha ? "zz" : "7");
    for (int i = 0; i < t.fieldCount(); ++i)
        if (isBlob(t.field(i).type()))
            t.field(i).setString(t.field(i).type() == FieldType::Memo ? std::string(3000, 'f') : "00ff");
    t.post();
    t.first();
    t.deleteRecord();
}

TEST(Fuzz, FileAlteratiACasoNonFannoDanni)
{
    const char* quanti = std::getenv("KORVA_CASI_FUZZ");
    const int casi = quanti ? std::atoi(quanti) : 150;
    CartellaTemporanea semi;
    {
        Table t;
        punta(t, semi / "nostra", "N.DB");
        fs::create_directories(semi / "nostra");
        t.fieldDefs = {{"K", FieldType::Alpha, 6, false}, {"V", FieldType::Number, 0, false},
                       {"M", FieldType::Memo, 4, false}, {"G", FieldType::Graphic, 0, false}};
        t.indexDefs = {{"", "K", IndexOption::Primary}};
        t.createTable();
        t.open();
        for (int i = 0; i < 400; ++i) {
            t.append();
            t.field(0).setString(std::to_string(100000 + i * 7 % 400));
            t.field(1).setFloat(i);
            t.field(2).setString(std::string(static_cast<std::size_t>(i * 13 % 3000), 'm'));
            if (i % 50 == 0)
                t.field(3).setBytes(std::string(5000, 'g'));
            t.post();
        }
    }
    struct Seme {
        std::string dir, db;
    };
    std::vector<Seme> seme = {{semi / "nostra", "N.DB"}};
    for (const char* s : {"celebithil-Rparadox/inst/extdata/biolife.db",
                          "leonhad-paradoxdriver/src/test/resources/areas/ZIPCODES.DB",
                          "leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.DB",
                          "teverett-paradoxReader/src/test/resources/examples/PCLDATA/PCL.DB"}) {
        const std::string dir = semi / fs::path(s).stem().string();
        fs::create_directories(dir);
        CartellaTemporanea tmp;
        const std::string nome = copia(tmp, s);
        for (const auto& e : fs::directory_iterator(tmp.percorso()))
            fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
        seme.push_back({dir, nome});
    }
    std::mt19937 rng(99);
    int rifiutati = 0, usati = 0;
    for (int c = 0; c < casi; ++c) {
        const Seme& s = seme[static_cast<std::size_t>(c) % seme.size()];
        CartellaTemporanea lavoro;
        std::vector<std::string> nomi;
        for (const auto& e : fs::directory_iterator(s.dir)) {
            fs::copy_file(e.path(), lavoro / e.path().filename().string());
            nomi.push_back(e.path().filename().string());
        }
        std::sort(nomi.begin(), nomi.end());
        const std::string bersaglio = lavoro / nomi[rng() % nomi.size()];
        std::string dati = test::leggiFile(bersaglio);
        SCOPED_TRACE("caso " + std::to_string(c) + " su " + bersaglio);
        switch (rng() % 4) {
        case 0:  // a few bytes anywhere
            for (int k = 0, n = 1 + static_cast<int>(rng() % 8); k < n && !dati.empty(); ++k)
                dati[rng() % dati.size()] = static_cast<char>(rng());
            break;
        case 1:  // header words
            for (int k = 0; k < 3 && dati.size() > 0x80; ++k) {
                std::size_t at = rng() % 0x80;
                dati[at] = static_cast<char>(rng() % 2 ? 0xFF : rng());
            }
            break;
        case 2:  // cut short
            dati.resize(rng() % (dati.size() + 1));
            break;
        default:  // block links and counts
            for (int k = 0; k < 4 && dati.size() > 4096; ++k) {
                std::size_t block = 2048 + 1024 * (rng() % ((dati.size() - 2048) / 1024));
                dati[block + rng() % 6] = static_cast<char>(rng());
            }
        }
        test::scriviFile(bersaglio, dati);
        try {
            usa(lavoro.percorso(), s.db);
            ++usati;
        } catch (const Error&) {
            ++rifiutati;
        }
    }
    EXPECT_EQ(rifiutati + usati, casi);
    EXPECT_GT(rifiutati, 0);
}

// Inputs the fuzz targets (fuzz/) led to: refused with an Error, never read past a buffer or
// turned into undefined arithmetic.
TEST(Fuzz, DanniDelFuzzerRifiutatiConUnErrore)
{
    CartellaTemporanea d;
    auto crea = [&](const std::string& nome, std::vector<FieldDef> campi, const std::string& valore) {
        Table t;
        punta(t, d.percorso(), nome);
        t.fieldDefs = std::move(campi);
        t.indexDefs = {{"", "K", IndexOption::Primary}};
        t.createTable();
        t.open();
        t.append();
        t.field(0).setString("1");
        t.field(1).setString(valore);
        t.post();
    };
    auto blocco1 = [](std::string& file) {  // the first block, after the header
        return reinterpret_cast<std::uint8_t*>(file.data()) + get16(reinterpret_cast<const std::uint8_t*>(file.data()) + 2);
    };
    {
        SCOPED_TRACE(".DB vuoto");
        test::scriviFile(d / "VUOTA.DB", "");
        Table t;
        punta(t, d.percorso(), "VUOTA.DB");
        EXPECT_THROW(t.open(), Error);
    }
    {
        SCOPED_TRACE("data e ora oltre ogni data");
        crea("ORE.DB", {{"K", FieldType::Long, 0, false}, {"Q", FieldType::Timestamp, 0, false}},
             "2000-01-01 00:00:00");
        std::string db = test::leggiFile(d / "ORE.DB");
        storeBE(blocco1(db) + 6 + 4, encodeDouble(1e300), 8);
        test::scriviFile(d / "ORE.DB", db);
        Table t;
        punta(t, d.percorso(), "ORE.DB");
        t.open();
        EXPECT_THROW(t.field(1).asString(), Error);
        EXPECT_THROW(t.field(1).asDate(), Error);
        EXPECT_THROW(t.field(1).asTime(), Error);
    }
    {
        SCOPED_TRACE(".PX con voci più corte della chiave, aperta in esclusiva e verificata");
        crea("LUNGA.DB", {{"K", FieldType::Alpha, 80, false}, {"V", FieldType::Long, 0, false}}, "5");
        crea("CORTA.DB", {{"K", FieldType::Alpha, 1, false}, {"V", FieldType::Long, 0, false}}, "5");
        std::string px = test::leggiFile(d / "CORTA.PX");
        const int voci = (px[5] * 1024 - 6) / 7;  // a block full of 7-byte entries
        put16(blocco1(px) + 4, static_cast<std::uint32_t>((voci - 1) * 7));
        test::scriviFile(d / "LUNGA.PX", px);
        Table t;
        punta(t, d.percorso(), "LUNGA.DB", true);
        t.open();
        const auto esito = t.check();
        EXPECT_EQ(std::count(esito.begin(), esito.end(),
                             "indice primario: struttura diversa dalla chiave della tabella"),
                  1)
            << testing::PrintToString(esito);
    }
}

// The fuzz targets' reading of their input: a family packed and unpacked the same, walked
// through in both modes when sound, without its .PX only exclusively, refused when cut short.
TEST(Fuzz, IngressiDelFuzzerLettiComeFamiglie)
{
    const std::string dir = KORVA_SAMPLES_DIR "/leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.";
    fuzz::Family f{"X06", test::leggiFile(dir + "DB"), test::leggiFile(dir + "PX"), test::leggiFile(dir + "MB"),
                   test::leggiFile(dir + "X06"), test::leggiFile(dir + "Y06"), ""};
    const std::string ingresso = fuzz::pack(f);
    EXPECT_EQ(fuzz::unpack(ingresso), f);
    fuzz::Family soloDb;
    soloDb.xExtension = "X06";
    soloDb.db = f.db;
    EXPECT_EQ(fuzz::unpack("X06" + std::string(fuzz::kSeparator) + f.db), soloDb);
    auto attraversate = [](const fuzz::Family& g) {
        fuzz::MemEnv env;
        fuzz::install(g, env);
        return fuzz::exercise(env, ".", "T.DB");
    };
    EXPECT_EQ(attraversate(f), 2);
    fuzz::Family senzaPx = f;
    senzaPx.px.clear();
    EXPECT_EQ(attraversate(senzaPx), 1);
    fuzz::Family corta = f;
    corta.db.resize(0x100);
    EXPECT_EQ(attraversate(corta), 0);
    f.mb = std::string(fuzz::kSeparator);
    EXPECT_THROW(fuzz::pack(f), Error);
}

}  // namespace
}  // namespace korva::paradox
