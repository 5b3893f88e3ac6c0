#pragma once

// The copies of a table's layout its family holds (the data file's header read part by part,
// the primary index, the secondary indexes, the validity file) and the dictionary's
// description, and how a field list agrees with each of them.

#include "dictionary/creazione_paradox.h"
#include "engines/paradox/format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korva {
struct FamigliaTabella;
}

namespace korva::integrita {

inline constexpr int kInizioDatiIntestazione = 0x58;

// A description of the fields found in one file of the family, or in the dictionary.
struct Copia {
    std::string fonte;
    std::vector<std::pair<int, paradox::FieldDef>> campi;  // by position in the record
    int numeroCampi = -1;                          // a whole list: how many fields
    bool dizionario = false;                       // types by the dictionary's letters
    std::optional<int> chiave;                     // key fields
    std::optional<int> dimensioneRecord;           // bytes of a record
    std::vector<std::string> nomi;                 // a whole list: the names (UTF-8)
};

// What the data file's header says, each part read on its own, so that a part that lies
// leaves the others readable.
struct IntestazioneLetta {
    Copia copia;
    int dimensioneRecord = 0, dimensioneIntestazione = 0, codiceBlocco = 0, campiChiave = 0;
    std::uint8_t tipoFile = 0, versione = 0, ordinamento = 0;
    bool conDati = false;  // the level-4 part that names code page and sort order
    int codePage = 0;
    std::string idOrdinamento, nomeTabella;
    std::size_t fine = 0;  // where its description ends
};

std::optional<IntestazioneLetta> leggiIntestazione(const std::string& nome, const std::string& dati);

// Every copy: the header's field list and key, its record size on its own, the dictionary's
// description, the validity file's field list, the key of the primary index, the fields and
// key each secondary index repeats.
std::vector<Copia> copieDelTracciato(const FamigliaTabella& f, const std::optional<IntestazioneLetta>& h,
                                     const DefinizioniParadox* dizionario, int codePage);

// The field list of the validity file `nome`; nothing when it cannot be read.
std::optional<Copia> copiaVal(const std::string& nome, const std::string& dati, int codePage);

// A field as a header describes it (type code and size byte); nothing when it cannot be one.
std::optional<paradox::FieldDef> descrittore(std::uint8_t codice, std::uint8_t dimensione);
int byteDi(const std::vector<paradox::FieldDef>& campi);
// Two descriptions of a field are the same (by the dictionary's letters: of the same kind).
bool uguali(const paradox::FieldDef& a, const paradox::FieldDef& b, bool dizionario);
// What a copy says of a field list: 1 agrees, -1 disagrees, 0 nothing.
int voto(const Copia& c, const std::vector<paradox::FieldDef>& campi);
// Two field lists that read the same bytes the same way.
bool equivalenti(const std::vector<paradox::FieldDef>& a, const std::vector<paradox::FieldDef>& b);
// "a, b e c"
std::string elenco(const std::vector<std::string>& v);
// Each field on which the copies disagree, with what each says and the description used.
std::vector<std::string> disaccordi(const std::vector<const Copia*>& copie, const std::vector<paradox::FieldDef>& scelti);

}  // namespace korva::integrita
