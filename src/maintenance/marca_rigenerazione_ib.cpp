#include "maintenance/marca_rigenerazione_ib.h"

#include "base/errore.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "maintenance/rigenerazione.h"

#include <charconv>

namespace korva {

namespace {

constexpr const char* kInizio = "KORVAWIN rigenerazione; tabella=";
constexpr const char* kAttesa = "KORVAWIN rigenerazione; righe in TMP222";

// The number after `chiave` in `testo`, when there is one.
template <typename T>
std::optional<T> numeroDopo(const std::string& testo, const std::string& chiave)
{
    const size_t i = testo.find(chiave);
    if (i == std::string::npos)
        return std::nullopt;
    T n{};
    const char* inizio = testo.data() + i + chiave.size();
    const auto r = std::from_chars(inizio, testo.data() + testo.size(), n);
    if (r.ptr == inizio)
        return std::nullopt;
    return n;
}

}  // namespace

std::string testoMarca(const MarcaRigenerazione& marca)
{
    return kInizio + marca.tabella + "; passo=" + std::to_string(marca.passo) + "; righe=" + std::to_string(marca.righe) +
           "; transazione=" + std::to_string(marca.transazione);
}

std::string istruzioneMarca(const std::string& testo)
{
    // The text is ours and made of a plain identifier and numbers: no quote to double.
    return std::string("COMMENT ON TABLE ") + kTabellaLavoroIb + " IS '" + testo + "'";
}

std::optional<MarcaRigenerazione> leggiMarca(ib::Database& db, ib::Transaction& t)
{
    ib::Query q(db, &t);
    q.sql = {"SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ?"};
    q.param(0).setString(kTabellaLavoroIb);
    q.open();
    if (q.eof()) {
        q.close();
        return std::nullopt;
    }
    const std::string testo = q.field(0).asString();
    q.close();
    MarcaRigenerazione m;
    m.nostra = false;
    if (testo.rfind(kInizio, 0) != 0)
        return m;
    const size_t fine = testo.find(';', std::string(kInizio).size());
    m.tabella = testo.substr(std::string(kInizio).size(), fine - std::string(kInizio).size());
    const auto passo = numeroDopo<int>(testo, "; passo=");
    const auto righe = numeroDopo<std::int64_t>(testo, "; righe=");
    const auto transazione = numeroDopo<std::int64_t>(testo, "; transazione=");
    if (!ib::nomeCatalogoIndirizzabile(m.tabella) || !passo || !righe || !transazione || *passo < kMarcaCreata ||
        *passo > kMarcaRicopiata)
        return m;
    m.passo = *passo;
    m.righe = *righe;
    m.transazione = *transazione;
    m.nostra = true;
    return m;
}

std::string istruzioneAttesaRighe(const std::string& tabella)
{
    return "COMMENT ON TABLE " + ib::nomeTraVirgolette(tabella) + " IS '" + kAttesa + "'";
}

std::string istruzioneFineAttesa(const std::string& tabella)
{
    return "COMMENT ON TABLE " + ib::nomeTraVirgolette(tabella) + " IS NULL";
}

bool attendeRighe(ib::Database& db, ib::Transaction& t, const std::string& tabella)
{
    ib::Query q(db, &t);
    q.sql = {"SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ?"};
    q.param(0).setString(tabella);
    q.open();
    const bool attende = !q.eof() && !q.field(0).isNull() && q.field(0).asString() == kAttesa;
    q.close();
    return attende;
}

void rifiutaLavoroMarcato(ib::Database& db, ib::Transaction& t, const std::string& nome)
{
    if (ib::maiuscole(nome) != kTabellaLavoroIb)
        return;
    const auto marca = leggiMarca(db, t);
    if (marca && marca->nostra)
        throw Error(std::string("La tabella ") + kTabellaLavoroIb + " dell'archivio è di una rigenerazione della tabella " +
                    marca->tabella + " interrotta e ne può contenere le righe: non si tocca. Rigenerare la tabella " +
                    marca->tabella + ", che la completa e la elimina");
}

}  // namespace korva
