// What the dictionary cannot keep of an archive table's columns: each is created back in
// another form, and the registration says so.

#include "dictionary/registrazione.h"

namespace korva {

void aggiungiPerditeArchivio(TabellaLetta& letta, const std::vector<ib::FieldDef>& colonne)
{
    for (std::size_t j = 0; j < colonne.size() && j < letta.righe.campi.size(); ++j) {
        const ib::FieldDef& c = colonne[j];
        const DefCampo& campo = letta.righe.campi[j];
        const std::string come = "colonna " + c.name + " (" + ib::nomeTipo(c.type) + "): registrata come " +
                                 campo.TipoELunghezza + ", nell'archivio sarà creata ";
        switch (c.type) {
        case ib::TipoCampo::Date:
            letta.differenze.push_back(come + "TIMESTAMP (data e ora)");
            break;
        case ib::TipoCampo::Float:
            letta.differenze.push_back(come + "DOUBLE PRECISION");
            break;
        case ib::TipoCampo::Memo:
            letta.differenze.push_back(come + "BLOB (senza il sottotipo testo)");
            break;
        default:
            break;
        }
        // Creation makes NOT NULL the key columns only.
        if (c.required && campo.Chiave != 1)
            letta.differenze.push_back("colonna " + c.name + ": registrata senza NOT NULL (il dizionario lo "
                                       "descrive soltanto per le colonne della chiave)");
    }
}

}  // namespace korva
