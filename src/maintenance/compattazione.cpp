#include "maintenance/compattazione.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "engines/paradox/table.h"
#include "maintenance/cartelle.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {

namespace {

// The current row's table packed; its sizes.
paradox::PackResult compattaCorrente(GestioneTabelle& g)
{
    g.ImpostaPercorsoTabellaCorrente();
    const std::string nome = g.EditTabellaCorrente();
    paradox::Table t(g.sessione());
    t.setDatabaseName(g.DirTabellaCorrente);
    t.setTableName(g.FileTabellaCorrente);
    return t.packTable([&](std::uint32_t fatti, std::uint32_t totale) {
        g.interazione().progresso("Compattazione " + nome, fatti, totale);
    });
}

bool tabellaCorrenteEsiste(GestioneTabelle& g)
{
    g.ImpostaPercorsoTabellaCorrente();
    paradox::Table t(g.sessione());
    t.setDatabaseName(g.DirTabellaCorrente);
    t.setTableName(g.FileTabellaCorrente);
    return t.exists();
}

std::string daA(const paradox::PackResult& r)
{
    return "da " + testoByte(r.sizeBefore) + " a " + testoByte(r.sizeAfter);
}

}  // namespace

std::string domandaCompattazioneTabella(const std::string& nome)
{
    return "Vuoi procedere con la compattazione della tabella " + nome + "?";
}

bool CompattaArchivio(GestioneTabelle& g, FormaCompattazione forma)
{
    TTabForm& t = g.tabForm();
    Interazione& io = g.interazione();
    if (io.domanda(kDomandaCompattazioneArchivio) != Risposta::Si)
        return false;
    Compattazione c;
    c.cartellaBackup = richiediDirectory(t, DirectoryLavoro::BackupRiparazioni);
    c.forma = forma;
    c.attesa = [&] { io.elaboraEventi(); };
    t.ConnettiDatabaseIB();
    if (!t.IBDatabase1.connected())
        return false;
    c.parametri = t.IBDatabase1.params;
    c.nome = t.IBDatabase1.databaseName();
    t.IBDatabase1.disconnect();
    const EsitoCompattazione esito = compattaArchivio(c);
    std::string testo = kCompattazioneTerminata;
    bool nienteDiPerso = true;
    for (const std::string& tabella : esito.senzaDati) {
        // The verification's own table is only ever empty: nothing of it was lost.
        if (tabella == kNomeTabellaConfronto) {
            testo += std::string("\nLa tabella di confronto ") + kNomeTabellaConfronto +
                     ", lasciata senza pagine da una verifica interrotta, è stata ripristinata vuota";
            continue;
        }
        testo += "\nLa tabella " + tabella +
                 " era danneggiata (una creazione o un'eliminazione interrotta ne aveva lasciato solo la "
                 "descrizione): le righe che poteva contenere non si potevano leggere ed è stata ripristinata vuota";
        nienteDiPerso = false;
    }
    io.messaggio(testo);
    return nienteDiPerso;
}

bool CompattaTabCorrente(GestioneTabelle& g)
{
    g.InizioElaborazione();
    bool fatto = false;
    if (g.modoInterbase()) {
        fatto = CompattaArchivio(g);
    } else if (g.Precondizioni() &&
               g.interazione().domanda(domandaCompattazioneTabella(g.EditTabellaCorrente())) == Risposta::Si) {
        const auto r = compattaCorrente(g);
        g.interazione().messaggio("Compattazione della tabella " + g.EditTabellaCorrente() +
                                  " terminata: " + daA(r));
        fatto = true;
    }
    g.FineElaborazione();
    return fatto;
}

bool CompattaTutteLeTabelle(GestioneTabelle& g)
{
    g.InizioElaborazione();
    bool riuscita = false;
    if (g.modoInterbase()) {
        riuscita = CompattaArchivio(g);
    } else if (g.TabellePresenti() && g.interazione().domanda(kDomandaCompattazioneTutte) == Risposta::Si) {
        paradox::PackResult totale;
        int compattate = 0;
        std::string falliti;
        g.perOgniTabella(
            [&] {
                const std::string nome = g.EditTabellaCorrente();
                try {
                    if (nome.empty() || !tabellaCorrenteEsiste(g))
                        return;
                    const auto r = compattaCorrente(g);
                    totale.sizeBefore += r.sizeBefore;
                    totale.sizeAfter += r.sizeAfter;
                    ++compattate;
                } catch (const Error& e) {
                    falliti += "\n" + nome + ": " + e.what();
                }
            },
            true);
        std::string testo = "Compattazione di tutte le tabelle terminata: " + std::to_string(compattate) +
                            (compattate == 1 ? " tabella, " : " tabelle, ") + daA(totale);
        if (!falliti.empty())
            testo += "\nNon compattate:" + falliti;
        g.interazione().messaggio(testo);
        riuscita = falliti.empty();
    }
    g.FineElaborazione();
    return riuscita;
}

}  // namespace korva
