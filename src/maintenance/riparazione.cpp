#include "maintenance/riparazione.h"

#include "base/errore.h"
#include "base/mem_env.h"
#include "base/percorsi.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"
#include "maintenance/cartelle.h"
#include "maintenance/integrita_dati.h"
#include "maintenance/integrita_memo.h"
#include "maintenance/verifica_integrita.h"
#include "shell/directory_ditta.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <map>

namespace korva {

using namespace paradox;

namespace {

constexpr const char* kCostruzione = "/n";

std::string estensione(const std::string& nome)
{
    const auto punto = nome.rfind('.');
    return punto == std::string::npos ? std::string() : nome.substr(punto);
}

// The moment of the repair, as it names the folder of the saved family.
std::string momento()
{
    const std::time_t ora = std::time(nullptr);
    std::tm t{};
    localtime_r(&ora, &t);
    char testo[32];
    std::strftime(testo, sizeof testo, "%Y%m%d-%H%M%S", &t);
    return testo;
}

// The family saved byte for byte into a folder of its own under the table's backup folder,
// named by the table and the moment: the backup the user made there, or the copy an earlier
// repair saved, may be the only whole copy of the records and is never overwritten.
std::string salvaFamiglia(Env& env, const FamigliaTabella& f, const std::string& backupDir, const std::string& pathParziale)
{
    if (!directoryImpostata(backupDir))
        throw Error("la directory backup riparazioni non è impostata");
    creaPercorso(percorsoFs(backupDir + pathParziale));
    const std::string cartella = cartellaFs(backupDir + pathParziale);
    if (!esisteDirectory(cartella))
        throw Error("impossibile creare la cartella di backup " + cartella);
    if (stessaCartella(cartella, f.dir))
        throw Error("la cartella di backup " + cartella + " è quella della tabella");
    const std::string radice = std::string(cartella).append("/").append(f.base).append("-riparazione-").append(momento());
    std::string copia = radice;
    for (int n = 2; esisteDirectory(copia); ++n)
        copia = std::string(radice).append("-").append(std::to_string(n));
    creaPercorso(copia);
    if (!esisteDirectory(copia))
        throw Error("impossibile creare la cartella di backup " + copia);
    for (const auto& [nome, byte] : f.file)
        writeFileAtomic(env, copia + "/" + nome, byte);
    return copia;
}

// The layout of the data file from the dictionary's description, its records read by it. The
// header and block sizes are those the description gives a new table; when no record reads
// with them, the other sizes a table can have are tried.
integrita::LetturaDati leggiConDizionario(const FamigliaTabella& f, const DefinizioniParadox& diz, MemEnv& mem)
{
    Session s(mem);
    createTable(s, kCostruzione, f.db, diz.campi, diz.indici);
    const std::string nuovo = readWholeFile(mem, std::string(kCostruzione) + "/" + f.db);
    const Header h = parseHeader(reinterpret_cast<const std::uint8_t*>(nuovo.data()), nuovo.size(), nuovo.size(), f.db);
    integrita::Tracciato t{diz.campi, h.keyFields, h.headerSize, h.blockSize, h.effectiveCodePage()};
    const std::string& dati = f.file.at(f.db);
    integrita::LetturaDati migliore = integrita::leggiDati(f.db, dati, &t);
    if (!migliore.record.empty())
        return migliore;
    for (int kb : {1, 2, 3, 4, 8, 16, 32})
        for (int hs = 0x800; hs <= 0x8000; hs += 0x800) {
            t.dimensioneBlocco = kb * 1024;
            t.dimensioneIntestazione = hs;
            if (t.dimensioneBlocco < migliore.dimensioneRecord + 6)
                continue;
            integrita::LetturaDati prova = integrita::leggiDati(f.db, dati, &t);
            if (prova.record.size() > migliore.record.size())
                migliore = std::move(prova);
        }
    return migliore;
}

// The index definitions the family's own files give: the primary key, and every secondary
// index whose .X header can be read.
std::vector<IndexDef> indiciDellaFamiglia(const FamigliaTabella& f, const std::vector<std::uint8_t>& db,
                                          const std::vector<std::uint8_t>& px, EsitoRiparazione& esito)
{
    MemEnv mem;
    mem.createDir("/d");
    auto metti = [&](const std::string& nome, const std::vector<std::uint8_t>& byte) {
        mem.put("/d/" + nome, std::string_view(reinterpret_cast<const char*>(byte.data()), byte.size()));
    };
    metti(f.db, db);
    if (!px.empty())
        metti(f.base + ".PX", px);
    // An index is defined by its .X alone: a .Y lost or unreadable is stood in for by the
    // .X's emptied header, since only the definition is read here.
    for (const std::string& nome : f.secondari) {
        const std::string e = estensione(nome);
        if (e.size() < 2 || (e[1] != 'X' && e[1] != 'x'))
            continue;
        const std::string& byte = f.file.at(nome);
        try {
            const Header h = parseHeader(reinterpret_cast<const std::uint8_t*>(byte.data()), byte.size(), byte.size(), nome);
            metti(nome, detail::emptiedHeader(h.raw, false));
            metti(f.base + ".Y" + e.substr(2), detail::emptiedHeader(h.raw, false));
        } catch (const Error& err) {
            esito.note.push_back(nome + ": " + err.what() + ": l'indice non è stato ricostruito");
        }
    }
    try {
        TableFile t(mem, "/d", f.db, true, f.db, OpenFor::Use);
        return t.indexDefs();
    } catch (const Error& e) {
        esito.note.push_back(std::string(e.what()) + ": gli indici secondari non sono stati ricostruiti");
    }
    for (const std::string& nome : mem.list("/d"))
        if (nome != f.db && strcasecmp(estensione(nome).c_str(), ".PX") != 0)
            mem.remove("/d/" + nome);
    TableFile t(mem, "/d", f.db, true, f.db, OpenFor::Use);
    return t.indexDefs();
}

// The empty family the records go into, from the table's own headers.
std::vector<IndexDef> famigliaVuota(const FamigliaTabella& f, const integrita::LetturaDati& d, MemEnv& mem,
                                    EsitoRiparazione& esito)
{
    const Header& h = *d.intestazione;
    const std::vector<std::uint8_t> db = detail::emptiedHeader(h.raw, false);
    std::vector<std::uint8_t> px;
    if (h.keyFields > 0) {
        NewTableLayout l;
        for (const FieldInfo& c : d.campi)
            l.fields.push_back(c.def);
        l.keyFields = h.keyFields;
        l.version = h.version;
        l.blockSize = h.blockSize;
        l.codePage = h.effectiveCodePage();
        l.sortOrder = h.sortOrder;
        l.sortOrderId = h.sortOrderId;
        l.tableName = h.tableName;
        px = buildPxHeader(l, h.raw[Hdr::ChangeCount1], f.base + ".PX");
    }
    const std::vector<IndexDef> indici = indiciDellaFamiglia(f, db, px, esito);
    auto metti = [&](const std::string& nome, const std::vector<std::uint8_t>& byte) {
        mem.put(std::string(kCostruzione) + "/" + nome, std::string_view(reinterpret_cast<const char*>(byte.data()), byte.size()));
    };
    metti(f.db, db);
    if (!px.empty())
        metti(f.base + ".PX", px);
    if (std::any_of(d.campi.begin(), d.campi.end(), [](const FieldInfo& c) { return isBlob(c.def.type); }))
        metti(f.mb.value_or(f.base + ".MB"), BlobStore::newHeader());
    if (const std::string* val = f.dati(f.val))
        mem.put(std::string(kCostruzione) + "/" + *f.val, *val);
    return indici;
}

// Every record read into the new family, in key order: a duplicate key keeps the first.
void inserisciRecord(const integrita::LetturaDati& d, const FamigliaTabella& f, MemEnv& mem, EsitoRiparazione& esito)
{
    TableFile t(mem, kCostruzione, f.db, true, f.db, OpenFor::Use);
    std::string perche;
    if (!t.writable(perche))
        throw Error("la tabella non si può riscrivere: " + perche);
    integrita::Memo memo(f.dati(f.mb), f.mb.value_or(f.base + ".MB"));
    std::map<std::string, std::string> chiavi;  // key bytes -> the record kept
    t.beginBatch();
    for (const integrita::RecordLetto& r : d.record) {
        std::string rec = r.byte;
        auto* p = reinterpret_cast<std::uint8_t*>(rec.data());
        const std::string qui = integrita::luogo(d.file, r.blocco, r.posizione);
        try {
            t.checkInsert(p);
        } catch (const Error& e) {
            ++esito.persi;
            const std::string chiave = rec.substr(0, static_cast<std::size_t>(d.byteChiave));
            const auto tenuto = chiavi.find(chiave);
            esito.perdite.push_back(qui + ": chiave doppia (" + integrita::testoChiave(d, p) + "), scartato" +
                                    (tenuto == chiavi.end() ? std::string(": ") + e.what()
                                                            : "; resta il record di " + tenuto->second));
            continue;
        }
        for (std::size_t i = 0; i < d.campi.size(); ++i) {
            const FieldInfo& c = d.campi[i];
            if (c.def.type == FieldType::AutoInc)
                t.noteAutoInc(static_cast<std::uint32_t>(detail::getInt(p + c.offset, 4)));
            if (!isBlob(c.def.type))
                continue;
            const auto valore = memo.valore(d, r, c, perche);
            if (!valore)
                esito.memoPersi.push_back(qui + ", campo " + c.def.name + ": " + perche + "; lasciato vuoto");
            t.writeStoredBlob(p, static_cast<int>(i), valore.value_or(std::string()));
        }
        t.insert(p);
        chiavi.emplace(rec.substr(0, static_cast<std::size_t>(d.byteChiave)), qui);
        ++esito.recuperati;
    }
    t.endBatch(true);
}

// The new family's files written beside the table under temporary names, its data file held
// exclusively from then on (the lock stays with the file through the rename), and switched in.
class Sostituzione {
public:
    Sostituzione(Env& env, std::string dir, std::string base) : env_(env), dir_(std::move(dir)), base_(std::move(base)) {}
    ~Sostituzione()
    {
        lock_.reset();
        db_.reset();
        try {
            // Until the switch's journal is written nothing has begun: the new files go.
            if (!fatta_ && !env_.exists(dir_ + "/" + base_ + ".JSW"))
                for (const auto& [temp, _] : rinomine_)
                    if (env_.exists(dir_ + "/" + temp))
                        env_.remove(dir_ + "/" + temp);
        } catch (const Error&) {
            // Named ".tmp-<pid>-<n>": the next use of the table removes them.
        }
    }
    Sostituzione(const Sostituzione&) = delete;
    Sostituzione& operator=(const Sostituzione&) = delete;

    void scrivi(const std::string& finale, const std::string& byte, bool dati)
    {
        static std::atomic<unsigned> contatore{0};
        std::string temp = finale;
        temp.append(".tmp-").append(std::to_string(::getpid())).append("-").append(std::to_string(contatore++));
        auto f = env_.open(dir_ + "/" + temp, OpenMode::CreateNew);
        rinomine_.emplace_back(temp, finale);
        if (!byte.empty())
            f->writeAt(0, byte.data(), byte.size());
        f->sync();
        if (dati) {
            db_ = std::move(f);
            lock_ = std::make_unique<TableLock>(env_, *db_, dir_ + "/" + base_ + ".LCK", finale, true, dir_ + "/" + finale);
        }
    }
    void esegui(const std::vector<std::string>& via)
    {
        switchTableFiles(env_, dir_, base_, rinomine_, via);
        fatta_ = true;
    }

private:
    Env& env_;
    std::string dir_, base_;
    std::vector<std::pair<std::string, std::string>> rinomine_;
    std::unique_ptr<File> db_;
    std::unique_ptr<TableLock> lock_;
    bool fatta_ = false;
};

// The repaired family switched in place of the damaged one; the table stays held by the
// returned switch until it goes.
std::unique_ptr<Sostituzione> sostituisci(Env& env, const FamigliaTabella& vecchia, const FamigliaTabella& nuova)
{
    auto s = std::make_unique<Sostituzione>(env, vecchia.dir, vecchia.base);
    std::vector<std::string> presi;
    for (const auto& [nome, byte] : nuova.file) {
        std::string finale = nome;
        for (const auto& [v, _] : vecchia.file)
            if (strcasecmp(v.c_str(), nome.c_str()) == 0)
                finale = v;
        presi.push_back(finale);
        if (nome != nuova.db)
            s->scrivi(finale, byte, false);
    }
    // The data file last.
    s->scrivi(vecchia.db, nuova.file.at(nuova.db), true);
    std::vector<std::string> via;
    for (const auto& [v, _] : vecchia.file)
        if (std::find(presi.begin(), presi.end(), v) == presi.end())
            via.push_back(v);
    s->esegui(via);
    return s;
}

}  // namespace

FamigliaTabella ricostruisci(const FamigliaTabella& f, const DefinizioniParadox* dizionario, EsitoRiparazione& esito)
{
    MemEnv mem;
    mem.createDir(kCostruzione);
    integrita::LetturaDati d = integrita::leggiDati(f.db, f.file.at(f.db));
    std::vector<IndexDef> indici;
    if (d.intestazione) {
        indici = famigliaVuota(f, d, mem, esito);
    } else {
        if (!dizionario)
            throw Error("l'intestazione è illeggibile e il dizionario non descrive la tabella");
        d = leggiConDizionario(f, *dizionario, mem);
        indici = dizionario->indici;
        esito.note.push_back("intestazione illeggibile: la tabella è stata ricostruita con il tracciato del dizionario");
        if (f.val)
            esito.note.push_back(*f.val + ": non conservato, apparteneva all'intestazione perduta");
    }
    esito.persi += static_cast<std::uint32_t>(d.recordPersi);
    esito.perdite.insert(esito.perdite.end(), d.perdite.begin(), d.perdite.end());
    inserisciRecord(d, f, mem, esito);
    if (!indici.empty()) {
        Session sessione(mem);
        IndexRebuild ricostruzione(sessione, kCostruzione, f.db);
        ricostruzione.run(indici);
    }
    if (d.intestazione && d.intestazione->numRecords != esito.recuperati + esito.persi)
        esito.note.push_back("l'intestazione dichiarava " + std::to_string(d.intestazione->numRecords) + " record");
    FamigliaTabella nuova = leggiFamiglia(mem, kCostruzione, f.db);
    const std::vector<std::string> rilievi = verificaFamiglia(nuova);
    if (!rilievi.empty())
        throw Error("la tabella ricostruita non supera la verifica: " + rilievi.front());
    return nuova;
}

std::string EsitoRiparazione::titolo() const
{
    if (!riparata)
        return "Riparazione della tabella " + tabella + " non eseguita: " + motivo;
    std::string t = "Riparazione della tabella " + tabella + " completata: ";
    t.append(std::to_string(recuperati)).append(recuperati == 1 ? " record recuperato, " : " record recuperati, ");
    t.append(std::to_string(persi)).append(persi == 1 ? " perso" : " persi");
    if (!memoPersi.empty())
        t.append(", ").append(std::to_string(memoPersi.size())).append(" memo persi");
    return t;
}

std::vector<std::string> EsitoRiparazione::righe() const
{
    std::vector<std::string> r;
    if (!copia.empty())
        r.push_back("La tabella danneggiata è stata salvata in " + copia);
    for (const auto& p : perdite)
        r.push_back("Record perso: " + p);
    for (const auto& m : memoPersi)
        r.push_back("Memo perso: " + m);
    for (const auto& n : note)
        r.push_back("Nota: " + n);
    return r;
}

EsitoRiparazione RiparaTabella(const std::string& directory, const std::string& file, const std::string& backupDir,
                               const std::string& pathParziale, Interazione& io, Env& env,
                               const DefinizioniParadox* dizionario)
{
    EsitoRiparazione esito;
    std::unique_ptr<Sostituzione> presa;  // the repaired table held until the report is read
    const std::string dir = cartellaFs(directory);
    esito.tabella = dir + "/" + file;
    try {
        const auto db = detail::findFile(env, dir, file);
        if (!db)
            throw Error("la tabella non esiste");
        esito.tabella = dir + "/" + *db;
        const FamigliaTabella f = leggiFamiglia(env, dir, *db);
        try {
            esito.copia = salvaFamiglia(env, f, backupDir, pathParziale);
        } catch (const Error& e) {
            throw Error(std::string("impossibile salvare la tabella danneggiata: ") + e.what());
        }
        presa = sostituisci(env, f, ricostruisci(f, dizionario, esito));
        esito.riparata = true;
    } catch (const Error& e) {
        esito.riparata = false;
        esito.motivo = e.what();
    }
    io.rapporto(esito.titolo(), esito.righe());
    return esito;
}

}  // namespace korva
