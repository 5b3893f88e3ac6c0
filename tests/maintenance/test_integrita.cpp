// The integrity commands of the table manager: their checks and messages in order, the table
// held from the test of exclusive use to the end, the run over every table, and the repair
// from the dictionary's description when the header is lost.

#include "../dictionary/ditta_prova.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/paradox/table.h"
#include "maintenance/integrita.h"
#include "maintenance/verifica_integrita.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

namespace fs = std::filesystem;
using test::righe;

const std::string kInUso = std::string("messaggio: ") + kTabellaUtilizzata;

// Records every open tried while a report is being shown: the table must be held then.
class InterazioneCheApre : public test::InterazioneScriptata {
public:
    std::string dir, tabella;
    std::vector<std::string> aperture;
    void rapporto(const std::string& titolo, const std::vector<std::string>& r) override
    {
        if (!tabella.empty()) {
            paradox::Table t;
            t.setDatabaseName(dir);
            t.setTableName(tabella);
            try {
                t.open();
                aperture.push_back("aperta");
            } catch (const Error&) {
                aperture.push_back("in uso");
            }
        }
        InterazioneScriptata::rapporto(titolo, r);
    }
};

struct Ditta {
    test::DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
    explicit Ditta(const std::string& modo = "PARADOX") : d(modo)
    {
        d.dizionario({righe("alfa", "", {"k:I*", "testo:A20+"}), righe("beta", "b/", {"k:I*", "n:N"}),
                      righe("manca", "", {"k:I*"})});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.tabForm->BackupRiparazioniDir = d.cartella / "salva/";
    }
    std::string dir(const std::string& path = {}) const { return d.tabForm->LavoroDir + path; }
    void crea(const std::string& nome, int record)
    {
        ASSERT_TRUE(g->vaiA(nome));
        ASSERT_TRUE(g->CreaTabCorrente());
        paradox::Table t;
        t.setDatabaseName(g->DirTabellaCorrente);
        t.setTableName(std::string(nome).append(".DB"));
        t.open();
        for (int k = 0; k < record; ++k) {
            t.append();
            t.field(0).setInteger(k);
            t.field(1).setString(std::to_string(k * 7));
            t.post();
        }
    }
};

TEST(Integrita, ModoInterbaseNonFaNullaSalvoIlMessaggioFinale)
{
    Ditta t("INTERBASE");
    ASSERT_TRUE(t.g->vaiA("alfa"));
    EXPECT_FALSE(VerificaIntegritaTabCorrente(*t.g));
    EXPECT_FALSE(RiparaTabCorrente(*t.g));
    EXPECT_TRUE(VerificaIntegritaTutteLeTabelle(*t.g));
    EXPECT_EQ(t.d.io.eventi(), (std::vector<std::string>{"inizio", "fine", "inizio", "fine", "inizio",
                                                         std::string("messaggio: ") + kVerificaTutteCompletata, "fine"}));
}

TEST(Integrita, TabellaMancanteOInUsoMessaggiDiversiFraVerificaERiparazione)
{
    Ditta t;
    ASSERT_TRUE(t.g->vaiA("manca"));
    EXPECT_FALSE(VerificaIntegritaTabCorrente(*t.g));
    EXPECT_FALSE(RiparaTabCorrente(*t.g));
    EXPECT_EQ(t.d.io.eventi(), (std::vector<std::string>{"inizio", std::string("messaggio: ") + kTabellaNonEsisteVerifica,
                                                         "fine", "inizio", kInUso, "fine"}));

    // Held by another user: neither command touches it, nothing is saved.
    t.crea("alfa", 10);
    const std::string prima = test::leggiFile(t.dir() + "alfa.DB");
    paradox::Table altro;
    altro.setDatabaseName(t.dir());
    altro.setTableName("alfa.DB");
    altro.open();
    t.d.io.azzera();
    EXPECT_FALSE(VerificaIntegritaTabCorrente(*t.g));
    EXPECT_FALSE(RiparaTabCorrente(*t.g));
    EXPECT_EQ(t.d.io.eventi(), (std::vector<std::string>{"inizio", kInUso, "fine", "inizio", kInUso, "fine"}));
    EXPECT_EQ(test::leggiFile(t.dir() + "alfa.DB"), prima);
    EXPECT_FALSE(fs::exists(t.d.cartella / "salva"));
}

TEST(Integrita, LaTabellaRestaTenutaFinoAllaFineDellaVerificaEDellaRiparazione)
{
    Ditta t;
    t.crea("alfa", 10);
    InterazioneCheApre io;
    io.dir = t.dir();
    io.tabella = "alfa.DB";
    GestioneTabelle g(io, *t.d.tabForm, t.d.tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA("alfa"));
    EXPECT_TRUE(VerificaIntegritaTabCorrente(g));
    ASSERT_TRUE(RiparaTabCorrente(g));
    EXPECT_EQ(io.aperture, (std::vector<std::string>{"in uso", "in uso"}));
    ASSERT_EQ(io.eventi().size(), 7u);
    EXPECT_EQ(io.eventi()[5].rfind(std::string("dettaglio: La tabella danneggiata è stata salvata in ")
                                       .append(t.d.cartella / "salva/alfa-riparazione-"),
                                   0),
              0u)
        << io.eventi()[5];
    EXPECT_EQ(io.eventi()[1], std::string("messaggio: Verifica integrità della tabella ").append(t.dir()).append("alfa.DB: nessun problema trovato"));
    EXPECT_EQ(io.eventi()[4].rfind(std::string("messaggio: Riparazione della tabella ")
                                       .append(t.dir())
                                       .append("alfa.DB completata: 10 record recuperati, 0 persi"),
                                   0),
              0u)
        << io.eventi()[4];
    // Afterwards anyone opens it again.
    paradox::Table dopo;
    dopo.setDatabaseName(t.dir());
    dopo.setTableName("alfa.DB");
    EXPECT_NO_THROW(dopo.open());
}

TEST(Integrita, TutteLeTabelleNominaQuelleConProblemiETornaAllaRiga)
{
    Ditta t;
    t.crea("alfa", 5);
    t.crea("beta", 5);
    // beta's header claims two records more than it has.
    std::string db = test::leggiFile(t.dir("b/") + "beta.DB");
    db[6] = 7;
    test::scriviFile(t.dir("b/") + "beta.DB", db);
    ASSERT_TRUE(t.g->vaiA("beta"));
    t.d.io.azzera();
    EXPECT_FALSE(VerificaIntegritaTutteLeTabelle(*t.g));
    EXPECT_EQ(t.g->EditTabellaCorrente(), "beta");
    const auto& e = t.d.io.eventi();
    ASSERT_GE(e.size(), 6u);
    EXPECT_EQ(e.front(), "inizio");
    EXPECT_EQ(e[1], std::string("messaggio: ") + kTabellaNonEsisteVerifica);
    EXPECT_EQ(e[2], "messaggio: Verifica integrità: problemi trovati in 1 tabella");
    EXPECT_EQ(e[3], "dettaglio: beta:");
    EXPECT_NE(std::find(e.begin(), e.end(), "dettaglio:     beta.DB: l'intestazione dichiara 7 record, la catena ne ha 5"),
              e.end());
    // The first table of the dictionary does not exist: it could not be verified.
    EXPECT_EQ(e[e.size() - 2], std::string("messaggio: ") + kVerificaTutteCompletata + " (1 tabella non verificata)");
    EXPECT_EQ(e.back(), "fine");
    EXPECT_NE(std::find(t.d.io.progressi().begin(), t.d.io.progressi().end(), "Verifica integrità beta: 2 problemi 2/3"),
              t.d.io.progressi().end());
}

TEST(Integrita, IntestazioneDistruttaRiparataDalDizionario)
{
    Ditta t;
    t.crea("beta", 300);
    const std::string percorso = t.dir("b/") + "beta.DB";
    std::string db = test::leggiFile(percorso);
    const std::size_t intestazione = static_cast<unsigned char>(db[2]) | (static_cast<unsigned char>(db[3]) << 8);
    db.replace(0, intestazione, std::string(intestazione, '\xA5'));
    test::scriviFile(percorso, db);
    ASSERT_TRUE(t.g->vaiA("beta"));
    const auto esito = RiparaTabCorrente(*t.g);
    ASSERT_TRUE(esito && esito->riparata) << (esito ? esito->titolo() : "");
    EXPECT_EQ(esito->recuperati, 300u);
    EXPECT_EQ(test::leggiFile(esito->copia + "/beta.DB"), db);
    EXPECT_EQ(VerificaIntegritaTabella(t.dir("b/"), "beta.DB", false, t.d.io), std::vector<std::string>{});
    paradox::Table r;
    r.setDatabaseName(t.dir("b/"));
    r.setTableName("beta.DB");
    r.open();
    int k = 0;
    for (r.first(); !r.eof(); r.next(), ++k) {
        ASSERT_EQ(r.field(0).asInteger(), k);
        ASSERT_EQ(r.field(1).asFloat(), k * 7);
    }
    EXPECT_EQ(k, 300);
}

}  // namespace
}  // namespace korva
