// The import window over the real engines: opened from the menu, a run stopped by closing the
// window half-way, a second start refused while the first one goes.

#include "dictionary/generatore.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"
#include "gui/basemain.h"
#include "gui/import.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;

namespace {

DefCampo campo(const char* nome, int numero, const char* tipo, int chiave)
{
    DefCampo c;
    c.NomeTabella = "grande";
    c.NumeroCampo = numero;
    c.NomeCampo = nome;
    c.TipoELunghezza = tipo;
    c.Chiave = chiave;
    return c;
}

// A company whose dictionary holds grande (k I key, testo A20) and piccola, grande with
// 30,000 records and piccola empty, and an archive.
struct DittaDaImportare : korva::test::DittaProva {
    DittaDaImportare()
    {
        imposta("Directory di lavoro", percorso("dati/").toStdString());
        imposta("Directory tracciati record", percorso("tr1/").toStdString());
        imposta("Archivio", percorso("archivio.gdb").toStdString());
        QDir().mkpath(percorso("dati"));
        QDir().mkpath(percorso("tr1"));
        RigheTabella grande;
        grande.tabella = {"grande", "", 2, 1, 0, 0, 0, 0};
        grande.campi = {campo("k", 1, "I", 1), campo("testo", 2, "A20", 0)};
        RigheTabella piccola = grande;
        piccola.tabella.NomeTabella = "piccola";
        for (DefCampo& c : piccola.campi)
            c.NomeTabella = "piccola";
        CreaDizionario(paradox::Session::standard(), percorso("tr1/").toStdString(), {grande, piccola});
        paradox::Table t;
        t.setDatabaseName(percorso("dati/").toStdString());
        t.fieldDefs = {{"k", paradox::FieldType::Long, 0, false}, {"testo", paradox::FieldType::Alpha, 20, false}};
        t.indexDefs = {{"", "k", paradox::IndexOption::Primary | paradox::IndexOption::Unique}};
        t.setTableName("piccola.DB");
        t.createTable();
        t.setTableName("grande.DB");
        t.createTable();
        t.open();
        t.beginBatch();
        for (int i = 1; i <= 30000; ++i) {
            t.append();
            t.field(0).setInteger(i);
            t.field(1).setString("riga");
            t.post();
        }
        t.endBatch();
    }

    std::int64_t righe(const std::string& tabella) const
    {
        ib::Transaction tr;
        ib::Database db;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(percorso("archivio.gdb").toStdString());
        db.params = parametriConnessioneIb();
        db.connect();
        ib::Query q(db);
        q.sql = {std::string("SELECT COUNT(*) FROM ").append(tabella)};
        q.open();
        const std::int64_t n = q.field(0).asInt64();
        q.close();
        tr.commit();
        return n;
    }
};

}  // namespace

class TestImportazione : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void chiusaDuranteLaCorsaSiFermaDopoAverSpostatoIlCopiato()
    {
        DittaDaImportare d;
        TBaseMainForm w(d.ini());
        Copione c;
        c.rispondi(QMessageBox::Yes);  // the archive is created before the run
        w.TabForm->ConnettiDatabaseIB();
        w.TabForm->IBDatabase1.disconnect();

        QStringList aperta, allaFine;
        int secondePartenze = 0;
        QTimer durante;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TImportForm*>(finestra);
            QVERIFY(f);
            aperta << f->windowTitle();
            for (int i = 0; i < f->ListaTabelle->count(); ++i)
                aperta << f->ListaTabelle->item(i)->text() + (f->ListaTabelle->item(i)->checkState() == Qt::Checked ? " x" : "");
            aperta << f->Label1->text() + "|" + f->Label2->text();
            // The buttons in their column, top to bottom.
            QList<QPushButton*> pulsanti{f->ButtonImporta, f->SpeedButton1, f->SpeedButton2, f->ButtonChiudi,
                                         f->ButtonInterrompi};
            for (int i = 1; i < pulsanti.size(); ++i)
                QVERIFY(pulsanti[i]->y() > pulsanti[i - 1]->y() && pulsanti[i]->x() == pulsanti[0]->x());
            f->SpeedButton1->click();
            // Half-way: another start, then the window closed.
            connect(&durante, &QTimer::timeout, f, [&, f] {
                if (f->ProgressBar1->value() < 5)
                    return;
                durante.stop();
                QVERIFY(!f->ButtonImporta->isEnabled());
                f->ButtonImportaClick();
                ++secondePartenze;
                f->close();
            });
            durante.start(1);
            QTimer::singleShot(0, f->ButtonImporta, &QPushButton::click);
        });
        c.poi([&](QWidget* finestra) {
            auto* box = qobject_cast<QMessageBox*>(finestra);
            QVERIFY(box);
            allaFine << box->text();
            auto* f = qobject_cast<TImportForm*>(box->parentWidget() ? box->parentWidget()->window() : nullptr);
            if (!f)
                for (QWidget* altra : QApplication::topLevelWidgets())
                    if (auto* trovata = qobject_cast<TImportForm*>(altra))
                        f = trovata;
            QVERIFY(f);
            allaFine << f->Label1->text() << QString::number(f->ProgressBar2->value()) << (f->isVisible() ? "aperta" : "chiusa");
            box->button(QMessageBox::Ok)->click();
        });
        w.Tabelle11Click();
        QTRY_VERIFY(c.finito());
        QCOMPARE(c.imprevisti, QStringList{});
        QCOMPARE(aperta, (QStringList{"Importazione dati da Paradox a Interbase - Ditta: Rossi", "grande", "piccola",
                                     "     |     "}));
        QCOMPARE(secondePartenze, 1);
        QCOMPARE(allaFine, (QStringList{"Importazione Terminata", "Importazione tabella piccola", "100", "aperta"}));
        // The window is gone; what was copied before the stop was moved, the rest was not.
        QVERIFY(!QApplication::activeModalWidget());
        const std::int64_t spostati = d.righe("GRANDE");
        QVERIFY2(spostati >= 1350 && spostati < 30000, qPrintable(QString::number(spostati)));
        QCOMPARE(d.righe("PICCOLA"), std::int64_t{0});
    }

    void nienteSpuntatoENessunaSecondaFinestra()
    {
        DittaDaImportare d;
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TImportForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Importazione dati da Interbase a Paradox - Ditta: Rossi"));
            f->SpeedButton1->click();
            f->SpeedButton2->click();
            QTimer::singleShot(0, f->ButtonImporta, &QPushButton::click);
            QTimer::singleShot(50, f->ButtonChiudi, &QPushButton::click);
        });
        c.rispondi(QMessageBox::Ok);
        w.Tabelle12Click();
        QTRY_VERIFY(c.finito());
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|nessuna|Selezionare almeno una tabella da importare|OK"});
        QVERIFY(!QFile::exists(d.percorso("archivio.gdb")));
    }
};

QTEST_MAIN(TestImportazione)
#include "test_importazione.moc"
