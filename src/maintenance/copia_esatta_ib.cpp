#include "maintenance/copia_esatta_ib.h"

#include "base/errore.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"

#include <optional>

namespace korva {

using ib::TipoCampo;

namespace {

struct Intervallo {
    const char* minimo;
    const char* massimo;
};

std::optional<Intervallo> intervalloIntero(TipoCampo tipo)
{
    switch (tipo) {
    case TipoCampo::Smallint: return Intervallo{"-32768", "32767"};
    case TipoCampo::Integer: return Intervallo{"-2147483648", "2147483647"};
    case TipoCampo::Bigint: return Intervallo{"-9223372036854775808", "9223372036854775807"};
    default: return std::nullopt;
    }
}

bool decimale(const ib::FieldDef& c)
{
    return c.type == TipoCampo::Numeric || c.type == TipoCampo::Decimal;
}

// Whole numbers only: the integer types and NUMERIC/DECIMAL without decimals.
bool intero(const ib::FieldDef& c)
{
    return intervalloIntero(c.type).has_value() || (decimale(c) && c.scale == 0);
}

bool testo(const ib::FieldDef& c)
{
    return c.type == TipoCampo::Varchar || c.type == TipoCampo::Char;
}

// The integer type of the same width is never narrower.
int larghezza(const ib::FieldDef& c)
{
    switch (c.type) {
    case TipoCampo::Smallint: return 16;
    case TipoCampo::Integer: return 32;
    default: return 64;
    }
}

std::string testoTipo(const ib::FieldDef& c)
{
    std::string t = ib::nomeTipo(c.type);
    if (decimale(c))
        t.append("(").append(std::to_string(c.size)).append(",").append(std::to_string(c.scale)).append(")");
    else if (testo(c))
        t.append("(").append(std::to_string(c.size)).append(")");
    return t;
}

Conversione esatta(std::string espressione)
{
    return Conversione{std::move(espressione), {}, {}};
}

Conversione rifiutata(const ib::FieldDef& da, const ib::FieldDef& a)
{
    return Conversione{"NULL", "", "un valore " + testoTipo(da) + " non si converte esattamente in " + testoTipo(a)};
}

Conversione versoTesto(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& c)
{
    const std::string n = std::to_string(a.size);
    const std::string oltre = "è più lungo dei " + n + " caratteri del nuovo campo";
    if (testo(da)) {
        // A CHAR's padding is no part of its text.
        const std::string valore = da.type == TipoCampo::Char ? "TRIM(TRAILING FROM " + c + ")" : c;
        return Conversione{valore, "CHAR_LENGTH(" + valore + ") > " + n, oltre};
    }
    if (intero(da))
        return Conversione{"CAST(" + c + " AS VARCHAR(" + n + "))", "CHAR_LENGTH(CAST(" + c + " AS VARCHAR(40))) > " + n,
                           oltre};
    if (da.type == TipoCampo::Memo)
        return Conversione{"CAST(" + c + " AS VARCHAR(" + n + "))", "CHAR_LENGTH(" + c + ") > " + n, oltre};
    // A binary blob becomes text through the server's filter, which replaces the bytes that
    // are not printable (tried): refused.
    return rifiutata(da, a);
}

Conversione versoIntero(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& c)
{
    const Intervallo r = *intervalloIntero(a.type);
    const std::string fuori = c + " < " + r.minimo + " OR " + c + " > " + r.massimo;
    const std::string motivo = std::string("non è un numero intero tra ") + r.minimo + " e " + r.massimo;
    const std::string cast = "CAST(" + c + " AS " + ib::nomeTipo(a.type) + ")";
    if (intero(da)) {
        if (intervalloIntero(da.type) && larghezza(da) <= larghezza(a))
            return esatta(c);
        return Conversione{cast, fuori, motivo};
    }
    if (decimale(da) || da.type == TipoCampo::Double || da.type == TipoCampo::Float)
        return Conversione{cast, c + " <> FLOOR(" + c + ") OR " + fuori, motivo};
    return rifiutata(da, a);
}

Conversione versoDouble(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& c)
{
    const std::string cast = "CAST(" + c + " AS DOUBLE PRECISION)";
    if (da.type == TipoCampo::Double || da.type == TipoCampo::Float || da.type == TipoCampo::Smallint ||
        da.type == TipoCampo::Integer)
        return esatta(c);
    if (intero(da))
        // Whole numbers beyond 2^53 lose their last digits in a double.
        return Conversione{cast, "ABS(" + c + ") > 9007199254740992", "ha più cifre di quante un numero N ne tenga"};
    if (decimale(da))
        return Conversione{cast,
                           "CAST(" + cast + " AS NUMERIC(18," + std::to_string(da.scale) + ")) <> " + c,
                           "non si rappresenta esattamente in un numero N"};
    return rifiutata(da, a);
}

Conversione versoBlob(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& c)
{
    // The bytes as they are: a blob into a binary blob, a text blob into a text blob, or a
    // text; a binary blob would pass through the server's filter into a text blob.
    if (da.type == a.type || (da.type == TipoCampo::Memo && a.type == TipoCampo::Blob))
        return esatta(c);
    if (da.type == TipoCampo::Varchar)
        return esatta(c);
    if (da.type == TipoCampo::Char)
        return esatta("TRIM(TRAILING FROM " + c + ")");
    return rifiutata(da, a);
}

}  // namespace

Conversione conversione(const ib::FieldDef& da, const ib::FieldDef& a, const std::string& colonna)
{
    Conversione conv;
    switch (a.type) {
    case TipoCampo::Varchar:
    case TipoCampo::Char: conv = versoTesto(da, a, colonna); break;
    case TipoCampo::Smallint:
    case TipoCampo::Integer:
    case TipoCampo::Bigint: conv = versoIntero(da, a, colonna); break;
    case TipoCampo::Double: conv = versoDouble(da, a, colonna); break;
    case TipoCampo::Blob:
    case TipoCampo::Memo: conv = versoBlob(da, a, colonna); break;
    case TipoCampo::Timestamp:
        if (da.type == TipoCampo::Timestamp)
            conv = esatta(colonna);
        else if (da.type == TipoCampo::Date)
            conv = esatta("CAST(" + colonna + " AS TIMESTAMP)");
        else
            conv = rifiutata(da, a);
        break;
    default:
        // The types the dictionary does not make: only the very same type.
        conv = da.type == a.type && da.size == a.size && da.scale == a.scale ? esatta(colonna) : rifiutata(da, a);
        break;
    }
    // A value no conversion can keep: any value at all.
    if (conv.espressione == "NULL")
        conv.inesatto = colonna + " IS NOT NULL";
    // A column that must have a value.
    if (a.required && !da.required) {
        const std::string vuoto = colonna + " IS NULL";
        conv.inesatto = conv.inesatto.empty() ? vuoto : "(" + conv.inesatto + ") OR " + vuoto;
        conv.motivo = (conv.motivo.empty() ? "" : conv.motivo + ", oppure ") + "manca e il nuovo campo è obbligatorio";
    }
    return conv;
}

namespace {

struct Colonna {
    std::string nome;       // as in the catalogue
    Conversione conv;
};

std::vector<std::string> campiChiave(ib::Database& db, ib::Transaction& t, const std::string& tabella)
{
    std::vector<std::string> nomi;
    for (const ib::IndexDef& ix : ib::leggiIndici(db, tabella, &t)) {
        if (!ix.primary)
            continue;
        size_t inizio = 0;
        while (inizio <= ix.fields.size()) {
            size_t fine = ix.fields.find(';', inizio);
            if (fine == std::string::npos)
                fine = ix.fields.size();
            nomi.push_back(ix.fields.substr(inizio, fine - inizio));
            inizio = fine + 1;
        }
    }
    return nomi;
}

std::string valoreLeggibile(ib::Field& f)
{
    if (f.isNull())
        return "vuoto";
    if (f.type() == ib::TipoSql::Blob)
        return "di " + std::to_string(f.asBytes().size()) + " byte";
    return f.asString();
}

// The first row holding a value that would not convert exactly, named in an Error.
void verificaValori(ib::Database& db, ib::Transaction& t, const std::string& da, const std::vector<Colonna>& colonne)
{
    std::vector<const Colonna*> dubbie;
    for (const Colonna& c : colonne)
        if (!c.conv.inesatto.empty())
            dubbie.push_back(&c);
    if (dubbie.empty())
        return;
    const auto chiave = campiChiave(db, t, da);
    std::string elenco = "ROW_NUMBER() OVER () AS R_";
    std::string dove;
    for (size_t i = 0; i < chiave.size(); ++i)
        elenco += ", " + ib::nomeTraVirgolette(chiave[i]) + " AS K_" + std::to_string(i);
    for (size_t i = 0; i < dubbie.size(); ++i) {
        const std::string n = std::to_string(i);
        elenco += ", " + ib::nomeTraVirgolette(dubbie[i]->nome) + " AS V_" + n + ", CASE WHEN " +
                  dubbie[i]->conv.inesatto + " THEN 1 ELSE 0 END AS F_" + n;
        dove += (i ? " OR F_" : "F_") + n + " = 1";
    }
    ib::Query q(db, &t);
    q.sql = {"SELECT FIRST 1 * FROM (SELECT " + elenco + " FROM " + ib::nomeTraVirgolette(da) + ")", "WHERE " + dove};
    q.open();
    if (q.eof()) {
        q.close();
        return;
    }
    std::string riga = "riga " + q.fieldByName("R_").asString();
    if (!chiave.empty()) {
        riga += " (";
        for (size_t i = 0; i < chiave.size(); ++i)
            riga += (i ? ", " : "") + chiave[i] + " = " + valoreLeggibile(q.fieldByName("K_" + std::to_string(i)));
        riga += ")";
    }
    for (size_t i = 0; i < dubbie.size(); ++i) {
        if (q.fieldByName("F_" + std::to_string(i)).asInt64() != 1)
            continue;
        const std::string testo = "tabella " + da + ", " + riga + ", campo " + dubbie[i]->nome + ", valore " +
                                  valoreLeggibile(q.fieldByName("V_" + std::to_string(i))) + ": " +
                                  dubbie[i]->conv.motivo;
        q.close();
        throw Error(testo);
    }
    q.close();
}

}  // namespace

std::int64_t copiaEsatta(ib::Database& db, ib::Transaction& t, const std::string& da, const std::string& a)
{
    std::vector<ib::FieldDef> sorgente, destinazione;
    for (const ib::FieldDef& c : ib::leggiCampi(db, da, &t))
        if (!c.computed)
            sorgente.push_back(c);
    for (const ib::FieldDef& c : ib::leggiCampi(db, a, &t))
        if (!c.computed)
            destinazione.push_back(c);

    std::vector<Colonna> colonne;
    std::string elencoA, elencoDa;
    for (size_t i = 0; i < sorgente.size(); ++i) {
        const std::string nome = ib::nomeTraVirgolette(sorgente[i].name);
        if (i >= destinazione.size()) {
            colonne.push_back({sorgente[i].name, {"", nome + " IS NOT NULL", "non ha posto nel nuovo tracciato"}});
            continue;
        }
        colonne.push_back({sorgente[i].name, conversione(sorgente[i], destinazione[i], nome)});
        elencoA += (i ? ", " : "") + ib::nomeTraVirgolette(destinazione[i].name);
        elencoDa += (i ? ", " : "") + colonne.back().conv.espressione;
    }
    verificaValori(db, t, da, colonne);
    if (elencoA.empty())
        return 0;
    ib::Query q(db, &t);
    q.sql = {"INSERT INTO " + ib::nomeTraVirgolette(a) + " (" + elencoA + ")",
             "SELECT " + elencoDa + " FROM " + ib::nomeTraVirgolette(da)};
    q.execSql();
    const auto righe = static_cast<std::int64_t>(q.rowsAffected());
    q.close();
    return righe;
}

}  // namespace korva
