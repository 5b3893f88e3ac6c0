#include "support/korva_nomi_lunghi.h"

#include "dictionary/tabelle_dizionario.h"
#include "engines/paradox/table.h"

namespace korva::test {

void scriviKorvaConNomiLunghi(const std::string& tracciatiDir, const std::vector<DefTabella>& righe)
{
    const auto posizione = posizioneDizionario(tracciatiDir, TabellaDizionario::Korva);
    paradox::Table korva;
    korva.setDatabaseName(posizione.cartella);
    korva.setTableName(posizione.nome);
    korva.fieldDefs = campiDizionario(TabellaDizionario::Korva);
    korva.fieldDefs[0].size = 20;
    korva.indexDefs = {indicePrimarioDizionario(TabellaDizionario::Korva)};
    korva.createTable();
    korva.open();
    for (const DefTabella& r : righe) {
        korva.append();
        scriviRiga(korva, r);
        korva.post();
    }
}

}  // namespace korva::test
