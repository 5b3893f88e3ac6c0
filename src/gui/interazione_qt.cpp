#include "gui/interazione_qt.h"

#include "base/errore.h"
#include "gui/rapporto.h"
#include "shell/chiusura.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStringList>

#include <cstdio>

namespace korva::gui {
namespace {

int mostra(QWidget* genitore, QMessageBox::Icon icona, const std::string& testo,
           QMessageBox::StandardButtons pulsanti, QMessageBox::StandardButton predefinito)
{
    QMessageBox box(icona, QString::fromUtf8(kTitoloApplicazione), QString::fromStdString(testo),
                    pulsanti, genitore);
    box.setObjectName("MessageBox");
    box.setDefaultButton(predefinito);
    return box.exec();
}

}  // namespace

InterazioneQt::InterazioneQt(QWidget* finestraPrincipale) : finestraPrincipale_(finestraPrincipale) {}

void InterazioneQt::impostaIndicatori(QLabel* occupato, QProgressBar* progresso)
{
    occupato_ = occupato;
    progresso_ = progresso;
}

bool InterazioneQt::silenzio() const
{
    return chiusura_ && chiusura_->chiusuraRichiesta();
}

QWidget* InterazioneQt::genitore() const
{
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    if (QWidget* w = QApplication::activeWindow())
        return w;
    return finestraPrincipale_;
}

void InterazioneQt::messaggio(const std::string& testo)
{
    if (silenzio())
        return;
    mostra(genitore(), QMessageBox::NoIcon, testo, QMessageBox::Ok, QMessageBox::Ok);
}

void InterazioneQt::messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli)
{
    if (silenzio())
        return;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kTitoloApplicazione), QString::fromStdString(testo),
                    QMessageBox::Ok, genitore());
    box.setObjectName("MessageBox");
    QStringList righe;
    for (const std::string& riga : dettagli)
        righe << QString::fromStdString(riga);
    if (!righe.isEmpty())
        box.setDetailedText(righe.join('\n'));
    box.exec();
}

void InterazioneQt::rapporto(const std::string& titolo, const std::vector<std::string>& righe)
{
    if (silenzio())
        return;
    TRapportoForm finestra(titolo, righe, genitore());
    finestra.exec();
}

Risposta InterazioneQt::domanda(const std::string& testo)
{
    if (silenzio())
        return Risposta::No;
    int r = mostra(genitore(), QMessageBox::Information, testo, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes);
    return r == QMessageBox::Yes ? Risposta::Si : Risposta::No;
}

Risposta InterazioneQt::conferma(const std::string& testo)
{
    if (silenzio())
        return Risposta::Annulla;
    int r = mostra(genitore(), QMessageBox::Question, testo, QMessageBox::Ok | QMessageBox::Cancel,
                   QMessageBox::Ok);
    return r == QMessageBox::Ok ? Risposta::Ok : Risposta::Annulla;
}

void InterazioneQt::errore(const std::string& testo)
{
    if (silenzio()) {
        // No box while the program closes, but the failure must leave a trace.
        std::fprintf(stderr, "%s\n", testoErroreGenerale(testo).c_str());
        return;
    }
    mostra(genitore(), QMessageBox::Critical, testoErroreGenerale(testo), QMessageBox::Ok,
           QMessageBox::Ok);
}

void InterazioneQt::inizioElaborazione()
{
    if (occupato_) {
        occupato_->setText(QStringLiteral("ELABORAZIONE IN CORSO...."));
        occupato_->repaint();
    }
}

void InterazioneQt::fineElaborazione()
{
    if (occupato_) {
        occupato_->setText(QStringLiteral("ELABORAZIONE TERMINATA!"));
        occupato_->repaint();
    }
}

void InterazioneQt::progresso(const std::string&, std::int64_t fatto, std::int64_t totale)
{
    if (!progresso_ || totale <= 0)
        return;
    progresso_->setRange(0, 100);
    progresso_->setValue(static_cast<int>(fatto * 100 / totale));
}

void InterazioneQt::elaboraEventi()
{
    QCoreApplication::processEvents();
}

}  // namespace korva::gui
