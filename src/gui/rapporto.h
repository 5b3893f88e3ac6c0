#pragma once

// A report to read, copy and keep: the findings of an integrity verification, the account of
// a repair. Its lines can be selected and copied, copied whole, or saved as a text file.

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace korva::gui {

class TRapportoForm : public QDialog {
    Q_OBJECT
public:
    TRapportoForm(const std::string& titolo, const std::vector<std::string>& righe, QWidget* parent = nullptr);

    // The title and the lines as the copy and the saved file hold them.
    QString testo() const;
    // Writes the report to the file (UTF-8, one line each); false when it cannot.
    bool salvaIn(const QString& percorso) const;

    QLabel* LabelTitolo;
    QPlainTextEdit* MemoRighe;
    QPushButton* ButtonCopia;
    QPushButton* ButtonSalva;
    QPushButton* ButtonOk;

    void ButtonCopiaClick();
    void ButtonSalvaClick();
};

}  // namespace korva::gui
