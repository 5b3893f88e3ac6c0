#pragma once

#include "report/motore.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPrinter;
class QScrollArea;
class QToolButton;

namespace korva::gui {

class Guardia;

// One page of a report, drawn as wide as the view lets it.
class PaginaReport : public QWidget {
    Q_OBJECT
public:
    PaginaReport(std::shared_ptr<const report::Documento> documento, QWidget* parent);
    void mostra(int pagina);
    int pagina() const { return pagina_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int larghezza) const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::shared_ptr<const report::Documento> documento_;
    int pagina_ = 0;
};

// The preview of a printed report: a window of its own, not modal, without a parent, that
// lives until the user closes it. It pages through the report, prints it through the
// system's print dialog and saves it as PDF, all drawn by the report's one renderer.
class TAnteprimaForm : public QWidget {
    Q_OBJECT
public:
    TAnteprimaForm(std::shared_ptr<const report::Documento> documento, const report::RichiestaFinestra& richiesta,
                   Guardia& guardia);

    int pagina() const { return Pagina1->pagina(); }
    int pagine() const { return static_cast<int>(documento_->pagine.size()); }

    QToolButton* ButtonPrima;
    QToolButton* ButtonPrecedente;
    QToolButton* ButtonSuccessiva;
    QToolButton* ButtonUltima;
    QLabel* LabelPagina;
    QToolButton* ButtonStampa;
    QToolButton* ButtonSalvaPdf;
    QToolButton* ButtonChiudi;
    QScrollArea* Area1;
    PaginaReport* Pagina1;

public slots:
    void vaiA(int pagina);
    // The system's print dialog, then the chosen pages on the chosen printer.
    void ButtonStampaClick();
    // A file dialog, then salvaPdf.
    void ButtonSalvaPdfClick();

public:
    // Pages `da` to `a` (counted from 1; 0 and 0 for all) on a printer ready to print.
    void stampaSu(QPrinter& stampante, int da = 0, int a = 0);
    // Every page into a PDF file.
    void salvaPdf(const QString& file);

private:
    std::shared_ptr<const report::Documento> documento_;
    Guardia& guardia_;
};

}  // namespace korva::gui
