#include "gui/pulsanti.h"

#include <QDialog>
#include <QPushButton>
#include <QStyle>

namespace korva::gui {

QPushButton* creaOKBtn(QDialog* dialogo)
{
    auto* b = new QPushButton(dialogo->style()->standardIcon(QStyle::SP_DialogOkButton),
                              QStringLiteral("OK"), dialogo);
    b->setDefault(true);
    return b;
}

QPushButton* creaCancelBtn(QDialog* dialogo)
{
    return new QPushButton(dialogo->style()->standardIcon(QStyle::SP_DialogCancelButton),
                           QStringLiteral("Cancel"), dialogo);
}

}  // namespace korva::gui
