#include "report/motore.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "report/dati.h"
#include "report/definizione.h"
#include "report/disegno.h"

#include <QDate>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
#include "engines/interbase/client.h"

// glib, which Qt brings in, keeps a table from its loading to the end of the process; the leak
// check of the sanitizer builds is told so (the engine is in every program that loads Qt),
// besides the Firebird client's own list, which this hook replaces.
extern "C" const char* __lsan_default_suppressions()
{
    return KORVA_SOPPRESSIONI_PERDITE_CLIENT "leak:libglib-2.0.so\n";
}
#endif

namespace korva::report {

struct MotoreReport::Lavoro {
    DefinizioneReport def;
    std::vector<std::string> posizioni;
    Selezione selezione;
    std::string erroreSelezione;
    std::map<std::string, std::string> formule;
    std::optional<RichiestaFinestra> finestra;
    std::string pdf;
};

MotoreReport::MotoreReport(paradox::Session& sessione) : sessione_(sessione) {}

MotoreReport::~MotoreReport() = default;

MotoreReport::Lavoro* MotoreReport::lavoro(int job)
{
    auto l = lavori_.find(job);
    return l == lavori_.end() ? nullptr : l->second.get();
}

int MotoreReport::ApriStampa(const std::string& percorsoReport)
{
    errore_.clear();
    const auto trovato = risolviPercorso(percorsoReport);
    if (!trovato || !esisteFile(*trovato))
        return 0;
    std::ifstream in(*trovato, std::ios::binary);
    if (!in.is_open()) {
        errore_ = "Impossibile leggere il file " + *trovato + ": " + std::strerror(errno);
        return 0;
    }
    std::ostringstream testo;
    testo << in.rdbuf();
    if (in.bad()) {
        errore_ = "Impossibile leggere il file " + *trovato;
        return 0;
    }
    auto l = std::make_unique<Lavoro>();
    try {
        l->def = leggiDefinizione(testo.str());
    } catch (const Error& e) {
        errore_ = std::string(e.what()) + " (" + *trovato + ")";
        return 0;
    }
    // Tables lie where the file says, beside the report, until the job is told otherwise.
    const std::string cartella = trovato->substr(0, trovato->rfind(kSep) + 1);
    for (const TabellaReport& t : l->def.tabelle)
        l->posizioni.push_back(cartella + t.file);
    for (const auto& [nome, valore] : l->def.formule)
        l->formule[nome] = *valoreFormula(valore);
    if (auto s = leggiSelezione(l->def.selezione))
        l->selezione = *s;
    else
        l->erroreSelezione = l->def.selezione;
    lavori_[++ultimo_] = std::move(l);
    return ultimo_;
}

bool MotoreReport::ImpostaPosizioneTabella(int job, int tabella, const std::string& posizione)
{
    Lavoro* l = lavoro(job);
    if (!l || tabella < 0 || static_cast<size_t>(tabella) >= l->posizioni.size() || posizione.empty())
        return false;
    l->posizioni[static_cast<size_t>(tabella)] = posizione;
    return true;
}

bool MotoreReport::ImpostaSelezione(int job, const std::string& formula)
{
    Lavoro* l = lavoro(job);
    if (!l)
        return false;
    // A formula that cannot be read must not print every record in its place.
    auto s = leggiSelezione(formula);
    l->selezione = s.value_or(Selezione{});
    l->erroreSelezione = s ? std::string() : formula;
    return s.has_value();
}

bool MotoreReport::ImpostaFormula(int job, const std::string& nome, const std::string& testo)
{
    Lavoro* l = lavoro(job);
    auto valore = valoreFormula(testo);
    if (!l || !valore || !l->formule.count(nome))
        return false;
    l->formule[nome] = *valore;
    return true;
}

bool MotoreReport::UscitaFinestra(int job, const std::string& titolo, int sinistra, int alto, int larghezza,
                                  int altezza)
{
    Lavoro* l = lavoro(job);
    if (!l || larghezza <= 0 || altezza <= 0)
        return false;
    l->finestra = RichiestaFinestra{titolo, sinistra, alto, larghezza, altezza};
    l->pdf.clear();
    return true;
}

bool MotoreReport::UscitaPdf(int job, const std::string& file)
{
    Lavoro* l = lavoro(job);
    if (!l || file.empty())
        return false;
    l->pdf = file;
    l->finestra.reset();
    return true;
}

Documento MotoreReport::impagina(int job)
{
    Lavoro* l = lavoro(job);
    if (!l)
        throw Error("Stampa inesistente: " + std::to_string(job));
    return impaginaLavoro(*l);
}

Documento MotoreReport::impaginaLavoro(const Lavoro& l)
{
    if (!l.erroreSelezione.empty())
        throw Error("Formula di selezione non valida: " + l.erroreSelezione);
    const auto gruppi = leggiGruppi(sessione_, l.def, l.posizioni, l.selezione);
    const std::string data =
        data_ ? *data_ : QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toStdString();
    return report::impagina(l.def, gruppi, l.formule, data);
}

bool MotoreReport::AvviaStampa(int job)
{
    Lavoro* trovato = lavoro(job);
    if (!trovato || (!trovato->finestra && trovato->pdf.empty()) || (trovato->finestra && !anteprima_))
        return false;
    // The job ends with its start, whether that works or not.
    const std::unique_ptr<Lavoro> l = std::move(lavori_[job]);
    lavori_.erase(job);
    auto documento = std::make_shared<const Documento>(impaginaLavoro(*l));
    if (l->finestra)
        anteprima_(documento, *l->finestra);
    else
        scriviPdf(*documento, l->pdf, kTitoloAnteprima);
    return true;
}

}  // namespace korva::report
