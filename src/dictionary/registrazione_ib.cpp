// Registering a table of the archive: its columns, its primary key (reported as such, or the
// index that archive creation names ..._CHIAVEPRIMARIA) and its other indexes as dictionary rows.

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/registrazione.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "maintenance/rigenerazione.h"
#include "shell/tabform.h"

#include <algorithm>
#include <set>

namespace korva {

using ib::TipoCampo;

namespace {

struct Codice {
    std::string codice;
    bool adattato = false;
};

std::string testoTipo(const ib::FieldDef& c)
{
    std::string testo = ib::nomeTipo(c.type);
    if (c.type == TipoCampo::Numeric || c.type == TipoCampo::Decimal)
        testo.append("(").append(std::to_string(c.size)).append(",").append(std::to_string(c.scale)).append(")");
    if (c.type == TipoCampo::Char || c.type == TipoCampo::Varchar)
        testo.append("(").append(std::to_string(c.size)).append(")");
    return testo;
}

std::optional<Codice> codiceColonna(const ib::FieldDef& c)
{
    auto con = [&](char lettera, bool adattato = false) {
        return Codice{TipoELunghezza::scrivi(lettera, c.size), adattato};
    };
    switch (c.type) {
    case TipoCampo::Varchar: return con('A');
    case TipoCampo::Float:
    case TipoCampo::Double: return con('N');
    case TipoCampo::Integer: return con('I');
    case TipoCampo::Smallint: return con('S');
    case TipoCampo::Date:
    case TipoCampo::Timestamp: return con('D');
    case TipoCampo::Time: return con('T');
    case TipoCampo::Memo:
    case TipoCampo::Blob: return con('M');
    // The same text, without the blanks that pad it.
    case TipoCampo::Char: return con('A', true);
    default: return std::nullopt;
    }
}

std::vector<std::string> colonneDi(const ib::IndexDef& ix)
{
    std::vector<std::string> nomi;
    size_t inizio = 0;
    while (!ix.fields.empty() && inizio <= ix.fields.size()) {
        size_t fine = ix.fields.find(';', inizio);
        if (fine == std::string::npos)
            fine = ix.fields.size();
        nomi.push_back(ix.fields.substr(inizio, fine - inizio));
        inizio = fine + 1;
    }
    return nomi;
}

bool composto(const ib::IndexDef& ix)
{
    return ix.fields.find(';', 1) != std::string::npos;
}

// The name archive creation gives the key: the reduced name, or for a table whose own name
// holds "_" (MOV_CLI_CHIAVEPRIMARIA reduces to CLI_CHIAVEPRIMARIA) the table's name before it.
bool nomeDiChiave(const ib::IndexDef& ix, const std::string& tabella)
{
    return RilasciaNomeIndiceRidotto(ix.name) == kChiavePrimaria ||
           ix.name == tabella + "_" + kChiavePrimaria;
}

bool indiceChiave(const ib::IndexDef& ix, const std::string& tabella)
{
    return ix.primary || nomeDiChiave(ix, tabella);
}

// Every command addresses an archive table by its dictionary name in upper case, without
// quotes: a table whose catalogue name is not that form would be another table to them.
void richiediNomeIndirizzabile(const std::string& nome)
{
    if (!ib::nomeCatalogoIndirizzabile(nome))
        rifiutaRegistrazione("\"" + nome + "\"", "il suo nome nell'archivio non è un identificatore semplice in "
                                              "maiuscolo (lettere, cifre, _ e $, iniziale una lettera): i comandi "
                                              "del programma lo leggerebbero come il nome di un'altra tabella");
}

std::string proprieta(const ib::IndexDef& ix)
{
    std::string perse;
    if (ix.descending)
        perse = "discendente";
    if (ix.unique)
        perse += (perse.empty() ? "" : ", ") + std::string("univoco");
    return perse;
}

std::string elenco(const std::vector<std::string>& nomi)
{
    std::string testo;
    for (const std::string& n : nomi)
        testo += (testo.empty() ? "" : ", ") + n;
    return testo;
}

// The key by both rules: the index reported as primary, unless an index named
// ..._CHIAVEPRIMARIA says otherwise (over several columns it wins; over one column it makes a
// one-column key, and a longer reported key is then suspect).
std::vector<std::string> chiave(const std::vector<ib::IndexDef>& indici, const std::string& tabella,
                                TabellaLetta& letta)
{
    std::vector<std::string> riportata, singola, composta;
    for (const ib::IndexDef& ix : indici) {
        if (ix.primary)
            riportata = colonneDi(ix);
        else if (nomeDiChiave(ix, tabella))
            (composto(ix) ? composta : singola) = colonneDi(ix);
    }
    if (!composta.empty())
        return composta;
    if (!singola.empty()) {
        if (riportata.size() > 1)
            letta.avvisi.push_back(kChiaveSospetta);
        return singola;
    }
    return riportata;
}

}  // namespace

std::string RilasciaNomeIndiceRidotto(const std::string& nome)
{
    const size_t trattino = nome.find('_');
    return trattino == std::string::npos ? nome : nome.substr(trattino + 1);
}

TabellaLetta righeDaArchivio(const std::string& nomeArchivio, const std::string& nomeTabella,
                             const std::vector<ib::FieldDef>& colonne, const std::vector<ib::IndexDef>& indici)
{
    TabellaLetta letta;
    DefTabella& t = letta.righe.tabella;
    t.NomeTabella = nomeTabella;
    t.NumeroCampi = static_cast<int>(colonne.size());

    std::string rifiutate;
    for (const ib::FieldDef& c : colonne) {
        auto codice = c.computed ? std::nullopt : codiceColonna(c);
        if (!codice)
            rifiutate += "\ncolonna " + c.name + ": " + (c.computed ? "calcolata" : "tipo " + testoTipo(c));
        else if (codice->adattato)
            letta.differenze.push_back("colonna " + c.name + " (" + testoTipo(c) + "): registrata come " +
                                       codice->codice);
    }
    if (!rifiutate.empty())
        rifiutaRegistrazione(nomeTabella, "il dizionario non può descrivere queste colonne:" + rifiutate);

    // The key fields are the first ones in the dictionary: a key over other columns, or in
    // another order, it cannot describe.
    const std::vector<std::string> campiChiave = chiave(indici, nomeArchivio, letta);
    for (size_t j = 0; j < campiChiave.size(); ++j)
        if (j >= colonne.size() || colonne[j].name != campiChiave[j])
            rifiutaRegistrazione(nomeTabella, "la chiave primaria (" + elenco(campiChiave) +
                                                  ") non è formata dalle prime colonne della tabella "
                                                  "nel loro ordine, come il dizionario la descrive");
    t.CampiChiavePrimaria = static_cast<int>(campiChiave.size());

    std::set<std::string> nomiComposti;
    for (const ib::IndexDef& ix : indici) {
        if (indiceChiave(ix, nomeArchivio))
            continue;
        const std::string ridotto = RilasciaNomeIndiceRidotto(ix.name);
        if (!composto(ix)) {
            ++t.IndiciSecSingoli;
            if (ix.fields.empty())
                letta.differenze.push_back("indice " + ix.name + " su un'espressione: non descritto");
            else if (auto perse = proprieta(ix); !perse.empty())
                letta.differenze.push_back("indice " + ix.name + ": registrato senza le proprietà " + perse);
            continue;
        }
        ++t.IndiciSecComposti;
        if (ridotto.empty() || !nomiComposti.insert(ridotto).second)
            rifiutaRegistrazione(nomeTabella, "il nome dell'indice " + ix.name + " ridotto a \"" + ridotto +
                                                  "\" è vuoto o è quello di un altro indice");
        if (auto perse = proprieta(ix); !perse.empty())
            letta.differenze.push_back("indice " + ix.name + ": registrato senza le proprietà " + perse);
        const auto nomi = colonneDi(ix);
        for (size_t k = 0; k < nomi.size(); ++k) {
            DefIndiceComposto r;
            r.NomeTabella = nomeTabella;
            r.NomeIndiceSecComp = ridotto;
            for (size_t j = 0; j < colonne.size(); ++j)
                if (colonne[j].name == nomi[k])
                    r.NumeroCampo = static_cast<int>(j) + 1;
            r.EstensioneIndiceSecComp = std::to_string(k);
            r.TipoIndiceSecComp = ix.caseInsensitive ? 0 : 1;
            letta.righe.indici.push_back(r);
        }
    }

    for (size_t j = 0; j < colonne.size(); ++j) {
        DefCampo c;
        c.NomeTabella = nomeTabella;
        c.NumeroCampo = static_cast<int>(j) + 1;
        c.NomeCampo = colonne[j].name;
        c.TipoELunghezza = codiceColonna(colonne[j])->codice;
        c.Chiave = static_cast<int>(j) < t.CampiChiavePrimaria ? 1 : 0;
        for (const ib::IndexDef& ix : indici)
            if (ix.fields == colonne[j].name && !indiceChiave(ix, nomeArchivio))
                c.IndiceSecSingolo = 1;
        c.TipoIndiceSecSingolo = c.IndiceSecSingolo;
        letta.righe.campi.push_back(c);
    }
    return letta;
}

bool GestioneTabelle::RegistraTabellaIb(const std::function<std::optional<std::string>()>& sceltaTabella,
                                        const std::function<std::string()>& percorso)
{
    ib::TransactionScope lettura(tabForm_.IBTransaction1);
    tabForm_.ConnettiDatabaseIB();
    NomeTabellaCorrente.clear();
    if (!tabForm_.IBDatabase1.connected())
        return false;
    const auto scelta = sceltaTabella();
    // Cancelled, or confirmed without a table: nothing to register.
    if (!scelta || scelta->empty())
        return false;
    NomeTabellaCorrente = *scelta;
    richiediNomeIndirizzabile(NomeTabellaCorrente);
    // The regeneration's work table: a dictionary row would let a table command empty or drop
    // it while it holds the only copy of a table's rows. (A row named XXXCONF is warned about
    // below: the verification refuses it and never drops that table while it holds rows.)
    if (ib::maiuscole(NomeTabellaCorrente) == kTabellaLavoroIb) {
        interazione_.messaggio("Il nome " + std::string(kTabellaLavoroIb) +
                               " è riservato a una tabella di lavoro dell'archivio: la tabella non è stata "
                               "registrata");
        NomeTabellaCorrente.clear();
        return false;
    }
    const std::string nome = minuscole(NomeTabellaCorrente);
    verificaVoce(nome, "");
    if (!consentiSostituzione(nome))
        return false;

    // The table is read whole before the dictionary is touched.
    ib::Table tabella(tabForm_.IBDatabase1, &tabForm_.IBTransaction1);
    tabella.setTableName(NomeTabellaCorrente);
    tabella.open();
    TabellaLetta letta = righeDaArchivio(tabella.tableName(), nome, tabella.fieldDefs(), tabella.indexDefs());
    aggiungiPerditeArchivio(letta, tabella.fieldDefs());
    tabella.close();
    // Folder, table name and separator, as the folder dialog gives them: "initab/clienti/".
    letta.righe.tabella.PathParziale = minuscole(percorso() + nome + kSep);
    registra(letta);
    lettura.commit();
    return true;
}

}  // namespace korva
