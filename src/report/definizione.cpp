#include "report/definizione.h"

#include "base/codepage.h"
#include "base/errore.h"

#include <charconv>
#include <set>
#include <sstream>

namespace korva::report {
namespace {

std::string_view pulisci(std::string_view s)
{
    const auto inizio = s.find_first_not_of(" \t\r");
    if (inizio == std::string_view::npos)
        return {};
    const auto fine = s.find_last_not_of(" \t\r");
    return s.substr(inizio, fine - inizio + 1);
}

std::vector<std::string> parole(std::string_view s)
{
    std::vector<std::string> p;
    std::istringstream in{std::string(s)};
    for (std::string w; in >> w;)
        p.push_back(w);
    return p;
}

// Whether the bytes read as UTF-8: lead bytes followed by as many continuation bytes as they
// announce.
bool utf8Valido(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// Reads the file line by line; every fault names its line.
class Lettore {
public:
    explicit Lettore(std::string_view testo) : testo_(testo) {}
    DefinizioneReport leggi();

private:
    [[noreturn]] void errore(const std::string& cosa) const
    {
        throw Error("Report errato alla riga " + std::to_string(riga_) + ": " + cosa);
    }
    double numero(std::string_view s, const char* cosa) const
    {
        double v = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec != std::errc() || p != s.data() + s.size() || v < 0)
            errore(std::string(cosa) + " non valido: \"" + std::string(s) + "\"");
        return v;
    }
    Allineamento allineamento(std::string_view s) const
    {
        if (s == "sinistra")
            return Allineamento::Sinistra;
        if (s == "centro")
            return Allineamento::Centro;
        if (s == "destra")
            return Allineamento::Destra;
        errore("allineamento sconosciuto \"" + std::string(s) + "\" (sinistra, centro o destra)");
    }
    // "Alias.Campo" with a declared alias.
    std::pair<std::string, std::string> campo(std::string_view s) const;
    Modello modello(std::string_view s) const;

    void voceReport(std::string_view chiave, std::string_view valore);
    void voceTabelle(std::string_view chiave, std::string_view valore);
    void elementoBanda(Banda& banda, std::string_view linea, bool diPagina);
    void colonna(std::string_view linea);
    void controllaMisura(double x, double larghezza) const;

    std::string_view testo_;
    int riga_ = 0;
    DefinizioneReport d_;
    std::string sezione_;
};

std::pair<std::string, std::string> Lettore::campo(std::string_view s) const
{
    const auto punto = s.find('.');
    if (punto == std::string_view::npos || punto == 0 || punto + 1 == s.size())
        errore("campo \"" + std::string(s) + "\" da scrivere come Tabella.Campo");
    const std::string alias(s.substr(0, punto));
    for (const TabellaReport& t : d_.tabelle)
        if (t.alias == alias)
            return {alias, std::string(s.substr(punto + 1))};
    errore("tabella \"" + alias + "\" non dichiarata in [tabelle]");
}

Modello Lettore::modello(std::string_view s) const
{
    Modello m;
    auto testo = [&](std::string_view t) {
        if (t.empty())
            return;
        if (!m.empty() && m.back().tipo == Parte::Tipo::Testo)
            m.back().testo += t;
        else
            m.push_back({Parte::Tipo::Testo, std::string(t), {}, {}});
    };
    for (size_t i = 0; i < s.size();) {
        const auto apre = s.find('{', i);
        testo(s.substr(i, apre == std::string_view::npos ? std::string_view::npos : apre - i));
        if (apre == std::string_view::npos)
            break;
        const auto chiude = s.find('}', apre);
        if (chiude == std::string_view::npos)
            errore("\"{\" senza \"}\"");
        const std::string_view dentro = s.substr(apre + 1, chiude - apre - 1);
        Parte p;
        if (dentro == "pagina") {
            p.tipo = Parte::Tipo::Pagina;
        } else if (dentro == "pagine") {
            p.tipo = Parte::Tipo::Pagine;
        } else if (dentro == "data") {
            p.tipo = Parte::Tipo::Data;
        } else if (!dentro.empty() && dentro[0] == '@') {
            p.tipo = Parte::Tipo::Formula;
            p.testo = dentro.substr(1);
            if (!d_.formule.count(p.testo))
                errore("formula \"" + p.testo + "\" non dichiarata in [formule]");
        } else {
            p.tipo = Parte::Tipo::Campo;
            const auto se = dentro.find('?');
            std::tie(p.testo, p.campo) = campo(dentro.substr(0, se));
            if (se != std::string_view::npos)
                p.seVero = std::string(dentro.substr(se + 1));
        }
        m.push_back(std::move(p));
        i = chiude + 1;
    }
    return m;
}

void Lettore::voceReport(std::string_view chiave, std::string_view valore)
{
    const auto v = parole(valore);
    if (chiave == "carta") {
        static const std::map<std::string, std::pair<double, double>> formati = {
            {"A3", {297, 420}}, {"A4", {210, 297}}, {"A5", {148, 210}}, {"Letter", {215.9, 279.4}}};
        if (v.empty() || v.size() > 2 || !formati.count(v[0]) ||
            (v.size() == 2 && v[1] != "verticale" && v[1] != "orizzontale"))
            errore("carta da scrivere come A3, A4, A5 o Letter seguita da verticale od orizzontale");
        auto [l, a] = formati.at(v[0]);
        if (v.size() == 2 && v[1] == "orizzontale")
            std::swap(l, a);
        d_.larghezzaPagina = l;
        d_.altezzaPagina = a;
    } else if (chiave == "margini") {
        if (v.size() != 4)
            errore("margini da scrivere come sinistro alto destro basso");
        for (int i = 0; i < 4; ++i)
            d_.margini[i] = numero(v[static_cast<size_t>(i)], "margine");
    } else if (chiave == "carattere") {
        if (valore.empty())
            errore("carattere senza nome");
        d_.carattere = std::string(valore);
    } else if (chiave == "dimensione") {
        d_.dimensione = numero(valore, "dimensione");
        if (d_.dimensione < 4 || d_.dimensione > 72)
            errore("dimensione del carattere fuori dai limiti (da 4 a 72 punti)");
    } else {
        errore("voce sconosciuta \"" + std::string(chiave) + "\" in [report]");
    }
    if (d_.larghezzaUtile() <= 0 || d_.altezzaPagina - d_.margini[1] - d_.margini[3] <= 0)
        errore("margini più ampi della pagina");
}

void Lettore::voceTabelle(std::string_view chiave, std::string_view valore)
{
    const auto v = parole(valore);
    if (chiave == "0" || chiave == "1") {
        if (static_cast<size_t>(chiave[0] - '0') != d_.tabelle.size())
            errore("le tabelle vanno dichiarate in ordine, prima la 0 poi la 1");
        if (v.size() != 2)
            errore("tabella da scrivere come Alias FILE.DB");
        d_.tabelle.push_back({v[0], v[1]});
    } else if (chiave == "collega") {
        if (v.size() != 2)
            errore("collega da scrivere come Dettaglio.Campo Principale.Campo");
        auto [dettaglio, campoDettaglio] = campo(v[0]);
        auto [principale, campoPrincipale] = campo(v[1]);
        if (d_.tabelle.size() != 2 || dettaglio != d_.tabelle[1].alias || principale != d_.tabelle[0].alias)
            errore("collega unisce un campo della tabella 1 a uno della tabella 0");
        d_.campoCollegato = campoDettaglio;
        d_.campoPrincipale = campoPrincipale;
    } else if (chiave == "ordina") {
        auto [alias, nome] = campo(valore);
        if (d_.tabelle.size() != 2 || alias != d_.tabelle[1].alias)
            errore("ordina si riferisce a un campo della tabella 1");
        d_.ordina = nome;
    } else if (chiave == "selezione") {
        d_.selezione = std::string(valore);
    } else {
        errore("voce sconosciuta \"" + std::string(chiave) + "\" in [tabelle]");
    }
}

void Lettore::controllaMisura(double x, double larghezza) const
{
    if (x + larghezza > d_.larghezzaUtile() + 1e-9)
        errore("oltre il margine destro (larghezza utile " + std::to_string(static_cast<int>(d_.larghezzaUtile())) +
               " mm)");
}

void Lettore::elementoBanda(Banda& banda, std::string_view linea, bool diPagina)
{
    const auto duePunti = linea.find(':');
    const auto testa = parole(linea.substr(0, duePunti));
    if (testa.empty())
        errore("elemento senza nome (riga, testo, linea o spazio)");
    const std::string& tipo = testa[0];
    if (tipo == "testo") {
        if (duePunti == std::string_view::npos || testa.size() != 4)
            errore("testo da scrivere come: testo X LARGHEZZA ALLINEAMENTO: contenuto");
        if (banda.empty() || banda.back().tipo != Elemento::Tipo::Riga)
            banda.push_back({});
        Testo t;
        t.x = numero(testa[1], "posizione");
        t.larghezza = numero(testa[2], "larghezza");
        controllaMisura(t.x, t.larghezza);
        t.allineamento = allineamento(testa[3]);
        t.contenuto = modello(pulisci(linea.substr(duePunti + 1)));
        // A page may start before any record, or in the middle of one table's rows.
        for (const Parte& p : t.contenuto)
            if (diPagina && p.tipo == Parte::Tipo::Campo)
                errore("i campi delle tabelle non si stampano nell'intestazione o nel piede di pagina");
        banda.back().testi.push_back(std::move(t));
        return;
    }
    if (duePunti != std::string_view::npos)
        errore("\":\" inatteso dopo " + tipo);
    Elemento e;
    if (tipo == "riga") {
        for (size_t i = 1; i < testa.size(); ++i) {
            if (testa[i] == "grassetto")
                e.grassetto = true;
            else if ((e.dimensione = numero(testa[i], "dimensione")) < 4 || e.dimensione > 72)
                errore("dimensione del carattere fuori dai limiti (da 4 a 72 punti)");
        }
    } else if (tipo == "linea" && testa.size() == 1) {
        e.tipo = Elemento::Tipo::Linea;
    } else if (tipo == "spazio" && testa.size() == 2) {
        e.tipo = Elemento::Tipo::Spazio;
        e.spazio = numero(testa[1], "spazio");
    } else {
        errore("elemento sconosciuto \"" + std::string(linea) + "\" (riga, testo, linea o spazio)");
    }
    banda.push_back(std::move(e));
}

void Lettore::colonna(std::string_view linea)
{
    const auto duePunti = linea.find(':');
    const auto testa = parole(linea.substr(0, duePunti));
    const auto barra = linea.find('|', duePunti);
    if (duePunti == std::string_view::npos || barra == std::string_view::npos || testa.size() != 3 ||
        testa[0] != "colonna")
        errore("colonna da scrivere come: colonna LARGHEZZA ALLINEAMENTO: intestazione | contenuto");
    Colonna c;
    c.larghezza = numero(testa[1], "larghezza");
    double x = 0;
    for (const Colonna& prima : d_.colonne)
        x += prima.larghezza;
    controllaMisura(x, c.larghezza);
    c.allineamento = allineamento(testa[2]);
    c.intestazione = std::string(pulisci(linea.substr(duePunti + 1, barra - duePunti - 1)));
    c.contenuto = modello(pulisci(linea.substr(barra + 1)));
    d_.colonne.push_back(std::move(c));
}

DefinizioneReport Lettore::leggi()
{
    static const std::set<std::string> sezioni = {"report",      "tabelle",      "formule",
                                                  "intestazione pagina", "intestazione tabella",
                                                  "colonne",     "piede tabella", "piede pagina"};
    std::set<std::string> viste;
    std::istringstream in{std::string(testo_)};
    for (std::string grezza; std::getline(in, grezza);) {
        ++riga_;
        const std::string_view linea = pulisci(grezza);
        if (linea.empty() || linea[0] == '#')
            continue;
        if (linea.front() == '[') {
            if (linea.back() != ']')
                errore("sezione senza \"]\"");
            sezione_ = std::string(pulisci(linea.substr(1, linea.size() - 2)));
            if (!sezioni.count(sezione_))
                errore("sezione sconosciuta [" + sezione_ + "]");
            if (!viste.insert(sezione_).second)
                errore("sezione [" + sezione_ + "] ripetuta");
            continue;
        }
        if (sezione_.empty())
            errore("testo fuori da ogni sezione");
        if (sezione_ == "report" || sezione_ == "tabelle" || sezione_ == "formule") {
            const auto uguale = linea.find('=');
            if (uguale == std::string_view::npos)
                errore("manca \"=\" (voce = valore)");
            const std::string_view chiave = pulisci(linea.substr(0, uguale));
            const std::string_view valore = pulisci(linea.substr(uguale + 1));
            if (sezione_ == "report") {
                voceReport(chiave, valore);
            } else if (sezione_ == "tabelle") {
                voceTabelle(chiave, valore);
            } else {
                if (chiave.empty() || !valoreFormula(valore))
                    errore("formula da scrivere come Nome = 'valore'");
                d_.formule[std::string(chiave)] = std::string(valore);
            }
        } else if (sezione_ == "colonne") {
            colonna(linea);
        } else {
            Banda& banda = sezione_ == "intestazione pagina"    ? d_.intestazionePagina
                           : sezione_ == "intestazione tabella" ? d_.intestazioneTabella
                           : sezione_ == "piede tabella"        ? d_.piedeTabella
                                                                : d_.piedePagina;
            elementoBanda(banda, linea, &banda == &d_.intestazionePagina || &banda == &d_.piedePagina);
        }
    }
    riga_ = 0;
    if (d_.tabelle.empty())
        throw Error("Report errato: manca la tabella 0 in [tabelle]");
    if (d_.tabelle.size() == 2 && d_.campoCollegato.empty())
        throw Error("Report errato: la tabella 1 non è collegata alla tabella 0 (voce collega)");
    return d_;
}

}  // namespace

DefinizioneReport leggiDefinizione(std::string_view testo)
{
    // The mark that Windows editors put at the head of a UTF-8 file is no text of the report;
    // a file they saved in the Windows code page is read in it.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (testo.substr(0, kBom.size()) == kBom)
        testo.remove_prefix(kBom.size());
    if (!utf8Valido(testo))
        return Lettore(codepage::toUtf8(testo, codepage::kWindowsWestern)).leggi();
    return Lettore(testo).leggi();
}

std::optional<std::string> valoreFormula(std::string_view formula)
{
    formula = pulisci(formula);
    if (formula.size() < 2 || (formula.front() != '\'' && formula.front() != '"') ||
        formula.back() != formula.front())
        return std::nullopt;
    return std::string(formula.substr(1, formula.size() - 2));
}

}  // namespace korva::report
