#include "gui/listalck.h"

#include "gui/guardia.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace korva::gui {

namespace {
constexpr int kPercorso = Qt::UserRole;
}

TListaLckForm::TListaLckForm(QWidget* owner, const std::string& nomeDitta, ListaLck lista, Guardia& guardia)
    : QDialog(owner), lista_(std::move(lista)), guardia_(guardia)
{
    setObjectName(QStringLiteral("ListaLckForm"));
    setWindowTitle(QStringLiteral("Lista file .lck - Ditta: ") + QString::fromStdString(nomeDitta));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ButtonElimina = new QPushButton(QStringLiteral("&Elimina file selezionati"), this);
    ButtonElimina->setObjectName(QStringLiteral("ButtonElimina"));
    ButtonChiudi = new QPushButton(QStringLiteral("Ch&iudi"), this);
    ButtonChiudi->setObjectName(QStringLiteral("ButtonChiudi"));
    for (QPushButton* b : {ButtonElimina, ButtonChiudi})
        b->setAutoDefault(false);
    connect(ButtonElimina, &QPushButton::clicked, this, &TListaLckForm::ButtonEliminaClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TListaLckForm::ButtonChiudiClick);

    auto* pulsanti = new QHBoxLayout;
    pulsanti->addStretch(1);
    pulsanti->addWidget(ButtonElimina);
    pulsanti->addWidget(ButtonChiudi);
    pulsanti->addStretch(1);
    auto* colonna = new QVBoxLayout(this);
    colonna->addWidget(ListBox1, 1);
    colonna->addLayout(pulsanti);
    resize(600, 320);
    if (QScreen* schermo = owner ? owner->screen() : QApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(schermo->availableGeometry().center());
        move(r.topLeft());
    }
    mostra({});
}

void TListaLckForm::mostra(const std::vector<std::string>& selezionati)
{
    ListBox1->clear();
    for (const VoceLck& v : lista_.voci()) {
        auto* voce = new QListWidgetItem(QString::fromStdString(v.percorso + "   (" + v.descrizioneStato() + ")"),
                                         ListBox1);
        voce->setData(kPercorso, QString::fromStdString(v.percorso));
        voce->setSelected(std::find(selezionati.begin(), selezionati.end(), v.percorso) != selezionati.end());
    }
}

void TListaLckForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TListaLckForm::FormActivate()
{
    if (attivata_)
        return;
    attivata_ = true;
    ListBox1->selectAll();
}

void TListaLckForm::ButtonEliminaClick()
{
    guardia_([&] {
        std::vector<std::size_t> posizioni;
        std::vector<std::string> selezionati;
        for (int i = 0; i < ListBox1->count(); ++i)
            if (ListBox1->item(i)->isSelected()) {
                posizioni.push_back(static_cast<std::size_t>(i));
                selezionati.push_back(ListBox1->item(i)->data(kPercorso).toString().toStdString());
            }
        lista_.EliminaSelezionati(posizioni);
        mostra(selezionati);
    });
}

void TListaLckForm::ButtonChiudiClick()
{
    accept();
}

}  // namespace korva::gui
