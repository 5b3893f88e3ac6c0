// Registering Paradox tables: real tables made by the engine, the real dictionary tables.

#include "base/errore.h"
#include "checks/rigenerazione_indici.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "ditta_prova.h"
#include "engines/paradox/table.h"
#include "support/env_guasti.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korva {
namespace {

using paradox::FieldType;
using test::DittaProva;
using test::erroreDi;
using test::voce;
namespace fs = std::filesystem;
namespace opz = paradox::IndexOption;
using Righe = std::vector<std::string>;

constexpr unsigned kPrimario = opz::Primary | opz::Unique;

void creaTabella(const std::string& dir, const std::string& file, std::vector<paradox::FieldDef> campi,
                 std::vector<paradox::IndexDef> indici = {})
{
    fs::create_directories(dir);
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName(file);
    t.fieldDefs = std::move(campi);
    t.indexDefs = std::move(indici);
    t.createTable();
}

// What the choice dialog hands over, then the registration.
bool registra(GestioneTabelle& g, const std::string& dir, const std::string& file)
{
    g.DirScelta = dir;
    g.NomeTabellaCorrente = file;
    return g.RegistraTabellaParadox();
}

TEST(RegistrazioneParadox, ChiaveIndiciECartellaComeLaTabellaLiDescrive)
{
    DittaProva d;
    d.dizionario({});
    const std::string dati = d.tabForm->LavoroDir;
    creaTabella(dati + "Archivi/", "CLIENTI.DB",
                {{"codice", FieldType::Alpha, 6},
                 {"anno", FieldType::Short},
                 {"ragsoc", FieldType::Alpha, 40},
                 {"scadenza", FieldType::Date},
                 {"agente", FieldType::Long}},
                {{"", "codice;anno", kPrimario},
                 {"ragsoc", "ragsoc", 0},
                 {"perNome", "ragsoc", opz::CaseInsensitive},
                 {"tripla", "scadenza;ragsoc;codice", opz::CaseInsensitive},
                 {"agenteanno", "agente;anno", 0}});
    creaTabella(dati, "agenti.db", {{"codice", FieldType::Short}, {"nome", FieldType::Alpha, 30}});
    // The data directory as a setting written on Windows may name it.
    d.tabForm->LavoroDir = d.cartella.dir() + "DATI\\";
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);

    EXPECT_TRUE(registra(g, dati + "Archivi/", "CLIENTI.DB"));
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti"),
              (Righe{"tabella clienti|archivi/|5|2|2|2|0|0", "campo 1|codice|A6|1|0|0", "campo 2|anno|S|1|0|0",
                     "campo 3|ragsoc|A40|0|1|1", "campo 4|scadenza|D|0|0|0", "campo 5|agente|I|0|0|0",
                     "indice agenteanno|2|1|1", "indice agenteanno|5|0|1", "indice tripla|1|2|0",
                     "indice tripla|3|1|0", "indice tripla|4|0|0"}));
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: La tabella clienti sarà registrata con queste differenze:\n"
                                    "indice perNome sul campo ragsoc: non descritto (il dizionario descrive "
                                    "soltanto gli indici su un campo che ne portano il nome)"}));
    // The new row is current, with its rows in the views.
    EXPECT_EQ(g.EditTabellaCorrente(), "clienti");
    EXPECT_EQ(g.campiCorrenti().size(), 5u);
    EXPECT_EQ(g.indiciCorrenti().size(), 5u);

    EXPECT_TRUE(registra(g, dati, "agenti.db"));
    EXPECT_EQ(voce(g.TracciatiDir(), "agenti"),
              (Righe{"tabella agenti||2|0|0|0|0|0", "campo 1|codice|S|0|0|0", "campo 2|nome|A30|0|0|0"}));
    EXPECT_EQ(g.EditTabellaCorrente(), "agenti");
    EXPECT_EQ(g.DirScelta, dati);
}

TEST(RegistrazioneParadox, VoceEsistenteSostituitaSoloDopoSi)
{
    DittaProva d;
    d.dizionario({test::clientiEsempio()});
    const std::string archivi = d.tabForm->LavoroDir + "archivi/";
    creaTabella(archivi, "CLIENTI.DB", {{"codice", FieldType::Alpha, 8}, {"nome", FieldType::Alpha, 20}},
                {{"", "codice", kPrimario}});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    const Righe vecchia = voce(g.TracciatiDir(), "clienti");

    // Nothing chosen: nothing asked, nothing changed.
    EXPECT_FALSE(registra(g, archivi, ""));
    EXPECT_FALSE(registra(g, archivi, ".db"));
    d.io.risposte({Risposta::No});
    EXPECT_FALSE(registra(g, archivi, "CLIENTI.DB"));
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti"), vecchia);
    d.io.risposte({Risposta::Si});
    EXPECT_TRUE(registra(g, archivi, "CLIENTI.DB"));
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti"),
              (Righe{"tabella clienti|archivi/|2|1|0|0|0|0", "campo 1|codice|A8|1|0|0", "campo 2|nome|A20|0|0|0"}));
    const std::string domanda = "domanda: Tabella esistente, Sostituire tabella? ";
    EXPECT_EQ(d.io.eventi(), (Righe{domanda, domanda}));

    // A chosen file that does not open as a table: after Yes, the old entry is still whole.
    test::scriviFile(archivi + "clienti.db", "non sono una tabella");
    fs::remove(archivi + "CLIENTI.DB");
    const Righe registrata = voce(g.TracciatiDir(), "clienti");
    d.io.risposte({Risposta::Si});
    EXPECT_NE(erroreDi([&] { registra(g, archivi, "clienti.db"); }), "nessun errore");
    EXPECT_EQ(voce(g.TracciatiDir(), "clienti"), registrata);
}

TEST(RegistrazioneParadox, TipiFuoriDalDizionarioAdattatiORifiutati)
{
    DittaProva d;
    d.dizionario({});
    const std::string dati = d.tabForm->LavoroDir;
    creaTabella(dati, "tipi.db",
                {{"n", FieldType::Alpha, 4}, {"valuta", FieldType::Money}, {"conta", FieldType::AutoInc},
                 {"fmemo", FieldType::FmtMemo, 10}, {"ole", FieldType::Ole, 12}, {"memo", FieldType::Memo, 20},
                 {"bin", FieldType::Binary, 10}, {"graf", FieldType::Graphic, 11}, {"ora", FieldType::Time},
                 {"num", FieldType::Number}});
    creaTabella(dati, "rifiuti.db",
                {{"n", FieldType::Alpha, 4}, {"attivo", FieldType::Logical}, {"quando", FieldType::Timestamp},
                 {"importo", FieldType::Bcd, 2}, {"dati", FieldType::Bytes, 10}});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);

    EXPECT_TRUE(registra(g, dati, "tipi.db"));
    EXPECT_EQ(voce(g.TracciatiDir(), "tipi"),
              (Righe{"tabella tipi||10|0|0|0|0|0", "campo 1|n|A4|0|0|0", "campo 2|valuta|N|0|0|0",
                     "campo 3|conta|I|0|0|0", "campo 4|fmemo|M10|0|0|0", "campo 5|ole|B12|0|0|0",
                     "campo 6|memo|M20|0|0|0", "campo 7|bin|B10|0|0|0", "campo 8|graf|G11|0|0|0",
                     "campo 9|ora|T|0|0|0", "campo 10|num|N|0|0|0"}));
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: La tabella tipi sarà registrata con queste differenze:\n"
                                    "campo valuta (valuta): registrato come N\n"
                                    "campo conta (autoincremento): registrato come I\n"
                                    "campo fmemo (memo formattato): registrato come M10\n"
                                    "campo ole (OLE): registrato come B12"}));

    d.io.azzera();
    EXPECT_EQ(erroreDi([&] { registra(g, dati, "rifiuti.db"); }),
              "Impossibile registrare la tabella rifiuti: il dizionario non può descrivere questi campi:\n"
              "campo attivo: tipo logico\ncampo quando: tipo data e ora\ncampo importo: tipo BCD\n"
              "campo dati: tipo byte");
    EXPECT_TRUE(voce(g.TracciatiDir(), "rifiuti").empty());
    EXPECT_TRUE(d.io.eventi().empty());
}

TEST(RegistrazioneParadox, TabellaFuoriDallaDirectoryDiLavoroONomeDiAltroFileRifiutati)
{
    DittaProva d;
    d.dizionario({});
    const std::string dati = d.tabForm->LavoroDir;
    for (const std::string& dir : {d.cartella.dir() + "altrove/", dati + "../altrove/", d.cartella.dir() + "dati2/"})
        creaTabella(dir, "clienti.db", {{"codice", FieldType::Alpha, 6}});
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    for (const std::string& dir : {d.cartella.dir() + "altrove/", dati + "../altrove/", d.cartella.dir() + "dati2/"}) {
        SCOPED_TRACE(dir);
        EXPECT_EQ(erroreDi([&] { registra(g, dir, "clienti.db"); }),
                  "Impossibile registrare la tabella clienti: la tabella si trova in " + dir +
                      ", fuori dalla directory di lavoro " + dati);
    }
    // Names that would open another file than the one chosen (clienti.db), or none.
    creaTabella(dati, "clienti.db", {{"codice", FieldType::Alpha, 6}});
    fs::copy_file(dati + "clienti.db", dati + "clienti.old.db");
    for (const std::string file : {"clienti.old.db", "clienti.px", "clienti"})
        EXPECT_EQ(erroreDi([&] { registra(g, dati, file); }),
                  "Nome di tabella non valido: \"" + file +
                      "\" (indicare il file .db della tabella, senza altri punti nel nome)");
    // A name typed with a folder in it, and a data directory never chosen.
    EXPECT_EQ(erroreDi([&] { registra(g, dati, "archivi\\clienti.db"); }),
              "Impossibile registrare la tabella archivi\\clienti: il nome non è un nome di file (senza \"/\", "
              "\"\\\", \"..\" o caratteri nulli)");
    d.tabForm->LavoroDir = kDirNonImpostata;
    EXPECT_NE(erroreDi([&] { registra(g, dati, "clienti.db"); }).find("Directory di lavoro"), std::string::npos);
    EXPECT_TRUE(voce(g.TracciatiDir(), "clienti").empty());
}

// Any single failure of the file system while the entry is replaced leaves the old entry or
// the new one, whole, and a failure reported leaves the old one.
// Registration keeps what creation and the rebuild accept: an unkeyed table is registered
// without its secondary indexes, and every property left out (a required field, an index) is
// named in the one message. The entries then create and rebuild.
TEST(RegistrazioneParadox, QuelloCheCreazioneERicostruzioneNonAccettanoRestaFuoriEVieneDetto)
{
    DittaProva d;
    d.dizionario({});
    const std::string dati = d.tabForm->LavoroDir + "joins/";
    fs::create_directories(dati);
    const std::string campioni = std::string(KORVA_SAMPLES_DIR) + "/leonhad-paradoxdriver/src/test/resources/joins/";
    for (const char* f : {"case.db", "case.x01", "case.y01", "C.DB", "C.PX", "C.VAL", "C.X02", "C.X03", "C.Y02", "C.Y03"}) {
        fs::copy_file(campioni + f, dati + f);
        fs::permissions(dati + f, fs::perms::owner_write, fs::perm_options::add);
    }
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);

    EXPECT_TRUE(registra(g, dati, "case.db"));
    EXPECT_EQ(voce(g.TracciatiDir(), "case"), (Righe{"tabella case|joins/|1|0|0|0|0|0", "campo 1|C|A10|0|0|0"}));
    EXPECT_TRUE(registra(g, dati, "C.DB"));
    EXPECT_EQ(voce(g.TracciatiDir(), "c"), (Righe{"tabella c|joins/|3|1|2|0|0|0", "campo 1|C|I|1|0|0",
                                                  "campo 2|A|I|0|1|1", "campo 3|B|I|0|1|1"}));
    EXPECT_EQ(d.io.eventi(),
              (Righe{"messaggio: La tabella case sarà registrata con queste differenze:\n"
                     "indice C: non registrato (gli indici secondari richiedono una chiave primaria, che la "
                     "tabella non ha)",
                     "messaggio: La tabella c sarà registrata con queste differenze:\n"
                     "campo C: registrato senza l'obbligo di un valore (il dizionario non lo descrive)\n"
                     "campo A: registrato senza l'obbligo di un valore (il dizionario non lo descrive)"}));

    // Both rebuild over their records and create anew elsewhere.
    for (const char* nome : {"case", "c"}) {
        ASSERT_TRUE(g.vaiA(nome));
        EXPECT_TRUE(RigIndTabCorrente(g)) << nome << "\n" << d.io.eventi().back();
    }
    d.tabForm->LavoroDir = d.cartella.dir() + "altrove/";
    for (const char* nome : {"case", "c"}) {
        ASSERT_TRUE(g.vaiA(nome));
        EXPECT_EQ(erroreDi([&] { EXPECT_TRUE(g.CreaTabCorrente()); }), "nessun errore") << nome;
    }

    // The verification's own name: registered, with a warning.
    d.tabForm->LavoroDir = d.cartella.dir() + "dati/";
    creaTabella(dati, "XxxConf.db", {{"k", FieldType::Long}});
    d.io.azzera();
    EXPECT_TRUE(registra(g, dati, "XxxConf.db"));
    EXPECT_EQ(d.io.eventi(), (Righe{"messaggio: " + avvisoNomeTabellaConfronto("xxxconf")}));
}

TEST(RegistrazioneParadox, UnGuastoInQualunquePassoLasciaUnaVoceIntera)
{
    DittaProva d;
    const std::string archivi = d.tabForm->LavoroDir + "archivi/";
    creaTabella(archivi, "clienti.db",
                {{"codice", FieldType::Alpha, 8}, {"nome", FieldType::Alpha, 20}, {"citta", FieldType::Alpha, 20}},
                {{"", "codice", kPrimario}, {"percitta", "citta;nome", opz::CaseInsensitive}});
    test::EnvGuasti env;
    paradox::Session sessione(env);
    std::int64_t passi = 0;
    auto prova = [&](std::int64_t passo, test::EnvGuasti::Guasto guasto) {
        d.dizionario({test::clientiEsempio(), test::righe("zeta", "", {"a:A2*"})});
        GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1, sessione);
        d.io.risposte({Risposta::Si});
        env.guastaAl(passo, guasto);
        const std::string errore = erroreDi([&] { registra(g, archivi, "clienti.db"); });
        passi = env.operazioni();
        env.guastaAl(0, guasto);
        return errore;
    };
    const Righe vecchia = test::testoVoce(test::clientiEsempio());
    ASSERT_EQ(prova(0, test::EnvGuasti::Guasto::ErroreIO), "nessun errore");
    const Righe nuova = voce(d.tabForm->TracciatiDir1, "clienti");
    ASSERT_GT(passi, 10);
    for (auto guasto : {test::EnvGuasti::Guasto::ErroreIO, test::EnvGuasti::Guasto::ScritturaCorta,
                        test::EnvGuasti::Guasto::DiscoPieno})
        for (std::int64_t passo = 1, tutti = passi; passo <= tutti; ++passo) {
            SCOPED_TRACE("passo " + std::to_string(passo));
            const std::string errore = prova(passo, guasto);
            const Righe dopo = voce(d.tabForm->TracciatiDir1, "clienti");
            EXPECT_EQ(dopo, errore == "nessun errore" ? nuova : vecchia) << errore;
            EXPECT_EQ(voce(d.tabForm->TracciatiDir1, "zeta").size(), 2u);
        }
}

}  // namespace
}  // namespace korva
