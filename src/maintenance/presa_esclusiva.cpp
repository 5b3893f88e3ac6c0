#include "maintenance/presa_esclusiva.h"

#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"
#include "engines/paradox/table_hold.h"

namespace korva {

PresaEsclusiva::PresaEsclusiva(Env& env, const std::string& dir, const std::string& db)
{
    const std::string percorso = dir + "/" + db;
    const std::string base = db.substr(0, db.rfind('.'));
    paradox::HeldTable presa = paradox::holdTable(env, dir, db, true, percorso);
    db_ = std::move(presa.file);
    lock_ = std::move(presa.lock);
    const std::string giornale = dir + "/" + base + ".JNL";
    if (paradox::Pager::hot(env, giornale))
        paradox::Pager::recover(env, giornale, dir);
}

PresaEsclusiva::~PresaEsclusiva()
{
    lock_.reset();
}

}  // namespace korva
