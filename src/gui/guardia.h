#pragma once

#include "base/interazione.h"
#include "shell/chiusura.h"

#include <exception>
#include <utility>

class QDialog;

namespace korva::gui {

// The one path every slot takes into the core: the work counts as a running command for the
// close protocol, and a failure it throws is shown in the general error display, after which
// the event loop goes on. No exception ever crosses into Qt.
class Guardia {
public:
    Guardia(Interazione& interazione, ControlloChiusura& chiusura)
        : interazione_(interazione), chiusura_(chiusura)
    {
    }
    Guardia(const Guardia&) = delete;
    Guardia& operator=(const Guardia&) = delete;

    template <class F>
    void operator()(F&& lavoro) noexcept
    {
        ControlloChiusura::Comando comando(chiusura_);
        try {
            std::forward<F>(lavoro)();
        } catch (const std::exception& e) {
            mostraErrore(e.what());
        } catch (...) {
            mostraErrore("Errore imprevisto");
        }
    }

    // Shows a modal window and gives its result. While a close of the program is pending the
    // window is not shown and counts as cancelled.
    int modale(QDialog& finestra);

    Interazione& interazione() { return interazione_; }
    ControlloChiusura& chiusura() { return chiusura_; }

private:
    void mostraErrore(const char* testo) noexcept;

    Interazione& interazione_;
    ControlloChiusura& chiusura_;
};

// Ends every open modal dialog as cancelled, the innermost first.
void chiudiFinestreModali();

}  // namespace korva::gui
