// The "Manutenzione" page of the table manager: the lock-file list window, backup, packing, the
// integrity check's report window, and one command at a time while the archive is compacted.

#include "dictionary/demo.h"
#include "dictionary/generatore.h"
#include "gui/basemain.h"
#include "gui/korva.h"
#include "gui/listalck.h"
#include "gui/rapporto.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QDir>
#include <QFileInfo>
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

struct DittaConDizionario : korva::test::DittaProva {
    DittaConDizionario()
    {
        imposta("Directory di lavoro", percorso("dati/").toStdString());
        imposta("Directory tracciati record", percorso("tr1/").toStdString());
        QDir().mkpath(percorso("dati"));
        QDir().mkpath(percorso("tr1"));
        CreaDizionario(paradox::Session::standard(), percorso("tr1/").toStdString(), tabelleDemo());
    }
};

void attendi()
{
    QCoreApplication::processEvents();
}

void clicRiga(QTableView& griglia, int riga)
{
    const QRect r = griglia.visualRect(griglia.model()->index(riga, 0));
    QTest::mouseClick(griglia.viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class TestManutenzione : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void nessunFileTrovato()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonRicercaLCK->click();
        attendi();
        QVERIFY(c.finito());
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Nessun File .lck trovato!|OK"});
    }

    // Every entry selected when the window opens; the user's own selection survives the question.
    void laSceltaDellUtenteSopravviveAllaDomanda()
    {
        DittaConDizionario d;
        d.scrivi("dati/A.lck", "KORVAWIN pid=999999999 host=altrove modo=condiviso tabella=A.DB\r\n");
        d.scrivi("dati/B.lck", QByteArray("\0\1", 2));
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        Copione c;
        QStringList dopo;
        c.poi([&](QWidget* finestra) {
            auto* l = qobject_cast<TListaLckForm*>(finestra);
            QVERIFY(l);
            QCOMPARE(l->windowTitle(), QStringLiteral("Lista file .lck - Ditta: Rossi"));
            QCOMPARE(l->ButtonElimina->text(), QStringLiteral("&Elimina file selezionati"));
            QCOMPARE(l->ButtonChiudi->text(), QStringLiteral("Ch&iudi"));
            QCOMPARE(l->ListBox1->count(), 2);
            QCOMPARE(l->ListBox1->selectedItems().size(), 2);
            l->ListBox1->item(1)->setSelected(false);
            QTimer::singleShot(0, l, [l, &dopo] {
                l->ButtonElimina->click();
                for (int i = 0; i < l->ListBox1->count(); ++i)
                    dopo << l->ListBox1->item(i)->text() + (l->ListBox1->item(i)->isSelected() ? " *" : "");
                l->ButtonChiudi->click();
            });
        });
        c.rispondi(QMessageBox::Yes);
        f.ButtonRicercaLCK->click();
        attendi();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|informazione|Elimino tutti i file.lck selezionati? |Yes/No"});
        QVERIFY(!d.esiste("dati/A.lck"));
        QVERIFY(d.esiste("dati/B.lck"));
        QCOMPARE(dopo, QStringList{d.percorso("dati/B.lck") + "   (di un altro programma: non verificabile)"});
    }

    // Backup of the current table into the repair-backup directory, then packing it after the
    // question, each with its message and the busy label back to its end.
    void backupECompattazioneDellaTabellaCorrente()
    {
        DittaConDizionario d;
        d.imposta("Directory backup riparazioni", d.percorso("bak/").toStdString());
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));
        Copione c;
        for (int i = 0; i < 3; ++i)
            c.rispondi(i == 2 ? QMessageBox::Yes : QMessageBox::Ok);
        c.rispondi(QMessageBox::Ok);
        f.ButtonCreaTabella->click();
        attendi();
        f.ButtonBakTabCorr->click();
        attendi();
        QVERIFY(QFileInfo::exists(d.percorso("bak/archivi/clienti.DB")));
        f.ButtonPackTabCorr->click();
        attendi();
        QVERIFY(c.finito());
        QCOMPARE(c.visti.size(), 4);
        QCOMPARE(c.visti.mid(1, 2), (QStringList{"Progetto KORVAWIN|nessuna|Backup tabella completato!|OK",
                                                  "Progetto KORVAWIN|informazione|Vuoi procedere con la compattazione "
                                                  "della tabella clienti?|Yes/No"}));
        QVERIFY2(c.visti[3].startsWith("Progetto KORVAWIN|nessuna|Compattazione della tabella clienti terminata: da "),
                 qPrintable(c.visti[3]));
        QCOMPARE(f.LabelElaborazione->text(), QStringLiteral("ELABORAZIONE TERMINATA!"));
    }

    // The verification of the current table shows its report in a window that copies it and
    // saves it as text; the repair shows its own, naming where the table was saved.
    void verificaERiparazioneNellaFinestraDelRapporto()
    {
        DittaConDizionario d;
        d.imposta("Directory backup riparazioni", d.percorso("bak/").toStdString());
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonCreaTabella->click();
        attendi();
        QString titolo, copiato, salvato, riparazione;
        c.poi([&](QWidget* finestra) {
            auto* r = qobject_cast<TRapportoForm*>(finestra);
            QVERIFY(r);
            titolo = r->LabelTitolo->text();
            r->ButtonCopia->click();
            copiato = QApplication::clipboard()->text();
            QVERIFY(r->salvaIn(d.percorso("rapporto.txt")));
            salvato = QString::fromUtf8(d.leggi("rapporto.txt"));
            r->ButtonOk->click();
        });
        f.ButtonVerIntTabCorr->click();
        attendi();
        c.poi([&](QWidget* finestra) {
            auto* r = qobject_cast<TRapportoForm*>(finestra);
            QVERIFY(r);
            riparazione = r->LabelTitolo->text() + "\n" + r->MemoRighe->toPlainText();
            r->ButtonOk->click();
        });
        f.ButtonRiparaTabCorrente->click();
        attendi();
        QVERIFY2(c.finito(), qPrintable(c.visti.join('\n') + c.imprevisti.join('\n')));
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(titolo, "Verifica integrità della tabella " + d.percorso("dati/archivi/clienti.DB") +
                             ": nessun problema trovato");
        QCOMPARE(copiato, titolo + "\n");
        QCOMPARE(salvato, copiato);
        QVERIFY2(riparazione.startsWith("Riparazione della tabella " + d.percorso("dati/archivi/clienti.DB") +
                                        " completata: "),
                 qPrintable(riparazione));
        QVERIFY2(riparazione.contains("salvata in " + d.percorso("bak/archivi/clienti-riparazione-")),
                 qPrintable(riparazione));
        QCOMPARE(f.LabelElaborazione->text(), QStringLiteral("ELABORAZIONE TERMINATA!"));
    }

    // Regeneration of the current table: the question with its two blanks, then the message.
    void rigenerazioneDellaTabellaCorrente()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        Copione c;
        c.rispondi(QMessageBox::Ok);
        c.rispondi(QMessageBox::Yes);
        c.rispondi(QMessageBox::Ok);
        f.ButtonCreaTabella->click();
        attendi();
        f.ButtonRigeneraTabCorrente->click();
        attendi();
        QVERIFY(c.finito());
        QCOMPARE(c.visti.mid(1), (QStringList{"Progetto KORVAWIN|informazione|Assicurarsi prima di procedere di avere "
                                              "fatto il  Backup della tabella! Procedo? |Yes/No",
                                              "Progetto KORVAWIN|nessuna|Rigenerazione Tabella corrente completata|OK"}));
        QVERIFY(QFileInfo::exists(d.percorso("dati/archivi/clienti.DB")));
        QCOMPARE(f.LabelElaborazione->text(), QStringLiteral("ELABORAZIONE TERMINATA!"));
    }

    // The archive's compaction processes events while the engine works: another compaction and
    // a close asked for meanwhile are refused and kept for the end, and the first one completes.
    void unSecondoComandoDuranteLAttesaERifiutato()
    {
        DittaConDizionario d;
        d.imposta("TipoDataBase", "INTERBASE");
        d.imposta("Archivio", d.percorso("archivio.gdb").toStdString());
        d.imposta("Directory backup riparazioni", d.percorso("bak/").toStdString());
        TBaseMainForm w(d.ini());
        Copione c;
        c.rispondi(QMessageBox::Yes);  // the archive is created
        w.TabForm->ConnettiDatabaseIB();
        w.TabForm->IBDatabase1.disconnect();
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();

        bool risposto = false;
        QStringList durante;
        QTimer attesa;
        connect(&attesa, &QTimer::timeout, &f, [&] {
            if (!risposto || !f.comandoInCorso() || QApplication::activeModalWidget())
                return;
            attesa.stop();
            f.ButtonPackTabCorr->click();
            f.ButtonVerIndTutteTab->click();
            f.ButtonChiudi->click();
            durante << (f.isVisible() ? "aperta" : "chiusa") << f.LabelElaborazione->text();
        });
        c.poi([&](QWidget* finestra) {
            auto* box = qobject_cast<QMessageBox*>(finestra);
            QVERIFY(box);
            c.visti << korva::test::descrivi(*box);
            risposto = true;
            attesa.start(1);
            box->button(QMessageBox::Yes)->click();
        });
        c.poi([&](QWidget* finestra) {
            auto* box = qobject_cast<QMessageBox*>(finestra);
            QVERIFY(box);
            c.visti << korva::test::descrivi(*box) + (f.isVisible() ? "|aperta" : "|chiusa");
            box->button(QMessageBox::Ok)->click();
        });
        f.ButtonPackTabCorr->click();
        QTRY_VERIFY(c.finito());
        QCOMPARE(c.imprevisti, QStringList{});
        QCOMPARE(durante, (QStringList{"aperta", "ELABORAZIONE IN CORSO...."}));
        QCOMPARE(c.visti.mid(1), (QStringList{"Progetto KORVAWIN|informazione|Vuoi procedere con la compattazione "
                                              "dell'archivio Interbase?|Yes/No",
                                              "Progetto KORVAWIN|nessuna|Compattazione terminata|OK|aperta"}));
        QTRY_VERIFY(!f.isVisible());
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QVERIFY(!QFileInfo::exists(d.percorso("archivio.gdb.ripristino")));
    }
};

QTEST_MAIN(TestManutenzione)
#include "test_manutenzione.moc"
