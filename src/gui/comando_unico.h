#pragma once

#include "gui/guardia.h"

#include <optional>
#include <utility>

class QDialog;

namespace korva::gui {

// One command at a time in a window. The long commands process the window's events while they
// wait (for the engine's services, between records), so a button pressed meanwhile would run a
// second command inside the first one's wait: it is refused instead, neither kept for later nor
// run. A close asked for meanwhile is done once the command has ended.
class ComandoUnico {
public:
    ComandoUnico(QDialog& finestra, Guardia& guardia) : finestra_(finestra), guardia_(guardia) {}
    ComandoUnico(const ComandoUnico&) = delete;
    ComandoUnico& operator=(const ComandoUnico&) = delete;

    bool inCorso() const { return inCorso_; }

    // Runs `lavoro` through the slot guard unless a command is running; false when refused.
    template <class F>
    bool operator()(F&& lavoro) noexcept
    {
        if (inCorso_) {
            rifiuta();
            return false;
        }
        inCorso_ = true;
        guardia_(std::forward<F>(lavoro));
        inCorso_ = false;
        chiudiSeRinviata();
        return true;
    }

    // For the window's done(): while a command runs the close is kept for its end (true).
    bool rinviaChiusura(int esito);

private:
    void rifiuta() noexcept;
    void chiudiSeRinviata() noexcept;

    QDialog& finestra_;
    Guardia& guardia_;
    bool inCorso_ = false;
    std::optional<int> chiusuraRinviata_;
};

}  // namespace korva::gui
