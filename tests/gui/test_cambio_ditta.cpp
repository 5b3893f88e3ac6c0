#include "base/profilo.h"
#include "dictionary/generatore.h"
#include "engines/paradox/table.h"
#include "gui/basemain.h"
#include "gui/korva.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;
using korva::test::DittaProva;

// F12 over the company list NomiDit.db, in the order of its index "Descrizione".
class TestCambioDitta : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void treDitteDallUltimaAllaPrima()
    {
        DittaProva d;
        const std::string belle = "Bellè & figli";  // stored in CP1252
        d.scriviNomiDit({"Verdi", "Rossi", belle});
        d.scriviNomiDit({"Verdi", "Rossi", belle}, "bin2");
        for (const std::string& ditta : {std::string("Verdi"), belle}) {
            ProfiloPrivato p(d.ini());
            p.scrivi(ditta, "Directory di lavoro", "/dati/" + ditta + "/");
            p.scrivi(ditta, "Directory bin", d.percorso("bin2/").toStdString());
        }
        QDir().mkpath(d.percorso("bin2/stato"));
        d.imposta("ObbedisciStato", "Si");
        Copione c;
        TBaseMainForm w(d.ini());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.Timer1->isActive());

        // Index order: "Bellè & figli", "Rossi", "Verdi".
        const TTabForm* prima = w.TabForm.get();
        QTest::keyClick(&w, Qt::Key_F12);
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Verdi"));
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("Verdi\r\n"));
        QVERIFY(w.TabForm.get() != prima);
        QCOMPARE(w.TabForm->LavoroDir, std::string("/dati/Verdi/"));
        QCOMPARE(w.TabForm->ObbedisciStato, std::string("No"));

        QTest::keyClick(&w, Qt::Key_F12);
        QCOMPARE(w.windowTitle(), QString::fromStdString("KORVAWIN - Ditta: " + belle));
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("Bell\xE8 & figli\r\n"));
        QCOMPARE(w.TabForm->LavoroDir, "/dati/" + belle + "/");

        // The switch leaves the timer as it was; it now reads the new company's state file.
        QVERIFY(w.Timer1->isActive());
        d.scrivi("bin2/stato/STATO.TXT", "CHIUDITI");
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2500);
        QVERIFY(c.imprevisti.isEmpty());
    }

    void unaDittaSolaRileggeLeSueImpostazioni()
    {
        DittaProva d;
        d.scrivi("ditta.cfg", "Rossi\n");
        d.scriviNomiDit({"Rossi"});
        TBaseMainForm w(d.ini());
        d.imposta("Directory di lavoro", "/nuova/");
        QCOMPARE(w.TabForm->LavoroDir, std::string("C:\\WINDOWS"));
        w.F11F12Ditte(123);
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("Rossi\r\n"));
        QCOMPARE(w.TabForm->LavoroDir, std::string("/nuova/"));
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Rossi"));
    }

    // Two companies: each F12 goes to the other one, the last leading back to the first.
    void dueDitteSiAlternano()
    {
        DittaProva d("Verdi");
        d.scriviNomiDit({"Verdi", "Rossi"});
        ProfiloPrivato(d.ini()).scrivi("Rossi", "Directory bin", d.bin());
        Copione c;
        TBaseMainForm w(d.ini());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::keyClick(&w, Qt::Key_F12);
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Rossi"));
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("Rossi\r\n"));
        QTest::keyClick(&w, Qt::Key_F12);
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: Verdi"));
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("Verdi\r\n"));
        QCOMPARE(w.TabForm->NomeDitta, std::string("Verdi"));
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join(';')));
    }

    void nomeAssenteOElencoMancante()
    {
        DittaProva d;
        d.scrivi("ditta.cfg", "rossi\n");  // the list holds "Rossi": no match
        TBaseMainForm w(d.ini());
        const TTabForm* prima = w.TabForm.get();

        // Without the list: the engine's failure is shown, nothing changes.
        Copione c;
        c.rispondi(QMessageBox::Ok);
        w.F11F12Ditte(123);
        QCOMPARE(c.visti.size(), 1);
        QVERIFY2(c.visti[0].startsWith("Progetto KORVAWIN|errore|"), qPrintable(c.visti[0]));
        QVERIFY(w.TabForm.get() == prima);

        d.scriviNomiDit({"Rossi", "Verdi"});
        w.F11F12Ditte(123);
        QTest::qWait(50);
        QVERIFY(c.imprevisti.isEmpty());
        QCOMPARE(d.leggi("ditta.cfg"), QByteArray("rossi\n"));
        QVERIFY(w.TabForm.get() == prima);
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVAWIN - Ditta: rossi"));
    }

    // "Gestione Tabelle": the work paths are read again and KORVA.DB of the record-layout
    // directory is test-opened.
    void gestioneTabelleProvaLApertura()
    {
        DittaProva d;
        d.imposta("Directory tracciati record", d.percorso("tr1/").toStdString());
        TBaseMainForm w(d.ini());
        Copione c;
        c.rispondi(QMessageBox::Ok);
        w.GestioneTabelle1Click();
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Errore apertura tabelle: verificare "
                                      "impostazione directory di lavoro|OK"});

        // A dictionary set from elsewhere after the start is seen: the table manager opens on it.
        d.imposta("Directory tracciati record 2", d.percorso("tr2/").toStdString());
        QDir().mkpath(d.percorso("tr2"));
        CreaDizionario(paradox::Session::standard(), d.percorso("tr2/").toStdString(), {});
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TKorvaForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->gestione().TracciatiDir(), d.percorso("tr2/").toStdString());
            f->ButtonChiudi->click();
        });
        w.GestioneTabelle21Click();
        QTest::qWait(50);
        QCOMPARE(c.visti.size(), 1);
        QVERIFY(c.imprevisti.isEmpty());
        QCOMPARE(w.TabForm->TracciatiDir2, d.percorso("tr2/").toStdString());

        // A damaged file is a failure to open like any other.
        d.scrivi("tr2/KORVA/KORVA.DB", "non una tabella");
        c.rispondi(QMessageBox::Ok);
        w.GestioneTabelle21Click();
        QCOMPARE(c.visti.size(), 2);
        QCOMPARE(c.visti[1], c.visti[0]);
    }
};

QTEST_MAIN(TestCambioDitta)
#include "test_cambio_ditta.moc"
