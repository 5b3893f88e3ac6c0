#include "dictionary/generatore.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {

GeneratoreArchivi::GeneratoreArchivi(Interazione& interazione, TTabForm& tabForm,
                                     paradox::Session& sessione)
    : Table1(sessione), interazione_(interazione), tabForm_(tabForm), sessione_(sessione)
{
}

void CreaTabellaDizionario(paradox::Session& sessione, paradox::Table& t, TabellaDizionario quale,
                           const std::string& cartella, const std::string& nome)
{
    t.close();
    try {
        // One level only: the record-layout directory itself must be there.
        sessione.env().createDir(risolviPerCreare(cartella));
    } catch (const Error&) {
    }
    t.setDatabaseName(cartella);
    t.setTableName(nome);
    t.fieldDefs = campiDizionario(quale);
    t.indexDefs = {indicePrimarioDizionario(quale)};
    t.createTable();
    t.open();
}

void CreaDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                    const std::vector<RigheTabella>& tabelle)
{
    paradox::Table t(sessione);
    for (TabellaDizionario quale :
         {TabellaDizionario::Campi, TabellaDizionario::Indicic, TabellaDizionario::Korva}) {
        const auto posizione = posizioneDizionario(tracciatiDir, quale);
        CreaTabellaDizionario(sessione, t, quale, posizione.cartella, posizione.nome);
    }
    t.close();
    for (const RigheTabella& righe : tabelle)
        scriviRigheDizionario(sessione, tracciatiDir, righe);
}

void GeneratoreArchivi::CreaTabellaCampi()
{
    CreaTabellaDizionario(sessione_, Table1, TabellaDizionario::Campi, tabForm_.PercorsoCampi,
                          tabForm_.TabellaCampi);
}

void GeneratoreArchivi::CreaTabellaIndicic()
{
    CreaTabellaDizionario(sessione_, Table1, TabellaDizionario::Indicic, tabForm_.PercorsoIndicic,
                          tabForm_.TabellaIndicic);
}

void GeneratoreArchivi::CreaTabellaKorva()
{
    CreaTabellaDizionario(sessione_, Table1, TabellaDizionario::Korva, tabForm_.PercorsoKorva,
                          tabForm_.TabellaKorva);
}

bool GeneratoreArchivi::Genera()
{
    richiediDirectory(tabForm_, DirectoryLavoro::Tracciati1);
    if (interazione_.domanda(kDomandaGenera) != Risposta::Si)
        return false;
    CreaTabellaCampi();
    CreaTabellaIndicic();
    CreaTabellaKorva();
    interazione_.messaggio(kCreazioneTerminata);
    return true;
}

}  // namespace korva
