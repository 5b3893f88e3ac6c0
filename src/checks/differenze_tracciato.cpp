#include "checks/differenze_tracciato.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>

namespace korva {

namespace {

bool ugualiSenzaMaiuscole(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::toupper(x) == std::toupper(y);
    });
}

std::string numero(size_t i)
{
    return std::to_string(i + 1);
}

// The dictionary's side and the table's of one item.
std::string coppia(const std::string& dizionario, const std::string& tabella)
{
    return "nel dizionario " + dizionario + ", nella tabella " + tabella;
}

// Fields or columns by position: counts, then each position both sides have, then the extra
// ones. `tipo` gives the type, size and required flag as text; the verdict ends at the first
// difference, the listing goes on.
template <class Campo>
void confrontaCampi(const std::vector<Campo>& tabella, const std::vector<Campo>& dizionario,
                    const std::function<std::string(const Campo&)>& tipo, ConfrontoTracciati& esito)
{
    if (tabella.size() != dizionario.size()) {
        esito.corrisponde = false;
        esito.differenze.push_back("numero dei campi: " + coppia(std::to_string(dizionario.size()),
                                                                  std::to_string(tabella.size())));
    }
    const size_t comuni = std::min(tabella.size(), dizionario.size());
    for (size_t i = 0; i < comuni; ++i) {
        const Campo& t = tabella[i];
        const Campo& d = dizionario[i];
        const std::string tt = tipo(t), td = tipo(d);
        if (t.name != d.name) {
            esito.differenze.push_back("campo " + numero(i) + ": " + coppia(d.name + " " + td, t.name + " " + tt));
            esito.corrisponde = false;
        } else if (tt != td) {
            esito.differenze.push_back("campo " + numero(i) + " " + d.name + ": " + coppia(td, tt));
            esito.corrisponde = false;
        }
    }
    for (size_t i = comuni; i < dizionario.size(); ++i)
        esito.differenze.push_back("campo " + numero(i) + " " + dizionario[i].name + " " + tipo(dizionario[i]) +
                                   ": manca nella tabella");
    for (size_t i = comuni; i < tabella.size(); ++i)
        esito.differenze.push_back("campo " + numero(i) + " " + tabella[i].name + " " + tipo(tabella[i]) +
                                   ": in più nella tabella");
}

std::string tipoParadox(const paradox::FieldDef& c)
{
    std::string t(1, paradox::typeLetter(c.type));
    if (c.size != 0)
        t += std::to_string(c.size);
    return c.required ? t + " obbligatorio" : t;
}

std::string nomeIndice(const std::string& nome)
{
    return nome.empty() ? "indice primario" : "indice " + nome;
}

std::string opzioni(unsigned o)
{
    const std::string s = paradox::describeOptions(o);
    return s.empty() ? "nessuna opzione" : s;
}

std::string tipoArchivio(const ib::FieldDef& c)
{
    std::string t = ib::nomeTipo(c.type);
    switch (c.type) {
    case ib::TipoCampo::Varchar:
    case ib::TipoCampo::Char: t.append("(").append(std::to_string(c.size)).append(")"); break;
    case ib::TipoCampo::Numeric:
    case ib::TipoCampo::Decimal:
        t.append("(").append(std::to_string(c.size)).append(",").append(std::to_string(std::abs(c.scale))).append(")");
        break;
    default:
        if (c.size != 0)
            t.append(" (").append(std::to_string(c.size)).append(")");
        break;
    }
    if (c.required)
        t.append(" NOT NULL");
    return t;
}

std::string opzioniArchivio(const ib::IndexDef& i)
{
    std::string s;
    auto aggiungi = [&](bool si, const char* nome) {
        if (!si)
            return;
        if (!s.empty())
            s.push_back(',');
        s.append(nome);
    };
    aggiungi(i.unique, "univoco");
    aggiungi(i.descending, "discendente");
    aggiungi(i.caseInsensitive, "maiuscole-indifferenti");
    return s.empty() ? "nessuna opzione" : s;
}

// "chiave primaria (A;B)" or "indice NOME (A;B)" with the dictionary's name.
std::string indiceArchivio(const ib::IndexDef& i, const std::string& prefisso)
{
    if (i.primary)
        return "chiave primaria (" + i.fields + ")";
    std::string nome = i.name;
    if (!prefisso.empty() && nome.rfind(prefisso, 0) == 0)
        nome = nome.substr(prefisso.size());
    return "indice " + nome + " (" + i.fields + ")";
}

}  // namespace

ConfrontoTracciati confrontaParadox(const std::vector<paradox::FieldDef>& campiTabella,
                                    const std::vector<paradox::IndexDef>& indiciTabella,
                                    const std::vector<paradox::FieldDef>& campiDizionario,
                                    const std::vector<paradox::IndexDef>& indiciDizionario)
{
    ConfrontoTracciati esito;
    confrontaCampi<paradox::FieldDef>(campiTabella, campiDizionario, tipoParadox, esito);
    if (indiciTabella.size() != indiciDizionario.size()) {
        esito.corrisponde = false;
        esito.differenze.push_back("numero degli indici: " + coppia(std::to_string(indiciDizionario.size()),
                                                                     std::to_string(indiciTabella.size())));
    }
    auto trova = [](const std::vector<paradox::IndexDef>& in, const std::string& nome) {
        return std::find_if(in.begin(), in.end(),
                            [&](const paradox::IndexDef& i) { return ugualiSenzaMaiuscole(i.name, nome); });
    };
    // The dictionary's indexes in its order, so that the lines follow the dictionary.
    for (const paradox::IndexDef& d : indiciDizionario) {
        const auto t = trova(indiciTabella, d.name);
        if (t == indiciTabella.end()) {
            esito.differenze.push_back(nomeIndice(d.name) + ": manca nella tabella");
            esito.corrisponde = false;
            continue;
        }
        const std::string nome = nomeIndice(d.name);
        if (t->name != d.name)
            esito.differenze.push_back(nome + ": nella tabella si chiama " + t->name);
        if (t->fields != d.fields)
            esito.differenze.push_back(nome + ": campi " + coppia(d.fields, t->fields));
        if (t->options != d.options)
            esito.differenze.push_back(nome + ": " + coppia(opzioni(d.options), opzioni(t->options)));
        if (!(*t == d))
            esito.corrisponde = false;
    }
    for (const paradox::IndexDef& t : indiciTabella)
        if (trova(indiciDizionario, t.name) == indiciDizionario.end()) {
            esito.differenze.push_back(nomeIndice(t.name) + " (" + t.fields + "): in più nella tabella");
            esito.corrisponde = false;
        }
    return esito;
}

ConfrontoTracciati confrontaArchivio(const std::vector<ib::FieldDef>& colonneTabella,
                                     const std::vector<ib::IndexDef>& indiciTabella,
                                     const std::vector<ib::FieldDef>& colonneDizionario,
                                     const std::vector<ib::IndexDef>& indiciDizionario,
                                     const std::string& prefisso)
{
    ConfrontoTracciati esito;
    confrontaCampi<ib::FieldDef>(colonneTabella, colonneDizionario, tipoArchivio, esito);
    // Matched by their columns (the names cannot match: the expected ones carry the
    // comparison table's name); the key with the key.
    std::vector<bool> usato(indiciTabella.size(), false);
    for (const ib::IndexDef& d : indiciDizionario) {
        size_t trovato = indiciTabella.size();
        for (size_t i = 0; i < indiciTabella.size() && trovato == indiciTabella.size(); ++i)
            if (!usato[i] && indiciTabella[i].primary == d.primary && indiciTabella[i].fields == d.fields &&
                indiciTabella[i].expression == d.expression)
                trovato = i;
        if (trovato == indiciTabella.size()) {
            esito.differenze.push_back(indiceArchivio(d, prefisso) + ": manca nella tabella");
            continue;
        }
        usato[trovato] = true;
        const std::string od = opzioniArchivio(d), ot = opzioniArchivio(indiciTabella[trovato]);
        if (od != ot)
            esito.differenze.push_back(indiceArchivio(d, prefisso) + ": " + coppia(od, ot));
    }
    for (size_t i = 0; i < indiciTabella.size(); ++i)
        if (!usato[i])
            esito.differenze.push_back(indiceArchivio(indiciTabella[i], {}) + ": in più nella tabella");
    return esito;
}

}  // namespace korva
