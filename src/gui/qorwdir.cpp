#include "gui/qorwdir.h"

namespace korva::gui {

TQorWDirForm::TQorWDirForm(QWidget* owner, Guardia& guardia)
    : SceltaDirectoryForm(owner, guardia, QStringLiteral("Selezione directory archivi"))
{
    setObjectName(QStringLiteral("QorWDirForm"));
}

}  // namespace korva::gui
