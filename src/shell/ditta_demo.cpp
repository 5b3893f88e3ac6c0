#include "shell/ditta_demo.h"

#include "base/codepage.h"
#include "base/env.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "base/profilo.h"
#include "engines/paradox/table.h"
#include "shell/stato.h"

#include <filesystem>

namespace korva {
namespace fs = std::filesystem;

namespace {

void creaCartella(const std::string& percorso)
{
    std::error_code ec;
    fs::create_directories(percorso, ec);
    if (ec)
        throw Error("Impossibile creare la directory " + percorso + ": " + ec.message());
}

struct Ditta {
    const char* nome;
    const char* cartella;
    const char* obbedisciStato;
};

}  // namespace

void CreaNomiDit(const std::string& binDir, const std::vector<std::string>& nomi)
{
    creaCartella(binDir + "NomiDit");
    paradox::Table nomiDit;
    nomiDit.setDatabaseName(binDir + "NomiDit");
    nomiDit.setTableName("NomiDit.db");
    nomiDit.fieldDefs = {{"Codice", paradox::FieldType::Short, 0, true},
                         {"Descrizione", paradox::FieldType::Alpha, 40, false}};
    nomiDit.indexDefs = {{"", "Codice", paradox::IndexOption::Primary},
                         {"Descrizione", "Descrizione", 0}};
    nomiDit.createTable();
    nomiDit.open();
    int codice = 0;
    for (const std::string& nome : nomi) {
        nomiDit.append();
        nomiDit.field("Codice").setInteger(++codice);
        nomiDit.field("Descrizione").setString(nome);
        nomiDit.post();
    }
    nomiDit.close();
}

std::string CreaDittaDemo(const std::string& cartella)
{
    const std::string radice = fs::absolute(fs::path(cartella)).lexically_normal().string();
    const std::string base = radice.back() == kSep ? radice : radice + kSep;
    const std::string ini = base + "varnelo.ini";
    if (esisteFile(ini))
        throw Error("La ditta dimostrativa esiste già: " + ini);

    Env& env = Env::standard();
    const std::string bin = base + "bin" + kSep;
    for (const char* sotto : {"stato", "report"})
        creaCartella(bin + sotto);
    writeFileAtomic(env, bin + "stato" + kSep + "STATO.TXT", kStatoApriti);

    ProfiloPrivato profilo(ini);
    profilo.scrivi("DITTA", "Directory ditta", radice);
    const Ditta ditte[] = {
        {DittaDemo::kPrima, "alfa", "Si"},
        {DittaDemo::kSeconda, "beta", "No"},
    };
    for (const Ditta& d : ditte) {
        const std::string dir = base + d.cartella + kSep;
        for (const char* sotto : {"dati", "tracciati1", "tracciati2", "bak", "archivio"})
            creaCartella(dir + sotto);
        profilo.scrivi(d.nome, "Directory di lavoro", dir + "dati" + kSep);
        profilo.scrivi(d.nome, "Directory tracciati record", dir + "tracciati1" + kSep);
        profilo.scrivi(d.nome, "Directory tracciati record 2", dir + "tracciati2" + kSep);
        profilo.scrivi(d.nome, "Directory backup riparazioni", dir + "bak" + kSep);
        profilo.scrivi(d.nome, "Directory bin", bin);
        // A path without a host: the embedded engine opens it, no server needed. The file
        // itself is created when it is first used.
        profilo.scrivi(d.nome, "Archivio", dir + "archivio" + kSep + "ARCHIVIO.GDB");
        profilo.scrivi(d.nome, "ObbedisciStato", d.obbedisciStato);
        profilo.scrivi(d.nome, "TipoDataBase", "PARADOX");
    }

    CreaNomiDit(bin, {DittaDemo::kPrima, DittaDemo::kSeconda});

    writeFileAtomic(env, base + "ditta.cfg",
                    codepage::fromUtf8(DittaDemo::kPrima, codepage::kWindowsWestern) + "\r\n");
    return ini;
}

}  // namespace korva
