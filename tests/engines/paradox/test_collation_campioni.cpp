// Every index that the sample tables store, walked in stored order: our comparison must agree
// with the order the classic engine left in the files at every step.

#include "chiavi_campione.h"
#include "engines/paradox/aiuti.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/table_file.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace korva::paradox {
namespace {

namespace fs = std::filesystem;
using test::CampoFile;
using test::FileIndice;
using test::FileRecord;
using test::IntestazioneFile;

constexpr std::uint8_t kAlpha = 0x01;

std::string minuscolo(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string relativo(const fs::path& p) { return fs::relative(p, KORVA_SAMPLES_DIR).generic_string(); }

// The companion of a file with another extension, whatever the case of its name.
std::optional<fs::path> compagno(const fs::path& file, const std::string& estensione)
{
    const std::string cercato = minuscolo(file.stem().string() + "." + estensione);
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        if (minuscolo(e.path().filename().string()) == cercato)
            return e.path();
    return std::nullopt;
}

// How the keys of one stored index compare: field by field, alpha fields with the collation
// (folding case for the index's own fields when it is case-insensitive), the others byte by
// byte as their encoding is made for, descending fields reversed.
struct Confronto {
    const Collation* collazione = nullptr;
    std::vector<CampoFile> campi;
    std::vector<bool> discendente;
    std::vector<bool> senzaMaiuscole;

    std::size_t lunghezza() const
    {
        std::size_t n = 0;
        for (const CampoFile& c : campi)
            n += c.dimensione;
        return n;
    }

    int operator()(std::string_view a, std::string_view b) const
    {
        std::size_t off = 0;
        for (std::size_t f = 0; f < campi.size(); ++f) {
            const std::string_view x = a.substr(off, campi[f].dimensione);
            const std::string_view y = b.substr(off, campi[f].dimensione);
            off += campi[f].dimensione;
            int c;
            if (campi[f].tipo == kAlpha)
                c = senzaMaiuscole[f] ? collazione->compareCaseInsensitive(x, y) : collazione->compare(x, y);
            else
                c = std::memcmp(x.data(), y.data(), x.size());
            c = (c > 0) - (c < 0);
            if (c != 0)
                return discendente[f] ? -c : c;
        }
        return 0;
    }
};

struct Caso {
    fs::path file;
    bool secondario;  // .Xnn/.XGn rather than a keyed .DB
};

std::vector<Caso> indiciCampione()
{
    std::vector<Caso> casi;
    for (const auto& e : fs::recursive_directory_iterator(KORVA_SAMPLES_DIR)) {
        if (!e.is_regular_file())
            continue;
        const std::string est = minuscolo(e.path().extension().string());
        const bool tabella = est == ".db";
        const bool secondario = est.size() == 4 && est[1] == 'x';
        if (!tabella && !secondario)
            continue;
        const IntestazioneFile h = test::leggiIntestazione(e.path().string());
        if (tabella && (h.tipoFile != 0 || h.cifrata))
            continue;  // unkeyed tables store no order
        casi.push_back({e.path(), secondario});
    }
    std::sort(casi.begin(), casi.end(), [](const Caso& a, const Caso& b) { return a.file < b.file; });
    return casi;
}

// The number of key fields of the table an .X file belongs to, from its .PX (the .DB may be
// missing, as for tblZCode).
std::size_t campiChiavePrimaria(const fs::path& x)
{
    const auto px = compagno(x, "px");
    if (!px)
        throw std::runtime_error(relativo(x) + ": manca il .PX della tabella");
    return test::leggiIntestazione(px->string()).campi.size();
}

struct Indice {
    FileRecord dati;
    Confronto confronto;
    std::optional<fs::path> albero;  // the .PX or .Y over the records
};

Indice prepara(const Caso& caso)
{
    Indice ix{test::leggiRecord(caso.file.string()), {}, std::nullopt};
    const IntestazioneFile& h = ix.dati.testa;
    const std::size_t n = h.campi.size();
    std::size_t chiave;   // leading fields that make the stored order
    std::size_t propri;   // of these, the index's own fields
    if (!caso.secondario) {
        chiave = propri = h.campiChiave;
        ix.albero = compagno(caso.file, "px");
    } else {
        const bool tabellaSenzaChiave = n >= 4 && h.nomi[n - 3] == "Tup No" && h.nomi[n - 1] == "Tup Offset";
        // Keyed tables: index fields, key fields, Blk Num. Unkeyed: index fields, Tup No,
        // Blk Num, Tup Offset; Tup No then breaks ties.
        chiave = tabellaSenzaChiave ? n - 2 : n - 1;
        propri = tabellaSenzaChiave ? n - 3 : n - 1 - campiChiavePrimaria(caso.file);
        std::string est = caso.file.extension().string();
        est[1] = est[1] == 'x' ? 'y' : 'Y';
        ix.albero = compagno(caso.file, est.substr(1));
    }
    if (chiave == 0 || propri == 0 || propri > chiave || chiave > n)
        throw std::runtime_error(relativo(caso.file) + ": struttura della chiave non riconosciuta");

    Confronto& c = ix.confronto;
    const bool senzaMaiuscole = caso.secondario && (h.flagIndice & 0x01) != 0;
    for (std::size_t f = 0; f < chiave; ++f) {
        c.campi.push_back(h.campi[f]);
        const bool proprio = f < propri;
        c.discendente.push_back(proprio && !h.numeriCampo.empty() && (h.numeriCampo[f] & 0x8000) != 0);
        c.senzaMaiuscole.push_back(proprio && senzaMaiuscole);
    }
    c.collazione = knowledgeCollationFor(h.sortOrder, h.sortOrderId, h.codePage);
    return ix;
}

class OrdineCampione : public ::testing::TestWithParam<Caso> {};

TEST_P(OrdineCampione, LaNostraComparazioneRiproduceLOrdineMemorizzato)
{
    const Caso& caso = GetParam();
    const Indice ix = prepara(caso);
    const Confronto& cmp = ix.confronto;
    const bool testo = std::any_of(cmp.campi.begin(), cmp.campi.end(), [](const CampoFile& c) { return c.tipo == kAlpha; });
    if (testo) {
        ASSERT_NE(cmp.collazione, nullptr) << "ordinamento " << ix.dati.testa.sortOrderId << " senza collazione";
    }

    const std::size_t lung = cmp.lunghezza();
    const auto chiave = [&](std::size_t r) { return std::string_view(ix.dati.record[r]).substr(0, lung); };
    // Primary keys are unique, and a secondary index ends with the table's key (or the record
    // number): every step must go strictly up.
    for (std::size_t r = 1; r < ix.dati.record.size(); ++r) {
        ASSERT_LT(cmp(chiave(r - 1), chiave(r)), 0) << "record " << r - 1 << " e " << r;
        ASSERT_GT(cmp(chiave(r), chiave(r - 1)), 0) << "record " << r << " e " << r - 1;
    }

    // The tree over the records names every block in chain order with its first key and count.
    if (ix.dati.record.empty() || !ix.albero)
        return;  // STATES.DB came without its .PX
    const FileIndice albero = test::leggiIndice(ix.albero->string());
    const std::size_t lungAlbero = [&] {
        std::size_t n = 0;
        for (const CampoFile& c : albero.testa.campi)
            n += c.dimensione;
        return n;
    }();
    ASSERT_EQ(albero.foglie.size(), ix.dati.blocchi.size());
    for (std::size_t i = 0; i < albero.foglie.size(); ++i) {
        const FileRecord::Blocco& b = ix.dati.blocchi[i];
        EXPECT_EQ(albero.foglie[i].blocco, b.numero) << "foglia " << i;
        EXPECT_EQ(albero.foglie[i].record, b.record) << "foglia " << i;
        EXPECT_EQ(albero.foglie[i].chiave, ix.dati.record[b.primoRecord].substr(0, lungAlbero)) << "foglia " << i;
        if (i > 0) {
            EXPECT_LT(cmp(albero.foglie[i - 1].chiave, albero.foglie[i].chiave), 0) << "foglia " << i;
        }
    }
}

std::string nomeCaso(const ::testing::TestParamInfo<Caso>& info)
{
    std::string nome = relativo(info.param.file);
    for (const char* togli : {"src/test/resources/", "inst/extdata/", "-paradoxdriver", "-Rparadox", "-paradoxReader"})
        for (std::size_t p; (p = nome.find(togli)) != std::string::npos;)
            nome.erase(p, std::strlen(togli));
    for (char& c : nome)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return nome;
}

INSTANTIATE_TEST_SUITE_P(Campioni, OrdineCampione, ::testing::ValuesIn(indiciCampione()), nomeCaso);

// The walk above must not pass by finding nothing: the indexes that carry the evidence are
// there, whole, and compared with the collation we expect.
TEST(OrdineCampioni, GliIndiciCheFannoDaProvaSonoLettiPerIntero)
{
    struct Atteso {
        const char* file;
        std::size_t record;
        const char* collazione;
        bool ordineDeiByte;
        bool albero;  // the sample came with its .PX / .Y
    };
    const Atteso attesi[] = {
        {"leonhad-paradoxdriver/src/test/resources/areas/ZIPCODES.DB", 43185, "ascii", true, true},
        {"leonhad-paradoxdriver/src/test/resources/geog/tblZCode.XG0", 73490, "ascii", true, true},
        {"leonhad-paradoxdriver/src/test/resources/geog/tblZCode.XG1", 73490, "ascii", true, true},
        {"leonhad-paradoxdriver/src/test/resources/areas/STATES.DB", 53, "ascii", true, false},
        {"leonhad-paradoxdriver/src/test/resources/db/AREACODES.DB", 370, "DBWINUS0", true, true},
        {"leonhad-paradoxdriver/src/test/resources/db/AREACODES.XG0", 370, "DBWINUS0", true, true},
        {"leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.X06", 20, "ANSII850", false, true},
        {"leonhad-paradoxdriver/src/test/resources/db/HERCULES.DB", 20, "ANSII850", false, true},
        {"leonhad-paradoxdriver/src/test/resources/db/SERVER.DB", 4, "ANSII850", false, true},
        {"leonhad-paradoxdriver/src/test/resources/db/GENERAL.DB", 3, "", false, true},
        {"celebithil-Rparadox/inst/extdata/country.db", 18, "intl850", false, false},
        {"celebithil-Rparadox/inst/extdata/TypSammlung.DB", 5, "ANSIINTL", false, false},
    };
    std::map<std::string, Caso> trovati;
    for (const Caso& c : indiciCampione())
        trovati.emplace(relativo(c.file), c);
    EXPECT_GE(trovati.size(), 40u);
    for (const Atteso& a : attesi) {
        SCOPED_TRACE(a.file);
        const auto it = trovati.find(a.file);
        ASSERT_NE(it, trovati.end());
        const Indice ix = prepara(it->second);
        EXPECT_EQ(ix.dati.record.size(), a.record);
        EXPECT_EQ(ix.albero.has_value(), a.albero);
        if (*a.collazione == '\0') {
            EXPECT_EQ(ix.confronto.collazione, nullptr);  // numeric key, sort order unknown
            continue;
        }
        ASSERT_NE(ix.confronto.collazione, nullptr);
        EXPECT_EQ(ix.confronto.collazione->name(), a.collazione);
        EXPECT_EQ(ix.confronto.collazione->byteOrder(), a.ordineDeiByte);
    }
    // The case-insensitive ones really compare with folding.
    EXPECT_TRUE(prepara(trovati.at("leonhad-paradoxdriver/src/test/resources/db/AREACODES.XG0")).confronto.senzaMaiuscole[0]);
    EXPECT_FALSE(prepara(trovati.at("leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.X06")).confronto.senzaMaiuscole[0]);
}

// Every sample table in a dictionary order with an alpha key or an alpha secondary index,
// its indexes rebuilt from its data: the records stay as they are, in the same order, and
// every index the classic engine wrote comes out entry for entry (the .PX of the tables
// shipped without one is made).
TEST(OrdineCampioni, LeTabelleInOrdineDiDizionarioSiRicostruisconoUguali)
{
    std::set<std::string> ricostruite;
    for (const Caso& caso : indiciCampione()) {
        if (caso.secondario)
            continue;
        const IntestazioneFile h = test::leggiIntestazione(caso.file.string());
        const Collation* c = knowledgeCollationFor(h.sortOrder, h.sortOrderId, h.codePage);
        if (!c || c->byteOrder())
            continue;
        SCOPED_TRACE(relativo(caso.file));
        test::CartellaTemporanea d;
        const std::string nome = copia(d, relativo(caso.file));
        std::map<std::string, std::vector<std::string>> genuini;
        for (const std::string& f : files(d)) {
            const std::string est = minuscolo(fs::path(f).extension().string());
            if (est.size() == 4 && est[1] == 'x')
                genuini[f] = test::leggiRecord(d / f).record;
        }
        const auto pxGenuino = compagno(d / nome, "px");
        std::vector<test::VoceFoglia> foglie;
        if (pxGenuino)
            foglie = test::leggiIndice(pxGenuino->string()).foglie;
        const std::string dati = test::leggiFile(d / nome);

        Table t;
        punta(t, d.percorso(), nome, true);
        t.open();
        std::vector<IndexDef> indici = t.indexDefs;
        if (std::none_of(indici.begin(), indici.end(), isPrimaryIndex)) {
            // Shipped without its .PX: the key fields make it.
            IndexDef primario{"", "", IndexOption::Primary | IndexOption::Unique};
            for (int k = 0; k < t.file().keyFields(); ++k)
                primario.fields += (k ? ";" : "") + t.file().fields()[static_cast<std::size_t>(k)].def.name;
            indici.insert(indici.begin(), primario);
        }
        const bool testo = std::any_of(t.file().fields().begin(), t.file().fields().begin() + t.file().keyFields(),
                                       [](const FieldInfo& f) { return f.def.type == FieldType::Alpha; });
        t.close();
        if (!testo && genuini.empty())
            continue;
        IndexRebuild(Session::standard(), d.percorso(), nome).run(indici);
        ricostruite.insert(relativo(caso.file));

        EXPECT_EQ(test::leggiFile(d / nome), dati);
        for (const auto& [f, voci] : genuini)
            EXPECT_EQ(test::leggiRecord(d / f).record, voci) << f;
        const auto px = compagno(d / nome, "px");
        ASSERT_TRUE(px);
        if (pxGenuino) {
            const auto nuove = test::leggiIndice(px->string()).foglie;
            ASSERT_EQ(nuove.size(), foglie.size());
            for (std::size_t i = 0; i < foglie.size(); ++i)
                EXPECT_EQ(std::tie(nuove[i].chiave, nuove[i].blocco, nuove[i].record),
                          std::tie(foglie[i].chiave, foglie[i].blocco, foglie[i].record));
        }
        t.open();
        EXPECT_EQ(t.check(), std::vector<std::string>{});
    }
    for (const char* attesa : {"leonhad-paradoxdriver/src/test/resources/db/CUSTOMER.DB",
                               "leonhad-paradoxdriver/src/test/resources/db/HERCULES.DB",
                               "leonhad-paradoxdriver/src/test/resources/joins/C.DB",
                               "teverett-paradoxReader/src/test/resources/examples/CUSTOMER.DB",
                               "celebithil-Rparadox/inst/extdata/TypSammlung.DB", "celebithil-Rparadox/inst/extdata/country.db"})
        EXPECT_TRUE(ricostruite.count(attesa)) << attesa;
}

// The genuine HERCULES.DB (ANSII850) with the key HTML_FOOTER changed to hTML_FOOTER: the
// driver orders HERC_BODY < hTML_FOOTER < HTML_HEADER1, as the file stores them, so the table
// is sound: it verifies clean, and a repair keeps every record in that order.
TEST(OrdineCampioni, HerculesConUnaMinuscolaInTestaEUnaTabellaSana)
{
    test::CartellaTemporanea d;
    const std::string nome = copia(d, "leonhad-paradoxdriver/src/test/resources/db/HERCULES.DB");
    for (const std::string& f : files(d)) {
        std::string byte = test::leggiFile(d / f);
        for (std::size_t at; (at = byte.find(std::string("HTML_FOOTER\0", 12))) != std::string::npos;)
            byte[at] = 'h';
        test::scriviFile(d / f, byte);
    }
    auto chiavi = [&] {
        Table t;
        punta(t, d.percorso(), nome);
        t.open();
        std::vector<std::string> k;
        for (t.first(); !t.eof(); t.next())
            k.push_back(t.field(0).asString());
        return k;
    };
    const auto prima = chiavi();
    const auto footer = std::find(prima.begin(), prima.end(), "hTML_FOOTER");
    ASSERT_NE(footer, prima.end());
    EXPECT_EQ(*(footer - 1), "HERC_BODY");
    EXPECT_EQ(*(footer + 1), "HTML_HEADER1");

    test::InterazioneScriptata io;
    EXPECT_EQ(VerificaIntegritaTabella(d.dir(), nome, true, io), std::vector<std::string>{});
    test::CartellaTemporanea backup;
    const EsitoRiparazione esito = RiparaTabella(d.dir(), nome, backup.dir(), "", io);
    EXPECT_TRUE(esito.riparata) << esito.motivo;
    EXPECT_EQ(esito.persi, 0u);
    EXPECT_EQ(chiavi(), prima);
    EXPECT_EQ(test::leggiIntestazione(d / nome).sortOrderId, "ANSII850");
    EXPECT_EQ(VerificaIntegritaTabella(d.dir(), nome, true, io), std::vector<std::string>{});
}

}  // namespace
}  // namespace korva::paradox
