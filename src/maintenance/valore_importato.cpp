#include "maintenance/valore_importato.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/interbase/field.h"
#include "engines/paradox/table.h"

#include <cmath>

namespace korva {
namespace {

using Tipo = ValoreImportato::Tipo;
using paradox::FieldType;
using ib::TipoSql;

constexpr std::int64_t kDecimillesimiGiorno = 864000000;

std::size_t caratteri(const std::string& utf8)
{
    std::size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// Runs a step of the engines, giving its failure the value's position.
template <typename F>
void posizionato(const PosizioneValore& p, F&& passo)
{
    try {
        passo();
    } catch (const std::exception& e) {
        valoreRifiutato(p, e.what());
    }
}

[[noreturn]] void nonConvertibile(const PosizioneValore& p, const char* verso)
{
    valoreRifiutato(p, std::string("il valore non si converte senza perdite in ").append(verso));
}

void testoNonTroppoLungo(const PosizioneValore& p, std::size_t lunghezza, std::size_t massimo)
{
    if (lunghezza > massimo)
        valoreRifiutato(p, std::string("testo di ")
                               .append(std::to_string(lunghezza))
                               .append(" caratteri, il campo destinazione ne contiene ")
                               .append(std::to_string(massimo)));
}

// A number as a whole number, when it is one exactly.
bool interoEsatto(const ValoreImportato& v, std::int64_t& out)
{
    if (v.tipo == Tipo::Intero) {
        out = v.intero;
        return true;
    }
    if (v.tipo == Tipo::Reale && std::isfinite(v.reale) && v.reale == std::floor(v.reale) &&
        std::fabs(v.reale) < 9.2e18) {
        out = static_cast<std::int64_t>(v.reale);
        return true;
    }
    return false;
}

bool realeEsatto(const ValoreImportato& v, double& out)
{
    if (v.tipo == Tipo::Reale) {
        out = v.reale;
        return true;
    }
    if (v.tipo == Tipo::Intero && v.intero >= -(std::int64_t(1) << 53) && v.intero <= (std::int64_t(1) << 53)) {
        out = static_cast<double>(v.intero);
        return true;
    }
    return false;
}

// The text of a value that a text field receives: text, the bytes of a memo, a number written
// out in full.
bool comeTesto(const ValoreImportato& v, std::string& out)
{
    switch (v.tipo) {
    case Tipo::Testo: out = v.testo; return true;
    case Tipo::Byte:
        if (v.codicePagina == 0)
            return false;
        out = codepage::toUtf8(v.testo, v.codicePagina);
        return true;
    case Tipo::Intero: out = std::to_string(v.intero); return true;
    case Tipo::Reale: out = paradox::formatDouble(v.reale); return true;
    default: return false;
    }
}

ib::DataOra dataOraIb(const paradox::Date& d, std::int64_t decimillesimi)
{
    ib::DataOra r;
    r.anno = d.year;
    r.mese = d.month;
    r.giorno = d.day;
    r.ora = static_cast<int>(decimillesimi / 36000000);
    r.minuto = static_cast<int>(decimillesimi / 600000 % 60);
    r.secondo = static_cast<int>(decimillesimi / 10000 % 60);
    r.decimillesimi = static_cast<int>(decimillesimi % 10000);
    return r;
}

std::int64_t decimillesimiDi(const ib::DataOra& d)
{
    return ((static_cast<std::int64_t>(d.ora) * 60 + d.minuto) * 60 + d.secondo) * 10000 + d.decimillesimi;
}

}  // namespace

void valoreRifiutato(const PosizioneValore& p, const std::string& motivo)
{
    throw Error(std::string("Tabella ")
                    .append(p.tabella)
                    .append(", record ")
                    .append(std::to_string(p.record))
                    .append(", campo ")
                    .append(p.campo)
                    .append(": ")
                    .append(motivo));
}

ValoreImportato leggiParadox(const paradox::Field& campo, int codicePagina, const PosizioneValore& p)
{
    ValoreImportato v;
    if (campo.isNull())
        return v;
    switch (campo.type()) {
    case FieldType::Alpha:
        v.tipo = Tipo::Testo;
        v.testo = campo.asString();
        break;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        v.tipo = Tipo::Intero;
        v.intero = campo.asInteger();
        break;
    case FieldType::Number:
    case FieldType::Money:
        v.tipo = Tipo::Reale;
        v.reale = campo.asFloat();
        break;
    case FieldType::Date:
        v.tipo = Tipo::Data;
        v.data = campo.asDate();
        break;
    case FieldType::Time:
        v.tipo = Tipo::Ora;
        v.intero = campo.asTime() * 10;
        break;
    case FieldType::Timestamp: {
        const double ms = campo.asTimestamp();
        const std::int64_t giorno = paradox::timestampDay(ms);
        v.tipo = Tipo::DataOra;
        v.data = paradox::daysToDate(giorno);
        v.intero = static_cast<std::int64_t>(std::llround((ms - static_cast<double>(giorno) * 86400000.0) * 10));
        break;
    }
    case FieldType::Logical:
        v.tipo = Tipo::Logico;
        v.intero = campo.asBoolean() ? 1 : 0;
        break;
    case FieldType::Memo:
    case FieldType::FmtMemo:
        v.tipo = Tipo::Byte;
        v.testo = campo.asBytes();
        v.codicePagina = codicePagina;
        break;
    case FieldType::Binary:
    case FieldType::Graphic:
    case FieldType::Ole:
    case FieldType::Bytes:
        v.tipo = Tipo::Byte;
        v.testo = campo.asBytes();
        break;
    default:
        valoreRifiutato(p, std::string("il tipo ").append(paradox::typeName(campo.type())).append(" non si importa"));
    }
    return v;
}

ValoreImportato leggiIb(const ib::Field& campo, const PosizioneValore& p)
{
    ValoreImportato v;
    if (campo.isNull())
        return v;
    switch (campo.type()) {
    case TipoSql::Char:
    case TipoSql::Varchar:
        v.testo = campo.asString();
        if (campo.type() == TipoSql::Char)
            v.testo.erase(v.testo.find_last_not_of(' ') + 1);
        // A blank text arrives as a blank field.
        if (!v.testo.empty())
            v.tipo = Tipo::Testo;
        break;
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint:
        if (campo.scale() == 0) {
            v.tipo = Tipo::Intero;
            v.intero = campo.asInt64();
        } else {
            v.tipo = Tipo::Reale;
            v.reale = campo.asDouble();
        }
        break;
    case TipoSql::Float:
    case TipoSql::Double:
        v.tipo = Tipo::Reale;
        v.reale = campo.asDouble();
        break;
    case TipoSql::Date:
    case TipoSql::Timestamp: {
        const ib::DataOra d = campo.asDataOra();
        v.tipo = campo.type() == TipoSql::Date ? Tipo::Data : Tipo::DataOra;
        v.data = {d.anno, d.mese, d.giorno};
        v.intero = decimillesimiDi(d);
        break;
    }
    case TipoSql::Time:
        v.tipo = Tipo::Ora;
        v.intero = decimillesimiDi(campo.asDataOra());
        break;
    case TipoSql::Blob:
        v.tipo = Tipo::Byte;
        v.testo = campo.asBytes();
        v.codicePagina = campo.subType() == 1 ? codepage::kWindowsWestern : 0;
        break;
    case TipoSql::Boolean:
        v.tipo = Tipo::Logico;
        v.intero = campo.asBool() ? 1 : 0;
        break;
    default:
        valoreRifiutato(p, "il tipo della colonna non si importa");
    }
    return v;
}

void scriviParadox(paradox::Field campo, bool obbligatorio, int codicePagina, const ValoreImportato& v,
                   const PosizioneValore& p)
{
    const FieldType tipo = campo.type();
    if (v.tipo == Tipo::Nullo) {
        if (!obbligatorio)
            return;
        if (tipo == FieldType::Alpha)
            campo.setString(" ");
        else if (tipo == FieldType::Short || tipo == FieldType::Long || tipo == FieldType::Number ||
                 tipo == FieldType::Money)
            campo.setInteger(0);
        return;
    }
    std::int64_t intero = 0;
    double reale = 0;
    std::string testo;
    switch (tipo) {
    case FieldType::Alpha:
        if (!comeTesto(v, testo))
            nonConvertibile(p, "testo");
        posizionato(p, [&] { intero = static_cast<std::int64_t>(codepage::fromUtf8(testo, codicePagina).size()); });
        testoNonTroppoLungo(p, static_cast<std::size_t>(intero), static_cast<std::size_t>(campo.size()));
        posizionato(p, [&] { campo.setString(testo); });
        return;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        if (!interoEsatto(v, intero))
            nonConvertibile(p, "numero intero");
        posizionato(p, [&] { campo.setInteger(intero); });
        return;
    case FieldType::Number:
    case FieldType::Money:
        if (!realeEsatto(v, reale))
            nonConvertibile(p, "numero");
        posizionato(p, [&] { campo.setFloat(reale); });
        return;
    case FieldType::Date:
        if (v.tipo != Tipo::Data && !(v.tipo == Tipo::DataOra && v.intero == 0))
            nonConvertibile(p, "data");
        posizionato(p, [&] { campo.setDate(v.data); });
        return;
    case FieldType::Time:
        if (v.tipo != Tipo::Ora || v.intero % 10 != 0)
            nonConvertibile(p, "ora (al millesimo di secondo)");
        posizionato(p, [&] { campo.setTime(v.intero / 10); });
        return;
    case FieldType::Timestamp:
        if ((v.tipo != Tipo::Data && v.tipo != Tipo::DataOra) || v.intero % 10 != 0)
            nonConvertibile(p, "data e ora");
        posizionato(p, [&] {
            campo.setTimestamp(static_cast<double>(paradox::dateToDays(v.data)) * 86400000.0 +
                               static_cast<double>(v.intero / 10));
        });
        return;
    case FieldType::Logical:
        if (v.tipo != Tipo::Logico)
            nonConvertibile(p, "valore logico");
        posizionato(p, [&] { campo.setBoolean(v.intero != 0); });
        return;
    case FieldType::Memo:
    case FieldType::FmtMemo:
        if (v.tipo == Tipo::Byte && (v.codicePagina == 0 || v.codicePagina == codicePagina)) {
            posizionato(p, [&] { campo.setBytes(v.testo); });
            return;
        }
        if (!comeTesto(v, testo))
            nonConvertibile(p, "memo");
        posizionato(p, [&] { campo.setBytes(codepage::fromUtf8(testo, codicePagina)); });
        return;
    default:
        if (v.tipo != Tipo::Byte)
            nonConvertibile(p, "dati binari");
        posizionato(p, [&] { campo.setBytes(v.testo); });
        return;
    }
}

void scriviIb(ib::Field& campo, bool obbligatorio, const ValoreImportato& v, const PosizioneValore& p)
{
    const TipoSql tipo = campo.type();
    if (v.tipo == Tipo::Nullo) {
        campo.clear();
        if (!obbligatorio)
            return;
        if (tipo == TipoSql::Char || tipo == TipoSql::Varchar)
            campo.setString(" ");
        else if (tipo == TipoSql::Smallint || tipo == TipoSql::Integer || tipo == TipoSql::Bigint ||
                 tipo == TipoSql::Float || tipo == TipoSql::Double)
            campo.setInt64(0);
        return;
    }
    std::int64_t intero = 0;
    double reale = 0;
    std::string testo;
    switch (tipo) {
    case TipoSql::Char:
    case TipoSql::Varchar:
        if (!comeTesto(v, testo))
            nonConvertibile(p, "testo");
        testoNonTroppoLungo(p, caratteri(testo), campo.length());
        posizionato(p, [&] { campo.setString(testo); });
        return;
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint:
        if (campo.scale() != 0) {
            if (!realeEsatto(v, reale))
                nonConvertibile(p, "numero");
            posizionato(p, [&] { campo.setDouble(reale); });
            return;
        }
        if (!interoEsatto(v, intero))
            nonConvertibile(p, "numero intero");
        posizionato(p, [&] { campo.setInt64(intero); });
        return;
    case TipoSql::Float:
        if (!realeEsatto(v, reale) || static_cast<double>(static_cast<float>(reale)) != reale)
            nonConvertibile(p, "numero a precisione singola (FLOAT)");
        posizionato(p, [&] { campo.setDouble(reale); });
        return;
    case TipoSql::Double:
        if (!realeEsatto(v, reale))
            nonConvertibile(p, "numero");
        posizionato(p, [&] { campo.setDouble(reale); });
        return;
    case TipoSql::Date:
        if (v.tipo != Tipo::Data && !(v.tipo == Tipo::DataOra && v.intero == 0))
            nonConvertibile(p, "data");
        posizionato(p, [&] { campo.setDataOra(dataOraIb(v.data, 0)); });
        return;
    case TipoSql::Timestamp:
        if (v.tipo != Tipo::Data && v.tipo != Tipo::DataOra)
            nonConvertibile(p, "data e ora");
        posizionato(p, [&] { campo.setDataOra(dataOraIb(v.data, v.tipo == Tipo::Data ? 0 : v.intero)); });
        return;
    case TipoSql::Time:
        if (v.tipo != Tipo::Ora || v.intero < 0 || v.intero >= kDecimillesimiGiorno)
            nonConvertibile(p, "ora");
        posizionato(p, [&] { campo.setDataOra(dataOraIb({}, v.intero)); });
        return;
    case TipoSql::Blob:
        if (v.tipo == Tipo::Byte && (campo.subType() != 1 || v.codicePagina == 0 ||
                                     v.codicePagina == codepage::kWindowsWestern)) {
            posizionato(p, [&] { campo.setBytes(v.testo); });
            return;
        }
        if (!comeTesto(v, testo))
            nonConvertibile(p, "blob");
        posizionato(p, [&] { campo.setBytes(codepage::fromUtf8(testo, codepage::kWindowsWestern)); });
        return;
    case TipoSql::Boolean:
        if (v.tipo != Tipo::Logico)
            nonConvertibile(p, "valore logico");
        posizionato(p, [&] { campo.setBool(v.intero != 0); });
        return;
    default:
        nonConvertibile(p, "questo tipo di colonna");
    }
}

}  // namespace korva
