// Layout verification of Paradox tables on real files: tables made from the dictionary
// match, tables changed by hand are told with what differs, and nothing of the comparison
// stays behind, whatever fails.

#include "checks/turno_verifica.h"
#include "checks/verifica_tracciato.h"
#include "dictionary/creazione_paradox.h"
#include "ditta_prova.h"
#include "engines/paradox/table.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
using test::righe;
using Eventi = std::vector<std::string>;
namespace fs = std::filesystem;
using paradox::FieldType;
namespace opz = paradox::IndexOption;

const std::string kCorrisponde = std::string("messaggio: ") + kTracciatoCorrisponde;
const std::string kNonCorrisponde = std::string("messaggio: ") + kTracciatoNonCorrisponde;

// Any file of the comparison table (XXXCONF.DB, .PX, .X02, .MB, ...) in the folder.
// What stays of the comparison table. The turn's file may stay when even its removal failed:
// the next turn takes it over.
std::string restaConfronto(const std::string& dir)
{
    std::vector<std::string> nomi;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().stem().string() == kTabellaConfronto && e.path().filename() != kFileTurnoVerifica)
            nomi.push_back(e.path().filename().string());
    std::sort(nomi.begin(), nomi.end());
    std::string rimasti;
    for (const auto& n : nomi)
        rimasti += n + " ";
    return rimasti;
}

// The table can be had exclusively: nobody, this process included, keeps it open.
bool libera(const std::string& dir, const std::string& file)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(file);
    t.setExclusive(true);
    try {
        t.open();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void creaSuDisco(const std::string& dir, const std::string& file, const DefinizioniParadox& definizioni)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(file);
    t.fieldDefs = definizioni.campi;
    t.indexDefs = definizioni.indici;
    t.createTable();
}

class VerificaParadox : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Every type code, every kind of index.
        d.dizionario({test::clientiEsempio(),
                      righe("tipi", "archivi/", {"k:A10*", "n:N", "i:I+", "s:S", "d:D", "t:T", "m:M20", "b:B10", "g:G5"},
                            {{"maius", {{1, "0"}, {4, "1"}}, 1}, {"minus", {{3, "1"}, {2, "0"}}}})});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        ASSERT_TRUE(g->vaiA("clienti"));
        definizioni = definizioniParadox(g->descrizioneCorrente());
    }
    void verifica(const std::string& tabella, bool corrisponde)
    {
        ASSERT_TRUE(g->vaiA(tabella));
        d.io.azzera();
        EXPECT_EQ(VerificaTracciato(*g), corrisponde);
    }

    DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
    DefinizioniParadox definizioni;
    const std::string dir = d.cartella.dir() + "dati/archivi/";
};

TEST_F(VerificaParadox, TabelleCreateDalDizionarioCorrispondonoSenzaLasciareNulla)
{
    g->perOgniTabella([&] { ASSERT_TRUE(g->CreaTabCorrente()); });
    for (const char* t : {"clienti", "tipi"}) {
        verifica(t, true);
        EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", kCorrisponde, "fine"})) << t;
        EXPECT_EQ(restaConfronto(dir), "");
        EXPECT_TRUE(libera(dir, std::string(t) + ".DB"));
    }
    // A stale comparison table of another layout goes first and changes nothing.
    creaSuDisco(dir, "XXXCONF.DB", {{{"zz", FieldType::Long, 0, false}}, {}});
    verifica("clienti", true);
    EXPECT_EQ(restaConfronto(dir), "");
    // The whole run comes back to the row that was current.
    d.io.azzera();
    EXPECT_TRUE(VerificaTuttiTracciati(*g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Verifica tracciati di tutte le tabelle terminata", "fine"}));
    EXPECT_EQ(g->EditTabellaCorrente(), "clienti");
}

// Each change made on disk to the table the dictionary describes, and the lines telling it.
TEST_F(VerificaParadox, OgniDifferenzaNegaLaCorrispondenzaEVieneDetta)
{
    struct Caso {
        const char* nome;
        std::function<void(DefinizioniParadox&)> cambia;
        Eventi righe;
    };
    const std::vector<Caso> casi = {
        {"campi in altro ordine", [](DefinizioniParadox& x) { std::swap(x.campi[1], x.campi[2]); },
         {"campo 2: nel dizionario ragsoc A40, nella tabella scadenza D",
          "campo 3: nel dizionario scadenza D, nella tabella ragsoc A40"}},
        {"nome del campo in maiuscolo", [](DefinizioniParadox& x) { x.campi[2].name = "SCADENZA"; x.indici[2].fields = "SCADENZA;codice"; },
         {"campo 3: nel dizionario scadenza D, nella tabella SCADENZA D",
          "indice perscad: campi nel dizionario scadenza;codice, nella tabella SCADENZA;codice"}},
        {"lunghezza", [](DefinizioniParadox& x) { x.campi[1].size = 30; },
         {"campo 2 ragsoc: nel dizionario A40, nella tabella A30"}},
        {"campo obbligatorio", [](DefinizioniParadox& x) { x.campi[2].required = true; },
         {"campo 3 scadenza: nel dizionario D, nella tabella D obbligatorio"}},
        {"un campo in più", [](DefinizioniParadox& x) { x.campi.push_back({"note", FieldType::Memo, 10, false}); },
         {"numero dei campi: nel dizionario 3, nella tabella 4", "campo 4 note M10: in più nella tabella"}},
        {"un indice in più", [](DefinizioniParadox& x) { x.indici.push_back({"extra", "scadenza", 0}); },
         {"numero degli indici: nel dizionario 3, nella tabella 4", "indice extra (scadenza): in più nella tabella"}},
        {"un indice in meno", [](DefinizioniParadox& x) { x.indici.pop_back(); },
         {"numero degli indici: nel dizionario 3, nella tabella 2", "indice perscad: manca nella tabella"}},
        {"nome dell'indice in maiuscolo", [](DefinizioniParadox& x) { x.indici[2].name = "PERSCAD"; },
         {"indice perscad: nella tabella si chiama PERSCAD"}},
        {"composto distinto dalle maiuscole", [](DefinizioniParadox& x) { x.indici[2].options = 0; },
         {"indice perscad: nel dizionario maiuscole-indifferenti, nella tabella nessuna opzione"}},
        {"chiave diversa", [](DefinizioniParadox& x) { x.indici[0].fields = "codice;ragsoc"; },
         {"indice primario: campi nel dizionario codice, nella tabella codice;ragsoc"}},
    };
    for (const Caso& caso : casi) {
        SCOPED_TRACE(caso.nome);
        fs::remove_all(dir);
        fs::create_directories(dir);
        DefinizioniParadox suDisco = definizioni;
        caso.cambia(suDisco);
        creaSuDisco(dir, "clienti.DB", suDisco);
        verifica("clienti", false);
        Eventi attesi{"inizio", kNonCorrisponde};
        for (const std::string& riga : caso.righe)
            attesi.push_back("dettaglio: " + riga);
        attesi.push_back("fine");
        EXPECT_EQ(d.io.eventi(), attesi);
        EXPECT_EQ(restaConfronto(dir), "");
        EXPECT_TRUE(libera(dir, "clienti.DB"));
    }
    // The whole run names the table and lists the same lines.
    d.io.azzera();
    EXPECT_FALSE(VerificaTuttiTracciati(*g));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: " + testoNonCorrisponde("clienti"),
                                     "dettaglio: indice primario: campi nel dizionario codice, nella tabella codice;ragsoc",
                                     "messaggio: La Tabella da confrontare non esiste",
                                     "messaggio: " + testoNonCorrisponde("tipi"),
                                     "messaggio: Verifica tracciati di tutte le tabelle terminata", "fine"}));
}

TEST_F(VerificaParadox, TabellaMancanteOTenutaDaAltriEDizionarioVuoto)
{
    verifica("clienti", false);
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: La Tabella da confrontare non esiste", kNonCorrisponde, "fine"}));

    ASSERT_TRUE(g->CreaTabCorrente());
    paradox::Table altro;
    altro.setDatabaseName(dir);
    altro.setTableName("clienti.DB");
    altro.setExclusive(true);
    altro.open();
    verifica("clienti", false);
    ASSERT_EQ(d.io.eventi().size(), 4u);
    EXPECT_EQ(d.io.eventi()[1],
              "messaggio: Tabella: clienti.DB CORROTTA; impossibile effettuare  la verifica del tracciato record");
    EXPECT_NE(d.io.eventi()[2].find("in uso esclusivo"), std::string::npos) << d.io.eventi()[2];
    EXPECT_EQ(d.io.eventi()[3], "fine");
    EXPECT_EQ(restaConfronto(dir), "");
    // The whole run: no verdict for the held table, the missing one told, the run goes on.
    d.io.azzera();
    EXPECT_FALSE(VerificaTuttiTracciati(*g));
    ASSERT_EQ(d.io.eventi().size(), 7u);
    EXPECT_EQ(d.io.eventi()[4], "messaggio: " + testoNonCorrisponde("tipi"));
    altro.close();

    d.dizionario({}, d.tabForm->TracciatiDir2);
    GestioneTabelle vuoto(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    d.io.azzera();
    EXPECT_FALSE(VerificaTracciato(vuoto));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio", "messaggio: Impossibile procedere: nessuna tabella presente", kNonCorrisponde, "fine"}));
}

// A dictionary that cannot give a sound table (a composite position past 20) is refused with
// its own message; the comparison table does not stay and the table under test is free.
TEST_F(VerificaParadox, DizionarioNonValidoLasciaTuttoPulito)
{
    ASSERT_TRUE(g->CreaTabCorrente());
    d.dizionario({righe("clienti", "archivi/", {"codice:A6*", "ragsoc:A40+", "scadenza:D"}, {{"perscad", {{1, "21"}, {3, "0"}}}})},
                 d.tabForm->TracciatiDir2);
    GestioneTabelle g2(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    EXPECT_EQ(erroreDi([&] { VerificaTracciato(g2); }),
              "Descrizione della tabella clienti non valida: indice perscad: posizione 21 fuori dall'intervallo da 0 a 20");
    EXPECT_EQ(restaConfronto(dir), "");
    EXPECT_TRUE(libera(dir, "clienti.DB"));
}

// XXXCONF is the verification's own: a row of that name is refused; a comparison table that
// holds records, or files merely named like it, are never removed, while what a stopped
// process of the engine left of it goes.
TEST_F(VerificaParadox, UnaXXXCONFConRecordEIFileSoloSimiliRestano)
{
    ASSERT_TRUE(g->CreaTabCorrente());
    creaSuDisco(dir, "XXXCONF.DB", {{{"zz", FieldType::Long, 0, false}}, {}});
    {
        paradox::Table t;
        t.setDatabaseName(dir);
        t.setTableName("XXXCONF.DB");
        t.open();
        for (int i = 1; i <= 2; ++i) {
            t.append();
            t.field(0).setInteger(i);
            t.post();
        }
    }
    const std::map<std::string, std::string> altri = {
        {"XXXCONF.txt", "appunti"}, {"xxxconf.db.bak", "una copia"}, {"XXXCONF.TV", "vista di un altro programma"}};
    for (const auto& [nome, testo] : altri)
        test::scriviFile(dir + nome, testo);
    const std::string dati = test::leggiFile(dir + "XXXCONF.DB");
    // A new file of a switch that a stopped process never began.
    test::scriviFile(dir + "XXXCONF.PX.tmp-999999999-3", "resto");

    verifica("clienti", false);
    EXPECT_EQ(d.io.eventi(),
              (Eventi{"inizio",
                      "messaggio: Impossibile verificare il tracciato della tabella clienti: nella cartella " +
                          dir.substr(0, dir.size() - 1) +
                          " c'è una tabella XXXCONF che la verifica non può eliminare. Controllarla e spostarla "
                          "altrove prima di procedere",
                      "dettaglio: La tabella " + dir + "XXXCONF.DB contiene 2 record: non viene eliminata", "fine"}));
    EXPECT_EQ(test::leggiFile(dir + "XXXCONF.DB"), dati);
    EXPECT_FALSE(fs::exists(dir + "XXXCONF.PX.tmp-999999999-3"));
    EXPECT_TRUE(libera(dir, "clienti.DB"));

    // Emptied, it is taken for a comparison table left behind: it goes, the other files stay.
    paradox::emptyTable(paradox::Session::standard(), dir.substr(0, dir.size() - 1), "XXXCONF.DB");
    verifica("clienti", true);
    EXPECT_EQ(restaConfronto(dir), "XXXCONF.TV XXXCONF.txt ");
    for (const auto& [nome, testo] : altri)
        EXPECT_EQ(test::leggiFile(dir + nome), testo) << nome;

    // A dictionary row of that name is not verified, and its table not touched.
    d.dizionario({righe("XxxConf", "archivi/", {"zz:I*"})}, d.tabForm->TracciatiDir2);
    GestioneTabelle g2(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    d.io.azzera();
    ASSERT_TRUE(g2.CreaTabCorrente());
    EXPECT_EQ(d.io.eventi(), (Eventi{"messaggio: " + avvisoNomeTabellaConfronto("XxxConf")}));
    const std::string creata = test::leggiFile(dir + "XxxConf.DB");
    d.io.azzera();
    EXPECT_FALSE(VerificaTracciato(g2));
    EXPECT_EQ(d.io.eventi(), (Eventi{"inizio",
                                     "messaggio: Impossibile verificare il tracciato della tabella XxxConf: XXXCONF "
                                     "è il nome della tabella di confronto della verifica",
                                     "fine"}));
    EXPECT_EQ(test::leggiFile(dir + "XxxConf.DB"), creata);
}

// The verifications of one folder take turns: one that finds the turn held waits for it, and
// after its wait says so without touching anything.
TEST_F(VerificaParadox, UnaVerificaAspettaIlTurnoDellaCartella)
{
    ASSERT_TRUE(g->CreaTabCorrente());
    const std::string cartella = dir.substr(0, dir.size() - 1);
    impostaAttesaTurnoVerifica(std::chrono::milliseconds(300));
    {
        TurnoVerifica altra(paradox::Session::standard().env(), cartella, std::chrono::milliseconds(0));
        ASSERT_TRUE(g->vaiA("clienti"));
        EXPECT_EQ(erroreDi([&] { VerificaTracciato(*g); }),
                  "Un'altra verifica del tracciato è in corso nella cartella " + cartella +
                      ": riprovare quando sarà terminata");
        EXPECT_EQ(restaConfronto(dir), "");
        EXPECT_TRUE(libera(dir, "clienti.DB"));
    }
    impostaAttesaTurnoVerifica(std::chrono::seconds(20));
    verifica("clienti", true);
    EXPECT_FALSE(fs::exists(dir + kFileTurnoVerifica));
    // Still empty: made by a verification whose turn another took before it wrote its line.
    test::scriviFile(dir + kFileTurnoVerifica, "");
    verifica("clienti", true);
    EXPECT_FALSE(fs::exists(dir + kFileTurnoVerifica));
}

// Each writing step of the comparison failed in turn: whatever failed, no XXXCONF file stays
// and the table under test is not kept open.
TEST_F(VerificaParadox, GuastoInOgniPassoNonLasciaTabellaDiConfronto)
{
    ASSERT_TRUE(g->CreaTabCorrente());
    test::EnvGuasti conta;
    {
        paradox::Session sessione(conta);
        GestioneTabelle gc(d.io, *d.tabForm, d.tabForm->TracciatiDir1, sessione);
        ASSERT_TRUE(gc.vaiA("clienti"));
        ASSERT_TRUE(ConfrontaTabCorrente(gc).corrisponde);
    }
    const std::int64_t passi = conta.operazioni();
    ASSERT_GT(passi, 3);
    int falliti = 0;
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        test::EnvGuasti env;
        paradox::Session sessione(env);
        GestioneTabelle gc(d.io, *d.tabForm, d.tabForm->TracciatiDir1, sessione);
        ASSERT_TRUE(gc.vaiA("clienti"));
        env.guastaAl(n, test::EnvGuasti::Guasto::ScritturaCorta);
        try {
            // A lock that could not be written makes the table unreadable: no verdict then.
            const Confronto esito = ConfrontaTabCorrente(gc);
            EXPECT_TRUE(esito.corrisponde || esito.TabellaCorrotta);
        } catch (const Error&) {
            ++falliti;
        }
        EXPECT_EQ(restaConfronto(dir), "");
        EXPECT_TRUE(libera(dir, "clienti.DB"));
    }
    EXPECT_GT(falliti, 0);
}

}  // namespace
}  // namespace korva
