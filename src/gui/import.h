#pragma once

#include "gui/comando_unico.h"
#include "maintenance/importazione.h"
#include "shell/tabform.h"

#include <QDialog>

#include <memory>
#include <string>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace korva::gui {

// The import window: the tables of one dictionary with a check box each, copied from Paradox
// to the archive ("PARADOX") or back (any other direction) with two progress bars and a stop
// button. While a run goes another start is refused; closing the window stops the run, and the
// window closes when it ends.
class TImportForm : public QDialog, private VistaImportazione {
    Q_OBJECT
public:
    TImportForm(QWidget* owner, std::string tracciatiDir, const std::string& direzione,
                std::unique_ptr<TTabForm>& tabForm, Guardia& guardia);
    ~TImportForm() override;

    bool inCorso() const;

    QListWidget* ListaTabelle;
    QPushButton* ButtonImporta;
    QPushButton* SpeedButton1;
    QPushButton* SpeedButton2;
    QPushButton* ButtonChiudi;
    QPushButton* ButtonInterrompi;
    QLabel* Label1;
    QLabel* Label2;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;

public slots:
    void ButtonImportaClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void ButtonChiudiClick();
    void ButtonInterrompiClick();
    void done(int esito) override;

private:
    void etichettaTabella(const std::string& testo) override;
    void etichettaRecord(const std::string& testo) override;
    void barraTabella(int percento) override;
    void barraTabelle(int percento) override;
    void segnaTutte(bool spuntate);

    std::string tracciatiDir_;
    DirezioneImportazione direzione_;
    std::unique_ptr<TTabForm>& tabForm_;
    Guardia& guardia_;
    ComandoUnico comandi_{*this, guardia_};
    std::unique_ptr<Importazione> importazione_;
};

}  // namespace korva::gui
