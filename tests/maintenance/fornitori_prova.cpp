#include "fornitori_prova.h"

#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"

#include <filesystem>

namespace korva::test {

using namespace paradox;

namespace {

int leggi16(const std::string& s, std::size_t at)
{
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
}

const char* const kCitta[] = {"Torino", "Milano", "Genova", "Bologna", "Firenze", "Napoli", "Bari"};

// Text the Windows code page holds that is not plain: a tab, one of the bytes it leaves
// undefined (written as the C1 control of the same number).
std::string ragione(int i)
{
    if (i % 97 == 0)
        return std::string("Ferramenta\tNord ").append(std::to_string(i));
    if (i % 89 == 0)
        return std::string("Ditta \u0081\u008D ").append(std::to_string(i));
    return std::string("Ragione sociale ").append(std::to_string(i));
}

std::string memo(int i)
{
    if (i == 7)
        return std::string(3000, 'L');
    if (i % 50 == 0)
        return std::string("Nota lunga del fornitore ").append(std::to_string(i)).append(150, '.');
    return std::string("n").append(std::to_string(i));
}

}  // namespace

std::map<std::string, std::string> fileFornitori(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string nome = e.path().filename().string();
        // Lock files and an interrupted writer's temporary files are not the table's data.
        const bool lock = nome.size() > 4 && nome.compare(nome.size() - 4, 4, ".LCK") == 0;
        if (nome.rfind("FORNITOR.", 0) == 0 && !lock && nome.find(".tmp-") == std::string::npos)
            out[nome] = leggiFile(e.path().string());
    }
    return out;
}

std::map<std::string, RecordFornitore> leggiFornitori(const std::string& dir)
{
    std::map<std::string, std::string> memo;
    {
        Table t;
        t.setDatabaseName(dir + "/");
        t.setTableName("FORNITOR.DB");
        t.open();
        for (t.first(); !t.eof(); t.next())
            memo[t.field(0).asString()] = t.field(4).asString();
    }
    const std::string db = leggiFile(dir + "/FORNITOR.DB");
    const int rs = leggi16(db, 0), hs = leggi16(db, 2), bs = static_cast<unsigned char>(db[5]) * 1024;
    std::map<std::string, RecordFornitore> out;
    for (int b = leggi16(db, 0x0E); b != 0;) {
        const std::size_t inizio = static_cast<std::size_t>(hs) + static_cast<std::size_t>(b - 1) * static_cast<std::size_t>(bs);
        const int n = static_cast<std::int16_t>(leggi16(db, inizio + 4)) / rs + 1;
        for (int r = 0; r < n; ++r) {
            const std::size_t at = inizio + 6 + static_cast<std::size_t>(r * rs);
            const std::string chiave = db.substr(at, 6);
            out[chiave] = {db.substr(at, kOffsetMemoFornitori), memo[chiave], b, at};
        }
        b = leggi16(db, inizio);
    }
    return out;
}

FornitoriProva::FornitoriProva(std::string cartella, int quanti) : dir(std::move(cartella))
{
    std::filesystem::create_directories(dir);
    dizionario.campi = {{"CODICE", FieldType::Alpha, 6, false},
                        {"RAGIONE", FieldType::Alpha, 40, false},
                        {"CITTA", FieldType::Alpha, 20, false},
                        {"SALDO", FieldType::Number, 0, false},
                        {"NOTE", FieldType::Memo, 30, false}};
    dizionario.indici = {{"", "CODICE", IndexOption::Primary | IndexOption::Unique}, {"CITTA", "CITTA", 0}};
    {
        Session s;
        s.setDurable(false);
        Table t(s);
        t.setDatabaseName(dir + "/");
        t.setTableName("FORNITOR.DB");
        t.fieldDefs = dizionario.campi;
        t.fieldDefs[1].required = true;  // so that the table has its validity file
        t.indexDefs = dizionario.indici;
        t.createTable();
        t.open();
        t.beginBatch();
        for (int i = 0; i < quanti; ++i) {
            t.append();
            const std::string numero = std::to_string(i + 1);
            t.field(0).setString(std::string("F").append(5 - numero.size(), '0').append(numero));
            t.field(1).setString(ragione(i));
            t.field(2).setString(kCitta[i % 7]);
            t.field(3).setFloat(i * 1.5 - 700);
            t.field(4).setString(memo(i));
            t.post();
        }
        t.endBatch();
    }
    record = leggiFornitori(dir);
    // Bytes after the end of some texts: left there by other programs, values all the same.
    std::string db = leggiFile(percorso("FORNITOR.DB"));
    int n = 0;
    for (auto& [chiave, r] : record)
        if (n++ % 101 == 0) {
            db.replace(r.offset + 6 + 36, 3, "a\x01z");
            r.byte.replace(6 + 36, 3, "a\x01z");
        }
    scriviFile(percorso("FORNITOR.DB"), db);
    dimensioneRecord = leggi16(db, 0);
    dimensioneIntestazione = leggi16(db, 2);
    dimensioneBlocco = static_cast<unsigned char>(db[5]) * 1024;
    for (int b = leggi16(db, 0x0E); b != 0; b = leggi16(db, inizioBlocco(b)))
        catena.push_back(b);
}

std::size_t FornitoriProva::inizioBlocco(int b) const
{
    return static_cast<std::size_t>(dimensioneIntestazione) + static_cast<std::size_t>(b - 1) * static_cast<std::size_t>(dimensioneBlocco);
}

std::set<std::string> FornitoriProva::chiaviDel(int blocco) const
{
    std::set<std::string> s;
    for (const auto& [k, r] : record)
        if (r.blocco == blocco)
            s.insert(k);
    return s;
}

std::set<std::string> FornitoriProva::tutte() const
{
    std::set<std::string> s;
    for (const auto& [k, _] : record)
        s.insert(k);
    return s;
}

std::string tutte(const std::vector<std::string>& righe)
{
    std::string s;
    for (const auto& r : righe)
        s += r + "\n";
    return s;
}

void cambia(const std::string& percorso, std::size_t at, const std::string& byte)
{
    std::string s = leggiFile(percorso);
    s.replace(at, byte.size(), byte);
    scriviFile(percorso, s);
}

}  // namespace korva::test
