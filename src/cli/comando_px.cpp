// korva px: inspection tools for Paradox tables (header, fields, indexes, records as CSV),
// used by people and by the tests.

#include "base/errore.h"
#include "base/percorsi.h"
#include "cli/contesto.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

namespace korva::cli {

namespace px = korva::paradox;

namespace {

void punta(px::Table& t, const std::string& percorso)
{
    std::string p = percorsoFs(percorso);
    auto slash = p.rfind('/');
    t.setDatabaseName(slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1));
    t.setTableName(slash == std::string::npos ? p : p.substr(slash + 1));
}

// Shared when possible; a keyed table without its index opens only exclusively.
void apriPerLeggere(px::Table& t)
{
    try {
        t.open();
    } catch (const Error&) {
        t.setExclusive(true);
        try {
            t.open();
        } catch (const Error&) {
            t.setExclusive(false);
            throw;
        }
    }
}

std::string livello(std::uint8_t v)
{
    switch (v) {
    case 3: return "3.0";
    case 4: return "3.5";
    case 5: case 6: case 7: case 8: case 9: return "4";
    case 10: case 11: return "5";
    case 12: return "7";
    default: return "?";
    }
}

std::string csv(const std::string& v)
{
    if (v.find_first_of(",\"\r\n") == std::string::npos)
        return v;
    std::string out = "\"";
    for (char c : v) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// One CSV record (fields may span lines inside quotes); false at the end of the input.
bool leggiRecordCsv(std::istream& in, std::vector<std::string>& campi, int& riga)
{
    campi.clear();
    std::string campo;
    bool virgolette = false, qualcosa = false;
    char c;
    while (in.get(c)) {
        qualcosa = true;
        if (virgolette) {
            if (c == '"') {
                if (in.peek() == '"') {
                    in.get(c);
                    campo += '"';
                } else {
                    virgolette = false;
                }
            } else {
                if (c == '\n')
                    ++riga;
                campo += c;
            }
            continue;
        }
        if (c == '"' && campo.empty()) {
            virgolette = true;
        } else if (c == ',') {
            campi.push_back(campo);
            campo.clear();
        } else if (c == '\n') {
            ++riga;
            if (!campo.empty() && campo.back() == '\r')
                campo.pop_back();
            campi.push_back(campo);
            return true;
        } else {
            campo += c;
        }
    }
    if (!qualcosa)
        return false;
    if (!campo.empty() && campo.back() == '\r')
        campo.pop_back();
    campi.push_back(campo);
    ++riga;
    return true;
}

void info(const std::string& percorso)
{
    px::Table t;
    punta(t, percorso);
    apriPerLeggere(t);
    const px::Header& h = t.file().header();
    std::cout << "Tabella: " << t.displayName() << '\n'
              << "Livello: " << livello(h.version) << " (0x" << std::hex << int(h.version) << std::dec << ")\n"
              << "Blocchi: " << h.blockSize << " byte\n"
              << "Code page: " << t.file().codePage() << '\n'
              << "Ordinamento: " << (h.sortOrderId.empty() ? std::string("-") : h.sortOrderId) << " (0x"
              << std::hex << int(h.sortOrder) << std::dec << ")\n"
              << "Record: " << t.recordCount() << '\n'
              << "Campi:\n";
    for (std::size_t i = 0; i < t.fieldDefs.size(); ++i) {
        const auto& f = t.fieldDefs[i];
        std::cout << "  " << i + 1 << ' ' << f.name << ' ' << px::typeLetter(f.type);
        if (f.size)
            std::cout << f.size;
        if (f.required)
            std::cout << " obbligatorio";
        std::cout << '\n';
    }
    std::cout << "Indici:\n";
    for (const auto& ix : t.indexDefs)
        std::cout << "  " << (ix.name.empty() ? std::string("(primario)") : ix.name) << ' ' << ix.fields
                  << " [" << px::describeOptions(ix.options) << "]\n";
}

void dump(const std::string& percorso, const std::string& indice)
{
    px::Table t;
    punta(t, percorso);
    apriPerLeggere(t);
    if (!indice.empty())
        t.setIndexName(indice);
    std::string riga;
    for (int i = 0; i < t.fieldCount(); ++i)
        riga.append(i ? "," : "").append(csv(t.field(i).name()));
    std::cout << riga << '\n';
    for (t.first(); !t.eof(); t.next()) {
        riga.clear();
        for (int i = 0; i < t.fieldCount(); ++i)
            riga.append(i ? "," : "").append(csv(t.field(i).asString()));
        std::cout << riga << '\n';
    }
}

// NAME:TYPE[SIZE][!], "!" for a required field.
px::FieldDef campoDaTesto(const std::string& intero)
{
    px::FieldDef f;
    std::string testo = intero;
    if (!testo.empty() && testo.back() == '!') {
        f.required = true;
        testo.pop_back();
    }
    auto duepunti = testo.rfind(':');
    if (duepunti == std::string::npos || duepunti == 0 || duepunti + 1 >= testo.size())
        throw Error("Campo non valido: \"" + intero + "\" (atteso NOME:TIPO[DIMENSIONE][!])");
    f.name = testo.substr(0, duepunti);
    auto tipo = px::typeFromLetter(testo[duepunti + 1]);
    if (!tipo)
        throw Error("Tipo di campo sconosciuto in \"" + intero + "\"");
    f.type = *tipo;
    const std::string dim = testo.substr(duepunti + 2);
    if (!dim.empty()) {
        if (dim.find_first_not_of("0123456789") != std::string::npos || dim.size() > 4)
            throw Error("Dimensione non valida in \"" + intero + "\"");
        f.size = std::stoi(dim);
    }
    return f;
}

// NAME=FIELD;FIELD[:ci][:unique][:desc]
px::IndexDef indiceDaTesto(const std::string& testo)
{
    auto uguale = testo.find('=');
    if (uguale == std::string::npos || uguale == 0 || uguale + 1 >= testo.size())
        throw Error("Indice non valido: \"" + testo + "\" (atteso NOME=CAMPO;CAMPO[:ci][:unique][:desc])");
    px::IndexDef ix;
    ix.name = testo.substr(0, uguale);
    std::string resto = testo.substr(uguale + 1);
    for (auto duepunti = resto.rfind(':'); duepunti != std::string::npos; duepunti = resto.rfind(':')) {
        const std::string opzione = resto.substr(duepunti + 1);
        if (opzione == "ci")
            ix.options |= px::IndexOption::CaseInsensitive;
        else if (opzione == "unique")
            ix.options |= px::IndexOption::Unique;
        else if (opzione == "desc")
            ix.options |= px::IndexOption::Descending;
        else
            throw Error("Opzione di indice sconosciuta in \"" + testo + "\": " + opzione);
        resto = resto.substr(0, duepunti);
    }
    ix.fields = resto;
    return ix;
}

void crea(const std::string& percorso, const std::vector<std::string>& campi, int chiave,
          const std::vector<std::string>& indici, const std::string& ordinamento, bool sostituisci)
{
    px::Table t;
    punta(t, percorso);
    t.sortOrder = ordinamento;
    for (const auto& c : campi)
        t.fieldDefs.push_back(campoDaTesto(c));
    if (chiave < 0 || chiave > static_cast<int>(t.fieldDefs.size()))
        throw Error("Numero di campi chiave non valido: " + std::to_string(chiave));
    if (chiave > 0) {
        px::IndexDef ix;
        for (int i = 0; i < chiave; ++i)
            ix.fields += (i ? ";" : "") + t.fieldDefs[static_cast<std::size_t>(i)].name;
        ix.options = px::IndexOption::Primary | px::IndexOption::Unique;
        t.indexDefs.push_back(ix);
    }
    for (const auto& i : indici)
        t.indexDefs.push_back(indiceDaTesto(i));
    if (!sostituisci) {
        t.createNewTable();
        return;
    }
    // A name that differs only in case is another table on this file system: never replaced.
    const auto esistente = t.resolvedPath();
    std::string nome = t.tableName();
    if (nome.find('.') == std::string::npos)
        nome += ".DB";
    if (esistente && esistente->substr(esistente->rfind('/') + 1) != nome)
        throw Error("Impossibile creare la tabella " + percorso + ": esiste la tabella " + *esistente +
                    ", con il nome in altre maiuscole, che non viene sostituita");
    t.createTable();
}

void carica(const std::string& percorso, const std::string& fileCsv)
{
    std::ifstream in(percorsoFs(fileCsv), std::ios::binary);
    if (!in)
        throw Error("Impossibile aprire il file " + fileCsv);
    px::Table t;
    punta(t, percorso);
    t.open();
    std::vector<std::string> intestazione;
    int riga = 0;
    if (!leggiRecordCsv(in, intestazione, riga))
        return;
    std::vector<int> colonne;
    for (const auto& nome : intestazione) {
        auto i = t.fieldIndex(nome);
        if (!i)
            throw Error("La colonna " + nome + " non corrisponde a nessun campo della tabella " +
                        t.displayName());
        colonne.push_back(*i);
    }
    std::vector<std::string> valori;
    t.beginBatch();
    int righe = 0;
    try {
        for (int inizio = riga + 1; leggiRecordCsv(in, valori, riga); inizio = riga + 1) {
            if (valori.size() == 1 && valori[0].empty())
                continue;
            if (valori.size() != colonne.size())
                throw Error("Riga " + std::to_string(inizio) + ": " + std::to_string(valori.size()) +
                            " valori invece di " + std::to_string(colonne.size()));
            try {
                t.append();
                for (std::size_t c = 0; c < colonne.size(); ++c)
                    t.field(colonne[c]).setString(valori[c]);
                t.post();
                ++righe;
            } catch (const Error& e) {
                t.cancel();
                throw Error("Riga " + std::to_string(inizio) + ": " + e.what());
            }
        }
    } catch (...) {
        t.endBatch();  // what was loaded before stays
        throw;
    }
    t.endBatch();
    std::cout << "Record caricati: " << righe << '\n';
}

}  // namespace

void registraPx(CLI::App& app, Contesto&)
{
    auto* px = app.add_subcommand("px", "Strumenti per le tabelle Paradox");
    px->require_subcommand(1);

    auto* cInfo = px->add_subcommand("info", "Intestazione, campi e indici di una tabella");
    static std::string tabella, indice, fileCsv, ordinamento;
    static std::vector<std::string> campi, indici;
    static int chiave = 0;
    cInfo->add_option("tabella", tabella, "File .DB")->required();
    cInfo->callback([] { info(tabella); });

    auto* cDump = px->add_subcommand("dump", "Record in formato CSV (UTF-8)");
    cDump->add_option("tabella", tabella, "File .DB")->required();
    cDump->add_option("--indice", indice, "Indice secondario che dà l'ordine");
    cDump->callback([] { dump(tabella, indice); });

    auto* cCrea = px->add_subcommand("crea", "Crea una tabella vuota");
    cCrea->add_option("tabella", tabella, "File .DB")->required();
    cCrea->add_option("--campo", campi, "NOME:TIPO[DIMENSIONE][!], nell'ordine; ! per un campo obbligatorio")->required();
    cCrea->add_option("--chiave", chiave, "Numero dei primi campi che formano la chiave primaria");
    cCrea->add_option("--indice", indici, "Indice secondario NOME=CAMPO;CAMPO[:ci][:unique][:desc]");
    std::string nomi;
    for (const std::string& n : px::tableSortOrderNames())
        nomi += (nomi.empty() ? "" : ", ") + n;
    cCrea->add_option("--ordinamento", ordinamento,
                      "Ordinamento (driver di lingua) della tabella: " + nomi + "; DBWINUS0 se non indicato");
    static bool sostituisci = false;
    cCrea->add_flag("--sostituisci", sostituisci, "Sostituisce la tabella che esiste già con quel nome, record compresi");
    cCrea->callback([] { crea(tabella, campi, chiave, indici, ordinamento, sostituisci); });

    auto* cCarica = px->add_subcommand("carica", "Aggiunge i record di un file CSV");
    cCarica->add_option("tabella", tabella, "File .DB")->required();
    cCarica->add_option("csv", fileCsv, "File CSV con la riga dei nomi dei campi")->required();
    cCarica->callback([] { carica(tabella, fileCsv); });
}

}  // namespace korva::cli
