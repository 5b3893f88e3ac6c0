#include "engines/interbase/table.h"

#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/transaction.h"

namespace korva::ib {

Table::Table(Database& db, Transaction* t) : db_(db), tr_(t) {}

Table::~Table() = default;

void Table::setTableName(std::string_view nome)
{
    std::string maiuscolo = maiuscole(nome);
    if (maiuscolo == nome_)
        return;
    close();
    nome_ = std::move(maiuscolo);
    lettura_.reset();
    campi_.reset();
    indici_.reset();
}

bool Table::exists()
{
    return !nome_.empty() && relazioneEsiste(db_, nome_, tr_);
}

bool Table::active() const
{
    // Ending the transaction or the connection closes the rows under us.
    return aperta_ && lettura_ && lettura_->active();
}

void Table::verificaAperta() const
{
    if (!active())
        throw Error("Tabella " + nome_ + " non aperta");
}

void Table::open()
{
    if (nome_.empty())
        throw Error("Nome della tabella non impostato");
    close();
    if (!lettura_) {
        lettura_ = std::make_unique<Query>(db_, tr_);
        lettura_->sql = {"SELECT * FROM " + nomeTraVirgolette(nome_)};
    }
    lettura_->open();
    aperta_ = true;
    contati_ = lettura_->eof() ? 0 : 1;
}

void Table::close()
{
    inserendo_ = false;
    aperta_ = false;
    contati_ = 0;
    // Nothing stays prepared on a closed table: its table could not be dropped.
    if (lettura_)
        lettura_->close();
    inserimento_.reset();
    parametroDi_.clear();
}

const std::vector<FieldDef>& Table::fieldDefs()
{
    if (!campi_)
        updateFieldDefs();
    return *campi_;
}

const std::vector<IndexDef>& Table::indexDefs()
{
    if (!indici_)
        updateIndexDefs();
    return *indici_;
}

void Table::updateFieldDefs()
{
    campi_ = leggiCampi(db_, nome_, tr_);
}

void Table::updateIndexDefs()
{
    indici_ = leggiIndici(db_, nome_, tr_);
}

bool Table::eof() const
{
    return !active() || lettura_->eof();
}

void Table::first()
{
    verificaAperta();
    if (contati_ <= 1 && !lettura_->eof())
        return;  // already on the first row
    open();
}

void Table::next()
{
    verificaAperta();
    if (lettura_->eof())
        return;
    lettura_->next();
    if (!lettura_->eof())
        ++contati_;
}

void Table::fetchAll()
{
    verificaAperta();
    while (!lettura_->eof())
        next();
}

std::int64_t Table::contaRighe()
{
    Query q(db_, tr_);
    q.sql = {"SELECT COUNT(*) FROM " + nomeTraVirgolette(nome_)};
    q.open();
    return q.field(0).asInt64();
}

size_t Table::fieldCount() const
{
    return lettura_ ? lettura_->fieldCount() : 0;
}

Field& Table::field(size_t i)
{
    verificaAperta();
    if (inserendo_) {
        if (i >= parametroDi_.size())
            return lettura_->field(i);  // the same error for a missing column
        if (parametroDi_[i] < 0)
            throw Error("Il campo " + lettura_->field(i).name() + " è calcolato: non si può scrivere");
        return inserimento_->param(static_cast<size_t>(parametroDi_[i]));
    }
    if (lettura_->eof())
        throw Error("Tabella " + nome_ + ": nessuna riga corrente");
    return lettura_->field(i);
}

Field& Table::fieldByName(std::string_view nome)
{
    verificaAperta();
    for (size_t i = 0; i < lettura_->fieldCount(); ++i)
        if (lettura_->field(i).name() == nome)
            return field(i);
    throw Error("Campo inesistente nella tabella " + nome_ + ": " + std::string(nome));
}

void Table::preparaInserimento()
{
    if (inserimento_ && inserimento_->paramCount() > 0)
        return;
    const std::vector<FieldDef>& defs = fieldDefs();
    std::string colonne, segnaposti;
    parametroDi_.assign(lettura_->fieldCount(), -1);
    int n = 0;
    for (size_t i = 0; i < lettura_->fieldCount(); ++i) {
        const std::string& nome = lettura_->field(i).name();
        bool calcolato = false;
        for (const FieldDef& d : defs)
            if (d.name == nome)
                calcolato = d.computed;
        if (calcolato)
            continue;
        if (n > 0) {
            colonne += ", ";
            segnaposti += ", ";
        }
        colonne += nomeTraVirgolette(nome);
        segnaposti += "?";
        parametroDi_[i] = n++;
    }
    if (n == 0)
        throw Error("La tabella " + nome_ + " non ha campi da scrivere");
    inserimento_ = std::make_unique<Query>(db_, tr_);
    inserimento_->sql = {"INSERT INTO " + nomeTraVirgolette(nome_) + " (" + colonne + ")",
                         "VALUES (" + segnaposti + ")"};
    inserimento_->prepare();
    for (size_t i = 0; i < parametroDi_.size(); ++i)
        if (parametroDi_[i] >= 0)
            inserimento_->setParamName(static_cast<size_t>(parametroDi_[i]), lettura_->field(i).name());
}

void Table::append()
{
    verificaAperta();
    preparaInserimento();
    for (size_t i = 0; i < inserimento_->paramCount(); ++i)
        inserimento_->param(i).clear();
    inserendo_ = true;
}

void Table::post()
{
    verificaAperta();
    if (!inserendo_)
        throw Error("Tabella " + nome_ + ": nessuna riga nuova da registrare");
    inserimento_->execSql();
    inserendo_ = false;
}

void Table::cancel()
{
    inserendo_ = false;
}

}  // namespace korva::ib
