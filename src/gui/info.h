#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace korva::gui {

class Guardia;

// The about box.
class TInfoForm : public QDialog {
    Q_OBJECT
public:
    TInfoForm(QWidget* owner, Guardia& guardia);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Comments;
    QPushButton* OKBtn;

public slots:
    void OKBtnClick();

private:
    Guardia& guardia_;
};

}  // namespace korva::gui
