#pragma once

#include "base/env.h"
#include "base/interazione.h"
#include "shell/tabform.h"

#include <functional>

namespace korva {

// The close protocol of the main window: the auto-close switch, the state-file timer, F11,
// and the moment the program may really close.
//
// A close request (Esci, the close box, "CHIUDITI" read from the state file) that arrives
// while a command is running or a modal window is open stays pending: the windows are asked
// to end, the command finishes with the settings holder still alive, and only when the last
// command has ended is the main window closed (which destroys the holder).
class ControlloChiusura {
public:
    struct Azioni {
        std::function<void(bool)> timer;   // starts or stops the one-second timer
        std::function<void()> chiudi;      // closes the main window; nothing is running
        std::function<void()> interrompi;  // ends the open modal windows (as cancelled)
    };

    explicit ControlloChiusura(Azioni azioni, Env& env = Env::standard());
    ControlloChiusura(const ControlloChiusura&) = delete;
    ControlloChiusura& operator=(const ControlloChiusura&) = delete;

    // Marks a command (a menu command with its modal windows, a timer tick) as running for
    // its lifetime.
    class Comando {
    public:
        explicit Comando(ControlloChiusura& c) : c_(&c) { ++c_->comandi_; }
        ~Comando() { c_->fineComando(); }
        Comando(const Comando&) = delete;
        Comando& operator=(const Comando&) = delete;

    private:
        ControlloChiusura* c_;
    };

    bool occupato() const { return comandi_ > 0; }
    // A close has been asked for and the program is waiting for the running commands.
    bool chiusuraRichiesta() const { return richiesta_; }
    bool timerAttivo() const { return timer_; }

    // The auto-close switch when the main window is created: with the option on, the timer
    // started and "APRITI" into the state file (the timer runs also when that write fails);
    // otherwise nothing.
    void avvio(const TTabForm& tabForm, Interazione& interazione);
    // The switch after the options dialog, confirmed or not: on as at creation, off stops the
    // timer and leaves the file alone. While a close is pending "APRITI" is not written, so
    // the request stays in the file for the other programs.
    void dopoOpzioni(const TTabForm& tabForm, Interazione& interazione);
    // One tick of the timer: "CHIUDITI" in the state file asks for the close.
    void Timer1Timer(const TTabForm& tabForm);
    // F11: with the option on and confirmed, "CHIUDITI" for every program that watches the
    // file, this one included (its own timer then closes it).
    void richiestaDiChiusura(const TTabForm& tabForm, Interazione& interazione);

    // Asks the program to close: at once when nothing runs, else when the last command ends.
    void richiediChiusura();
    // The main window has closed: the timer stops for good.
    void chiusa();

private:
    void fineComando();
    void impostaTimer(bool attivo);

    Azioni azioni_;
    Env& env_;
    int comandi_ = 0;
    bool richiesta_ = false;
    bool chiusa_ = false;
    bool timer_ = false;
};

}  // namespace korva
