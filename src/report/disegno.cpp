#include "report/disegno.h"

#include "base/env.h"
#include "base/errore.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace korva::report {
namespace {

// Logical units of a millimetre while a page is drawn: fine enough for font sizes to keep
// their tenths of a point.
constexpr double kUnita = 100;
constexpr double kMmPerPunto = 25.4 / 72.0;
// Blank kept between a text and the edge of its box.
constexpr double kMargineTesto = 0.6 * kUnita;

Qt::Alignment allineamento(Allineamento a)
{
    switch (a) {
    case Allineamento::Centro:
        return Qt::AlignHCenter;
    case Allineamento::Destra:
        return Qt::AlignRight;
    case Allineamento::Sinistra:
        break;
    }
    return Qt::AlignLeft;
}

}  // namespace

void disegnaPagina(QPainter& p, const Documento& d, const Pagina& pagina, const QRectF& area)
{
    p.save();
    p.fillRect(area, Qt::white);
    p.translate(area.topLeft());
    p.scale(area.width() / (d.larghezza * kUnita), area.height() / (d.altezza * kUnita));
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QPen penna(Qt::black);
    penna.setWidthF(0.2 * kUnita);
    p.setPen(penna);
    for (const LineaPosata& l : pagina.linee)
        p.drawLine(QLineF(l.x1 * kUnita, l.y * kUnita, l.x2 * kUnita, l.y * kUnita));

    QFont carattere(QString::fromStdString(d.carattere));
    // The same glyph widths at every scale: the preview elides where the PDF does.
    carattere.setHintingPreference(QFont::PreferNoHinting);
    for (const TestoPosato& t : pagina.testi) {
        if (t.testo.empty())
            continue;
        carattere.setPixelSize(qRound(t.dimensione * kMmPerPunto * kUnita));
        carattere.setBold(t.grassetto);
        p.setFont(carattere);
        const QRectF riquadro(t.x * kUnita + kMargineTesto, t.y * kUnita, t.larghezza * kUnita - 2 * kMargineTesto,
                              t.altezza * kUnita);
        const QString testo = QFontMetricsF(carattere).elidedText(QString::fromStdString(t.testo), Qt::ElideRight,
                                                                  riquadro.width());
        p.drawText(riquadro, allineamento(t.allineamento) | Qt::AlignVCenter | Qt::TextSingleLine, testo);
    }
    p.restore();
}

void scriviPdf(const Documento& d, const std::string& percorso, const std::string& titolo)
{
    QByteArray dati;
    {
        QBuffer memoria(&dati);
        memoria.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&memoria);
        pdf.setTitle(QString::fromStdString(titolo));
        pdf.setCreator(QStringLiteral("KORVAWIN"));
        pdf.setResolution(600);
        pdf.setPageSize(QPageSize(QSizeF(d.larghezza, d.altezza), QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        if (!p.begin(&pdf))
            throw Error("Impossibile scrivere il file PDF " + percorso);
        for (size_t i = 0; i < d.pagine.size(); ++i) {
            if (i > 0)
                pdf.newPage();
            disegnaPagina(p, d, d.pagine[i], QRectF(0, 0, pdf.width(), pdf.height()));
        }
        p.end();
    }
    // Through the shared writer: a link keeps pointing to the new file, and what stops the
    // writing is told in Italian.
    try {
        writeFileAtomic(Env::standard(), percorso, std::string_view(dati.constData(), static_cast<size_t>(dati.size())));
    } catch (const Error& e) {
        throw Error("Impossibile scrivere il file PDF " + percorso + " (" + e.what() + ")");
    }
}

}  // namespace korva::report
