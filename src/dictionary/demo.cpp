#include "dictionary/demo.h"

#include "base/env.h"
#include "base/percorsi.h"
#include "base/profilo.h"
#include "dictionary/demo_dati.h"
#include "dictionary/generatore.h"
#include "dictionary/report_predefinito.h"
#include "engines/paradox/table.h"
#include "shell/ditta_demo.h"

namespace korva {
namespace {

// A field: name, type code, key, single-field index.
struct Campo {
    const char* nome;
    const char* tipo;
    bool chiave = false;
    bool singolo = false;
};

// A composite index: name, field numbers in index order, case-sensitive.
struct Composto {
    const char* nome;
    std::vector<int> campi;
    bool maiuscoleDistinte = false;
};

RigheTabella tabella(const std::string& nome, const std::string& cartella,
                     const std::vector<Campo>& campi, const std::vector<Composto>& composti = {})
{
    RigheTabella r;
    r.tabella.NomeTabella = nome;
    r.tabella.PathParziale = cartella.empty() ? cartella : cartella + kSep;
    r.tabella.NumeroCampi = static_cast<int>(campi.size());
    r.tabella.IndiciSecComposti = static_cast<int>(composti.size());
    for (size_t i = 0; i < campi.size(); ++i) {
        DefCampo c;
        c.NomeTabella = nome;
        c.NumeroCampo = static_cast<int>(i) + 1;
        c.NomeCampo = campi[i].nome;
        c.TipoELunghezza = campi[i].tipo;
        c.Chiave = campi[i].chiave ? 1 : 0;
        c.IndiceSecSingolo = campi[i].singolo ? 1 : 0;
        c.TipoIndiceSecSingolo = c.IndiceSecSingolo;
        r.tabella.CampiChiavePrimaria += c.Chiave;
        r.tabella.IndiciSecSingoli += c.IndiceSecSingolo;
        r.campi.push_back(c);
    }
    for (const Composto& composto : composti) {
        // The dictionary keeps the rows of an index in NumeroCampo order; the position says
        // where each field stands in the index.
        for (size_t posizione = 0; posizione < composto.campi.size(); ++posizione) {
            DefIndiceComposto riga;
            riga.NomeTabella = nome;
            riga.NomeIndiceSecComp = composto.nome;
            riga.NumeroCampo = composto.campi[posizione];
            riga.EstensioneIndiceSecComp = std::to_string(posizione);
            riga.TipoIndiceSecComp = composto.maiuscoleDistinte ? 1 : 0;
            r.indici.push_back(riga);
        }
    }
    return r;
}

}  // namespace

std::vector<RigheTabella> tabelleDemo()
{
    return {
        tabella("agenti", "",
                {{"codice", "S", true}, {"nome", "A30", false, true}, {"provv", "N"}}),
        tabella("articoli", "magazzino",
                {{"codart", "A15", true},
                 {"descriz", "A50", false, true},
                 {"prezzo", "N"},
                 {"giacenza", "I"},
                 {"um", "A3"},
                 {"foto", "G10"}}),
        tabella("clienti", "archivi",
                {{"codice", "A6", true}, {"ragsoc", "A40", false, true}, {"scadenza", "D"}},
                {{"perscad", {3, 1}}}),
        tabella("fornitor", "archivi",
                {{"codice", "A6", true},
                 {"ragsoc", "A40"},
                 {"piva", "A11", false, true},
                 {"citta", "A30"},
                 {"note", "M30"}}),
        tabella("movimag", "magazzino",
                {{"codart", "A15", true},
                 {"datamov", "D", true},
                 {"riga", "S", true},
                 {"quantita", "N"},
                 {"causale", "A3"}},
                {{"percaus", {5, 2}}}),
        tabella("ordini", "archivi",
                {{"numero", "I", true},
                 {"codcli", "A6", false, true},
                 {"dataord", "D"},
                 {"totale", "N"},
                 {"consegna", "T"}},
                {{"clidata", {2, 3}, true}}),
    };
}

std::string CreaDemo(const std::string& cartella)
{
    const std::string ini = CreaDittaDemo(cartella);
    paradox::Session& sessione = paradox::Session::standard();
    ProfiloPrivato profilo(ini);
    for (const char* ditta : {DittaDemo::kPrima, DittaDemo::kSeconda}) {
        // The layout report that "Stampa tabella" reads (PercorsoReport).
        const std::string bin = profilo.leggi(ditta, "Directory bin", "");
        writeFileAtomic(Env::standard(), bin + "report" + kSep + "struttur.rpt", reportPredefinito());
        CreaDizionario(sessione, profilo.leggi(ditta, "Directory tracciati record", ""),
                       tabelleDemo());
        CreaDizionario(sessione, profilo.leggi(ditta, "Directory tracciati record 2", ""), {});
        CreaTabelleDemo(profilo.leggi(ditta, "Directory di lavoro", ""), profilo.leggi(ditta, "Archivio", ""));
    }
    sessione.dropIdleConnections();
    return ini;
}

}  // namespace korva
