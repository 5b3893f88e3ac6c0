#include "gui/sceltab.h"

#include "dictionary/registrazione.h"
#include "gui/guardia.h"
#include "gui/pulsanti.h"
#include "gui/scelta_directory.h"

#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korva::gui {

namespace {

constexpr const char* kNomeIniziale = "*.db";

}  // namespace

TScelTabForm::TScelTabForm(QWidget* owner, std::string& dirScelta, std::string& nomeTabella,
                           const std::string& nomeDitta, const std::string& lavoroDir, Guardia& guardia)
    : QDialog(owner), dirScelta_(dirScelta), nomeTabella_(nomeTabella), lavoroDir_(lavoroDir), guardia_(guardia)
{
    setObjectName(QStringLiteral("ScelTabForm"));
    setWindowTitle(QStringLiteral("Query Generica - Ditta: ") + QString::fromStdString(nomeDitta));

    ButtonNomeTabella = new QPushButton(QStringLiteral("&Tabella da Inserire"), this);
    ButtonNomeTabella->setObjectName(QStringLiteral("ButtonNomeTabella"));
    ButtonNomeTabella->setAutoDefault(false);
    EditNomeTabella = new QLineEdit(this);
    EditNomeTabella->setObjectName(QStringLiteral("EditNomeTabella"));
    ButtonPercorsoTabella = new QPushButton(QStringLiteral("Dir.Tab.da inserire"), this);
    ButtonPercorsoTabella->setObjectName(QStringLiteral("ButtonPercorsoTabella"));
    ButtonPercorsoTabella->setAutoDefault(false);
    ButtonPercorsoTabella->setFocusPolicy(Qt::NoFocus);
    EditPercorsoTabella = new QLineEdit(this);
    EditPercorsoTabella->setObjectName(QStringLiteral("EditPercorsoTabella"));
    EditPercorsoTabella->setReadOnly(true);
    OKBtn = creaOKBtn(this);
    CancelBtn = creaCancelBtn(this);

    auto* campi = new QGridLayout;
    campi->addWidget(ButtonNomeTabella, 0, 0);
    campi->addWidget(EditNomeTabella, 0, 1);
    campi->addWidget(ButtonPercorsoTabella, 1, 0);
    campi->addWidget(EditPercorsoTabella, 1, 1);
    campi->setColumnStretch(1, 1);
    auto* pulsanti = new QHBoxLayout;
    pulsanti->addStretch();
    pulsanti->addWidget(OKBtn);
    pulsanti->addWidget(CancelBtn);
    pulsanti->addStretch();
    auto* colonna = new QVBoxLayout(this);
    colonna->addLayout(campi);
    colonna->addStretch();
    colonna->addLayout(pulsanti);
    setFixedSize(460, 130);

    connect(ButtonNomeTabella, &QPushButton::clicked, this, &TScelTabForm::ButtonNomeTabellaClick);
    connect(OKBtn, &QPushButton::clicked, this, &TScelTabForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TScelTabForm::CancelBtnClick);
}

bool TScelTabForm::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

void TScelTabForm::FormActivate()
{
    guardia_([&] { EditNomeTabella->setFocus(); });
}

void TScelTabForm::ButtonNomeTabellaClick()
{
    guardia_([&] {
        EditNomeTabella->setFocus();
        QFileDialog file(this);
        file.setOption(QFileDialog::DontUseNativeDialog);
        file.setFileMode(QFileDialog::ExistingFile);
        file.setDirectory(directoryDaMostrare(lavoroDir_));
        file.setNameFilter(QStringLiteral("*.DB"));
        file.selectFile(QString::fromLatin1(kNomeIniziale));
        // Whatever the outcome, the dialog's file name: after a cancel still the first one.
        std::string scelto = kNomeIniziale;
        if (guardia_.modale(file) == QDialog::Accepted && !file.selectedFiles().isEmpty())
            scelto = file.selectedFiles().first().toStdString();
        const size_t separatore = scelto.rfind('/');
        parteNome_ = separatore == std::string::npos ? scelto : scelto.substr(separatore + 1);
        const std::string parteDir = separatore == std::string::npos ? std::string() : scelto.substr(0, separatore + 1);
        EditPercorsoTabella->setText(QString::fromStdString(parteDir));
        EditNomeTabella->setText(QString::fromStdString(parteNome_));
    });
}

void TScelTabForm::OKBtnClick()
{
    guardia_([&] {
        if (!parteNome_.empty() && parteNome_ != kNomeIniziale) {
            nomeTabella_ = EditNomeTabella->text().toStdString();
            dirScelta_ = EditPercorsoTabella->text().toStdString();
        } else {
            guardia_.interazione().messaggio(kScegliereTabella);
        }
        accept();
    });
}

void TScelTabForm::CancelBtnClick()
{
    reject();
}

}  // namespace korva::gui
