#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Firebird {
class IMessageMetadata;
}

namespace korva::ib {

class Database;
class Transaction;

// The SQL type of a column of a row or of a statement parameter.
enum class TipoSql {
    Char,
    Varchar,
    Smallint,
    Integer,
    Bigint,
    Float,
    Double,
    Date,
    Time,
    Timestamp,
    Blob,
    Boolean,
    Array,
    Null,  // a parameter whose type the statement leaves open ("? IS NULL")
};

// A date, a time of day or both; the parts a type does not have stay 0.
struct DataOra {
    int anno = 0, mese = 0, giorno = 0;
    int ora = 0, minuto = 0, secondo = 0;
    int decimillesimi = 0;  // tenths of a millisecond
    bool operator==(const DataOra&) const = default;
};

namespace detail {
class Record;
}

// A column of the current row of a cursor, or a parameter of a statement.
//
// Text is UTF-8 here and WIN1252 in the database; a character WIN1252 cannot hold, or a text
// longer than the column, is an Error and never cut or replaced silently. Text forms:
// numbers with "." as decimal separator (a "," is accepted on input), dates as
// "YYYY-MM-DD", times as "HH:MM:SS" (with ".ffff" when there are fractions), timestamps as
// both joined by a blank; on input dates may also be "DD/MM/YYYY". An empty text sets a
// non-text field to NULL; a text field then holds the empty text.
class Field {
public:
    const std::string& name() const { return nome_; }
    TipoSql type() const { return tipo_; }
    // Decimal digits of a NUMERIC or DECIMAL as a negative number; 0 otherwise.
    int scale() const { return scala_; }
    // BLOB: 1 text, 0 binary, others as the server defines them.
    int subType() const { return sottotipo_; }
    // Bytes of a text column (characters, in WIN1252).
    unsigned length() const { return lunghezza_; }
    bool text() const;

    bool isNull() const;
    // Sets NULL.
    void clear();

    std::string asString() const;
    void setString(std::string_view testo);
    // Integers and the unscaled value of NUMERIC/DECIMAL are not told apart: for a scaled
    // column these work on the scaled value and are an Error when decimals would be lost.
    std::int64_t asInt64() const;
    void setInt64(std::int64_t valore);
    double asDouble() const;
    void setDouble(double valore);
    DataOra asDataOra() const;
    void setDataOra(const DataOra& valore);
    bool asBool() const;
    void setBool(bool valore);
    // Text and BLOB content as stored, without conversion.
    std::string asBytes() const;
    void setBytes(std::string_view byte);

private:
    friend class detail::Record;
    friend class Query;
    Field(detail::Record& r, unsigned indice);

    unsigned char* dati() const;
    std::int16_t* nullo() const;
    void verificaNonNullo() const;
    [[noreturn]] void tipoNonAdatto(const char* operazione) const;
    std::string testoDaByte(std::string_view b) const;
    std::string byteDaTesto(std::string_view t) const;
    void scriviTesto(std::string_view byte);
    std::string leggiBlob() const;
    void scriviBlob(std::string_view byte);
    void scriviIntero(std::int64_t valoreScalato);
    std::int64_t leggiIntero() const;

    detail::Record* r_;
    unsigned indice_;
    std::string nome_;
    TipoSql tipo_ = TipoSql::Null;
    int scala_ = 0;
    int sottotipo_ = 0;
    unsigned lunghezza_ = 0;
    unsigned charset_ = 0;
    unsigned offset_ = 0;
    unsigned offsetNullo_ = 0;
};

namespace detail {

// The buffer of one message (a row or the parameters of a statement) with its fields.
class Record {
public:
    // Takes a reference to the metadata. Blobs are read and written on `db` in `tr` (the
    // database's default transaction when null).
    Record(Firebird::IMessageMetadata* meta, Database& db, Transaction* tr);
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    size_t size() const { return campi_.size(); }
    Field& operator[](size_t i);
    Field* cerca(std::string_view nome);
    // Every field NULL.
    void azzera();

    Firebird::IMessageMetadata* metadata() const { return meta_; }
    unsigned char* buffer() { return buffer_.get(); }

private:
    friend class ib::Field;
    Firebird::IMessageMetadata* meta_;
    Database& db_;
    Transaction* tr_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::vector<Field> campi_;
};

}  // namespace detail

// The text form of a value (as Field::asString gives it).
std::string testoDataOra(const DataOra& v, TipoSql tipo);

}  // namespace korva::ib
