#include "gui/qortdir.h"

namespace korva::gui {

TQorTDirForm::TQorTDirForm(QWidget* owner, Guardia& guardia)
    : SceltaDirectoryForm(owner, guardia, QStringLiteral("Selezione directory tracciati record"))
{
    setObjectName(QStringLiteral("QorTDirForm"));
}

}  // namespace korva::gui
