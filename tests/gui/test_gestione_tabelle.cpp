// The table manager and the dictionary generator windows, on real dictionaries.

#include "dictionary/demo.h"
#include "dictionary/generatore.h"
#include "engines/paradox/table.h"
#include "gui/basemain.h"
#include "gui/genarc.h"
#include "gui/korva.h"
#include "gui/modello_righe.h"
#include "support/korva_nomi_lunghi.h"
#include "supporto_gui.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <algorithm>

using namespace korva;
using namespace korva::gui;
using korva::test::Copione;
using korva::test::DittaProva;

namespace {

// A company whose record-layout directory 1 holds the demo dictionary and 2 an empty one.
struct DittaConDizionario : DittaProva {
    DittaConDizionario()
    {
        imposta("Directory di lavoro", percorso("dati/").toStdString());
        imposta("Directory tracciati record", percorso("tr1/").toStdString());
        imposta("Directory tracciati record 2", percorso("tr2/").toStdString());
        QDir().mkpath(percorso("dati"));
        QDir().mkpath(percorso("tr1"));
        QDir().mkpath(percorso("tr2"));
        CreaDizionario(paradox::Session::standard(), percorso("tr1/").toStdString(), tabelleDemo());
        CreaDizionario(paradox::Session::standard(), percorso("tr2/").toStdString(), {});
    }
};

QStringList colonna(const QTableView& griglia, int c)
{
    QStringList valori;
    for (int r = 0; r < griglia.model()->rowCount(); ++r)
        valori << griglia.model()->index(r, c).data().toString();
    return valori;
}

QStringList intestazioni(const QTableView& griglia)
{
    QStringList t;
    for (int c = 0; c < griglia.model()->columnCount(); ++c)
        t << griglia.model()->headerData(c, Qt::Horizontal).toString();
    return t;
}

void clicRiga(QTableView& griglia, int riga)
{
    const QRect r = griglia.visualRect(griglia.model()->index(riga, 0));
    QTest::mouseClick(griglia.viewport(), Qt::LeftButton, {}, r.center());
}

void muoviMouseSu(QWidget* w)
{
    QMouseEvent e(QEvent::MouseMove, QPointF(w->rect().center()), w->mapToGlobal(QPointF(w->rect().center())),
                  Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The views show the state once the event loop has run.
void attendi()
{
    QCoreApplication::processEvents();
}

}  // namespace

class TestGestioneTabelle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void didascalieEApertura()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        QCOMPARE(f.windowTitle(), QStringLiteral("Gestione Tabelle - Ditta: Rossi"));
        QCOMPARE(f.size(), QSize(640, 480));
        const std::pair<QPushButton*, const char*> pulsanti[] = {
            {f.ButtonAggiungiTabella, "&1. Aggiungi tabella"},
            {f.ButtonRimuoviTabella, "&2. Rimuovi tabella "},
            {f.ButtonTabellaCorrente, "Tabella Corrente"},
            {f.ButtonTestEsistenza, "&3. Test esistenza "},
            {f.ButtonCreaTabella, "&4. Crea Tabella   "},
            {f.ButtonAzzera, "&5. Azzera         "},
            {f.ButtonRigeneraIndici, "&6. Rigenera Indici"},
            {f.ButtonNumeroRecord, "&7. Numero record  "},
            {f.ButtonStampaTabella, "&8. Stampa tabella "},
            {f.ButtonCreaTutto, "&Crea tutto"},
            {f.ButtonRigeneraTutto, "Ri&g.tutti gli ind."},
            {f.ButtonChiudi, "Ch&iudi"},
            {f.ButtonRicercaLCK, "Ricerca file .lck"},
            {f.ButtonVerTabCorr, "Ver. tracc. tab. corrente"},
            {f.ButtonVerTutteTab, "Ver. tracc. tutte tab.   "},
            {f.ButtonBakTabCorr, "Backup della tab. corr.  "},
            {f.ButtonBakUptutteTab, "Backup di tutte le tab.  "},
            {f.ButtonVerIntTabCorr, "Ver. integrità tab. corr."},
            {f.ButtonVerIntTutteTab, "Ver. integrità tutte tab."},
            {f.ButtonRigIndTabCorr, "Rigenera indici Tab.corr."},
            {f.ButtonRigIndTutteTab, "Rigenera indici tutte tab."},
            {f.ButtonPackTabCorr, "Compatta tabella corrente"},
            {f.ButtonVerIndTutteTab, "Compatta tutte le tabelle"},
            {f.ButtonRiparaTabCorrente, "Ripara tabella corrente  "},
            {f.ButtonRigeneraTabCorrente, "Rigenera tabella corrente"},
        };
        for (const auto& [b, testo] : pulsanti)
            QCOMPARE(b->text(), QString::fromUtf8(testo));
        QStringList schede;
        for (int i = 0; i < f.TabSet1->count(); ++i)
            schede << f.TabSet1->tabText(i);
        QCOMPARE(schede, (QStringList{"Principale", "Campi", "Indici multipli", "Manutenzione"}));
        QCOMPARE(f.Notebook1->currentIndex(), 0);
        QCOMPARE(f.findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("DATI TABELLA CORRENTE:"));
        QStringList didascalie;
        for (QLabel* l : f.findChild<QGroupBox*>("GroupBox1")->findChildren<QLabel*>())
            didascalie << l->text();
        for (const char* testo : {"Nome:", "Numero campi:", "Campi chiave primaria:", "Indici sec. singoli:",
                                  "Indici sec. composti:"})
            QVERIFY2(didascalie.contains(QString::fromUtf8(testo)), testo);
        QCOMPARE(intestazioni(*f.DBGrid1), (QStringList{"Nome", "PathParziale"}));
        QCOMPARE(intestazioni(*f.DBGridCampi),
                 (QStringList{"NomeTabella", "NumeroCampo", "NomeCampo", "TipoELunghezza", "Chiave",
                              "IndiceSecSingolo", "TipoIndiceSecSingolo"}));
        QCOMPARE(intestazioni(*f.DBGridIndicic), (QStringList{"NomeTabella", "NomeIndiceSecComp", "NumeroCampo",
                                                              "EstensioneIndiceSecComp", "TipoIndiceSecComp"}));
        QVERIFY(f.EditTabellaCorrente->isReadOnly());
        QVERIFY(f.LabelElaborazione->isHidden());

        // The last table by name is current at opening.
        QCOMPARE(colonna(*f.DBGrid1, 0),
                 (QStringList{"agenti", "articoli", "clienti", "fornitor", "movimag", "ordini"}));
        QCOMPARE(colonna(*f.DBGrid1, 1).at(2), QStringLiteral("archivi/"));
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("ordini"));
        QCOMPARE(f.DBGrid1->currentIndex().row(), 5);
        QCOMPARE(f.DBEditNumeroCampi->text(), QStringLiteral("5"));
        QCOMPARE(f.DBEditIndiciSecComposti->text(), QStringLiteral("1"));
        QCOMPARE(f.gestione().DirScelta, w.TabForm->LavoroDir);

        // In the archive mode button 6 drops the table, from opening on.
        w.TabForm->TipoDataBase = "INTERBASE";
        TKorvaForm ib(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        QCOMPARE(ib.ButtonRigeneraIndici->text(), QStringLiteral("&6. Elimina tabella"));
        w.TabForm->TipoDataBase = "Interbase";
        TKorvaForm px(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        QCOMPARE(px.ButtonRigeneraIndici->text(), QStringLiteral("&6. Rigenera Indici"));
    }

    void pagineEDettagliCheSeguonoLaRigaCorrente()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        for (int i : {3, 1, 2, 0}) {
            QTest::mouseClick(f.TabSet1, Qt::LeftButton, {}, f.TabSet1->tabRect(i).center());
            QCOMPARE(f.Notebook1->currentIndex(), i);
        }

        clicRiga(*f.DBGrid1, 2);
        attendi();
        QCOMPARE(f.gestione().EditTabellaCorrente(), std::string("clienti"));
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));
        QCOMPARE(f.DBEditNomeTabella->text(), QStringLiteral("clienti"));
        QCOMPARE(colonna(*f.DBGridCampi, 2), (QStringList{"codice", "ragsoc", "scadenza"}));
        QCOMPARE(colonna(*f.DBGridCampi, 3), (QStringList{"A6", "A40", "D"}));
        QCOMPARE(colonna(*f.DBGridIndicic, 1), (QStringList{"perscad", "perscad"}));
        QCOMPARE(colonna(*f.DBGridIndicic, 3), (QStringList{"1", "0"}));

        // The navigator moves the current row, and the grids with it.
        f.NavPrimo->click();
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("agenti"));
        QCOMPARE(f.DBGrid1->currentIndex().row(), 0);
        QCOMPARE(colonna(*f.DBGridCampi, 2), (QStringList{"codice", "nome", "provv"}));
        QCOMPARE(f.DBGridIndicic->model()->rowCount(), 0);
        f.NavSuccessivo->click();
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("articoli"));
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 6);
        f.NavUltimo->click();
        f.NavPrecedente->click();
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("movimag"));
        QCOMPARE(f.DBGrid1->currentIndex().row(), 4);
        QCOMPARE(colonna(*f.DBGridIndicic, 2), (QStringList{"2", "5"}));
        // Moving with the keyboard in the grid chooses the row too.
        f.DBGrid1->setFocus();
        QTest::keyClick(f.DBGrid1, Qt::Key_Up);
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("fornitor"));
        QCOMPARE(f.DBEditNumeroCampi->text(), QStringLiteral("5"));
    }

    void didascaliaDiElaborazione()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        f.TabSet1->setCurrentIndex(3);
        QLabel* l = f.LabelElaborazione;
        QVERIFY(!l->isVisible());
        f.gestione().InizioElaborazione();
        QVERIFY(l->isVisible());
        QCOMPARE(l->text(), QStringLiteral("ELABORAZIONE IN CORSO...."));
        muoviMouseSu(l);  // still working: it stays
        QVERIFY(l->isVisible());
        f.gestione().FineElaborazione();
        QCOMPARE(l->text(), QStringLiteral("ELABORAZIONE TERMINATA!"));
        QVERIFY(l->isVisible());
        muoviMouseSu(l);
        QVERIFY(!l->isVisible());
        // The next long command shows it again.
        f.gestione().InizioElaborazione();
        QVERIFY(l->isVisible());
        // On another page it is not seen.
        f.TabSet1->setCurrentIndex(0);
        QVERIFY(!l->isVisible());
    }

    void rimozioneDopoLaDomanda()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        Copione c;
        c.rispondi(QMessageBox::No);
        c.rispondi(QMessageBox::Yes);
        f.ButtonRimuoviTabella->click();
        attendi();
        QCOMPARE(f.DBGrid1->model()->rowCount(), 6);
        f.ButtonRimuoviTabella->click();
        attendi();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti, QStringList(2, "Progetto KORVAWIN|informazione|Procedo alla rimozione tabella?|Yes/No"));
        QCOMPARE(colonna(*f.DBGrid1, 0), (QStringList{"agenti", "articoli", "fornitor", "movimag", "ordini"}));
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("fornitor"));
        QCOMPARE(f.DBGrid1->currentIndex().row(), 2);
        QCOMPARE(colonna(*f.DBGridCampi, 0), QStringList(5, "fornitor"));
    }

    void creazioneDaiPulsanti()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        {
            Copione c;
            c.rispondi(QMessageBox::Ok);
            c.rispondi(QMessageBox::Ok);
            f.ButtonCreaTabella->click();
            attendi();
            QVERIFY(QFileInfo::exists(d.percorso("dati/archivi/clienti.DB")));
            QCOMPARE(f.LabelElaborazione->text(), QStringLiteral("ELABORAZIONE TERMINATA!"));
            f.ButtonCreaTabella->click();
            attendi();
            QVERIFY(c.finito());
            QCOMPARE(c.visti, (QStringList{"Progetto KORVAWIN|nessuna|La Tabella è stata creata|OK",
                                           "Progetto KORVAWIN|nessuna|La Tabella Esiste Già|OK"}));
        }

        // Every other table is made; the one that exists says so; back on the row it started at.
        Copione tutte;
        tutte.rispondi(QMessageBox::Ok);
        tutte.rispondi(QMessageBox::Ok);
        f.ButtonCreaTutto->click();
        attendi();
        QVERIFY(tutte.finito());
        QVERIFY2(tutte.imprevisti.isEmpty(), qPrintable(tutte.imprevisti.join('\n')));
        QCOMPARE(tutte.visti, (QStringList{"Progetto KORVAWIN|nessuna|La Tabella Esiste Già|OK",
                                           "Progetto KORVAWIN|nessuna|Creazione di tutte le tabelle terminata|OK"}));
        for (const char* tabella : {"agenti", "magazzino/articoli", "archivi/fornitor", "magazzino/movimag",
                                    "archivi/ordini"})
            QVERIFY2(QFileInfo::exists(d.percorso(QString("dati/%1.DB").arg(tabella))), tabella);
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));
    }

    void controlliERigenerazioneDaiPulsanti()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 2);
        attendi();
        QStringList attesi{"La Tabella Non Esiste", "La Tabella è stata creata", "Numero Record = 0",
                           "Rigenerazione indici tabella terminata", "Rigenerazione indici tabella terminata"};
        // Every other table is missing: each says so, then the end of the run.
        for (const char* t : {"agenti", "articoli", "fornitor", "movimag", "ordini"})
            attesi << QString("Impossibile procedere: tabella %1 non apribile in modo esclusivo").arg(t);
        attesi << "Rigenerazione indici di tutte le tabelle terminata (5 tabelle non rigenerate)";
        Copione c;
        for (QString& a : attesi) {
            a = "Progetto KORVAWIN|nessuna|" + a + "|OK";
            c.rispondi(QMessageBox::Ok);
        }
        f.ButtonTestEsistenza->click();
        f.ButtonCreaTabella->click();
        f.ButtonNumeroRecord->click();
        f.ButtonRigeneraIndici->click();
        // The rebuild's progress reached the window; the bar goes with the busy indicator.
        QCOMPARE(f.BarraProgresso->value(), 100);
        QVERIFY(!f.BarraProgresso->isVisible());
        f.ButtonRigIndTabCorr->click();
        f.ButtonRigIndTutteTab->click();
        attendi();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti, attesi);
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("clienti"));
        QVERIFY(QFileInfo::exists(d.percorso("dati/archivi/clienti.PX")));
    }

    // The demo company's tables made from the dictionary all match; one index added by hand
    // is told in the box's details, and the run comes back to the row that was current.
    void verificaTracciatiDaiPulsanti()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonCreaTutto->click();
        c.rispondi(QMessageBox::Ok);
        f.ButtonVerTutteTab->click();
        {
            paradox::Table t;
            t.setDatabaseName(d.percorso("dati/archivi").toStdString());
            t.setTableName("clienti.DB");
            t.setExclusive(true);
            t.open();
            t.addIndex("extra", "scadenza", 0);
        }
        clicRiga(*f.DBGrid1, 2);
        attendi();
        QString dettagli, dettagliTutte;
        auto leggiDettagli = [&c](QString& dove) {
            c.poi([&c, &dove](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                c.visti << box->text();
                dove = box->detailedText();
                box->button(QMessageBox::Ok)->click();
            });
        };
        leggiDettagli(dettagli);
        f.ButtonVerTabCorr->click();
        clicRiga(*f.DBGrid1, 0);
        attendi();
        leggiDettagli(dettagliTutte);
        c.rispondi(QMessageBox::Ok);
        f.ButtonVerTutteTab->click();
        attendi();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti, (QStringList{"Progetto KORVAWIN|nessuna|Creazione di tutte le tabelle terminata|OK",
                                        "Progetto KORVAWIN|nessuna|Verifica tracciati di tutte le tabelle terminata|OK",
                                        "ATTENZIONE: Il tracciato della Tabella selezionata non corrisponde alle "
                                        "informazioni contenute nel Korvad",
                                        "ATTENZIONE: Il tracciato della Tabella clienti non corrisponde alle "
                                        "informazioni contenute nel Korvad",
                                        "Progetto KORVAWIN|nessuna|Verifica tracciati di tutte le tabelle terminata|OK"}));
        const QString attese = "numero degli indici: nel dizionario 3, nella tabella 4\n"
                               "indice extra (scadenza): in più nella tabella";
        QCOMPARE(dettagli, attese);
        QCOMPARE(dettagliTutte, attese);
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("agenti"));
        QVERIFY(!QFileInfo::exists(d.percorso("dati/archivi/XXXCONF.DB")));
    }

    // A row whose name CAMPI.DB and INDICIC.DB cannot hold shows no field or index rows, never
    // those of the row seen before, and the table is not created from them.
    void rigaDalNomeTroppoLungoPerIDettagli()
    {
        DittaConDizionario d;
        std::vector<DefTabella> righe;
        for (const RigheTabella& r : tabelleDemo())
            righe.push_back(r.tabella);
        DefTabella lunga = *std::find_if(righe.begin(), righe.end(),
                                         [](const DefTabella& r) { return r.NomeTabella == "movimag"; });
        lunga.NomeTabella = "movimagazzino";
        righe.push_back(lunga);
        test::scriviKorvaConNomiLunghi(d.percorso("tr1/").toStdString(), righe);
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir1, w.TabForm, w.guardia());
        f.show();
        clicRiga(*f.DBGrid1, 4);
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("movimag"));
        QCOMPARE(f.DBGridIndicic->model()->rowCount(), 2);
        clicRiga(*f.DBGrid1, 5);
        attendi();
        QCOMPARE(f.EditTabellaCorrente->text(), QStringLiteral("movimagazzino"));
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 0);
        QCOMPARE(f.DBGridIndicic->model()->rowCount(), 0);

        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonCreaTabella->click();
        attendi();
        QVERIFY(c.finito());
        QCOMPARE(c.visti, QStringList{"Progetto KORVAWIN|errore|Impossibile usare la tabella \"movimagazzino\": il "
                                      "nome è troppo lungo o ha caratteri che CAMPI.DB e INDICIC.DB non ammettono, "
                                      "quindi i suoi campi e indici non si possono cercare nel dizionario.|OK"});
        QVERIFY(!QFileInfo::exists(d.percorso("dati/magazzino/movimagazzino.DB")));
        QVERIFY(!QFileInfo::exists(d.percorso("dati/magazzino/movimag.DB")));
    }

    void dizionarioVuotoPrecondizioniDeiComandi()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        TKorvaForm f(&w, w.TabForm->TracciatiDir2, w.TabForm, w.guardia());
        f.show();
        QCOMPARE(f.DBGrid1->model()->rowCount(), 0);
        QCOMPARE(f.DBGridCampi->model()->rowCount(), 0);
        QCOMPARE(f.EditTabellaCorrente->text(), QString());
        Copione c;
        c.rispondi(QMessageBox::Ok);
        f.ButtonRimuoviTabella->click();
        QVERIFY(c.finito());
        QCOMPARE(c.visti,
                 QStringList{"Progetto KORVAWIN|nessuna|Impossibile procedere: nessuna tabella presente|OK"});
        // The integrity check stops at the same precondition, with the busy label only.
        c.rispondi(QMessageBox::Ok);
        f.ButtonVerIntTabCorr->click();
        QVERIFY(c.finito());
        QCOMPARE(c.visti.size(), 2);
        QCOMPARE(c.visti.last(), c.visti.first());
        QVERIFY(c.imprevisti.isEmpty());
    }

    void menuGestioneTabelleEGeneratore()
    {
        DittaConDizionario d;
        TBaseMainForm w(d.ini());
        Copione c;
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TKorvaForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->gestione().TracciatiDir(), d.percorso("tr2/").toStdString());
            f->ButtonChiudi->click();
        });
        // The paths are read again at each opening.
        w.TabForm->TracciatiDir2 = "altrove/";
        w.GestioneTabelle21Click();
        QVERIFY(c.finito());

        // Without a dictionary the window does not open.
        QDir(d.percorso("tr1/KORVA")).removeRecursively();
        c.rispondi(QMessageBox::Ok);
        w.GestioneTabelle1Click();
        QVERIFY(c.finito());
        QCOMPARE(c.visti.last(),
                 QStringLiteral("Progetto KORVAWIN|nessuna|Errore apertura tabelle: verificare impostazione "
                                "directory di lavoro|OK"));

        // The generator makes it again, empty.
        c.poi([&](QWidget* finestra) {
            auto* g = qobject_cast<TGenArcForm*>(finestra);
            QVERIFY(g);
            QCOMPARE(g->windowTitle(), QStringLiteral("Generazione archivi di lavoro"));
            QCOMPARE(g->Panel1->text(), QStringLiteral("Premere un  pulsante"));
            QCOMPARE(g->ButtonGenera->text(), QStringLiteral("&Genera"));
            QCOMPARE(g->ButtonChiudi->text(), QStringLiteral("Ch&iudi"));
            // Its boxes are handled by the next steps, once this one has returned.
            QTimer::singleShot(0, g, [g] { g->ButtonGenera->click(); });
        });
        c.rispondi(QMessageBox::Yes);
        c.rispondi(QMessageBox::Ok);
        c.poi([&](QWidget* finestra) {
            auto* g = qobject_cast<TGenArcForm*>(finestra);
            QVERIFY(g);
            QVERIFY(g->generatore().Table1.active());  // KORVA.DB stays open until it closes
            g->ButtonChiudi->click();
        });
        w.Creaarchividilavoro1Click();
        QVERIFY(c.finito());
        QVERIFY2(c.imprevisti.isEmpty(), qPrintable(c.imprevisti.join('\n')));
        QCOMPARE(c.visti.mid(1), (QStringList{
                                     "Progetto KORVAWIN|informazione|Procedo alla creazione dei tracciati record?|Yes/No",
                                     "Progetto KORVAWIN|nessuna|Creazione terminata!|OK"}));
        QVERIFY(d.esiste("tr1/KORVA/KORVA.DB"));
        QVERIFY(d.esiste("tr1/CAMPI/CAMPI.DB"));
        QVERIFY(d.esiste("tr1/INDICIC/INDICIC.DB"));
        c.poi([&](QWidget* finestra) {
            auto* f = qobject_cast<TKorvaForm*>(finestra);
            QVERIFY(f);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 0);
            f->ButtonChiudi->click();
        });
        w.GestioneTabelle1Click();
        QVERIFY(c.finito());
    }
};

QTEST_MAIN(TestGestioneTabelle)
#include "test_gestione_tabelle.moc"
