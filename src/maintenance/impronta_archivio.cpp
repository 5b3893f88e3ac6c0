#include "maintenance/impronta_archivio.h"

#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"

#include <algorithm>

namespace korva {

namespace {

// Stored tables (no views, no virtual monitoring tables, no temporary or external ones).
constexpr const char* kTabelleConPagine =
    "RDB$VIEW_BLR IS NULL AND RDB$EXTERNAL_FILE IS NULL AND COALESCE(RDB$RELATION_TYPE, 0) = 0";

std::vector<std::string> elenco(ib::Database& db, ib::Transaction& t, const std::string& sql)
{
    std::vector<std::string> nomi;
    ib::Query q(db, &t);
    q.sql = {sql};
    for (q.open(); !q.eof(); q.next())
        nomi.push_back(q.field(0).asString());
    q.close();
    for (std::string& n : nomi)
        while (!n.empty() && n.back() == ' ')
            n.pop_back();
    return nomi;
}

bool esclusa(const std::vector<std::string>& escluse, const std::string& nome)
{
    return std::find(escluse.begin(), escluse.end(), nome) != escluse.end();
}

}  // namespace

std::vector<std::string> tabelleSenzaPagine(ib::Database& db, ib::Transaction& t)
{
    return elenco(db, t,
                  std::string("SELECT R.RDB$RELATION_NAME FROM RDB$RELATIONS R WHERE R.RDB$SYSTEM_FLAG = 0 AND ") +
                      kTabelleConPagine +
                      " AND NOT EXISTS (SELECT 1 FROM RDB$PAGES P WHERE P.RDB$RELATION_ID = R.RDB$RELATION_ID "
                      "AND P.RDB$PAGE_TYPE = 4) ORDER BY 1");
}

Impronta improntaArchivio(ib::Database& db, ib::Transaction& t, const std::vector<std::string>& escluse)
{
    Impronta imp;
    for (const std::string& nome :
         elenco(db, t, std::string("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE ") + kTabelleConPagine)) {
        if (esclusa(escluse, nome))
            continue;
        ib::Query q(db, &t);
        q.sql = {"SELECT COUNT(*), MAX(RDB$RECORD_VERSION) FROM " + ib::nomeTraVirgolette(nome)};
        q.open();
        imp.tabelle[nome] = {q.field(0).asInt64(), q.field(1).isNull() ? -1 : q.field(1).asInt64()};
        q.close();
    }
    for (const std::string& nome :
         elenco(db, t, "SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0")) {
        ib::Query q(db, &t);
        q.sql = {"SELECT GEN_ID(" + ib::nomeTraVirgolette(nome) + ", 0) FROM RDB$DATABASE"};
        q.open();
        imp.generatori[nome] = q.field(0).asInt64();
        q.close();
    }
    return imp;
}

std::map<std::string, std::int64_t> righeTabelleUtente(ib::Database& db, ib::Transaction& t,
                                                       const std::vector<std::string>& escluse)
{
    std::map<std::string, std::int64_t> righe;
    for (const std::string& nome :
         elenco(db, t, std::string("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND ") +
                           kTabelleConPagine)) {
        if (esclusa(escluse, nome))
            continue;
        ib::Query q(db, &t);
        q.sql = {"SELECT COUNT(*) FROM " + ib::nomeTraVirgolette(nome)};
        q.open();
        righe[nome] = q.field(0).asInt64();
        q.close();
    }
    return righe;
}

}  // namespace korva
