#include "gui/basemain.h"

#include "base/percorsi.h"
#include "gui/genarc.h"
#include "gui/import.h"
#include "gui/info.h"
#include "gui/korva.h"
#include "gui/personal.h"
#include "gui/qortdir.h"
#include "gui/qorwdir.h"
#include "shell/cambio_ditta.h"
#include "shell/directory_ditta.h"
#include "shell/gestione_tabelle.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

namespace korva::gui {

int codiceTasto(int tastoQt)
{
    if (tastoQt >= Qt::Key_F1 && tastoQt <= Qt::Key_F24)
        return 112 + (tastoQt - Qt::Key_F1);
    if ((tastoQt >= Qt::Key_A && tastoQt <= Qt::Key_Z) || (tastoQt >= Qt::Key_0 && tastoQt <= Qt::Key_9))
        return tastoQt;
    return 0;
}

TBaseMainForm::TBaseMainForm(std::string percorsoImpostazioni, QWidget* parent)
    : QMainWindow(parent),
      percorsoImpostazioni_(std::move(percorsoImpostazioni)),
      interazione_(this),
      chiusura_({
          [this](bool attivo) { attivo ? Timer1->start() : Timer1->stop(); },
          // Queued, so that the window closes from the event loop once the command that
          // asked for it has returned.
          [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); },
          [] { chiudiFinestreModali(); },
      }),
      guardia_(interazione_, chiusura_)
{
    setObjectName(QStringLiteral("BaseMainForm"));
    interazione_.impostaChiusura(&chiusura_);
    setCentralWidget(new QWidget(this));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TBaseMainForm::Timer1Timer);

    creaMenu();
    resize(450, 300);
    if (QScreen* schermo = screen()) {
        QRect r = frameGeometry();
        r.moveCenter(schermo->availableGeometry().center());
        move(r.topLeft());
    }

    FormCreate();
}

TBaseMainForm::~TBaseMainForm()
{
    // The holder goes before the port and the controller it may still be using.
    TabForm.reset();
}

void TBaseMainForm::creaMenu()
{
    auto voce = [this](QMenu* menu, const char* nome, const char* testo, void (TBaseMainForm::*slot)()) {
        QAction* a = menu->addAction(QString::fromUtf8(testo));
        a->setObjectName(QString::fromLatin1(nome));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    Sistema1 = menuBar()->addMenu(QStringLiteral("&Sistema"));
    DirectoryTracciatiRecord1 = voce(Sistema1, "DirectoryTracciatiRecord1", "&Directory tracciati record 1",
                                     &TBaseMainForm::DirectoryTracciatiRecord1Click);
    Directorytracciatirecord21 = voce(Sistema1, "Directorytracciatirecord21", "Directory tracciati record 2",
                                      &TBaseMainForm::Directorytracciatirecord21Click);
    Directoryarchivi1 = voce(Sistema1, "Directoryarchivi1", "Directory &archivi",
                             &TBaseMainForm::Directoryarchivi1Click);
    ArchivioInterbase1 = voce(Sistema1, "ArchivioInterbase1", "Archivio Interbase",
                              &TBaseMainForm::ArchivioInterbase1Click);
    Directorybakriparaz1 = voce(Sistema1, "Directorybakriparaz1", "Directory &bak. riparaz.",
                                &TBaseMainForm::Directorybakriparaz1Click);
    Personalizzazioni1 = voce(Sistema1, "Personalizzazioni1", "&Personalizzazioni",
                              &TBaseMainForm::Personalizzazioni1Click);
    Creaarchividilavoro1 = voce(Sistema1, "Creaarchividilavoro1", "&Crea archivi di lavoro",
                                &TBaseMainForm::Creaarchividilavoro1Click);
    Sistema1->addSeparator();
    Esci1 = voce(Sistema1, "Esci1", "&Esci", &TBaseMainForm::Esci1Click);

    Tabelle1 = menuBar()->addMenu(QStringLiteral("&Tabelle"));
    GestioneTabelle1 = voce(Tabelle1, "GestioneTabelle1", "Gestione Tabelle &1",
                            &TBaseMainForm::GestioneTabelle1Click);
    GestioneTabelle21 = voce(Tabelle1, "GestioneTabelle21", "Gestione Tabelle &2",
                             &TBaseMainForm::GestioneTabelle21Click);

    Elaborazioni1 = menuBar()->addMenu(QStringLiteral("Elaborazioni"));
    ImportadaParadoxaInterbase1 = Elaborazioni1->addMenu(QStringLiteral("Importa da Paradox a Interbase"));
    Tabelle11 = voce(ImportadaParadoxaInterbase1, "Tabelle11", "Tabelle 1", &TBaseMainForm::Tabelle11Click);
    Tabelle21 = voce(ImportadaParadoxaInterbase1, "Tabelle21", "Tabelle 2", &TBaseMainForm::Tabelle21Click);
    ImportadaInterbaseaParadox1 = Elaborazioni1->addMenu(QStringLiteral("Importa da Interbase a Paradox"));
    Tabelle12 = voce(ImportadaInterbaseaParadox1, "Tabelle12", "Tabelle 1", &TBaseMainForm::Tabelle12Click);
    Tabelle22 = voce(ImportadaInterbaseaParadox1, "Tabelle22", "Tabelle 2", &TBaseMainForm::Tabelle22Click);

    Info1 = menuBar()->addMenu(QStringLiteral("&Info"));
    Informazioni1 = voce(Info1, "Informazioni1", "&Informazioni", &TBaseMainForm::Informazioni1Click);
}

void TBaseMainForm::FormCreate()
{
    AvvioDir = directoryCorrente();
    guardia_([&] {
        TabForm = std::make_unique<TTabForm>(interazione_, AvvioDir, percorsoImpostazioni_);
        aggiornaTitolo();
        chiusura_.avvio(*TabForm, interazione_);
    });
    aggiornaTitolo();
    abilitaComandi();
}

void TBaseMainForm::aggiornaTitolo()
{
    setWindowTitle(QStringLiteral("KORVAWIN - Ditta: ") +
                   (TabForm ? QString::fromStdString(TabForm->NomeDitta) : QString()));
}

void TBaseMainForm::abilitaComandi()
{
    // Without a settings holder only the commands that need none are offered.
    const bool impostazioni = TabForm != nullptr;
    for (QAction* a : {DirectoryTracciatiRecord1, Directorytracciatirecord21, Directoryarchivi1,
                       ArchivioInterbase1, Directorybakriparaz1, Personalizzazioni1,
                       Creaarchividilavoro1, GestioneTabelle1, GestioneTabelle21, Tabelle11,
                       Tabelle21, Tabelle12, Tabelle22})
        a->setEnabled(impostazioni);
}

void TBaseMainForm::FormClose()
{
    chiusura_.chiusa();
    TabForm.reset();
}

void TBaseMainForm::closeEvent(QCloseEvent* e)
{
    if (chiusa_) {
        e->accept();
        return;
    }
    if (chiusura_.occupato()) {
        // A command still uses the holder: the window closes when it has ended.
        e->ignore();
        chiusura_.richiediChiusura();
        return;
    }
    chiusa_ = true;
    FormClose();
    e->accept();
}

void TBaseMainForm::keyReleaseEvent(QKeyEvent* e)
{
    if (e->isAutoRepeat()) {
        QMainWindow::keyReleaseEvent(e);
        return;
    }
    FormKeyUp(codiceTasto(e->key()));
}

void TBaseMainForm::FormKeyUp(int tasto)
{
    F11F12Ditte(tasto);
}

void TBaseMainForm::F11F12Ditte(int tasto)
{
    if (!TabForm || (tasto != 122 && tasto != 123))
        return;
    guardia_([&] {
        if (tasto == 122)
            chiusura_.richiestaDiChiusura(*TabForm, interazione_);
        else if (CambioDitta(TabForm, interazione_))
            aggiornaTitolo();
    });
}

void TBaseMainForm::Timer1Timer()
{
    guardia_([&] {
        if (TabForm)
            chiusura_.Timer1Timer(*TabForm);
    });
}

void TBaseMainForm::sceltaDirectory(DirectoryDitta quale)
{
    guardia_([&] {
        SceltaDirectoryDitta(*TabForm, quale, [&](const std::string& titolo, const std::string& attuale)
                                                  -> std::optional<std::string> {
            std::unique_ptr<SceltaDirectoryForm> finestra;
            if (quale == DirectoryDitta::Tracciati1 || quale == DirectoryDitta::Tracciati2)
                finestra = std::make_unique<TQorTDirForm>(this, guardia_);
            else
                finestra = std::make_unique<TQorWDirForm>(this, guardia_);
            finestra->setWindowTitle(QString::fromStdString(titolo));
            finestra->apriSu(attuale);
            guardia_.modale(*finestra);
            if (finestra->Esito != 1)
                return std::nullopt;
            return finestra->DirectoryListBox1->directory().toStdString();
        });
    });
}

void TBaseMainForm::DirectoryTracciatiRecord1Click()
{
    sceltaDirectory(DirectoryDitta::Tracciati1);
}

void TBaseMainForm::Directorytracciatirecord21Click()
{
    sceltaDirectory(DirectoryDitta::Tracciati2);
}

void TBaseMainForm::Directoryarchivi1Click()
{
    sceltaDirectory(DirectoryDitta::Archivi);
}

void TBaseMainForm::Directorybakriparaz1Click()
{
    sceltaDirectory(DirectoryDitta::BakRiparazioni);
}

void TBaseMainForm::ArchivioInterbase1Click()
{
    guardia_([&] {
        // The choice would be written for the company: said before the user chooses.
        TabForm->richiediDittaNota();
        const std::string filtro = kFiltroOpenDialog1;
        QFileDialog OpenDialog1(this);
        OpenDialog1.setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1.setOption(QFileDialog::DontUseNativeDialog);
        OpenDialog1.setAcceptMode(QFileDialog::AcceptOpen);
        // A name that does not exist yet may be typed: the archive is then created.
        OpenDialog1.setFileMode(QFileDialog::AnyFile);
        OpenDialog1.setNameFilter(QString::fromStdString(filtro.substr(0, filtro.find('|'))));
        OpenDialog1.setDirectory(QString::fromStdString(cartellaSceltaArchivio(
            TabForm->Archivio, QCoreApplication::applicationDirPath().toStdString())));
        const std::string& archivio = TabForm->Archivio;
        OpenDialog1.selectFile(QString::fromStdString(archivio.substr(archivio.find_last_of("\\/:") + 1)));
        if (guardia_.modale(OpenDialog1) != QDialog::Accepted || OpenDialog1.selectedFiles().isEmpty())
            return;
        ImpostaArchivio(*TabForm, OpenDialog1.selectedFiles().constFirst().toStdString());
    });
}

void TBaseMainForm::Personalizzazioni1Click()
{
    guardia_([&] {
        TabForm->richiediDittaNota();
        {
            TPersonalForm finestra(this, TabForm, guardia_);
            finestra.setWindowTitle(QStringLiteral("Personalizzazioni - Ditta: ") +
                                    QString::fromStdString(TabForm->NomeDitta));
            guardia_.modale(finestra);
        }
        chiusura_.dopoOpzioni(*TabForm, interazione_);
    });
}

void TBaseMainForm::Creaarchividilavoro1Click()
{
    guardia_([&] {
        TGenArcForm finestra(this, TabForm, guardia_);
        guardia_.modale(finestra);
    });
}

void TBaseMainForm::Esci1Click()
{
    guardia_([&] { chiusura_.richiediChiusura(); });
}

void TBaseMainForm::apriGestioneTabelle(int quale)
{
    guardia_([&] {
        if (!PreparaGestioneTabelle(*TabForm, quale, interazione_))
            return;
        TKorvaForm finestra(this, quale == 2 ? TabForm->TracciatiDir2 : TabForm->TracciatiDir1, TabForm,
                            guardia_);
        // Modal for the main window only: the print previews it opens have no parent and must
        // be usable while it stays open.
        finestra.setWindowModality(Qt::WindowModal);
        guardia_.modale(finestra);
    });
}

void TBaseMainForm::GestioneTabelle1Click()
{
    apriGestioneTabelle(1);
}

void TBaseMainForm::GestioneTabelle21Click()
{
    apriGestioneTabelle(2);
}

namespace {

// The import window over the dictionary of record-layout directory 1 or 2, in one direction.
void apriImportazione(QWidget* owner, Guardia& guardia, std::unique_ptr<TTabForm>& tabForm, int quale,
                      const char* direzione)
{
    guardia([&] {
        const std::string& tracciati = richiediDirectory(
            *tabForm, quale == 2 ? DirectoryLavoro::Tracciati2 : DirectoryLavoro::Tracciati1);
        TImportForm finestra(owner, tracciati, direzione, tabForm, guardia);
        guardia.modale(finestra);
    });
}

}  // namespace

void TBaseMainForm::Tabelle11Click()
{
    apriImportazione(this, guardia_, TabForm, 1, "PARADOX");
}

void TBaseMainForm::Tabelle21Click()
{
    apriImportazione(this, guardia_, TabForm, 2, "PARADOX");
}

void TBaseMainForm::Tabelle12Click()
{
    apriImportazione(this, guardia_, TabForm, 1, "INTERBASE");
}

void TBaseMainForm::Tabelle22Click()
{
    apriImportazione(this, guardia_, TabForm, 2, "INTERBASE");
}

void TBaseMainForm::Informazioni1Click()
{
    guardia_([&] {
        TInfoForm finestra(this, guardia_);
        guardia_.modale(finestra);
    });
}

}  // namespace korva::gui
