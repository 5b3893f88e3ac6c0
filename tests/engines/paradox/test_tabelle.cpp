// Table operations, definitions, sessions and locks between users.

#include "base/errore.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;
namespace fs = std::filesystem;

void crea(const std::string& dir, const std::string& name, int righe = 0)
{
    Table t;
    punta(t, dir, name);
    t.fieldDefs = {{"Codice", FieldType::Alpha, 10, false}, {"Descrizione", FieldType::Alpha, 40, false},
                   {"Note", FieldType::Memo, 5, false}};
    t.indexDefs = {{"", "Codice", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    for (int i = 0; i < righe; ++i) {
        t.append();
        t.field(0).setInteger(i);
        t.field(1).setString("riga " + std::to_string(i));
        t.field(2).setString(std::string(100, 'n'));
        t.post();
    }
}

TEST(Tabelle, CreaSostituisceEliminaRinominaAzzeraConTuttiIFile)
{
    CartellaTemporanea d;
    crea(d.percorso(), "ARCH.DB", 30);
    EXPECT_EQ(files(d), (std::vector<std::string>{"ARCH.DB", "ARCH.MB", "ARCH.PX"}));
    test::scriviFile(d / "ARCH.VAL", "vecchio");
    test::scriviFile(d / "ARCH.X02", "vecchio");

    // Created over: the old table goes with all its files.
    Table t;
    punta(t, d.percorso(), "arch.db");
    t.fieldDefs = {{"Uno", FieldType::Short, 0, false}};
    t.createTable();
    EXPECT_EQ(files(d), (std::vector<std::string>{"arch.db"}));
    t.open();
    EXPECT_EQ(t.recordCount(), 0u);
    t.close();

    crea(d.percorso(), "ARCH.DB", 5);  // one table per name, whatever its case
    EXPECT_EQ(files(d), (std::vector<std::string>{"ARCH.DB", "ARCH.MB", "ARCH.PX"}));
    test::scriviFile(d / "tmp222.px", "un indice orfano");
    EXPECT_EQ(errore([&] { Table x; punta(x, d.percorso(), "ARCH.DB"); x.renameTable("tmp222.db"); }),
              "Impossibile rinominare la tabella " + d.percorso() + "/ARCH.DB in tmp222.db: esiste già il file tmp222.px");
    fs::remove(d / "tmp222.px");
    Table r;
    punta(r, d.percorso(), "ARCH.DB");
    r.renameTable("tmp222.db");
    EXPECT_EQ(files(d), (std::vector<std::string>{"tmp222.MB", "tmp222.PX", "tmp222.db"}));
    Table n;
    punta(n, d.percorso(), "TMP222.DB");
    n.open();
    EXPECT_EQ(n.recordCount(), 5u);
    n.last();
    EXPECT_EQ(n.field("Note").asString(), std::string(100, 'n'));
    n.close();

    n.emptyTable();
    n.open();
    EXPECT_EQ(n.recordCount(), 0u);
    EXPECT_EQ(n.fieldDefs.size(), 3u);
    EXPECT_TRUE(n.check().empty());
    n.append();
    n.field(0).setString("dopo");
    n.post();
    n.close();

    n.deleteTable();
    EXPECT_EQ(files(d), std::vector<std::string>{});
    EXPECT_EQ(errore([&] { n.deleteTable(); }), "La tabella " + d.percorso() + "/TMP222.DB non esiste");
    EXPECT_EQ(errore([&] { n.open(); }), "La tabella " + d.percorso() + "/TMP222.DB non esiste");
}

// The folder of a table is its database name: a name with a folder part is refused, never
// cut down to its last part (which would make or find a table somewhere else).
TEST(Tabelle, UnNomeConUnaCartellaERifiutato)
{
    CartellaTemporanea d;
    crea(d.percorso(), "b.DB", 1);
    for (const std::string nome : {"a/b.DB", "../b.DB", "a\\b"}) {
        Table t;
        t.setDatabaseName(d / "sotto/");
        EXPECT_EQ(errore([&] { t.setTableName(nome); }),
                  "Nome di tabella non valido: \"" + nome +
                      "\" (la cartella va data come directory della tabella, non nel nome)");
        Table r;
        punta(r, d.percorso(), "b.DB");
        EXPECT_NE(errore([&] { r.renameTable(nome); }).find("Nome di tabella non valido"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(d / "sotto"));
    EXPECT_EQ(files(d), (std::vector<std::string>{"b.DB", "b.MB", "b.PX"}));
}

TEST(Tabelle, DefinizioniLetteIdenticheESoloDefinizioniValide)
{
    CartellaTemporanea d;
    const std::vector<FieldDef> campi = {{"Nome", FieldType::Alpha, 8, false}, {"Num", FieldType::Short, 0, false},
                                         {"Valore", FieldType::Number, 10, false}, {"Quando", FieldType::Date, 0, false},
                                         {"Ora", FieldType::Time, 0, false}, {"Tanti", FieldType::Long, 0, false},
                                         {"Testo", FieldType::Memo, 10, false}, {"Bin", FieldType::Binary, 0, false},
                                         {"Foto", FieldType::Graphic, 12, false}};
    const std::vector<IndexDef> indici = {{"", "Nome;Num", IndexOption::Primary | IndexOption::Unique}};
    for (const char* nome : {"A.DB", "XXXCONF.DB"}) {
        Table t;
        punta(t, d.percorso(), nome);
        t.fieldDefs = campi;
        t.indexDefs = indici;
        t.createTable();
    }
    Table a, b;
    punta(a, d.percorso(), "A.DB");
    punta(b, d.percorso(), "XXXCONF.DB");
    a.open();
    b.open();
    EXPECT_EQ(a.fieldDefs, b.fieldDefs);
    EXPECT_EQ(a.indexDefs, b.indexDefs);
    EXPECT_EQ(a.fieldDefs[2].size, 0);   // the number's size is not kept
    EXPECT_EQ(a.fieldDefs[6].size, 10);  // the memo's part in the record
    ASSERT_TRUE(a.findIndex(""));
    EXPECT_EQ(a.findIndex("")->fields, "Nome;Num");

    Table c;
    punta(c, d.percorso(), "C.DB");
    c.fieldDefs = {{"A", FieldType::Alpha, 5, false}, {"a", FieldType::Short, 0, false}};
    EXPECT_EQ(errore([&] { c.createTable(); }),
              "Impossibile creare la tabella " + d.percorso() + "/C.DB: il campo a è definito due volte");
    c.fieldDefs = {{"A", FieldType::Alpha, 0, false}};
    EXPECT_NE(errore([&] { c.createTable(); }).find("dimensione 0 non valida per il campo A"), std::string::npos);
    c.fieldDefs = {{"A", FieldType::Alpha, 5, false}, {"B", FieldType::Short, 0, false}};
    c.indexDefs = {{"", "B", IndexOption::Primary}};
    EXPECT_NE(errore([&] { c.createTable(); }).find("primi campi"), std::string::npos);
    c.indexDefs = {{"", "Z", IndexOption::Primary}};
    EXPECT_NE(errore([&] { c.createTable(); }).find("campo inesistente Z"), std::string::npos);
    EXPECT_FALSE(c.exists());
    Table e;
    punta(e, d / "manca", "E.DB");
    e.fieldDefs = {{"A", FieldType::Alpha, 5, false}};
    EXPECT_NE(errore([&] { e.createTable(); }).find("non esiste"), std::string::npos);
}

TEST(Tabelle, EsclusivoECondivisoSiEscludonoNelloStessoProcessoETraProcessi)
{
    CartellaTemporanea d;
    crea(d.percorso(), "T.DB", 3);
    Table a, b;
    punta(a, d.percorso(), "T.DB");
    punta(b, d.percorso(), "T.DB", true);
    a.open();
    EXPECT_EQ(errore([&] { b.open(); }),
              "La tabella " + d.percorso() + "/T.DB è in uso: impossibile aprirla in modo esclusivo");
    EXPECT_NE(errore([&] { Table x; punta(x, d.percorso(), "T.DB"); x.emptyTable(); }).find("in uso"), std::string::npos);
    EXPECT_NE(errore([&] { Table x; punta(x, d.percorso(), "T.DB"); x.deleteTable(); }).find("in uso"), std::string::npos);
    // The lock file names the holder while the table is open.
    const std::string lck = test::leggiFile(d / "T.LCK");
    EXPECT_NE(lck.find("pid=" + std::to_string(getpid())), std::string::npos);
    EXPECT_NE(lck.find("modo=condiviso tabella=T.DB"), std::string::npos);
    a.close();
    EXPECT_FALSE(fs::exists(d / "T.LCK"));
    b.open();
    EXPECT_EQ(errore([&] { a.open(); }),
              "La tabella " + d.percorso() + "/T.DB è in uso esclusivo da parte di un altro utente");
    b.close();

    // Another process holds it exclusively, then dies: its lock dies with it, and its stale
    // lock-file line blocks nothing.
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t pid = fork();
    if (pid == 0) {
        Table c;
        punta(c, d.percorso(), "T.DB", true);
        c.open();
        char x = 'k';
        if (write(pipefd[1], &x, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char x;
    ASSERT_EQ(read(pipefd[0], &x, 1), 1);
    EXPECT_NE(errore([&] { a.open(); }).find("in uso esclusivo"), std::string::npos);
    EXPECT_NE(test::leggiFile(d / "T.LCK").find("pid=" + std::to_string(pid) + " "), std::string::npos);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    a.open();
    EXPECT_EQ(a.recordCount(), 3u);
    EXPECT_EQ(test::leggiFile(d / "T.LCK").find("pid=" + std::to_string(pid) + " "), std::string::npos);
    a.close();
    Session::standard().dropIdleConnections();
    Table r;
    punta(r, d.percorso(), "T.DB");
    r.renameTable("U.DB");
    EXPECT_TRUE(fs::exists(d / "U.DB"));
}

TEST(Tabelle, DueUtentiCondivisiVedonoLeModificheDellAltro)
{
    CartellaTemporanea d;
    crea(d.percorso(), "S.DB", 3);
    Table a, b;
    punta(a, d.percorso(), "S.DB");
    punta(b, d.percorso(), "S.DB");
    a.open();
    b.open();
    b.last();
    EXPECT_EQ(b.field(0).asString(), "2");
    a.append();
    a.field(0).setString("3");
    a.post();
    b.next();
    EXPECT_FALSE(b.eof());
    EXPECT_EQ(b.field(0).asString(), "3");
    EXPECT_EQ(b.recordCount(), 4u);
    // An edit from a stale copy of the record is refused, not lost.
    a.first();
    b.first();
    a.edit();
    a.field(1).setString("da a");
    b.edit();
    b.field(1).setString("da b");
    a.post();
    EXPECT_NE(errore([&] { b.post(); }).find("modificato da un altro utente"), std::string::npos);
    b.cancel();
    b.first();
    EXPECT_EQ(b.field(1).asString(), "da a");
}

TEST(Tabelle, ChiaviIntervalliESegnalibri)
{
    CartellaTemporanea d;
    Table t;
    punta(t, d.percorso(), "CAMPI.DB");
    t.fieldDefs = {{"NomeTabella", FieldType::Alpha, 8, false}, {"NumeroCampo", FieldType::Short, 0, false},
                   {"NomeCampo", FieldType::Alpha, 25, false}};
    t.indexDefs = {{"", "NomeTabella;NumeroCampo", IndexOption::Primary | IndexOption::Unique}};
    t.createTable();
    t.open();
    for (const char* tab : {"alfa", "beta", "gamma"})
        for (int n = 1; n <= 4; ++n) {
            t.append();
            t.field(0).setString(tab);
            t.field(1).setInteger(n);
            t.field(2).setString(std::string(tab) + std::to_string(n));
            t.post();
        }
    t.setRange({"beta"}, {"beta"});
    std::vector<std::string> visti;
    for (t.first(); !t.eof(); t.next())
        visti.push_back(t.field(2).asString());
    EXPECT_EQ(visti, (std::vector<std::string>{"beta1", "beta2", "beta3", "beta4"}));
    t.last();
    EXPECT_EQ(t.field(2).asString(), "beta4");
    // Deleting the detail rows one by one from the first.
    while (!t.isEmpty()) {
        t.first();
        t.deleteRecord();
    }
    t.cancelRange();
    EXPECT_EQ(t.recordCount(), 8u);
    // Keyed lookups.
    t.setKey();
    t.field("NomeTabella").setString("gamma");
    t.field("NumeroCampo").setInteger(3);
    EXPECT_TRUE(t.gotoKey());
    EXPECT_EQ(t.field(2).asString(), "gamma3");
    Bookmark bm = t.getBookmark();
    EXPECT_FALSE(t.findKey({"gamma", "9"}));
    EXPECT_EQ(t.field(2).asString(), "gamma3");  // not found: the cursor stays
    t.findNearest({"b"});
    EXPECT_EQ(t.field(2).asString(), "gamma1");
    EXPECT_TRUE(t.findKey({"alfa"}));
    EXPECT_EQ(t.field(2).asString(), "alfa1");
    // The bookmark survives changes to other records.
    t.first();
    t.deleteRecord();
    t.append();
    t.field(0).setString("aaa");
    t.field(1).setInteger(1);
    t.post();
    t.gotoBookmark(bm);
    EXPECT_EQ(t.field(2).asString(), "gamma3");
    t.deleteRecord();
    EXPECT_NE(errore([&] { t.gotoBookmark(bm); }).find("non è più presente"), std::string::npos);
    // Views bound to the table hear of every move once resumed.
    int avvisi = 0;
    t.setOnChange([&] { ++avvisi; });
    t.disableControls();
    t.first();
    t.next();
    EXPECT_EQ(avvisi, 0);
    t.enableControls();
    EXPECT_EQ(avvisi, 1);
    t.next();
    EXPECT_EQ(avvisi, 2);
}

TEST(Tabelle, FileDanneggiatiRifiutatiConUnMessaggioChiaro)
{
    CartellaTemporanea d;
    crea(d.percorso(), "D.DB", 200);
    const std::string buono = test::leggiFile(d / "D.DB");
    struct Caso {
        const char* nome;
        std::function<void(std::string&)> guasta;
    };
    const Caso casi[] = {
        {"troncato", [](std::string& s) { s.resize(s.size() - 1500); }},
        {"intestazione corta", [](std::string& s) { s.resize(40); }},
        {"spazzatura", [](std::string& s) { std::fill(s.begin(), s.begin() + 0x80, '\x5a'); }},
        {"conteggio record", [](std::string& s) { s[6] = static_cast<char>(s[6] + 1); }},
        {"catena circolare", [](std::string& s) { s[2048] = 1; s[2049] = 0; }},
        {"blocco fuori dal file", [](std::string& s) { s[2048] = '\xff'; s[2049] = '\x7f'; }},
        {"primo blocco fuori", [](std::string& s) { s[0x0E] = '\x70'; }},
        {"campi", [](std::string& s) { s[0x21] = 0; }},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        std::string s = buono;
        c.guasta(s);
        test::scriviFile(d / "D.DB", s);
        Table t;
        punta(t, d.percorso(), "D.DB");
        const std::string e = errore([&] { t.open(); leggi(t); });
        EXPECT_TRUE(e.find("danneggiat") != std::string::npos || e.find("non è valido") != std::string::npos) << e;
    }
}

// A key whose sort order we know only in part (DBWINWE0: read as ANSIINTL) would be left out
// of order by a change: the table reads, walks both ways, and refuses every change with a
// message, its files untouched.
TEST(Tabelle, OrdinamentoNonGestitoSiLeggeMaNonSiModifica)
{
    CartellaTemporanea d;
    const std::string nome = "D.DB";
    {
        Table t;
        punta(t, d.percorso(), nome);
        t.fieldDefs = {{"Nome", FieldType::Alpha, 20, false}, {"Citta", FieldType::Alpha, 20, false}};
        t.indexDefs = {{"", "Nome", IndexOption::Primary | IndexOption::Unique}};
        t.sortOrder = "ANSIINTL";
        t.createTable();
        t.open();
        for (int i = 0; i < 18; ++i) {
            t.append();
            t.field(0).setString((i % 2 ? "\u00e9" : "E") + std::to_string(i * 7 % 18));
            t.field(1).setString("Citt\u00e0");
            t.post();
        }
    }
    // The same bytes under another driver's name and byte.
    for (const char* f : {"D.DB", "D.PX"}) {
        std::string b = test::leggiFile(d / f);
        b[0x29] = 0x40;
        const auto at = b.find(std::string("ANSIINTL\0", 9));
        if (at != std::string::npos)
            b.replace(at, 8, "DBWINWE0");
        test::scriviFile(d / f, b);
    }
    auto fotografia = [&] {
        std::vector<std::string> v;
        for (const auto& f : files(d))
            v.push_back(f + ":" + test::leggiFile(d / f));
        return v;
    };
    const auto prima = fotografia();
    Table t;
    punta(t, d.percorso(), nome);
    t.open();
    const auto avanti = leggi(t).righe;
    ASSERT_EQ(avanti.size(), 18u);
    std::vector<std::vector<std::string>> indietro;
    for (t.last(); !t.bof(); t.prior()) {
        std::vector<std::string> r;
        for (int i = 0; i < t.fieldCount(); ++i)
            r.push_back(t.field(i).asString());
        indietro.insert(indietro.begin(), r);
    }
    EXPECT_EQ(indietro, avanti);

    t.first();
    const std::string errore1 = errore([&] {
        t.edit();
        t.field(1).setString("Altro nome");
        t.post();
    });
    EXPECT_NE(errore1.find("DBWINWE0"), std::string::npos) << errore1;
    EXPECT_NE(errore1.find("non è gestito"), std::string::npos) << errore1;
    t.cancel();
    EXPECT_NE(errore([&] { t.deleteRecord(); }), "(nessun errore)");
    t.close();
    EXPECT_EQ(fotografia(), prima);
}

}  // namespace
}  // namespace korva::paradox
