#include "gui/qorin1.h"

#include "gui/guardia.h"
#include "gui/pulsanti.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korva::gui {

TQorIn1Form::TQorIn1Form(QWidget* owner, Guardia& guardia) : QDialog(owner), guardia_(guardia)
{
    setObjectName(QStringLiteral("QorIn1Form"));
    setWindowTitle(QStringLiteral("Dialog"));

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Label1 = new QLabel(QStringLiteral("Inserisci il valore:"), Bevel1);
    Edit1 = new QLineEdit(QStringLiteral("Edit1"), Bevel1);
    Label1->setBuddy(Edit1);
    auto* riquadro = new QVBoxLayout(Bevel1);
    riquadro->addWidget(Label1);
    riquadro->addWidget(Edit1);
    riquadro->addStretch();

    OKBtn = creaOKBtn(this);
    CancelBtn = creaCancelBtn(this);
    auto* pulsanti = new QHBoxLayout;
    pulsanti->addStretch();
    pulsanti->addWidget(OKBtn);
    pulsanti->addWidget(CancelBtn);
    pulsanti->addStretch();

    auto* colonna = new QVBoxLayout(this);
    colonna->addWidget(Bevel1, 1);
    colonna->addLayout(pulsanti);
    setFixedSize(317, 148);

    connect(OKBtn, &QPushButton::clicked, this, &TQorIn1Form::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TQorIn1Form::CancelBtnClick);
}

bool TQorIn1Form::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

void TQorIn1Form::OKBtnClick()
{
    guardia_([&] {
        Esito = 1;
        accept();
    });
}

void TQorIn1Form::CancelBtnClick()
{
    guardia_([&] {
        Esito = 2;
        reject();
    });
}

void TQorIn1Form::FormActivate()
{
    guardia_([&] { Edit1->setFocus(); });
}

}  // namespace korva::gui
