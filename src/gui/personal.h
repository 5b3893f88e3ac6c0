#pragma once

#include "shell/tabform.h"

#include <QDialog>
#include <QGroupBox>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QPushButton;

namespace korva::gui {

class Guardia;

// A group of radio buttons of which one is chosen, by index.
class GruppoRadio : public QGroupBox {
    Q_OBJECT
public:
    GruppoRadio(const QString& titolo, const QStringList& voci, QWidget* parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int indice);

private:
    QButtonGroup* gruppo_;
};

// The options dialog: the auto-close option and the database mode of the company, re-read
// from the settings file each time the dialog becomes active and stored on OK.
class TPersonalForm : public QDialog {
    Q_OBJECT
public:
    TPersonalForm(QWidget* owner, std::unique_ptr<TTabForm>& tabForm, Guardia& guardia);

    QCheckBox* EditObbedisciStato;
    GruppoRadio* EditTipoDataBase;  // 0 "Paradox", 1 "Interbase"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void FormActivate();
    void OKBtnClick();
    void CancelBtnClick();

protected:
    bool event(QEvent* e) override;

private:
    std::unique_ptr<TTabForm>& tabForm_;
    Guardia& guardia_;
};

}  // namespace korva::gui
