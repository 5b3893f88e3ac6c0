#pragma once

#include "base/interazione.h"

#include <deque>
#include <string>
#include <vector>

namespace korva::test {

// The port for tests: records every text in order and answers questions from a script.
// Each event is one string, "messaggio: ...", "domanda: ...", "conferma: ...",
// "errore: ..." (with the general display's full stop), "inizio" or "fine", so that a test
// compares the whole conversation at once. Progress reports, which long work sends many of,
// are kept apart ("fase fatto/totale"), so that the conversation stays readable.
class InterazioneScriptata : public Interazione {
public:
    // Answers for the next questions, in order. A question without an answer fails the test.
    void risposte(std::initializer_list<Risposta> r) { risposte_.insert(risposte_.end(), r); }

    const std::vector<std::string>& eventi() const { return eventi_; }
    const std::vector<std::string>& progressi() const { return progressi_; }
    void azzera() { eventi_.clear(); }
    std::size_t risposteRimaste() const { return risposte_.size(); }
    std::int64_t chiamateEventi() const { return chiamateEventi_; }

    void messaggio(const std::string& testo) override;
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli) override;
    Risposta domanda(const std::string& testo) override;
    Risposta conferma(const std::string& testo) override;
    void errore(const std::string& testo) override;
    void inizioElaborazione() override;
    void fineElaborazione() override;
    void progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale) override
    {
        progressi_.push_back(fase + " " + std::to_string(fatto) + "/" + std::to_string(totale));
    }
    void elaboraEventi() override { ++chiamateEventi_; }

private:
    Risposta prossima(const std::string& testo);

    std::vector<std::string> eventi_;
    std::vector<std::string> progressi_;
    std::deque<Risposta> risposte_;
    std::int64_t chiamateEventi_ = 0;
};

}  // namespace korva::test
