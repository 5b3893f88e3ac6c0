#include "supporto_report.h"

#include "dictionary/report_predefinito.h"

#include <cstdio>

namespace korva::test {

void scriviReport(const DittaProva& d, std::string_view testo)
{
    scriviFile(d.tabForm->PercorsoReport, testo.empty() ? reportPredefinito() : testo);
}

std::vector<std::string> testi(const report::Pagina& pagina)
{
    std::vector<std::string> t;
    for (const report::TestoPosato& p : pagina.testi)
        if (!p.testo.empty())
            t.push_back(p.testo);
    return t;
}

int quante(const report::Documento& d, const std::string& testo)
{
    int n = 0;
    for (const report::Pagina& p : d.pagine)
        for (const report::TestoPosato& t : p.testi)
            n += t.testo == testo;
    return n;
}

RigheTabella tabellaLunga(const std::string& nome, const std::string& prefisso, int n)
{
    std::vector<std::string> campi;
    for (int i = 1; i <= n; ++i) {
        char numero[16];
        std::snprintf(numero, sizeof numero, "%03d", i);
        campi.push_back(prefisso + numero + ":A10" + (i == 1 ? "*" : ""));
    }
    return righe(nome, "", campi);
}

}  // namespace korva::test
