// Registering a Paradox table: its fields, primary key and secondary indexes as dictionary rows.

#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/creazione_paradox.h"
#include "dictionary/descrizione.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/registrazione.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <algorithm>
#include <exception>

namespace korva {

using paradox::FieldType;
namespace opzioni = paradox::IndexOption;

namespace {

struct Codice {
    std::string codice;
    bool adattato = false;  // a type outside the dictionary's, in one that keeps its values
};

// The type code of a field; nothing for a type the dictionary cannot hold.
std::optional<Codice> codiceCampo(const paradox::FieldDef& f)
{
    auto con = [&](char lettera, bool adattato = false) {
        return Codice{TipoELunghezza::scrivi(lettera, f.size), adattato};
    };
    switch (f.type) {
    case FieldType::Alpha: return con('A');
    case FieldType::Number: return con('N');
    case FieldType::Long: return con('I');
    case FieldType::Short: return con('S');
    case FieldType::Date: return con('D');
    case FieldType::Time: return con('T');
    case FieldType::Memo: return con('M');
    case FieldType::Binary: return con('B');
    case FieldType::Graphic: return con('G');
    // Both hold an 8-byte floating-point number.
    case FieldType::Money: return con('N', true);
    // A positive 32-bit integer.
    case FieldType::AutoInc: return con('I', true);
    // Blobs of the same layout (a memo keeps at least one character in the record).
    case FieldType::FmtMemo: return Codice{TipoELunghezza::scrivi('M', std::max(f.size, 1)), true};
    case FieldType::Ole: return con('B', true);
    default: return std::nullopt;
    }
}

// A field list with ";" after its first character.
bool composto(const std::string& campi)
{
    return campi.find(';', 1) != std::string::npos;
}

// The properties of a secondary index that the dictionary does not describe.
std::string proprietaPerse(unsigned opzioni, bool anchePerMaiuscole)
{
    std::string perse;
    auto aggiungi = [&](unsigned bit, const char* nome) {
        if (opzioni & bit)
            perse += (perse.empty() ? "" : ", ") + std::string(nome);
    };
    if (anchePerMaiuscole)
        aggiungi(opzioni::CaseInsensitive, "maiuscole indifferenti");
    aggiungi(opzioni::Descending, "discendente");
    aggiungi(opzioni::Unique, "univoco");
    aggiungi(opzioni::NonMaintained, "non mantenuto");
    return perse;
}

// Creation, and the rebuild with it, accept the rows: what they would refuse is refused here.
void verificaCreazioneParadox(const RigheTabella& righe)
{
    DefinizioniParadox definizioni;
    try {
        definizioni = definizioniParadox(descriviTabella(righe.tabella, righe.campi, righe.indici));
    } catch (const Error&) {
        return;  // the checks of every registration say why
    }
    try {
        paradox::checkNewTable(righe.tabella.NomeTabella, definizioni.campi, definizioni.indici);
    } catch (const Error& e) {
        rifiutaRegistrazione(righe.tabella.NomeTabella, e.what());
    }
}

}  // namespace

TabellaLetta righeDaParadox(const std::string& nomeTabella, const std::vector<paradox::FieldDef>& campi,
                            const std::vector<paradox::IndexDef>& indici)
{
    TabellaLetta letta;
    DefTabella& t = letta.righe.tabella;
    t.NomeTabella = nomeTabella;
    t.NumeroCampi = static_cast<int>(campi.size());
    for (const paradox::IndexDef& ix : indici)
        if (ix.name.empty())
            t.CampiChiavePrimaria = 1 + static_cast<int>(std::count(ix.fields.begin() + (ix.fields.empty() ? 0 : 1),
                                                                    ix.fields.end(), ';'));
    // Creation and the rebuild give secondary indexes only to a table with a key: without
    // one they are left out.
    const bool conChiave = t.CampiChiavePrimaria > 0;
    for (const paradox::IndexDef& ix : indici) {
        if (ix.name.empty())
            continue;
        if (!conChiave)
            letta.differenze.push_back("indice " + ix.name + ": non registrato (gli indici secondari "
                                       "richiedono una chiave primaria, che la tabella non ha)");
        else if (composto(ix.fields))
            ++t.IndiciSecComposti;
        else
            ++t.IndiciSecSingoli;
    }

    std::string rifiutati;
    for (size_t j = 0; j < campi.size(); ++j) {
        const paradox::FieldDef& f = campi[j];
        const auto codice = codiceCampo(f);
        if (!codice) {
            rifiutati += "\ncampo " + f.name + ": tipo " + paradox::typeName(f.type);
            continue;
        }
        if (codice->adattato)
            letta.differenze.push_back("campo " + f.name + " (" + paradox::typeName(f.type) +
                                       "): registrato come " + codice->codice);
        if (f.required)
            letta.differenze.push_back("campo " + f.name + ": registrato senza l'obbligo di un valore "
                                       "(il dizionario non lo descrive)");
        DefCampo c;
        c.NomeTabella = nomeTabella;
        c.NumeroCampo = static_cast<int>(j) + 1;
        c.NomeCampo = f.name;
        c.TipoELunghezza = codice->codice;
        c.Chiave = static_cast<int>(j) < t.CampiChiavePrimaria ? 1 : 0;
        for (const paradox::IndexDef& ix : indici)
            if (conChiave && ix.name == f.name)
                c.IndiceSecSingolo = 1;
        c.TipoIndiceSecSingolo = c.IndiceSecSingolo;
        letta.righe.campi.push_back(c);
    }
    if (!rifiutati.empty())
        rifiutaRegistrazione(nomeTabella, "il dizionario non può descrivere questi campi:" + rifiutati);

    for (const paradox::IndexDef& ix : indici) {
        if (ix.name.empty() || !conChiave)
            continue;
        if (!composto(ix.fields)) {
            if (ix.name != ix.fields)
                letta.differenze.push_back("indice " + ix.name + " sul campo " + ix.fields +
                                           ": non descritto (il dizionario descrive soltanto gli "
                                           "indici su un campo che ne portano il nome)");
            else if (auto perse = proprietaPerse(ix.options, true); !perse.empty())
                letta.differenze.push_back("indice " + ix.name + ": registrato senza le proprietà " + perse);
            continue;
        }
        if (auto perse = proprietaPerse(ix.options, false); !perse.empty())
            letta.differenze.push_back("indice " + ix.name + ": registrato senza le proprietà " + perse);
        const int tipo = (ix.options & opzioni::CaseInsensitive) ? 0 : 1;
        const auto nomi = paradox::splitFields(ix.fields);
        for (size_t k = 0; k < nomi.size(); ++k) {
            DefIndiceComposto r;
            r.NomeTabella = nomeTabella;
            r.NomeIndiceSecComp = ix.name;
            for (size_t j = 0; j < campi.size(); ++j)
                if (campi[j].name == nomi[k])
                    r.NumeroCampo = static_cast<int>(j) + 1;
            r.EstensioneIndiceSecComp = std::to_string(k);
            r.TipoIndiceSecComp = tipo;
            letta.righe.indici.push_back(r);
        }
    }
    return letta;
}

bool GestioneTabelle::RegistraTabellaParadox()
{
    const std::string file = NomeTabellaCorrente;
    // Nothing chosen: nothing to register.
    if (file.empty() || file == ".db")
        return false;
    const size_t punto = file.find('.');
    const std::string stem = punto == std::string::npos ? std::string() : file.substr(0, punto);
    const std::string nome = minuscole(stem);
    // The table opened is the name before the first ".": "clienti.old.db" or "clienti.px" would
    // read clienti.db, another file than the one chosen.
    if (nome.empty() || minuscole(file.substr(punto + 1)) != "db")
        throw Error("Nome di tabella non valido: \"" + file +
                    "\" (indicare il file .db della tabella, senza altri punti nel nome)");
    // The folder is stored relative to the data directory: a table elsewhere has none.
    const std::string& lavoroDir = richiediDirectory(tabForm_, DirectoryLavoro::Lavoro);
    const auto relativo = sottoDirectory(DirScelta, lavoroDir);
    if (!relativo)
        rifiutaRegistrazione(nome, "la tabella si trova in " + DirScelta + ", fuori dalla directory di lavoro " +
                                       lavoroDir);
    verificaVoce(nome, minuscole(*relativo));
    if (!consentiSostituzione(nome))
        return false;

    // The table is read whole before the dictionary is touched.
    NomeTabellaCorrente = stem;
    TabCorrente.close();
    TabCorrente.setDatabaseName(DirScelta);
    TabCorrente.setTableName(NomeTabellaCorrente);
    TabCorrente.setExclusive(false);
    try {
        TabCorrente.open();
    } catch (const Error&) {
        // A keyed table that lost its .PX opens only exclusively; its layout is whole in the
        // header all the same. Any other failure is the first one.
        const std::exception_ptr primo = std::current_exception();
        TabCorrente.setExclusive(true);
        try {
            TabCorrente.open();
        } catch (const Error&) {
            TabCorrente.setExclusive(false);
            std::rethrow_exception(primo);
        }
    }
    TabCorrente.updateFieldDefs();
    TabCorrente.updateIndexDefs();
    const auto campi = TabCorrente.fieldDefs;
    auto indici = TabCorrente.indexDefs;
    const int chiave = TabCorrente.file().keyFields();
    // Not kept open: other programs may want it for themselves.
    TabCorrente.close();
    TabCorrente.setExclusive(false);
    sessione_.dropIdleConnections();
    // The key the header declares, when its index file is missing.
    if (chiave > 0 && std::none_of(indici.begin(), indici.end(), [](const auto& ix) { return ix.name.empty(); })) {
        std::string campiChiave;
        for (int i = 0; i < chiave && i < static_cast<int>(campi.size()); ++i)
            campiChiave += (i ? ";" : "") + campi[static_cast<size_t>(i)].name;
        indici.insert(indici.begin(), {"", campiChiave, opzioni::Primary | opzioni::Unique});
    }

    TabellaLetta letta = righeDaParadox(nome, campi, indici);
    letta.righe.tabella.PathParziale = minuscole(*relativo);
    verificaRegistrazione(letta.righe);
    verificaCreazioneParadox(letta.righe);
    registra(letta);
    return true;
}

}  // namespace korva
