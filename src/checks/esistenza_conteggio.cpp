#include "checks/esistenza_conteggio.h"

#include "base/percorsi.h"
#include "engines/interbase/error.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "shell/tabform.h"

#include <filesystem>

namespace korva {

namespace {

// The Paradox table of the current row where the joined path names it (LavoroDir +
// PathParziale + NomeTabella + ".DB", every component found without regard to case);
// DirTabellaCorrente and FileTabellaCorrente are set on the way. Nothing when there is no
// such file: a PathParziale without its final separator runs into the file name.
std::optional<std::string> fileTabellaCorrente(GestioneTabelle& g)
{
    const std::string percorso = g.ImpostaPercorsoTabellaCorrente();
    if (!esisteFile(percorso))
        return std::nullopt;
    return risolviPercorso(percorso);
}

// TabCorrente closed and pointed at the file, shared.
void puntaTabCorrente(GestioneTabelle& g, const std::string& file)
{
    const std::filesystem::path p(file);
    g.TabCorrente.close();
    g.TabCorrente.setExclusive(false);
    g.TabCorrente.setDatabaseName(p.parent_path().string());
    g.TabCorrente.setTableName(p.filename().string());
}

bool azzeraParadox(GestioneTabelle& g)
{
    const auto file = fileTabellaCorrente(g);
    if (!file) {
        g.interazione().messaggio(kTabellaNonEsiste);
        return false;
    }
    puntaTabCorrente(g, *file);
    g.TabCorrente.emptyTable();
    return true;
}

bool azzeraArchivio(GestioneTabelle& g)
{
    const std::string nome = g.EditTabellaCorrente();
    if (!g.TestTabIb(nome)) {
        g.interazione().messaggio(kTabellaNonEsiste);
        return false;
    }
    ib::verificaIdentificatore(nome, "tabella");
    TTabForm& t = g.tabForm();
    // Committed here: the DELETE is never left for a later command's commit. A row another
    // program is changing stops it after a short wait, rolled back.
    try {
        ib::TransactionScope lavoro(t.IBTransaction1);
        ib::Query& q = g.IBQuery1();
        q.close();
        q.sql.clear();
        q.sql.push_back("DELETE FROM " + nome);
        q.execSql();
        // A prepared statement would keep the table in use.
        q.close();
        lavoro.commit();
    } catch (const ib::Error& e) {
        g.IBQuery1().close();
        if (!e.bloccoAltrui())
            throw;
        throw Error("Azzeramento della tabella " + nome + " non eseguito: un altro programma sta modificando "
                    "le sue righe o la tiene riservata; la tabella è rimasta com'era (" + std::string(e.what()) + ")");
    }
    return true;
}

std::optional<std::int64_t> contaParadox(GestioneTabelle& g)
{
    const auto file = fileTabellaCorrente(g);
    if (!file) {
        g.interazione().messaggio(kTabellaNonEsiste);
        return std::nullopt;
    }
    puntaTabCorrente(g, *file);
    std::int64_t n = 0;
    try {
        g.TabCorrente.open();
        n = g.TabCorrente.recordCount();
    } catch (...) {
        g.TabCorrente.close();
        throw;
    }
    g.TabCorrente.close();
    return n;
}

std::optional<std::int64_t> contaArchivio(GestioneTabelle& g)
{
    TTabForm& t = g.tabForm();
    t.ConnettiDatabaseIB();
    // Declined to create a missing archive: nothing to count in.
    if (!t.IBDatabase1.connected())
        return std::nullopt;
    ib::TransactionScope lettura(t.IBTransaction1);
    ib::Table tabella(t.IBDatabase1, &t.IBTransaction1);
    tabella.setTableName(ib::nomeTabellaArchivio(g.EditTabellaCorrente()));
    // The catalogue decides whether it exists; a table there that cannot be read is an Error.
    const bool esiste = tabella.exists();
    const std::int64_t n = esiste ? tabella.contaRighe() : 0;
    lettura.commit();
    if (!esiste) {
        g.interazione().messaggio(kTabellaNonEsiste);
        return std::nullopt;
    }
    return n;
}

}  // namespace

bool TestEsistenza(GestioneTabelle& g)
{
    if (!g.Precondizioni())
        return false;
    const bool esiste = g.modoInterbase() ? g.TestTabIb(g.EditTabellaCorrente()) : fileTabellaCorrente(g).has_value();
    g.interazione().messaggio(esiste ? kTabellaEsiste : kTabellaNonEsiste);
    return esiste;
}

bool Azzera(GestioneTabelle& g)
{
    g.InizioElaborazione();
    bool riuscito = false;
    if (g.Precondizioni()) {
        if (g.interazione().domanda(kDomandaAzzeramento) == Risposta::No)
            riuscito = true;
        else
            riuscito = g.modoInterbase() ? azzeraArchivio(g) : azzeraParadox(g);
    }
    g.FineElaborazione();
    return riuscito;
}

std::optional<std::int64_t> NumeroRecord(GestioneTabelle& g)
{
    g.InizioElaborazione();
    std::optional<std::int64_t> n;
    if (g.Precondizioni()) {
        n = g.modoInterbase() ? contaArchivio(g) : contaParadox(g);
        if (n)
            g.interazione().messaggio(kNumeroRecord + std::to_string(*n));
    }
    g.FineElaborazione();
    return n;
}

}  // namespace korva
