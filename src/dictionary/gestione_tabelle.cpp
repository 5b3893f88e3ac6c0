#include "dictionary/gestione_tabelle.h"

#include "base/errore.h"
#include "dictionary/tabelle_dizionario.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "shell/tabform.h"

namespace korva {

GestioneTabelle::GestioneTabelle(Interazione& interazione, TTabForm& tabForm, std::string tracciatiDir,
                                 paradox::Session& sessione)
    : Table1(sessione),
      TabCampi(sessione),
      TabIndicic(sessione),
      TabCorrente(sessione),
      interazione_(interazione),
      tabForm_(tabForm),
      sessione_(sessione),
      tracciatiDir_(std::move(tracciatiDir))
{
    NomeTabellaCorrente.clear();
    DirScelta = tabForm_.LavoroDir;
    const auto korva = posizioneDizionario(tracciatiDir_, TabellaDizionario::Korva);
    const auto campi = posizioneDizionario(tracciatiDir_, TabellaDizionario::Campi);
    const auto indicic = posizioneDizionario(tracciatiDir_, TabellaDizionario::Indicic);
    apri(Table1, korva.cartella, korva.nome);
    apri(TabCampi, campi.cartella, campi.nome);
    apri(TabIndicic, indicic.cartella, indicic.nome);
    Table1.setOnChange([this] { rigaCambiata(); });
    Table1.last();
}

GestioneTabelle::~GestioneTabelle()
{
    Table1.setOnChange({});
}

void GestioneTabelle::apri(paradox::Table& t, const std::string& cartella, const std::string& nome)
{
    t.close();
    t.setDatabaseName(cartella);
    t.setTableName(nome);
    t.open();
}

bool GestioneTabelle::modoInterbase() const
{
    return tabForm_.modoInterbase();
}

// ---- the detail link --------------------------------------------------------------------------

void GestioneTabelle::allineaDettagli()
{
    const std::string nome = EditTabellaCorrente();
    for (paradox::Table* dettaglio : {&TabCampi, &TabIndicic}) {
        if (!dettaglio->active())
            continue;
        // A detail row being written keeps its place; the range follows at the next read.
        if (dettaglio->state() != paradox::DataSetState::Browse)
            continue;
        if (auto chiave = chiaveNomeTabella(nome))
            dettaglio->setRange({*chiave}, {*chiave});
    }
}

void GestioneTabelle::rigaCambiata()
{
    allineaDettagli();
    if (onCambioRiga_)
        onCambioRiga_();
}

// ---- the current row --------------------------------------------------------------------------

bool GestioneTabelle::dizionarioVuoto()
{
    return Table1.recordCount() == 0;
}

std::optional<DefTabella> GestioneTabelle::rigaCorrente()
{
    if (!Table1.active() || dizionarioVuoto())
        return std::nullopt;
    return leggiDefTabella(Table1);
}

std::string GestioneTabelle::EditTabellaCorrente()
{
    auto riga = rigaCorrente();
    return riga ? riga->NomeTabella : std::string();
}

std::vector<DefCampo> GestioneTabelle::campiCorrenti()
{
    allineaDettagli();
    auto righe = righeCampi(TabCampi);
    TabCampi.first();
    return righe;
}

std::vector<DefIndiceComposto> GestioneTabelle::indiciCorrenti()
{
    allineaDettagli();
    auto righe = righeIndici(TabIndicic);
    TabIndicic.first();
    return righe;
}

DescrizioneTabella GestioneTabelle::descrizioneCorrente(LetturaTipo per)
{
    DefTabella riga = rigaCorrente().value_or(DefTabella{});
    NomeTabellaCorrente = riga.NomeTabella;
    return descriviTabella(riga, campiCorrenti(), indiciCorrenti(), per);
}

std::vector<DefTabella> GestioneTabelle::elencoTabelle()
{
    paradox::Table lettura(sessione_);
    lettura.setDatabaseName(Table1.databaseName());
    lettura.setTableName(Table1.tableName());
    lettura.open();
    return righeTabelle(lettura);
}

// ---- choosing the current row -------------------------------------------------------------------

void GestioneTabelle::primo()
{
    Table1.first();
}

void GestioneTabelle::precedente()
{
    Table1.prior();
}

void GestioneTabelle::successivo()
{
    Table1.next();
}

void GestioneTabelle::ultimo()
{
    Table1.last();
}

bool GestioneTabelle::vaiA(const std::string& nomeTabella)
{
    auto chiave = chiaveNomeTabella(nomeTabella);
    if (!chiave || dizionarioVuoto())
        return false;
    return Table1.findKey({*chiave});
}

void GestioneTabelle::perOgniTabella(const std::function<void()>& passo, bool sospendiVista)
{
    paradox::Bookmark segnato = Table1.getBookmark();
    if (sospendiVista)
        Table1.disableControls();
    try {
        for (Table1.first(); !Table1.eof(); Table1.next())
            passo();
        if (segnato.valid)
            Table1.gotoBookmark(segnato);
    } catch (...) {
        if (sospendiVista)
            Table1.enableControls();
        throw;
    }
    Table1.freeBookmark(segnato);
    if (sospendiVista)
        Table1.enableControls();
}

// ---- conditions, busy indicator, paths ------------------------------------------------------------

bool GestioneTabelle::TabellePresenti()
{
    if (!dizionarioVuoto())
        return true;
    interazione_.messaggio(kNessunaTabellaPresente);
    return false;
}

bool GestioneTabelle::Precondizioni()
{
    if (!TabellePresenti())
        return false;
    if (!EditTabellaCorrente().empty())
        return true;
    interazione_.messaggio(kNessunaTabellaSelezionata);
    return false;
}

void GestioneTabelle::InizioElaborazione()
{
    interazione_.inizioElaborazione();
}

void GestioneTabelle::FineElaborazione()
{
    interazione_.fineElaborazione();
}

std::string GestioneTabelle::ImpostaPercorsoTabellaCorrente()
{
    const DefTabella riga = rigaCorrente().value_or(DefTabella{});
    DirTabellaCorrente = tabForm_.LavoroDir + riga.PathParziale;
    FileTabellaCorrente = riga.NomeTabella + ".DB";
    return DirTabellaCorrente + FileTabellaCorrente;
}

std::optional<DefCampo> GestioneTabelle::CercaCampo(const std::string& nomeTabella, int numeroCampo)
{
    auto chiave = chiaveNomeTabella(nomeTabella);
    if (!chiave)
        return std::nullopt;
    paradox::Table TabellaCampiCerca(sessione_);
    TabellaCampiCerca.setDatabaseName(TabCampi.databaseName());
    TabellaCampiCerca.setTableName(TabCampi.tableName());
    TabellaCampiCerca.open();
    if (!TabellaCampiCerca.findKey({*chiave, std::to_string(numeroCampo)}))
        return std::nullopt;
    return leggiDefCampo(TabellaCampiCerca);
}

// ---- removal -------------------------------------------------------------------------------------

bool GestioneTabelle::RimuoviTabella()
{
    if (!TabellePresenti())
        return false;
    // A name that cannot be looked up in CAMPI and INDICIC leaves the rows of the table seen
    // before in view: those must never be the ones removed.
    const std::string nome = EditTabellaCorrente();
    if (!chiaveNomeTabella(nome))
        throw Error("Impossibile rimuovere la tabella \"" + nome +
                    "\": il nome non si può cercare nei campi e negli indici del dizionario");
    if (interazione_.domanda(kDomandaRimozione) == Risposta::No)
        return false;
    allineaDettagli();
    for (paradox::Table* dettaglio : {&TabIndicic, &TabCampi}) {
        for (;;) {
            dettaglio->first();
            if (dettaglio->eof())
                break;
            dettaglio->deleteRecord();
        }
    }
    Table1.deleteRecord();
    return true;
}

// ---- creation ------------------------------------------------------------------------------------

bool GestioneTabelle::CreaTabella()
{
    InizioElaborazione();
    bool creata = false;
    if (modoInterbase()) {
        // The command's own unit of work: nothing is left pending in IBTransaction1.
        ib::TransactionScope comando(tabForm_.IBTransaction1);
        tabForm_.ConnettiDatabaseIB();
        creata = tabForm_.IBDatabase1.connected() && CreaTabIBCorrente();
        comando.commit();
    } else {
        creata = CreaTabCorrente();
    }
    if (creata)
        interazione_.messaggio(kTabellaCreata);
    FineElaborazione();
    return creata;
}

void GestioneTabelle::CreaTutto()
{
    InizioElaborazione();
    ib::TransactionScope comando(tabForm_.IBTransaction1);
    perOgniTabella([&] {
        if (!modoInterbase()) {
            CreaTabCorrente();
            return;
        }
        tabForm_.ConnettiDatabaseIB();
        if (tabForm_.IBDatabase1.connected())
            CreaTabIBCorrente();
    });
    comando.commit();
    interazione_.messaggio(kCreazioneTutteTerminata);
    FineElaborazione();
}

}  // namespace korva
