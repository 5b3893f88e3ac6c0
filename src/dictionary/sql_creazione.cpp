#include "dictionary/sql_creazione.h"

#include "base/errore.h"
#include "engines/interbase/identifiers.h"

namespace korva {
namespace {

std::string unisci(const std::vector<std::string>& nomi, const char* separatore)
{
    std::string lista;
    for (const std::string& n : nomi) {
        if (!lista.empty())
            lista += separatore;
        lista += n;
    }
    return lista;
}

void verificaNomi(const DescrizioneTabella& d, const std::string& tabella)
{
    auto verifica = [&](const std::string& nome, const char* cosa) {
        try {
            ib::verificaIdentificatore(nome, cosa);
        } catch (const Error& e) {
            throw Error("Descrizione della tabella " + d.nomeTabella + " non valida: " + e.what());
        }
    };
    verifica(tabella, "tabella");
    for (const CampoDescritto& campo : d.campi)
        verifica(campo.nome, "campo");
    if (!d.chiavePrimaria.empty())
        verifica(tabella + "_CHIAVEPRIMARIA", "indice");
    for (const CampoDescritto& campo : d.campi)
        if (campo.indiceSingolo)
            verifica(tabella + "_" + campo.nome, "indice");
    for (const IndiceCompostoDescritto& indice : d.indiciComposti)
        verifica(tabella + "_" + indice.nome, "indice");
}

}  // namespace

std::string tipoSql(const TipoELunghezza& tipo)
{
    switch (tipo.lettera) {
    case 'A': return "VARCHAR(" + tipo.testoLunghezza + ")";
    case 'N': return "DOUBLE PRECISION";
    case 'I': return "INTEGER";
    case 'S': return "SMALLINT";
    case 'D': return "TIMESTAMP";
    case 'T': return "TIME";
    default: return "BLOB";  // M, B, G
    }
}

std::vector<IstruzioneSql> istruzioniCreazioneIB(const DescrizioneTabella& descrizione,
                                                 const std::string& nome)
{
    const std::string tabella = ib::maiuscole(nome);
    verificaNomi(descrizione, tabella);
    std::vector<IstruzioneSql> istruzioni;

    IstruzioneSql crea{"CREATE TABLE " + tabella + " ("};
    for (const CampoDescritto& campo : descrizione.campi)
        crea.push_back(std::string("\"").append(ib::maiuscole(campo.nome)).append("\" ") +
                       tipoSql(campo.tipo) + (campo.chiave ? " NOT NULL" : "") + ",");
    if (crea.size() > 1)
        crea.back().pop_back();
    crea.push_back(")");
    istruzioni.push_back(std::move(crea));

    if (!descrizione.chiavePrimaria.empty())
        istruzioni.push_back({"ALTER TABLE " + tabella,
                              "ADD CONSTRAINT " + tabella + "_CHIAVEPRIMARIA PRIMARY KEY ( " +
                                  unisci(descrizione.chiavePrimaria, ",") + " )"});

    for (const CampoDescritto& campo : descrizione.campi)
        if (campo.indiceSingolo)
            istruzioni.push_back({"CREATE INDEX " + tabella + "_" + campo.nome + " ON " +
                                  tabella + " (" + campo.nome + ")"});

    for (const IndiceCompostoDescritto& indice : descrizione.indiciComposti)
        istruzioni.push_back({"CREATE INDEX " + tabella + "_" + indice.nome + " ON " + tabella +
                              " (" + unisci(indice.campi, ",") + ")"});
    return istruzioni;
}

}  // namespace korva
