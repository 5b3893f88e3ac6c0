// The integrity verification and the repair of damaged tables: each kind of damage named by
// the verification, every whole record recovered by the repair, the damaged family saved byte
// for byte, the result sound for us and for pxlib.

#include "engines/paradox/pxlib_ref.h"
#include "famiglia_prova.h"
#include "maintenance/riparazione.h"
#include "maintenance/verifica_integrita.h"
#include "support/interazione_scriptata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

namespace korva {
namespace {

namespace fs = std::filesystem;
using test::FamigliaProva;

constexpr std::size_t kMemo = 36;    // offset of NOTE in the record
constexpr std::size_t kLeader = 20;  // its leader, then its reference and length

std::string garbage(std::size_t n, unsigned seme)
{
    std::mt19937 g(seme);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g());
    return s;
}

void cambia(const std::string& percorso, std::size_t at, const std::string& byte)
{
    std::string s = test::leggiFile(percorso);
    s.replace(at, byte.size(), byte);
    test::scriviFile(percorso, s);
}

std::uint32_t rifMemo(const FamigliaProva& f, int chiave)
{
    const std::string db = test::leggiFile(f.percorso("ART.DB"));
    const auto* p = reinterpret_cast<const std::uint8_t*>(db.data() + f.posti.at(chiave).offset + kMemo + kLeader);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The table's own files in a folder, by name.
std::map<std::string, std::string> famigliaIn(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string nome = e.path().filename().string();
        if (nome.rfind("ART.", 0) == 0 && nome != "ART.LCK")
            out[nome] = test::leggiFile(e.path().string());
    }
    return out;
}

struct Danno {
    std::string nome;
    std::function<void(const FamigliaProva&)> fai;
    // The keys whose records survive, and those whose memo is lost with the damage.
    std::function<std::set<int>(const FamigliaProva&)> sopravvissuti;
    std::function<std::set<int>(const FamigliaProva&)> memoPersi;
    std::string rilievo;  // what the verification says, in part
};

std::set<int> nessuno(const FamigliaProva&)
{
    return {};
}
std::set<int> tutti(const FamigliaProva& f)
{
    return f.tutte();
}

std::vector<Danno> danni()
{
    const auto inizioBlocco = [](const FamigliaProva& f, int b) {
        return static_cast<std::size_t>(f.dimensioneIntestazione) + static_cast<std::size_t>(b - 1) * f.dimensioneBlocco;
    };
    return {
        {"DB troncato",
         [=](const FamigliaProva& f) {
             fs::resize_file(f.percorso("ART.DB"), inizioBlocco(f, f.catena[2]) + 6 + 10 * f.dimensioneRecord + 3);
         },
         [=](const FamigliaProva& f) {
             std::set<int> s;
             const std::size_t fine = inizioBlocco(f, f.catena[2]) + 6 + 10 * f.dimensioneRecord + 3;
             for (const auto& [k, p] : f.posti)
                 if (p.offset + f.dimensioneRecord <= fine)
                     s.insert(k);
             return s;
         },
         nessuno, "più corto"},
        {"blocco di dati sovrascritto",
         [=](const FamigliaProva& f) { cambia(f.percorso("ART.DB"), inizioBlocco(f, f.catena[1]), garbage(f.dimensioneBlocco, 1)); },
         [](const FamigliaProva& f) {
             std::set<int> s = f.tutte();
             for (int k : f.chiaviDel(f.catena[1]))
                 s.erase(k);
             return s;
         },
         nessuno, "blocco " },
        {"collegamento in avanti interrotto",
         [=](const FamigliaProva& f) { cambia(f.percorso("ART.DB"), inizioBlocco(f, f.catena[1]), std::string(2, '\0')); },
         tutti, nessuno, "fuori dalla catena"},
        {"collegamento all'indietro errato",
         [=](const FamigliaProva& f) { cambia(f.percorso("ART.DB"), inizioBlocco(f, f.catena[2]) + 2, std::string("\x63\0", 2)); },
         tutti, nessuno, "collegamento all'indietro errato"},
        {"numero di record dell'intestazione falso",
         [](const FamigliaProva& f) { cambia(f.percorso("ART.DB"), 6, std::string("\x07\x02\0\0", 4)); },
         tutti, nessuno, "l'intestazione dichiara 519 record"},
        {"PX di spazzatura",
         [](const FamigliaProva& f) { test::scriviFile(f.percorso("ART.PX"), garbage(4096, 2)); },
         tutti, nessuno, "ART.PX"},
        {"PX mancante", [](const FamigliaProva& f) { fs::remove(f.percorso("ART.PX")); }, tutti, nessuno,
         "indice primario assente"},
        {"XG0 senza YG0", [](const FamigliaProva& f) { fs::remove(f.percorso("ART.YG0")); }, tutti, nessuno, "ART.YG0"},
        {"blocco del MB sovrascritto",
         [](const FamigliaProva& f) { cambia(f.percorso("ART.MB"), rifMemo(f, 15) & ~0xFFFu, garbage(4096, 3)); },
         tutti,
         [](const FamigliaProva& f) {
             std::set<int> s;
             const std::uint32_t blocco = rifMemo(f, 15) & ~0xFFFu;
             for (const auto& [k, _] : f.posti)
                 if (rifMemo(f, k) != 0 && (rifMemo(f, k) & ~0xFFFu) == blocco)
                     s.insert(k);
             return s;
         },
         "campo NOTE"},
        {"due record con lo stesso memo",
         [](const FamigliaProva& f) {
             const std::string db = test::leggiFile(f.percorso("ART.DB"));
             cambia(f.percorso("ART.DB"), f.posti.at(15).offset + kMemo, db.substr(f.posti.at(0).offset + kMemo, kLeader + 10));
         },
         tutti, [](const FamigliaProva&) { return std::set<int>{0, 15}; }, "è lo stesso del record"},
        {"chiave doppia nei dati",
         [](const FamigliaProva& f) {
             const std::string db = test::leggiFile(f.percorso("ART.DB"));
             cambia(f.percorso("ART.DB"), f.posti.at(3).offset, db.substr(f.posti.at(0).offset, 4));
         },
         [](const FamigliaProva& f) {
             std::set<int> s = f.tutte();
             s.erase(3);
             return s;
         },
         nessuno, "chiave doppia (CODICE = 0)"},
    };
}

TEST(Riparazione, OgniDannoNominatoEOgniRecordInteroRecuperato)
{
    for (const Danno& danno : danni()) {
        SCOPED_TRACE(danno.nome);
        test::CartellaTemporanea c;
        const FamigliaProva f(c, 500);
        ASSERT_GE(f.catena.size(), 4u);
        test::InterazioneScriptata io;
        ASSERT_EQ(VerificaIntegritaTabella(f.dir + "/", "ART.DB", false, io), std::vector<std::string>{});

        const std::set<int> vivi = danno.sopravvissuti(f), senzaMemo = danno.memoPersi(f);
        std::vector<std::string> nomi;
        for (const auto& [nome, _] : famigliaIn(f.dir))
            nomi.push_back(nome);
        danno.fai(f);
        const auto danneggiata = famigliaIn(f.dir);
        const auto rilievi = VerificaIntegritaTabella(f.dir + "/", "ART.DB", false, io);
        std::string tutti;
        for (const auto& r : rilievi)
            tutti += r + "\n";
        EXPECT_NE(tutti.find(danno.rilievo), std::string::npos) << tutti;

        // A backup the user made earlier stays as it is beside the saved family.
        fs::create_directories(c / "salva/dati");
        test::scriviFile(c / "salva/dati/ART.DB", "copia dell'utente");
        const EsitoRiparazione esito = RiparaTabella(f.dir + "/", "ART.db", c.dir() + "salva/", "dati/", io);
        ASSERT_TRUE(esito.riparata) << esito.titolo();
        EXPECT_EQ(esito.recuperati, vivi.size());
        EXPECT_EQ(esito.memoPersi.size(), senzaMemo.size());
        EXPECT_EQ(fs::path(esito.copia).parent_path(), fs::path(c / "salva/dati"));
        EXPECT_EQ(famigliaIn(esito.copia), danneggiata);
        EXPECT_EQ(test::leggiFile(c / "salva/dati/ART.DB"), "copia dell'utente");
        EXPECT_EQ(VerificaIntegritaTabella(f.dir + "/", "ART.DB", false, io), std::vector<std::string>{});
        std::vector<std::string> dopo;
        for (const auto& [nome, _] : famigliaIn(f.dir))
            dopo.push_back(nome);
        EXPECT_EQ(dopo, nomi);

        std::map<int, std::vector<std::string>> attesi;
        for (int k : vivi) {
            attesi[k] = f.originali.at(k);
            if (senzaMemo.count(k))
                attesi[k][4] = "";
        }
        EXPECT_EQ(test::leggiTabella(f.dir), attesi);
        const test::PxlibTable px = test::leggiConPxlib(f.percorso("ART.DB"), "", 1252);
        ASSERT_EQ(px.rows.size(), attesi.size()) << test::ultimoErrorePxlib();
        auto it = attesi.begin();
        for (const auto& riga : px.rows) {
            EXPECT_EQ(std::vector<std::string>(riga.begin(), riga.begin() + 4),
                      std::vector<std::string>(it->second.begin(), it->second.begin() + 4));
            ++it;
        }
    }
}

}  // namespace
}  // namespace korva
