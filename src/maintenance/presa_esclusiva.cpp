#include "maintenance/presa_esclusiva.h"

#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"
#include "engines/paradox/table.h"

namespace korva {

PresaEsclusiva::PresaEsclusiva(Env& env, const std::string& dir, const std::string& db)
{
    const std::string percorso = dir + "/" + db;
    const std::string base = db.substr(0, db.rfind('.'));
    paradox::completePendingSwitch(env, dir, base);
    // The data file may be replaced between our open and our lock, as for any user.
    for (int tentativo = 0;; ++tentativo) {
        try {
            db_ = env.open(percorso, OpenMode::ReadWrite);
        } catch (const Error&) {
            db_ = env.open(percorso, OpenMode::Read);
        }
        lock_ = std::make_unique<paradox::TableLock>(env, *db_, dir + "/" + base + ".LCK", db, true, percorso);
        const auto ora = env.identity(percorso);
        if ((ora && *ora == db_->identity()) || tentativo >= 5)
            break;
        lock_.reset();
    }
    const std::string giornale = dir + "/" + base + ".JNL";
    if (paradox::Pager::hot(env, giornale))
        paradox::Pager::recover(env, giornale, dir);
}

PresaEsclusiva::~PresaEsclusiva()
{
    lock_.reset();
}

}  // namespace korva
