#include "gui/genarc.h"

#include "gui/guardia.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korva::gui {

TGenArcForm::TGenArcForm(QWidget* owner, std::unique_ptr<TTabForm>& tabForm, Guardia& guardia)
    : QDialog(owner), tabForm_(tabForm), guardia_(guardia)
{
    setObjectName(QStringLiteral("GenArcForm"));
    setWindowTitle(QStringLiteral("Generazione archivi di lavoro"));

    Panel1 = new QLabel(QStringLiteral("Premere un  pulsante"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setMinimumHeight(60);
    ButtonGenera = new QPushButton(QStringLiteral("&Genera"), this);
    ButtonGenera->setObjectName(QStringLiteral("ButtonGenera"));
    ButtonChiudi = new QPushButton(QStringLiteral("Ch&iudi"), this);
    ButtonChiudi->setObjectName(QStringLiteral("ButtonChiudi"));
    connect(ButtonGenera, &QPushButton::clicked, this, &TGenArcForm::ButtonGeneraClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TGenArcForm::ButtonChiudiClick);

    auto* pulsanti = new QHBoxLayout;
    pulsanti->addStretch(1);
    pulsanti->addWidget(ButtonGenera);
    pulsanti->addWidget(ButtonChiudi);
    pulsanti->addStretch(1);
    auto* colonna = new QVBoxLayout(this);
    colonna->addWidget(Panel1);
    colonna->addLayout(pulsanti);
    resize(320, 140);

    generatore_ = std::make_unique<GeneratoreArchivi>(guardia_.interazione(), *tabForm_);
}

TGenArcForm::~TGenArcForm() = default;

void TGenArcForm::ButtonGeneraClick()
{
    guardia_([&] { generatore_->Genera(); });
}

void TGenArcForm::ButtonChiudiClick()
{
    accept();
}

}  // namespace korva::gui
