#pragma once

// Our report engine: opens report files as jobs, takes the table locations, the selection
// and the formula values, and at the start reads the tables, lays out the pages and sends
// them to a preview window (through the program's window factory) or into a PDF file.
// Needs a QGuiApplication (fonts) for the PDF.

#include "checks/stampa_tabella.h"
#include "report/impaginazione.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korva::paradox {
class Session;
}

namespace korva::report {

// Where and how a preview window is asked for.
struct RichiestaFinestra {
    std::string titolo;
    int sinistra = 0, alto = 0, larghezza = 0, altezza = 0;
};

class MotoreReport : public MotoreStampa {
public:
    // Makes a preview window showing the document; the window lives on its own.
    using Anteprima = std::function<void(std::shared_ptr<const Documento>, const RichiestaFinestra&)>;

    explicit MotoreReport(paradox::Session& sessione);
    ~MotoreReport() override;

    // Without one, a job sent to a window is refused at its start.
    void setAnteprima(Anteprima a) { anteprima_ = std::move(a); }
    // The date printed by {data} (dd/mm/yyyy); today's when not set.
    void setData(std::string data) { data_ = std::move(data); }

    int ApriStampa(const std::string& percorsoReport) override;
    std::string erroreReport() const override { return errore_; }
    bool ImpostaPosizioneTabella(int job, int tabella, const std::string& posizione) override;
    bool ImpostaSelezione(int job, const std::string& formula) override;
    bool ImpostaFormula(int job, const std::string& nome, const std::string& testo) override;
    bool UscitaFinestra(int job, const std::string& titolo, int sinistra, int alto, int larghezza,
                        int altezza) override;
    bool UscitaPdf(int job, const std::string& file) override;
    // The job ends with its start, whatever its outcome: later calls on it are refused.
    bool AvviaStampa(int job) override;

    // The pages the job would give now (what AvviaStampa sends out).
    Documento impagina(int job);

private:
    struct Lavoro;
    Lavoro* lavoro(int job);
    Documento impaginaLavoro(const Lavoro& l);

    paradox::Session& sessione_;
    Anteprima anteprima_;
    std::optional<std::string> data_;
    std::string errore_;
    std::map<int, std::unique_ptr<Lavoro>> lavori_;
    int ultimo_ = 0;
};

}  // namespace korva::report
