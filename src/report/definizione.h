#pragma once

// A layout report as its file describes it: page and font, the two tables and how they join,
// the selection and the formulas, and the bands printed around the rows. The file format is
// described in report/README.md.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::report {

enum class Allineamento { Sinistra, Centro, Destra };

// A piece of a text template: literal text or a value put in when the page is laid out.
struct Parte {
    enum class Tipo { Testo, Campo, Formula, Pagina, Pagine, Data };
    Tipo tipo = Tipo::Testo;
    std::string testo;   // Testo: the text; Campo: the alias; Formula: the name
    std::string campo;   // Campo: the field
    // Campo: when set, the field shows this text if its value is neither blank nor 0, and
    // nothing otherwise (flags such as the key field).
    std::optional<std::string> seVero;
};
using Modello = std::vector<Parte>;

// A text placed on a band row: from `x` for `larghezza` millimetres of the printable width.
struct Testo {
    double x = 0;
    double larghezza = 0;
    Allineamento allineamento = Allineamento::Sinistra;
    Modello contenuto;
};

// One element of a band: a row of texts, a horizontal rule, or a blank space.
struct Elemento {
    enum class Tipo { Riga, Linea, Spazio };
    Tipo tipo = Tipo::Riga;
    double dimensione = 0;  // Riga: font size in points (0: the report's)
    bool grassetto = false;
    double spazio = 0;      // Spazio: millimetres
    std::vector<Testo> testi;
};
using Banda = std::vector<Elemento>;

// A column of the field rows: its heading and what each row shows in it.
struct Colonna {
    double larghezza = 0;
    Allineamento allineamento = Allineamento::Sinistra;
    std::string intestazione;
    Modello contenuto;
};

struct TabellaReport {
    std::string alias;  // how templates and formulas name it ("Korva")
    std::string file;   // where it lies unless the job is told otherwise
};

struct DefinizioneReport {
    // Page size and margins (left, top, right, bottom), millimetres.
    double larghezzaPagina = 210;
    double altezzaPagina = 297;
    double margini[4] = {15, 12, 15, 12};
    std::string carattere = "DejaVu Sans";
    double dimensione = 9;

    // Table 0 gives one group a row; table 1, when present, the rows of each group: those
    // whose `campoCollegato` equals the group row's `campoPrincipale`, in `ordina` order.
    std::vector<TabellaReport> tabelle;
    std::string campoCollegato;
    std::string campoPrincipale;
    std::string ordina;
    std::string selezione;
    // Formula names and their values as the file gives them (quoted).
    std::map<std::string, std::string> formule;

    Banda intestazionePagina;
    Banda intestazioneTabella;  // repeated at the top of each page its rows continue on
    std::vector<Colonna> colonne;
    Banda piedeTabella;
    Banda piedePagina;

    double larghezzaUtile() const { return larghezzaPagina - margini[0] - margini[2]; }
};

// Reads the text of a report file: UTF-8, with or without the leading byte-order mark, or
// else the Windows code page 1252; lines ending in LF or CR LF. A fault is an Error naming
// the line and what is wrong.
DefinizioneReport leggiDefinizione(std::string_view testo);

// The text of a quoted formula ('...' or "..."): what lies between the first and the last
// quote, taken as it is. Nothing when the text is not quoted.
std::optional<std::string> valoreFormula(std::string_view formula);

}  // namespace korva::report
