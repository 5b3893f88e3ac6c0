// Registering the tables of a database nobody here designed: Firebird's own employee sample,
// built by isql-fb from the script Debian ships.

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/registrazione.h"
#include "ditta_prova.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace korva {
namespace {

using test::DittaProva;
using test::erroreDi;
using test::voce;
namespace fs = std::filesystem;

const char* const kScript = "/usr/share/doc/firebird3.0-common-doc/examples/employee.sql.gz";

TEST(RegistrazioneEmployee, OgniTabellaConLaSuaChiavePrimariaORifiutataColMotivo)
{
    ASSERT_TRUE(fs::exists(kScript)) << "manca " << kScript << " (pacchetto firebird3.0-examples)";
    DittaProva d("INTERBASE");
    d.dizionario({});
    const std::string comando = "cd '" + d.cartella.percorso() + "' && zcat " + kScript +
                                " > employee.sql && isql-fb -q -user sysdba -i employee.sql >/dev/null 2>&1 && "
                                "mv employee.fdb archivio.gdb";
    ASSERT_EQ(std::system(comando.c_str()), 0);
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    d.tabForm->ConnettiDatabaseIB();

    // The primary keys the script declares; the tables with a column the dictionary cannot
    // hold (NUMERIC and DECIMAL with decimals, arrays, computed columns).
    const std::map<std::string, std::vector<std::string>> chiavi = {
        {"COUNTRY", {"COUNTRY"}},   {"CUSTOMER", {"CUST_NO"}},
        {"PROJECT", {"PROJ_ID"}},   {"EMPLOYEE_PROJECT", {"EMP_NO", "PROJ_ID"}}};
    const std::set<std::string> conTipiEstranei = {"DEPARTMENT", "EMPLOYEE", "JOB", "PROJ_DEPT_BUDGET",
                                                   "SALARY_HISTORY", "SALES"};
    const auto tabelle = ib::nomiTabelleUtente(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
    ASSERT_EQ(tabelle.size(), 10u);
    for (const std::string& nome : tabelle) {
        SCOPED_TRACE(nome);
        ib::Table t(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
        t.setTableName(nome);
        std::optional<TabellaLetta> letta;
        const std::string errore = erroreDi([&] { letta = righeDaArchivio(nome, "t", t.fieldDefs(), t.indexDefs()); });
        if (conTipiEstranei.count(nome)) {
            EXPECT_NE(errore.find("il dizionario non può descrivere queste colonne"), std::string::npos) << errore;
            continue;
        }
        ASSERT_TRUE(letta) << errore;
        const RigheTabella& r = letta->righe;
        std::vector<std::string> chiave;
        for (const DefCampo& c : r.campi)
            if (c.Chiave == 1)
                chiave.push_back(c.NomeCampo);
        EXPECT_EQ(chiave, chiavi.at(nome));
        EXPECT_EQ(r.tabella.CampiChiavePrimaria, static_cast<int>(chiave.size()));
        // The key's own index (RDB$PRIMARY...) is no composite index.
        for (const DefIndiceComposto& i : r.indici)
            EXPECT_EQ(i.NomeIndiceSecComp.find("RDB$PRIMARY"), std::string::npos);
    }
    d.tabForm->IBTransaction1.commit();

    // Registered for real: the names that fit the dictionary's eight characters.
    for (const std::string& nome : tabelle) {
        SCOPED_TRACE(nome);
        const std::string errore =
            erroreDi([&] { g.RegistraTabellaIb([&] { return nome; }, [] { return std::string(); }); });
        if (nome.size() > 8)
            EXPECT_NE(errore.find("è più lungo di 8 caratteri"), std::string::npos) << errore;
        else
            EXPECT_EQ(errore == "nessun errore", chiavi.count(nome) == 1) << errore;
    }
    EXPECT_EQ(g.elencoTabelle().size(), 3u);
    EXPECT_EQ(voce(g.TracciatiDir(), "project"),
              (std::vector<std::string>{"tabella project|project/|5|1|2|1|0|0", "campo 1|PROJ_ID|A5|1|0|0",
                                        "campo 2|PROJ_NAME|A20|0|1|1", "campo 3|PROJ_DESC|M800|0|0|0",
                                        "campo 4|TEAM_LEADER|S|0|1|1", "campo 5|PRODUCT|A12|0|0|0",
                                        "indice PRODTYPEX|2|1|1", "indice PRODTYPEX|5|0|1"}));
}

}  // namespace
}  // namespace korva
