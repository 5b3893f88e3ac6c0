#pragma once

#include "gui/scelta_directory.h"

namespace korva::gui {

// The directory chooser of the two record-layout directories.
class TQorTDirForm : public SceltaDirectoryForm {
    Q_OBJECT
public:
    TQorTDirForm(QWidget* owner, Guardia& guardia);
};

}  // namespace korva::gui
