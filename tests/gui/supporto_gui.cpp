#include "supporto_gui.h"

#include "base/profilo.h"
#include "shell/ditta_demo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTest>

namespace korva::test {

DittaProva::DittaProva(const QByteArray& nomeDitta) : nome(nomeDitta.toStdString())
{
    QVERIFY(dir_.isValid());
    precedente_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    QDir(dir_.path()).mkpath(QStringLiteral("bin/stato"));
    scrivi(QStringLiteral("ditta.cfg"), nomeDitta + "\r\n");
    imposta("Directory bin", bin());
}

DittaProva::~DittaProva()
{
    QDir::setCurrent(precedente_);
}

QString DittaProva::percorso(const QString& relativo) const
{
    return relativo.isEmpty() ? dir_.path() : dir_.filePath(relativo);
}

void DittaProva::scrivi(const QString& relativo, const QByteArray& contenuto) const
{
    const QString p = percorso(relativo);
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(p));
    QCOMPARE(f.write(contenuto), contenuto.size());
}

QByteArray DittaProva::leggi(const QString& relativo) const
{
    QFile f(percorso(relativo));
    if (!f.open(QIODevice::ReadOnly))
        return "<illeggibile>";
    return f.readAll();
}

bool DittaProva::esiste(const QString& relativo) const
{
    return QFileInfo::exists(percorso(relativo));
}

void DittaProva::imposta(const std::string& chiave, const std::string& valore) const
{
    ProfiloPrivato(ini()).scrivi(nome, chiave, valore);
}

std::string DittaProva::impostazione(const std::string& chiave) const
{
    return ProfiloPrivato(ini()).leggi(nome, chiave, "<manca>");
}

void DittaProva::scriviNomiDit(const std::vector<std::string>& nomi, const QString& bin) const
{
    CreaNomiDit(percorso(bin + "/").toStdString(), nomi);
}

QString descrivi(const QMessageBox& box)
{
    QString icona;
    switch (box.icon()) {
    case QMessageBox::NoIcon:
        icona = QStringLiteral("nessuna");
        break;
    case QMessageBox::Information:
        icona = QStringLiteral("informazione");
        break;
    case QMessageBox::Question:
        icona = QStringLiteral("domanda");
        break;
    case QMessageBox::Warning:
        icona = QStringLiteral("avviso");
        break;
    case QMessageBox::Critical:
        icona = QStringLiteral("errore");
        break;
    }
    QStringList pulsanti;
    if (box.standardButtons() & QMessageBox::Ok)
        pulsanti << QStringLiteral("OK");
    if (box.standardButtons() & QMessageBox::Cancel)
        pulsanti << QStringLiteral("Cancel");
    if (box.standardButtons() & QMessageBox::Yes)
        pulsanti << QStringLiteral("Yes");
    if (box.standardButtons() & QMessageBox::No)
        pulsanti << QStringLiteral("No");
    return box.windowTitle() + '|' + icona + '|' + box.text() + '|' + pulsanti.join('/');
}

Copione::Copione()
{
    connect(&timer_, &QTimer::timeout, this, &Copione::controlla);
    timer_.start(10);
}

void Copione::rispondi(QMessageBox::StandardButton pulsante)
{
    poi([this, pulsante](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            imprevisti << QString::fromLatin1(w->metaObject()->className());
            static_cast<QDialog*>(w)->reject();
            return;
        }
        visti << descrivi(*box);
        QAbstractButton* b = box->button(pulsante);
        if (b)
            b->click();
        else
            box->reject();
    });
}

void Copione::controlla()
{
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible())
        return;
    if (w == ultimo_) {
        // A window its step should have ended: cancelled, so that the test fails, not hangs.
        if (aperto_.elapsed() > 5000) {
            imprevisti << QStringLiteral("rimasta aperta: ") + QString::fromLatin1(w->metaObject()->className());
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
            aperto_.restart();
        }
        return;
    }
    ultimo_ = w;
    aperto_.start();
    if (passi_.empty()) {
        imprevisti << QString::fromLatin1(w->metaObject()->className());
        if (auto* box = qobject_cast<QMessageBox*>(w))
            imprevisti.last() += ": " + descrivi(*box);
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        return;
    }
    Passo passo = std::move(passi_.front());
    passi_.pop_front();
    passo(w);
}

}  // namespace korva::test
