#include "gui/comando_unico.h"

#include <QApplication>
#include <QDialog>

namespace korva::gui {

bool ComandoUnico::rinviaChiusura(int esito)
{
    if (!inCorso_)
        return false;
    chiusuraRinviata_ = esito;
    return true;
}

void ComandoUnico::rifiuta() noexcept
{
    QApplication::beep();
}

void ComandoUnico::chiudiSeRinviata() noexcept
{
    if (!chiusuraRinviata_)
        return;
    const int esito = *chiusuraRinviata_;
    chiusuraRinviata_.reset();
    // Through the window's own done(), which now finds nothing running.
    guardia_([&] { finestra_.done(esito); });
}

}  // namespace korva::gui
