// From the archive to Paradox: the rows appended in journaled batches of 10,000 records, so
// that a stopped or failed run leaves whole batches only.

#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/identifiers.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "engines/paradox/table_file.h"
#include "maintenance/importazione.h"
#include "maintenance/valore_importato.h"
#include "shell/tabform.h"

namespace korva {
namespace {

// The reading of a table ends with it: nothing stays pending in the holder's transaction.
struct FineLettura {
    ib::Transaction& t;
    ~FineLettura() { t.deactivate(); }
};

}  // namespace

void Importazione::daInterbase(const std::vector<std::string>& righe,
                               const std::function<bool(std::size_t)>& spuntata, int spuntate,
                               EsitoImportazione& esito)
{
    TTabForm& t = tabForm_;
    t.ConnettiDatabaseIB();
    if (!t.IBDatabase1.connected())
        return;
    {
        GestioneTabelle g(interazione_, t, tracciatiDir_, sessione_);
        vista_.barraTabella(0);
        vista_.barraTabelle(0);
        int fatte = 0;
        for (std::size_t i = 0; i < righe.size(); ++i) {
            if (!spuntata(i))
                continue;
            if (g.vaiA(righe[i]) && copiaVersoParadox(g, righe[i]))
                ++esito.importate;
            else
                ++esito.saltate;
            tabellaFatta(fatte, spuntate);
        }
    }
    interazione_.messaggio(kImportazioneTerminata);
    esito.eseguita = true;
}

bool Importazione::copiaVersoParadox(GestioneTabelle& g, const std::string& nome)
{
    FineLettura fine{tabForm_.IBTransaction1};
    bool creata = true;
    g.ImpostaPercorsoTabellaCorrente();
    {
        paradox::Table esistente(sessione_);
        esistente.setDatabaseName(g.DirTabellaCorrente);
        esistente.setTableName(g.FileTabellaCorrente);
        if (!esistente.exists())
            creata = g.CreaTabCorrente();
    }
    if (!creata) {
        interazione_.messaggio(testoDestinazioneNonCreata(nome));
        return false;
    }
    g.ImpostaPercorsoTabellaCorrente();

    ib::Table sorgente(tabForm_.IBDatabase1, &tabForm_.IBTransaction1);
    sorgente.setTableName(ib::maiuscole(nome));
    sorgente.open();
    paradox::Table destinazione(sessione_);
    destinazione.setDatabaseName(g.DirTabellaCorrente);
    destinazione.setTableName(g.FileTabellaCorrente);
    destinazione.open();
    if (!destinazione.isEmpty()) {
        interazione_.messaggio(kDestinazioneNonVuota);
        return false;
    }
    const int codicePagina = destinazione.file().codePage();

    // For each column of the source, its field in the destination.
    std::vector<int> campi;
    for (std::size_t i = 0; i < sorgente.fieldCount(); ++i) {
        const std::string& colonna = sorgente.field(i).name();
        int trovato = -1;
        for (int k = 0; k < destinazione.fieldCount(); ++k)
            if (ib::maiuscole(destinazione.field(k).name()) == ib::maiuscole(colonna))
                trovato = k;
        if (trovato < 0)
            throw Error(std::string("La colonna ")
                            .append(colonna)
                            .append(" della tabella ")
                            .append(nome)
                            .append(" non ha un campo nella tabella destinazione"));
        campi.push_back(trovato);
    }

    const std::int64_t totale = sorgente.contaRighe();
    inizioTabella(nome);
    std::int64_t n = 0;
    destinazione.beginBatch();
    try {
        PosizioneValore pos{nome, 0, {}};
        for (; !sorgente.eof() && !stop_; sorgente.next()) {
            pos.record = n + 1;
            destinazione.append();
            for (std::size_t i = 0; i < campi.size(); ++i) {
                paradox::Field campo = destinazione.field(campi[i]);
                pos.campo = campo.name();
                scriviParadox(campo, campo.required(), codicePagina, leggiIb(sorgente.field(i), pos), pos);
            }
            destinazione.post();
            ++n;
            if (n % kRecordPerTrasferimento == 0) {
                destinazione.endBatch();
                confermati_ = n;
                vista_.etichettaRecord(std::string("Record importati: ").append(std::to_string(n)));
                destinazione.beginBatch();
            }
            avanzamento(nome, n, totale);
        }
        destinazione.endBatch();
        confermati_ = n;
    } catch (const std::exception& e) {
        try {
            destinazione.cancelBatch();
        } catch (const std::exception&) {
            // The batch's journal stays on disk and the next opening of the table undoes it.
        }
        fallita(nome, e);
    }
    return true;
}

}  // namespace korva
