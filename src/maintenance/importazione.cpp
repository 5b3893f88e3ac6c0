// The import run: the start common to both directions, the list of tables, the progress.

#include "maintenance/importazione.h"

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/tabelle_dizionario.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {

DirezioneImportazione direzioneDaTesto(const std::string& testo)
{
    return testo == "PARADOX" ? DirezioneImportazione::DaParadox : DirezioneImportazione::DaInterbase;
}

std::string titoloImportazione(DirezioneImportazione direzione, const std::string& nomeDitta)
{
    std::string titolo = direzione == DirezioneImportazione::DaParadox
                             ? "Importazione dati da Paradox a Interbase - Ditta: "
                             : "Importazione dati da Interbase a Paradox - Ditta: ";
    return titolo.append(nomeDitta);
}

std::string testoDestinazioneNonCreata(const std::string& nome)
{
    return std::string("Tabella ").append(nome).append(" destinazione non creata");
}

std::vector<std::string> tabelleDelDizionario(const std::string& tracciatiDir, paradox::Session& sessione)
{
    std::vector<std::string> nomi;
    try {
        const auto korva = posizioneDizionario(tracciatiDir, TabellaDizionario::Korva);
        paradox::Table t(sessione);
        t.setDatabaseName(korva.cartella);
        t.setTableName(korva.nome);
        t.open();
        const int campo = t.fieldIndex("NomeTabella").value_or(0);
        for (t.first(); !t.eof(); t.next())
            nomi.push_back(t.field(campo).asString());
    } catch (const std::exception&) {
        // The list keeps what was read.
    }
    return nomi;
}

int percentuale(std::int64_t fatto, std::int64_t totale)
{
    if (totale <= 0)
        return 0;
    const std::int64_t q = 100 * fatto / totale;
    const std::int64_t r = 100 * fatto % totale;
    if (2 * r > totale || (2 * r == totale && q % 2 == 1))
        return static_cast<int>(q + 1);
    return static_cast<int>(q);
}

Importazione::Importazione(Interazione& interazione, TTabForm& tabForm, std::string tracciatiDir,
                           DirezioneImportazione direzione, VistaImportazione& vista,
                           paradox::Session& sessione)
    : interazione_(interazione),
      tabForm_(tabForm),
      tracciatiDir_(std::move(tracciatiDir)),
      direzione_(direzione),
      vista_(vista),
      sessione_(sessione)
{
}

EsitoImportazione Importazione::importa(const std::vector<std::string>& righe,
                                        const std::function<bool(std::size_t)>& spuntata)
{
    EsitoImportazione esito;
    // A press of the button while the run processes window events must not start another.
    if (inCorso_)
        return esito;
    int spuntate = 0;
    for (std::size_t i = 0; i < righe.size(); ++i)
        if (spuntata(i))
            ++spuntate;
    if (spuntate == 0) {
        interazione_.messaggio(kSelezionareTabella);
        stop_ = false;
        return esito;
    }
    stop_ = false;
    // The data directory is joined to every table's folder: refused before anything is touched.
    richiediDirectory(tabForm_, DirectoryLavoro::Lavoro);
    inCorso_ = true;
    struct FineCorsa {
        bool& inCorso;
        ~FineCorsa() { inCorso = false; }
    } fine{inCorso_};
    if (direzione_ == DirezioneImportazione::DaParadox)
        daParadox(righe, spuntata, spuntate, esito);
    else
        daInterbase(righe, spuntata, spuntate, esito);
    esito.interrotta = stop_;
    return esito;
}

void Importazione::inizioTabella(const std::string& nome)
{
    barra1_ = 0;
    vista_.barraTabella(0);
    vista_.etichettaTabella(std::string("Importazione tabella ").append(nome));
    confermati_ = 0;
}

void Importazione::avanzamento(const std::string& nome, std::int64_t n, std::int64_t totale)
{
    const int p = percentuale(n, totale);
    if (p != barra1_) {
        barra1_ = p;
        vista_.barraTabella(p);
        interazione_.progresso(nome, n, totale);
    }
    interazione_.elaboraEventi();
}

void Importazione::tabellaFatta(int& fatte, int spuntate)
{
    ++fatte;
    vista_.barraTabelle(percentuale(fatte, spuntate));
}

}  // namespace korva
