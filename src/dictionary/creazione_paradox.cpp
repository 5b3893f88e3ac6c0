#include "dictionary/creazione_paradox.h"

#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "shell/tabform.h"

namespace korva {

using paradox::FieldType;
namespace opzioni = paradox::IndexOption;

namespace {

FieldType tipoParadox(char lettera)
{
    switch (lettera) {
    case 'A': return FieldType::Alpha;
    case 'N': return FieldType::Number;
    case 'I': return FieldType::Long;
    case 'S': return FieldType::Short;
    case 'D': return FieldType::Date;
    case 'T': return FieldType::Time;
    case 'M': return FieldType::Memo;
    case 'B': return FieldType::Binary;
    default: return FieldType::Graphic;  // G: the letter was checked with the description
    }
}

std::string unisci(const std::vector<std::string>& nomi)
{
    std::string lista;
    for (const std::string& n : nomi)
        lista += (lista.empty() ? "" : ";") + n;
    return lista;
}

}  // namespace

DefinizioniParadox definizioniParadox(const DescrizioneTabella& descrizione)
{
    DefinizioniParadox d;
    for (const CampoDescritto& c : descrizione.campi)
        d.campi.push_back({c.nome, tipoParadox(c.tipo.lettera), c.tipo.lunghezza, false});
    if (!descrizione.chiavePrimaria.empty())
        d.indici.push_back({"", unisci(descrizione.chiavePrimaria), opzioni::Primary | opzioni::Unique});
    for (const CampoDescritto& c : descrizione.campi)
        if (c.indiceSingolo)
            d.indici.push_back({c.nome, c.nome, 0});
    for (const IndiceCompostoDescritto& i : descrizione.indiciComposti)
        d.indici.push_back({i.nome, unisci(i.campi), i.maiuscoleDistinte ? 0u : opzioni::CaseInsensitive});
    return d;
}

bool GestioneTabelle::CreaTabCorrente()
{
    if (!Precondizioni())
        return false;
    richiediDettagli();
    const std::string file = ImpostaPercorsoTabellaCorrente();
    paradox::Table tabella(sessione_);
    tabella.setDatabaseName(DirTabellaCorrente);
    tabella.setTableName(FileTabellaCorrente);
    // The engine would replace a table at the place it writes to: that place is tested too,
    // which differs from the joined text when PathParziale lacks its final separator.
    if (esisteFile(file) || tabella.exists()) {
        interazione_.messaggio(kTabellaEsisteGia);
        return false;
    }
    // A description that cannot give a sound table is refused before anything is made.
    const DefinizioniParadox definizioni = definizioniParadox(descrizioneCorrente());
    if (nomeTabellaConfronto(EditTabellaCorrente()))
        interazione_.messaggio(avvisoNomeTabellaConfronto(EditTabellaCorrente()));
    // Every missing level. The process's current directory stays where it is: a relative
    // working directory would otherwise send the next table somewhere else.
    if (!esisteDirectory(DirTabellaCorrente))
        creaPercorso(DirTabellaCorrente);
    tabella.fieldDefs = definizioni.campi;
    tabella.indexDefs = definizioni.indici;
    // One another program made since the test above is not replaced.
    tabella.createNewTable();
    tabella.close();
    sessione_.dropIdleConnections();
    return true;
}

}  // namespace korva
