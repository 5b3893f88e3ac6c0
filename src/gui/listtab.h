#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace korva::ib {
class Database;
class Transaction;
}

namespace korva::gui {

// The list of the archive's tables to choose the one to register: filled when built, with
// the user tables sorted by name. Esito: 1 to open the selected table, 2 cancelled, 0 closed
// otherwise.
class TListTabForm : public QDialog {
    Q_OBJECT
public:
    TListTabForm(QWidget* owner, ib::Database& database, ib::Transaction& transazione);

    qint16 Esito = 0;

    QListWidget* ListBox1;
    // The two red captions, hidden as built.
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* ButtonApri;
    QPushButton* ButtonAnnulla;

    // The selected table's name; empty when none is selected.
    std::string tabellaScelta() const;

public slots:
    void ButtonApriClick();
    void ButtonAnnullaClick();
    void ListBox1DblClick();
};

}  // namespace korva::gui
