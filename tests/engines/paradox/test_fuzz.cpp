// Damaged files of every kind: random changes to headers, blocks, indexes and blobs are
// refused with an error or read as what they say, never a crash, a hang or a read past a
// buffer (the sanitizer build runs these cases).

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"

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

}  // namespace
}  // namespace korva::paradox
