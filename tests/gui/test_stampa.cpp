// "&8. Stampa tabella " in the table manager window and the preview window it opens.

#include "dictionary/demo.h"
#include "dictionary/generatore.h"
#include "dictionary/report_predefinito.h"
#include "gui/anteprima.h"
#include "gui/basemain.h"
#include "gui/korva.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;
using korva::test::DittaProva;

namespace {

// A company with the demo dictionary in record-layout directory 1 and the program's report.
struct DittaConReport : DittaProva {
    DittaConReport()
    {
        imposta("Directory di lavoro", percorso("dati/").toStdString());
        imposta("Directory tracciati record", percorso("tr1/").toStdString());
        QDir().mkpath(percorso("dati"));
        QDir().mkpath(percorso("tr1"));
        CreaDizionario(paradox::Session::standard(), percorso("tr1/").toStdString(), tabelleDemo());
        const std::string_view report = reportPredefinito();
        scrivi("bin/report/struttur.rpt", QByteArray(report.data(), static_cast<qsizetype>(report.size())));
    }
};

QList<TAnteprimaForm*> anteprime()
{
    QList<TAnteprimaForm*> a;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<TAnteprimaForm*>(w); f && f->isVisible())
            a << f;
    return a;
}

void chiudiAnteprime()
{
    for (TAnteprimaForm* f : anteprime())
        f->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What pdftotext reads in a PDF, the layout kept.
QString testoPdf(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("pdftotext (poppler-utils) non ha letto ") + file;
    return QString::fromUtf8(p.readAllStandardOutput());
}

const QString kConferma = QStringLiteral("Progetto KORVAWIN|domanda|Confermare stampa?|OK/Cancel");

}  // namespace

class TestStampa : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void cleanup() { chiudiAnteprime(); }

    void annullaEOgniStampaUnaFinestraInPiu()
    {
        DittaConReport d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        f.gestione().vaiA("clienti");
        QCoreApplication::processEvents();

        Copione c;
        c.rispondi(QMessageBox::Cancel);
        f.ButtonStampaTabella->click();
        QCoreApplication::processEvents();
        QCOMPARE(anteprime().size(), 0);
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));

        c.rispondi(QMessageBox::Ok);
        c.rispondi(QMessageBox::Ok);
        f.ButtonStampaTabella->click();
        QCoreApplication::processEvents();
        f.ButtonStampaTabella->click();
        QCoreApplication::processEvents();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti, QStringList(3, kConferma));

        const auto a = anteprime();
        QCOMPARE(a.size(), 2);
        for (TAnteprimaForm* p : a) {
            QCOMPARE(p->windowTitle(), QStringLiteral("STAMPA TRACCIATI"));
            QCOMPARE(p->size(), QSize(640, 480));
            QCOMPARE(p->pos(), QPoint(0, 0));
            QVERIFY(!p->isModal());
            QVERIFY(!p->parentWidget());
            QCOMPARE(p->LabelPagina->text(), QStringLiteral("Pagina 1 di 1"));
        }
        // The table manager goes on on its row, with its fields, while the previews stay.
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));
        QCOMPARE(f.DBGrid1->currentIndex().row(), 2);
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 3);
        f.ButtonChiudi->click();
        QCOMPARE(anteprime().size(), 2);
    }

    void senzaReportUnMessaggioESiRestaSullaRiga()
    {
        DittaConReport d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        f.gestione().vaiA("articoli");
        QCoreApplication::processEvents();
        // A damaged report, then none: the same message of the system.
        {
            QFile guasto(d.percorso("bin/report/struttur.rpt"));
            QVERIFY(guasto.open(QIODevice::WriteOnly | QIODevice::Truncate));
            guasto.write("[tabelle]\n0 = Korva\n");
        }
        for (int volta = 0; volta < 2; ++volta) {
            Copione c;
            c.rispondi(QMessageBox::Ok);
            c.rispondi(QMessageBox::Ok);
            f.ButtonStampaTabella->click();
            QCoreApplication::processEvents();
            QVERIFY(c.finito());
            QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
            QCOMPARE(c.visti, (QStringList{kConferma, "Progetto KORVAWIN|nessuna|ATTENZIONE: directory bin errata o "
                                                      "CRW non inizializzato|OK"}));
            QFile::remove(d.percorso("bin/report/struttur.rpt"));
        }
        QCOMPARE(anteprime().size(), 0);
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("articoli"));
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 6);
    }

    void leAnteprimeSiUsanoConLaGestioneAperta()
    {
        // Which windows a modal window blocks, as Qt tells them.
        struct Blocchi : QObject {
            QStringList bloccate;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::WindowBlocked && o->isWidgetType() && static_cast<QWidget*>(o)->isWindow())
                    bloccate << o->objectName();
                return false;
            }
        } blocchi;
        DittaConReport d;
        TBaseMainForm w(d.ini());
        w.setObjectName(QStringLiteral("principale"));
        w.show();
        // The table manager as the menu opens it; the print confirmed, then the manager closed.
        QString domanda;
        QTimer::singleShot(0, &w, [&] {
            auto* f = qobject_cast<TKorvaForm*>(QApplication::activeModalWidget());
            if (!f)
                return;
            f->gestione().vaiA("clienti");
            QTimer::singleShot(0, f, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    domanda = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            f->ButtonStampaTabella->click();
            f->ButtonChiudi->click();
        });
        qApp->installEventFilter(&blocchi);
        w.GestioneTabelle1Click();
        qApp->removeEventFilter(&blocchi);
        QCOMPARE(domanda, QStringLiteral("Confermare stampa?"));
        QCOMPARE(anteprime().size(), 1);
        // The table manager held the main window, its question held the manager; the preview
        // it opened was never held.
        QCOMPARE(blocchi.bloccate, (QStringList{QStringLiteral("principale"), QStringLiteral("KorvaForm")}));
    }

    void anteprimaStampanteEPdfMostranoLeStessePagine()
    {
        DittaConReport d;
        // Enough fields for three pages.
        std::vector<RigheTabella> tabelle = tabelleDemo();
        for (int i = 1; i <= 120; ++i) {
            DefCampo c;
            c.NomeTabella = "agenti";
            c.NumeroCampo = 3 + i;
            c.NomeCampo = std::string("extra").append(std::to_string(1000 + i).substr(1));
            c.TipoELunghezza = std::string(1, 'N');
            tabelle[0].campi.push_back(c);
        }
        CreaDizionario(paradox::Session::standard(), d.percorso("tr1/").toStdString(), tabelle);
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.gestione().vaiA("agenti");
        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonStampaTabella->click();
        QCOMPARE(anteprime().size(), 1);
        TAnteprimaForm* a = anteprime().first();
        QCOMPARE(a->pagine(), 3);
        QVERIFY(!a->ButtonPrecedente->isEnabled());
        a->ButtonUltima->click();
        QCOMPARE(a->LabelPagina->text(), QStringLiteral("Pagina 3 di 3"));
        QVERIFY(!a->ButtonSuccessiva->isEnabled());
        a->ButtonPrecedente->click();
        QCOMPARE(a->pagina(), 1);
        a->show();
        QVERIFY(!a->Pagina1->grab().isNull());

        const QString pdf = d.percorso("salvato.pdf");
        a->salvaPdf(pdf);
        QPrinter stampante(QPrinter::HighResolution);
        stampante.setOutputFormat(QPrinter::PdfFormat);
        stampante.setOutputFileName(d.percorso("stampato.pdf"));
        stampante.setFullPage(true);
        a->stampaSu(stampante);
        const QString salvato = testoPdf(pdf);
        QVERIFY2(salvato.contains("Tabella: agenti") && salvato.contains("extra120") &&
                     salvato.contains("Pagina 3 di 3"),
                 qPrintable(salvato));
        QCOMPARE(testoPdf(d.percorso("stampato.pdf")), salvato);

        // Only the pages asked for.
        stampante.setOutputFileName(d.percorso("pagina2.pdf"));
        a->stampaSu(stampante, 2, 2);
        const QString due = testoPdf(d.percorso("pagina2.pdf"));
        QCOMPARE(due.count('\f'), 1);
        QVERIFY2(due.contains("Pagina 2 di 3"), qPrintable(due));
    }
};

QTEST_MAIN(TestStampa)
#include "test_stampa.moc"
