// Creating Paradox tables from the dictionary: real files, read back by the engine and by pxlib.

#include "base/errore.h"
#include "dictionary/generatore.h"
#include "dictionary/gestione_tabelle.h"
#include "ditta_prova.h"
#include "engines/paradox/pxlib_ref.h"
#include "engines/paradox/table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace korva {
namespace {

using paradox::FieldDef;
using paradox::FieldType;
using paradox::IndexDef;
using test::DittaProva;
using test::erroreDi;
using test::righe;
namespace fs = std::filesystem;
namespace opz = paradox::IndexOption;

struct Letta {
    std::vector<FieldDef> campi;
    std::vector<IndexDef> indici;
};

Letta leggiDefinizioni(const std::string& dir, const std::string& nome)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(nome);
    t.open();
    return {t.fieldDefs, t.indexDefs};
}

std::set<std::string> file(const std::string& dir)
{
    std::set<std::string> nomi;
    for (const auto& voce : fs::directory_iterator(dir))
        nomi.insert(voce.path().filename().string());
    return nomi;
}

TEST(CreaTabCorrente, EsempioClientiConChiaveIndiciSingoliECompostiLettiDalMotoreEDaPxlib)
{
    DittaProva d;
    d.dizionario({test::clientiEsempio()});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_FALSE(fs::exists(d.cartella / "dati/archivi"));
    EXPECT_TRUE(g.CreaTabella());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella è stata creata", "fine"}));
    EXPECT_EQ(g.NomeTabellaCorrente, "clienti");
    EXPECT_EQ(g.DirTabellaCorrente, d.cartella.dir() + "dati/archivi/");
    EXPECT_EQ(g.FileTabellaCorrente, "clienti.DB");

    const std::string dir = d.cartella / "dati/archivi";
    // Data, primary index, the single-field index on field 2, the composite index.
    EXPECT_EQ(file(dir), (std::set<std::string>{"clienti.DB", "clienti.PX", "clienti.X02", "clienti.Y02",
                                                "clienti.XG0", "clienti.YG0"}));
    auto letta = leggiDefinizioni(dir, "clienti.DB");
    EXPECT_EQ(letta.campi, (std::vector<FieldDef>{{"codice", FieldType::Alpha, 6, false},
                                                  {"ragsoc", FieldType::Alpha, 40, false},
                                                  {"scadenza", FieldType::Date, 0, false}}));
    EXPECT_EQ(letta.indici, (std::vector<IndexDef>{{"", "codice", opz::Primary | opz::Unique},
                                                   {"ragsoc", "ragsoc", 0},
                                                   {"perscad", "scadenza;codice", opz::CaseInsensitive}}));

    // pxlib reads the data file and its primary index.
    auto px = test::leggiConPxlib(dir + "/clienti.DB", "", 1252);
    EXPECT_EQ(px.names, (std::vector<std::string>{"codice", "ragsoc", "scadenza"}));
    EXPECT_TRUE(px.rows.empty());
    int voci = -1;
    EXPECT_TRUE(test::pxlibLeggeIndice(dir + "/clienti.DB", dir + "/clienti.PX", voci));

    // The new table works: records go in and come out in key order.
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName("clienti.DB");
    t.open();
    for (const char* codice : {"B2", "A1"}) {
        t.append();
        t.field("codice").setString(codice);
        t.field("ragsoc").setString(std::string("Ditta ") + codice);
        t.field("scadenza").setString("2026-12-31");
        t.post();
    }
    t.close();
    px = test::leggiConPxlib(dir + "/clienti.DB", "", 1252);
    ASSERT_EQ(px.rows.size(), 2u);
    EXPECT_EQ(px.rows[0][0], "A1");
    EXPECT_EQ(px.rows[1][2], "2026-12-31");
}

TEST(CreaTabCorrente, ChiavePrimariaDaiPrimiCampiConChiaveEOrdineDelleposizioni)
{
    DittaProva d;
    d.dizionario({
        // The count rules: with 0 no key whatever the flags say.
        righe("a0", "", {"x:A5*", "y:N*"}, {}, 0),
        // With 2, the key flags of fields 1 and 3: only field 1 is among the first two.
        righe("b2", "", {"x:A5*", "y:I", "z:S*"}, {}, 2),
        // Positions "1", "0": the field at "0" comes first, whatever its NumeroCampo.
        righe("c10", "", {"k:A3*", "p:A5", "q:D"}, {{"pq", {{2, "1"}, {3, "0"}}, 1}}),
        // Every letter, N with a length read as N.
        righe("tipi", "", {"a:A255*", "n:N10", "i:I", "s:S", "d:D", "t:T", "m:M10", "b:B0", "g:G240"}),
    });
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    const std::string dati = d.cartella / "dati";
    g.perOgniTabella([&] { EXPECT_TRUE(g.CreaTabCorrente()) << g.EditTabellaCorrente(); });

    EXPECT_TRUE(leggiDefinizioni(dati, "a0.DB").indici.empty());
    EXPECT_EQ(file(dati).count("a0.PX"), 0u);
    EXPECT_EQ(leggiDefinizioni(dati, "b2.DB").indici,
              (std::vector<IndexDef>{{"", "x", opz::Primary | opz::Unique}}));
    auto c10 = leggiDefinizioni(dati, "c10.DB").indici;
    ASSERT_EQ(c10.size(), 2u);
    EXPECT_EQ(c10[1], (IndexDef{"pq", "q;p", 0}));  // TipoIndiceSecComp 1: case-sensitive
    EXPECT_EQ(leggiDefinizioni(dati, "tipi.DB").campi,
              (std::vector<FieldDef>{{"a", FieldType::Alpha, 255, false},
                                     {"n", FieldType::Number, 0, false},
                                     {"i", FieldType::Long, 0, false},
                                     {"s", FieldType::Short, 0, false},
                                     {"d", FieldType::Date, 0, false},
                                     {"t", FieldType::Time, 0, false},
                                     {"m", FieldType::Memo, 10, false},
                                     {"b", FieldType::Binary, 0, false},
                                     {"g", FieldType::Graphic, 240, false}}));
    EXPECT_TRUE(fs::exists(dati + "/tipi.MB"));
    EXPECT_TRUE(d.io.eventi().empty());
}

TEST(CreaTabCorrente, CartellaMancanteCreataConIGenitoriSenzaCambiareLaDirectoryCorrente)
{
    DittaProva d;
    d.dizionario({righe("prof", "uno/due/tre/", {"x:A5*"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    const auto corrente = fs::current_path();
    EXPECT_TRUE(g.CreaTabCorrente());
    EXPECT_TRUE(fs::exists(d.cartella / "dati/uno/due/tre/prof.DB"));
    EXPECT_EQ(fs::current_path(), corrente);
}

TEST(CreaTabCorrente, UnaTabellaEsistenteNonVieneToccata)
{
    DittaProva d;
    d.dizionario({test::clientiEsempio(), righe("senzasep", "archivi", {"x:A5*"})});
    test::scriviFile(d.cartella / "dati/archivi/CLIENTI.DB", "dati preziosi");
    // The folder without its separator joins the name (archivisenzasep.DB), but the engine
    // would write archivi/senzasep.DB: a table there is not replaced either.
    test::scriviFile(d.cartella / "dati/archivi/senzasep.DB", "altri dati");
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("clienti"));
    EXPECT_FALSE(g.CreaTabella());
    ASSERT_TRUE(g.vaiA("senzasep"));
    EXPECT_FALSE(g.CreaTabCorrente());
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella Esiste Già", "fine",
                                                       "messaggio: La Tabella Esiste Già"}));
    EXPECT_EQ(test::leggiFile(d.cartella / "dati/archivi/CLIENTI.DB"), "dati preziosi");
    EXPECT_EQ(test::leggiFile(d.cartella / "dati/archivi/senzasep.DB"), "altri dati");
    EXPECT_EQ(file(d.cartella / "dati/archivi"), (std::set<std::string>{"CLIENTI.DB", "senzasep.DB"}));
}

TEST(CreaTabCorrente, DescrizioniCattiveRifiutatePrimaDiToccareQualcosa)
{
    const std::pair<RigheTabella, std::string> casi[] = {
        {righe("t", "nuova/", {"a:A5*", "b:X9"}), "campo b: tipo \"X9\" non previsto"},
        {righe("t", "nuova/", {"a:A5*", "b:A"}), "campo b: la lunghezza del tipo \"A\" non è un numero intero"},
        {righe("t", "nuova/", {"a:A5*", "b:M1O"}), "campo b: la lunghezza del tipo \"M1O\" non è un numero intero"},
        {righe("t", "nuova/", {"a:A5*", "b:A5"}, {{"ix", {{1, "0"}, {2, "21"}}}}),
         "indice ix: posizione 21 fuori dall'intervallo da 0 a 20"},
        {righe("t", "nuova/", {"a:A5*", "b:A5"}, {{"ix", {{1, "0"}, {2, "2"}}}}),
         "indice ix: manca la posizione 1"},
        {righe("t", "nuova/", {"a:A5*", "b:A5"}, {{"ix", {{1, "0"}, {9, "1"}}}}),
         "indice ix: il campo numero 9 non è descritto"},
        {righe("t", "nuova/", {"a:A5*", "b:A5"}, {}, 3), "chiave primaria: 3 campi chiave su 2 campi descritti"},
        // Unnamed, the engine would take it for a primary key the dictionary does not give.
        {righe("t", "nuova/", {"a:A5", "b:A5"}, {{"", {{1, "0"}, {2, "1"}}}}, 0), "indice multiplo: nome mancante"},
        // A Paradox memo keeps part of its text in the record: it needs that length.
        {righe("t", "nuova/", {"a:A5*", "b:M"}), "campo b: la lunghezza del tipo \"M\" non è un numero intero"},
    };
    for (const auto& [tabella, difetto] : casi) {
        DittaProva d;
        d.dizionario({tabella});
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        const std::string errore = erroreDi([&] { g.CreaTabella(); });
        EXPECT_EQ(errore.rfind("Descrizione della tabella t non valida: " + difetto, 0), 0u) << errore;
        // Neither the folder nor a file; the busy indicator keeps its start text.
        EXPECT_FALSE(fs::exists(d.cartella / "dati/nuova")) << difetto;
        EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"inizio"});
    }
}

// The current directory for the life of the object.
class InCartella {
public:
    explicit InCartella(const std::string& cartella) : prima_(fs::current_path()) { fs::current_path(cartella); }
    ~InCartella() { fs::current_path(prima_); }
    InCartella(const InCartella&) = delete;
    InCartella& operator=(const InCartella&) = delete;

private:
    fs::path prima_;
};

// "C:\WINDOWS" is the value of a directory that was never chosen: joined to a name it would
// make a folder of that name wherever the program runs.
TEST(CreaTabCorrente, DirectoryNonImpostateRifiutatePrimaDiCreareQualcosa)
{
    for (const char* valore : {"C:\\WINDOWS", ""}) {
        DittaProva d;
        d.dizionario({test::clientiEsempio()});
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.tabForm->LavoroDir = valore;
        d.tabForm->TracciatiDir1 = valore;
        d.tabForm->AggiornaPercorsi();
        test::CartellaTemporanea altrove;
        InCartella qui(altrove.percorso());
        EXPECT_EQ(erroreDi([&] { g.CreaTabella(); }),
                  "Impossibile procedere: \"Directory di lavoro\" non impostata per la ditta Prova S.n.c. "
                  "(da impostare dal menu Sistema, Directory archivi)");
        EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"inizio"});
        GeneratoreArchivi generatore(d.io, *d.tabForm);
        EXPECT_EQ(erroreDi([&] { generatore.Genera(); }),
                  "Impossibile procedere: \"Directory tracciati record\" non impostata per la ditta Prova "
                  "S.n.c. (da impostare dal menu Sistema, Directory tracciati record 1)");
        EXPECT_EQ(d.io.eventi(), std::vector<std::string>{"inizio"});  // not even the question
        EXPECT_TRUE(fs::is_empty(altrove.percorso())) << valore;
        EXPECT_TRUE(fs::is_empty(d.cartella / "dati"));
    }
}

// A table name is a file name: a folder part would lead away from the data directory, and a
// second creation would find the table made there under another name.
TEST(CreaTabCorrente, NomiConSeparatoriOPuntiRifiutatiPrimaDiToccareQualcosa)
{
    for (const std::string nome : {"a/b", "../esc", "a\\b", "..", "."}) {
        DittaProva d;
        d.dizionario({righe(nome, "sotto/", {"x:A5*"})});
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        const std::string rifiuto = "Nome di tabella non valido: \"" + nome +
                                    "\" (dev'essere un nome di file, senza \"/\", \"\\\", \"..\" o caratteri nulli)";
        for (int volta = 0; volta < 2; ++volta)
            EXPECT_EQ(erroreDi([&] { g.CreaTabCorrente(); }), rifiuto);
        EXPECT_TRUE(d.io.eventi().empty()) << nome;
        EXPECT_TRUE(fs::is_empty(d.cartella / "dati")) << nome;
        EXPECT_EQ(file(d.cartella.percorso()),
                  (std::set<std::string>{"bin", "dati", "ditta.cfg", "tr1", "tr2", "varnelo.ini"}))
            << nome;
    }
}

TEST(CreaTabCorrente, RifiutoDelMotoreSenzaTabella)
{
    DittaProva d;
    d.dizionario({righe("lunga", "", {"a:A300*"}), righe("nokey", "", {"a:A5", "b:A5+"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    g.primo();
    EXPECT_NE(erroreDi([&] { g.CreaTabCorrente(); }).find("dimensione 300 non valida per il campo a"),
              std::string::npos);
    g.successivo();
    EXPECT_NE(erroreDi([&] { g.CreaTabCorrente(); }).find("gli indici secondari richiedono una chiave primaria"),
              std::string::npos);
    EXPECT_TRUE(file(d.cartella / "dati").empty());
}

TEST(CreaTutto, DizionarioVuotoTabelleEsistentiEFallimentoAMeta)
{
    DittaProva d;
    d.dizionario({});
    {
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        g.CreaTutto();
        EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{
                                     "inizio", "messaggio: Creazione di tutte le tabelle terminata", "fine"}));
    }

    d.io.azzera();
    d.dizionario({righe("uno", "", {"a:A5*"}), righe("due", "x/", {"a:A5*"}), righe("tre", "", {"a:A5*"})});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("tre"));
    g.CreaTutto();
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: Creazione di tutte le tabelle terminata",
                                                       "fine"}));
    EXPECT_TRUE(fs::exists(d.cartella / "dati/uno.DB"));
    EXPECT_TRUE(fs::exists(d.cartella / "dati/x/due.DB"));
    EXPECT_EQ(g.EditTabellaCorrente(), "tre");

    // Over tables that exist: one "La Tabella Esiste Già" each, a new one is made silently.
    fs::remove(d.cartella / "dati/uno.DB");
    d.io.azzera();
    g.CreaTutto();
    EXPECT_EQ(d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella Esiste Già",
                                                       "messaggio: La Tabella Esiste Già",
                                                       "messaggio: Creazione di tutte le tabelle terminata", "fine"}));
    EXPECT_TRUE(fs::exists(d.cartella / "dati/uno.DB"));

    // A table that cannot be made is reported and the run goes on; the final message counts it.
    fs::remove(d.cartella / "dati/uno.DB");
    fs::remove(d.cartella / "dati/tre.DB");
    fs::remove_all(d.cartella / "dati/x");
    test::scriviFile(d.cartella / "dati/x", "non una cartella");
    d.io.azzera();
    EXPECT_FALSE(g.CreaTutto());
    ASSERT_EQ(d.io.eventi().size(), 4u);
    EXPECT_EQ(d.io.eventi()[1].rfind("messaggio: Tabella due: ", 0), 0u) << d.io.eventi()[1];
    EXPECT_EQ(d.io.eventi()[2], "messaggio: Creazione di tutte le tabelle terminata (1 tabella non creata)");
    EXPECT_EQ(g.EditTabellaCorrente(), "tre");
    EXPECT_TRUE(fs::exists(d.cartella / "dati/uno.DB"));  // "due" comes first by name
    EXPECT_TRUE(fs::exists(d.cartella / "dati/tre.DB"));
}

}  // namespace
}  // namespace korva
