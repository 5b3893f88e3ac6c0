#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korva::gui {

class Guardia;

// The one-value input dialog. Callers dress it for their own question (caption, label, a
// control laid over Edit1) and read their own controls afterwards.
class TQorIn1Form : public QDialog {
    Q_OBJECT
public:
    TQorIn1Form(QWidget* owner, Guardia& guardia);

    // 0 until closed, 1 after OK, 2 after Cancel.
    qint16 Esito = 0;

    QFrame* Bevel1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void OKBtnClick();
    void CancelBtnClick();
    void FormActivate();

protected:
    bool event(QEvent* e) override;

private:
    Guardia& guardia_;
};

}  // namespace korva::gui
