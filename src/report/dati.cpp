#include "report/dati.h"

#include "base/errore.h"
#include "engines/paradox/table.h"

#include <algorithm>
#include <charconv>

namespace korva::report {
namespace {

std::string_view pulisci(std::string_view s)
{
    const auto inizio = s.find_first_not_of(" \t");
    if (inizio == std::string_view::npos)
        return {};
    return s.substr(inizio, s.find_last_not_of(" \t") - inizio + 1);
}

// Every record of the table at `posizione`, every field as text.
std::vector<Record> leggiTabella(paradox::Session& sessione, const TabellaReport& tabella,
                                 const std::string& posizione)
{
    const auto sep = posizione.find_last_of("/\\");
    paradox::Table t(sessione);
    t.setDatabaseName(sep == std::string::npos ? std::string(".") : posizione.substr(0, sep));
    t.setTableName(sep == std::string::npos ? posizione : posizione.substr(sep + 1));
    std::vector<Record> righe;
    try {
        t.open();
        for (t.first(); !t.eof(); t.next()) {
            Record r;
            for (int i = 0; i < t.fieldCount(); ++i)
                r[t.field(i).name()] = t.field(i).asString();
            righe.push_back(std::move(r));
        }
        t.close();
    } catch (const Error& e) {
        throw Error("Impossibile leggere la tabella " + tabella.alias + " del report (" + posizione +
                    "): " + e.what());
    }
    return righe;
}

// The fields of `alias` that the report shows, links or sorts on.
std::vector<std::string> campiUsati(const DefinizioneReport& def, const std::string& alias)
{
    std::vector<std::string> campi;
    auto modello = [&](const Modello& m) {
        for (const Parte& p : m)
            if (p.tipo == Parte::Tipo::Campo && p.testo == alias)
                campi.push_back(p.campo);
    };
    for (const Banda* b : {&def.intestazionePagina, &def.intestazioneTabella, &def.piedeTabella, &def.piedePagina})
        for (const Elemento& e : *b)
            for (const Testo& t : e.testi)
                modello(t.contenuto);
    for (const Colonna& c : def.colonne)
        modello(c.contenuto);
    if (def.tabelle.size() == 2) {
        if (alias == def.tabelle[0].alias)
            campi.push_back(def.campoPrincipale);
        if (alias == def.tabelle[1].alias) {
            campi.push_back(def.campoCollegato);
            if (!def.ordina.empty())
                campi.push_back(def.ordina);
        }
    }
    return campi;
}

void controllaCampi(const DefinizioneReport& def, const TabellaReport& tabella, const std::vector<Record>& righe,
                    const std::string& posizione, const std::vector<std::string>& altri)
{
    if (righe.empty())
        return;
    auto campi = campiUsati(def, tabella.alias);
    campi.insert(campi.end(), altri.begin(), altri.end());
    for (const std::string& c : campi)
        if (!righe.front().count(c))
            throw Error("Il report nomina il campo " + tabella.alias + "." + c + ", che la tabella " + posizione +
                        " non ha");
}

bool minore(const std::string& a, const std::string& b)
{
    double x = 0, y = 0;
    auto [pa, ea] = std::from_chars(a.data(), a.data() + a.size(), x);
    auto [pb, eb] = std::from_chars(b.data(), b.data() + b.size(), y);
    if (ea == std::errc() && eb == std::errc() && pa == a.data() + a.size() && pb == b.data() + b.size())
        return x < y;
    return a < b;
}

}  // namespace

std::optional<Selezione> leggiSelezione(std::string_view formula)
{
    formula = pulisci(formula);
    if (formula.empty())
        return Selezione{};
    const auto chiude = formula.find('}');
    const auto punto = formula.find('.');
    if (formula[0] != '{' || chiude == std::string_view::npos || punto > chiude || punto < 2 || punto + 1 == chiude)
        return std::nullopt;
    Selezione s;
    s.alias = std::string(formula.substr(1, punto - 1));
    s.campo = std::string(formula.substr(punto + 1, chiude - punto - 1));
    std::string_view resto = pulisci(formula.substr(chiude + 1));
    if (resto.empty() || resto[0] != '=')
        return std::nullopt;
    resto = pulisci(resto.substr(1));
    if (resto.size() < 2 || resto.front() != '\'' || resto.back() != '\'')
        return std::nullopt;
    resto = resto.substr(1, resto.size() - 2);
    for (size_t i = 0; i < resto.size(); ++i) {
        if (resto[i] == '\'') {
            // Inside the text a quote comes doubled; a lone one ends it early.
            if (i + 1 >= resto.size() || resto[i + 1] != '\'')
                return std::nullopt;
            ++i;
        }
        s.valore += resto[i];
    }
    return s;
}

std::vector<Gruppo> leggiGruppi(paradox::Session& sessione, const DefinizioneReport& def,
                                const std::vector<std::string>& posizioni, const Selezione& selezione)
{
    std::vector<std::vector<Record>> tabelle;
    for (size_t i = 0; i < def.tabelle.size(); ++i) {
        std::vector<std::string> altri;
        if (def.tabelle[i].alias == selezione.alias)
            altri.push_back(selezione.campo);
        tabelle.push_back(leggiTabella(sessione, def.tabelle[i], posizioni.at(i)));
        controllaCampi(def, def.tabelle[i], tabelle.back(), posizioni.at(i), altri);
    }
    if (!selezione.alias.empty() &&
        std::none_of(def.tabelle.begin(), def.tabelle.end(),
                     [&](const TabellaReport& t) { return t.alias == selezione.alias; }))
        throw Error("La selezione nomina la tabella " + selezione.alias + ", che il report non ha");
    auto scelto = [&](size_t tabella, const Record& r) {
        return selezione.alias != def.tabelle[tabella].alias || r.at(selezione.campo) == selezione.valore;
    };

    std::vector<Gruppo> gruppi;
    for (const Record& r : tabelle[0]) {
        if (!scelto(0, r))
            continue;
        Gruppo g;
        g.principale = r;
        if (tabelle.size() == 2) {
            const std::string& chiave = r.at(def.campoPrincipale);
            for (const Record& d : tabelle[1])
                if (d.at(def.campoCollegato) == chiave && scelto(1, d))
                    g.dettagli.push_back(d);
            if (!def.ordina.empty())
                std::stable_sort(g.dettagli.begin(), g.dettagli.end(), [&](const Record& a, const Record& b) {
                    return minore(a.at(def.ordina), b.at(def.ordina));
                });
        }
        gruppi.push_back(std::move(g));
    }
    return gruppi;
}

}  // namespace korva::report
