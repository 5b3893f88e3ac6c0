#include "dictionary/tabelle_dizionario.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

namespace korva {

using paradox::FieldDef;
using paradox::FieldType;

PosizioneTabella posizioneDizionario(const std::string& tracciatiDir, TabellaDizionario quale)
{
    switch (quale) {
    case TabellaDizionario::Korva: return {tracciatiDir + "KORVA", "KORVA.DB"};
    case TabellaDizionario::Campi: return {tracciatiDir + "CAMPI", "CAMPI.DB"};
    case TabellaDizionario::Indicic: break;
    }
    return {tracciatiDir + "INDICIC", "INDICIC.DB"};
}

std::vector<FieldDef> campiDizionario(TabellaDizionario quale)
{
    auto testo = [](const char* nome, int n) { return FieldDef{nome, FieldType::Alpha, n, false}; };
    auto corto = [](const char* nome) { return FieldDef{nome, FieldType::Short, 0, false}; };
    switch (quale) {
    case TabellaDizionario::Korva:
        return {testo("NomeTabella", kLunghezzaNomeTabella), testo("PathParziale", 128),
                corto("NumeroCampi"),      corto("CampiChiavePrimaria"),
                corto("IndiciSecSingoli"), corto("IndiciSecComposti"),
                corto("Ordinamento"),      corto("Formato")};
    case TabellaDizionario::Campi:
        return {testo("NomeTabella", kLunghezzaNomeTabella), corto("NumeroCampo"),
                testo("NomeCampo", 25),    testo("TipoELunghezza", 12),
                corto("Chiave"),           corto("IndiceSecSingolo"),
                corto("TipoIndiceSecSingolo")};
    case TabellaDizionario::Indicic: break;
    }
    return {testo("NomeTabella", kLunghezzaNomeTabella), testo("NomeIndiceSecComp", 25),
            corto("NumeroCampo"), testo("EstensioneIndiceSecComp", 3), corto("TipoIndiceSecComp")};
}

paradox::IndexDef indicePrimarioDizionario(TabellaDizionario quale)
{
    const unsigned opzioni = paradox::IndexOption::Primary | paradox::IndexOption::Unique;
    switch (quale) {
    case TabellaDizionario::Korva: return {"", "NomeTabella", opzioni};
    case TabellaDizionario::Campi: return {"", "NomeTabella;NumeroCampo", opzioni};
    case TabellaDizionario::Indicic: break;
    }
    return {"", "NomeTabella;NomeIndiceSecComp;NumeroCampo", opzioni};
}

namespace {

int intero(paradox::Table& t, const char* campo)
{
    return static_cast<int>(t.field(campo).asInteger());
}

std::string testo(paradox::Table& t, const char* campo)
{
    return t.field(campo).asString();
}

template <class Riga>
std::vector<Riga> tutte(paradox::Table& t, Riga (*leggi)(paradox::Table&))
{
    std::vector<Riga> righe;
    for (t.first(); !t.eof(); t.next())
        righe.push_back(leggi(t));
    return righe;
}

}  // namespace

DefTabella leggiDefTabella(paradox::Table& t)
{
    DefTabella r;
    r.NomeTabella = testo(t, "NomeTabella");
    r.PathParziale = testo(t, "PathParziale");
    r.NumeroCampi = intero(t, "NumeroCampi");
    r.CampiChiavePrimaria = intero(t, "CampiChiavePrimaria");
    r.IndiciSecSingoli = intero(t, "IndiciSecSingoli");
    r.IndiciSecComposti = intero(t, "IndiciSecComposti");
    r.Ordinamento = intero(t, "Ordinamento");
    r.Formato = intero(t, "Formato");
    return r;
}

DefCampo leggiDefCampo(paradox::Table& t)
{
    DefCampo r;
    r.NomeTabella = testo(t, "NomeTabella");
    r.NumeroCampo = intero(t, "NumeroCampo");
    r.NomeCampo = testo(t, "NomeCampo");
    r.TipoELunghezza = testo(t, "TipoELunghezza");
    r.Chiave = intero(t, "Chiave");
    r.IndiceSecSingolo = intero(t, "IndiceSecSingolo");
    r.TipoIndiceSecSingolo = intero(t, "TipoIndiceSecSingolo");
    return r;
}

DefIndiceComposto leggiDefIndiceComposto(paradox::Table& t)
{
    DefIndiceComposto r;
    r.NomeTabella = testo(t, "NomeTabella");
    r.NomeIndiceSecComp = testo(t, "NomeIndiceSecComp");
    r.NumeroCampo = intero(t, "NumeroCampo");
    r.EstensioneIndiceSecComp = testo(t, "EstensioneIndiceSecComp");
    r.TipoIndiceSecComp = intero(t, "TipoIndiceSecComp");
    return r;
}

void scriviRiga(paradox::Table& t, const DefTabella& r)
{
    t.field("NomeTabella").setString(r.NomeTabella);
    t.field("PathParziale").setString(r.PathParziale);
    t.field("NumeroCampi").setInteger(r.NumeroCampi);
    t.field("CampiChiavePrimaria").setInteger(r.CampiChiavePrimaria);
    t.field("IndiciSecSingoli").setInteger(r.IndiciSecSingoli);
    t.field("IndiciSecComposti").setInteger(r.IndiciSecComposti);
    t.field("Ordinamento").setInteger(r.Ordinamento);
    t.field("Formato").setInteger(r.Formato);
}

void scriviRiga(paradox::Table& t, const DefCampo& r)
{
    t.field("NomeTabella").setString(r.NomeTabella);
    t.field("NumeroCampo").setInteger(r.NumeroCampo);
    t.field("NomeCampo").setString(r.NomeCampo);
    t.field("TipoELunghezza").setString(r.TipoELunghezza);
    t.field("Chiave").setInteger(r.Chiave);
    t.field("IndiceSecSingolo").setInteger(r.IndiceSecSingolo);
    t.field("TipoIndiceSecSingolo").setInteger(r.TipoIndiceSecSingolo);
}

void scriviRiga(paradox::Table& t, const DefIndiceComposto& r)
{
    t.field("NomeTabella").setString(r.NomeTabella);
    t.field("NomeIndiceSecComp").setString(r.NomeIndiceSecComp);
    t.field("NumeroCampo").setInteger(r.NumeroCampo);
    t.field("EstensioneIndiceSecComp").setString(r.EstensioneIndiceSecComp);
    t.field("TipoIndiceSecComp").setInteger(r.TipoIndiceSecComp);
}

std::vector<DefTabella> righeTabelle(paradox::Table& t)
{
    return tutte(t, &leggiDefTabella);
}

std::vector<DefCampo> righeCampi(paradox::Table& t)
{
    return tutte(t, &leggiDefCampo);
}

std::vector<DefIndiceComposto> righeIndici(paradox::Table& t)
{
    return tutte(t, &leggiDefIndiceComposto);
}

void scriviRigheDizionario(paradox::Session& sessione, const std::string& tracciatiDir,
                           const RigheTabella& righe)
{
    auto apri = [&](paradox::Table& t, TabellaDizionario quale) {
        const auto posizione = posizioneDizionario(tracciatiDir, quale);
        t.setDatabaseName(posizione.cartella);
        t.setTableName(posizione.nome);
        t.open();
    };
    paradox::Table korva(sessione), campi(sessione), indicic(sessione);
    apri(korva, TabellaDizionario::Korva);
    apri(campi, TabellaDizionario::Campi);
    apri(indicic, TabellaDizionario::Indicic);
    korva.append();
    scriviRiga(korva, righe.tabella);
    korva.post();
    for (const DefCampo& c : righe.campi) {
        campi.append();
        scriviRiga(campi, c);
        campi.post();
    }
    for (const DefIndiceComposto& i : righe.indici) {
        indicic.append();
        scriviRiga(indicic, i);
        indicic.post();
    }
}

bool nomeTabellaAmmesso(paradox::Table& t, const std::string& nome)
{
    const int codePage = t.file().codePage();
    std::string byte;
    try {
        byte = codepage::fromUtf8(nome, codePage);
    } catch (const Error&) {
        return false;
    }
    for (const FieldDef& f : t.fieldDefs)
        if (f.name == "NomeTabella")
            return byte.size() <= static_cast<std::size_t>(f.size) && byte.find('\0') == std::string::npos;
    return false;
}

}  // namespace korva
