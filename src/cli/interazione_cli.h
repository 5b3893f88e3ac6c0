#pragma once

#include "base/interazione.h"

#include <iosfwd>
#include <optional>

namespace korva::cli {

// The command line's port: messages on standard output, progress on standard error,
// questions answered by --si / --no, or asked on a terminal.
class InterazioneCli : public Interazione {
public:
    InterazioneCli(std::ostream& out, std::ostream& err);

    // The answer given to every question; without one a question is asked on the terminal.
    void impostaRisposta(std::optional<bool> si) { risposta_ = si; }

    void messaggio(const std::string& testo) override;
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli) override;
    Risposta domanda(const std::string& testo) override;
    Risposta conferma(const std::string& testo) override;
    void errore(const std::string& testo) override;
    void inizioElaborazione() override;
    void fineElaborazione() override;
    void progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale) override;
    void elaboraEventi() override {}

private:
    bool chiedi(const std::string& testo, const char* si, const char* no);

    std::ostream& out_;
    std::ostream& err_;
    std::optional<bool> risposta_;
    bool rigaProgresso_ = false;
};

}  // namespace korva::cli
