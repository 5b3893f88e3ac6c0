#include "gui/guardia.h"

#include <QApplication>
#include <QDialog>

namespace korva::gui {

int Guardia::modale(QDialog& finestra)
{
    if (chiusura_.chiusuraRichiesta())
        return QDialog::Rejected;
    return finestra.exec();
}

void Guardia::mostraErrore(const char* testo) noexcept
{
    try {
        interazione_.errore(testo);
    } catch (...) {
        // The display itself failed: nothing more can be shown.
    }
}

void chiudiFinestreModali()
{
    // Each reject() hides the dialog, so the next one down becomes the active modal widget.
    QDialog* precedente = nullptr;
    while (auto* finestra = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        // A dialog that refuses to end would otherwise be met again and again.
        if (finestra == precedente || !finestra->isVisible())
            break;
        finestra->reject();
        precedente = finestra;
    }
}

}  // namespace korva::gui
