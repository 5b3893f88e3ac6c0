// The import between Paradox and the archive against the plain way of writing the same
// records, in the same run:
//   Paradox -> archive: a prepared INSERT of every record, parameters set in their types, one
//   transaction, into a table of the same layout in the same archive;
//   archive -> Paradox: the engine's bulk append (batchAppend) of the same records from the
//   Paradox table into an empty table of the same layout.
// Ratio = reference time / import time (1 = as fast, 0.5 = twice as slow).
//   build/bench/bench_importazione [records]   (default 200,000)

#include "base/interazione.h"
#include "base/profilo.h"
#include "dictionary/generatore.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"
#include "maintenance/importazione.h"
#include "shell/tabform.h"

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

class Muta : public Interazione {
public:
    void messaggio(const std::string& testo) override
    {
        if (testo != kImportazioneTerminata)
            std::fprintf(stderr, "%s\n", testo.c_str());
    }
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>&) override { messaggio(testo); }
    Risposta domanda(const std::string&) override { return Risposta::Si; }
    Risposta conferma(const std::string&) override { return Risposta::Ok; }
    void errore(const std::string& testo) override { messaggio(testo); }
    void inizioElaborazione() override {}
    void fineElaborazione() override {}
    void progresso(const std::string&, std::int64_t, std::int64_t) override {}
    void elaboraEventi() override {}
};

class VistaMuta : public VistaImportazione {
    void etichettaTabella(const std::string&) override {}
    void etichettaRecord(const std::string&) override {}
    void barraTabella(int) override {}
    void barraTabelle(int) override {}
};

// A business table: key, two texts, an amount, a date, a small and a long integer, a code.
RigheTabella descrizione(const std::string& nome)
{
    RigheTabella r;
    r.tabella.NomeTabella = nome;
    const std::pair<const char*, const char*> campi[] = {{"codice", "I"}, {"nome", "A40"}, {"citta", "A30"},
                                                         {"importo", "N"}, {"quando", "D"}, {"livello", "S"},
                                                         {"quanti", "I"}, {"sigla", "A10"}};
    for (int i = 0; i < 8; ++i) {
        DefCampo c;
        c.NomeTabella = nome;
        c.NumeroCampo = i + 1;
        c.NomeCampo = campi[i].first;
        c.TipoELunghezza = campi[i].second;
        c.Chiave = i == 0;
        r.campi.push_back(c);
    }
    r.tabella.NumeroCampi = 8;
    r.tabella.CampiChiavePrimaria = 1;
    return r;
}

std::string nome(long i)
{
    return std::string("cliente ").append(std::to_string(i * 7919 % 1000003)).append(" però");
}

void riempi(paradox::Table& t, long n)
{
    t.beginBatch();
    for (long i = 0; i < n; ++i) {
        t.append();
        t.field(0).setInteger(i);
        t.field(1).setString(nome(i));
        t.field(2).setString(std::string("Città ").append(std::to_string(i % 100)));
        t.field(3).setFloat(static_cast<double>(i) * 0.25);
        t.field(4).setDate(paradox::daysToDate(730000 + i % 3000));
        t.field(5).setInteger(i % 300);
        t.field(6).setInteger(i * 3);
        t.field(7).setString(std::string("S").append(std::to_string(i % 17)));
        t.post();
    }
    t.endBatch();
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 200000;
    const fs::path base = fs::temp_directory_path() / std::string("korva-bench-importazione-").append(std::to_string(getpid()));
    for (const char* sotto : {"dati", "ritorno", "copia", "tr1"})
        fs::create_directories(base / sotto);
    const std::string dir = base.string() + "/";
    std::ofstream(dir + "ditta.cfg") << "Bench\r\n";
    {
        ProfiloPrivato p(dir + "varnelo.ini");
        p.scrivi("DITTA", "Directory ditta", dir);
        p.scrivi("Bench", "Directory di lavoro", dir + "dati/");
        p.scrivi("Bench", "Directory tracciati record", dir + "tr1/");
        p.scrivi("Bench", "Archivio", dir + "archivio.gdb");
    }
    CreaDizionario(paradox::Session::standard(), dir + "tr1/", {descrizione("clienti"), descrizione("diretta")});
    Muta io;
    VistaMuta vista;
    {
        TTabForm t(io, dir, dir + "varnelo.ini");
        GestioneTabelle g(io, t, t.TracciatiDir1);
        g.vaiA("clienti");
        g.CreaTabCorrente();
        g.vaiA("diretta");
        g.CreaTabIBCorrente();
        t.IBDatabase1.disconnect();
    }
    paradox::Table sorgente;
    sorgente.setDatabaseName(dir + "dati/");
    sorgente.setTableName("clienti.DB");
    sorgente.open();
    riempi(sorgente, n);

    // Paradox -> archive.
    double riferimento = 0, importazione = 0;
    {
        TTabForm t(io, dir, dir + "varnelo.ini");
        t.ConnettiDatabaseIB();
        const double t0 = ora();
        ib::Query q(t.IBDatabase1, &t.IBTransaction1);
        q.sql = {"INSERT INTO DIRETTA VALUES (?, ?, ?, ?, ?, ?, ?, ?)"};
        q.prepare();
        for (long i = 0; i < n; ++i) {
            q.param(0).setInt64(i);
            q.param(1).setString(nome(i));
            q.param(2).setString(std::string("Città ").append(std::to_string(i % 100)));
            q.param(3).setDouble(static_cast<double>(i) * 0.25);
            const paradox::Date d = paradox::daysToDate(730000 + i % 3000);
            q.param(4).setDataOra({d.year, d.month, d.day, 0, 0, 0, 0});
            q.param(5).setInt64(i % 300);
            q.param(6).setInt64(i * 3);
            q.param(7).setString(std::string("S").append(std::to_string(i % 17)));
            q.execSql();
        }
        q.close();
        t.IBTransaction1.commit();
        riferimento = ora() - t0;
        t.IBDatabase1.disconnect();

        const double t1 = ora();
        Importazione imp(io, t, t.TracciatiDir1, DirezioneImportazione::DaParadox, vista);
        imp.importa({"clienti"}, [](std::size_t) { return true; });
        importazione = ora() - t1;
    }
    std::printf("%ld record, da Paradox all'archivio: INSERT preparato %.2f s, importazione %.2f s, rapporto %.2f\n",
                n, riferimento, importazione, riferimento / importazione);

    // Archive -> Paradox.
    {
        paradox::Table copia;
        copia.setDatabaseName(dir + "copia/");
        copia.setTableName("clienti.DB");
        copia.fieldDefs = sorgente.fieldDefs;
        copia.indexDefs = sorgente.indexDefs;
        copia.createTable();
        copia.open();
        const double t0 = ora();
        copia.batchAppend(sorgente);
        riferimento = ora() - t0;
    }
    {
        ProfiloPrivato(dir + "varnelo.ini").scrivi("Bench", "Directory di lavoro", dir + "ritorno/");
        TTabForm t(io, dir, dir + "varnelo.ini");
        const double t1 = ora();
        Importazione imp(io, t, t.TracciatiDir1, DirezioneImportazione::DaInterbase, vista);
        imp.importa({"clienti"}, [](std::size_t) { return true; });
        importazione = ora() - t1;
    }
    std::printf("%ld record, dall'archivio a Paradox: batchAppend %.2f s, importazione %.2f s, rapporto %.2f\n", n,
                riferimento, importazione, riferimento / importazione);
    sorgente.close();
    fs::remove_all(base);
    return 0;
}
