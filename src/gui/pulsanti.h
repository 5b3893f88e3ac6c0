#pragma once

class QDialog;
class QPushButton;

namespace korva::gui {

// The buttons of the dialogs: "OK" with its picture and the default of the dialog, and
// "Cancel".
QPushButton* creaOKBtn(QDialog* dialogo);
QPushButton* creaCancelBtn(QDialog* dialogo);

}  // namespace korva::gui
