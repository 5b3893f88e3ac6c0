#include "cli/interazione_cli.h"

#include "base/errore.h"

#include <unistd.h>

#include <iostream>

namespace korva::cli {

InterazioneCli::InterazioneCli(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

void InterazioneCli::messaggio(const std::string& testo)
{
    out_ << testo << '\n' << std::flush;
}

void InterazioneCli::messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli)
{
    out_ << testo << '\n';
    for (const std::string& riga : dettagli)
        out_ << "  " << riga << '\n';
    out_ << std::flush;
}

bool InterazioneCli::chiedi(const std::string& testo, const char* si, const char* no)
{
    if (risposta_) {
        out_ << testo << ' ' << (*risposta_ ? si : no) << '\n' << std::flush;
        return *risposta_;
    }
    if (!isatty(STDIN_FILENO))
        throw Error("Domanda senza risposta: \"" + testo + "\" (usare --si o --no)");
    for (;;) {
        out_ << testo << " [" << si << '/' << no << "] " << std::flush;
        std::string riga;
        if (!std::getline(std::cin, riga))
            throw Error("Domanda senza risposta: \"" + testo + "\"");
        if (riga == "s" || riga == "S" || riga == si)
            return true;
        if (riga == "n" || riga == "N" || riga == no)
            return false;
    }
}

Risposta InterazioneCli::domanda(const std::string& testo)
{
    return chiedi(testo, "si", "no") ? Risposta::Si : Risposta::No;
}

Risposta InterazioneCli::conferma(const std::string& testo)
{
    return chiedi(testo, "ok", "annulla") ? Risposta::Ok : Risposta::Annulla;
}

void InterazioneCli::errore(const std::string& testo)
{
    if (rigaProgresso_) {
        err_ << '\n';
        rigaProgresso_ = false;
    }
    err_ << testoErroreGenerale(testo) << '\n' << std::flush;
}

void InterazioneCli::inizioElaborazione()
{
    err_ << "ELABORAZIONE IN CORSO....\n" << std::flush;
}

void InterazioneCli::fineElaborazione()
{
    if (rigaProgresso_) {
        err_ << '\n';
        rigaProgresso_ = false;
    }
    err_ << "ELABORAZIONE TERMINATA!\n" << std::flush;
}

void InterazioneCli::progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale)
{
    // On a terminal the line is rewritten in place; elsewhere only the end of a phase shows.
    const bool terminale = isatty(STDERR_FILENO);
    if (!terminale && !(totale > 0 && fatto == totale))
        return;
    err_ << (terminale ? "\r" : "") << fase << ": " << fatto;
    if (totale > 0)
        err_ << '/' << totale;
    err_ << (terminale ? "" : "\n") << std::flush;
    rigaProgresso_ = terminale;
}

}  // namespace korva::cli
