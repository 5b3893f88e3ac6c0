#include "gui/basemain.h"
#include "gui/info.h"
#include "gui/interazione_qt.h"
#include "gui/personal.h"
#include "gui/qorin1.h"
#include "gui/qortdir.h"
#include "gui/qorwdir.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;
using korva::test::DittaProva;

namespace {

// The entries of the directory list, as "path" of each, in display order.
QStringList vociLista(const ListaDirectory& lista)
{
    QStringList voci;
    for (QTreeWidgetItemIterator it(const_cast<ListaDirectory*>(&lista)); *it; ++it)
        voci << (*it)->text(0);
    return voci;
}

QTreeWidgetItem* voce(ListaDirectory& lista, const QString& testo)
{
    for (QTreeWidgetItemIterator it(&lista); *it; ++it)
        if ((*it)->text(0) == testo)
            return *it;
    return nullptr;
}

void clic(ListaDirectory& lista, QTreeWidgetItem* v)
{
    QVERIFY(v);
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, lista.visualItemRect(v).center());
}

}  // namespace

class TestDialoghi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void sceltaDirectoryConfermataNellaRadice()
    {
        DittaProva d;
        QDir().mkpath(d.percorso("dati/Rossi"));
        d.imposta("Directory di lavoro", d.percorso("DATI/rossi/").toStdString());  // other case
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TQorWDirForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Selezione directory archivi - Ditta: Rossi"));
            QCOMPARE(f->size(), QSize(412, 284));
            QCOMPARE(f->Esito, qint16(2));
            QCOMPARE(f->Label2->text(), QStringLiteral("Percorso:"));
            QCOMPARE(f->Label3->text(), QStringLiteral("&Directory:"));
            QCOMPARE(f->Label4->text(), QStringLiteral("&Unità disco:"));
            QCOMPARE(f->OKBtn->text(), QStringLiteral("OK"));
            QCOMPARE(f->CancelBtn->text(), QStringLiteral("Cancel"));
            QCOMPARE(f->Label1->text(), d.percorso("dati/Rossi"));
            QCOMPARE(f->DriveComboBox1->unita(), SceltaUnita::unitaDi(d.percorso()));
            // The root of the drive is the first entry of the list.
            clic(*f->DirectoryListBox1, f->DirectoryListBox1->topLevelItem(0));
            QCOMPARE(f->Label1->text(), f->DriveComboBox1->unita());
            f->OKBtn->click();
        });
        w.Directoryarchivi1Click();
        QVERIFY(c.finito());
        QVERIFY(c.imprevisti.isEmpty());
        const std::string radice = SceltaUnita::unitaDi(d.percorso()).toStdString();
        const std::string atteso = radice == "/" ? "//" : radice + "/";
        QCOMPARE(w.TabForm->LavoroDir, atteso);
        QCOMPARE(d.impostazione("Directory di lavoro"), atteso);
        // Every path key is written, the defaults that were only read included.
        QCOMPARE(d.impostazione("Directory tracciati record 2"), std::string("C:\\WINDOWS"));
    }

    void navigazioneNellaListaEUnitaCorrente()
    {
        DittaProva d;
        for (const char* cartella : {"tr/b", "tr/A/interna", "tr/.nascosta"})
            QDir().mkpath(d.percorso(cartella));
        d.imposta("Directory tracciati record", d.percorso("tr/").toStdString());
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TQorTDirForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Selezione directory tracciati record 1 - Ditta: Rossi"));
            ListaDirectory& lista = *f->DirectoryListBox1;
            // The path from the drive's root, then the subfolders sorted without regard to case.
            QStringList voci = vociLista(lista);
            QCOMPARE(voci.mid(voci.size() - 3), (QStringList{"tr", "A", "b"}));
            clic(lista, voce(lista, "b"));
            QCOMPARE(f->Label1->text(), d.percorso("tr/b"));
            QCOMPARE(lista.currentItem()->text(0), QStringLiteral("b"));
            // Going back up through the path.
            clic(lista, voce(lista, "tr"));
            QCOMPARE(f->Label1->text(), d.percorso("tr"));
            clic(lista, voce(lista, "A"));
            // Choosing the drive again shows its current directory.
            emit f->DriveComboBox1->activated(f->DriveComboBox1->currentIndex());
            QCOMPARE(lista.directory(), d.percorso("tr/A"));
            QCOMPARE(vociLista(lista).last(), QStringLiteral("interna"));
            f->OKBtn->click();
        });
        w.DirectoryTracciatiRecord1Click();
        QVERIFY(c.finito());
        QCOMPARE(d.impostazione("Directory tracciati record"), d.percorso("tr/A/").toStdString());
        QCOMPARE(w.TabForm->PercorsoKorva, d.percorso("tr/A/KORVA").toStdString());
    }

    void chiusuraDallaCroceEAnnullaNonCambianoNulla()
    {
        DittaProva d;
        QDir().mkpath(d.percorso("bak"));
        d.imposta("Directory backup riparazioni", d.percorso("bak/").toStdString());
        const QByteArray prima = d.leggi("varnelo.ini");
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TQorWDirForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Selezione directory backup riparazioni - Ditta: Rossi"));
            clic(*f->DirectoryListBox1, f->DirectoryListBox1->topLevelItem(0));
            f->close();
        });
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TQorTDirForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Selezione directory tracciati record 2 - Ditta: Rossi"));
            clic(*f->DirectoryListBox1, f->DirectoryListBox1->topLevelItem(0));
            f->CancelBtn->click();
        });
        w.Directorybakriparaz1Click();
        w.Directorytracciatirecord21Click();
        QVERIFY(c.finito());
        QVERIFY(c.imprevisti.isEmpty());
        QCOMPARE(d.leggi("varnelo.ini"), prima);
        QCOMPARE(w.TabForm->BackupRiparazioniDir, d.percorso("bak/").toStdString());
    }

    // An empty value, a Windows default and a folder that is gone: the chooser opens on the
    // current directory and its drive, or on the nearest folder that still exists.
    void campoVuotoOInesistente()
    {
        DittaProva d;
        QDir().mkpath(d.percorso("dati"));
        d.imposta("Directory tracciati record 2", "");
        TBaseMainForm w(d.ini());
        QCOMPARE(w.TabForm->TracciatiDir2, std::string());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TQorTDirForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->Label1->text(), d.percorso());
            QCOMPARE(f->DriveComboBox1->unita(), SceltaUnita::unitaDi(d.percorso()));
            f->CancelBtn->click();
        });
        w.Directorytracciatirecord21Click();
        QVERIFY(c.finito());

        const QList<QPair<std::string, QString>> casi = {
            {"C:\\WINDOWS", d.percorso()},
            {d.percorso("dati/sparita/ancora/").toStdString(), d.percorso("dati")},
            {d.percorso("DATI\\").toStdString(), d.percorso("dati")},
            {"dati/", d.percorso("dati")},
        };
        for (const auto& [valore, attesa] : casi) {
            TQorWDirForm f(&w, w.guardia());
            QCOMPARE(f.windowTitle(), QStringLiteral("Selezione directory archivi"));
            QCOMPARE(f.Label1->text(), QStringLiteral("..."));
            f.apriSu(valore);
            QCOMPARE(f.Label1->text(), attesa);
            QCOMPARE(f.DirectoryListBox1->directory(), attesa);
        }
        TQorTDirForm t(&w, w.guardia());
        QCOMPARE(t.windowTitle(), QStringLiteral("Selezione directory tracciati record"));
    }

    void opzioniRilette()
    {
        DittaProva d;
        d.imposta("ObbedisciStato", "Si");
        d.imposta("TipoDataBase", "INTERBASE");
        TBaseMainForm w(d.ini());
        w.show();
        QVERIFY(w.Timer1->isActive());
        QWidget altro;
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TPersonalForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Personalizzazioni - Ditta: Rossi"));
            QCOMPARE(f->size(), QSize(280, 126));
            QCOMPARE(f->EditObbedisciStato->text(), QStringLiteral("Chiusura automatica"));
            QCOMPARE(f->EditTipoDataBase->title(), QStringLiteral(" Tipo Database "));
            QVERIFY(f->EditObbedisciStato->isChecked());
            QCOMPARE(f->EditTipoDataBase->itemIndex(), 1);

            // Another program changes the options; an unsaved change in the dialog is lost
            // when the dialog becomes active again.
            d.imposta("ObbedisciStato", "No");
            d.imposta("TipoDataBase", "interbase");
            f->EditTipoDataBase->setItemIndex(1);
            altro.show();
            altro.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&altro));
            f->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f));
            QVERIFY(!f->EditObbedisciStato->isChecked());
            QCOMPARE(f->EditTipoDataBase->itemIndex(), 0);
            f->CancelBtn->click();
        });
        w.Personalizzazioni1Click();
        QVERIFY(c.finito());
        QVERIFY(c.imprevisti.isEmpty());
        // Cancelled: nothing stored, but the switch follows the stored option.
        QCOMPARE(d.impostazione("TipoDataBase"), std::string("interbase"));
        QVERIFY(!w.Timer1->isActive());

        d.scrivi("bin/stato/STATO.TXT", "CHIUDITI");
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TPersonalForm*>(finestra);
            QVERIFY(f);
            QVERIFY(!f->EditObbedisciStato->isChecked());
            d.imposta("ObbedisciStato", "Si");  // from elsewhere, seen at the next activation
            altro.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&altro));
            f->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f));
            QVERIFY(f->EditObbedisciStato->isChecked());
            f->close();
        });
        w.Personalizzazioni1Click();
        QVERIFY(c.finito());
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("APRITI"));
    }

    void opzioniConfermate()
    {
        DittaProva d;
        TBaseMainForm w(d.ini());
        QVERIFY(!w.Timer1->isActive());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TPersonalForm*>(finestra);
            QVERIFY(f);
            QVERIFY(!f->EditObbedisciStato->isChecked());
            QCOMPARE(f->EditTipoDataBase->itemIndex(), 0);
            f->EditObbedisciStato->setChecked(true);
            f->EditTipoDataBase->setItemIndex(1);
            f->OKBtn->click();
        });
        w.Personalizzazioni1Click();
        QVERIFY(c.finito());
        QCOMPARE(d.impostazione("ObbedisciStato"), std::string("Si"));
        QCOMPARE(d.impostazione("TipoDataBase"), std::string("INTERBASE"));
        QVERIFY(w.TabForm->modoInterbase());
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(d.leggi("bin/stato/STATO.TXT"), QByteArray("APRITI"));
    }

    void sceltaArchivio()
    {
        DittaProva d;
        QDir().mkpath(d.percorso("archivi"));
        QDir().mkpath(d.percorso("ditta.2024"));
        d.imposta("Archivio", d.percorso("archivi/rossi.gdb").toStdString());
        TBaseMainForm w(d.ini());
        Copione c;
        auto scegli = [&](const QString& cartellaAttesa, const QString& nome) {
            c.poi([&, cartellaAttesa, nome](QWidget* finestra) {
                auto* f = qobject_cast<QFileDialog*>(finestra);
                QVERIFY(f);
                QCOMPARE(f->objectName(), QStringLiteral("OpenDialog1"));
                QCOMPARE(f->nameFilters(), QStringList{"Archivi Interbase (*.gdb)"});
                QCOMPARE(f->directory().absolutePath(), cartellaAttesa);
                if (nome.isEmpty()) {
                    f->reject();
                    return;
                }
                // Typed as a user would: selectFile() leaves the name box alone once it
                // has the focus, which the dialog gets at its own pace.
                auto* campo = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(campo);
                campo->setText(nome);
                QMetaObject::invokeMethod(f, "accept");
            });
        };
        const QString domanda =
            "Progetto KORVAWIN|informazione|Attenzione: Il Database selezionato non esiste. Crearlo?|Yes/No";
        // A name without a dot gets ".gdb"; the file need not exist yet: its creation is
        // offered and, here, declined.
        scegli(d.percorso("archivi"), "nuovo");
        c.rispondi(QMessageBox::No);
        w.ArchivioInterbase1Click();
        QCOMPARE(d.impostazione("Archivio"), d.percorso("archivi/nuovo.gdb").toStdString());
        QCOMPARE(w.TabForm->Archivio, d.percorso("archivi/nuovo.gdb").toStdString());
        QCOMPARE(c.visti, QStringList{domanda});
        QVERIFY(!w.TabForm->IBDatabase1.connected());
        QVERIFY(!d.esiste("archivi/nuovo.gdb"));

        // A dot in the folder's name says nothing of the file's: ".gdb" is appended. Accepted,
        // the embedded engine creates the archive and the holder stays connected to it.
        scegli(d.percorso("archivi"), d.percorso("ditta.2024/archivio"));
        c.rispondi(QMessageBox::Yes);
        w.ArchivioInterbase1Click();
        QCOMPARE(d.impostazione("Archivio"), d.percorso("ditta.2024/archivio.gdb").toStdString());
        QCOMPARE(c.visti, (QStringList{domanda, domanda}));
        QVERIFY(d.esiste("ditta.2024/archivio.gdb"));
        QVERIFY(w.TabForm->IBDatabase1.connected());

        // Cancelled: nothing changes, the connection stays.
        const QByteArray prima = d.leggi("varnelo.ini");
        scegli(d.percorso("ditta.2024"), QString());
        w.ArchivioInterbase1Click();
        QCOMPARE(d.leggi("varnelo.ini"), prima);
        QVERIFY(w.TabForm->IBDatabase1.connected());
        w.TabForm->IBDatabase1.disconnect();

        // The archive's folder is gone: the dialog opens in the program's folder.
        QVERIFY(QDir(d.percorso("ditta.2024")).removeRecursively());
        scegli(QCoreApplication::applicationDirPath(), QString());
        w.ArchivioInterbase1Click();
        QVERIFY(c.finito());
        QVERIFY(c.imprevisti.isEmpty());
    }

    void informazioniEInserimento()
    {
        DittaProva d;
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([](QWidget* finestra) {
            auto* f = qobject_cast<TInfoForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Informazioni"));
            QCOMPARE(f->ProductName->text(), QStringLiteral("KORVAWIN"));
            f->OKBtn->click();
        });
        w.Informazioni1Click();
        QVERIFY(c.finito());

        TQorIn1Form in(&w, w.guardia());
        QCOMPARE(in.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(in.size(), QSize(317, 148));
        QCOMPARE(in.Label1->text(), QStringLiteral("Inserisci il valore:"));
        QCOMPARE(in.Edit1->text(), QStringLiteral("Edit1"));
        QCOMPARE(in.Esito, qint16(0));
        c.poi([](QWidget* finestra) {
            auto* f = qobject_cast<TQorIn1Form*>(finestra);
            QVERIFY(f);
            QTRY_VERIFY(f->Edit1->hasFocus());
            f->Edit1->setText("valore");
            f->OKBtn->click();
        });
        in.exec();
        QCOMPARE(in.Esito, qint16(1));
        QCOMPARE(in.Edit1->text(), QStringLiteral("valore"));
        TQorIn1Form annullato(&w, w.guardia());
        c.poi([](QWidget* finestra) { static_cast<TQorIn1Form*>(finestra)->CancelBtn->click(); });
        annullato.exec();
        QCOMPARE(annullato.Esito, qint16(2));
        QVERIFY(c.imprevisti.isEmpty());
    }

    // The port's boxes, and their silence once a close of the program is pending.
    void finestreDiMessaggio()
    {
        DittaProva d;
        TBaseMainForm w(d.ini());
        Interazione& io = w.interazione();
        Copione c;
        c.rispondi(QMessageBox::Ok);
        c.rispondi(QMessageBox::Yes);
        c.rispondi(QMessageBox::No);
        c.rispondi(QMessageBox::Cancel);
        c.rispondi(QMessageBox::Ok);
        c.rispondi(QMessageBox::Ok);
        c.rispondi(QMessageBox::Ok);
        io.messaggio("La Tabella è stata creata");
        QCOMPARE(io.domanda("Crearlo?"), Risposta::Si);
        QCOMPARE(io.domanda("Crearlo?"), Risposta::No);
        QCOMPARE(io.conferma("Confermare?"), Risposta::Annulla);
        QCOMPARE(io.conferma("Confermare?"), Risposta::Ok);
        io.errore("Tabella inesistente");
        io.errore("Errore di I/O.");
        QCOMPARE(c.visti, (QStringList{
                              "Progetto KORVAWIN|nessuna|La Tabella è stata creata|OK",
                              "Progetto KORVAWIN|informazione|Crearlo?|Yes/No",
                              "Progetto KORVAWIN|informazione|Crearlo?|Yes/No",
                              "Progetto KORVAWIN|domanda|Confermare?|OK/Cancel",
                              "Progetto KORVAWIN|domanda|Confermare?|OK/Cancel",
                              "Progetto KORVAWIN|errore|Tabella inesistente.|OK",
                              "Progetto KORVAWIN|errore|Errore di I/O.|OK",
                          }));
        QVERIFY(c.finito());

        // A close is pending while a command runs: questions take the declining answer.
        {
            ControlloChiusura::Comando comando(w.chiusura());
            w.chiusura().richiediChiusura();
            io.messaggio("non mostrato");
            QCOMPARE(io.domanda("non mostrata"), Risposta::No);
            QCOMPARE(io.conferma("non mostrata"), Risposta::Annulla);
            TInfoForm info(&w, w.guardia());
            QCOMPARE(w.guardia().modale(info), int(QDialog::Rejected));
        }
        QTest::qWait(50);
        QVERIFY(c.imprevisti.isEmpty());
        QTRY_VERIFY(!w.TabForm);
    }
};

QTEST_MAIN(TestDialoghi)
#include "test_dialoghi.moc"
