#include "gui/anteprima.h"

#include "base/errore.h"
#include "checks/stampa_tabella.h"
#include "gui/guardia.h"
#include "report/disegno.h"

#include <algorithm>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace korva::gui {

PaginaReport::PaginaReport(std::shared_ptr<const report::Documento> documento, QWidget* parent)
    : QWidget(parent), documento_(std::move(documento))
{
    QSizePolicy politica(QSizePolicy::Preferred, QSizePolicy::Preferred);
    politica.setHeightForWidth(true);
    setSizePolicy(politica);
}

void PaginaReport::mostra(int pagina)
{
    pagina_ = pagina;
    update();
}

int PaginaReport::heightForWidth(int larghezza) const
{
    return qRound(larghezza * documento_->altezza / documento_->larghezza);
}

void PaginaReport::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Mid));
    if (documento_->pagine.empty())
        return;
    const QRectF foglio(4, 4, width() - 8, (width() - 8) * documento_->altezza / documento_->larghezza);
    report::disegnaPagina(p, *documento_, documento_->pagine.at(static_cast<size_t>(pagina_)), foglio);
    p.setPen(Qt::darkGray);
    p.drawRect(foglio);
}

TAnteprimaForm::TAnteprimaForm(std::shared_ptr<const report::Documento> documento,
                               const report::RichiestaFinestra& richiesta, Guardia& guardia)
    : QWidget(nullptr), documento_(std::move(documento)), guardia_(guardia)
{
    setObjectName(QStringLiteral("AnteprimaStampa"));
    setAttribute(Qt::WA_DeleteOnClose);
    // It does not keep the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromStdString(richiesta.titolo));

    auto pulsante = [this](const char* nome, const QString& testo, QStyle::StandardPixmap icona,
                           const char* tema = "") {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(nome));
        b->setText(testo);
        b->setToolTip(testo);
        b->setIcon(QIcon::fromTheme(QString::fromLatin1(tema), style()->standardIcon(icona)));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        return b;
    };
    ButtonPrima = pulsante("ButtonPrima", QStringLiteral("Prima"), QStyle::SP_MediaSkipBackward);
    ButtonPrecedente = pulsante("ButtonPrecedente", QStringLiteral("Precedente"), QStyle::SP_MediaSeekBackward);
    ButtonSuccessiva = pulsante("ButtonSuccessiva", QStringLiteral("Successiva"), QStyle::SP_MediaSeekForward);
    ButtonUltima = pulsante("ButtonUltima", QStringLiteral("Ultima"), QStyle::SP_MediaSkipForward);
    for (QToolButton* b : {ButtonPrima, ButtonPrecedente, ButtonSuccessiva, ButtonUltima})
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    LabelPagina = new QLabel(this);
    LabelPagina->setObjectName(QStringLiteral("LabelPagina"));
    ButtonStampa = pulsante("ButtonStampa", QStringLiteral("Stampa..."), QStyle::SP_FileIcon, "document-print");
    ButtonSalvaPdf = pulsante("ButtonSalvaPdf", QStringLiteral("Salva PDF..."), QStyle::SP_DialogSaveButton);
    ButtonChiudi = pulsante("ButtonChiudi", QStringLiteral("Chiudi"), QStyle::SP_DialogCloseButton);

    Pagina1 = new PaginaReport(documento_, this);
    Pagina1->setObjectName(QStringLiteral("Pagina1"));
    Area1 = new QScrollArea(this);
    Area1->setObjectName(QStringLiteral("Area1"));
    Area1->setWidget(Pagina1);
    Area1->setWidgetResizable(true);
    Area1->setBackgroundRole(QPalette::Mid);

    auto* barra = new QHBoxLayout;
    barra->setSpacing(2);
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonPrima, ButtonPrecedente, LabelPagina, ButtonSuccessiva,
                                                     ButtonUltima})
        barra->addWidget(w);
    barra->addSpacing(12);
    barra->addWidget(ButtonStampa);
    barra->addWidget(ButtonSalvaPdf);
    barra->addStretch(1);
    barra->addWidget(ButtonChiudi);
    auto* tutto = new QVBoxLayout(this);
    tutto->setContentsMargins(4, 4, 4, 4);
    tutto->addLayout(barra);
    tutto->addWidget(Area1, 1);

    connect(ButtonPrima, &QToolButton::clicked, this, [this] { vaiA(0); });
    connect(ButtonPrecedente, &QToolButton::clicked, this, [this] { vaiA(pagina() - 1); });
    connect(ButtonSuccessiva, &QToolButton::clicked, this, [this] { vaiA(pagina() + 1); });
    connect(ButtonUltima, &QToolButton::clicked, this, [this] { vaiA(pagine() - 1); });
    connect(ButtonStampa, &QToolButton::clicked, this, &TAnteprimaForm::ButtonStampaClick);
    connect(ButtonSalvaPdf, &QToolButton::clicked, this, &TAnteprimaForm::ButtonSalvaPdfClick);
    connect(ButtonChiudi, &QToolButton::clicked, this, &QWidget::close);

    vaiA(0);
    resize(richiesta.larghezza, richiesta.altezza);
    move(richiesta.sinistra, richiesta.alto);
}

void TAnteprimaForm::vaiA(int pagina)
{
    pagina = std::clamp(pagina, 0, std::max(0, pagine() - 1));
    Pagina1->mostra(pagina);
    LabelPagina->setText(QStringLiteral("Pagina %1 di %2").arg(pagina + 1).arg(pagine()));
    ButtonPrima->setEnabled(pagina > 0);
    ButtonPrecedente->setEnabled(pagina > 0);
    ButtonSuccessiva->setEnabled(pagina + 1 < pagine());
    ButtonUltima->setEnabled(pagina + 1 < pagine());
}

void TAnteprimaForm::stampaSu(QPrinter& stampante, int da, int a)
{
    if (da <= 0 || a <= 0) {
        da = 1;
        a = pagine();
    }
    a = std::min(a, pagine());
    QPainter p;
    if (!p.begin(&stampante))
        throw Error("Impossibile avviare la stampa sulla stampante " + stampante.printerName().toStdString());
    const QRectF foglio(QPointF(0, 0), stampante.paperRect(QPrinter::DevicePixel).size());
    for (int i = da; i <= a; ++i) {
        if (i > da)
            stampante.newPage();
        report::disegnaPagina(p, *documento_, documento_->pagine.at(static_cast<size_t>(i - 1)), foglio);
    }
    p.end();
}

void TAnteprimaForm::ButtonStampaClick()
{
    QPrinter stampante(QPrinter::HighResolution);
    stampante.setFullPage(true);
    stampante.setPageSize(
        QPageSize(QSizeF(documento_->larghezza, documento_->altezza), QPageSize::Millimeter));
    stampante.setDocName(windowTitle());
    QPrintDialog dialogo(&stampante, this);
    dialogo.setMinMax(1, std::max(1, pagine()));
    if (dialogo.exec() != QDialog::Accepted)
        return;
    guardia_([&] { stampaSu(stampante, stampante.fromPage(), stampante.toPage()); });
}

void TAnteprimaForm::ButtonSalvaPdfClick()
{
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Salva come PDF"), QString(),
                                                      QStringLiteral("Documenti PDF (*.pdf)"));
    if (file.isEmpty())
        return;
    guardia_([&] { salvaPdf(file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? file : file + ".pdf"); });
}

void TAnteprimaForm::salvaPdf(const QString& file)
{
    report::scriviPdf(*documento_, file.toStdString(), windowTitle().toStdString());
}

}  // namespace korva::gui
