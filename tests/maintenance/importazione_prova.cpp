#include "importazione_prova.h"

#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table.h"

#include <gtest/gtest.h>

namespace korva::test {

std::vector<std::string> VistaRegistrata::di(const std::string& tipo) const
{
    std::vector<std::string> scelti;
    for (const std::string& e : eventi)
        if (e.rfind(std::string(tipo).append(" "), 0) == 0)
            scelti.push_back(e.substr(tipo.size() + 1));
    return scelti;
}

ImportazioneProva::ImportazioneProva(const std::vector<RigheTabella>& tabelle)
{
    dizionario(tabelle);
    // The archive exists before the runs: their conversation is the import's only.
    io.risposte({Risposta::Si});
    tabForm->ConnettiDatabaseIB();
    tabForm->IBDatabase1.disconnect();
}

void ImportazioneProva::tabellaParadox(const std::string& nome, std::int64_t record,
                                       const std::function<void(paradox::Table&, std::int64_t)>& riempi)
{
    GestioneTabelle g(io, *tabForm, tabForm->TracciatiDir1);
    ASSERT_TRUE(g.vaiA(nome));
    ASSERT_TRUE(g.CreaTabCorrente());
    g.ImpostaPercorsoTabellaCorrente();
    paradox::Table t;
    t.setDatabaseName(g.DirTabellaCorrente);
    t.setTableName(g.FileTabellaCorrente);
    t.open();
    t.beginBatch();
    for (std::int64_t i = 0; i < record; ++i) {
        t.append();
        riempi(t, i);
        t.post();
    }
    t.endBatch();
}

void ImportazioneProva::sql(const std::vector<std::string>& istruzioni)
{
    ib::Transaction t;
    ib::Database db;
    db.setDefaultTransaction(&t);
    db.setDatabaseName(tabForm->Archivio);
    db.params = parametriConnessioneIb();
    db.connect();
    for (const std::string& s : istruzioni) {
        ib::Query q(db);
        q.sql = {s};
        q.execSql();
    }
    t.commit();
}

std::string ImportazioneProva::valore(const std::string& select)
{
    ib::Transaction t;
    ib::Database db;
    db.setDefaultTransaction(&t);
    db.setDatabaseName(tabForm->Archivio);
    db.params = parametriConnessioneIb();
    db.connect();
    ib::Query q(db);
    q.sql = {select};
    q.open();
    const std::string v = q.eof() || q.field(0).isNull() ? "" : q.field(0).asString();
    q.close();
    t.commit();
    return v;
}

std::int64_t ImportazioneProva::righe(const std::string& tabella)
{
    return std::stoll(valore(std::string("SELECT COUNT(*) FROM ").append(tabella)));
}

std::int64_t ImportazioneProva::recordParadox(const std::string& cartella, const std::string& file)
{
    paradox::Table t;
    t.setDatabaseName(cartella);
    t.setTableName(file);
    t.open();
    return t.recordCount();
}

EsitoImportazione ImportazioneProva::importa(DirezioneImportazione direzione, const std::vector<std::string>& righe,
                                             std::vector<bool> spuntate)
{
    if (spuntate.empty())
        spuntate.assign(righe.size(), true);
    importazione = std::make_unique<Importazione>(io2, *tabForm, tabForm->TracciatiDir1, direzione, vista);
    io2.importazione = importazione.get();
    return importazione->importa(righe, [&](std::size_t i) { return spuntate[i]; });
}

}  // namespace korva::test
