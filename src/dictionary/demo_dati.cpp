#include "dictionary/demo_dati.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/creazione_paradox.h"
#include "dictionary/demo.h"
#include "dictionary/descrizione.h"
#include "dictionary/sql_creazione.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"
#include "shell/tabform.h"

#include <map>
#include <vector>

namespace korva {
namespace {

// A record: one text per field in field order, "" for a blank field.
using Record = std::vector<std::string>;

const std::map<std::string, std::vector<Record>>& recordDemo()
{
    static const std::map<std::string, std::vector<Record>> record = {
        {"agenti",
         {{"1", "Rossi Mario", "3.5"}, {"2", "Bianchi Laura", "4"}, {"3", "Esposito Nicolò", "2.75"}}},
        {"articoli",
         {{"BULL-M6", "Bullone M6 zincato", "0.12", "5400", "PZ", ""},
          {"DADO-M6", "Dado M6 zincato", "0.05", "8000", "PZ", ""},
          {"VERN-BI-1L", "Vernice bianca opaca, 1 litro", "8.9", "120", "LT", ""},
          {"CAVO-3X15", "Cavo elettrico tripolare 3x1,5", "1.35", "750", "MT", ""}}},
        {"clienti",
         {{"C00001", "Acme Forniture S.r.l.", "2027-01-31"},
          {"C00002", "Bottega del Caffè di Lucia", "2026-12-31"},
          {"C00003", "Officine Meccaniche Gallo", "2027-03-15"},
          {"C00004", "Società Agricola Le Querce", ""}}},
        {"fornitor",
         {{"F00001", "Ferramenta Nord S.p.A.", "01234567890", "Milano",
           "Consegne il martedi e il giovedi, ordini entro le 12."},
          {"F00002", "Colorificio Adriatico", "09876543210", "Pescara", ""},
          {"F00003", "Cavi & Fili S.n.c.", "11223344556", "Forlì", "Sconto del 3% oltre 500 euro."}}},
        {"movimag",
         {{"BULL-M6", "2026-11-03", "1", "2000", "CAR"},
          {"BULL-M6", "2026-11-10", "1", "-350", "SCA"},
          {"DADO-M6", "2026-11-03", "2", "3000", "CAR"},
          {"VERN-BI-1L", "2026-11-20", "1", "-12", "SCA"}}},
        {"ordini",
         {{"1001", "C00001", "2026-11-28", "1250.4", "09:30:00"},
          {"1002", "C00002", "2026-12-01", "86.5", "15:00:00"},
          {"1003", "C00001", "2026-12-05", "412", ""}}},
    };
    return record;
}

const std::vector<Record>& recordDi(const std::string& tabella)
{
    static const std::vector<Record> nessuno;
    auto it = recordDemo().find(tabella);
    return it == recordDemo().end() ? nessuno : it->second;
}

void creaInParadox(const DescrizioneTabella& descrizione, const std::string& dir)
{
    creaPercorso(dir);
    const DefinizioniParadox definizioni = definizioniParadox(descrizione);
    paradox::Table tabella;
    tabella.setDatabaseName(dir);
    tabella.setTableName(descrizione.nomeTabella + ".DB");
    tabella.fieldDefs = definizioni.campi;
    tabella.indexDefs = definizioni.indici;
    tabella.createTable();
    tabella.open();
    for (const Record& record : recordDi(descrizione.nomeTabella)) {
        tabella.append();
        for (size_t i = 0; i < record.size(); ++i)
            tabella.field(static_cast<int>(i)).setString(record[i]);
        tabella.post();
    }
    tabella.close();
}

void creaNellArchivio(const DescrizioneTabella& descrizione, ib::Database& archivio,
                      ib::Transaction& lavoro)
{
    ib::Query q(archivio, &lavoro);
    for (const IstruzioneSql& righe : istruzioniCreazioneIB(descrizione, descrizione.nomeTabella)) {
        q.close();
        q.sql = righe;
        q.execSql();
    }
    q.close();
    // The server sees a new table's columns only after the creation is committed.
    lavoro.commit();
    ib::Table tabella(archivio, &lavoro);
    tabella.setTableName(descrizione.nomeTabella);
    tabella.open();
    for (const Record& record : recordDi(descrizione.nomeTabella)) {
        tabella.append();
        for (size_t i = 0; i < record.size(); ++i)
            if (!record[i].empty())
                tabella.field(i).setString(record[i]);
        tabella.post();
    }
    tabella.close();
    lavoro.commit();
}

}  // namespace

void CreaTabelleDemo(const std::string& lavoroDir, const std::string& archivio)
{
    ib::Database db;
    db.setDatabaseName(archivio);
    db.params = parametriCreazioneIb();
    db.sqlDialect = 3;
    db.createDatabase();
    ib::Transaction lavoro(&db);
    for (const RigheTabella& righe : tabelleDemo()) {
        const DescrizioneTabella descrizione = descriviTabella(righe.tabella, righe.campi, righe.indici);
        creaInParadox(descrizione, lavoroDir + righe.tabella.PathParziale);
        creaNellArchivio(descrizione, db, lavoro);
    }
    db.disconnect();
}

}  // namespace korva
