#pragma once

// The pages of a report: every text and rule placed in millimetres from the page's top-left
// corner. What the preview, the printer and the PDF draw; laid out once, so all three agree.

#include "report/dati.h"
#include "report/definizione.h"

#include <map>
#include <string>
#include <vector>

namespace korva::report {

struct TestoPosato {
    double x = 0, y = 0, larghezza = 0, altezza = 0;
    double dimensione = 0;  // points
    bool grassetto = false;
    Allineamento allineamento = Allineamento::Sinistra;
    std::string testo;
};

struct LineaPosata {
    double x1 = 0, y = 0, x2 = 0;
};

struct Pagina {
    std::vector<TestoPosato> testi;
    std::vector<LineaPosata> linee;
};

struct Documento {
    double larghezza = 210, altezza = 297;  // millimetres
    std::string carattere;
    std::vector<Pagina> pagine;
};

// Lays out the groups: the page header on every page, the table header and the column
// headings before a group's rows and again at the top of every page they continue on, one
// line a row, the table footer after them, the page footer at the foot of every page.
// `formule` gives the formula values (unquoted), `data` the date of printing. A report
// without groups is one page with its header and footer.
Documento impagina(const DefinizioneReport& def, const std::vector<Gruppo>& gruppi,
                   const std::map<std::string, std::string>& formule, const std::string& data);

// The height of a row of text of this size, millimetres.
double altezzaRiga(double punti);

}  // namespace korva::report
