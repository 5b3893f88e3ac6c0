#include "gui/info.h"

#include "gui/guardia.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace korva::gui {

TInfoForm::TInfoForm(QWidget* owner, Guardia& guardia) : QDialog(owner), guardia_(guardia)
{
    setObjectName(QStringLiteral("InfoForm"));
    setWindowTitle(QStringLiteral("Informazioni"));

    auto* riquadro = new QFrame(this);
    riquadro->setFrameShape(QFrame::Panel);
    riquadro->setFrameShadow(QFrame::Sunken);
    ProgramIcon = new QLabel(riquadro);
    ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
    ProductName = new QLabel(QStringLiteral("KORVAWIN"), riquadro);
    QFont grande = ProductName->font();
    grande.setBold(true);
    grande.setPointSizeF(grande.pointSizeF() * 1.4);
    ProductName->setFont(grande);
    Version = new QLabel(QStringLiteral("Versione " KORVA_VERSIONE), riquadro);
    Comments = new QLabel(QStringLiteral("Amministrazione delle tabelle archivi: dizionario "
                                         "dei dati, tabelle Paradox e archivio Interbase."),
                          riquadro);
    Comments->setWordWrap(true);

    auto* intestazione = new QHBoxLayout;
    intestazione->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* nomi = new QVBoxLayout;
    nomi->addWidget(ProductName);
    nomi->addWidget(Version);
    intestazione->addLayout(nomi, 1);
    auto* contenuto = new QVBoxLayout(riquadro);
    contenuto->addLayout(intestazione);
    contenuto->addSpacing(8);
    contenuto->addWidget(Comments);
    contenuto->addStretch();

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    auto* colonna = new QVBoxLayout(this);
    colonna->addWidget(riquadro, 1);
    colonna->addWidget(OKBtn, 0, Qt::AlignHCenter);
    setFixedSize(298, 209);

    connect(OKBtn, &QPushButton::clicked, this, &TInfoForm::OKBtnClick);
}

void TInfoForm::OKBtnClick()
{
    guardia_([&] { accept(); });
}

}  // namespace korva::gui
