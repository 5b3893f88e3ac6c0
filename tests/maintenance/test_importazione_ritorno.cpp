// Paradox → archive → Paradox: every value comes back as it left, byte for byte.

#include "importazione_prova.h"

#include "base/profilo.h"
#include "dictionary/demo.h"
#include "engines/paradox/table.h"
#include "shell/ditta_demo.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using test::righe;
namespace fs = std::filesystem;

// Both tables hold the same records, field by field: null alike and the same stored bytes
// (blobs: the same content).
void stesseTabelle(const std::string& dirA, const std::string& dirB, const std::string& file)
{
    paradox::Table a, b;
    a.setDatabaseName(dirA);
    a.setTableName(file);
    a.open();
    b.setDatabaseName(dirB);
    b.setTableName(file);
    b.open();
    ASSERT_EQ(a.fieldDefs, b.fieldDefs) << file;
    ASSERT_EQ(a.recordCount(), b.recordCount()) << file;
    std::uint32_t confrontati = 0;
    for (a.first(), b.first(); !a.eof(); a.next(), b.next(), ++confrontati) {
        ASSERT_FALSE(b.eof());
        for (int i = 0; i < a.fieldCount(); ++i) {
            EXPECT_EQ(a.field(i).isNull(), b.field(i).isNull()) << file << " record " << confrontati << " " << a.field(i).name();
            EXPECT_EQ(a.field(i).asBytes(), b.field(i).asBytes()) << file << " record " << confrontati << " " << a.field(i).name();
        }
    }
    EXPECT_EQ(confrontati, a.recordCount());
}

std::string ogniByte(bool rovescio)
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(rovescio ? 255 - i : i));
    return s;
}

TEST(ImportazioneRitorno, OgniTipoDelDizionarioTornaUgualeValorePerValore)
{
    test::ImportazioneProva p({righe("tutti", "sub/", {"k:I*", "a:A40", "n:N", "i:I", "s:S", "d:D", "t:T", "m:M10", "b:B10", "g:G10"})});
    std::string memo;
    for (int i = 0; i < 100000; ++i)
        memo.push_back(static_cast<char>(0x20 + i % 0xE0));
    p.tabellaParadox("tutti", 5, [&](paradox::Table& t, std::int64_t r) {
        t.field("k").setInteger(r + 1);
        switch (r) {
        case 0:
            t.field("a").setString("àèìòù €ÿŽ œ “virgolette” – ñ");
            t.field("n").setFloat(0.1);
            t.field("i").setInteger(-2147483647);
            t.field("s").setInteger(-32767);
            t.field("d").setDate({1, 1, 1});
            t.field("t").setTime(1);
            t.field("m").setBytes("");
            t.field("b").setBytes(ogniByte(false));
            t.field("g").setBytes(std::string(1, '\0'));
            break;
        case 1:
            t.field("a").setString(std::string(40, 'x'));
            t.field("n").setFloat(1e-300);
            t.field("i").setInteger(2147483647);
            t.field("s").setInteger(32767);
            t.field("d").setDate({9999, 12, 31});
            t.field("t").setTime(86399999);
            t.field("m").setBytes("\xE9");
            t.field("b").setBytes(std::string(1, '\xFF'));
            t.field("g").setBytes(ogniByte(true));
            break;
        case 2:
            t.field("a").setString(" spazi davanti e dietro ");
            t.field("n").setFloat(-1.7976931348623157e308);
            t.field("i").setInteger(0);
            t.field("s").setInteger(0);
            t.field("d").setDate({2024, 2, 29});
            t.field("t").setTime(45296789);
            t.field("m").setBytes(memo);
            t.field("b").setBytes(memo);
            break;
        case 3:
            t.field("n").setFloat(4.9e-324);
            t.field("i").setInteger(-1);
            t.field("s").setInteger(-1);
            t.field("d").setDate({1582, 10, 15});
            t.field("t").setTime(0);
            break;
        default:
            break;  // blank in every field but the key
        }
    });
    ASSERT_TRUE(p.importa(DirezioneImportazione::DaParadox, {"tutti"}).eseguita);
    EXPECT_EQ(p.righe("TUTTI"), 5);
    fs::rename(p.cartella / "dati", p.cartella / "originale");
    fs::create_directories(p.cartella / "dati");
    ASSERT_TRUE(p.importa(DirezioneImportazione::DaInterbase, {"tutti"}).eseguita);
    stesseTabelle(p.cartella / "originale/sub", p.cartella / "dati/sub", "tutti.DB");
    EXPECT_EQ(p.io2.eventi(), (std::vector<std::string>{"messaggio: Importazione Terminata",
                                                       "messaggio: Importazione Terminata"}));
}

TEST(ImportazioneRitorno, LeTabelleDellaDittaDemo)
{
    test::CartellaTemporanea c;
    const std::string ini = CreaDemo(c / "demo");
    test::scriviFile(c / "demo/ditta.cfg", std::string(DittaDemo::kPrima) + "\r\n");
    ProfiloPrivato profilo(ini);
    const std::string originale = profilo.leggi(DittaDemo::kPrima, "Directory di lavoro", "");
    // A new archive, then a new working directory, for the two ways.
    profilo.scrivi(DittaDemo::kPrima, "Archivio", c / "nuovo.gdb");
    test::InterazioneScriptata io;
    auto tab = std::make_unique<TTabForm>(io, c / "demo", ini);
    std::vector<std::string> nomi = tabelleDelDizionario(tab->TracciatiDir1);
    ASSERT_EQ(nomi.size(), 6u);
    test::VistaRegistrata vista;
    io.risposte({Risposta::Si});
    Importazione versoArchivio(io, *tab, tab->TracciatiDir1, DirezioneImportazione::DaParadox, vista);
    EXPECT_EQ(versoArchivio.importa(nomi, [](std::size_t) { return true; }).importate, 6);

    profilo.scrivi(DittaDemo::kPrima, "Directory di lavoro", c / "ritorno/");
    tab = std::make_unique<TTabForm>(io, c / "demo", ini);
    Importazione versoParadox(io, *tab, tab->TracciatiDir1, DirezioneImportazione::DaInterbase, vista);
    EXPECT_EQ(versoParadox.importa(nomi, [](std::size_t) { return true; }).importate, 6);
    tab->IBDatabase1.disconnect();
    GestioneTabelle g(io, *tab, tab->TracciatiDir1);
    for (const std::string& nome : nomi) {
        ASSERT_TRUE(g.vaiA(nome));
        const std::string parziale = g.rigaCorrente()->PathParziale;
        stesseTabelle(originale + parziale, c.dir() + "ritorno/" + parziale, nome + ".DB");
    }
    EXPECT_EQ(io.risposteRimaste(), 0u);
}

}  // namespace
}  // namespace korva
