// "&1. Aggiungi tabella" through its dialogs, in both modes, on the demo's tables and archive.

#include "dictionary/demo.h"
#include "dictionary/demo_dati.h"
#include "dictionary/generatore.h"
#include "gui/basemain.h"
#include "gui/korva.h"
#include "gui/listtab.h"
#include "gui/percorso_tabella.h"
#include "gui/sceltab.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;

namespace {

// The demo's tables in the data directory and in the archive; dictionary 2 empty.
struct DittaConTabelle : korva::test::DittaProva {
    DittaConTabelle()
    {
        for (const char* d : {"dati", "tr1", "tr2"})
            QDir().mkpath(percorso(d));
        imposta("Directory di lavoro", percorso("dati/").toStdString());
        imposta("Directory tracciati record", percorso("tr1/").toStdString());
        imposta("Directory tracciati record 2", percorso("tr2/").toStdString());
        imposta("Archivio", percorso("archivio.gdb").toStdString());
        CreaDizionario(paradox::Session::standard(), percorso("tr2/").toStdString(), {});
        CreaTabelleDemo(percorso("dati/").toStdString(), percorso("archivio.gdb").toStdString());
    }
};

QStringList riga(QTableView& griglia)
{
    QStringList valori;
    const int r = griglia.currentIndex().row();
    for (int c = 0; r >= 0 && c < griglia.model()->columnCount(); ++c)
        valori << griglia.model()->index(r, c).data().toString();
    return valori;
}

void attendi()
{
    QCoreApplication::processEvents();
}

}  // namespace

class TestRegistrazione : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void paradoxDalDialogoDiScelta()
    {
        DittaConTabelle d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir2, w.TabForm, w.guardia());
        f.show();
        Copione c;
        // OK before a file is chosen: the dialog's message, nothing registered.
        c.poi([](QWidget* finestra) {
            auto* s = qobject_cast<TScelTabForm*>(finestra);
            QVERIFY(s);
            QCOMPARE(s->windowTitle(), QStringLiteral("Query Generica - Ditta: Rossi"));
            QCOMPARE(s->ButtonNomeTabella->text(), QStringLiteral("&Tabella da Inserire"));
            QCOMPARE(s->ButtonPercorsoTabella->text(), QStringLiteral("Dir.Tab.da inserire"));
            QVERIFY(s->EditNomeTabella->text().isEmpty() && s->EditPercorsoTabella->isReadOnly());
            // Its message box comes from the click: outside this step.
            QTimer::singleShot(0, s->OKBtn, &QPushButton::click);
        });
        c.rispondi(QMessageBox::Ok);
        f.ButtonAggiungiTabella->click();
        attendi();
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Si prega di scegliere una tabella da interrogare|OK"});
        QCOMPARE(f.DBGrid1->model()->rowCount(), 0);

        // The file dialog in the data directory, its answer split into name and folder.
        const QString archivi = d.percorso("dati/archivi/");
        c.poi([](QWidget* finestra) {
            auto* s = qobject_cast<TScelTabForm*>(finestra);
            QVERIFY(s);
            QTimer::singleShot(0, s->ButtonNomeTabella, &QPushButton::click);
        });
        c.poi([&](QWidget* finestra) {
            auto* file = qobject_cast<QFileDialog*>(finestra);
            QVERIFY(file);
            QCOMPARE(file->directory().absolutePath() + "/", d.percorso("dati/"));
            QCOMPARE(file->nameFilters(), QStringList{"*.DB"});
            file->selectFile(archivi + "ordini.DB");
            static_cast<QDialog*>(file)->accept();
        });
        c.poi([&](QWidget* finestra) {
            auto* s = qobject_cast<TScelTabForm*>(finestra);
            QVERIFY(s);
            QCOMPARE(s->EditNomeTabella->text(), QStringLiteral("ordini.DB"));
            QCOMPARE(s->EditPercorsoTabella->text(), archivi);
            s->OKBtn->click();
        });
        f.ButtonAggiungiTabella->click();
        attendi();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        // The new row current, with its fields and composite index.
        QCOMPARE(riga(*f.DBGrid1), (QStringList{"ordini", "archivi/"}));
        QCOMPARE(f.DBEditNumeroCampi->text(), QStringLiteral("5"));
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 5);
        QCOMPARE(f.DBGridIndicic->model()->rowCount(), 2);
        QCOMPARE(f.gestione().DirScelta, archivi.toStdString());
    }

    void interbaseDallaListaEDalPercorso()
    {
        DittaConTabelle d;
        d.imposta("TipoDataBase", "INTERBASE");
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir2, w.TabForm, w.guardia());
        f.show();
        Copione c;
        auto lista = [&](std::function<void(TListTabForm*)> scelta) {
            c.poi([scelta](QWidget* finestra) {
                auto* l = qobject_cast<TListTabForm*>(finestra);
                QVERIFY(l);
                scelta(l);
            });
        };
        // "Apri" with nothing selected, then "Annulla": nothing happens.
        lista([](TListTabForm* l) {
            QCOMPARE(l->windowTitle(), QStringLiteral("ListTabForm"));
            QCOMPARE(l->size(), QSize(295, 200));
            QVERIFY(l->Label1->isVisible() && l->Label2->isVisible());
            QCOMPARE(l->Label1->text() + l->Label2->text(), QStringLiteral("Attenzione: lettura chiavi IB non funzionante."));
            QStringList nomi;
            for (int i = 0; i < l->ListBox1->count(); ++i)
                nomi << l->ListBox1->item(i)->text();
            QCOMPARE(nomi, (QStringList{"AGENTI", "ARTICOLI", "CLIENTI", "FORNITOR", "MOVIMAG", "ORDINI"}));
            l->ButtonApri->click();
        });
        lista([](TListTabForm* l) { l->ButtonAnnulla->click(); });
        f.ButtonAggiungiTabella->click();
        attendi();
        f.ButtonAggiungiTabella->click();
        attendi();
        QCOMPARE(f.DBGrid1->model()->rowCount(), 0);

        // A double click chooses; the folder dialog's text counts even after Cancel.
        lista([](TListTabForm* l) {
            const QPoint clienti = l->ListBox1->visualItemRect(l->ListBox1->item(2)).center();
            QTest::mouseClick(l->ListBox1->viewport(), Qt::LeftButton, {}, clienti);
            QTest::mouseDClick(l->ListBox1->viewport(), Qt::LeftButton, {}, clienti);
        });
        c.poi([](QWidget* finestra) {
            auto* p = qobject_cast<PercorsoTabellaForm*>(finestra);
            QVERIFY(p);
            QCOMPARE(p->windowTitle(), QStringLiteral("Percorso tabella"));
            QCOMPARE(p->Label1->text(), QStringLiteral("Path Parziale relativo"));
            QCOMPARE(p->ComboBox1->count(), 1);
            QCOMPARE(p->ComboBox1->itemText(0), QStringLiteral("initab/"));
            QVERIFY(p->ComboBox1->currentText().isEmpty());
            QVERIFY(p->ComboBox1->isVisible() && !p->Edit1->isVisible());
            p->ComboBox1->setCurrentIndex(0);
            p->CancelBtn->click();
        });
        f.ButtonAggiungiTabella->click();
        attendi();
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QVERIFY(c.finito());
        QCOMPARE(riga(*f.DBGrid1), (QStringList{"clienti", "initab/clienti/"}));
        QCOMPARE(f.DBGridIndicic->model()->rowCount(), 2);
        QVERIFY(!w.TabForm->IBTransaction1.inTransaction());
    }
};

QTEST_MAIN(TestRegistrazione)
#include "test_registrazione.moc"
