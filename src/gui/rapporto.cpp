#include "gui/rapporto.h"

#include "base/interazione.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korva::gui {

TRapportoForm::TRapportoForm(const std::string& titolo, const std::vector<std::string>& righe, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("TRapportoForm");
    setWindowTitle(QString::fromUtf8(kTitoloApplicazione));
    LabelTitolo = new QLabel(QString::fromStdString(titolo), this);
    LabelTitolo->setWordWrap(true);
    LabelTitolo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MemoRighe = new QPlainTextEdit(this);
    MemoRighe->setObjectName("MemoRighe");
    MemoRighe->setReadOnly(true);
    MemoRighe->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList testo;
    for (const std::string& r : righe)
        testo << QString::fromStdString(r);
    MemoRighe->setPlainText(testo.join('\n'));
    MemoRighe->setVisible(!righe.empty());
    ButtonCopia = new QPushButton(QStringLiteral("&Copia"), this);
    ButtonSalva = new QPushButton(QStringLiteral("&Salva come testo..."), this);
    ButtonOk = new QPushButton(QStringLiteral("OK"), this);
    ButtonOk->setDefault(true);
    connect(ButtonCopia, &QPushButton::clicked, this, &TRapportoForm::ButtonCopiaClick);
    connect(ButtonSalva, &QPushButton::clicked, this, &TRapportoForm::ButtonSalvaClick);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* pulsanti = new QHBoxLayout;
    pulsanti->addWidget(ButtonCopia);
    pulsanti->addWidget(ButtonSalva);
    pulsanti->addStretch();
    pulsanti->addWidget(ButtonOk);
    auto* l = new QVBoxLayout(this);
    l->addWidget(LabelTitolo);
    l->addWidget(MemoRighe, 1);
    l->addLayout(pulsanti);
    resize(righe.empty() ? 480 : 760, righe.empty() ? 120 : 420);
}

QString TRapportoForm::testo() const
{
    QString t = LabelTitolo->text() + '\n';
    if (!MemoRighe->toPlainText().isEmpty())
        t += MemoRighe->toPlainText() + '\n';
    return t;
}

bool TRapportoForm::salvaIn(const QString& percorso) const
{
    QFile f(percorso);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    const QByteArray byte = testo().toUtf8();
    return f.write(byte) == byte.size() && f.flush();
}

void TRapportoForm::ButtonCopiaClick()
{
    QApplication::clipboard()->setText(testo());
}

void TRapportoForm::ButtonSalvaClick()
{
    const QString percorso = QFileDialog::getSaveFileName(this, QStringLiteral("Salva il rapporto"), QString(),
                                                          QStringLiteral("Testo (*.txt);;Tutti i file (*)"));
    if (percorso.isEmpty())
        return;
    if (!salvaIn(percorso))
        QMessageBox::warning(this, QString::fromUtf8(kTitoloApplicazione),
                             QStringLiteral("Impossibile salvare il rapporto in ") + percorso);
}

}  // namespace korva::gui
