// Tables in every language driver we write: keys placed, found, ranged, checked and rebuilt
// in the driver's order, whatever the values (accents, expansions, case, prefixes, inner and
// trailing blanks, signs), through the primary key, a case-sensitive index, a case-insensitive
// composite one and a descending case-insensitive one.

#include "base/codepage.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;

struct Record {
    std::string nome, citta;  // bytes in the table's code page
    int numero = 0;
};

// The bytes a driver's values are made of: printable characters of its code page, with the
// letters that tell the drivers apart (accents, both cases, expansions) more often.
std::vector<std::string> alfabeto(int codePage)
{
    std::vector<std::string> caratteri;
    for (int b = 0x20; b < 256; ++b) {
        const std::string s(1, static_cast<char>(b));
        const std::string u = codepage::toUtf8(s, codePage);
        const auto c0 = static_cast<unsigned char>(u[0]);
        const bool controllo = b == 0x7F || (u.size() == 2 && c0 == 0xC2 && static_cast<unsigned char>(u[1]) < 0xA0);
        if (!controllo)
            caratteri.push_back(s);
    }
    for (const char* utf8 : {"a", "A", "e", "E", "s", "S", "t", "h", "u", "o", "\u00e4", "\u00c4", "\u00f6", "\u00d6", "\u00fc",
                             "\u00dc", "\u00df", "\u00fe", "\u00de", "\u00e9", "\u00c9", "\u00e0", "\u00c0", "\u00c3",
                             "\u00e5", "\u00c5", "\u00e6", "\u00c6", "\u0430", "\u0410", "\u0451", "\u0401", " "}) {
        try {
            const std::string b = codepage::fromUtf8(utf8, codePage);
            for (int volte = 0; volte < 6; ++volte)
                caratteri.push_back(b);
        } catch (const Error&) {
            // Not in this code page.
        }
    }
    return caratteri;
}

std::vector<Record> valori(int codePage, std::size_t quanti, std::uint32_t seme)
{
    const std::vector<std::string> caratteri = alfabeto(codePage);
    std::mt19937 caso(seme);
    std::vector<Record> out;
    std::set<std::pair<std::string, int>> chiavi;
    while (out.size() < quanti) {
        Record r;
        if (!out.empty() && caso() % 4 == 0) {
            // A prefix of an earlier value, or an earlier value grown.
            r.nome = out[caso() % out.size()].nome;
            if (caso() % 2 && r.nome.size() > 1)
                r.nome.resize(1 + caso() % (r.nome.size() - 1));
            else if (r.nome.size() < 12)
                r.nome += caratteri[caso() % caratteri.size()];
        } else {
            for (std::size_t i = 0, n = 1 + caso() % 12; i < n; ++i)
                r.nome += caratteri[caso() % caratteri.size()];
        }
        for (std::size_t i = 0, n = caso() % 8; i < n; ++i)
            r.citta += caratteri[caso() % caratteri.size()];
        r.numero = static_cast<int>(caso() % 3);
        if (r.nome.find_first_not_of(' ') != std::string::npos && chiavi.insert({r.nome, r.numero}).second)
            out.push_back(r);
    }
    return out;
}

void scrivi(Table& t, const Record& r, int cp)
{
    t.field(0).setString(codepage::toUtf8(r.nome, cp));
    t.field(1).setInteger(r.numero);
    t.field(2).setString(codepage::toUtf8(r.citta, cp));
}

Record letto(Table& t, int cp)
{
    return {codepage::fromUtf8(t.field(0).asString(), cp), codepage::fromUtf8(t.field(2).asString(), cp),
            static_cast<int>(t.field(1).asInteger())};
}

std::vector<Record> percorri(Table& t, const std::string& indice, int cp)
{
    t.setIndexName(indice);
    std::vector<Record> v;
    for (t.first(); !t.eof(); t.next())
        v.push_back(letto(t, cp));
    return v;
}

// Each index's order, as the driver gives it, and the number breaking ties (the primary key
// follows the indexed fields).
struct Ordini {
    const Collation& c;
    int perChiave(const Record& a, const Record& b) const
    {
        const int x = c.compare(a.nome, b.nome);
        return x ? x : a.numero - b.numero;
    }
    int perNome(const Record& a, const Record& b) const { return c.compare(a.nome, b.nome); }
    int perCittaNome(const Record& a, const Record& b) const
    {
        const int x = c.compareCaseInsensitive(a.citta, b.citta);
        return x ? x : c.compareCaseInsensitive(a.nome, b.nome);
    }
    int decrescente(const Record& a, const Record& b) const { return -c.compareCaseInsensitive(a.nome, b.nome); }
};

// What the table holds, walked by every index: the same records, each index in its order
// (ties by the primary key), and the structural check (files against the data) clean.
void controlla(Table& t, const std::vector<Record>& attesi, const Ordini& o, int cp)
{
    ASSERT_TRUE(t.check().empty()) << t.check().front();
    std::vector<Record> ordinati = attesi;
    std::sort(ordinati.begin(), ordinati.end(), [&](const Record& a, const Record& b) { return o.perChiave(a, b) < 0; });
    const auto primario = percorri(t, "", cp);
    ASSERT_EQ(primario.size(), ordinati.size());
    for (std::size_t i = 0; i < primario.size(); ++i) {
        ASSERT_EQ(primario[i].nome, ordinati[i].nome) << i;
        ASSERT_EQ(primario[i].numero, ordinati[i].numero) << i;
    }
    struct Indice {
        const char* nome;
        int (Ordini::*ordine)(const Record&, const Record&) const;
    };
    for (const Indice ix : {Indice{"Nome", &Ordini::perNome}, Indice{"CittaNome", &Ordini::perCittaNome},
                            Indice{"Giu", &Ordini::decrescente}}) {
        SCOPED_TRACE(ix.nome);
        const auto v = percorri(t, ix.nome, cp);
        ASSERT_EQ(v.size(), attesi.size());
        for (std::size_t i = 1; i < v.size(); ++i) {
            const int c = (o.*ix.ordine)(v[i - 1], v[i]);
            ASSERT_TRUE(c < 0 || (c == 0 && o.perChiave(v[i - 1], v[i]) < 0)) << i;
        }
    }
    t.setIndexName("");
}

class Ordinamenti : public ::testing::TestWithParam<const char*> {};

TEST_P(Ordinamenti, ChiaviPosteCercateEControllateNellOrdineDelDriver)
{
    const auto ordine = tableSortOrder(GetParam());
    ASSERT_TRUE(ordine);
    const int cp = ordine->codePage;
    const Collation& c = *collationFor(ordine->byte, ordine->id, cp);
    const Ordini o{c};
    const char* casi = std::getenv("KORVA_CASI_ORDINAMENTI");
    const std::size_t quanti = casi ? static_cast<std::size_t>(std::atoi(casi)) : 2000;

    CartellaTemporanea d;
    Session s;
    s.setDurable(false);
    Table t(s);
    punta(t, d.percorso(), "ORD.DB");
    t.fieldDefs = {{"Nome", FieldType::Alpha, 12, false}, {"Numero", FieldType::Short, 0, false},
                   {"Citta", FieldType::Alpha, 8, false}};
    t.indexDefs = {{"", "Nome;Numero", IndexOption::Primary | IndexOption::Unique},
                   {"Nome", "Nome", 0},
                   {"CittaNome", "Citta;Nome", IndexOption::CaseInsensitive},
                   {"Giu", "Nome", IndexOption::Descending | IndexOption::CaseInsensitive}};
    t.sortOrder = GetParam();
    t.createTable();
    t.open();
    EXPECT_EQ(t.file().header().sortOrderId, ordine->id);
    EXPECT_EQ(t.file().codePage(), cp);

    // Most in one batch, the rest one post at a time.
    std::vector<Record> tutti = valori(cp, quanti, 26);
    const std::size_t inBlocco = tutti.size() * 9 / 10;
    t.beginBatch();
    for (std::size_t i = 0; i < inBlocco; ++i) {
        t.append();
        scrivi(t, tutti[i], cp);
        t.post();
    }
    t.endBatch();
    for (std::size_t i = inBlocco; i < tutti.size(); ++i) {
        t.append();
        scrivi(t, tutti[i], cp);
        t.post();
    }
    controlla(t, tutti, o, cp);

    // Every key found, by the primary index and by the case-insensitive one with the value
    // folded; a missing key puts the nearest search on the first key above it.
    std::mt19937 caso(7);
    for (int prova = 0; prova < 200; ++prova) {
        const Record& r = tutti[caso() % tutti.size()];
        ASSERT_TRUE(t.findKey({codepage::toUtf8(r.nome, cp), std::to_string(r.numero)})) << prova;
        EXPECT_EQ(letto(t, cp).nome, r.nome);
        std::string maiuscolo = r.nome;
        for (char& ch : maiuscolo)
            ch = static_cast<char>(c.upper(static_cast<std::uint8_t>(ch)));
        t.setIndexName("CittaNome");
        ASSERT_TRUE(t.findKey({codepage::toUtf8(r.citta, cp), codepage::toUtf8(maiuscolo, cp)})) << prova;
        EXPECT_EQ(c.compareCaseInsensitive(letto(t, cp).nome, r.nome), 0);
        // All the records of that folded pair, and only those, in the range.
        t.setRange({codepage::toUtf8(r.citta, cp), codepage::toUtf8(r.nome, cp)},
                   {codepage::toUtf8(r.citta, cp), codepage::toUtf8(maiuscolo, cp)});
        std::size_t nelRange = 0;
        for (t.first(); !t.eof(); t.next()) {
            const Record x = letto(t, cp);
            EXPECT_EQ(o.perCittaNome(x, r), 0);
            ++nelRange;
        }
        EXPECT_EQ(nelRange, static_cast<std::size_t>(std::count_if(tutti.begin(), tutti.end(), [&](const Record& x) {
                      return o.perCittaNome(x, r) == 0;
                  })));
        t.cancelRange();
        t.setIndexName("");

        const std::string cercato = r.nome.substr(0, 11) + "\x01";
        t.findNearest({codepage::toUtf8(cercato, cp)});
        const auto sotto = static_cast<std::size_t>(
            std::count_if(tutti.begin(), tutti.end(), [&](const Record& x) { return c.compare(x.nome, cercato) < 0; }));
        if (sotto == tutti.size()) {
            EXPECT_TRUE(t.eof());
        } else {
            EXPECT_GE(c.compare(letto(t, cp).nome, cercato), 0);
            t.prior();
            if (!t.bof()) {
                EXPECT_LT(c.compare(letto(t, cp).nome, cercato), 0);
            }
        }
    }

    // Keys changed (the record moves) and records deleted.
    for (int prova = 0; prova < 60 && !tutti.empty(); ++prova) {
        const std::size_t i = caso() % tutti.size();
        ASSERT_TRUE(t.findKey({codepage::toUtf8(tutti[i].nome, cp), std::to_string(tutti[i].numero)}));
        if (prova % 2) {
            t.deleteRecord();
            tutti.erase(tutti.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        Record nuovo = valori(cp, 1, 1000 + static_cast<std::uint32_t>(prova)).front();
        nuovo.numero = 3;  // no other record has it
        t.edit();
        scrivi(t, nuovo, cp);
        t.post();
        tutti[i] = nuovo;
    }
    controlla(t, tutti, o, cp);

    // Rebuilt from the data alone: the same files' contents, the same orders.
    const std::vector<IndexDef> indici = t.indexDefs;
    t.close();
    std::map<std::string, std::string> prima;
    for (const std::string& f : files(d))
        if (f != "ORD.DB")
            prima[f] = test::leggiFile(d / f).substr(0x800);
    IndexRebuild(s, d.percorso(), "ORD.DB").run(indici);
    for (const auto& [f, blocchi] : prima)
        EXPECT_EQ(test::leggiFile(d / f).substr(0x800), blocchi) << f;
    t.open();
    controlla(t, tutti, o, cp);
}

INSTANTIATE_TEST_SUITE_P(Driver, Ordinamenti,
                         ::testing::Values("ANSIINTL", "ANSII850", "intl", "cyrr", "swedfin", "nordan40", "DBWINUS0",
                                           "ascii"));

// A case-insensitive index stores its own text upper case, as the classic engine does (the
// genuine zakazky.XG0, DBWINUS0): the check accepts those files and no other.
TEST(Ordinamenti, GliIndiciSenzaMaiuscoleSonoScrittiInMaiuscolo)
{
    for (const char* driver : {"DBWINUS0", "ANSII850", "intl"}) {
        SCOPED_TRACE(driver);
        const auto ordine = tableSortOrder(driver);
        const Collation& c = *collationFor(ordine->byte, ordine->id, ordine->codePage);
        CartellaTemporanea d;
        Table t;
        punta(t, d.percorso(), "Z.DB");
        t.fieldDefs = {{"Codice", FieldType::Long, 0, false}, {"Gruppo", FieldType::Alpha, 10, false},
                       {"Nome", FieldType::Alpha, 10, false}};
        t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique},
                       {"ISKUPINA", "Gruppo;Nome", IndexOption::CaseInsensitive}};
        t.sortOrder = driver;
        t.createTable();
        t.open();
        const char* gruppi[] = {"sedie", "Sedie", "tavoli", "t\u00e0voli", "\u00e4pfel", "z"};
        for (int i = 0; i < 60; ++i) {
            t.append();
            t.field(0).setInteger(i);
            t.field(1).setString(gruppi[i % 6]);
            t.field(2).setString(i % 2 ? "mario" : "Mario");
            t.post();
        }
        ASSERT_TRUE(t.check().empty());
        const std::string x = test::leggiFile(d / "Z.XG0");
        const Header h = parseHeader(reinterpret_cast<const std::uint8_t*>(x.data()), x.size(), x.size(), "Z.XG0");
        int voci = 0;
        for (int b = 0; b < h.fileBlocks; ++b) {
            const std::size_t blocco = static_cast<std::size_t>(h.headerSize) + static_cast<std::size_t>(b) * h.blockSize;
            const int n = static_cast<std::int16_t>(get16(reinterpret_cast<const std::uint8_t*>(x.data()) + blocco + 4)) / h.recordSize + 1;
            for (int r = 0; r < n; ++r, ++voci) {
                const std::string testo = x.substr(blocco + 6 + static_cast<std::size_t>(r) * h.recordSize, 20);
                for (char ch : testo)
                    ASSERT_EQ(c.upper(static_cast<std::uint8_t>(ch)), static_cast<std::uint8_t>(ch)) << testo;
            }
        }
        EXPECT_EQ(voci, 60);
        t.close();

        // An entry (not the first of its block) with the text as the data has it: told apart.
        std::string minuscole = x;
        std::size_t voce = static_cast<std::size_t>(h.headerSize) + 6 + static_cast<std::size_t>(h.recordSize);
        while (!std::isupper(static_cast<unsigned char>(minuscole[voce])))
            voce += static_cast<std::size_t>(h.recordSize);
        minuscole[voce] = static_cast<char>(std::tolower(static_cast<unsigned char>(minuscole[voce])));
        test::scriviFile(d / "Z.XG0", minuscole);
        t.open();
        const auto rilievi = t.check();
        ASSERT_EQ(rilievi.size(), 1u);
        EXPECT_EQ(rilievi.front(), "indice ISKUPINA: le voci non corrispondono ai dati");
    }
}

// Regeneration to a new layout and packing keep the table's own sort order and code page:
// the records come back whole, in the driver's order, every index sound.
TEST(Ordinamenti, RigenerazioneECompattazioneTengonoOrdinamentoECodePage)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "R.DB");
    t.fieldDefs = {{"Nome", FieldType::Alpha, 12, false}, {"Citta", FieldType::Alpha, 10, false}};
    t.indexDefs = {{"", "Nome", IndexOption::Primary | IndexOption::Unique},
                   {"Citta", "Citta;Nome", IndexOption::CaseInsensitive}};
    t.sortOrder = "intl";
    t.createTable();
    t.open();
    const char* nomi[] = {"M\u00fcller", "Mueller", "Muff", "\u00e9a", "eb", "Ab", "aa", "Strasse", "Stra\u00dfe", "Strast"};
    for (const char* n : nomi) {
        t.append();
        t.field(0).setString(n);
        t.field(1).setString("K\u00f6ln");
        t.post();
    }
    const auto prima = leggi(t).righe;
    t.close();

    auto controlla = [&](const std::string& fase) {
        SCOPED_TRACE(fase);
        Table r;
        punta(r, d.percorso(), "R.DB");
        r.open();
        EXPECT_EQ(r.file().header().sortOrderId, "intl");
        EXPECT_EQ(r.file().header().sortOrder, 0xB7);
        EXPECT_EQ(r.file().codePage(), 437);
        EXPECT_TRUE(r.check().empty());
        std::vector<std::string> letti;
        for (r.first(); !r.eof(); r.next())
            letti.push_back(r.field(0).asString());
        EXPECT_EQ(letti, (std::vector<std::string>{"aa", "Ab", "\u00e9a", "eb", "Mueller", "M\u00fcller", "Muff",
                                                   "Strasse", "Stra\u00dfe", "Strast"}));
        return r.fieldDefs.size();
    };
    t.packTable();
    EXPECT_EQ(controlla("compattazione"), 2u);
    t.fieldDefs.push_back({"Nota", FieldType::Alpha, 5, false});
    EXPECT_EQ(t.regenerateTable(), 10u);
    EXPECT_EQ(controlla("rigenerazione"), 3u);
    t.open();
    EXPECT_EQ(leggi(t).righe.size(), prima.size());
}

}  // namespace
}  // namespace korva::paradox
