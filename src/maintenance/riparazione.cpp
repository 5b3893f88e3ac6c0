#include "maintenance/riparazione.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/mem_env.h"
#include "base/percorsi.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/index_rebuild.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"
#include "maintenance/cartelle.h"
#include "maintenance/integrita_dati.h"
#include "maintenance/conteggio_record.h"
#include "maintenance/copie_tracciato.h"
#include "maintenance/integrita_memo.h"
#include "maintenance/tracciato_famiglia.h"
#include "maintenance/verifica_integrita.h"
#include "shell/directory_ditta.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <map>
#include <optional>

namespace korva {

using namespace paradox;
using namespace integrita;

namespace {

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
    // Written beside under another name and renamed whole: a copy cut short by a full disk or
    // a kill never looks like a saved family.
    const std::string parziale = std::string(cartella).append("/.").append(copia.substr(cartella.size() + 1)).append(".incompleta");
    creaPercorso(parziale);
    if (!esisteDirectory(parziale))
        throw Error("impossibile creare la cartella di backup " + parziale);
    bool rinominata = false;
    try {
        for (const auto& [nome, byte] : f.file)
            writeFileAtomic(env, parziale + "/" + nome, byte);
        env.rename(parziale, copia);
        rinominata = true;
        env.syncDir(cartella);
    } catch (const Error&) {
        std::error_code ignorato;
        std::filesystem::remove_all(rinominata ? copia : parziale, ignorato);
        throw;
    }
    return copia;
}

// The index definitions the family's own files give: the primary key, and every secondary
// index whose .X header can be read.
std::vector<IndexDef> indiciDellaFamiglia(const FamigliaTabella& f, const std::vector<std::uint8_t>& db,
                                          const std::vector<std::uint8_t>& px, EsitoRiparazione& esito)
{
    // At the table's own place, so that what the engine says names the real files.
    MemEnv mem;
    mem.createDir(f.dir);
    auto metti = [&](const std::string& nome, const std::vector<std::uint8_t>& byte) {
        mem.put(f.dir + "/" + nome, std::string_view(reinterpret_cast<const char*>(byte.data()), byte.size()));
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
        TableFile t(mem, f.dir, f.db, true, f.db, OpenFor::Use);
        return t.indexDefs();
    } catch (const Error& e) {
        esito.note.push_back(std::string(e.what()) + ": gli indici secondari non sono stati ricostruiti dai loro file");
    }
    for (const std::string& nome : mem.list(f.dir))
        if (nome != f.db && strcasecmp(estensione(nome).c_str(), ".PX") != 0)
            mem.remove(f.dir + "/" + nome);
    TableFile t(mem, f.dir, f.db, true, f.db, OpenFor::Use);
    return t.indexDefs();
}

// The secondary indexes the dictionary describes that the family's files did not give, when
// their fields are the table's.
std::vector<IndexDef> indiciDelDizionario(const DefinizioniParadox& diz, const std::vector<IndexDef>& presenti,
                                          const std::vector<FieldDef>& campi, EsitoRiparazione& esito)
{
    auto uguali = [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; };
    std::vector<IndexDef> aggiunti;
    for (const IndexDef& ix : diz.indici) {
        if (isPrimaryIndex(ix) || std::any_of(presenti.begin(), presenti.end(), [&](const IndexDef& p) {
                return uguali(p.name, ix.name) || (uguali(p.fields, ix.fields) && p.options == ix.options);
            }))
            continue;
        const auto nomi = splitFields(ix.fields);
        const bool campiNoti = std::all_of(nomi.begin(), nomi.end(), [&](const std::string& n) {
            return std::any_of(campi.begin(), campi.end(), [&](const FieldDef& c) { return uguali(c.name, n); });
        });
        if (!campiNoti) {
            esito.note.push_back("l'indice " + ix.name + " del dizionario non è stato costruito: i suoi campi (" + ix.fields +
                                 ") non sono quelli della tabella");
            continue;
        }
        aggiunti.push_back(ix);
    }
    return aggiunti;
}

// Why a validity file cannot go with the repaired table; empty when it can. A file whose
// stamp is not the table's (`stampo`, when known) was not applied to it.
std::string difettoVal(const std::string& nome, const std::string& v, const std::vector<FieldDef>& campi, int codePage,
                       std::optional<std::uint8_t> stampo)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(v.data());
    if (v.size() < 0x35)
        return "file troppo corto";
    const std::size_t fine = get32(p + 9);
    if (fine < 0x35 || fine + 6 > v.size())
        return "la descrizione dei campi è fuori dal file";
    if (get16(p + fine) != campi.size())
        return "descrive " + std::to_string(get16(p + fine)) + " campi, la tabella ne ha " + std::to_string(campi.size());
    // Another table's, of as many fields and the same stamp, describes other types.
    const auto copia = integrita::copiaVal(nome, v, codePage);
    if (!copia)
        return "la descrizione dei campi non si legge";
    if (integrita::voto(*copia, campi) < 0)
        return "descrive campi di tipo o dimensione diversi da quelli della tabella";
    if (stampo && p[0] != *stampo)
        return "non corrispondeva alla versione della tabella (i suoi controlli non venivano applicati)";
    return {};
}

// The header of the repaired data file: the old one emptied when the layout is its own, else
// a new one with the layout established, keeping the old one's stamps and counter.
std::vector<std::uint8_t> nuovaIntestazione(const FamigliaTabella& f, const SceltaTracciato& s, const LetturaDati& d,
                                            NewTableLayout& l, EsitoRiparazione& esito)
{
    const Tracciato& t = *s.tracciato;
    for (FieldDef c : t.campi) {
        try {
            c.name = codepage::fromUtf8(c.name, t.codePage);
        } catch (const Error&) {
            // A name the code page cannot hold keeps its bytes.
        }
        l.fields.push_back(c);
    }
    l.keyFields = t.campiChiave;
    l.blockSize = t.dimensioneBlocco;
    l.codePage = t.codePage;
    const bool conIntestazione = !s.inizioIntestazione.empty();
    if (conIntestazione || s.codePage) {
        l.sortOrder = s.ordinamento;
        const Collation* c = collationFor(s.ordinamento, s.idOrdinamento, t.codePage);
        l.sortOrderId = !s.idOrdinamento.empty() || !c ? s.idOrdinamento : std::string(c->name());
    }
    l.tableName = conIntestazione ? s.nomeTabella : f.db;
    const std::uint8_t livello = levelFor(l.fields, l.blockSize > 4096);
    l.version = s.versione >= Version::V4 && s.versione <= Version::V7 ? std::max(s.versione, livello) : livello;
    if (s.comeIntestazione)
        return detail::emptiedHeader(d.intestazione->raw, false);
    std::vector<std::uint8_t> h = buildDbHeader(l);
    if (conIntestazione) {
        const std::vector<std::uint8_t>& v = s.inizioIntestazione;
        h[Hdr::ChangeCount1] = v[Hdr::ChangeCount1];
        h[Hdr::ChangeCount2] = v[Hdr::ChangeCount2];
        std::copy(v.begin() + Hdr::AutoInc, v.begin() + Hdr::AutoInc + 4, h.begin() + Hdr::AutoInc);
    } else if (const std::string* val = f.dati(f.val); val && difettoVal(*f.val, *val, l.fields, l.codePage, std::nullopt).empty()) {
        // The validity file keeps the stamp the lost header had.
        h[Hdr::ChangeCount2] = static_cast<std::uint8_t>((*val)[0]);
    }
    esito.note.push_back(f.db + ": l'intestazione è stata riscritta con il tracciato usato");
    if (!conIntestazione)
        esito.note.push_back(f.db + ": ordinamento " + l.sortOrderId + ", code page " + std::to_string(l.codePage) +
                             (s.fonteOrdinamento.empty() ? std::string(": nessun file della famiglia li indica, usati quelli delle tabelle nuove")
                                                         : std::string(", come indica ").append(s.fonteOrdinamento)));
    if (s.versione != l.version && conIntestazione)
        esito.note.push_back(f.db + ": il livello della tabella è ora " + std::to_string(l.version) + " (era " +
                             std::to_string(s.versione) + ")");
    return h;
}

// The indexes of the repaired table: those the family's files give, and those only the
// dictionary describes.
struct Indici {
    std::vector<IndexDef> dellaFamiglia, delDizionario;
};

// The empty family the records go into; gives its index definitions.
Indici famigliaVuota(const FamigliaTabella& f, const SceltaTracciato& s, const LetturaDati& d, const DefinizioniParadox* dizionario,
                     MemEnv& mem, EsitoRiparazione& esito)
{
    NewTableLayout l;
    const std::vector<std::uint8_t> db = nuovaIntestazione(f, s, d, l, esito);
    std::vector<std::uint8_t> px;
    if (l.keyFields > 0)
        px = buildPxHeader(l, db[Hdr::ChangeCount1], f.base + ".PX");
    Indici indici;
    indici.dellaFamiglia = indiciDellaFamiglia(f, db, px, esito);
    if (dizionario)
        indici.delDizionario = indiciDelDizionario(*dizionario, indici.dellaFamiglia, s.tracciato->campi, esito);
    auto metti = [&](const std::string& nome, const std::vector<std::uint8_t>& byte) {
        mem.put(f.dir + "/" + nome, std::string_view(reinterpret_cast<const char*>(byte.data()), byte.size()));
    };
    metti(f.db, db);
    if (!px.empty())
        metti(f.base + ".PX", px);
    if (std::any_of(d.campi.begin(), d.campi.end(), [](const FieldInfo& c) { return isBlob(c.def.type); }))
        metti(f.mb.value_or(f.base + ".MB"), BlobStore::newHeader());
    if (const std::string* val = f.dati(f.val)) {
        const std::string difetto = difettoVal(*f.val, *val, l.fields, l.codePage, db[Hdr::ChangeCount2]);
        if (difetto.empty())
            mem.put(f.dir + "/" + *f.val, *val);
        else
            esito.note.push_back(*f.val + ": " + difetto + ": non è stato rimesso nella tabella riparata (resta nella copia salvata)");
    }
    return indici;
}

// Every record read into the new family, in key order: a duplicate key keeps the first. Gives
// the records left out.
std::uint32_t inserisciRecord(const integrita::LetturaDati& d, const FamigliaTabella& f, MemEnv& mem, EsitoRiparazione& esito)
{
    TableFile t(mem, f.dir, f.db, true, f.db, OpenFor::Use);
    std::string perche;
    if (!t.writable(perche))
        throw Error("la tabella non si può riscrivere: " + perche);
    integrita::Memo memo(f.dati(f.mb), f.mb.value_or(f.base + ".MB"), d);
    std::map<std::string, std::string> chiavi;  // key bytes -> the record kept
    std::uint32_t doppi = 0;
    t.beginBatch();
    for (const integrita::RecordLetto& r : d.record) {
        std::string rec = r.byte;
        auto* p = reinterpret_cast<std::uint8_t*>(rec.data());
        const std::string qui = integrita::luogo(d.file, r.blocco, r.posizione);
        try {
            t.checkInsert(p);
        } catch (const Error& e) {
            ++doppi;
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
    // The counter at least the highest key the primary index shows: a number a lost record had
    // is not given again.
    if (d.campiChiave > 0 && d.campi.front().def.type == FieldType::AutoInc) {
        std::map<int, std::string> chiaviPx;
        if (fogliePx(f, d.byteChiave, d.capienza, &chiaviPx))
            for (const auto& [_, k] : chiaviPx)
                if (const std::int64_t n = detail::getInt(reinterpret_cast<const std::uint8_t*>(k.data()), 4); n > 0)
                    t.noteAutoInc(static_cast<std::uint32_t>(n));
    }
    t.endBatch(true);
    return doppi;
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
            identitaDati_ = env_.identity(dir_ + "/" + temp);
            db_ = std::move(f);
            lock_ = std::make_unique<TableLock>(env_, *db_, dir_ + "/" + base_ + ".LCK", finale, true, dir_ + "/" + finale);
        }
    }
    // Once the switch's journal is whole the table is replaced, by the next user of the table if
    // not here: a failure from then on is no repair left undone.
    void esegui(const std::vector<std::string>& via)
    {
        try {
            switchTableFiles(env_, dir_, base_, rinomine_, via);
        } catch (const Error& e) {
            if (!giornaleIntero() && !sostituita())
                throw;
            try {
                completePendingSwitch(env_, dir_, base_);
            } catch (const Error&) {
            }
            if (!sostituita())
                incompiuta_ = e.what();
        }
        fatta_ = true;
    }
    // Why the switch, begun, is left for the next user of the table to complete; empty when done.
    const std::string& incompiuta() const { return incompiuta_; }

private:
    std::string giornale() const { return dir_ + "/" + base_ + ".JSW"; }
    // The journal written to its end line: whoever opens the table next completes it.
    bool giornaleIntero() const
    {
        try {
            if (!env_.exists(giornale()))
                return false;
            const std::string testo = readWholeFile(env_, giornale());
            const std::size_t ultima = testo.size() < 2 ? std::string::npos : testo.rfind('\n', testo.size() - 2);
            return !testo.empty() && testo.back() == '\n' && ultima != std::string::npos && testo.compare(ultima + 1, 4, "END\t") == 0;
        } catch (const Error&) {
            return false;
        }
    }
    // The new data file is in the table's place (and its journal gone: every rename made).
    bool sostituita() const
    {
        try {
            return identitaDati_ && !env_.exists(giornale()) && env_.identity(dir_ + "/" + rinomine_.back().second) == identitaDati_;
        } catch (const Error&) {
            return false;
        }
    }

    Env& env_;
    std::string dir_, base_;
    std::vector<std::pair<std::string, std::string>> rinomine_;
    std::optional<FileIdentity> identitaDati_;
    std::string incompiuta_;
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
    const SceltaTracciato scelta = stabilisciTracciato(f, dizionario);
    esito.note.insert(esito.note.end(), scelta.note.begin(), scelta.note.end());
    if (!scelta.tracciato)
        throw Error(scelta.motivo);
    const LetturaDati& d = *scelta.lettura;
    const RecordAttesi attesi = recordAttesi(f, d);
    if (!attesi.numero)
        throw Error(attesi.perche);
    esito.note.insert(esito.note.end(), attesi.note.begin(), attesi.note.end());
    esito.perdite.insert(esito.perdite.end(), d.perdite.begin(), d.perdite.end());
    // Blocks lost whole, when they held anything.
    for (const BloccoPerso& b : *attesi.numero > d.neiBlocchiLetti ? d.blocchiPersi : std::vector<BloccoPerso>{}) {
        const auto n = attesi.perBlocco.find(b.blocco);
        esito.blocchiPersi.push_back(luogo(f.db, b.blocco) + " (" + b.perche + ")" +
                                     (n == attesi.perBlocco.end() ? std::string() : ", con " + std::to_string(n->second) + " record"));
    }
    for (const auto& [b, n] : attesi.perBlocco)
        if (std::none_of(d.blocchiPersi.begin(), d.blocchiPersi.end(), [&](const BloccoPerso& p) { return p.blocco == b; }))
            esito.blocchiPersi.push_back(luogo(f.db, b) + " (non più raggiunto dalla catena, secondo " + attesi.secondoPx + "), con " +
                                         std::to_string(n) + " record");
    if (*attesi.numero > d.neiBlocchiLetti && attesi.perBlocco.empty())
        esito.note.push_back("i blocchi persi contenevano in tutto " + std::to_string(*attesi.numero - d.neiBlocchiLetti) + " record");

    // Built in memory at the table's own place, so that what the engine says names the real files.
    MemEnv mem;
    mem.createDir(f.dir);
    const Indici indici = famigliaVuota(f, scelta, d, dizionario, mem, esito);
    const std::uint32_t elencati = static_cast<std::uint32_t>(d.recordPersi) + inserisciRecord(d, f, mem, esito);
    auto costruisci = [&](const std::vector<IndexDef>& quali) {
        if (quali.empty())
            return;
        Session sessione(mem);
        IndexRebuild ricostruzione(sessione, f.dir, f.db);
        ricostruzione.run(quali);
    };
    std::vector<IndexDef> tutti = indici.dellaFamiglia;
    tutti.insert(tutti.end(), indici.delDizionario.begin(), indici.delDizionario.end());
    try {
        costruisci(tutti);
        for (const IndexDef& ix : indici.delDizionario)
            esito.note.push_back("l'indice " + ix.name + " (" + ix.fields + ") è stato costruito dalla descrizione del dizionario");
    } catch (const Error& e) {
        // An index only the dictionary describes that cannot be built does not stop the repair.
        if (indici.delDizionario.empty())
            throw;
        esito.note.push_back(std::string("gli indici descritti solo dal dizionario non sono stati costruiti: ") + e.what());
        costruisci(indici.dellaFamiglia);
    }
    if (esito.recuperati > *attesi.numero)
        throw Error("i blocchi danno " + std::to_string(esito.recuperati) + " record, più dei " + std::to_string(*attesi.numero) +
                    " che la tabella aveva: alcuni non sarebbero suoi");
    // Never fewer than the records listed one by one.
    esito.persi = std::max(*attesi.numero - esito.recuperati, elencati);
    FamigliaTabella nuova = leggiFamiglia(mem, f.dir, f.db);
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
    for (const auto& b : blocchiPersi)
        r.push_back("Blocco perso: " + b);
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
        if (!presa->incompiuta().empty())
            esito.note.push_back("lo scambio dei file della tabella si è interrotto (" + presa->incompiuta() +
                                 "): lo completerà il prossimo uso della tabella");
    } catch (const Error& e) {
        esito.riparata = false;
        esito.motivo = e.what();
    }
    io.rapporto(esito.titolo(), esito.righe());
    return esito;
}

}  // namespace korva
