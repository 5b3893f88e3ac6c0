#include "engines/interbase/field.h"

#include "engines/interbase/client.h"
#include "engines/interbase/database.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/transaction.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace korva::ib {

using detail::chiama;
using detail::Stato;

namespace {

constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUnicodeFss = 3;
constexpr unsigned kCharsetUtf8 = 4;
// Blob segments are at most 64 KiB less one byte.
constexpr size_t kSegmento = 32768;

TipoSql tipoDa(unsigned sql)
{
    switch (sql & ~1u) {
    case SQL_TEXT: return TipoSql::Char;
    case SQL_VARYING: return TipoSql::Varchar;
    case SQL_SHORT: return TipoSql::Smallint;
    case SQL_LONG: return TipoSql::Integer;
    case SQL_INT64: return TipoSql::Bigint;
    case SQL_FLOAT: return TipoSql::Float;
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return TipoSql::Double;
    case SQL_TYPE_DATE: return TipoSql::Date;
    case SQL_TYPE_TIME: return TipoSql::Time;
    case SQL_TIMESTAMP: return TipoSql::Timestamp;
    case SQL_BLOB:
    case SQL_QUAD: return TipoSql::Blob;
    case SQL_BOOLEAN: return TipoSql::Boolean;
    case SQL_ARRAY: return TipoSql::Array;
    default: return TipoSql::Null;
    }
}

std::int64_t potenzaDieci(int n)
{
    std::int64_t p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

std::string_view senzaSpazi(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// "-12,5" with two decimals gives -1250. Extra decimals are rounded half away from zero, as
// the server rounds a cast; nullopt when the text is no number or out of range.
std::optional<std::int64_t> numeroScalato(std::string_view s, int decimali)
{
    s = senzaSpazi(s);
    bool negativo = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negativo = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    __int128 valore = 0;
    int dopo = -1;  // digits after the separator, -1 before it
    bool cifre = false;
    int arrotonda = 0;
    for (char c : s) {
        if (c == '.' || c == ',') {
            if (dopo >= 0)
                return std::nullopt;
            dopo = 0;
        } else if (c >= '0' && c <= '9') {
            cifre = true;
            if (dopo >= 0 && dopo >= decimali) {
                if (dopo == decimali && arrotonda == 0)
                    arrotonda = c >= '5' ? 1 : -1;
                ++dopo;
                continue;
            }
            valore = valore * 10 + (c - '0');
            if (valore > std::numeric_limits<std::int64_t>::max())
                return std::nullopt;
            if (dopo >= 0)
                ++dopo;
        } else {
            return std::nullopt;
        }
    }
    if (!cifre)
        return std::nullopt;
    for (int d = dopo < 0 ? 0 : std::min(dopo, decimali); d < decimali; ++d)
        valore *= 10;
    if (arrotonda > 0)
        valore += 1;
    if (negativo)
        valore = -valore;
    if (valore > std::numeric_limits<std::int64_t>::max() ||
        valore < std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    return static_cast<std::int64_t>(valore);
}

std::string testoScalato(std::int64_t v, int decimali)
{
    if (decimali <= 0)
        return std::to_string(v);
    const bool negativo = v < 0;
    // Digits of the absolute value, without overflow at the minimum.
    std::string cifre;
    unsigned long long a = negativo ? 0ULL - static_cast<unsigned long long>(v)
                                    : static_cast<unsigned long long>(v);
    cifre = std::to_string(a);
    if (cifre.size() <= static_cast<size_t>(decimali))
        cifre.insert(0, static_cast<size_t>(decimali) + 1 - cifre.size(), '0');
    cifre.insert(cifre.end() - decimali, '.');
    if (negativo)
        cifre.insert(cifre.begin(), '-');
    return cifre;
}

std::optional<double> numeroReale(std::string_view s)
{
    std::string t(senzaSpazi(s));
    if (!t.empty() && t.front() == '+')
        t.erase(0, 1);
    for (char& c : t)
        if (c == ',')
            c = '.';
    double v = 0;
    auto [fine, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fine != t.data() + t.size())
        return std::nullopt;
    return v;
}

template <typename T>
std::string testoReale(T v)
{
    char buf[64];
    auto [fine, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, fine) : std::string();
}

bool bisestile(int a)
{
    return (a % 4 == 0 && a % 100 != 0) || a % 400 == 0;
}

int giorniDelMese(int a, int m)
{
    static const int giorni[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && bisestile(a) ? 29 : giorni[m - 1];
}

// Reads up to `max` digits; false when none.
bool cifre(std::string_view& s, int max, int& valore, int* quante = nullptr)
{
    int n = 0;
    valore = 0;
    while (n < max && !s.empty() && s.front() >= '0' && s.front() <= '9') {
        valore = valore * 10 + (s.front() - '0');
        s.remove_prefix(1);
        ++n;
    }
    if (quante)
        *quante = n;
    return n > 0;
}

bool separatore(std::string_view& s, std::string_view ammessi)
{
    if (s.empty() || ammessi.find(s.front()) == std::string_view::npos)
        return false;
    s.remove_prefix(1);
    return true;
}

bool leggiData(std::string_view& s, DataOra& d)
{
    int a = 0, b = 0, c = 0, n = 0;
    if (!cifre(s, 4, a, &n) || !separatore(s, "-/.") || !cifre(s, 2, b) || !separatore(s, "-/."))
        return false;
    if (n == 4) {  // YYYY-MM-DD
        if (!cifre(s, 2, c))
            return false;
        d.anno = a, d.mese = b, d.giorno = c;
    } else {  // DD/MM/YYYY
        if (!cifre(s, 4, c, &n) || n != 4)
            return false;
        d.anno = c, d.mese = b, d.giorno = a;
    }
    return d.anno >= 1 && d.mese >= 1 && d.mese <= 12 && d.giorno >= 1 &&
           d.giorno <= giorniDelMese(d.anno, d.mese);
}

bool leggiOra(std::string_view& s, DataOra& d)
{
    if (!cifre(s, 2, d.ora) || !separatore(s, ":") || !cifre(s, 2, d.minuto))
        return false;
    if (separatore(s, ":")) {
        if (!cifre(s, 2, d.secondo))
            return false;
        if (separatore(s, ".,")) {
            int n = 0;
            if (!cifre(s, 4, d.decimillesimi, &n))
                return false;
            for (; n < 4; ++n)
                d.decimillesimi *= 10;
            // Finer digits than the server keeps are dropped.
            while (!s.empty() && s.front() >= '0' && s.front() <= '9')
                s.remove_prefix(1);
        }
    }
    return d.ora <= 23 && d.minuto <= 59 && d.secondo <= 59;
}

std::optional<DataOra> dataOraDaTesto(std::string_view testo, TipoSql tipo)
{
    std::string_view s = senzaSpazi(testo);
    DataOra d;
    if (tipo == TipoSql::Time) {
        if (!leggiOra(s, d))
            return std::nullopt;
    } else {
        if (!leggiData(s, d))
            return std::nullopt;
        if (!s.empty() && (s.front() == ' ' || s.front() == 'T')) {
            s = senzaSpazi(s.substr(1));
            if (!leggiOra(s, d))
                return std::nullopt;
            if (tipo == TipoSql::Date && (d.ora || d.minuto || d.secondo || d.decimillesimi))
                return std::nullopt;
        }
    }
    if (!s.empty())
        return std::nullopt;
    return d;
}

std::string dueCifre(int v)
{
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

}  // namespace

std::string testoDataOra(const DataOra& v, TipoSql tipo)
{
    std::string data, ora;
    if (tipo != TipoSql::Time) {
        std::string anno = std::to_string(v.anno);
        if (anno.size() < 4)
            anno.insert(0, 4 - anno.size(), '0');
        data = anno + "-" + dueCifre(v.mese) + "-" + dueCifre(v.giorno);
    }
    if (tipo != TipoSql::Date) {
        ora = dueCifre(v.ora) + ":" + dueCifre(v.minuto) + ":" + dueCifre(v.secondo);
        if (v.decimillesimi) {
            std::string f = std::to_string(v.decimillesimi);
            f.insert(0, 4 - f.size(), '0');
            ora += "." + f;
        }
    }
    if (tipo == TipoSql::Date)
        return data;
    if (tipo == TipoSql::Time)
        return ora;
    return data + " " + ora;
}

// ---- Field ----

Field::Field(detail::Record& r, unsigned indice) : r_(&r), indice_(indice)
{
    Stato st;
    Firebird::IMessageMetadata* m = r.meta_;
    chiama([&] {
        nome_ = detail::daConnessione(m->getField(&st, indice));
        if (nome_.empty())
            nome_ = detail::daConnessione(m->getAlias(&st, indice));
        if (nome_.empty())  // a statement's parameter
            nome_ = "parametro " + std::to_string(indice + 1);
        tipo_ = tipoDa(m->getType(&st, indice));
        scala_ = m->getScale(&st, indice);
        sottotipo_ = m->getSubType(&st, indice);
        lunghezza_ = m->getLength(&st, indice);
        charset_ = m->getCharSet(&st, indice);
        offset_ = m->getOffset(&st, indice);
        offsetNullo_ = m->getNullOffset(&st, indice);
    });
}

unsigned char* Field::dati() const
{
    return r_->buffer_.get() + offset_;
}

std::int16_t* Field::nullo() const
{
    return reinterpret_cast<std::int16_t*>(r_->buffer_.get() + offsetNullo_);
}

bool Field::text() const
{
    return tipo_ == TipoSql::Char || tipo_ == TipoSql::Varchar;
}

bool Field::isNull() const
{
    return *nullo() != 0;
}

void Field::clear()
{
    *nullo() = -1;
}

void Field::verificaNonNullo() const
{
    if (isNull())
        throw Error("Il campo " + nome_ + " è nullo");
}

void Field::tipoNonAdatto(const char* operazione) const
{
    throw Error(std::string("Operazione non ammessa sul campo ") + nome_ + ": " + operazione);
}

std::string Field::testoDaByte(std::string_view b) const
{
    if (charset_ == kCharsetOctets || charset_ == kCharsetUnicodeFss || charset_ == kCharsetUtf8)
        return std::string(b);
    return detail::daConnessione(b);
}

std::string Field::byteDaTesto(std::string_view t) const
{
    if (charset_ == kCharsetOctets || charset_ == kCharsetUnicodeFss || charset_ == kCharsetUtf8)
        return std::string(t);
    try {
        return detail::versoConnessione(t);
    } catch (const korva::Error& e) {
        throw Error("Campo " + nome_ + ": " + e.what());
    }
}

void Field::scriviTesto(std::string_view byte)
{
    if (byte.size() > lunghezza_)
        throw Error("Testo troppo lungo per il campo " + nome_ + ": " +
                    std::to_string(byte.size()) + " caratteri, al massimo " +
                    std::to_string(lunghezza_));
    if (tipo_ == TipoSql::Char) {
        std::memcpy(dati(), byte.data(), byte.size());
        std::memset(dati() + byte.size(), ' ', lunghezza_ - byte.size());
    } else {
        const auto n = static_cast<std::uint16_t>(byte.size());
        std::memcpy(dati(), &n, sizeof n);
        std::memcpy(dati() + sizeof n, byte.data(), byte.size());
    }
    *nullo() = 0;
}

std::string Field::leggiBlob() const
{
    ISC_QUAD id;
    std::memcpy(&id, dati(), sizeof id);
    Transaction& t = r_->db_.transazione(r_->tr_);
    Stato st;
    detail::Rif<Firebird::IBlob> blob(chiama(
        [&] { return r_->db_.attachment()->openBlob(&st, t.handle(), &id, 0, nullptr); }));
    std::string contenuto;
    std::string buf(kSegmento, '\0');
    for (;;) {
        unsigned letti = 0;
        const int esito = chiama([&] {
            return blob->getSegment(&st, static_cast<unsigned>(buf.size()), buf.data(), &letti);
        });
        if (esito == Firebird::IStatus::RESULT_NO_DATA)
            break;
        contenuto.append(buf.data(), letti);
    }
    chiama([&] { blob->close(&st); });
    blob.release();  // close() released it
    return contenuto;
}

void Field::scriviBlob(std::string_view byte)
{
    Transaction& t = r_->db_.transazione(r_->tr_);
    Stato st;
    ISC_QUAD id;
    detail::Rif<Firebird::IBlob> blob(chiama(
        [&] { return r_->db_.attachment()->createBlob(&st, t.handle(), &id, 0, nullptr); }));
    for (size_t i = 0; i < byte.size(); i += kSegmento) {
        const size_t n = std::min(kSegmento, byte.size() - i);
        chiama([&] { blob->putSegment(&st, static_cast<unsigned>(n), byte.data() + i); });
    }
    chiama([&] { blob->close(&st); });
    blob.release();
    std::memcpy(dati(), &id, sizeof id);
    *nullo() = 0;
}

std::string Field::asBytes() const
{
    if (isNull())
        return {};
    switch (tipo_) {
    case TipoSql::Char:
        return std::string(reinterpret_cast<const char*>(dati()), lunghezza_);
    case TipoSql::Varchar: {
        std::uint16_t n = 0;
        std::memcpy(&n, dati(), sizeof n);
        return std::string(reinterpret_cast<const char*>(dati()) + sizeof n,
                           std::min<unsigned>(n, lunghezza_));
    }
    case TipoSql::Blob:
        return leggiBlob();
    default:
        tipoNonAdatto("lettura come byte");
    }
}

void Field::setBytes(std::string_view byte)
{
    if (text())
        scriviTesto(byte);
    else if (tipo_ == TipoSql::Blob)
        scriviBlob(byte);
    else
        tipoNonAdatto("scrittura di byte");
}

std::string Field::asString() const
{
    if (isNull())
        return {};
    switch (tipo_) {
    case TipoSql::Char:
    case TipoSql::Varchar:
        return testoDaByte(asBytes());
    case TipoSql::Blob:
        return sottotipo_ == 1 ? testoDaByte(leggiBlob()) : leggiBlob();
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint: {
        std::int64_t v = 0;
        if (tipo_ == TipoSql::Smallint)
            v = *reinterpret_cast<const std::int16_t*>(dati());
        else if (tipo_ == TipoSql::Integer)
            v = *reinterpret_cast<const std::int32_t*>(dati());
        else
            v = *reinterpret_cast<const std::int64_t*>(dati());
        return testoScalato(v, -scala_);
    }
    case TipoSql::Float:
        return testoReale(*reinterpret_cast<const float*>(dati()));
    case TipoSql::Double:
        return testoReale(*reinterpret_cast<const double*>(dati()));
    case TipoSql::Date:
    case TipoSql::Time:
    case TipoSql::Timestamp:
        return testoDataOra(asDataOra(), tipo_);
    case TipoSql::Boolean:
        return *dati() ? "true" : "false";
    default:
        tipoNonAdatto("lettura come testo");
    }
}

void Field::setString(std::string_view testo)
{
    switch (tipo_) {
    case TipoSql::Char:
    case TipoSql::Varchar:
        scriviTesto(byteDaTesto(testo));
        return;
    case TipoSql::Blob:
        scriviBlob(sottotipo_ == 1 ? byteDaTesto(testo) : std::string(testo));
        return;
    default:
        break;
    }
    if (senzaSpazi(testo).empty()) {
        clear();
        return;
    }
    auto nonValido = [&](const char* cosa) {
        return Error("Valore non valido per il campo " + nome_ + " (" + cosa + "): \"" +
                     std::string(testo) + "\"");
    };
    switch (tipo_) {
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint: {
        auto v = numeroScalato(testo, -scala_);
        if (!v)
            throw nonValido("numero");
        scriviIntero(*v);
        return;
    }
    case TipoSql::Float:
    case TipoSql::Double: {
        auto v = numeroReale(testo);
        if (!v)
            throw nonValido("numero");
        setDouble(*v);
        return;
    }
    case TipoSql::Date:
    case TipoSql::Time:
    case TipoSql::Timestamp: {
        auto v = dataOraDaTesto(testo, tipo_);
        if (!v)
            throw nonValido(tipo_ == TipoSql::Time ? "ora" : "data");
        setDataOra(*v);
        return;
    }
    case TipoSql::Boolean: {
        std::string t = maiuscole(senzaSpazi(testo));
        if (t == "TRUE" || t == "1" || t == "SI" || t == "S" || t == "VERO")
            setBool(true);
        else if (t == "FALSE" || t == "0" || t == "NO" || t == "N" || t == "FALSO")
            setBool(false);
        else
            throw nonValido("vero o falso");
        return;
    }
    default:
        tipoNonAdatto("scrittura come testo");
    }
}

void Field::scriviIntero(std::int64_t x)
{
    auto fuori = [&] {
        return Error("Valore fuori intervallo per il campo " + nome_ + ": " +
                     testoScalato(x, -scala_));
    };
    switch (tipo_) {
    case TipoSql::Smallint:
        if (x < std::numeric_limits<std::int16_t>::min() || x > std::numeric_limits<std::int16_t>::max())
            throw fuori();
        *reinterpret_cast<std::int16_t*>(dati()) = static_cast<std::int16_t>(x);
        break;
    case TipoSql::Integer:
        if (x < std::numeric_limits<std::int32_t>::min() || x > std::numeric_limits<std::int32_t>::max())
            throw fuori();
        *reinterpret_cast<std::int32_t*>(dati()) = static_cast<std::int32_t>(x);
        break;
    case TipoSql::Bigint:
        *reinterpret_cast<std::int64_t*>(dati()) = x;
        break;
    default:
        tipoNonAdatto("scrittura come intero");
    }
    *nullo() = 0;
}

std::int64_t Field::leggiIntero() const
{
    switch (tipo_) {
    case TipoSql::Smallint: return *reinterpret_cast<const std::int16_t*>(dati());
    case TipoSql::Integer: return *reinterpret_cast<const std::int32_t*>(dati());
    case TipoSql::Bigint: return *reinterpret_cast<const std::int64_t*>(dati());
    default: tipoNonAdatto("lettura come intero");
    }
}

std::int64_t Field::asInt64() const
{
    verificaNonNullo();
    switch (tipo_) {
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint: {
        const std::int64_t v = leggiIntero();
        const std::int64_t p = potenzaDieci(-scala_);
        if (v % p != 0)
            throw Error("Il campo " + nome_ + " ha decimali: " + testoScalato(v, -scala_));
        return v / p;
    }
    case TipoSql::Float:
    case TipoSql::Double: {
        const double d = asDouble();
        if (d != std::trunc(d) || std::fabs(d) > 9.2e18)
            throw Error("Il campo " + nome_ + " non contiene un intero: " + asString());
        return static_cast<std::int64_t>(d);
    }
    case TipoSql::Char:
    case TipoSql::Varchar: {
        auto v = numeroScalato(asString(), 0);
        if (!v || asString().find_first_of(".,") != std::string::npos)
            throw Error("Il campo " + nome_ + " non contiene un intero: \"" + asString() + "\"");
        return *v;
    }
    default:
        tipoNonAdatto("lettura come intero");
    }
}

void Field::setInt64(std::int64_t valore)
{
    switch (tipo_) {
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint: {
        const std::int64_t p = potenzaDieci(-scala_);
        if (valore > std::numeric_limits<std::int64_t>::max() / p ||
            valore < std::numeric_limits<std::int64_t>::min() / p)
            throw Error("Valore fuori intervallo per il campo " + nome_ + ": " +
                        std::to_string(valore));
        scriviIntero(valore * p);
        return;
    }
    case TipoSql::Float:
    case TipoSql::Double:
        setDouble(static_cast<double>(valore));
        return;
    case TipoSql::Char:
    case TipoSql::Varchar:
        setString(std::to_string(valore));
        return;
    default:
        tipoNonAdatto("scrittura come intero");
    }
}

double Field::asDouble() const
{
    verificaNonNullo();
    switch (tipo_) {
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint:
        return static_cast<double>(leggiIntero()) / static_cast<double>(potenzaDieci(-scala_));
    case TipoSql::Float:
        return *reinterpret_cast<const float*>(dati());
    case TipoSql::Double:
        return *reinterpret_cast<const double*>(dati());
    case TipoSql::Char:
    case TipoSql::Varchar: {
        auto v = numeroReale(asString());
        if (!v)
            throw Error("Il campo " + nome_ + " non contiene un numero: \"" + asString() + "\"");
        return *v;
    }
    default:
        tipoNonAdatto("lettura come numero");
    }
}

void Field::setDouble(double valore)
{
    switch (tipo_) {
    case TipoSql::Float:
        if (std::isfinite(valore) && std::fabs(valore) > std::numeric_limits<float>::max())
            throw Error("Valore fuori intervallo per il campo " + nome_ + ": " + testoReale(valore));
        *reinterpret_cast<float*>(dati()) = static_cast<float>(valore);
        *nullo() = 0;
        return;
    case TipoSql::Double:
        *reinterpret_cast<double*>(dati()) = valore;
        *nullo() = 0;
        return;
    case TipoSql::Smallint:
    case TipoSql::Integer:
    case TipoSql::Bigint: {
        const double scalato = std::round(valore * static_cast<double>(potenzaDieci(-scala_)));
        if (!std::isfinite(scalato) || std::fabs(scalato) >= 9.2e18)
            throw Error("Valore fuori intervallo per il campo " + nome_ + ": " + testoReale(valore));
        scriviIntero(static_cast<std::int64_t>(scalato));
        return;
    }
    case TipoSql::Char:
    case TipoSql::Varchar:
        setString(testoReale(valore));
        return;
    default:
        tipoNonAdatto("scrittura come numero");
    }
}

DataOra Field::asDataOra() const
{
    verificaNonNullo();
    DataOra d;
    unsigned a = 0, m = 0, g = 0, h = 0, mi = 0, s = 0, f = 0;
    Firebird::IUtil* u = detail::util();
    switch (tipo_) {
    case TipoSql::Date:
        u->decodeDate(*reinterpret_cast<const ISC_DATE*>(dati()), &a, &m, &g);
        break;
    case TipoSql::Time:
        u->decodeTime(*reinterpret_cast<const ISC_TIME*>(dati()), &h, &mi, &s, &f);
        break;
    case TipoSql::Timestamp: {
        const auto* ts = reinterpret_cast<const ISC_TIMESTAMP*>(dati());
        u->decodeDate(ts->timestamp_date, &a, &m, &g);
        u->decodeTime(ts->timestamp_time, &h, &mi, &s, &f);
        break;
    }
    case TipoSql::Char:
    case TipoSql::Varchar: {
        auto v = dataOraDaTesto(asString(), TipoSql::Timestamp);
        if (!v)
            throw Error("Il campo " + nome_ + " non contiene una data: \"" + asString() + "\"");
        return *v;
    }
    default:
        tipoNonAdatto("lettura come data");
    }
    d.anno = static_cast<int>(a), d.mese = static_cast<int>(m), d.giorno = static_cast<int>(g);
    d.ora = static_cast<int>(h), d.minuto = static_cast<int>(mi), d.secondo = static_cast<int>(s);
    d.decimillesimi = static_cast<int>(f);
    return d;
}

void Field::setDataOra(const DataOra& v)
{
    const bool dataValida = v.anno >= 1 && v.anno <= 9999 && v.mese >= 1 && v.mese <= 12 &&
                            v.giorno >= 1 && v.giorno <= giorniDelMese(v.anno, v.mese);
    const bool oraValida = v.ora >= 0 && v.ora <= 23 && v.minuto >= 0 && v.minuto <= 59 &&
                           v.secondo >= 0 && v.secondo <= 59 && v.decimillesimi >= 0 &&
                           v.decimillesimi <= 9999;
    auto nonValida = [&] {
        return Error("Data o ora non valida per il campo " + nome_ + ": " +
                     testoDataOra(v, TipoSql::Timestamp));
    };
    Firebird::IUtil* u = detail::util();
    auto ora = [&] {
        return u->encodeTime(static_cast<unsigned>(v.ora), static_cast<unsigned>(v.minuto),
                             static_cast<unsigned>(v.secondo),
                             static_cast<unsigned>(v.decimillesimi));
    };
    auto data = [&] {
        return u->encodeDate(static_cast<unsigned>(v.anno), static_cast<unsigned>(v.mese),
                             static_cast<unsigned>(v.giorno));
    };
    switch (tipo_) {
    case TipoSql::Date:
        if (!dataValida || v.ora || v.minuto || v.secondo || v.decimillesimi)
            throw nonValida();
        *reinterpret_cast<ISC_DATE*>(dati()) = data();
        break;
    case TipoSql::Time:
        if (!oraValida)
            throw nonValida();
        *reinterpret_cast<ISC_TIME*>(dati()) = ora();
        break;
    case TipoSql::Timestamp: {
        if (!dataValida || !oraValida)
            throw nonValida();
        auto* ts = reinterpret_cast<ISC_TIMESTAMP*>(dati());
        ts->timestamp_date = data();
        ts->timestamp_time = ora();
        break;
    }
    case TipoSql::Char:
    case TipoSql::Varchar:
        setString(testoDataOra(v, TipoSql::Timestamp));
        return;
    default:
        tipoNonAdatto("scrittura come data");
    }
    *nullo() = 0;
}

bool Field::asBool() const
{
    verificaNonNullo();
    if (tipo_ != TipoSql::Boolean)
        tipoNonAdatto("lettura come vero o falso");
    return *dati() != 0;
}

void Field::setBool(bool valore)
{
    if (tipo_ != TipoSql::Boolean)
        tipoNonAdatto("scrittura come vero o falso");
    *dati() = valore ? 1 : 0;
    *nullo() = 0;
}

// ---- Record ----

namespace detail {

Record::Record(Firebird::IMessageMetadata* meta, Database& db, Transaction* tr)
    : meta_(meta), db_(db), tr_(tr)
{
    meta_->addRef();
    Stato st;
    const unsigned n = chiama([&] { return meta_->getCount(&st); });
    const unsigned lunghezza = chiama([&] { return meta_->getMessageLength(&st); });
    buffer_ = std::make_unique<unsigned char[]>(std::max(lunghezza, 1u));
    campi_.reserve(n);
    for (unsigned i = 0; i < n; ++i)
        campi_.push_back(Field(*this, i));
    azzera();
}

Record::~Record()
{
    meta_->release();
}

Field& Record::operator[](size_t i)
{
    if (i >= campi_.size())
        throw Error("Campo numero " + std::to_string(i) + " inesistente (i campi sono " +
                    std::to_string(campi_.size()) + ")");
    return campi_[i];
}

Field* Record::cerca(std::string_view nome)
{
    for (Field& c : campi_)
        if (c.name() == nome)
            return &c;
    return nullptr;
}

void Record::azzera()
{
    for (Field& c : campi_)
        c.clear();
}

}  // namespace detail
}  // namespace korva::ib
