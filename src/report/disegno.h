#pragma once

// The one renderer of report pages: the preview, the printer and the PDF all draw through
// it, so all three show the same pages.

#include "report/impaginazione.h"

#include <string>

class QPainter;
class QRectF;

namespace korva::report {

// Draws the page, white, into `area` (device coordinates of the painter), scaled to fill it.
void disegnaPagina(QPainter& p, const Documento& d, const Pagina& pagina, const QRectF& area);

// Writes every page into a PDF file titled `titolo`. The file is replaced whole, or left as
// it was when the writing fails (an Error naming the file).
void scriviPdf(const Documento& d, const std::string& percorso, const std::string& titolo);

}  // namespace korva::report
