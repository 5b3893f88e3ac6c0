// "Rigenera tabella corrente" in the Paradox mode: the checks and the question, the records
// following the dictionary's new layout by position, and every refusal leaving the table's
// files as they were.

#include "dictionary/ditta_prova.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/paradox/table.h"
#include "maintenance/rigenerazione.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace korva {
namespace {

using test::righe;
namespace fs = std::filesystem;
using Righe = std::vector<std::vector<std::string>>;

const std::string kDomanda = std::string("domanda: ") + kDomandaRigenerazione;

// Every file of the folder with its bytes.
std::map<std::string, std::string> contenuto(const fs::path& dir)
{
    std::map<std::string, std::string> m;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file())
            m[e.path().filename().string()] = test::leggiFile(e.path());
    return m;
}

struct Letta {
    std::vector<std::string> campi;
    Righe righe;
    std::vector<std::string> problemi;
};

Letta leggi(const std::string& dir, const std::string& nome)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(nome);
    t.open();
    Letta l;
    l.problemi = t.check();
    for (const auto& f : t.fieldDefs)
        l.campi.push_back(f.name);
    for (t.first(); !t.eof(); t.next()) {
        l.righe.emplace_back();
        for (int i = 0; i < t.fieldCount(); ++i)
            l.righe.back().push_back(t.field(i).asString());
    }
    return l;
}

// A company whose dictionary first describes `vecchi`, the table created from it and filled
// with `record`; then the dictionary describes `nuovi`, and the table is the current row.
struct Rigenerazione {
    Rigenerazione(const std::vector<std::string>& vecchi, const std::vector<std::string>& nuovi, const Righe& record)
    {
        d.dizionario({righe("art", "mag/", vecchi)});
        {
            GestioneTabelle prima(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
            EXPECT_TRUE(prima.CreaTabCorrente());
        }
        paradox::Table t;
        t.setDatabaseName(dir());
        t.setTableName("art.DB");
        t.open();
        for (const auto& r : record) {
            t.append();
            for (std::size_t i = 0; i < r.size(); ++i)
                t.field(static_cast<int>(i)).setString(r[i]);
            t.post();
        }
        t.close();
        d.dizionario({righe("art", "mag/", nuovi)});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.io.azzera();
    }
    std::string dir() const { return d.cartella / "dati/mag"; }

    test::DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
};

TEST(RigenerazioneParadox, IRecordSeguonoIlNuovoTracciatoPerPosizione)
{
    struct Caso {
        const char* nome;
        std::vector<std::string> vecchi, nuovi;
        Righe record;
        std::vector<std::string> campiDopo;
        Righe dopo;
    };
    const std::vector<Caso> casi = {
        {"campo aggiunto in fondo", {"codice:A6*", "nome:A20"}, {"codice:A6*", "nome:A20", "note:A10", "n:I"},
         {{"A1", "uno"}, {"B2", "due"}}, {"codice", "nome", "note", "n"},
         {{"A1", "uno", "", ""}, {"B2", "due", "", ""}}},
        {"campi scambiati: i valori seguono le posizioni", {"k:I*", "a:A10", "b:A10"}, {"k:I*", "b:A10", "a:A10"},
         {{"1", "x", "y"}}, {"k", "b", "a"}, {{"1", "x", "y"}}},
        {"campo allargato e cambiato di tipo", {"k:I*", "testo:A5", "q:S", "m:M10"},
         {"k:I*", "testo:A30", "q:N", "m:A40"}, {{"3", "corto", "-12", "memo breve"}, {"4", "", "", ""}},
         {"k", "testo", "q", "m"}, {{"3", "corto", "-12", "memo breve"}, {"4", "", "", ""}}},
        {"tabella vuota", {"k:I*"}, {"k:I*", "nuovo:D+"}, {}, {"k", "nuovo"}, {}},
        {"campo tolto in fondo, memo lungo conservato", {"k:A4*", "m:M10", "via:A3"}, {"k:A4*", "m:M10"},
         {{"z", std::string(3000, 'q'), "abc"}}, {"k", "m"}, {{"z", std::string(3000, 'q')}}},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        Rigenerazione r(c.vecchi, c.nuovi, c.record);
        r.d.io.risposte({Risposta::Si});
        EXPECT_TRUE(RigeneraTabCorrente(*r.g));
        EXPECT_EQ(r.d.io.eventi(), (std::vector<std::string>{"inizio", kDomanda,
                                                             std::string("messaggio: ") + kRigenerazioneCompletata, "fine"}));
        const Letta l = leggi(r.dir(), "art.DB");
        EXPECT_EQ(l.campi, c.campiDopo);
        EXPECT_EQ(l.righe, c.dopo);
        EXPECT_TRUE(l.problemi.empty()) << l.problemi.front();
        // Only the new table's own files are left.
        for (const auto& [nome, byte] : contenuto(r.dir()))
            EXPECT_EQ(nome.rfind("art.", 0), 0u) << nome;
        EXPECT_EQ(r.g->DirTabellaCorrente, r.d.tabForm->LavoroDir + "mag/");
        if (!c.record.empty()) {
            const std::string n = std::to_string(c.record.size());
            EXPECT_EQ(r.d.io.progressi().back(), std::string("Rigenerazione art ").append(n).append("/").append(n));
        }
    }
}

TEST(RigenerazioneParadox, UnRecordCheNonEntraFermaTuttoELaTabellaRestaComEra)
{
    struct Caso {
        const char* nome;
        std::vector<std::string> vecchi, nuovi;
        Righe record;
        std::vector<std::string> nelMessaggio;
    };
    const std::vector<Caso> casi = {
        {"campo ristretto sotto il valore più lungo", {"k:I*", "testo:A20"}, {"k:I*", "testo:A4"},
         {{"1", "ok"}, {"2", "troppo lungo"}, {"3", "no"}},
         {"record 2:", "testo", "\"troppo lungo\""}},
        {"testo che non è un numero", {"k:I*", "v:A10"}, {"k:I*", "v:I"}, {{"1", "12"}, {"2", "dodici"}},
         {"record 2:", "campo v", "\"dodici\""}},
        {"chiave ridotta con valori ripetuti", {"k:I*", "s:A5*"}, {"k:I*", "s:A5"}, {{"1", "a"}, {"1", "b"}},
         {"record 2:", "Violazione di chiave", "k = \"1\""}},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        Rigenerazione r(c.vecchi, c.nuovi, c.record);
        const auto prima = contenuto(r.dir());
        r.d.io.risposte({Risposta::Si});
        const std::string errore = test::erroreDi([&] { RigeneraTabCorrente(*r.g); });
        EXPECT_EQ(errore.rfind("Rigenerazione della tabella ", 0), 0u) << errore;
        for (const std::string& parte : c.nelMessaggio)
            EXPECT_NE(errore.find(parte), std::string::npos) << errore << " / " << parte;
        EXPECT_NE(errore.find("La tabella è rimasta com'era"), std::string::npos) << errore;
        EXPECT_EQ(contenuto(r.dir()), prima);
    }
}

TEST(RigenerazioneParadox, ControlliNellOrdineENessunaDomanda)
{
    test::DittaProva vuoto;
    vuoto.dizionario({});
    GestioneTabelle g1(vuoto.io, *vuoto.tabForm, vuoto.tabForm->TracciatiDir1);
    test::DittaProva senzaNome;
    senzaNome.dizionario({righe("", "", {"a:A1"})});
    GestioneTabelle g2(senzaNome.io, *senzaNome.tabForm, senzaNome.tabForm->TracciatiDir1);
    test::DittaProva senzaFile;
    senzaFile.dizionario({righe("art", "mag/", {"a:A1"})});
    GestioneTabelle g3(senzaFile.io, *senzaFile.tabForm, senzaFile.tabForm->TracciatiDir1);
    const std::vector<std::pair<GestioneTabelle*, test::DittaProva*>> casi = {
        {&g1, &vuoto}, {&g2, &senzaNome}, {&g3, &senzaFile}};
    const std::vector<std::string> attesi = {"Impossibile procedere: nessuna tabella presente",
                                             "Impossibile procedere: nessuna tabella selezionata",
                                             "La Tabella non Esiste: impossibile procedere"};
    for (std::size_t i = 0; i < casi.size(); ++i) {
        EXPECT_FALSE(RigeneraTabCorrente(*casi[i].first));
        EXPECT_EQ(casi[i].second->io.eventi(), (std::vector<std::string>{"inizio", std::string("messaggio: ").append(attesi[i]), "fine"}));
    }
}

TEST(RigenerazioneParadox, NoOUnaTmp222RimastaNonToccanoNulla)
{
    Rigenerazione r({"k:I*", "a:A10"}, {"k:I*", "a:A10", "b:A3"}, {{"1", "uno"}});
    const auto prima = contenuto(r.dir());
    r.d.io.risposte({Risposta::No});
    EXPECT_FALSE(RigeneraTabCorrente(*r.g));
    EXPECT_EQ(r.d.io.eventi(), (std::vector<std::string>{"inizio", kDomanda, "fine"}));
    EXPECT_EQ(contenuto(r.dir()), prima);

    // A leftover of an earlier regeneration, in whatever case, may hold records: it stays.
    for (const char* nome : {"tmp222.db", "TMP222.DB"}) {
        SCOPED_TRACE(nome);
        test::scriviFile(fs::path(r.dir()) / nome, "record di prima");
        const auto conTmp = contenuto(r.dir());
        r.d.io.azzera();
        r.d.io.risposte({Risposta::Si});
        EXPECT_FALSE(RigeneraTabCorrente(*r.g));
        ASSERT_EQ(r.d.io.eventi().size(), 4u);
        EXPECT_EQ(r.d.io.eventi()[1], kDomanda);
        EXPECT_NE(r.d.io.eventi()[2].find("c'è la tabella tmp222.db, lasciata da una rigenerazione precedente"),
                  std::string::npos)
            << r.d.io.eventi()[2];
        EXPECT_EQ(contenuto(r.dir()), conTmp);
        fs::remove(fs::path(r.dir()) / nome);
    }
}

TEST(RigenerazioneParadox, RifiutataMentreUnAltroUsaLaTabella)
{
    Rigenerazione r({"k:I*", "a:A10"}, {"k:I*", "a:A20"}, {{"1", "uno"}});
    const auto prima = contenuto(r.dir());
    paradox::Table aperta;
    aperta.setDatabaseName(r.dir());
    aperta.setTableName("art.DB");
    aperta.open();
    r.d.io.risposte({Risposta::Si});
    const std::string errore = test::erroreDi([&] { RigeneraTabCorrente(*r.g); });
    EXPECT_NE(errore.find("impossibile rigenerarla"), std::string::npos) << errore;
    aperta.close();
    EXPECT_EQ(contenuto(r.dir()), prima);
}

}  // namespace
}  // namespace korva
