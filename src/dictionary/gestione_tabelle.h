#pragma once

// The table manager: the dictionary of one record-layout directory opened as three cursors,
// the current row with its field and composite-index rows, the working fields and the
// conditions every table command shares. The window, the invisible instance that the import
// makes and the command line all work through it; the window only shows it.

#include "base/interazione.h"
#include "dictionary/descrizione.h"
#include "dictionary/righe.h"
#include "engines/paradox/table.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korva {

class TTabForm;
struct TabellaLetta;
namespace ib {
class Query;
}

// The texts of the common preconditions.
inline constexpr const char* kNessunaTabellaPresente = "Impossibile procedere: nessuna tabella presente";
inline constexpr const char* kNessunaTabellaSelezionata =
    "Impossibile procedere: nessuna tabella selezionata";
inline constexpr const char* kDomandaRimozione = "Procedo alla rimozione tabella?";
inline constexpr const char* kTabellaEsisteGia = "La Tabella Esiste Già";
inline constexpr const char* kTabellaCreata = "La Tabella è stata creata";
inline constexpr const char* kCreazioneTutteTerminata = "Creazione di tutte le tabelle terminata";

// Said after the server's refusal to create an index that a killed change of structure caused.
inline constexpr const char* kRimedioIndiceNonCreabile =
    ". L'archivio conserva i resti di una modifica della sua struttura interrotta (un programma chiuso a "
    "forza mentre creava o eliminava tabelle) e non accetta nuovi indici: eseguire la compattazione "
    "dell'archivio (\"Compatta tabella corrente\" in Gestione Tabelle, o korva compatta), che li elimina, "
    "poi riprovare";

class GestioneTabelle {
public:
    // Opening over the record-layout directory `tracciatiDir` (TracciatiDir1 or 2 of the
    // holder): NomeTabellaCorrente empty, DirScelta := LavoroDir, KORVA.DB, CAMPI.DB and
    // INDICIC.DB opened in this order with the details following the master, the last row
    // current. A table that cannot be opened ends the opening with the engine's Error.
    GestioneTabelle(Interazione& interazione, TTabForm& tabForm, std::string tracciatiDir,
                    paradox::Session& sessione = paradox::Session::standard());
    ~GestioneTabelle();
    GestioneTabelle(const GestioneTabelle&) = delete;
    GestioneTabelle& operator=(const GestioneTabelle&) = delete;

    // ---- what the commands share ----
    Interazione& interazione() { return interazione_; }
    TTabForm& tabForm() { return tabForm_; }
    paradox::Session& sessione() { return sessione_; }
    const std::string& TracciatiDir() const { return tracciatiDir_; }
    // The database mode in force now: every command reads it when it runs.
    bool modoInterbase() const;

    // The dictionary: Table1 on KORVA.DB is the master; TabCampi (CAMPI.DB) and TabIndicic
    // (INDICIC.DB) hold the rows whose NomeTabella is that of Table1's current row.
    paradox::Table Table1;
    paradox::Table TabCampi;
    paradox::Table TabIndicic;
    // Free for the commands (registration opens the table being registered in it).
    paradox::Table TabCorrente;

    // Working fields.
    std::string NomeTabellaCorrente;
    std::string DirTabellaCorrente;
    std::string FileTabellaCorrente;
    std::string DirScelta;

    // ---- the current row ----
    // KORVA.DB holds no row.
    bool dizionarioVuoto();
    // The current KORVA.DB row; nothing when the dictionary is empty.
    std::optional<DefTabella> rigaCorrente();
    // What the current-table field shows: NomeTabella of the current row, "" when none.
    std::string EditTabellaCorrente();
    // The field rows and the composite-index rows of the current row, in key order, through
    // the detail cursors (left at their first row). None for a row whose name cannot be
    // looked up in CAMPI.DB and INDICIC.DB.
    std::vector<DefCampo> campiCorrenti();
    std::vector<DefIndiceComposto> indiciCorrenti();
    // A command that needs the current row's field or index rows: an Error naming the table
    // when its name is too long for CAMPI.DB and INDICIC.DB, or holds a character their code
    // page lacks (the rows in view would otherwise be another table's).
    void richiediDettagli();
    // The current row's rows checked into a description that either engine can create; an
    // Error naming the table, the field or index and the fault when they cannot give a sound
    // table (richiediDettagli first). Sets NomeTabellaCorrente.
    DescrizioneTabella descrizioneCorrente(LetturaTipo per = LetturaTipo::Paradox);

    // Every KORVA.DB row, read through a cursor of its own (the current row does not move).
    std::vector<DefTabella> elencoTabelle();

    // ---- choosing the current row ----
    void primo();
    void precedente();
    void successivo();
    void ultimo();
    // Makes the row of this NomeTabella current; false (nothing moves) when there is none.
    bool vaiA(const std::string& nomeTabella);

    // Runs `passo` with each row current in turn, from the first to the end, then returns to
    // the row that was current. A failure ends the walk where it happened (the row that
    // failed stays current). With `sospendiVista` the window does not follow the walk.
    void perOgniTabella(const std::function<void()>& passo, bool sospendiVista = false);
    // The same walk, ended by a step that gives false (back on the noted row); false then.
    bool perOgniTabellaFinche(const std::function<bool()>& passo, bool sospendiVista = false);

    // Told whenever the current row changes, after the details have followed it.
    void setOnCambioRiga(std::function<void()> f) { onCambioRiga_ = std::move(f); }

    // ---- conditions, busy indicator, paths ----
    // The common preconditions in their order; the first that fails shows its message and
    // gives false.
    bool Precondizioni();
    // Only the first: KORVA.DB holds rows.
    bool TabellePresenti();
    void InizioElaborazione();
    void FineElaborazione();
    // DirTabellaCorrente := LavoroDir + PathParziale, FileTabellaCorrente := NomeTabella +
    // ".DB", both from the current row; gives the table file's path. An Error, before
    // anything is set, when LavoroDir is not set or NomeTabella is no plain file name.
    std::string ImpostaPercorsoTabellaCorrente();

    // A field row of the dictionary by its key, through a cursor of its own.
    std::optional<DefCampo> CercaCampo(const std::string& nomeTabella, int numeroCampo);

    // ---- commands ----
    // "&2. Rimuovi tabella ": after the question, deletes the current table's composite-index
    // rows, then its field rows, then its row. The table itself is not touched. True when
    // the rows were removed; richiediDettagli before the question.
    bool RimuoviTabella();

    // "&1. Aggiungi tabella" in the Paradox mode, once the choice dialog has set DirScelta (the
    // table's folder) and NomeTabellaCorrente (its file name): the table read whole, then its
    // dictionary entry written in place of the old one (after "Tabella esistente, Sostituire
    // tabella? "), and its row made current. False when nothing was chosen or the old entry is
    // kept; a table outside LavoroDir, one that cannot be read or whose layout the dictionary
    // cannot hold is an Error, and the dictionary is as it was.
    bool RegistraTabellaParadox();
    // The same in the archive mode: the archive connected, the table chosen by `sceltaTabella`
    // (nothing when cancelled, an empty name when confirmed without a choice), read, the
    // folder asked of `percorso` (the text the table's folder starts with), the entry written.
    bool RegistraTabellaIb(const std::function<std::optional<std::string>()>& sceltaTabella,
                           const std::function<std::string()>& percorso);

    // The Paradox table of the current row, empty, with its fields, primary key, single-field
    // and composite indexes, in LavoroDir + PathParziale (made with its missing levels).
    // False after the preconditions' message or "La Tabella Esiste Già" (nothing touched); a
    // description that cannot give a sound table, or a refusal of the engine, is an Error.
    bool CreaTabCorrente();
    // "&4. Crea Tabella   ": the current row's table in the mode in force, with the busy
    // indicator and "La Tabella è stata creata". True when it was created.
    bool CreaTabella();
    // "&Crea tutto": every row's table in turn, then back to the row that was current and
    // "Creazione di tutte le tabelle terminata". A failure ends the run at that row. In the
    // archive mode, declining to create a missing archive ends the run without the final
    // message: false.
    bool CreaTutto();

    // The statement object of the InterBase commands, on IBDatabase1 with IBTransaction1.
    ib::Query& IBQuery1();
    // Whether the archive table of this name (in upper case) can be opened; connects the
    // archive first. Whatever prevents the opening counts as a missing table; a connection
    // that fails is an Error with the client's message (the table may well be there). A
    // transaction it had to start for the reading it ends; one already active stays.
    bool TestTabIb(const std::string& nome);
    // Creates the archive table `nome` (in upper case) with the current row's layout: CREATE
    // TABLE, ALTER TABLE for the primary key, one CREATE INDEX per index, committed together.
    // False after the preconditions' message or "La Tabella Esiste Già", or when the archive
    // was not created; a description or a name that cannot give a sound table is an Error
    // before anything is sent; a statement the server refuses is an Error after the
    // statements already executed have been rolled back.
    bool CreaTabIB(const std::string& nome);
    // CreaTabIB with the current row's name.
    bool CreaTabIBCorrente();

private:
    // False when the dictionary holds `nome` and the user keeps it.
    bool consentiSostituzione(const std::string& nome);
    // The last steps of a registration: the rows checked, the messages, the entry written and
    // its row made current.
    void registra(const TabellaLetta& letta);
    // TestTabIb without ending the reading's transaction; the archive is connected.
    bool tabellaApribile(const std::string& nome);
    void allineaDettagli();
    void rigaCambiata();
    void apri(paradox::Table& t, const std::string& cartella, const std::string& nome);

    Interazione& interazione_;
    TTabForm& tabForm_;
    paradox::Session& sessione_;
    std::string tracciatiDir_;
    std::function<void()> onCambioRiga_;
    std::unique_ptr<ib::Query> IBQuery1_;
};

}  // namespace korva
