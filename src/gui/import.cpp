#include "gui/import.h"

#include "gui/guardia.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace korva::gui {

TImportForm::TImportForm(QWidget* owner, std::string tracciatiDir, const std::string& direzione,
                         std::unique_ptr<TTabForm>& tabForm, Guardia& guardia)
    : QDialog(owner),
      tracciatiDir_(std::move(tracciatiDir)),
      direzione_(direzioneDaTesto(direzione)),
      tabForm_(tabForm),
      guardia_(guardia)
{
    setObjectName(QStringLiteral("ImportForm"));
    setWindowTitle(QString::fromStdString(titoloImportazione(direzione_, tabForm_->NomeDitta)));
    ListaTabelle = new QListWidget(this);
    ListaTabelle->setObjectName(QStringLiteral("ListaTabelle"));
    auto pulsante = [&](const char* nome, const char* testo, void (TImportForm::*slot)()) {
        auto* b = new QPushButton(QString::fromUtf8(testo), this);
        b->setObjectName(QString::fromUtf8(nome));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    ButtonImporta = pulsante("ButtonImporta", "Importa Tabelle", &TImportForm::ButtonImportaClick);
    SpeedButton1 = pulsante("SpeedButton1", "Seleziona tutto", &TImportForm::SpeedButton1Click);
    SpeedButton2 = pulsante("SpeedButton2", "Deseleziona tutto", &TImportForm::SpeedButton2Click);
    ButtonChiudi = pulsante("ButtonChiudi", "Ch&iudi", &TImportForm::ButtonChiudiClick);
    ButtonInterrompi = pulsante("ButtonInterrompi", "Interrompi", &TImportForm::ButtonInterrompiClick);
    Label1 = new QLabel(QStringLiteral("     "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("     "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar2 = new QProgressBar(this);
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    for (QProgressBar* b : {ProgressBar1, ProgressBar2}) {
        b->setRange(0, 100);
        b->setValue(0);
    }

    auto* colonna = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonImporta, SpeedButton1, SpeedButton2, ButtonChiudi,
                                                     ButtonInterrompi, Label1, Label2, ProgressBar1, ProgressBar2})
        colonna->addWidget(w);
    colonna->addStretch(1);
    auto* griglia = new QGridLayout(this);
    griglia->addWidget(ListaTabelle, 0, 0);
    griglia->addLayout(colonna, 0, 1);
    griglia->setColumnStretch(0, 1);
    resize(620, 400);
    if (QScreen* schermo = owner ? owner->screen() : QApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(schermo->availableGeometry().center());
        move(r.topLeft());
    }

    for (const std::string& nome : tabelleDelDizionario(tracciatiDir_)) {
        auto* voce = new QListWidgetItem(QString::fromStdString(nome), ListaTabelle);
        voce->setFlags(voce->flags() | Qt::ItemIsUserCheckable);
        voce->setCheckState(Qt::Unchecked);
    }
}

TImportForm::~TImportForm() = default;

bool TImportForm::inCorso() const
{
    return importazione_ && importazione_->inCorso();
}

void TImportForm::ButtonImportaClick()
{
    comandi_([&] {
        importazione_ = std::make_unique<Importazione>(guardia_.interazione(), *tabForm_, tracciatiDir_, direzione_,
                                                       static_cast<VistaImportazione&>(*this));
        std::vector<std::string> righe;
        for (int i = 0; i < ListaTabelle->count(); ++i)
            righe.push_back(ListaTabelle->item(i)->text().toStdString());
        ButtonImporta->setEnabled(false);
        struct Riabilita {
            QPushButton* b;
            ~Riabilita() { b->setEnabled(true); }
        } riabilita{ButtonImporta};
        importazione_->importa(righe, [&](std::size_t i) {
            // A line removed while the run processed events counts as unchecked.
            QListWidgetItem* voce = ListaTabelle->item(static_cast<int>(i));
            return voce && voce->checkState() == Qt::Checked;
        });
    });
}

void TImportForm::SpeedButton1Click()
{
    segnaTutte(true);
}

void TImportForm::SpeedButton2Click()
{
    segnaTutte(false);
}

void TImportForm::segnaTutte(bool spuntate)
{
    for (int i = 0; i < ListaTabelle->count(); ++i)
        ListaTabelle->item(i)->setCheckState(spuntate ? Qt::Checked : Qt::Unchecked);
}

void TImportForm::ButtonChiudiClick()
{
    close();
}

void TImportForm::ButtonInterrompiClick()
{
    if (importazione_)
        importazione_->interrompi();
}

void TImportForm::done(int esito)
{
    // The run is inside this window's event processing: it is stopped, and the window closes
    // once the run has moved what it copied and returned.
    if (inCorso())
        importazione_->interrompi();
    if (!comandi_.rinviaChiusura(esito))
        QDialog::done(esito);
}

void TImportForm::etichettaTabella(const std::string& testo)
{
    Label1->setText(QString::fromStdString(testo));
    Label1->repaint();
}

void TImportForm::etichettaRecord(const std::string& testo)
{
    Label2->setText(QString::fromStdString(testo));
}

void TImportForm::barraTabella(int percento)
{
    ProgressBar1->setValue(percento);
}

void TImportForm::barraTabelle(int percento)
{
    ProgressBar2->setValue(percento);
}

}  // namespace korva::gui
