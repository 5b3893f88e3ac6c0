#include "shell/chiusura.h"

#include "shell/stato.h"

namespace korva {

ControlloChiusura::ControlloChiusura(Azioni azioni, Env& env) : azioni_(std::move(azioni)), env_(env)
{
}

void ControlloChiusura::impostaTimer(bool attivo)
{
    timer_ = attivo && !chiusa_;
    if (azioni_.timer)
        azioni_.timer(timer_);
}

void ControlloChiusura::avvio(const TTabForm& tabForm, Interazione& interazione)
{
    if (!tabForm.chiusuraAutomatica())
        return;
    // The option is on: the watching starts even when the word cannot be written.
    impostaTimer(true);
    ScriviStato(interazione, tabForm.BinDir, kStatoApriti, env_);
}

void ControlloChiusura::dopoOpzioni(const TTabForm& tabForm, Interazione& interazione)
{
    if (!tabForm.chiusuraAutomatica()) {
        impostaTimer(false);
        return;
    }
    impostaTimer(true);
    // A pending close came from the file: rewriting "APRITI" would take the request away
    // from the programs that have not read it yet.
    if (!richiesta_)
        ScriviStato(interazione, tabForm.BinDir, kStatoApriti, env_);
}

void ControlloChiusura::Timer1Timer(const TTabForm& tabForm)
{
    if (!timer_ || chiusa_)
        return;
    if (LeggiStato(tabForm.BinDir, env_) == kStatoChiuditi)
        richiediChiusura();
}

void ControlloChiusura::richiestaDiChiusura(const TTabForm& tabForm, Interazione& interazione)
{
    if (!tabForm.chiusuraAutomatica())
        return;
    if (interazione.conferma("Confermare stato di chiusura") != Risposta::Ok)
        return;
    ScriviStato(interazione, tabForm.BinDir, kStatoChiuditi, env_);
}

void ControlloChiusura::richiediChiusura()
{
    if (chiusa_)
        return;
    richiesta_ = true;
    if (comandi_ == 0)
        azioni_.chiudi();
    else if (azioni_.interrompi)
        azioni_.interrompi();
}

void ControlloChiusura::fineComando()
{
    --comandi_;
    if (!richiesta_ || chiusa_)
        return;
    if (comandi_ == 0)
        azioni_.chiudi();
    else if (azioni_.interrompi)
        // The command may have opened another window since the request.
        azioni_.interrompi();
}

void ControlloChiusura::chiusa()
{
    impostaTimer(false);
    chiusa_ = true;
    richiesta_ = false;
}

}  // namespace korva
