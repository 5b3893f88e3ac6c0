// The repair of the damage users meet, on a table of thousands of records with a memo and a
// secondary index: each record the damage did not touch recovered byte for byte, every record
// it took counted as lost, or the repair refused with the table as it was.

#include "base/env.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/format.h"
#include "engines/paradox/table.h"
#include "fornitori_prova.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace korva {
namespace {

namespace fs = std::filesystem;
using test::FornitoriProva;

using test::cambia;
using test::tutte;

std::vector<std::string> verifica(const FornitoriProva& f, const DefinizioniParadox* dizionario = nullptr)
{
    test::InterazioneScriptata io;
    return VerificaIntegritaTabella(f.dir + "/", "FORNITOR.DB", false, io, Env::standard(), dizionario);
}

EsitoRiparazione ripara(const FornitoriProva& f, const DefinizioniParadox* dizionario)
{
    test::InterazioneScriptata io;
    return RiparaTabella(f.dir + "/", "FORNITOR.DB", f.dir + "/../salva/", "", io, Env::standard(), dizionario);
}

// The repaired table holds the records of `vivi`, each byte for byte as it was, with its
// memo and its secondary index; the others are counted as lost, and the result verifies.
void tabellaRiparata(const FornitoriProva& f, const EsitoRiparazione& e, const std::set<std::string>& vivi)
{
    ASSERT_TRUE(e.riparata) << e.titolo() << "\n" << tutte(e.righe());
    const auto dopo = test::leggiFornitori(f.dir);
    std::set<std::string> chiavi;
    for (const auto& [k, r] : dopo) {
        chiavi.insert(k);
        ASSERT_TRUE(f.record.count(k)) << "record inventato: " << k;
        EXPECT_EQ(r.byte, f.record.at(k).byte) << k;
        EXPECT_EQ(r.memo, f.record.at(k).memo) << k;
    }
    EXPECT_EQ(chiavi, vivi);
    EXPECT_EQ(e.recuperati, vivi.size());
    EXPECT_EQ(e.persi, f.record.size() - vivi.size()) << e.titolo() << "\n" << tutte(e.righe());
    EXPECT_EQ(e.conPerdite(), vivi.size() < f.record.size());
    EXPECT_TRUE(fs::exists(f.percorso("FORNITOR.X03")) && fs::exists(f.percorso("FORNITOR.Y03")));
    EXPECT_EQ(verifica(f), std::vector<std::string>{});
}

std::set<std::string> senza(std::set<std::string> tutte, const std::set<std::string>& via)
{
    for (const auto& k : via)
        tutte.erase(k);
    return tutte;
}

TEST(RiparazioneGuasti, DimensioneDeiBlocchiFalsaNellIntestazione)
{
    for (const char codice : {'\x01', '\x04'}) {
        test::CartellaTemporanea c;
        const FornitoriProva f(c / "dati");
        ASSERT_EQ(f.dimensioneBlocco, 2048);
        cambia(f.percorso("FORNITOR.DB"), 5, std::string(1, codice));
        EXPECT_NE(tutte(verifica(f)).find("si collegano fra loro con blocchi di 2048 byte"), std::string::npos) << tutte(verifica(f));
        const EsitoRiparazione e = ripara(f, nullptr);
        tabellaRiparata(f, e, f.tutte());
        EXPECT_NE(tutte(e.note).find("l'intestazione dichiara blocchi di " + std::to_string(codice * 1024)), std::string::npos)
            << tutte(e.note);
    }
}

// A tab, the bytes the code page leaves undefined, bytes after a text's end, a day before
// year 1: values the type holds, kept as they are.
TEST(RiparazioneGuasti, OgniValoreCheIlTipoContieneRestaComEra)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati");
    EXPECT_EQ(verifica(f), std::vector<std::string>{});
    tabellaRiparata(f, ripara(f, &f.dizionario), f.tutte());

    // A timestamp and a date before year 1, written by hand (the engine writes neither).
    const std::string dir = c / "ts";
    fs::create_directories(dir);
    {
        paradox::Table t;
        t.setDatabaseName(dir + "/");
        t.setTableName("TS.DB");
        t.fieldDefs = {{"K", paradox::FieldType::Long, 0, false}, {"QUANDO", paradox::FieldType::Timestamp, 0, false},
                       {"GIORNO", paradox::FieldType::Date, 0, false}};
        t.indexDefs = {{"", "K", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
        t.createTable();
        t.open();
        for (int k = 1; k <= 3; ++k) {
            t.append();
            t.field(0).setInteger(k);
            t.field(1).setTimestamp(86400000.0 * 700000);
            t.field(2).setDate({2000, 1, 1});
            t.post();
        }
    }
    std::string db = test::leggiFile(dir + "/TS.DB");
    const std::size_t r2 = static_cast<std::size_t>(paradox::get16(reinterpret_cast<const std::uint8_t*>(db.data()) + 2)) + 6 + 16;
    std::uint8_t v[12];
    paradox::storeBE(v, paradox::encodeDouble(-86400000.0 * 366 + 3600000.0), 8);
    paradox::storeBE(v + 8, static_cast<std::uint32_t>(-366) ^ 0x80000000u, 4);
    db.replace(r2 + 4, 12, std::string(reinterpret_cast<const char*>(v), 12));
    test::scriviFile(dir + "/TS.DB", db);
    test::InterazioneScriptata io;
    EXPECT_EQ(VerificaIntegritaTabella(dir + "/", "TS.DB", false, io), std::vector<std::string>{});
    const EsitoRiparazione e = RiparaTabella(dir + "/", "TS.DB", c / "salva/", "", io);
    ASSERT_TRUE(e.riparata) << e.titolo();
    EXPECT_EQ(e.recuperati, 3u);
    EXPECT_EQ(test::leggiFile(dir + "/TS.DB").substr(r2, 16), db.substr(r2, 16));
}

// The genuine level-7 sample: its values (a day and a timestamp before year 1 among them) are
// read as values. Its sort order is a dictionary order: while the engine cannot write keys in
// it the repair stops there, naming it; once it can, the five records come back as they were.
TEST(RiparazioneGuasti, TypSammlungLettoComeValori)
{
    test::CartellaTemporanea c;
    const std::string origine = std::string(KORVA_SAMPLES_DIR) + "/celebithil-Rparadox/inst/extdata/";
    fs::create_directories(c / "t");
    for (const char* nome : {"TypSammlung.DB", "TypSammlung.MB"})
        fs::copy_file(origine + nome, c / ("t/" + std::string(nome)));
    test::InterazioneScriptata io;
    const auto rilievi = VerificaIntegritaTabella(c / "t/", "TypSammlung.DB", false, io);
    EXPECT_EQ(tutte(rilievi).find("illeggibile"), std::string::npos) << tutte(rilievi);
    EXPECT_EQ(tutte(rilievi).find("blocco"), std::string::npos) << tutte(rilievi);
    const std::string prima = test::leggiFile(c / "t/TypSammlung.DB");
    const EsitoRiparazione e = RiparaTabella(c / "t/", "TypSammlung.DB", c / "salva/", "", io);
    if (!paradox::collationFor(0x62, "ANSIINTL", 1252)) {
        EXPECT_FALSE(e.riparata);
        EXPECT_NE(e.motivo.find("ANSIINTL"), std::string::npos) << e.motivo;
        EXPECT_EQ(test::leggiFile(c / "t/TypSammlung.DB"), prima);
        return;
    }
    ASSERT_TRUE(e.riparata) << e.titolo();
    EXPECT_EQ(e.recuperati, 5u);
    EXPECT_FALSE(e.conPerdite()) << e.titolo();
    // The records' bytes as they were, in the same order (the table held them in key order),
    // the memo (bytes 85-96) and binary (101-111) references apart.
    const std::string dopo = test::leggiFile(c / "t/TypSammlung.DB");
    auto record = [](const std::string& db, std::size_t r) {
        const std::size_t at = paradox::get16(reinterpret_cast<const std::uint8_t*>(db.data()) + 2) + 6 + r * 366;
        return db.substr(at, 85) + db.substr(at + 96, 5) + db.substr(at + 111, 255);
    };
    for (std::size_t r = 0; r < 5; ++r)
        EXPECT_EQ(record(dopo, r), record(prima, r)) << r;
}

TEST(RiparazioneGuasti, BloccoAzzeratoNonDiventaUnRecord)
{
    // The first block, one in the middle, the last.
    for (const int quale : {0, 10, -1}) {
        SCOPED_TRACE(quale);
        test::CartellaTemporanea d;
        const FornitoriProva f(d / "dati");
        const int blocco = quale < 0 ? f.catena.back() : f.catena[static_cast<std::size_t>(quale)];
        cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(blocco), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
        const EsitoRiparazione e = ripara(f, &f.dizionario);
        tabellaRiparata(f, e, senza(f.tutte(), f.chiaviDel(blocco)));
        EXPECT_NE(tutte(e.righe()).find("Blocco perso: FORNITOR.DB, blocco " + std::to_string(blocco) + " (azzerato), con " +
                                        std::to_string(f.chiaviDel(blocco).size()) + " record"),
                  std::string::npos)
            << tutte(e.righe());
    }
}

struct Danno {
    std::string nome;
    std::function<void(const FornitoriProva&)> fai;
    std::function<std::set<std::string>(const FornitoriProva&)> vivi;
};

TEST(RiparazioneGuasti, OgniRecordPersoContatoAncheIBlocchiInteri)
{
    auto tranneIl = [](int quale) {
        return [quale](const FornitoriProva& f) { return senza(f.tutte(), f.chiaviDel(f.catena[static_cast<std::size_t>(quale)])); };
    };
    const std::vector<Danno> danni = {
        {"file troncato a metà di un blocco",
         [](const FornitoriProva& f) {
             fs::resize_file(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[40]) + 6 + 5 * f.dimensioneRecord + 3);
         },
         [](const FornitoriProva& f) {
             std::set<std::string> s;
             const std::size_t fine = f.inizioBlocco(f.catena[40]) + 6 + 5 * f.dimensioneRecord + 3;
             for (const auto& [k, r] : f.record)
                 if (r.offset + f.dimensioneRecord <= fine)
                     s.insert(k);
             return s;
         }},
        {"blocco di 0xFF",
         [](const FornitoriProva& f) {
             cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[7]), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\xFF'));
         },
         tranneIl(7)},
        {"conteggio del blocco non valido",
         [](const FornitoriProva& f) { cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[20]) + 4, "\x01\x7F"); },
         tranneIl(20)},
        {"conteggio del blocco che dice 5 record invece di 17",
         [](const FornitoriProva& f) {
             const int add = 4 * f.dimensioneRecord;
             cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[12]) + 4, {static_cast<char>(add & 0xFF), static_cast<char>(add >> 8)});
         },
         [](const FornitoriProva& f) {
             std::set<std::string> s = f.tutte();
             for (const auto& k : f.chiaviDel(f.catena[12]))
                 if (f.record.at(k).offset >= f.inizioBlocco(f.catena[12]) + 6 + 5 * static_cast<std::size_t>(f.dimensioneRecord))
                     s.erase(k);
             return s;
         }},
        {"blocco azzerato e numero di record dell'intestazione falso",
         [](const FornitoriProva& f) {
             cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[30]), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
             cambia(f.percorso("FORNITOR.DB"), 6, std::string("\x07\0\0\0", 4));
         },
         tranneIl(30)},
    };
    for (const Danno& danno : danni) {
        SCOPED_TRACE(danno.nome);
        test::CartellaTemporanea c;
        const FornitoriProva f(c / "dati");
        const auto vivi = danno.vivi(f);
        danno.fai(f);
        EXPECT_FALSE(verifica(f).empty());
        tabellaRiparata(f, ripara(f, &f.dizionario), vivi);
    }
}

// The last block's count says more records than it has: the rest of the block is not read as
// records when the primary index counts them; without any index nothing tells which number
// is right, and the repair refuses.
TEST(RiparazioneGuasti, ConteggioDelBloccoCheDiceDiPiu)
{
    for (const bool conIndici : {true, false}) {
        SCOPED_TRACE(conIndici);
        test::CartellaTemporanea c;
        const FornitoriProva f(c / "dati");
        const int ultimo = f.catena.back();
        ASSERT_LT(f.chiaviDel(ultimo).size(), 17u);
        const int add = 16 * f.dimensioneRecord;
        cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(ultimo) + 4, {static_cast<char>(add & 0xFF), static_cast<char>(add >> 8)});
        if (!conIndici)
            for (const char* via : {"FORNITOR.PX", "FORNITOR.X03", "FORNITOR.Y03"})
                fs::remove(f.percorso(via));
        const auto prima = test::fileFornitori(f.dir);
        const EsitoRiparazione e = ripara(f, &f.dizionario);
        if (conIndici) {
            tabellaRiparata(f, e, f.tutte());
        } else {
            EXPECT_FALSE(e.riparata) << e.titolo();
            EXPECT_TRUE(test::fileFornitori(f.dir) == prima);
        }
    }
}

TEST(RiparazioneGuasti, DimensioniDeiCampiFalseNellIntestazione)
{
    // A6 + A40 said to be A4 + A42: the record's size is the same.
    auto menti = [](const FornitoriProva& f) {
        cambia(f.percorso("FORNITOR.DB"), 0x79, "\x04");
        cambia(f.percorso("FORNITOR.DB"), 0x7B, "\x2A");
    };
    for (const bool conDizionario : {true, false}) {
        SCOPED_TRACE(conDizionario);
        test::CartellaTemporanea c;
        const FornitoriProva f(c / "dati");
        menti(f);
        EXPECT_NE(tutte(verifica(f)).find("campo 1 (CODICE): A4 secondo l'intestazione di FORNITOR.DB; A6 secondo"),
                  std::string::npos)
            << tutte(verifica(f));
        const EsitoRiparazione e = ripara(f, conDizionario ? &f.dizionario : nullptr);
        tabellaRiparata(f, e, f.tutte());
        EXPECT_NE(tutte(e.note).find("usato A6"), std::string::npos) << tutte(e.note);
        EXPECT_NE(tutte(e.note).find("usato A40"), std::string::npos) << tutte(e.note);
    }
    // Without another copy of the layout no description is clearly right: nothing changes.
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati");
    menti(f);
    for (const char* via : {"FORNITOR.PX", "FORNITOR.X03", "FORNITOR.Y03", "FORNITOR.VAL"})
        fs::remove(f.percorso(via));
    const auto prima = test::fileFornitori(f.dir);
    const EsitoRiparazione e = ripara(f, nullptr);
    EXPECT_FALSE(e.riparata) << e.titolo();
    EXPECT_TRUE(test::fileFornitori(f.dir) == prima);
}

// A dictionary that no longer describes the table (a field longer there, two fields sized
// otherwise with the same record) is the layout verification's business: the table's own
// files agree, so nothing is found and the repair keeps their layout.
TEST(RiparazioneGuasti, DizionarioDiversoDaUnaTabellaSana)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati");
    for (const auto& [uno, due] : {std::pair{40, 20}, std::pair{50, 20}, std::pair{30, 30}}) {
        DefinizioniParadox diz = f.dizionario;
        diz.campi[1].size = uno;
        diz.campi[2].size = due;
        EXPECT_EQ(verifica(f, &diz), std::vector<std::string>{});
    }
    DefinizioniParadox diz = f.dizionario;
    diz.campi[1].size = 30;
    diz.campi[2].size = 30;
    const EsitoRiparazione e = ripara(f, &diz);
    tabellaRiparata(f, e, f.tutte());
    EXPECT_EQ(e.note, std::vector<std::string>{});
}

TEST(RiparazioneGuasti, NumeroDiCampiChiaveFalsoNellIntestazione)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati");
    cambia(f.percorso("FORNITOR.DB"), 0x23, "\x03");
    EXPECT_NE(tutte(verifica(f)).find("campi della chiave: 1 secondo"), std::string::npos) << tutte(verifica(f));
    const EsitoRiparazione e = ripara(f, &f.dizionario);
    tabellaRiparata(f, e, f.tutte());
    EXPECT_EQ(static_cast<unsigned char>(test::leggiFile(f.percorso("FORNITOR.DB"))[0x23]), 1u);
    EXPECT_NE(tutte(e.note).find("usati 1"), std::string::npos) << tutte(e.note);
}

// A validity file that does not belong to the table, or cannot be read, is set aside with a
// note; the data is repaired all the same. One that belongs stays as it is.
TEST(RiparazioneGuasti, IlFileDiValiditaNonFermaLaRiparazione)
{
    for (const int caso : {0, 1, 2}) {
        SCOPED_TRACE(caso);
        test::CartellaTemporanea c;
        const FornitoriProva f(c / "dati");
        ASSERT_TRUE(fs::exists(f.percorso("FORNITOR.VAL")));
        const std::string val = test::leggiFile(f.percorso("FORNITOR.VAL"));
        if (caso == 1)
            cambia(f.percorso("FORNITOR.VAL"), 0, std::string(1, static_cast<char>(val[0] + 1)));
        if (caso == 2)
            test::scriviFile(f.percorso("FORNITOR.VAL"), val.substr(0, 20));
        cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(f.catena[3]), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
        const EsitoRiparazione e = ripara(f, &f.dizionario);
        tabellaRiparata(f, e, senza(f.tutte(), f.chiaviDel(f.catena[3])));
        EXPECT_EQ(fs::exists(f.percorso("FORNITOR.VAL")), caso == 0);
        if (caso == 0)
            EXPECT_EQ(test::leggiFile(f.percorso("FORNITOR.VAL")), val);
        else
            EXPECT_NE(tutte(e.note).find("FORNITOR.VAL: "), std::string::npos) << tutte(e.note);
        EXPECT_TRUE(fs::exists(e.copia + "/FORNITOR.VAL"));
    }
}

// The genuine tables with a validity file: verified without a finding, repaired with it
// byte for byte.
TEST(RiparazioneGuasti, CampioniConFileDiValidita)
{
    const std::string radice = std::string(KORVA_SAMPLES_DIR) + "/leonhad-paradoxdriver/src/test/resources/";
    for (const char* tabella : {"areas/ZIPCODES", "db/AREACODE", "joins/paradox-ascii"}) {
        SCOPED_TRACE(tabella);
        test::CartellaTemporanea c;
        const fs::path origine = radice + tabella;
        std::string db, val;
        for (const auto& e : fs::directory_iterator(origine.parent_path())) {
            const std::string nome = e.path().filename().string();
            if (nome.rfind(origine.filename().string() + ".", 0) != 0)
                continue;
            fs::copy_file(e.path(), c / nome);
            const std::string ext = e.path().extension().string();
            if (ext == ".DB" || ext == ".db")
                db = nome;
            if (ext == ".VAL" || ext == ".val")
                val = nome;
        }
        ASSERT_FALSE(val.empty());
        test::InterazioneScriptata io;
        EXPECT_EQ(VerificaIntegritaTabella(c.dir(), db, false, io), std::vector<std::string>{});
        const std::string prima = test::leggiFile(c / val);
        const EsitoRiparazione e = RiparaTabella(c.dir(), db, c / "salva/", "", io);
        ASSERT_TRUE(e.riparata) << e.titolo();
        EXPECT_FALSE(e.conPerdite());
        EXPECT_EQ(test::leggiFile(c / val), prima);
    }
}

TEST(RiparazioneGuasti, IMessaggiNominanoIFileVeri)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati");
    // The index's field list names a field the table does not have.
    const std::string x = test::leggiFile(f.percorso("FORNITOR.X03"));
    const std::size_t numeri = 0x58 + paradox::get16(reinterpret_cast<const std::uint8_t*>(x.data()) + 0x66);
    cambia(f.percorso("FORNITOR.X03"), numeri, "\x63\x00");
    const std::string rilievi = tutte(verifica(f));
    EXPECT_NE(rilievi.find(f.percorso("FORNITOR.X03")), std::string::npos) << rilievi;
    const EsitoRiparazione e = ripara(f, &f.dizionario);
    tabellaRiparata(f, e, f.tutte());
    const std::string rapporto = tutte(verifica(f)) + rilievi + e.titolo() + tutte(e.righe());
    for (const char* interno : {"/t/", "/d/", "/n/"})
        EXPECT_EQ(rapporto.find(interno), std::string::npos) << rapporto;
}

// A full disk at each step of saving the damaged family: the repair is refused, the table is as
// it was, and nothing is left in the backup folder that could be taken for a saved family.
TEST(RiparazioneGuasti, CopiaDiSalvataggioInterrottaNonLasciaCartelle)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    const auto prima = test::fileFornitori(f.dir);
    for (std::int64_t n = 1;; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n));
        fs::remove_all(c / "salva");
        test::EnvGuasti env;
        env.guastaAl(n, test::EnvGuasti::Guasto::DiscoPieno, true);
        test::InterazioneScriptata io;
        const EsitoRiparazione e = RiparaTabella(f.dir + "/", "FORNITOR.DB", c / "salva/", "", io, env, &f.dizionario);
        if (!e.copia.empty())
            break;
        EXPECT_FALSE(e.riparata);
        EXPECT_TRUE(test::fileFornitori(f.dir) == prima);
        const bool vuota = !fs::exists(c / "salva") || fs::is_empty(c / "salva");
        EXPECT_TRUE(vuota) << fs::directory_iterator(c / "salva")->path();
    }
}

}  // namespace
}  // namespace korva
