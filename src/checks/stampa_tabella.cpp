#include "checks/stampa_tabella.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {
namespace {

// Table1 and TabCampi opened again, Table1 on the row it was on. After a failed job the
// job's failure is the one to show: one of the reopening is then not thrown over it.
void riapri(GestioneTabelle& g, const paradox::Bookmark& segnato, bool segnalaErrori)
{
    try {
        g.Table1.open();
        g.TabCampi.open();
        if (segnato.valid)
            g.Table1.gotoBookmark(segnato);
    } catch (const Error&) {
        if (segnalaErrori)
            throw;
    }
}

bool eseguiLavoro(GestioneTabelle& g, MotoreStampa& motore, const std::string& pdf)
{
    TTabForm& t = g.tabForm();
    const std::string tracciati = g.TracciatiDir();
    // A program directory never chosen is a wrong one: the report is not looked for around it.
    const bool binImpostata = directoryImpostata(t.BinDir);
    const int job = binImpostata ? motore.ApriStampa(t.PercorsoReport) : 0;
    if (job == 0) {
        // The system's message, whatever is wrong; what is known of the file beside it.
        const std::string errore = binImpostata ? motore.erroreReport() : std::string();
        if (errore.empty())
            g.interazione().messaggio(kReportNonDisponibile);
        else
            g.interazione().messaggioConDettagli(kReportNonDisponibile, {errore});
    }
    motore.ImpostaPosizioneTabella(job, 0, tracciati + "KORVA" + kSep + "KORVA.DB");
    motore.ImpostaPosizioneTabella(job, 1, tracciati + "CAMPI" + kSep + "CAMPI.DB");
    motore.ImpostaSelezione(job, "{Korva.NomeTabella}='" + g.NomeTabellaCorrente + "'");
    motore.ImpostaFormula(job, "NomeProgetto", "'" + t.NomeDitta + "'");
    if (pdf.empty())
        motore.UscitaFinestra(job, kTitoloAnteprima, 0, 0, 640, 480);
    else
        motore.UscitaPdf(job, pdf);
    return motore.AvviaStampa(job);
}

}  // namespace

bool StampaTabella(GestioneTabelle& g, MotoreStampa& motore)
{
    if (g.interazione().conferma(kConfermaStampa) != Risposta::Ok)
        return false;
    return StampaTabellaCorrente(g, motore);
}

bool StampaTabellaCorrente(GestioneTabelle& g, MotoreStampa& motore, const std::string& pdf)
{
    g.richiediDettagli();
    const std::string nome = g.EditTabellaCorrente();
    if (nome.find('\'') != std::string::npos)
        throw Error("Impossibile stampare la tabella \"" + nome +
                    "\": un nome che contiene un apice non può essere selezionato nel report");
    g.NomeTabellaCorrente = nome;

    const paradox::Bookmark segnato = g.Table1.getBookmark();
    g.Table1.close();
    g.TabCampi.close();
    bool avviata = false;
    try {
        avviata = eseguiLavoro(g, motore, pdf);
    } catch (...) {
        riapri(g, segnato, false);
        throw;
    }
    riapri(g, segnato, true);
    return avviata;
}

}  // namespace korva
