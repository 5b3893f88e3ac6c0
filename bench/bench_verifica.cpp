// The layout verification of a large table against that of an empty table of the same layout:
// no record is read, so the two should take about as long (the comparison table's creation,
// two descriptions, its deletion). Each side is timed several times, taking turns, and its
// best time kept.
//   build/bench/bench_verifica [records] [runs]   (default 1,000,000 and 5)

#include "base/interazione.h"
#include "base/profilo.h"
#include "checks/verifica_tracciato.h"
#include "dictionary/generatore.h"
#include "engines/paradox/table.h"
#include "shell/tabform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace korva;
namespace fs = std::filesystem;

namespace {

double ora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Nobody to talk to: a message would mean the verification did not run.
class Muta : public Interazione {
public:
    void messaggio(const std::string& testo) override { std::fprintf(stderr, "%s\n", testo.c_str()); }
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>&) override { messaggio(testo); }
    Risposta domanda(const std::string&) override { return Risposta::No; }
    Risposta conferma(const std::string&) override { return Risposta::Annulla; }
    void errore(const std::string& testo) override { messaggio(testo); }
    void inizioElaborazione() override {}
    void fineElaborazione() override {}
    void progresso(const std::string&, std::int64_t, std::int64_t) override {}
    void elaboraEventi() override {}
};

// One dictionary row: a key, a name with its own index, an amount, a date, a memo, and a
// case-insensitive composite index over the date and the name.
RigheTabella descrizione(const std::string& nome, const std::string& cartella)
{
    RigheTabella r;
    r.tabella.NomeTabella = nome;
    r.tabella.PathParziale = cartella;
    r.tabella.NumeroCampi = 5;
    r.tabella.CampiChiavePrimaria = 1;
    r.tabella.IndiciSecSingoli = 1;
    r.tabella.IndiciSecComposti = 1;
    const std::pair<const char*, const char*> campi[] = {
        {"codice", "I"}, {"nome", "A30"}, {"importo", "N"}, {"data", "D"}, {"note", "M10"}};
    for (int i = 0; i < 5; ++i) {
        DefCampo c;
        c.NomeTabella = nome;
        c.NumeroCampo = i + 1;
        c.NomeCampo = campi[i].first;
        c.TipoELunghezza = campi[i].second;
        c.Chiave = i == 0;
        c.IndiceSecSingolo = c.TipoIndiceSecSingolo = i == 1;
        r.campi.push_back(c);
    }
    for (const auto& [numero, posizione] : {std::pair{4, "0"}, std::pair{2, "1"}}) {
        DefIndiceComposto i;
        i.NomeTabella = nome;
        i.NomeIndiceSecComp = "datanome";
        i.NumeroCampo = numero;
        i.EstensioneIndiceSecComp = posizione;
        r.indici.push_back(i);
    }
    return r;
}

void riempi(const std::string& dir, long n)
{
    paradox::Table t;
    t.setDatabaseName(dir);
    t.setTableName("grande.DB");
    t.setExclusive(true);
    t.open();
    t.beginBatch();
    for (long i = 0; i < n; ++i) {
        t.append();
        t.field(0).setInteger(i);
        t.field(1).setString("cliente " + std::to_string(i * 7919 % 1000003));
        t.field(2).setFloat(static_cast<double>(i) * 0.25);
        t.field(3).setDate(paradox::daysToDate(730000 + static_cast<int>(i % 3000)));
        t.post();
    }
    t.endBatch();
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const fs::path base = fs::temp_directory_path() / ("korva-bench-verifica-" + std::to_string(getpid()));
    for (const char* sotto : {"dati/grande", "dati/vuota", "tr1"})
        fs::create_directories(base / sotto);
    const std::string dir = base.string() + "/";
    std::ofstream(dir + "ditta.cfg") << "Bench\r\n";
    {
        ProfiloPrivato p(dir + "varnelo.ini");
        p.scrivi("DITTA", "Directory ditta", dir);
        p.scrivi("Bench", "Directory di lavoro", dir + "dati/");
        p.scrivi("Bench", "Directory tracciati record", dir + "tr1/");
        p.scrivi("Bench", "TipoDataBase", "PARADOX");
    }
    CreaDizionario(paradox::Session::standard(), dir + "tr1/",
                   {descrizione("grande", "grande/"), descrizione("vuota", "vuota/")});
    Muta io;
    TTabForm tabForm(io, dir, dir + "varnelo.ini");
    GestioneTabelle g(io, tabForm, tabForm.TracciatiDir1);
    g.perOgniTabella([&] { g.CreaTabCorrente(); });
    riempi(dir + "dati/grande/", n);

    double grande = 1e30, vuota = 1e30;
    for (int r = 0; r < runs; ++r)
        for (const char* nome : {"grande", "vuota"}) {
            g.vaiA(nome);
            const double t0 = ora();
            const Confronto esito = ConfrontaTabCorrente(g);
            const double t = ora() - t0;
            if (!esito.corrisponde) {
                std::fprintf(stderr, "la tabella %s non corrisponde\n", nome);
                return 1;
            }
            double& migliore = std::string(nome) == "grande" ? grande : vuota;
            migliore = std::min(migliore, t);
        }
    std::printf("record: %ld, migliore di %d prove\n", n, runs);
    std::printf("verifica del tracciato: tabella di %ld record %.4f s, tabella vuota %.4f s, rapporto grande/vuota = %.2f\n",
                n, grande, vuota, grande / vuota);
    fs::remove_all(base);
    return 0;
}
