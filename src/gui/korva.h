#pragma once

#include "dictionary/gestione_tabelle.h"
#include "gui/comando_unico.h"
#include "shell/tabform.h"

#include <QDialog>
#include <QLabel>

#include <memory>
#include <string>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTableView;
class QToolButton;

namespace korva::report {
class MotoreReport;
}

namespace korva::gui {

class Guardia;
class ModelloRighe;

// The busy caption of the "Manutenzione" page: once it reads "ELABORAZIONE TERMINATA!", the
// mouse moving over it hides it.
class EtichettaElaborazione : public QLabel {
    Q_OBJECT
public:
    explicit EtichettaElaborazione(QWidget* parent = nullptr);

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};

// The table manager window: the dictionary of one record-layout directory, table by table,
// with every table command as a button acting on the current row. It shows the core's model
// (GestioneTabelle) and hands each button to it.
class TKorvaForm : public QDialog {
    Q_OBJECT
public:
    // Opens the dictionary of `tracciatiDir` (an Error of the engine when it cannot).
    TKorvaForm(QWidget* owner, std::string tracciatiDir, std::unique_ptr<TTabForm>& tabForm,
               Guardia& guardia);
    ~TKorvaForm() override;

    GestioneTabelle& gestione() { return *gestione_; }
    // A command of this window is running (a second one is refused meanwhile).
    bool comandoInCorso() const { return comandi_.inCorso(); }

    QPushButton* ButtonAggiungiTabella;
    QPushButton* ButtonRimuoviTabella;
    QPushButton* ButtonTabellaCorrente;  // a caption: no action
    QLineEdit* EditTabellaCorrente;
    QWidget* DBNavigator1;
    QToolButton* NavPrimo;
    QToolButton* NavPrecedente;
    QToolButton* NavSuccessivo;
    QToolButton* NavUltimo;
    QTableView* DBGrid1;  // KORVA.DB: Nome, PathParziale

    QPushButton* ButtonTestEsistenza;
    QPushButton* ButtonCreaTabella;
    QPushButton* ButtonAzzera;
    QPushButton* ButtonRigeneraIndici;
    QPushButton* ButtonNumeroRecord;
    QPushButton* ButtonStampaTabella;
    QPushButton* ButtonCreaTutto;
    QPushButton* ButtonRigeneraTutto;
    QPushButton* ButtonChiudi;
    QProgressBar* BarraProgresso;

    QTabBar* TabSet1;
    QStackedWidget* Notebook1;
    // "Principale"
    QLineEdit* DBEditNomeTabella;
    QLineEdit* DBEditNumeroCampi;
    QLineEdit* DBEditCampiChiavePrimaria;
    QLineEdit* DBEditIndiciSecSingoli;
    QLineEdit* DBEditIndiciSecComposti;
    // "Campi" and "Indici multipli"
    QTableView* DBGridCampi;
    QTableView* DBGridIndicic;
    // "Manutenzione"
    QPushButton* ButtonRicercaLCK;
    QPushButton* ButtonVerTabCorr;
    QPushButton* ButtonVerTutteTab;
    QPushButton* ButtonBakTabCorr;
    QPushButton* ButtonBakUptutteTab;
    QPushButton* ButtonVerIntTabCorr;
    QPushButton* ButtonVerIntTutteTab;
    QPushButton* ButtonRigIndTabCorr;
    QPushButton* ButtonRigIndTutteTab;
    QPushButton* ButtonPackTabCorr;
    QPushButton* ButtonVerIndTutteTab;
    QPushButton* ButtonRiparaTabCorrente;
    QPushButton* ButtonRigeneraTabCorrente;
    EtichettaElaborazione* LabelElaborazione;

public slots:
    void ButtonAggiungiTabellaClick();
    void ButtonRimuoviTabellaClick();
    void ButtonTestEsistenzaClick();
    void ButtonCreaTabellaClick();
    void ButtonAzzeraClick();
    void ButtonRigeneraIndiciClick();
    void ButtonNumeroRecordClick();
    void ButtonStampaTabellaClick();
    void ButtonCreaTuttoClick();
    void ButtonRigeneraTuttoClick();
    void ButtonChiudiClick();
    void ButtonRicercaLCKClick();
    void ButtonVerTabCorrClick();
    void ButtonVerTutteTabClick();
    void ButtonBakTabCorrClick();
    void ButtonBakUptutteTabClick();
    void ButtonVerIntTabCorrClick();
    void ButtonVerIntTutteTabClick();
    void ButtonRigIndTabCorrClick();
    void ButtonRigIndTutteTabClick();
    void ButtonPackTabCorrClick();
    void ButtonVerIndTutteTabClick();
    void ButtonRiparaTabCorrenteClick();
    void ButtonRigeneraTabCorrenteClick();
    void TabSet1Click(int indice);
    // A close asked for while a command runs is done when it ends.
    void done(int esito) override;
    // Shows the dictionary as it is now: the rows, the current one, its field and
    // composite-index rows.
    void aggiorna();

private:
    class PortaFinestra;

    void creaControlli();
    QPushButton* pulsante(const char* nome, const char* testo, void (TKorvaForm::*slot)());
    // Runs a command of the model, one at a time, through the slot guard, then shows the
    // dictionary again.
    template <class F>
    void comando(F&& lavoro);
    void pianificaAggiornamento();
    void DBGrid1RigaScelta(int riga);

    std::unique_ptr<TTabForm>& tabForm_;
    Guardia& guardia_;
    ComandoUnico comandi_{*this, guardia_};
    std::unique_ptr<PortaFinestra> porta_;
    std::unique_ptr<GestioneTabelle> gestione_;
    std::unique_ptr<report::MotoreReport> motore_;
    ModelloRighe* righeTabelle_;
    ModelloRighe* righeCampi_;
    ModelloRighe* righeIndicic_;
    bool aggiornamentoPianificato_ = false;
    bool allineando_ = false;
};

}  // namespace korva::gui
