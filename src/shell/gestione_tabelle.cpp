#include "shell/gestione_tabelle.h"

#include "engines/paradox/table.h"
#include "shell/directory_ditta.h"

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
    const std::string& directory = richiediDirectory(
        tabForm, tracciati == 2 ? DirectoryLavoro::Tracciati2 : DirectoryLavoro::Tracciati1);
    return TestAperturaTabella(interazione, "KORVA.DB", directory + "KORVA");
}

}  // namespace korva
