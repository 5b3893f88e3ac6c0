#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace korva::gui {

class Guardia;

// The choice of the Paradox table to register: the system's file dialog gives its file, shown
// as a name (editable) and a folder. OK hands both to the caller's texts when a file was
// chosen; Cancel hands nothing.
class TScelTabForm : public QDialog {
    Q_OBJECT
public:
    TScelTabForm(QWidget* owner, std::string& dirScelta, std::string& nomeTabella, const std::string& nomeDitta,
                 const std::string& lavoroDir, Guardia& guardia);

    QPushButton* ButtonNomeTabella;
    QLineEdit* EditNomeTabella;
    QPushButton* ButtonPercorsoTabella;  // a caption: no action
    QLineEdit* EditPercorsoTabella;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void ButtonNomeTabellaClick();
    void OKBtnClick();
    void CancelBtnClick();
    void FormActivate();

protected:
    bool event(QEvent* e) override;

private:
    std::string& dirScelta_;
    std::string& nomeTabella_;
    std::string lavoroDir_;
    Guardia& guardia_;
    // The name part of the file dialog's last answer.
    std::string parteNome_;
};

}  // namespace korva::gui
