#include "famiglia_prova.h"

#include "engines/paradox/table.h"

#include <filesystem>

namespace korva::test {

using namespace paradox;

namespace {

int leggi16(const std::string& s, std::size_t at)
{
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
}

std::string memo(int i)
{
    if (i == 7)
        return std::string(3000, 'L');
    if (i % 5 == 0)
        return std::string("Nota lunga dell'articolo ").append(std::to_string(i)).append(80, '.');
    return std::string(1, 'n').append(std::to_string(i));
}

}  // namespace

std::map<int, std::vector<std::string>> leggiTabella(const std::string& dir)
{
    Table t;
    t.setDatabaseName(dir + "/");
    t.setTableName("ART.DB");
    t.open();
    std::map<int, std::vector<std::string>> out;
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> r;
        for (int i = 0; i < t.fieldCount(); ++i)
            r.push_back(t.field(i).asString());
        out[static_cast<int>(t.field(0).asInteger())] = r;
    }
    return out;
}

FamigliaProva::FamigliaProva(const CartellaTemporanea& cartella, int record) : dir(cartella / "dati")
{
    std::filesystem::create_directories(dir);
    {
        Table t;
        t.setDatabaseName(dir + "/");
        t.setTableName("ART.DB");
        t.fieldDefs = {{"CODICE", FieldType::Long, 0, false},
                       {"NOME", FieldType::Alpha, 20, true},
                       {"PREZZO", FieldType::Number, 0, false},
                       {"DATA", FieldType::Date, 0, false},
                       {"NOTE", FieldType::Memo, 20, false}};
        t.indexDefs = {{"", "CODICE", IndexOption::Primary | IndexOption::Unique},
                       {"NOME", "NOME", 0},
                       {"PERDATA", "DATA;NOME", IndexOption::CaseInsensitive}};
        t.createTable();
        t.open();
        t.beginBatch();
        for (int i = 0; i < record; ++i) {
            t.append();
            t.field(0).setInteger(i * 3);
            t.field(1).setString(std::string("Articolo ").append(std::to_string(i)));
            t.field(2).setFloat(i * 1.25);
            t.field(3).setDate(daysToDate(dateToDays(Date{2020, 1, 1}) + i));
            t.field(4).setString(memo(i));
            t.post();
        }
        t.endBatch();
    }
    originali = leggiTabella(dir);
    const std::string db = leggiFile(percorso("ART.DB"));
    dimensioneRecord = leggi16(db, 0);
    dimensioneIntestazione = leggi16(db, 2);
    dimensioneBlocco = static_cast<unsigned char>(db[5]) * 1024;
    for (int b = leggi16(db, 0x0E); b != 0;) {
        catena.push_back(b);
        const std::size_t inizio = static_cast<std::size_t>(dimensioneIntestazione) +
                                   static_cast<std::size_t>(b - 1) * static_cast<std::size_t>(dimensioneBlocco);
        const int n = static_cast<std::int16_t>(leggi16(db, inizio + 4)) / dimensioneRecord + 1;
        for (int r = 0; r < n; ++r) {
            const std::size_t at = inizio + 6 + static_cast<std::size_t>(r * dimensioneRecord);
            const auto* p = reinterpret_cast<const std::uint8_t*>(db.data() + at);
            const int chiave = static_cast<int>(((static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]) ^
                                                0x80000000u);
            posti[chiave] = {b, at};
        }
        b = leggi16(db, inizio);
    }
}

std::set<int> FamigliaProva::chiaviDel(int blocco) const
{
    std::set<int> s;
    for (const auto& [k, p] : posti)
        if (p.blocco == blocco)
            s.insert(k);
    return s;
}

std::set<int> FamigliaProva::tutte() const
{
    std::set<int> s;
    for (const auto& [k, _] : originali)
        s.insert(k);
    return s;
}

}  // namespace korva::test
