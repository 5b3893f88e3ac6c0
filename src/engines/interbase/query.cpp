#include "engines/interbase/query.h"

#include "engines/interbase/client.h"
#include "engines/interbase/transaction.h"

namespace korva::ib {

using detail::chiama;
using detail::Stato;

Query::Query(Database& db, Transaction* t) : db_(&db), tr_(t)
{
    db_->aggiungi(this);
}

Query::~Query()
{
    if (db_) {
        libera();
        db_->togli(this);
    }
}

std::string Query::text() const
{
    std::string t;
    for (size_t i = 0; i < sql.size(); ++i) {
        if (i > 0)
            t += '\n';
        t += sql[i];
    }
    return t;
}

Database& Query::database()
{
    if (!db_)
        throw Error("L'archivio dell'istruzione non esiste più");
    return *db_;
}

Transaction& Query::transazione()
{
    return database().transazione(tr_);
}

void Query::chiudiCursore()
{
    if (!cursore_)
        return;
    Firebird::IResultSet* c = std::exchange(cursore_, nullptr);
    trCursore_ = nullptr;
    eof_ = true;
    try {
        Stato st;
        chiama([&] { c->close(&st); });
    } catch (const korva::Error&) {
        c->release();
    }
}

void Query::libera()
{
    chiudiCursore();
    parametri_.reset();
    riga_.reset();
    preparato_.clear();
    if (Firebird::IStatement* s = std::exchange(stmt_, nullptr)) {
        try {
            Stato st;
            chiama([&] { s->free(&st); });
        } catch (const korva::Error&) {
            s->release();
        }
    }
}

void Query::transazioneTerminata(Transaction& t)
{
    if (trCursore_ == &t)
        chiudiCursore();
}

void Query::connessioneChiusa()
{
    libera();
}

void Query::databaseDistrutto()
{
    libera();
    db_ = nullptr;
}

void Query::prepare()
{
    const std::string testo = text();
    if (stmt_ && testo == preparato_)
        return;
    Database& db = database();
    libera();
    if (testo.find_first_not_of(" \t\r\n") == std::string::npos)
        throw Error("Istruzione SQL vuota");
    const std::string byte = detail::versoConnessione(testo);
    Transaction& t = transazione();
    Firebird::IAttachment* att = db.attachment();
    Stato st;
    stmt_ = chiama([&] {
        return att->prepare(&st, t.handle(), static_cast<unsigned>(byte.size()), byte.c_str(),
                            static_cast<unsigned>(db.sqlDialect),
                            Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    });
    preparato_ = testo;
    tipo_ = chiama([&] { return stmt_->getType(&st); });
    if (tipo_ == isc_info_sql_stmt_start_trans || tipo_ == isc_info_sql_stmt_commit ||
        tipo_ == isc_info_sql_stmt_rollback) {
        libera();
        throw Error("Istruzione non ammessa: le transazioni si chiudono con commit o rollback "
                    "della transazione, non con SQL");
    }
    detail::Rif<Firebird::IMessageMetadata> in(chiama([&] { return stmt_->getInputMetadata(&st); }));
    if (chiama([&] { return in->getCount(&st); }) > 0)
        parametri_ = std::make_unique<detail::Record>(in.get(), db, tr_);
    detail::Rif<Firebird::IMessageMetadata> out(
        chiama([&] { return stmt_->getOutputMetadata(&st); }));
    if (chiama([&] { return out->getCount(&st); }) > 0)
        riga_ = std::make_unique<detail::Record>(out.get(), db, tr_);
}

size_t Query::paramCount()
{
    prepare();
    return parametri_ ? parametri_->size() : 0;
}

Field& Query::param(size_t i)
{
    prepare();
    if (!parametri_)
        throw Error("L'istruzione non ha parametri");
    return (*parametri_)[i];
}

void Query::setParamName(size_t i, std::string nome)
{
    param(i).nome_ = std::move(nome);
}

void Query::execSql()
{
    chiudiCursore();
    // Told before the prepare, so that a statement the server refuses there is seen too.
    database().notificaIstruzione(text(), Invio::Esecuzione);
    prepare();
    if (tipo_ == isc_info_sql_stmt_select || tipo_ == isc_info_sql_stmt_select_for_upd)
        throw Error("L'istruzione restituisce righe: va aperta, non eseguita");
    Transaction& t = transazione();
    Firebird::ITransaction* h = t.handle();
    Stato st;
    chiama([&] {
        stmt_->execute(&st, h, parametri_ ? parametri_->metadata() : nullptr,
                       parametri_ ? parametri_->buffer() : nullptr,
                       riga_ ? riga_->metadata() : nullptr, riga_ ? riga_->buffer() : nullptr);
    });
    righe_ = chiama([&] { return stmt_->getAffectedRecords(&st); });
}

void Query::open()
{
    chiudiCursore();
    database().notificaIstruzione(text(), Invio::Apertura);
    prepare();
    if (!riga_ || (tipo_ != isc_info_sql_stmt_select && tipo_ != isc_info_sql_stmt_select_for_upd &&
                   tipo_ != isc_info_sql_stmt_exec_procedure))
        throw Error("L'istruzione non restituisce righe: va eseguita, non aperta");
    Transaction& t = transazione();
    Firebird::ITransaction* h = t.handle();
    Stato st;
    cursore_ = chiama([&] {
        return stmt_->openCursor(&st, h, parametri_ ? parametri_->metadata() : nullptr,
                                 parametri_ ? parametri_->buffer() : nullptr, riga_->metadata(), 0);
    });
    trCursore_ = &t;
    eof_ = false;
    next();
}

void Query::next()
{
    if (!cursore_ || eof_)
        return;
    Stato st;
    const int esito = chiama([&] { return cursore_->fetchNext(&st, riga_->buffer()); });
    if (esito != Firebird::IStatus::RESULT_OK)
        eof_ = true;
}

void Query::close()
{
    // A statement kept prepared keeps its tables "in use": a DROP of one of them in the same
    // transaction would fail.
    libera();
}

size_t Query::fieldCount() const
{
    return riga_ ? riga_->size() : 0;
}

Field& Query::field(size_t i)
{
    if (!riga_)
        throw Error("L'istruzione non ha colonne");
    return (*riga_)[i];
}

Field& Query::fieldByName(std::string_view nome)
{
    Field* c = riga_ ? riga_->cerca(nome) : nullptr;
    if (!c)
        throw Error("Campo inesistente: " + std::string(nome));
    return *c;
}

}  // namespace korva::ib
