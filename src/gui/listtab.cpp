#include "gui/listtab.h"

#include "engines/interbase/catalog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace korva::gui {

TListTabForm::TListTabForm(QWidget* owner, ib::Database& database, ib::Transaction& transazione)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("ListTabForm"));
    setWindowTitle(QStringLiteral("ListTabForm"));

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    for (const std::string& nome : ib::nomiTabelleUtente(database, &transazione))
        ListBox1->addItem(QString::fromStdString(nome));
    Label1 = new QLabel(QStringLiteral("Attenzione: lettura chiavi IB non "), this);
    Label2 = new QLabel(QStringLiteral("funzionante."), this);
    for (QLabel* l : {Label1, Label2}) {
        l->setStyleSheet(QStringLiteral("color: red;"));
        l->hide();
    }
    ButtonApri = new QPushButton(QStringLiteral("Apri"), this);
    ButtonApri->setObjectName(QStringLiteral("ButtonApri"));
    ButtonApri->setDefault(true);
    ButtonAnnulla = new QPushButton(QStringLiteral("Annulla"), this);
    ButtonAnnulla->setObjectName(QStringLiteral("ButtonAnnulla"));
    ButtonAnnulla->setAutoDefault(false);

    auto* pulsanti = new QVBoxLayout;
    pulsanti->addWidget(ButtonApri);
    pulsanti->addWidget(ButtonAnnulla);
    pulsanti->addStretch();
    auto* alto = new QHBoxLayout;
    alto->addWidget(ListBox1, 1);
    alto->addLayout(pulsanti);
    auto* colonna = new QVBoxLayout(this);
    colonna->addLayout(alto, 1);
    colonna->addWidget(Label1);
    colonna->addWidget(Label2);

    connect(ButtonApri, &QPushButton::clicked, this, &TListTabForm::ButtonApriClick);
    connect(ButtonAnnulla, &QPushButton::clicked, this, &TListTabForm::ButtonAnnullaClick);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TListTabForm::ListBox1DblClick);
}

std::string TListTabForm::tabellaScelta() const
{
    const auto scelte = ListBox1->selectedItems();
    return scelte.isEmpty() ? std::string() : scelte.first()->text().toStdString();
}

void TListTabForm::ButtonApriClick()
{
    Esito = 1;
    accept();
}

void TListTabForm::ButtonAnnullaClick()
{
    Esito = 2;
    reject();
}

void TListTabForm::ListBox1DblClick()
{
    if (!tabellaScelta().empty())
        ButtonApriClick();
}

}  // namespace korva::gui
