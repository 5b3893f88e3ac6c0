#include "support/interazione_scriptata.h"

#include "base/errore.h"

#include <gtest/gtest.h>

namespace korva::test {

Risposta InterazioneScriptata::prossima(const std::string& testo)
{
    if (risposte_.empty()) {
        ADD_FAILURE() << "domanda senza risposta nel copione: " << testo;
        throw Error("domanda senza risposta nel copione: " + testo);
    }
    Risposta r = risposte_.front();
    risposte_.pop_front();
    return r;
}

void InterazioneScriptata::messaggio(const std::string& testo)
{
    eventi_.push_back("messaggio: " + testo);
}

// The lines follow their message, one event each.
void InterazioneScriptata::messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli)
{
    messaggio(testo);
    for (const std::string& riga : dettagli)
        eventi_.push_back("dettaglio: " + riga);
}

Risposta InterazioneScriptata::domanda(const std::string& testo)
{
    eventi_.push_back("domanda: " + testo);
    return prossima(testo);
}

Risposta InterazioneScriptata::conferma(const std::string& testo)
{
    eventi_.push_back("conferma: " + testo);
    return prossima(testo);
}

void InterazioneScriptata::errore(const std::string& testo)
{
    eventi_.push_back("errore: " + testoErroreGenerale(testo));
}

void InterazioneScriptata::inizioElaborazione()
{
    eventi_.push_back("inizio");
}

void InterazioneScriptata::fineElaborazione()
{
    eventi_.push_back("fine");
}

}  // namespace korva::test
