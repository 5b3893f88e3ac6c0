#pragma once

#include "gui/scelta_directory.h"

namespace korva::gui {

// The directory chooser of the data and repair-backup directories.
class TQorWDirForm : public SceltaDirectoryForm {
    Q_OBJECT
public:
    TQorWDirForm(QWidget* owner, Guardia& guardia);
};

}  // namespace korva::gui
