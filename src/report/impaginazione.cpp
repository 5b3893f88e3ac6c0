#include "report/impaginazione.h"

#include <algorithm>

namespace korva::report {
namespace {

constexpr double kMmPerPunto = 25.4 / 72.0;
// Stands for the page count until every page is laid out.
constexpr char kSegnoPagine = '\x01';

class Impaginatore {
public:
    Impaginatore(const DefinizioneReport& def, const std::map<std::string, std::string>& formule,
                 const std::string& data)
        : def_(def), formule_(formule), data_(data)
    {
        doc_.larghezza = def.larghezzaPagina;
        doc_.altezza = def.altezzaPagina;
        doc_.carattere = def.carattere;
        fondo_ = def.altezzaPagina - def.margini[3] - altezza(def.piedePagina);
    }

    Documento esegui(const std::vector<Gruppo>& gruppi);

private:
    double altezza(const Banda& b) const;
    double altezzaIntestazioneGruppo() const
    {
        return altezza(def_.intestazioneTabella) + (def_.colonne.empty() ? 0 : 2 * altezzaRiga(def_.dimensione));
    }
    std::string risolvi(const Modello& m, const Record* dettaglio) const;
    void posa(const Banda& b, double& y, const Record* dettaglio);
    void intestazioneColonne();
    void rigaDettaglio(const Record& r);
    void nuovaPagina();
    // A new page unless `altezza` still fits above the page footer. Never on a page that
    // holds only its header, so that a band taller than a page cannot loop.
    void spazioPer(double altezza);

    const DefinizioneReport& def_;
    const std::map<std::string, std::string>& formule_;
    const std::string& data_;
    Documento doc_;
    const Record* principale_ = nullptr;
    double y_ = 0;
    double fondo_ = 0;
    double inizioCorpo_ = 0;
};

double Impaginatore::altezza(const Banda& b) const
{
    double h = 0;
    for (const Elemento& e : b)
        h += e.tipo == Elemento::Tipo::Riga     ? altezzaRiga(e.dimensione > 0 ? e.dimensione : def_.dimensione)
             : e.tipo == Elemento::Tipo::Spazio ? e.spazio
                                                : 1.0;
    return h;
}

std::string Impaginatore::risolvi(const Modello& m, const Record* dettaglio) const
{
    std::string s;
    for (const Parte& p : m) {
        switch (p.tipo) {
        case Parte::Tipo::Testo:
            s += p.testo;
            break;
        case Parte::Tipo::Formula:
            if (auto f = formule_.find(p.testo); f != formule_.end())
                s += f->second;
            break;
        case Parte::Tipo::Pagina:
            s += std::to_string(doc_.pagine.size());
            break;
        case Parte::Tipo::Pagine:
            s += kSegnoPagine;
            break;
        case Parte::Tipo::Data:
            s += data_;
            break;
        case Parte::Tipo::Campo: {
            const bool dalDettaglio = def_.tabelle.size() == 2 && p.testo == def_.tabelle[1].alias;
            const Record* r = dalDettaglio ? dettaglio : principale_;
            std::string valore;
            if (r)
                if (auto v = r->find(p.campo); v != r->end())
                    valore = v->second;
            if (p.seVero)
                valore = valore.empty() || valore == "0" ? std::string() : *p.seVero;
            s += valore;
            break;
        }
        }
    }
    return s;
}

void Impaginatore::posa(const Banda& b, double& y, const Record* dettaglio)
{
    const double sinistra = def_.margini[0];
    Pagina& pagina = doc_.pagine.back();
    for (const Elemento& e : b) {
        if (e.tipo == Elemento::Tipo::Spazio) {
            y += e.spazio;
        } else if (e.tipo == Elemento::Tipo::Linea) {
            pagina.linee.push_back({sinistra, y + 0.5, sinistra + def_.larghezzaUtile()});
            y += 1.0;
        } else {
            const double punti = e.dimensione > 0 ? e.dimensione : def_.dimensione;
            const double h = altezzaRiga(punti);
            for (const Testo& t : e.testi)
                pagina.testi.push_back({sinistra + t.x, y, t.larghezza, h, punti, e.grassetto, t.allineamento,
                                        risolvi(t.contenuto, dettaglio)});
            y += h;
        }
    }
}

void Impaginatore::intestazioneColonne()
{
    if (def_.colonne.empty())
        return;
    const double h = altezzaRiga(def_.dimensione);
    double x = def_.margini[0];
    Pagina& pagina = doc_.pagine.back();
    for (const Colonna& c : def_.colonne) {
        pagina.testi.push_back({x, y_, c.larghezza, h, def_.dimensione, true, c.allineamento, c.intestazione});
        x += c.larghezza;
    }
    pagina.linee.push_back({def_.margini[0], y_ + h + 0.2, def_.margini[0] + x - def_.margini[0]});
    y_ += 2 * h;
}

void Impaginatore::rigaDettaglio(const Record& r)
{
    const double h = altezzaRiga(def_.dimensione);
    double x = def_.margini[0];
    for (const Colonna& c : def_.colonne) {
        doc_.pagine.back().testi.push_back(
            {x, y_, c.larghezza, h, def_.dimensione, false, c.allineamento, risolvi(c.contenuto, &r)});
        x += c.larghezza;
    }
    y_ += h;
}

void Impaginatore::nuovaPagina()
{
    doc_.pagine.emplace_back();
    y_ = def_.margini[1];
    posa(def_.intestazionePagina, y_, nullptr);
    inizioCorpo_ = y_;
}

void Impaginatore::spazioPer(double altezza)
{
    if (y_ + altezza > fondo_ + 1e-9 && y_ > inizioCorpo_)
        nuovaPagina();
}

Documento Impaginatore::esegui(const std::vector<Gruppo>& gruppi)
{
    nuovaPagina();
    const double riga = altezzaRiga(def_.dimensione);
    for (const Gruppo& g : gruppi) {
        principale_ = &g.principale;
        // The header never stays alone at the foot of a page: its first row comes with it.
        spazioPer(altezzaIntestazioneGruppo() + (g.dettagli.empty() ? 0 : riga));
        posa(def_.intestazioneTabella, y_, nullptr);
        intestazioneColonne();
        for (const Record& r : g.dettagli) {
            if (y_ + riga > fondo_ + 1e-9) {
                nuovaPagina();
                posa(def_.intestazioneTabella, y_, nullptr);
                intestazioneColonne();
            }
            rigaDettaglio(r);
        }
        spazioPer(altezza(def_.piedeTabella));
        posa(def_.piedeTabella, y_, nullptr);
    }

    // Page footers, and the page count now that it is known.
    const std::string pagine = std::to_string(doc_.pagine.size());
    const std::vector<Pagina> corpo = std::move(doc_.pagine);
    doc_.pagine.clear();
    for (size_t i = 0; i < corpo.size(); ++i) {
        doc_.pagine.push_back(corpo[i]);
        double y = fondo_;
        posa(def_.piedePagina, y, nullptr);
        for (TestoPosato& t : doc_.pagine.back().testi)
            for (size_t p; (p = t.testo.find(kSegnoPagine)) != std::string::npos;)
                t.testo.replace(p, 1, pagine);
    }
    return std::move(doc_);
}

}  // namespace

double altezzaRiga(double punti)
{
    return punti * kMmPerPunto * 1.45;
}

Documento impagina(const DefinizioneReport& def, const std::vector<Gruppo>& gruppi,
                   const std::map<std::string, std::string>& formule, const std::string& data)
{
    return Impaginatore(def, formule, data).esegui(gruppi);
}

}  // namespace korva::report
