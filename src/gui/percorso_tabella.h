#pragma once

#include "gui/qorin1.h"

#include <string>

class QComboBox;

namespace korva::gui {

// The folder of an archive table being registered: the input dialog with a drop-down combo box
// laid over its edit field, offering "initab/" and empty at first. Its text counts whichever
// button closes it.
class PercorsoTabellaForm : public TQorIn1Form {
    Q_OBJECT
public:
    PercorsoTabellaForm(QWidget* owner, Guardia& guardia);

    QComboBox* ComboBox1;

    std::string percorso() const;
};

}  // namespace korva::gui
