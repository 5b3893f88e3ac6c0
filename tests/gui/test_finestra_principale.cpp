#include "gui/basemain.h"
#include "gui/info.h"
#include "gui/personal.h"
#include "gui/qorwdir.h"
#include "supporto_gui.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;
using korva::test::DittaProva;

namespace {

// Every menu entry as "menu > item" (separators as "-"), in order.
QStringList vociMenu(const QMenu* menu, const QString& prefisso)
{
    QStringList voci;
    for (QAction* a : menu->actions()) {
        const QString nome = prefisso + (a->isSeparator() ? QStringLiteral("-") : a->text());
        voci << nome;
        if (a->menu())
            voci << vociMenu(a->menu(), nome + " > ");
    }
    return voci;
}

}  // namespace

class TestFinestraPrincipale : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void titoloMenuEComponenti()
    {
        DittaProva d("Rossi S.p.A.");
        TBaseMainForm w(d.ini());
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Rossi S.p.A."));
        QCOMPARE(w.size(), QSize(450, 300));
        QCOMPARE(QString::fromStdString(w.AvvioDir), d.percorso());
        QCOMPARE(w.Timer1->interval(), 1000);
        QVERIFY(!w.Timer1->isActive());

        QStringList voci;
        for (QAction* a : w.menuBar()->actions())
            voci << a->text() << vociMenu(a->menu(), a->text() + " > ");
        const QStringList attese = {
            "&Sistema",
            "&Sistema > &Directory tracciati record 1",
            "&Sistema > Directory tracciati record 2",
            "&Sistema > Directory &archivi",
            "&Sistema > Archivio Interbase",
            "&Sistema > Directory &bak. riparaz.",
            "&Sistema > &Personalizzazioni",
            "&Sistema > &Crea archivi di lavoro",
            "&Sistema > -",
            "&Sistema > &Esci",
            "&Tabelle",
            "&Tabelle > Gestione Tabelle &1",
            "&Tabelle > Gestione Tabelle &2",
            "Elaborazioni",
            "Elaborazioni > Importa da Paradox a Interbase",
            "Elaborazioni > Importa da Paradox a Interbase > Tabelle 1",
            "Elaborazioni > Importa da Paradox a Interbase > Tabelle 2",
            "Elaborazioni > Importa da Interbase a Paradox",
            "Elaborazioni > Importa da Interbase a Paradox > Tabelle 1",
            "Elaborazioni > Importa da Interbase a Paradox > Tabelle 2",
            "&Info",
            "&Info > &Informazioni",
        };
        QCOMPARE(voci, attese);
        for (QAction* a : {w.DirectoryTracciatiRecord1, w.Personalizzazioni1, w.GestioneTabelle21, w.Tabelle22})
            QVERIFY(a->isEnabled());
    }

    void dittaCfgMancante()
    {
        DittaProva d;
        QFile::remove(d.percorso("ditta.cfg"));
        d.imposta("ObbedisciStato", "Si");
        Copione c;
        c.rispondi(QMessageBox::Ok);
        TBaseMainForm w(d.ini());
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Non trovato il file ditta.cfg: verificare "
                                      "directory associata all'icona programma|OK"});
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Ditta.cfg mancante o errato"));
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(w.TabForm->LavoroDir, std::string());
        QCOMPARE(w.TabForm->BinDir, std::string());
    }

    // A directory named ditta.cfg cannot be read: the company is unknown, as with no file,
    // and the window is usable.
    void dittaCfgCheEUnaCartella()
    {
        DittaProva d;
        QFile::remove(d.percorso("ditta.cfg"));
        QDir().mkpath(d.percorso("ditta.cfg"));
        Copione c;
        c.rispondi(QMessageBox::Ok);
        TBaseMainForm w(d.ini());
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Non trovato il file ditta.cfg: verificare "
                                      "directory associata all'icona programma|OK"});
        QVERIFY(w.TabForm);
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Ditta.cfg mancante o errato"));
        for (QAction* a : {w.DirectoryTracciatiRecord1, w.Directoryarchivi1, w.ArchivioInterbase1,
                           w.Personalizzazioni1, w.GestioneTabelle1, w.Tabelle11})
            QVERIFY(a->isEnabled());
    }

    // With the company unknown, no command writes its settings into the shared file: each
    // says why before its dialog would open.
    void dittaSconosciutaNonScriveLeImpostazioni()
    {
        DittaProva d;
        QFile::remove(d.percorso("ditta.cfg"));
        Copione c;
        c.rispondi(QMessageBox::Ok);
        TBaseMainForm w(d.ini());
        const QByteArray prima = d.leggi("varnelo.ini");
        const QString rifiuto = "Progetto KORVAWIN|errore|Impostazioni non salvate: la ditta non è nota, perché il "
                                "file ditta.cfg della directory " +
                                d.percorso() + " manca o è errato.|OK";
        const std::vector<void (TBaseMainForm::*)()> comandi = {
            &TBaseMainForm::DirectoryTracciatiRecord1Click, &TBaseMainForm::Directorytracciatirecord21Click,
            &TBaseMainForm::Directoryarchivi1Click,         &TBaseMainForm::Directorybakriparaz1Click,
            &TBaseMainForm::ArchivioInterbase1Click,        &TBaseMainForm::Personalizzazioni1Click};
        for (auto comando : comandi) {
            c.rispondi(QMessageBox::Ok);
            (w.*comando)();
        }
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join(';')));
        QCOMPARE(c.visti.mid(1), QStringList(6, rifiuto));
        QCOMPARE(d.leggi("varnelo.ini"), prima);
    }

    void chiusuraDalFileDiStato()
    {
        DittaProva d;
        d.imposta("ObbedisciStato", "Si");
        d.scrivi("bin/stato/STATO.TXT", "CHIUDITI");
        TBaseMainForm w(d.ini());
        w.show();
        // The request left by an earlier run is overwritten before the first tick.
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("APRITI"));
        QVERIFY(w.Timer1->isActive());
        QTest::qWait(1300);
        QVERIFY(w.isVisible());

        d.scrivi("bin/stato/STATO.TXT", "chiuditi");
        QTest::qWait(1300);
        QVERIFY(w.isVisible());
        QVERIFY(w.TabForm);

        d.scrivi("bin/stato/STATO.TXT", "CHIUDITI\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2500);
        QVERIFY(!w.TabForm);
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("CHIUDITI\r\n"));
    }

    void f11ConOpzioneSpentaNonChiedeNienteENonScrive()
    {
        for (const char* valore : {"No", "si"}) {
            DittaProva d;
            d.imposta("ObbedisciStato", valore);
            Copione c;
            TBaseMainForm w(d.ini());
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QTest::keyClick(&w, Qt::Key_F11);
            QTest::qWait(100);
            QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join(';')));
            QVERIFY(!d.esiste("bin/stato/STATO.TXT"));
            QVERIFY(!w.Timer1->isActive());
        }
    }

    void f11ChiedeConfermaEChiudeAlTickSuccessivo()
    {
        DittaProva d;
        d.imposta("ObbedisciStato", "Si");
        Copione c;
        c.rispondi(QMessageBox::Cancel);
        c.rispondi(QMessageBox::Ok);
        TBaseMainForm w(d.ini());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QTest::keyClick(&w, Qt::Key_F11);
        QTRY_VERIFY(c.visti.size() == 1);
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("APRITI"));

        // The key is taken on release, with any modifier held.
        QTest::keyClick(&w, Qt::Key_F11, Qt::ShiftModifier);
        QTRY_VERIFY(c.visti.size() == 2);
        const QString domanda = "Progetto KORVAWIN|domanda|Confermare stato di chiusura|OK/Cancel";
        QCOMPARE(c.visti, (QStringList{domanda, domanda}));
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("CHIUDITI"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2500);
        QVERIFY(!w.TabForm);
    }

    // "CHIUDITI" read while the options dialog is open: the dialog ends as cancelled, the
    // command finishes with its settings holder, and only then does the program close.
    void richiestaDuranteUnaFinestraModale()
    {
        DittaProva d;
        d.imposta("ObbedisciStato", "Si");
        TBaseMainForm w(d.ini());
        w.show();
        bool aperta = false;
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* opzioni = qobject_cast<TPersonalForm*>(finestra);
            QVERIFY(opzioni);
            aperta = true;
            opzioni->EditObbedisciStato->setChecked(false);  // never stored: the dialog is cancelled
            d.scrivi("bin/stato/STATO.TXT", "CHIUDITI");
        });
        w.Personalizzazioni1Click();
        QVERIFY(aperta);
        QVERIFY(c.imprevisti.isEmpty());
        QCOMPARE(d.impostazione("ObbedisciStato"), std::string("Si"));
        // The switch after the dialog did not take the request out of the file.
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("CHIUDITI"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2500);
        QVERIFY(!w.TabForm);
    }

    // Closing the window while a command has a modal window open waits for the command.
    void chiusuraRichiestaMentreUnComandoELavoro()
    {
        DittaProva d;
        TBaseMainForm w(d.ini());
        w.show();
        Copione c;
        bool vivoDopoLaRichiesta = false;
        c.poi([&](QWidget* finestra) {
            QVERIFY(qobject_cast<TInfoForm*>(finestra));
            w.close();
            vivoDopoLaRichiesta = w.TabForm != nullptr;
        });
        w.Informazioni1Click();
        QVERIFY(vivoDopoLaRichiesta);
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!w.TabForm);
    }

    void esciEFinestraChiusa()
    {
        DittaProva d;
        TBaseMainForm w(d.ini());
        w.show();
        w.Esci1->trigger();
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!w.TabForm);

        TBaseMainForm v(d.ini());
        v.show();
        QVERIFY(v.close());
        QVERIFY(!v.TabForm);
    }

    // A failure of the core reaches the general error display and the program goes on.
    void erroreGeneraleEIlProgrammaProsegue()
    {
        DittaProva d;
        const std::string ini = d.percorso("manca/varnelo.ini").toStdString();
        TBaseMainForm w(ini);
        w.show();
        Copione c;
        c.poi([](QWidget* finestra) {
            auto* scelta = qobject_cast<TQorWDirForm*>(finestra);
            QVERIFY(scelta);
            scelta->OKBtn->click();
        });
        c.rispondi(QMessageBox::Ok);
        c.poi([](QWidget* finestra) {
            QVERIFY(qobject_cast<TInfoForm*>(finestra));
            static_cast<TInfoForm*>(finestra)->OKBtn->click();
        });
        w.Directoryarchivi1Click();
        QCOMPARE(c.visti.size(), 1);
        QVERIFY2(c.visti[0].startsWith("Progetto KORVAWIN|errore|") && c.visti[0].endsWith(".|OK") &&
                     c.visti[0].contains(QString::fromStdString(ini)),
                 qPrintable(c.visti[0]));
        w.Informazioni1Click();
        QVERIFY(c.finito());
        QVERIFY(c.imprevisti.isEmpty());
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(TestFinestraPrincipale)
#include "test_finestra_principale.moc"
