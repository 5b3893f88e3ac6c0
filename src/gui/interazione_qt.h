#pragma once

#include "base/interazione.h"

#include <QPointer>

class QLabel;
class QProgressBar;
class QWidget;

namespace korva {

class ControlloChiusura;

namespace gui {

// The port in windows: plain messages with OK, questions with the information icon and
// Yes/No, confirmations with the question icon and OK/Cancel, the general error display
// with the error icon, all captioned with the program's title.
//
// While a close of the program is pending the boxes are not shown: questions take the
// declining answer, so that the running command ends the safe way and the program can close.
class InterazioneQt : public Interazione {
public:
    explicit InterazioneQt(QWidget* finestraPrincipale = nullptr);

    void impostaChiusura(const ControlloChiusura* chiusura) { chiusura_ = chiusura; }
    // The busy label and progress bar of the window whose command is running (none: the
    // busy state is not shown).
    void impostaIndicatori(QLabel* occupato, QProgressBar* progresso);

    void messaggio(const std::string& testo) override;
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli) override;
    void rapporto(const std::string& titolo, const std::vector<std::string>& righe) override;
    Risposta domanda(const std::string& testo) override;
    Risposta conferma(const std::string& testo) override;
    void errore(const std::string& testo) override;
    void inizioElaborazione() override;
    void fineElaborazione() override;
    void progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale) override;
    void elaboraEventi() override;

private:
    bool silenzio() const;
    QWidget* genitore() const;

    QPointer<QWidget> finestraPrincipale_;
    const ControlloChiusura* chiusura_ = nullptr;
    QPointer<QLabel> occupato_;
    QPointer<QProgressBar> progresso_;
};

}  // namespace gui
}  // namespace korva
