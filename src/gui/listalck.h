#pragma once

#include "maintenance/file_lck.h"

#include <QDialog>

#include <string>

class QListWidget;
class QPushButton;

namespace korva::gui {

class Guardia;

// The lock files found by "Ricerca file .lck", each with whether a running program holds it;
// the selected ones are deleted after a question.
class TListaLckForm : public QDialog {
    Q_OBJECT
public:
    TListaLckForm(QWidget* owner, const std::string& nomeDitta, ListaLck lista, Guardia& guardia);

    const ListaLck& lista() const { return lista_; }

    QListWidget* ListBox1;
    QPushButton* ButtonElimina;
    QPushButton* ButtonChiudi;

public slots:
    void ButtonEliminaClick();
    void ButtonChiudiClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Fills the list from the entries; those at `selezionati` stay selected.
    void mostra(const std::vector<std::string>& selezionati);
    // FormActivate: every entry selected, the first time the window is shown; a selection
    // made afterwards survives the question.
    void FormActivate();

    ListaLck lista_;
    Guardia& guardia_;
    bool attivata_ = false;
};

}  // namespace korva::gui
