#include "engines/interbase/catalog.h"

#include "engines/interbase/query.h"

#include <algorithm>

namespace korva::ib {
namespace {

std::string senzaBlank(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

int interoOZero(Field& f)
{
    return f.isNull() ? 0 : static_cast<int>(f.asInt64());
}

TipoCampo tipoDaCatalogo(int tipo, int sottotipo, int scala, bool array)
{
    if (array)
        return TipoCampo::Array;
    switch (tipo) {
    case 7:
    case 8:
    case 16:
        if (sottotipo == 1 || (sottotipo == 0 && scala < 0))
            return TipoCampo::Numeric;
        if (sottotipo == 2)
            return TipoCampo::Decimal;
        return tipo == 7 ? TipoCampo::Smallint : tipo == 8 ? TipoCampo::Integer : TipoCampo::Bigint;
    case 10: return TipoCampo::Float;
    case 11:
    case 27: return scala < 0 ? TipoCampo::Numeric : TipoCampo::Double;
    case 14: return TipoCampo::Char;
    case 37:
    case 40: return TipoCampo::Varchar;
    case 12: return TipoCampo::Date;
    case 13: return TipoCampo::Time;
    case 35: return TipoCampo::Timestamp;
    case 261: return sottotipo == 1 ? TipoCampo::Memo : TipoCampo::Blob;
    case 23: return TipoCampo::Boolean;
    default: return TipoCampo::Altro;
    }
}

}  // namespace

const char* nomeTipo(TipoCampo tipo)
{
    switch (tipo) {
    case TipoCampo::Varchar: return "VARCHAR";
    case TipoCampo::Char: return "CHAR";
    case TipoCampo::Smallint: return "SMALLINT";
    case TipoCampo::Integer: return "INTEGER";
    case TipoCampo::Bigint: return "BIGINT";
    case TipoCampo::Numeric: return "NUMERIC";
    case TipoCampo::Decimal: return "DECIMAL";
    case TipoCampo::Float: return "FLOAT";
    case TipoCampo::Double: return "DOUBLE PRECISION";
    case TipoCampo::Date: return "DATE";
    case TipoCampo::Time: return "TIME";
    case TipoCampo::Timestamp: return "TIMESTAMP";
    case TipoCampo::Memo: return "BLOB SUB_TYPE TEXT";
    case TipoCampo::Blob: return "BLOB";
    case TipoCampo::Boolean: return "BOOLEAN";
    case TipoCampo::Array: return "ARRAY";
    case TipoCampo::Altro: break;
    }
    return "ALTRO";
}

int IndexDef::fieldCount() const
{
    if (fields.empty())
        return 0;
    return 1 + static_cast<int>(std::count(fields.begin(), fields.end(), ';'));
}

std::vector<std::string> nomiTabelleUtente(Database& db, Transaction* t)
{
    Query q(db, t);
    q.sql = {"SELECT RDB$RELATION_NAME FROM RDB$RELATIONS",
             "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL"};
    std::vector<std::string> nomi;
    for (q.open(); !q.eof(); q.next())
        nomi.push_back(senzaBlank(q.field(0).asString()));
    std::sort(nomi.begin(), nomi.end());
    return nomi;
}

bool relazioneEsiste(Database& db, std::string_view nome, Transaction* t)
{
    Query q(db, t);
    q.sql = {"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ?"};
    q.param(0).setString(nome);
    q.open();
    return !q.eof();
}

std::vector<FieldDef> leggiCampi(Database& db, std::string_view tabella, Transaction* t)
{
    Query q(db, t);
    q.sql = {
        "SELECT RF.RDB$FIELD_NAME, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, F.RDB$FIELD_SCALE,",
        "  COALESCE(F.RDB$CHARACTER_LENGTH, F.RDB$FIELD_LENGTH / COALESCE(CS.RDB$BYTES_PER_CHARACTER, 1)),",
        "  F.RDB$FIELD_PRECISION, COALESCE(F.RDB$SEGMENT_LENGTH, 80),",
        "  COALESCE(RF.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0),",
        "  CASE WHEN F.RDB$COMPUTED_BLR IS NULL THEN 0 ELSE 1 END,",
        "  COALESCE(F.RDB$DIMENSIONS, 0)",
        "FROM RDB$RELATION_FIELDS RF",
        "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE",
        "LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID",
        "WHERE RF.RDB$RELATION_NAME = ?",
        "ORDER BY RF.RDB$FIELD_POSITION"};
    q.param(0).setString(tabella);
    std::vector<FieldDef> campi;
    for (q.open(); !q.eof(); q.next()) {
        FieldDef c;
        c.name = senzaBlank(q.field(0).asString());
        const int tipo = interoOZero(q.field(1));
        const int sottotipo = interoOZero(q.field(2));
        const int scala = interoOZero(q.field(3));
        c.type = tipoDaCatalogo(tipo, sottotipo, scala, interoOZero(q.field(9)) > 0);
        switch (c.type) {
        case TipoCampo::Varchar:
        case TipoCampo::Char:
            c.size = interoOZero(q.field(4));
            break;
        case TipoCampo::Numeric:
        case TipoCampo::Decimal:
            c.size = interoOZero(q.field(5));
            if (c.size == 0)  // older databases leave the precision out
                c.size = tipo == 7 ? 4 : tipo == 8 ? 9 : tipo == 16 ? 18 : 15;
            c.scale = -scala;
            break;
        case TipoCampo::Memo:
        case TipoCampo::Blob:
            c.size = interoOZero(q.field(6));
            break;
        default:
            break;
        }
        c.required = interoOZero(q.field(7)) != 0;
        c.computed = interoOZero(q.field(8)) != 0;
        campi.push_back(std::move(c));
    }
    return campi;
}

std::vector<IndexDef> leggiIndici(Database& db, std::string_view tabella, Transaction* t)
{
    Query q(db, t);
    q.sql = {
        "SELECT I.RDB$INDEX_NAME, S.RDB$FIELD_NAME, COALESCE(I.RDB$UNIQUE_FLAG, 0),",
        "  COALESCE(I.RDB$INDEX_TYPE, 0),",
        "  (SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS RC",
        "    WHERE RC.RDB$INDEX_NAME = I.RDB$INDEX_NAME AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'),",
        "  BIN_AND(COALESCE(C.RDB$COLLATION_ATTRIBUTES, 0), 2),",
        "  I.RDB$EXPRESSION_SOURCE",
        "FROM RDB$INDICES I",
        "LEFT JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME",
        "LEFT JOIN RDB$RELATION_FIELDS RF ON RF.RDB$RELATION_NAME = I.RDB$RELATION_NAME",
        "  AND RF.RDB$FIELD_NAME = S.RDB$FIELD_NAME",
        "LEFT JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE",
        "LEFT JOIN RDB$COLLATIONS C ON C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID",
        "  AND C.RDB$COLLATION_ID = COALESCE(RF.RDB$COLLATION_ID, F.RDB$COLLATION_ID, 0)",
        "WHERE I.RDB$RELATION_NAME = ?",
        "ORDER BY I.RDB$INDEX_NAME, S.RDB$FIELD_POSITION"};
    q.param(0).setString(tabella);
    std::vector<IndexDef> indici;
    for (q.open(); !q.eof(); q.next()) {
        const std::string nome = senzaBlank(q.field(0).asString());
        const bool ci = interoOZero(q.field(5)) != 0;
        if (indici.empty() || indici.back().name != nome) {
            IndexDef d;
            d.name = nome;
            d.unique = interoOZero(q.field(2)) != 0;
            d.descending = interoOZero(q.field(3)) == 1;
            d.primary = interoOZero(q.field(4)) > 0;
            d.caseInsensitive = ci;
            d.expression = q.field(6).asString();
            indici.push_back(std::move(d));
        } else {
            indici.back().caseInsensitive = indici.back().caseInsensitive && ci;
        }
        if (!q.field(1).isNull()) {
            IndexDef& d = indici.back();
            if (!d.fields.empty())
                d.fields += ';';
            d.fields += senzaBlank(q.field(1).asString());
        } else {
            indici.back().caseInsensitive = false;
        }
    }
    return indici;
}

}  // namespace korva::ib
