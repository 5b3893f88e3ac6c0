// The repair attacked where its own tests did not look: another program beside it, a failure
// at each step of its work, a block of another table, a chain cut short with its header
// agreeing, a free list that loops, memos that overlap, the validity file of another table.

#include "base/env.h"
#include "engines/paradox/format.h"
#include "engines/paradox/table.h"
#include "fornitori_prova.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"
#include "support/cartella_temporanea.h"
#include "support/env_guasti.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace korva {
namespace {

namespace fs = std::filesystem;
using test::FornitoriProva;

using test::cambia;
using test::tutte;

std::string parola(int v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

int leggi16(const std::string& s, std::size_t at)
{
    return paradox::get16(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}

EsitoRiparazione ripara(const FornitoriProva& f, Env& env = Env::standard())
{
    test::InterazioneScriptata io;
    return RiparaTabella(f.dir + "/", "FORNITOR.DB", f.dir + "/../salva/", "", io, env, &f.dizionario);
}

void metti(const std::string& dir, const std::map<std::string, std::string>& famiglia)
{
    for (const auto& [nome, _] : test::fileFornitori(dir))
        fs::remove(dir + "/" + nome);
    for (const auto& [nome, byte] : famiglia)
        test::scriviFile(dir + "/" + nome, byte);
}

// Every record of a sound table as the engine reads it, each field as text.
std::multiset<std::vector<std::string>> recordDi(const std::string& dir, const std::string& file)
{
    paradox::Table t;
    t.setDatabaseName(dir + "/");
    t.setTableName(file);
    t.open();
    std::multiset<std::vector<std::string>> out;
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> r;
        for (int i = 0; i < t.fieldCount(); ++i)
            r.push_back(t.field(i).asString());
        out.insert(r);
    }
    return out;
}

// The family of a genuine sample table copied into `dir`; the data file's name.
std::string copiaCampione(const std::string& tabella, const std::string& dir)
{
    const fs::path origine = std::string(KORVA_SAMPLES_DIR) + "/" + tabella;
    std::string db;
    for (const auto& e : fs::directory_iterator(origine.parent_path())) {
        const std::string nome = e.path().filename().string();
        if (nome.rfind(origine.filename().string() + ".", 0) != 0)
            continue;
        fs::copy_file(e.path(), dir + "/" + nome);
        const std::string ext = e.path().extension().string();
        if (ext == ".DB" || ext == ".db")
            db = nome;
    }
    return db;
}

// Once the switch's journal is written the next user of the table completes the switch: a
// failure from then on (a full disk, an I/O error on a rename or on the directory's sync)
// must not be reported as a repair not made, or the user, told that nothing changed, repairs
// again and hears "0 persi" for the records the first run lost.
TEST(RiparazioneOstile, UnGuastoAOgniPassoLasciaLaVecchiaOLaNuovaEIlRapportoDiceQuale)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    const int blocco = f.catena[5];
    cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(blocco), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
    const auto danneggiata = test::fileFornitori(f.dir);
    test::EnvGuasti conta;
    ASSERT_TRUE(ripara(f, conta).riparata);
    const std::size_t riparati = test::leggiFornitori(f.dir).size();
    const std::int64_t passi = conta.operazioni();
    ASSERT_GT(passi, 10);
    for (std::int64_t n = 1; n <= passi; ++n) {
        SCOPED_TRACE("passo " + std::to_string(n) + " di " + std::to_string(passi));
        metti(f.dir, danneggiata);
        fs::remove_all(c / "salva");
        test::EnvGuasti env;
        env.guastaAl(n, test::EnvGuasti::Guasto::DiscoPieno, true);
        const EsitoRiparazione e = ripara(f, env);
        // What the next user of the table does first.
        paradox::completePendingSwitch(Env::standard(), f.dir, "FORNITOR");
        if (test::fileFornitori(f.dir) == danneggiata) {
            EXPECT_FALSE(e.riparata) << e.titolo();
            continue;
        }
        EXPECT_EQ(test::leggiFornitori(f.dir).size(), riparati);
        EXPECT_TRUE(e.riparata && e.persi == f.chiaviDel(blocco).size())
            << "la tabella è stata sostituita, il rapporto dice: " << e.titolo() << "\n" << tutte(e.righe());
    }
}

// Another user opening the table while the repair switches its files (the open is turned
// away, the table being held, but the engine completes the switch's journal before it asks
// for the table).
class EnvConUnAltroUtente : public Env {
public:
    explicit EnvConUnAltroUtente(std::string dir) : dir_(std::move(dir)) {}
    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override { return base_.open(path, mode); }
    void rename(const std::string& from, const std::string& to) override { base_.rename(from, to); }
    void remove(const std::string& path) override
    {
        if (!aperta_ && path.size() > 4 && path.substr(path.size() - 4) == ".JSW") {
            aperta_ = true;
            paradox::Table t;
            t.setDatabaseName(dir_ + "/");
            t.setTableName("FORNITOR.DB");
            try {
                t.open();
            } catch (const Error&) {
                // "in uso esclusivo da parte di un altro utente", as expected.
            }
        }
        base_.remove(path);
    }
    bool exists(const std::string& path) override { return base_.exists(path); }
    std::optional<FileIdentity> identity(const std::string& path) override { return base_.identity(path); }
    std::vector<std::string> list(const std::string& dir) override { return base_.list(dir); }
    void createDir(const std::string& path) override { base_.createDir(path); }
    void syncDir(const std::string& dir) override { base_.syncDir(dir); }
    bool aperta_ = false;

private:
    Env& base_ = Env::standard();
    std::string dir_;
};

TEST(RiparazioneOstile, UnAltroUtenteCheApreLaTabellaDuranteLoScambioNonCambiaIlRapporto)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    const int blocco = f.catena[5];
    cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(blocco), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
    const auto danneggiata = test::fileFornitori(f.dir);
    EnvConUnAltroUtente env(f.dir);
    const EsitoRiparazione e = ripara(f, env);
    ASSERT_TRUE(env.aperta_);
    if (test::fileFornitori(f.dir) == danneggiata) {
        EXPECT_FALSE(e.riparata);
        return;
    }
    EXPECT_EQ(test::leggiFornitori(f.dir).size(), f.record.size() - f.chiaviDel(blocco).size());
    EXPECT_TRUE(e.riparata && e.persi == f.chiaviDel(blocco).size())
        << "la tabella è stata sostituita, il rapporto dice: " << e.titolo() << "\n" << tutte(e.righe());
}

// CLIENTI.DB of a company: codes C00000, C00002, ... (`dispari`: C00001, C00003, ...), a
// secondary index on the city.
void creaClienti(const std::string& dir, bool dispari)
{
    fs::create_directories(dir);
    paradox::Session s;
    s.setDurable(false);
    paradox::Table t(s);
    t.setDatabaseName(dir + "/");
    t.setTableName("CLIENTI.DB");
    t.fieldDefs = {{"CODICE", paradox::FieldType::Alpha, 6, false},
                   {"RAGIONE", paradox::FieldType::Alpha, 40, false},
                   {"CITTA", paradox::FieldType::Alpha, 20, false},
                   {"SALDO", paradox::FieldType::Number, 0, false}};
    t.indexDefs = {{"", "CODICE", paradox::IndexOption::Primary | paradox::IndexOption::Unique}, {"CITTA", "CITTA", 0}};
    t.createTable();
    t.open();
    t.beginBatch();
    for (int i = 0; i < 600; ++i) {
        char codice[8];
        std::snprintf(codice, sizeof codice, "C%05d", 2 * i + (dispari ? 1 : 0));
        t.append();
        t.field(0).setString(codice);
        t.field(1).setString(std::string(dispari ? "Cliente dell'altra ditta " : "Cliente ") + std::to_string(i));
        t.field(2).setString(dispari ? "Bari" : "Torino");
        t.field(3).setFloat(i * 2.5);
        t.post();
    }
    t.endBatch();
}

void aggiungi(const std::string& dir, const std::string& codice)
{
    paradox::Table t;
    t.setDatabaseName(dir + "/");
    t.setTableName("FORNITOR.DB");
    t.open();
    t.append();
    t.field(0).setString(codice);
    t.field(1).setString("Inserito " + codice);
    t.post();
}

// The primary index one insert behind the data (what a writer without a journal leaves when
// the data block and the header reached the disk and the index did not): the data file is
// sound and agrees with its header. The record the index does not count is readable; it must
// come back, or at least be counted as lost.
TEST(RiparazioneOstile, IndicePrimarioIndietroDiUnInserimentoNonTaceUnRecord)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    fs::remove(f.percorso("FORNITOR.X03"));
    fs::remove(f.percorso("FORNITOR.Y03"));
    // The first block splits; then one more record goes into the half it left.
    aggiungi(f.dir, "E00001");
    const std::string px = test::leggiFile(f.percorso("FORNITOR.PX"));
    aggiungi(f.dir, "E00002");
    test::scriviFile(f.percorso("FORNITOR.PX"), px);
    const EsitoRiparazione e = ripara(f);
    ASSERT_TRUE(e.riparata) << e.titolo();
    const std::size_t dopo = test::leggiFornitori(f.dir).size();
    EXPECT_EQ(e.persi, 302 - dopo) << e.titolo() << "\n" << tutte(e.righe());
    EXPECT_EQ(e.conPerdite(), dopo < 302);
}

// One byte of a genuine table's primary index damaged: a leaf counts one record fewer than its
// data block holds. The data file is whole and agrees with its header; no record may go
// without being counted.
TEST(RiparazioneOstile, UnByteDellIndicePrimarioNonTaceUnRecordDelCampione)
{
    test::CartellaTemporanea c;
    const std::string db = copiaCampione("leonhad-paradoxdriver/src/test/resources/geog/County", c.percorso());
    const auto prima = recordDi(c.percorso(), db);
    const std::string px = [&] {
        for (const auto& e : fs::directory_iterator(c.percorso()))
            if (e.path().extension() == ".PX" || e.path().extension() == ".px")
                return e.path().string();
        return std::string();
    }();
    ASSERT_FALSE(px.empty());
    std::string indice = test::leggiFile(px);
    const std::size_t hs = static_cast<std::size_t>(leggi16(indice, 2)), bs = static_cast<std::size_t>(indice[5]) * 1024;
    const int rs = leggi16(indice, 0);
    ASSERT_EQ(indice[0x20], 1) << "un solo livello";
    const std::size_t radice = hs + static_cast<std::size_t>(leggi16(indice, 0x1E) - 1) * bs;
    // The fourth leaf's record count, a big-endian short with its sign bit flipped.
    const std::size_t conteggio = radice + 6 + 3 * static_cast<std::size_t>(rs) + static_cast<std::size_t>(rs) - 4;
    indice[conteggio + 1] = static_cast<char>(indice[conteggio + 1] - 1);
    test::scriviFile(px, indice);
    test::InterazioneScriptata io;
    const EsitoRiparazione e = RiparaTabella(c.dir(), db, c / "salva/", "", io);
    if (!e.riparata)
        return;
    const std::size_t dopo = recordDi(c.percorso(), db).size();
    EXPECT_EQ(e.persi, prima.size() - dopo) << e.titolo() << "\n" << tutte(e.righe());
}

// The genuine AREACODE.PX ends in a block shorter than the block size (as its writer left it;
// the engine reads it). It is still the family's count of the records of each block: a block
// lost with the header's count also wrong is counted from it.
TEST(RiparazioneOstile, IndicePrimarioConLUltimoBloccoCortoRestaUnTestimone)
{
    test::CartellaTemporanea c;
    const std::string db = copiaCampione("leonhad-paradoxdriver/src/test/resources/db/AREACODE", c.percorso());
    const auto prima = recordDi(c.percorso(), db);
    std::string byte = test::leggiFile(c / db);
    const std::size_t hs = static_cast<std::size_t>(leggi16(byte, 2)), bs = static_cast<std::size_t>(byte[5]) * 1024;
    byte.replace(hs + 2 * bs, bs, std::string(bs, '\xFF'));
    byte.replace(0x06, 4, parola(static_cast<int>(prima.size()) - 15) + parola(0));
    test::scriviFile(c / db, byte);
    test::InterazioneScriptata io;
    const EsitoRiparazione e = RiparaTabella(c.dir(), db, c / "salva/", "", io);
    if (!e.riparata)
        return;
    const std::size_t dopo = recordDi(c.percorso(), db).size();
    EXPECT_EQ(e.persi, prima.size() - dopo) << e.titolo() << "\n" << tutte(e.righe());
}

// A block of the same table of another company (same layout, same block size, the chain in
// the same order) where one of ours was: its records fit the key order of their neighbours
// and the counts, but the primary index's key for that block and every entry of the
// secondary index say they are not this table's. They must not come back as ours, and ours
// must be counted as lost.
TEST(RiparazioneOstile, UnBloccoDiUnAltraTabellaNonDiventaDiQuesta)
{
    test::CartellaTemporanea c;
    creaClienti(c / "alfa", false);
    creaClienti(c / "beta", true);
    const auto nostri = recordDi(c / "alfa", "CLIENTI.DB");
    std::string db = test::leggiFile(c / "alfa/CLIENTI.DB");
    const std::string altro = test::leggiFile(c / "beta/CLIENTI.DB");
    const std::size_t hs = static_cast<std::size_t>(leggi16(db, 2)), bs = static_cast<std::size_t>(db[5]) * 1024;
    ASSERT_EQ(db.size(), altro.size());
    const std::size_t at = hs + 9 * bs;
    db.replace(at, bs, altro.substr(at, bs));
    test::scriviFile(c / "alfa/CLIENTI.DB", db);
    test::InterazioneScriptata io;
    EXPECT_FALSE(VerificaIntegritaTabella(c / "alfa/", "CLIENTI.DB", false, io).empty());
    const EsitoRiparazione e = RiparaTabella(c / "alfa/", "CLIENTI.DB", c / "salva/", "", io);
    if (!e.riparata)
        return;
    const auto dopo = recordDi(c / "alfa", "CLIENTI.DB");
    std::size_t estranei = 0;
    for (const auto& r : dopo)
        estranei += nostri.count(r) == 0;
    EXPECT_EQ(estranei, 0u) << e.titolo();
    EXPECT_EQ(e.persi, nostri.size() - (dopo.size() - estranei)) << e.titolo() << "\n" << tutte(e.righe());
}

// The chain ends one block early and the header agrees (last block, blocks in use, records):
// the block that followed is still in the file, whole, linked back to the new last block, in
// no free list, and the primary index counts its records. The header's count was made from
// that same chain: it is no second witness against the index.
TEST(RiparazioneOstile, CatenaAccorciataConLIntestazioneDAccordo)
{
    test::CartellaTemporanea c;
    const std::string db = copiaCampione("leonhad-paradoxdriver/src/test/resources/db/ORDERS", c.percorso());
    std::string byte = test::leggiFile(c / db);
    const std::size_t hs = static_cast<std::size_t>(leggi16(byte, 2)), bs = static_cast<std::size_t>(byte[5]) * 1024;
    const int rs = leggi16(byte, 0);
    std::vector<int> catena;
    for (int b = leggi16(byte, 0x0E); b != 0; b = leggi16(byte, hs + static_cast<std::size_t>(b - 1) * bs))
        catena.push_back(b);
    ASSERT_GT(catena.size(), 2u);
    const int ultimo = catena.back(), penultimo = catena[catena.size() - 2];
    const int nellUltimo = static_cast<std::int16_t>(leggi16(byte, hs + static_cast<std::size_t>(ultimo - 1) * bs + 4)) / rs + 1;
    const auto prima = recordDi(c.percorso(), db);
    byte.replace(hs + static_cast<std::size_t>(penultimo - 1) * bs, 2, parola(0));
    byte.replace(0x10, 2, parola(penultimo));
    byte.replace(0x0A, 2, parola(leggi16(byte, 0x0A) - 1));
    byte.replace(0x06, 4, parola(static_cast<int>(prima.size()) - nellUltimo) + parola(0));
    test::scriviFile(c / db, byte);
    test::InterazioneScriptata io;
    const EsitoRiparazione e = RiparaTabella(c.dir(), db, c / "salva/", "", io);
    if (!e.riparata)
        return;
    const auto dopo = recordDi(c.percorso(), db);
    EXPECT_EQ(e.persi, prima.size() - dopo.size()) << e.titolo() << "\n" << tutte(e.righe());
    EXPECT_TRUE(e.conPerdite() || dopo == prima) << e.titolo();
}

// A free list that loops without coming back to its head (2 -> 3 -> 2): the verification
// (and the repair, which reads the file the same way) must end.
TEST(RiparazioneOstile, ElencoDeiBlocchiLiberiCheGiraSuSeStessoNonFermaLaVerifica)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    std::string db = test::leggiFile(f.percorso("FORNITOR.DB"));
    const int blocchi = leggi16(db, 0x0C);
    for (const int seguente : {blocchi + 2, blocchi + 3, blocchi + 2}) {
        std::string blocco(static_cast<std::size_t>(f.dimensioneBlocco), '\0');
        blocco.replace(0, 2, parola(seguente));
        blocco.replace(4, 2, parola(-f.dimensioneRecord));
        db += blocco;
    }
    db.replace(0x4D, 2, parola(blocchi + 1));
    test::scriviFile(f.percorso("FORNITOR.DB"), db);
    const pid_t figlio = fork();
    if (figlio == 0) {
        test::InterazioneScriptata io;
        VerificaIntegritaTabella(f.dir + "/", "FORNITOR.DB", false, io, Env::standard(), &f.dizionario);
        _exit(0);
    }
    // A few milliseconds' work on 18 blocks: half a minute is far more than a loaded machine needs.
    int stato = 0;
    bool finita = false;
    for (int i = 0; i < 300 && !finita; ++i) {
        finita = waitpid(figlio, &stato, WNOHANG) == figlio;
        if (!finita)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!finita) {
        kill(figlio, SIGKILL);
        waitpid(figlio, &stato, 0);
    }
    EXPECT_TRUE(finita) << "la verifica non è finita in mezzo minuto";
}

// The bytes of a record's memo descriptor in the data file, and its reference.
struct Riferimento {
    std::size_t descrittore = 0;
    std::uint32_t offset = 0, lunghezza = 0;
};

// Two memos in one block of the memo file whose places overlap: the second written over the
// first one's bytes past the part the record repeats. The first one cannot come back with
// the other's bytes in it and nothing said.
TEST(RiparazioneOstile, MemoCheSiSovrappongonoNonTornanoAlterati)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    const std::string db = test::leggiFile(f.percorso("FORNITOR.DB"));
    std::string mb = test::leggiFile(f.percorso("FORNITOR.MB"));
    const int memo = f.dimensioneRecord - static_cast<int>(test::kOffsetMemoFornitori);
    const int leader = memo - 10;
    // Records whose memo is in a block of small memos (type 3), by key.
    std::map<std::string, Riferimento> piccoli;
    for (const auto& [k, r] : f.record) {
        Riferimento x;
        x.descrittore = r.offset + test::kOffsetMemoFornitori;
        x.offset = paradox::get32(reinterpret_cast<const std::uint8_t*>(db.data()) + x.descrittore + leader);
        x.lunghezza = paradox::get32(reinterpret_cast<const std::uint8_t*>(db.data()) + x.descrittore + leader + 4);
        if (x.offset != 0 && (x.offset & 0xFF) != 0xFF && static_cast<int>(x.lunghezza) > leader + 64)
            piccoli[k] = x;
    }
    std::string a, b;
    for (const auto& [k, x] : piccoli)
        for (const auto& [k2, y] : piccoli)
            if (a.empty() && k != k2 && (x.offset & ~0xFFu) == (y.offset & ~0xFFu)) {
                a = k;
                b = k2;
            }
    ASSERT_FALSE(a.empty()) << "nessuna coppia di memo nello stesso blocco";
    const Riferimento& ra = piccoli.at(a);
    const Riferimento& rb = piccoli.at(b);
    const std::size_t pagina = ra.offset & ~0xFFu;
    const std::size_t slotA = pagina + 12 + 5 * (ra.offset & 0xFF), slotB = pagina + 12 + 5 * (rb.offset & 0xFF);
    const std::size_t inizioA = static_cast<unsigned char>(mb[slotA]) * 16u, inizioB = static_cast<unsigned char>(mb[slotB]) * 16u;
    // B's value now lies 48 bytes into A's, past what A's record repeats of it.
    const std::size_t nuovoB = inizioA + 48;
    ASSERT_LE(nuovoB + rb.lunghezza, 4096u);
    mb.replace(pagina + nuovoB, rb.lunghezza, mb.substr(pagina + inizioB, rb.lunghezza));
    mb[slotB] = static_cast<char>(nuovoB / 16);
    test::scriviFile(f.percorso("FORNITOR.MB"), mb);

    const EsitoRiparazione e = ripara(f);
    ASSERT_TRUE(e.riparata) << e.titolo();
    const auto dopo = test::leggiFornitori(f.dir);
    const std::string luogoA = "blocco " + std::to_string(f.record.at(a).blocco) + ", record ";
    const bool detto = tutte(e.memoPersi).find(luogoA) != std::string::npos;
    EXPECT_TRUE(dopo.at(a).memo == f.record.at(a).memo || (detto && dopo.at(a).memo.empty()))
        << a << ": memo tornato alterato senza che il rapporto lo dica: " << e.titolo() << "\n" << tutte(e.righe());
}

// A table keyed on an auto-increment field whose header is lost, repaired from the dictionary
// (which writes I for both the long integer and the auto-increment) and its primary index
// (which keeps the exact type): the copies agree, the repair goes ahead, and the field stays an
// auto-increment, so that the next record gets the next number and not a blank key.
TEST(RiparazioneOstile, IntestazionePersaDiUnaTabellaConChiaveAutoincremento)
{
    test::CartellaTemporanea c;
    {
        paradox::Session s;
        s.setDurable(false);
        paradox::Table t(s);
        t.setDatabaseName(c.dir());
        t.setTableName("FATTURE.DB");
        t.fieldDefs = {{"ID", paradox::FieldType::AutoInc, 0, false}, {"CLIENTE", paradox::FieldType::Alpha, 30, false}};
        t.indexDefs = {{"", "ID", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
        t.createTable();
        t.open();
        t.beginBatch();
        for (int i = 0; i < 300; ++i) {
            t.append();
            t.field(1).setString("Cliente " + std::to_string(i));
            t.post();
        }
        t.endBatch();
    }
    DefinizioniParadox dizionario;
    dizionario.campi = {{"ID", paradox::FieldType::Long, 0, false}, {"CLIENTE", paradox::FieldType::Alpha, 30, false}};
    dizionario.indici = {{"", "ID", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
    std::string db = test::leggiFile(c / "FATTURE.DB");
    db.replace(0, static_cast<std::size_t>(leggi16(db, 2)), static_cast<std::size_t>(leggi16(db, 2)), '\0');
    test::scriviFile(c / "FATTURE.DB", db);
    test::InterazioneScriptata io;
    const EsitoRiparazione e = RiparaTabella(c.dir(), "FATTURE.DB", c / "salva/", "", io, Env::standard(), &dizionario);
    ASSERT_TRUE(e.riparata) << e.titolo();
    EXPECT_EQ(e.recuperati, 300u);
    paradox::Table t;
    t.setDatabaseName(c.dir());
    t.setTableName("FATTURE.DB");
    t.open();
    EXPECT_EQ(t.field(0).type(), paradox::FieldType::AutoInc);
    t.append();
    t.field(1).setString("Nuovo");
    t.post();
    EXPECT_EQ(t.field(0).asString(), "301");
}

// The validity file of another table of as many fields, with the same stamp: it does not
// belong to the table and must not stop the repair of its data.
TEST(RiparazioneOstile, IlFileDiValiditaDiUnAltraTabellaNonFermaLaRiparazione)
{
    test::CartellaTemporanea c;
    const FornitoriProva f(c / "dati", 300);
    {
        fs::create_directories(c / "altra");
        paradox::Session s;
        s.setDurable(false);
        paradox::Table t(s);
        t.setDatabaseName(c / "altra/");
        t.setTableName("ALTRA.DB");
        t.fieldDefs = {{"A", paradox::FieldType::Number, 0, true},
                       {"B", paradox::FieldType::Number, 0, false},
                       {"C", paradox::FieldType::Number, 0, false},
                       {"D", paradox::FieldType::Number, 0, false},
                       {"E", paradox::FieldType::Alpha, 10, true}};
        t.createTable();
    }
    std::string val = test::leggiFile(c / "altra/ALTRA.VAL");
    val[0] = test::leggiFile(f.percorso("FORNITOR.DB"))[paradox::Hdr::ChangeCount2];
    test::scriviFile(f.percorso("FORNITOR.VAL"), val);
    const int blocco = f.catena[3];
    cambia(f.percorso("FORNITOR.DB"), f.inizioBlocco(blocco), std::string(static_cast<std::size_t>(f.dimensioneBlocco), '\0'));
    const EsitoRiparazione e = ripara(f);
    ASSERT_TRUE(e.riparata) << e.titolo();
    EXPECT_EQ(e.persi, f.chiaviDel(blocco).size());
}

}  // namespace
}  // namespace korva
