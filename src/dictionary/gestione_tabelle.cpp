#include "dictionary/gestione_tabelle.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/cartella_tabella.h"
#include "dictionary/tabelle_dizionario.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {
namespace {

// A Paradox table of the dictionary lies in the folder of its row: its name is a file name,
// never a way into another folder.
void richiediNomeFile(const std::string& nome)
{
    if (!nomeFileSemplice(nome))
        throw Error("Nome di tabella non valido: \"" + nome +
                    "\" (dev'essere un nome di file, senza \"/\", \"\\\", \"..\" o caratteri nulli)");
}

}  // namespace

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
        if (nomeTabellaAmmesso(*dettaglio, nome))
            dettaglio->setRange({nome}, {nome});
        else
            // No row can hold this name: the rows of the table seen before must not stay in
            // view. No key lies between "b" and "a".
            dettaglio->setRange({"b"}, {"a"});
    }
}

void GestioneTabelle::richiediDettagli()
{
    const std::string nome = EditTabellaCorrente();
    if (nomeTabellaAmmesso(TabCampi, nome) && nomeTabellaAmmesso(TabIndicic, nome))
        return;
    throw Error("Impossibile usare la tabella \"" + nome +
                "\": il nome è troppo lungo o ha caratteri che CAMPI.DB e INDICIC.DB non ammettono, "
                "quindi i suoi campi e indici non si possono cercare nel dizionario");
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
    richiediDettagli();
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
    // KORVA.DB's own field decides: a dictionary written by another tool may hold names
    // longer than those of CAMPI.DB and INDICIC.DB.
    if (dizionarioVuoto() || !nomeTabellaAmmesso(Table1, nomeTabella))
        return false;
    return Table1.findKey({nomeTabella});
}

void GestioneTabelle::perOgniTabella(const std::function<void()>& passo, bool sospendiVista)
{
    perOgniTabellaFinche(
        [&] {
            passo();
            return true;
        },
        sospendiVista);
}

bool GestioneTabelle::perOgniTabellaFinche(const std::function<bool()>& passo, bool sospendiVista)
{
    paradox::Bookmark segnato = Table1.getBookmark();
    if (sospendiVista)
        Table1.disableControls();
    bool finito = true;
    try {
        for (Table1.first(); !Table1.eof(); Table1.next())
            if (!(finito = passo()))
                break;
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
    return finito;
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
    const std::string& lavoroDir = richiediDirectory(tabForm_, DirectoryLavoro::Lavoro);
    richiediNomeFile(riga.NomeTabella);
    richiediCartellaNellaDirectoryDiLavoro(lavoroDir, riga.PathParziale, riga.NomeTabella);
    DirTabellaCorrente = lavoroDir + riga.PathParziale;
    FileTabellaCorrente = riga.NomeTabella + ".DB";
    return DirTabellaCorrente + FileTabellaCorrente;
}

std::optional<DefCampo> GestioneTabelle::CercaCampo(const std::string& nomeTabella, int numeroCampo)
{
    paradox::Table TabellaCampiCerca(sessione_);
    TabellaCampiCerca.setDatabaseName(TabCampi.databaseName());
    TabellaCampiCerca.setTableName(TabCampi.tableName());
    TabellaCampiCerca.open();
    if (!nomeTabellaAmmesso(TabellaCampiCerca, nomeTabella) ||
        !TabellaCampiCerca.findKey({nomeTabella, std::to_string(numeroCampo)}))
        return std::nullopt;
    return leggiDefCampo(TabellaCampiCerca);
}

// ---- removal -------------------------------------------------------------------------------------

bool GestioneTabelle::RimuoviTabella()
{
    if (!TabellePresenti())
        return false;
    // Its field and index rows could not be found, so they could not be removed with it.
    richiediDettagli();
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

std::string tabelleNonFatte(int quante, const char* singolare, const char* plurale)
{
    if (quante == 0)
        return {};
    return " (" + std::to_string(quante) + (quante == 1 ? " tabella non " : " tabelle non ") +
           (quante == 1 ? singolare : plurale) + ")";
}

std::string testoTabellaNonFatta(const std::string& nome, const std::string& motivo)
{
    return "Tabella " + nome + ": " + motivo;
}

bool GestioneTabelle::CreaTutto()
{
    InizioElaborazione();
    ib::TransactionScope comando(tabForm_.IBTransaction1);
    bool rinuncia = false;
    int nonCreate = 0;
    // What refuses every table ends the run before it begins.
    if (!modoInterbase() && !dizionarioVuoto())
        richiediDirectory(tabForm_, DirectoryLavoro::Lavoro);
    perOgniTabellaFinche([&] {
        if (!modoInterbase()) {
            // A table refused for a reason of its own (its description, its folder): told,
            // and the run goes on.
            try {
                CreaTabCorrente();
            } catch (const Error& e) {
                interazione_.messaggio(testoTabellaNonFatta(EditTabellaCorrente(), e.what()));
                ++nonCreate;
            }
            return true;
        }
        tabForm_.ConnettiDatabaseIB();
        // The archive the user declined to create is asked for once: there is nowhere to
        // create any of the tables.
        rinuncia = !tabForm_.IBDatabase1.connected();
        if (!rinuncia)
            CreaTabIBCorrente();
        return !rinuncia;
    });
    comando.commit();
    if (!rinuncia)
        interazione_.messaggio(kCreazioneTutteTerminata + tabelleNonFatte(nonCreate, "creata", "create"));
    FineElaborazione();
    return !rinuncia && nonCreate == 0;
}

}  // namespace korva
