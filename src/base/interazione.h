#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

enum class Risposta { Si, No, Ok, Annulla };

// The one way the core talks to the person: message boxes, questions, the general error
// display, the busy indicator and progress. The desktop program shows them in windows, the
// command line prints them and takes answers from its flags, tests script them.
class Interazione {
public:
    virtual ~Interazione() = default;

    // A plain message box with an OK button.
    virtual void messaggio(const std::string& testo) = 0;
    // The same box with lines to look at beside the text (the window keeps them in the box's
    // details; the command line prints them after the text). No lines: a plain message.
    virtual void messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli) = 0;
    // A report to read, copy and keep: a title and its lines (the window shows them in a window
    // of their own that copies them and saves them as text; elsewhere a message with details).
    virtual void rapporto(const std::string& titolo, const std::vector<std::string>& righe)
    {
        messaggioConDettagli(titolo, righe);
    }
    // A question with the information icon and the buttons Yes and No.
    virtual Risposta domanda(const std::string& testo) = 0;
    // A confirmation with the confirmation icon and the buttons OK and Cancel.
    virtual Risposta conferma(const std::string& testo) = 0;
    // The general error display: the failure's own text (the display adds the final full
    // stop of testoErroreGenerale), error icon, caption "Progetto KORVAWIN".
    virtual void errore(const std::string& testo) = 0;

    // The busy indicator of long commands.
    virtual void inizioElaborazione() = 0;
    virtual void fineElaborazione() = 0;

    // Progress of long work: `fatto` of `totale` steps (totale 0 when unknown).
    virtual void progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale) = 0;

    // Processes pending window events (loops that must let the timer and a stop button run).
    virtual void elaboraEventi() = 0;
};

// The title of the program, caption of the general error display.
inline constexpr const char* kTitoloApplicazione = "Progetto KORVAWIN";

}  // namespace korva
