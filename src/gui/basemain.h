#pragma once

#include "gui/guardia.h"
#include "gui/interazione_qt.h"
#include "shell/chiusura.h"
#include "shell/comandi_sistema.h"
#include "shell/tabform.h"

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QMenu;
class QTimer;

namespace korva::gui {

// The filter of the archive chooser, as "description|pattern".
inline constexpr const char* kFiltroOpenDialog1 = "Archivi Interbase (*.gdb)|*.gdb";

// The main window, the only one that lives for the whole run: it owns the settings holder of
// the current company, offers every command through its menu, switches the company with F12
// and obeys close requests through the state file.
class TBaseMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate: reads the company from ditta.cfg and the settings file.
    explicit TBaseMainForm(std::string percorsoImpostazioni, QWidget* parent = nullptr);
    ~TBaseMainForm() override;

    // The process's current directory when the window was created.
    std::string AvvioDir;
    // The settings holder of the current company; windows receive this slot, so they see the
    // holder that a company switch puts in it. Empty when it could not be created.
    std::unique_ptr<TTabForm> TabForm;

    QMenu* Sistema1;
    QAction* DirectoryTracciatiRecord1;
    QAction* Directorytracciatirecord21;
    QAction* Directoryarchivi1;
    QAction* ArchivioInterbase1;
    QAction* Directorybakriparaz1;
    QAction* Personalizzazioni1;
    QAction* Creaarchividilavoro1;
    QAction* Esci1;
    QMenu* Tabelle1;
    QAction* GestioneTabelle1;
    QAction* GestioneTabelle21;
    QMenu* Elaborazioni1;
    QMenu* ImportadaParadoxaInterbase1;
    QAction* Tabelle11;
    QAction* Tabelle21;
    QMenu* ImportadaInterbaseaParadox1;
    QAction* Tabelle12;
    QAction* Tabelle22;
    QMenu* Info1;
    QAction* Informazioni1;
    QTimer* Timer1;

    InterazioneQt& interazione() { return interazione_; }
    ControlloChiusura& chiusura() { return chiusura_; }
    Guardia& guardia() { return guardia_; }

public slots:
    void DirectoryTracciatiRecord1Click();
    void Directorytracciatirecord21Click();
    void Directoryarchivi1Click();
    void ArchivioInterbase1Click();
    void Directorybakriparaz1Click();
    void Personalizzazioni1Click();
    void Creaarchividilavoro1Click();
    void Esci1Click();
    void GestioneTabelle1Click();
    void GestioneTabelle21Click();
    void Tabelle11Click();
    void Tabelle21Click();
    void Tabelle12Click();
    void Tabelle22Click();
    void Informazioni1Click();
    void Timer1Timer();
    // F12 (123) switches the company, F11 (122) asks every watching program to close.
    void F11F12Ditte(int tasto);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void creaMenu();
    void FormCreate();
    void FormClose();
    void FormKeyUp(int tasto);
    void aggiornaTitolo();
    void abilitaComandi();
    void sceltaDirectory(DirectoryDitta quale);

    std::string percorsoImpostazioni_;
    InterazioneQt interazione_;
    ControlloChiusura chiusura_;
    Guardia guardia_;
    bool chiusa_ = false;
};

// The virtual-key code of a Qt key: F1..F24 as 112..135, letters and digits as themselves,
// 0 for the rest.
int codiceTasto(int tastoQt);

}  // namespace korva::gui
