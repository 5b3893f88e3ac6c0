#pragma once

// The three Paradox tables that hold a dictionary: KORVA.DB (one row a table), CAMPI.DB (one
// row a field) and INDICIC.DB (one row a field of a composite index), each in its own folder
// under a record-layout directory.

#include "dictionary/righe.h"
#include "engines/paradox/format.h"

#include <string>
#include <vector>

namespace korva {

namespace paradox {
class Session;
class Table;
}

enum class TabellaDizionario { Korva, Campi, Indicic };

// The rows that describe one table.
struct RigheTabella {
    DefTabella tabella;
    std::vector<DefCampo> campi;
    std::vector<DefIndiceComposto> indici;
};

// Folder (the engine's database name) and table name of a dictionary table.
struct PosizioneTabella {
    std::string cartella;
    std::string nome;
};

// For a record-layout directory D (ending with the separator): D + "KORVA" with "KORVA.DB",
// D + "CAMPI" with "CAMPI.DB", D + "INDICIC" with "INDICIC.DB".
PosizioneTabella posizioneDizionario(const std::string& tracciatiDir, TabellaDizionario quale);

// The fields of a dictionary table in their order, none required, and its primary index
// (empty name, primary and unique): what the generator creates.
std::vector<paradox::FieldDef> campiDizionario(TabellaDizionario quale);
paradox::IndexDef indicePrimarioDizionario(TabellaDizionario quale);

// The longest NomeTabella the generated dictionary holds (bytes in the table's code page); a
// dictionary written by another tool may hold longer ones in KORVA.DB.
inline constexpr int kLunghezzaNomeTabella = 8;

// The row at a dictionary cursor's current record.
DefTabella leggiDefTabella(paradox::Table& t);
DefCampo leggiDefCampo(paradox::Table& t);
DefIndiceComposto leggiDefIndiceComposto(paradox::Table& t);

// Sets every field of the record being inserted or edited (the caller posts it).
void scriviRiga(paradox::Table& t, const DefTabella& r);
void scriviRiga(paradox::Table& t, const DefCampo& r);
void scriviRiga(paradox::Table& t, const DefIndiceComposto& r);

// Every row from the cursor's first to its end (in key order, within its range if any); the
// cursor is left at its end.
std::vector<DefTabella> righeTabelle(paradox::Table& t);
std::vector<DefCampo> righeCampi(paradox::Table& t);
std::vector<DefIndiceComposto> righeIndici(paradox::Table& t);

// Appends the rows of one table to the dictionary of the record-layout directory, through
// cursors of its own (the rows carry their own NomeTabella).
void scriviRigheDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                           const RigheTabella& righe);

// Puts the rows of `nuova` in place of every row the dictionary of the record-layout directory
// holds for its NomeTabella (the name must fit the dictionary), through cursors of its own.
// Each dictionary table changes in one journaled step; when one of them fails, those changed
// before take their old rows back, so that a failure leaves the old entry whole. (A process
// stopped between the steps can leave them apart.)
void sostituisciVoceDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                               const RigheTabella& nuova);

// Whether a name can be the NomeTabella of a row of the open dictionary table `t`: it fits its
// field and its code page. A name that cannot is no key of that table, so it has no row there.
bool nomeTabellaAmmesso(paradox::Table& t, const std::string& nome);

}  // namespace korva
