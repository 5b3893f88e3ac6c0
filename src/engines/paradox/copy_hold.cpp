#include "engines/paradox/copy_hold.h"

#include "base/errore.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"
#include "engines/paradox/table_hold.h"

namespace korva::paradox {

CopyHold::CopyHold(Env& env, const std::string& dir, const std::string& dbName, std::chrono::milliseconds wait)
{
    const std::string path = dir + "/" + dbName;
    const auto dot = dbName.rfind('.');
    const std::string base = dot == std::string::npos ? dbName : dbName.substr(0, dot);
    HeldTable held = holdTable(env, dir, dbName, false, path);
    const bool writable = !held.readOnly;
    db_ = std::move(held.file);
    lock_ = std::move(held.lock);
    const std::string journal = dir + "/" + base + ".JNL";
    const auto busy = [&] {
        lock_.reset();
        return Error("La tabella " + path + " è in fase di modifica da parte di un altro utente: "
                     "impossibile copiarla");
    };
    if (writable) {
        // Alone on the write lock for a moment: a journal found now is one a writer left.
        if (!lockWithin(*db_, kWriteByte, LockType::Exclusive, wait))
            throw busy();
        try {
            if (Pager::hot(env, journal))
                Pager::recover(env, journal, dir);
        } catch (...) {
            db_->unlock(kWriteByte, 1);
            lock_.reset();
            throw;
        }
        db_->lock(kWriteByte, 1, LockType::Shared, false);
    } else {
        if (!lockWithin(*db_, kWriteByte, LockType::Shared, wait))
            throw busy();
        if (Pager::hot(env, journal)) {
            db_->unlock(kWriteByte, 1);
            lock_.reset();
            throw Error("La tabella " + path + " ha una modifica interrotta che non si può annullare: "
                        "i suoi file sono in sola lettura");
        }
    }
}

CopyHold::~CopyHold()
{
    db_->unlock(kWriteByte, 1);
    lock_.reset();
}

}  // namespace korva::paradox
