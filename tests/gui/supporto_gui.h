#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QTreeWidgetItem;

namespace korva::test {

// A company on disk for the window tests, in a fresh folder that is also made the current
// directory (the start-up directory of the main window): ditta.cfg, the settings file and the
// program directory "bin/" with its "stato" folder.
class DittaProva {
public:
    explicit DittaProva(const QByteArray& nome = "Rossi");
    ~DittaProva();

    QString percorso(const QString& relativo = {}) const;
    std::string ini() const { return percorso("varnelo.ini").toStdString(); }
    std::string bin() const { return percorso("bin/").toStdString(); }
    QString stato() const { return percorso("bin/stato/STATO.TXT"); }

    void scrivi(const QString& relativo, const QByteArray& contenuto) const;
    QByteArray leggi(const QString& relativo) const;
    bool esiste(const QString& relativo) const;
    // A key of the company's section.
    void imposta(const std::string& chiave, const std::string& valore) const;
    std::string impostazione(const std::string& chiave) const;

    // The company list NomiDit/NomiDit.db of a program directory ("bin" by default) with
    // these names, in this record order.
    void scriviNomiDit(const std::vector<std::string>& nomi, const QString& bin = "bin") const;

    const std::string nome;

private:
    QTemporaryDir dir_;
    QString precedente_;
};

// Handles the modal windows that a command opens, one step each, in the order they appear.
// A window that appears with no step left is recorded as unexpected and cancelled, so that a
// failing test never hangs.
class Copione : public QObject {
    Q_OBJECT
public:
    using Passo = std::function<void(QWidget*)>;

    Copione();
    void poi(Passo passo) { passi_.push_back(std::move(passo)); }
    // A message box: records it and presses the button.
    void rispondi(QMessageBox::StandardButton pulsante);

    bool finito() const { return passi_.empty(); }
    // "title|icon|text|buttons" for each message box met.
    QStringList visti;
    // Class names of the windows that came with no step left.
    QStringList imprevisti;

private:
    void controlla();

    std::deque<Passo> passi_;
    QPointer<QWidget> ultimo_;
    QElapsedTimer aperto_;
    QTimer timer_;
};

// "title|icon|text|buttons" of a message box.
QString descrivi(const QMessageBox& box);

}  // namespace korva::test
