#pragma once

// A company on disk for the dictionary's tests: ditta.cfg, a settings file, its data and
// record-layout directories, and the settings holder read from them.

#include "dictionary/tabelle_dizionario.h"
#include "shell/tabform.h"
#include "support/cartella_temporanea.h"
#include "support/errore_di.h"
#include "support/interazione_scriptata.h"

#include <memory>
#include <string>
#include <vector>

namespace korva::test {

class DittaProva {
public:
    // The folders dati/, tr1/, tr2/ are made; `tipoDataBase` is written as the mode.
    explicit DittaProva(const std::string& tipoDataBase = "PARADOX");

    CartellaTemporanea cartella;
    InterazioneScriptata io;
    std::unique_ptr<TTabForm> tabForm;

    std::string ini() const { return cartella / "varnelo.ini"; }
    // The three dictionary tables created empty in the directory (TracciatiDir1 when empty),
    // then the rows of each table appended.
    void dizionario(const std::vector<RigheTabella>& tabelle, std::string tracciatiDir = {});
};

// Rows of a table: fields as "nome:tipo" with "*" after the type for a key field and "+" for
// a single-field index ("codice:A6*", "ragsoc:A40+"); composite indexes as
// {name, {NumeroCampo, position}...}; the key count is that of the "*" fields unless given.
struct CompostoProva {
    std::string nome;
    std::vector<std::pair<int, std::string>> righe;
    int tipo = 0;
};
RigheTabella righe(const std::string& nome, const std::string& pathParziale,
                   const std::vector<std::string>& campi, const std::vector<CompostoProva>& composti = {},
                   int campiChiave = -1);

// The rows of a table's entry as text lines, for comparisons: "tabella nome|path|campi|chiave|
// singoli|composti|ordinamento|formato", then "campo numero|nome|tipo|chiave|singolo|tipo
// singolo" in field order, then "indice nome|numero|posizione|tipo" in key order.
std::vector<std::string> testoVoce(const RigheTabella& r);
// The entry of `nome` in the dictionary of the record-layout directory, read through cursors
// of its own (nothing but its lines: empty when there is no entry).
std::vector<std::string> voce(const std::string& tracciatiDir, const std::string& nome);

// The worked example: clienti in archivi/ with codice A6 (key), ragsoc A40 (single-field
// index), scadenza D, and the composite index perscad over scadenza then codice.
RigheTabella clientiEsempio();

}  // namespace korva::test
