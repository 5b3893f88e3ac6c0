#include "engines/interbase/transaction.h"

#include "engines/interbase/client.h"
#include "engines/interbase/database.h"

#include <charconv>

namespace korva::ib {

using detail::chiama;
using detail::Stato;

Transaction::Transaction(Database* db)
{
    setDefaultDatabase(db);
}

Transaction::~Transaction()
{
    deactivate();
    if (db_) {
        db_->togli(this);
        if (db_->defaultTransaction() == this)
            db_->setDefaultTransaction(nullptr);
    }
}

void Transaction::setDefaultDatabase(Database* db)
{
    if (db == db_)
        return;
    if (tr_)
        throw Error("Impossibile cambiare archivio a una transazione attiva");
    if (db_)
        db_->togli(this);
    db_ = db;
    if (db_)
        db_->aggiungi(this);
}

void Transaction::start()
{
    if (tr_)
        throw Error("La transazione è già attiva");
    if (!db_)
        throw Error("Transazione senza archivio");
    detail::Blocco tpb(Firebird::IXpbBuilder::TPB);
    bool attesaDecisa = false;
    for (const std::string& p : params) {
        auto [nome, valore] = detail::dividiParametro(p);
        if (nome == "read")
            tpb.tag(isc_tpb_read);
        else if (nome == "write")
            tpb.tag(isc_tpb_write);
        else if (nome == "concurrency")
            tpb.tag(isc_tpb_concurrency);
        else if (nome == "consistency")
            tpb.tag(isc_tpb_consistency);
        else if (nome == "read_committed")
            tpb.tag(isc_tpb_read_committed);
        else if (nome == "rec_version")
            tpb.tag(isc_tpb_rec_version);
        else if (nome == "no_rec_version")
            tpb.tag(isc_tpb_no_rec_version);
        else if (nome == "wait")
            tpb.tag(isc_tpb_wait);
        else if (nome == "nowait") {
            tpb.tag(isc_tpb_nowait);
            attesaDecisa = true;
        } else if (nome == "lock_timeout") {
            int secondi = 0;
            const auto fine = valore.data() + valore.size();
            if (std::from_chars(valore.data(), fine, secondi).ptr != fine || secondi <= 0)
                throw Error("Parametro di transazione non valido: \"" + p + "\"");
            tpb.tag(isc_tpb_wait);
            tpb.intero(isc_tpb_lock_timeout, secondi);
            attesaDecisa = true;
        } else if (nome == "lock_read" || nome == "lock_write")
            tpb.testo(nome == "lock_read" ? isc_tpb_lock_read : isc_tpb_lock_write, valore);
        else if (nome == "shared")
            tpb.tag(isc_tpb_shared);
        else if (nome == "protected")
            tpb.tag(isc_tpb_protected);
        else if (!nome.empty())
            throw Error("Parametro di transazione sconosciuto: \"" + p + "\"");
    }
    if (params.empty()) {
        tpb.tag(isc_tpb_write);
        tpb.tag(isc_tpb_concurrency);
    }
    if (!attesaDecisa) {
        tpb.tag(isc_tpb_wait);
        tpb.intero(isc_tpb_lock_timeout, kAttesaBlocchiSecondi);
    }
    Firebird::IAttachment* att = db_->attachment();
    Stato st;
    tr_ = chiama([&] { return att->startTransaction(&st, tpb.lunghezza(), tpb.dati()); });
}

Firebird::ITransaction* Transaction::handle()
{
    if (!tr_)
        start();
    return tr_;
}

void Transaction::termina(bool conferma)
{
    if (!tr_)
        throw Error("La transazione non è attiva");
    // Cursors and blobs of the transaction go first: the server closes them anyway.
    if (db_) {
        db_->transazioneTerminata(*this);
        db_->notificaIstruzione(conferma ? "COMMIT" : "ROLLBACK",
                                conferma ? Invio::Commit : Invio::Rollback);
    }
    Stato st;
    if (conferma)
        chiama([&] { tr_->commit(&st); });
    else
        chiama([&] { tr_->rollback(&st); });
    // commit() and rollback() release the interface when they succeed.
    tr_ = nullptr;
}

void Transaction::commit()
{
    termina(true);
}

void Transaction::rollback()
{
    termina(false);
}

void Transaction::deactivate()
{
    if (!tr_)
        return;
    try {
        rollback();
    } catch (const korva::Error&) {
        // The connection is gone; so is the work of the transaction.
        abbandona();
    }
}

void Transaction::abbandona()
{
    if (!tr_)
        return;
    if (db_)
        db_->transazioneTerminata(*this);
    tr_->release();
    tr_ = nullptr;
}

TransactionScope::~TransactionScope()
{
    if (!concluso_)
        t_.deactivate();
}

void TransactionScope::commit()
{
    if (t_.inTransaction())
        t_.commit();
    concluso_ = true;
}

}  // namespace korva::ib
