#include "gui/personal.h"

#include "gui/guardia.h"
#include "gui/pulsanti.h"
#include "shell/comandi_sistema.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace korva::gui {

GruppoRadio::GruppoRadio(const QString& titolo, const QStringList& voci, QWidget* parent)
    : QGroupBox(titolo, parent), gruppo_(new QButtonGroup(this))
{
    auto* colonna = new QVBoxLayout(this);
    for (int i = 0; i < voci.size(); ++i) {
        auto* pulsante = new QRadioButton(voci[i], this);
        gruppo_->addButton(pulsante, i);
        colonna->addWidget(pulsante);
    }
}

int GruppoRadio::itemIndex() const
{
    return gruppo_->checkedId();
}

void GruppoRadio::setItemIndex(int indice)
{
    if (auto* pulsante = gruppo_->button(indice))
        pulsante->setChecked(true);
}

TPersonalForm::TPersonalForm(QWidget* owner, std::unique_ptr<TTabForm>& tabForm, Guardia& guardia)
    : QDialog(owner), tabForm_(tabForm), guardia_(guardia)
{
    setObjectName(QStringLiteral("PersonalForm"));
    EditObbedisciStato = new QCheckBox(QStringLiteral("Chiusura automatica"), this);
    EditTipoDataBase = new GruppoRadio(QStringLiteral(" Tipo Database "),
                                       {QStringLiteral("Paradox"), QStringLiteral("Interbase")}, this);
    EditTipoDataBase->setItemIndex(0);
    OKBtn = creaOKBtn(this);
    CancelBtn = creaCancelBtn(this);

    auto* riga = new QHBoxLayout(this);
    auto* opzioni = new QVBoxLayout;
    opzioni->addWidget(EditObbedisciStato);
    opzioni->addWidget(EditTipoDataBase);
    riga->addLayout(opzioni, 1);
    auto* pulsanti = new QVBoxLayout;
    pulsanti->addWidget(OKBtn);
    pulsanti->addWidget(CancelBtn);
    pulsanti->addStretch();
    riga->addLayout(pulsanti);
    setFixedSize(280, 126);

    connect(OKBtn, &QPushButton::clicked, this, &TPersonalForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPersonalForm::CancelBtnClick);
    OKBtn->setFocus();
}

bool TPersonalForm::event(QEvent* e)
{
    // Switching to another program and back re-reads the options, as does the first showing.
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)
        FormActivate();
    return QDialog::event(e);
}

void TPersonalForm::FormActivate()
{
    guardia_([&] {
        tabForm_->SettaOpzioni();
        EditObbedisciStato->setChecked(tabForm_->chiusuraAutomatica());
        EditTipoDataBase->setItemIndex(tabForm_->modoInterbase() ? 1 : 0);
    });
}

void TPersonalForm::OKBtnClick()
{
    guardia_([&] {
        ImpostaOpzioni(*tabForm_, EditObbedisciStato->isChecked(), EditTipoDataBase->itemIndex() == 1);
        accept();
    });
}

void TPersonalForm::CancelBtnClick()
{
    guardia_([&] { reject(); });
}

}  // namespace korva::gui
