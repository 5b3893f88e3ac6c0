#pragma once

// "&1. Aggiungi tabella" of the table manager: the dialogs of the registration, in the mode in
// force, around the core's registration.

class QWidget;

namespace korva {
class GestioneTabelle;
class TTabForm;
}

namespace korva::gui {

class Guardia;

// The Paradox table chosen in TScelTabForm, then registered.
void AggiungiTabellaParadox(QWidget* owner, GestioneTabelle& gestione, TTabForm& tabForm, Guardia& guardia);
// The archive table chosen in TListTabForm, its folder asked in the folder dialog, registered.
void AggiungiTabellaIb(QWidget* owner, GestioneTabelle& gestione, TTabForm& tabForm, Guardia& guardia);

}  // namespace korva::gui
