#include "gui/aggiungi_tabella.h"

#include "dictionary/gestione_tabelle.h"
#include "gui/guardia.h"
#include "gui/listtab.h"
#include "gui/percorso_tabella.h"
#include "gui/sceltab.h"
#include "shell/tabform.h"

#include <QLabel>

namespace korva::gui {

void AggiungiTabellaParadox(QWidget* owner, GestioneTabelle& gestione, TTabForm& tabForm, Guardia& guardia)
{
    gestione.NomeTabellaCorrente.clear();
    {
        TScelTabForm scelta(owner, gestione.DirScelta, gestione.NomeTabellaCorrente, tabForm.NomeDitta,
                            tabForm.LavoroDir, guardia);
        guardia.modale(scelta);
    }
    gestione.RegistraTabellaParadox();
}

void AggiungiTabellaIb(QWidget* owner, GestioneTabelle& gestione, TTabForm& tabForm, Guardia& guardia)
{
    gestione.RegistraTabellaIb(
        [&]() -> std::optional<std::string> {
            TListTabForm lista(owner, tabForm.IBDatabase1, tabForm.IBTransaction1);
            lista.Label1->setVisible(true);
            lista.Label2->setVisible(true);
            lista.resize(295, 200);
            guardia.modale(lista);
            if (lista.Esito != 1)
                return std::nullopt;
            return lista.tabellaScelta();
        },
        [&] {
            PercorsoTabellaForm percorso(owner, guardia);
            guardia.modale(percorso);
            return percorso.percorso();
        });
}

}  // namespace korva::gui
