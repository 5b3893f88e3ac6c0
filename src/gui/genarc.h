#pragma once

#include "dictionary/generatore.h"
#include "shell/tabform.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;

namespace korva::gui {

class Guardia;

// The dictionary generator: creates the three dictionary tables of record-layout directory 1
// empty, after a question.
class TGenArcForm : public QDialog {
    Q_OBJECT
public:
    TGenArcForm(QWidget* owner, std::unique_ptr<TTabForm>& tabForm, Guardia& guardia);
    ~TGenArcForm() override;

    GeneratoreArchivi& generatore() { return *generatore_; }

    QLabel* Panel1;
    QPushButton* ButtonGenera;
    QPushButton* ButtonChiudi;

public slots:
    void ButtonGeneraClick();
    void ButtonChiudiClick();

private:
    std::unique_ptr<TTabForm>& tabForm_;
    Guardia& guardia_;
    std::unique_ptr<GeneratoreArchivi> generatore_;
};

}  // namespace korva::gui
