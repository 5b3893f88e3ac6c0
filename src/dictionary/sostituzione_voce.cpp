// Replacing the entry of one table in the dictionary: its row, its field rows and its
// composite-index rows, all or nothing.

#include "base/errore.h"
#include "dictionary/tabelle_dizionario.h"
#include "engines/paradox/table.h"

#include <array>

namespace korva {
namespace {

struct Tabella {
    TabellaDizionario quale;
    paradox::Table* cursore;
};

void apri(paradox::Table& t, const std::string& tracciatiDir, TabellaDizionario quale)
{
    const auto posizione = posizioneDizionario(tracciatiDir, quale);
    t.setDatabaseName(posizione.cartella);
    t.setTableName(posizione.nome);
    t.open();
}

// The rows of the entry that one dictionary table holds.
template <class Riga>
std::vector<Riga> righeDi(paradox::Table& t, const std::string& nome, Riga (*leggi)(paradox::Table&))
{
    std::vector<Riga> righe;
    t.setRange({nome}, {nome});
    for (t.first(); !t.eof(); t.next())
        righe.push_back(leggi(t));
    t.cancelRange();
    return righe;
}

RigheTabella leggiVoce(paradox::Table& korva, paradox::Table& campi, paradox::Table& indicic,
                       const std::string& nome)
{
    RigheTabella voce;
    const auto tabelle = righeDi(korva, nome, &leggiDefTabella);
    if (!tabelle.empty())
        voce.tabella = tabelle.front();
    voce.campi = righeDi(campi, nome, &leggiDefCampo);
    voce.indici = righeDi(indicic, nome, &leggiDefIndiceComposto);
    return voce;
}

template <class Riga>
void aggiungi(paradox::Table& t, const std::vector<Riga>& righe)
{
    for (const Riga& r : righe) {
        t.append();
        scriviRiga(t, r);
        t.post();
    }
}

// In one dictionary table: the rows of `nome` removed, those of `voce` appended.
void scriviVoce(const Tabella& tabella, const std::string& nome, const RigheTabella& voce)
{
    paradox::Table& t = *tabella.cursore;
    t.setRange({nome}, {nome});
    for (t.first(); !t.eof(); t.first())
        t.deleteRecord();
    t.cancelRange();
    switch (tabella.quale) {
    case TabellaDizionario::Korva:
        if (!voce.tabella.NomeTabella.empty())
            aggiungi(t, std::vector<DefTabella>{voce.tabella});
        break;
    case TabellaDizionario::Campi: aggiungi(t, voce.campi); break;
    case TabellaDizionario::Indicic: aggiungi(t, voce.indici); break;
    }
}

}  // namespace

void sostituisciVoceDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                               const RigheTabella& nuova)
{
    const std::string& nome = nuova.tabella.NomeTabella;
    paradox::Table korva(sessione), campi(sessione), indicic(sessione);
    // The table row last: until it is there, the entry is the old one in the list.
    const std::array<Tabella, 3> tabelle = {Tabella{TabellaDizionario::Indicic, &indicic},
                                            Tabella{TabellaDizionario::Campi, &campi},
                                            Tabella{TabellaDizionario::Korva, &korva}};
    for (const Tabella& t : tabelle)
        apri(*t.cursore, tracciatiDir, t.quale);
    const RigheTabella vecchia = leggiVoce(korva, campi, indicic, nome);

    // Every table's change made, none of them kept yet: a failure undoes them all.
    size_t avviate = 0;
    try {
        for (const Tabella& t : tabelle) {
            t.cursore->beginBatch();
            ++avviate;
            scriviVoce(t, nome, nuova);
        }
    } catch (...) {
        for (size_t i = 0; i < avviate; ++i)
            tabelle[i].cursore->cancelBatch();
        throw;
    }

    // Kept one table after the other; when one cannot be kept, those kept before take their
    // old rows back.
    size_t confermate = 0;
    try {
        for (const Tabella& t : tabelle) {
            t.cursore->endBatch();
            ++confermate;
        }
    } catch (const std::exception& e) {
        for (size_t i = confermate + 1; i < tabelle.size(); ++i)
            tabelle[i].cursore->cancelBatch();
        try {
            for (size_t i = 0; i < confermate; ++i) {
                tabelle[i].cursore->beginBatch();
                scriviVoce(tabelle[i], nome, vecchia);
                tabelle[i].cursore->endBatch();
            }
        } catch (const std::exception& ripristino) {
            throw Error("La voce della tabella " + nome + " nel dizionario è rimasta incompleta (" +
                        e.what() + "; ripristino non riuscito: " + ripristino.what() +
                        "): registrare di nuovo la tabella");
        }
        throw;
    }
}

}  // namespace korva
