// Registering the sample tables written by other programs over the years, and creating them
// again from what was registered.

#include "base/codepage.h"
#include "base/errore.h"
#include "dictionary/gestione_tabelle.h"
#include "ditta_prova.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <strings.h>

namespace korva {
namespace {

using paradox::FieldType;
using test::DittaProva;
using test::erroreDi;
namespace fs = std::filesystem;

std::vector<fs::path> campioni()
{
    std::vector<fs::path> v;
    for (const auto& e : fs::recursive_directory_iterator(KORVA_SAMPLES_DIR))
        if (strcasecmp(e.path().extension().c_str(), ".db") == 0)
            v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

// The sample's files copied under another name (the dictionary holds names of 8 characters).
void copia(const fs::path& db, const std::string& cartella, const std::string& nome)
{
    for (const auto& e : fs::directory_iterator(db.parent_path()))
        if (const std::string ext = e.path().extension().string();
            strcasecmp(e.path().stem().c_str(), db.stem().c_str()) == 0 &&
            (strcasecmp(ext.c_str(), ".db") == 0 || paradox::isCompanionExtension(ext.substr(1)))) {
            const std::string copia = cartella + nome + e.path().extension().string();
            fs::copy_file(e.path(), copia);
            fs::permissions(copia, fs::perms::owner_write, fs::perm_options::add);
        }
}

// The field as creation makes it from its registered code.
paradox::FieldDef comeRegistrato(paradox::FieldDef f)
{
    switch (f.type) {
    case FieldType::Money: f = {f.name, FieldType::Number, 0}; break;
    case FieldType::AutoInc: f = {f.name, FieldType::Long, 0}; break;
    case FieldType::FmtMemo: f = {f.name, FieldType::Memo, std::max(f.size, 1)}; break;
    case FieldType::Ole: f.type = FieldType::Binary; break;
    default: break;
    }
    f.required = false;
    return f;
}

bool fuoriDalDizionario(FieldType t)
{
    return t == FieldType::Logical || t == FieldType::Timestamp || t == FieldType::Bcd || t == FieldType::Bytes;
}

struct Registrato {
    std::string nome;
    std::vector<paradox::FieldDef> campi;
    int chiave = 0;  // key fields
};

TEST(RegistrazioneCampioni, RegistratiQuandoIlDizionarioNeTieneITipiERicreatiUguali)
{
    DittaProva d;
    d.dizionario({});
    const std::string cartella = d.tabForm->LavoroDir + "campioni/";
    fs::create_directories(cartella);
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
    std::vector<Registrato> registrati;
    std::vector<std::string> senzaIndicePrimario;
    int rifiutati = 0, numero = 0;
    for (const fs::path& p : campioni()) {
        const std::string campioneLetto = fs::relative(p, KORVA_SAMPLES_DIR).string();
        SCOPED_TRACE(campioneLetto);
        Registrato r{std::string("c").append(std::to_string(++numero)), {}, 0};
        // Read on a copy (a keyed sample without its .PX opens only exclusively).
        copia(p, cartella, r.nome);
        paradox::Table campione;
        campione.setDatabaseName(cartella);
        campione.setTableName(r.nome + ".db");
        const std::string apertura = erroreDi([&] { campione.open(); });
        if (apertura.find("protetta da password") != std::string::npos)
            continue;
        if (apertura.find("manca l'indice primario") != std::string::npos) {
            senzaIndicePrimario.push_back(p.filename().string());
            campione.setExclusive(true);
            campione.open();
        }
        ASSERT_TRUE(campione.active()) << apertura;
        campione.updateFieldDefs();
        campione.updateIndexDefs();
        std::string esclusi, nomeFuori;
        for (const paradox::FieldDef& f : campione.fieldDefs) {
            r.campi.push_back(comeRegistrato(f));
            if (fuoriDalDizionario(f.type))
                esclusi += "\ncampo " + f.name + ": tipo " + paradox::typeName(f.type);
            if (nomeFuori.empty() && erroreDi([&] { codepage::fromUtf8(f.name, codepage::kWindowsWestern); }) !=
                                         "nessun errore")
                nomeFuori = f.name;
        }
        r.chiave = campione.file().keyFields();
        campione.close();

        g.DirScelta = cartella;
        g.NomeTabellaCorrente = r.nome + ".db";
        const std::string errore = erroreDi([&] { g.RegistraTabellaParadox(); });
        if (!esclusi.empty()) {
            EXPECT_EQ(errore, "Impossibile registrare la tabella " + r.nome +
                                  ": il dizionario non può descrivere questi campi:" + esclusi);
            ++rifiutati;
            continue;
        }
        // The dictionary is written in the Western code page: a name in another script cannot
        // be kept there.
        if (!nomeFuori.empty()) {
            EXPECT_EQ(errore.rfind("Impossibile registrare la tabella " + r.nome + ": il nome del campo \"" +
                                       nomeFuori + "\" non si può scrivere nel dizionario", 0),
                      0u)
                << errore;
            ++rifiutati;
            continue;
        }
        EXPECT_EQ(errore, "nessun errore");
        EXPECT_EQ(g.rigaCorrente().value_or(DefTabella{}).CampiChiavePrimaria, r.chiave);
        // Creation gives secondary indexes only to a keyed table: an unkeyed one is registered
        // without them.
        if (r.chiave == 0) {
            const auto campi = g.campiCorrenti();
            EXPECT_TRUE(g.indiciCorrenti().empty());
            EXPECT_TRUE(std::none_of(campi.begin(), campi.end(), [](const DefCampo& c) { return c.IndiceSecSingolo == 1; }));
        }
        registrati.push_back(r);
    }
    EXPECT_EQ(registrati.size(), 61u);
    EXPECT_EQ(rifiutati, 8);
    EXPECT_EQ(senzaIndicePrimario,
              (std::vector<std::string>{"TypSammlung.DB", "biolife.db", "country.db", "STATES.DB", "MEMBRE.DB"}));

    // Each registered entry creates a table with the sample's fields, in a data directory of
    // its own: registration accepts only what creation accepts.
    d.tabForm->LavoroDir = d.cartella.dir() + "copie/";
    for (const Registrato& r : registrati) {
        SCOPED_TRACE(r.nome);
        ASSERT_TRUE(g.vaiA(r.nome));
        const std::string errore = erroreDi([&] { EXPECT_TRUE(g.CreaTabCorrente()); });
        ASSERT_EQ(errore, "nessun errore");
        paradox::Table copia;
        copia.setDatabaseName(d.tabForm->LavoroDir + "campioni/");
        copia.setTableName(r.nome + ".DB");
        copia.open();
        copia.updateFieldDefs();
        EXPECT_EQ(copia.fieldDefs, r.campi);
        EXPECT_EQ(copia.file().keyFields(), r.chiave);
    }
}

}  // namespace
}  // namespace korva
