#include "shell/gestione_tabelle.h"

#include "engines/paradox/table.h"

#include <exception>

namespace korva {

bool TestAperturaTabella(Interazione& interazione, const std::string& nomeTabella,
                         const std::string& cartella)
{
    paradox::Table tabella;
    tabella.setDatabaseName(cartella);
    tabella.setTableName(nomeTabella);
    try {
        tabella.open();
    } catch (const std::exception&) {
        interazione.messaggio("Errore apertura tabelle: verificare impostazione directory di lavoro");
        return false;
    }
    tabella.close();
    return true;
}

bool PreparaGestioneTabelle(TTabForm& tabForm, int tracciati, Interazione& interazione)
{
    paradox::Session::standard().dropIdleConnections();
    tabForm.SettaLavoroDir();
    const std::string& directory = tracciati == 2 ? tabForm.TracciatiDir2 : tabForm.TracciatiDir1;
    return TestAperturaTabella(interazione, "KORVA.DB", directory + "KORVA");
}

}  // namespace korva
