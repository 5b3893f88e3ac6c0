// The sample tables written by other tools: every one reads, with the same values as pxlib.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/pxlib_ref.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva::paradox {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> campioni()
{
    std::vector<fs::path> v;
    for (const auto& e : fs::recursive_directory_iterator(KORVA_SAMPLES_DIR)) {
        std::string ext = e.path().extension().string();
        if (ext == ".db" || ext == ".DB")
            v.push_back(e.path());
    }
    std::sort(v.begin(), v.end());
    return v;
}

std::string nome(const fs::path& p)
{
    return fs::relative(p, KORVA_SAMPLES_DIR).string();
}

std::string companion(const fs::path& db, const char* up, const char* low)
{
    fs::path a = db;
    a.replace_extension(up);
    if (fs::exists(a))
        return a.string();
    a.replace_extension(low);
    return fs::exists(a) ? a.string() : std::string();
}

// pxlib decodes blank fields (all bytes zero) as the numbers or dates those bytes would mean,
// where the format, and the samples' own values, say blank. Our blank is checked on the bytes.
bool vuotoNeiByte(Field f)
{
    const std::string raw = f.asBytes();
    if (f.type() == FieldType::Bcd)
        return (static_cast<unsigned char>(raw[0]) & 0x40) == 0;
    return raw.find_first_not_of('\0') == std::string::npos;
}

TEST(Campioni, OgniTabellaSiLeggeComeLaLeggePxlib)
{
    int lette = 0, cifrate = 0;
    for (const auto& p : campioni()) {
        SCOPED_TRACE(nome(p));
        // Shared; a keyed sample without its .PX opens only exclusively, on a copy (the tests
        // run side by side).
        Table t;
        test::CartellaTemporanea copiaEsclusiva;
        punta(t, p.parent_path().string(), p.filename().string());
        try {
            try {
                t.open();
            } catch (const Error& e) {
                if (std::string(e.what()).find("manca l'indice primario") == std::string::npos)
                    throw;
                punta(t, copiaEsclusiva.percorso(), copia(copiaEsclusiva, nome(p)), true);
                t.open();
            }
        } catch (const Error& e) {
            // Only the encrypted tables are refused, with a message that says why.
            EXPECT_NE(std::string(e.what()).find("protetta da password"), std::string::npos) << e.what();
            ++cifrate;
            continue;
        }
        Letta nostra = leggi(t, true);
        for (const auto& riga : nostra.righe)
            for (std::size_t c = 0; c < riga.size(); ++c)
                if (riga[c].rfind("<errore>", 0) == 0) {
                    // Only a blob whose .MB file is missing may fail, and it says so.
                    EXPECT_TRUE(isBlob(t.field(static_cast<int>(c)).type()));
                    EXPECT_NE(riga[c].find("non ha il file dei memo"), std::string::npos) << riga[c];
                }
        EXPECT_EQ(nostra.righe.size(), t.recordCount());
        auto px = test::leggiConPxlib(p.string(), companion(p, ".MB", ".mb"), t.file().codePage());
        ASSERT_EQ(nostra.righe.size(), px.rows.size());
        std::vector<std::pair<std::size_t, std::size_t>> vuoti;
        for (std::size_t r = 0; r < px.rows.size(); ++r) {
            for (std::size_t c = 0; c < px.rows[r].size(); ++c) {
                bool vuoto = false;
                if (nostra.righe[r][c].empty() && px.rows[r][c] != test::kBlobNonLetto) {
                    // the record is no longer current: check it on a fresh read
                    vuoto = true;
                    vuoti.push_back({r, c});
                }
                // Before year 1 pxlib counts without a year 0; we count astronomically
                // (0000 is the year before 0001), as the day numbers of the format do.
                const FieldType ty = t.field(static_cast<int>(c)).type();
                if ((ty == FieldType::Date || ty == FieldType::Timestamp) &&
                    nostra.righe[r][c].rfind("-", 0) == 0)
                    continue;
                std::string atteso = px.rows[r][c];
                if (ty == FieldType::Bcd) {
                    // Junk nibbles past the significant digits: pxlib prints them as
                    // characters, we end the value there.
                    auto junk = atteso.find_first_not_of("-.0123456789");
                    if (junk != std::string::npos) {
                        atteso.resize(junk);
                        while (atteso.find('.') != std::string::npos && (atteso.back() == '0' || atteso.back() == '.'))
                            atteso.pop_back();
                    }
                }
                if (px.rows[r][c] != test::kBlobNonLetto && !vuoto) {
                    ASSERT_EQ(nostra.righe[r][c], atteso)
                        << "record " << r + 1 << " campo " << nostra.nomi[c];
                }
            }
        }
        // The blanks found, checked on the bytes of their records.
        t.first();
        for (std::size_t r = 0, at = 0; at < vuoti.size() && !t.eof(); ++r, t.next())
            for (; at < vuoti.size() && vuoti[at].first == r; ++at)
                EXPECT_TRUE(vuotoNeiByte(t.field(static_cast<int>(vuoti[at].second))))
                    << "record " << r + 1 << " campo " << nostra.nomi[vuoti[at].second];
        auto verifica = t.check();
        if (t.file().keyFields() > 0 && !t.file().files().px)
            EXPECT_EQ(verifica, std::vector<std::string>{"indice primario assente"});
        else
            EXPECT_TRUE(verifica.empty()) << verifica.front();
        ++lette;
    }
    EXPECT_EQ(cifrate, 3);
    EXPECT_GE(lette, 60);
}

TEST(Campioni, GliIndiciPrimariScrittiDaAltriSonoValidiEApronoInCondivisione)
{
    // Shared opens require a .PX that agrees with the data: every sample's must.
    int conPx = 0;
    for (const auto& p : campioni()) {
        fs::path px = p;
        px.replace_extension(".PX");
        fs::path px2 = p;
        px2.replace_extension(".px");
        if (!fs::exists(px) && !fs::exists(px2))
            continue;
        SCOPED_TRACE(nome(p));
        Table t;
        punta(t, p.parent_path().string(), p.filename().string());
        EXPECT_NO_THROW(t.open());
        ++conPx;
    }
    EXPECT_GE(conPx, 25);
}

}  // namespace
}  // namespace korva::paradox

namespace korva::paradox {
namespace {

TEST(Campioni, OgniChiaveSiTrovaAncheConGliOrdinamentiDegliAltri)
{
    // Tables keyed on text in the sort orders of other drivers: every key is found again.
    int cercate = 0;
    for (const char* s : {"leonhad-paradoxdriver/src/test/resources/db/HERCULES.DB",
                          "leonhad-paradoxdriver/src/test/resources/db/SERVER.DB",
                          "leonhad-paradoxdriver/src/test/resources/areas/ZIPCODES.DB",
                          "leonhad-paradoxdriver/src/test/resources/geog/tblAC.DB"}) {
        SCOPED_TRACE(s);
        test::CartellaTemporanea d;
        Table t;
        punta(t, d.percorso(), copia(d, s));
        t.open();
        const int k = t.file().keyFields();
        std::vector<std::vector<std::string>> chiavi;
        for (t.first(); !t.eof(); t.next()) {
            std::vector<std::string> c;
            for (int i = 0; i < k; ++i)
                c.push_back(t.field(i).asString());
            chiavi.push_back(c);
        }
        for (const auto& c : chiavi) {
            ASSERT_TRUE(t.findKey(c)) << c[0];
            for (int i = 0; i < k; ++i)
                ASSERT_EQ(t.field(i).asString(), c[static_cast<std::size_t>(i)]);
            ++cercate;
        }
    }
    EXPECT_GT(cercate, 43000);
}

}  // namespace
}  // namespace korva::paradox
