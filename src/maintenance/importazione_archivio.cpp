// From Paradox to the archive: each record staged in IMPTMP, then moved by INSERT ... SELECT
// every 10,000 records and at the end of the table, each move committed. The columns are
// named on both sides: a destination whose columns stand in another order still gets each
// value in its own column.

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/sql_creazione.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table_file.h"
#include "maintenance/importazione.h"
#include "maintenance/valore_importato.h"
#include "shell/tabform.h"

namespace korva {
namespace {

// A column of the staging table and the source field that fills it (-1: none).
struct Colonna {
    std::string nome;
    bool obbligatoria = false;
    int sorgente = -1;
};

bool archivioVuoto(TTabForm& t, const std::string& tabella)
{
    ib::TransactionScope lettura(t.IBTransaction1);
    ib::Query q(t.IBDatabase1, &t.IBTransaction1);
    q.sql = {std::string("SELECT FIRST 1 1 FROM ").append(tabella)};
    q.open();
    const bool vuoto = q.eof();
    q.close();
    lettura.commit();
    return vuoto;
}

void eseguiConfermato(TTabForm& t, const std::string& istruzione)
{
    ib::TransactionScope lavoro(t.IBTransaction1);
    ib::Query q(t.IBDatabase1, &t.IBTransaction1);
    q.sql = {istruzione};
    q.execSql();
    q.close();
    lavoro.commit();
}

bool transitoEsiste(TTabForm& t)
{
    ib::TransactionScope lettura(t.IBTransaction1);
    const bool esiste = ib::relazioneEsiste(t.IBDatabase1, kTabellaTransito, &t.IBTransaction1);
    lettura.commit();
    return esiste;
}

// The staging table with the columns of the current dictionary row, as a temporary table of
// this connection: its rows never reach the database file (no forced writes for records that
// are moved at once), no other connection sees them, and a connection that ends takes them
// away. No key and no index: the destination checks the records when they are moved.
void creaTransito(GestioneTabelle& g, TTabForm& t)
{
    g.richiediDettagli();
    IstruzioneSql crea = istruzioniCreazioneIB(g.descrizioneCorrente(LetturaTipo::Archivio), kTabellaTransito).front();
    crea.front() = std::string("CREATE GLOBAL TEMPORARY TABLE ").append(kTabellaTransito).append(" (");
    crea.push_back("ON COMMIT PRESERVE ROWS");
    ib::TransactionScope lavoro(t.IBTransaction1);
    ib::Query q(t.IBDatabase1, &t.IBTransaction1);
    q.sql = crea;
    q.execSql();
    q.close();
    lavoro.commit();
}

}  // namespace

void Importazione::fallita(const std::string& nome, const std::exception& e) const
{
    throw Error(std::string(e.what())
                    .append(". Importazione interrotta: della tabella ")
                    .append(nome)
                    .append(" restano confermati nella destinazione ")
                    .append(std::to_string(confermati_))
                    .append(" record"));
}

void Importazione::daParadox(const std::vector<std::string>& righe,
                             const std::function<bool(std::size_t)>& spuntata, int spuntate,
                             EsitoImportazione& esito)
{
    TTabForm& t = tabForm_;
    t.IBDatabase1.disconnect();
    t.IBTransaction1.deactivate();
    t.IBTransaction1.params = {"write", "consistency"};
    // Whatever happens, the connection ends as the run leaves it: closed, nothing pending, the
    // transaction without the run's parameters.
    struct Ripristino {
        TTabForm& t;
        ~Ripristino()
        {
            t.IBDatabase1.disconnect();
            t.IBTransaction1.deactivate();
            t.IBTransaction1.params.clear();
        }
    } ripristino{t};
    t.ConnettiDatabaseIB();
    if (!t.IBDatabase1.connected())
        return;
    try {
        GestioneTabelle g(interazione_, t, tracciatiDir_, sessione_);
        vista_.barraTabella(0);
        vista_.barraTabelle(0);
        int fatte = 0;
        for (std::size_t i = 0; i < righe.size(); ++i) {
            if (!spuntata(i))
                continue;
            const std::string& nome = righe[i];
            if (g.vaiA(nome) && preparaArchivio(g, nome)) {
                copiaVersoArchivio(g, nome);
                ++esito.importate;
            } else {
                ++esito.saltate;
            }
            tabellaFatta(fatte, spuntate);
        }
    } catch (...) {
        // What was done since the last move is undone; the staged rows go with the connection.
        t.IBTransaction1.deactivate();
        throw;
    }
    interazione_.messaggio(kImportazioneTerminata);
    esito.eseguita = true;
}

bool Importazione::preparaArchivio(GestioneTabelle& g, const std::string& nome)
{
    bool creata = true;
    if (!g.TestTabIb(nome))
        creata = g.CreaTabIBCorrente();
    if (creata && !archivioVuoto(tabForm_, ib::maiuscole(nome))) {
        interazione_.messaggio(kDestinazioneNonVuota);
        return false;
    }
    if (creata) {
        if (transitoEsiste(tabForm_))
            eseguiConfermato(tabForm_, std::string("DROP TABLE ").append(kTabellaTransito));
        creaTransito(g, tabForm_);
    }
    if (!creata) {
        interazione_.messaggio(testoDestinazioneNonCreata(nome));
        return false;
    }
    return true;
}

void Importazione::copiaVersoArchivio(GestioneTabelle& g, const std::string& nome)
{
    TTabForm& t = tabForm_;
    g.ImpostaPercorsoTabellaCorrente();
    paradox::Table sorgente(sessione_);
    sorgente.setDatabaseName(g.DirTabellaCorrente);
    sorgente.setTableName(g.FileTabellaCorrente);
    sorgente.open();
    const int codicePagina = sorgente.file().codePage();

    std::vector<Colonna> colonne;
    std::string elenco;
    std::string valori;
    {
        ib::TransactionScope lettura(t.IBTransaction1);
        for (const ib::FieldDef& c : ib::leggiCampi(t.IBDatabase1, kTabellaTransito, &t.IBTransaction1)) {
            colonne.push_back({c.name, c.required, -1});
            elenco.append(elenco.empty() ? "" : ", ").append(ib::nomeTraVirgolette(c.name));
            valori.append(valori.empty() ? "?" : ", ?");
        }
        lettura.commit();
    }
    for (int i = 0; i < sorgente.fieldCount(); ++i) {
        const std::string campo = sorgente.field(i).name();
        bool trovata = false;
        for (Colonna& c : colonne)
            if (c.nome == ib::maiuscole(campo)) {
                c.sorgente = i;
                trovata = true;
            }
        if (!trovata)
            throw Error(std::string("Il campo ")
                            .append(campo)
                            .append(" della tabella ")
                            .append(nome)
                            .append(" non ha una colonna nella tabella destinazione"));
    }

    ib::Query inserimento(t.IBDatabase1, &t.IBTransaction1);
    inserimento.sql = {std::string("INSERT INTO ").append(kTabellaTransito).append(" (").append(elenco).append(")"),
                       std::string("VALUES (").append(valori).append(")")};
    inizioTabella(nome);
    const std::int64_t totale = sorgente.recordCount();
    std::int64_t n = 0;
    try {
        inserimento.prepare();
        PosizioneValore pos{nome, 0, {}};
        for (sorgente.first(); !sorgente.eof() && !stop_; sorgente.next()) {
            pos.record = n + 1;
            for (std::size_t j = 0; j < colonne.size(); ++j) {
                const Colonna& c = colonne[j];
                pos.campo = c.nome;
                const ValoreImportato v = c.sorgente < 0 ? ValoreImportato{}
                                                         : leggiParadox(sorgente.field(c.sorgente), codicePagina, pos);
                scriviIb(inserimento.param(j), c.obbligatoria, v, pos);
            }
            inserimento.execSql();
            ++n;
            if (n % kRecordPerTrasferimento == 0) {
                vista_.etichettaRecord(std::string("Record importati: ").append(std::to_string(n)));
                trasferisci(ib::maiuscole(nome), elenco, n);
            }
            avanzamento(nome, n, totale);
        }
        trasferisci(ib::maiuscole(nome), elenco, n);
    } catch (const std::exception& e) {
        fallita(nome, e);
    }
}

void Importazione::trasferisci(const std::string& destinazione, const std::string& colonne, std::int64_t n)
{
    ib::Transaction& tr = tabForm_.IBTransaction1;
    ib::Database& db = tabForm_.IBDatabase1;
    if (tr.inTransaction())
        tr.commit();
    ib::Query q(db, &tr);
    q.sql = {std::string("INSERT INTO ").append(destinazione).append(" (").append(colonne).append(")"),
             std::string("SELECT ").append(colonne).append(" FROM ").append(kTabellaTransito)};
    q.execSql();
    q.close();
    q.sql = {std::string("DELETE FROM ").append(kTabellaTransito)};
    q.execSql();
    q.close();
    if (tr.inTransaction())
        tr.commit();
    confermati_ = n;
}

}  // namespace korva
