// Shows the main window with one of its windows open, for scripts/screenshots.
// Usage: vetrina_finestre WINDOW SETTINGS-FILE START-DIRECTORY

#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "gui/basemain.h"
#include "gui/import.h"
#include "gui/korva.h"
#include "gui/listtab.h"
#include "gui/percorso_tabella.h"
#include "gui/qorin1.h"
#include "gui/sceltab.h"
#include "gui/traduzioni.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QTabBar>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <map>

// The table manager on the row of clienti, after a press of "&4. Crea Tabella   ": the demo's
// table files are removed first, so that the creation succeeds and says so.
static void creaClienti(korva::gui::TBaseMainForm& w)
{
    QTimer::singleShot(200, &w, [] {
        if (auto* f = qobject_cast<korva::gui::TKorvaForm*>(QApplication::activeModalWidget())) {
            f->gestione().vaiA("clienti");
            f->gestione().ImpostaPercorsoTabellaCorrente();
            QDir cartella(QString::fromStdString(f->gestione().DirTabellaCorrente));
            for (const QString& file : cartella.entryList({"clienti.*"}, QDir::Files))
                cartella.remove(file);
            f->ButtonCreaTabella->click();
        }
    });
    w.GestioneTabelle1Click();
}

// The preview of clienti's layout: "&8. Stampa tabella " confirmed, then the table manager
// closed, since the preview lives on its own.
static void stampaClienti(korva::gui::TBaseMainForm& w)
{
    QTimer::singleShot(200, &w, [] {
        auto* f = qobject_cast<korva::gui::TKorvaForm*>(QApplication::activeModalWidget());
        if (!f)
            return;
        f->gestione().vaiA("clienti");
        QTimer::singleShot(100, f, [f] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Ok)->click();
            QTimer::singleShot(100, f, [f] { f->ButtonChiudi->click(); });
        });
        f->ButtonStampaTabella->click();
    });
    w.GestioneTabelle1Click();
}

// The table manager on one page of its notebook, with its busy caption at work.
static void mostraPagina(korva::gui::TBaseMainForm& w, int pagina, bool elaborazione)
{
    QTimer::singleShot(200, &w, [=] {
        if (auto* f = qobject_cast<korva::gui::TKorvaForm*>(QApplication::activeModalWidget())) {
            f->gestione().vaiA("clienti");
            f->TabSet1->setCurrentIndex(pagina);
            if (elaborazione)
                f->gestione().InizioElaborazione();
        }
    });
    w.GestioneTabelle1Click();
}

// The choice of a Paradox table to register: as the file dialog leaves it, or with the file
// dialog itself open over it.
static void sceltaTabella(korva::gui::TBaseMainForm& w, bool dialogoFile)
{
    std::string dir, nome;
    korva::gui::TScelTabForm f(&w, dir, nome, w.TabForm->NomeDitta, w.TabForm->LavoroDir, w.guardia());
    if (dialogoFile) {
        QTimer::singleShot(100, f.ButtonNomeTabella, &QPushButton::click);
    } else {
        f.EditNomeTabella->setText(QStringLiteral("clienti.DB"));
        f.EditPercorsoTabella->setText(QString::fromStdString(w.TabForm->LavoroDir) + QStringLiteral("archivi/"));
    }
    f.exec();
}

// The archive's tables as the registration shows them, one of them selected.
static void listaTabelle(korva::gui::TBaseMainForm& w)
{
    w.TabForm->ConnettiDatabaseIB();
    korva::gui::TListTabForm f(&w, w.TabForm->IBDatabase1, w.TabForm->IBTransaction1);
    f.Label1->setVisible(true);
    f.Label2->setVisible(true);
    f.resize(295, 200);
    f.ListBox1->setCurrentRow(2);
    f.exec();
}

// The import window from the archive into an empty working directory, every table checked:
// during the copy of ordini, grown to 100,000 rows (the window held still at 40% of it), or
// once done, with its closing message.
static void importazione(korva::gui::TBaseMainForm& w, bool durante)
{
    w.TabForm->LavoroDir = QDir::currentPath().toStdString() + "/importati/";
    if (durante) {
        w.TabForm->ConnettiDatabaseIB();
        korva::ib::TransactionScope lavoro(w.TabForm->IBTransaction1);
        korva::ib::Query q(w.TabForm->IBDatabase1, &w.TabForm->IBTransaction1);
        q.sql = {"EXECUTE BLOCK AS DECLARE I INTEGER = 100000; BEGIN WHILE (I < 200000) DO BEGIN",
                 "INSERT INTO ORDINI (NUMERO, CODCLI, TOTALE) VALUES (:I, 'C00001', :I * 1.5);",
                 "I = I + 1; END END"};
        q.execSql();
        q.close();
        lavoro.commit();
    }
    QTimer::singleShot(100, &w, [durante] {
        auto* f = qobject_cast<korva::gui::TImportForm*>(QApplication::activeModalWidget());
        if (!f)
            return;
        f->SpeedButton1->click();
        if (durante) {
            auto* fermo = new QTimer(f);
            QObject::connect(fermo, &QTimer::timeout, f, [f, fermo] {
                if (f->Label1->text().endsWith(QStringLiteral("ordini")) && f->ProgressBar1->value() >= 40) {
                    fermo->stop();
                    QThread::sleep(30);
                }
            });
            fermo->start(1);
        }
        QTimer::singleShot(0, f->ButtonImporta, &QPushButton::click);
    });
    w.Tabelle12Click();
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(korva::kTitoloApplicazione));
    korva::gui::installaTraduzioniQt(app);
    if (argc != 4 || !QDir::setCurrent(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "uso: vetrina_finestre FINESTRA IMPOSTAZIONI DIRECTORY\n");
        return 2;
    }
    using korva::gui::TBaseMainForm;
    TBaseMainForm w(argv[2]);
    w.show();

    const std::map<std::string, std::function<void()>> finestre = {
        {"principale", [] {}},
        {"menu", [&] { w.menuBar()->setActiveAction(w.Sistema1->menuAction()); }},
        {"menu-elaborazioni",
         [&] {
             w.menuBar()->setActiveAction(w.Elaborazioni1->menuAction());
             w.Elaborazioni1->setActiveAction(w.ImportadaParadoxaInterbase1->menuAction());
             w.ImportadaParadoxaInterbase1->popup(
                 w.Elaborazioni1->geometry().topRight() +
                 QPoint(0, w.Elaborazioni1->actionGeometry(w.ImportadaParadoxaInterbase1->menuAction()).top()));
         }},
        {"qortdir", [&] { w.DirectoryTracciatiRecord1Click(); }},
        {"qorwdir", [&] { w.Directoryarchivi1Click(); }},
        {"archivio", [&] { w.ArchivioInterbase1Click(); }},
        {"personal", [&] { w.Personalizzazioni1Click(); }},
        {"info", [&] { w.Informazioni1Click(); }},
        {"genarc", [&] { w.Creaarchividilavoro1Click(); }},
        {"gestione", [&] { w.GestioneTabelle1Click(); }},
        {"gestione-campi", [&] { mostraPagina(w, 1, false); }},
        {"gestione-indici", [&] { mostraPagina(w, 2, false); }},
        {"gestione-manutenzione", [&] { mostraPagina(w, 3, true); }},
        {"gestione-crea", [&] { creaClienti(w); }},
        {"anteprima-stampa", [&] { stampaClienti(w); }},
        {"qorin1",
         [&] {
             korva::gui::TQorIn1Form f(&w, w.guardia());
             f.exec();
         }},
        {"sceltab", [&] { sceltaTabella(w, false); }},
        {"sceltab-file", [&] { sceltaTabella(w, true); }},
        {"listtab", [&] { listaTabelle(w); }},
        {"percorso-tabella",
         [&] {
             korva::gui::PercorsoTabellaForm f(&w, w.guardia());
             f.exec();
         }},
        {"importazione-in-corso", [&] { importazione(w, true); }},
        {"importazione-terminata", [&] { importazione(w, false); }},
        {"errore", [&] { w.interazione().errore("Tabella KORVA.DB inesistente"); }},
        {"domanda", [&] { w.interazione().domanda("Attenzione: Il Database selezionato non esiste. Crearlo?"); }},
        {"chiusura", [&] { w.F11F12Ditte(122); }},
        {"cambio-ditta", [&] { w.F11F12Ditte(123); }},
    };
    auto quale = finestre.find(argv[1]);
    if (quale == finestre.end()) {
        std::fprintf(stderr, "finestra sconosciuta: %s\n", argv[1]);
        return 2;
    }
    // Once the window is up: what to capture, as "title|x|y|width|height" on standard output.
    QTimer::singleShot(1200, &w, [&] {
        QWidget* finestra = QApplication::activeModalWidget();
        for (QWidget* anteprima : QApplication::topLevelWidgets())
            if (!finestra && anteprima->isVisible() && anteprima->objectName() == "AnteprimaStampa")
                finestra = anteprima;
        QRect area = (finestra ? finestra : &w)->geometry();
        // A message box is shown together with the dialog it answers for.
        if (auto* box = qobject_cast<QMessageBox*>(finestra); box && box->parentWidget() &&
                                                              box->parentWidget()->window() != &w)
            area |= box->parentWidget()->window()->geometry();
        const QString titolo = (finestra ? finestra : &w)->windowTitle();
        if (!finestra)
            for (QWidget* altra : QApplication::topLevelWidgets())
                if (altra->isVisible() && altra->windowType() == Qt::Popup)
                    area |= altra->geometry();
        std::printf("%s|%d|%d|%d|%d\n", qPrintable(titolo), area.x(), area.y(), area.width(), area.height());
        std::fflush(stdout);
    });
    QTimer::singleShot(300, &w, quale->second);
    return app.exec();
}
