#include "invarianti_riparazione.h"

#include "base/errore.h"
#include "base/mem_env.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/pager.h"

#include <map>
#include <optional>

namespace korva::test {

using namespace paradox;

namespace {

// The table of a family, open in memory.
struct Aperta {
    MemEnv mem;
    std::unique_ptr<TableFile> tabella;
    explicit Aperta(const FamigliaTabella& f)
    {
        mem.createDir("/r");
        for (const auto& [nome, byte] : f.file)
            mem.put("/r/" + nome, byte);
        tabella = std::make_unique<TableFile>(mem, "/r", f.db, true, f.db, OpenFor::Use);
    }
};

std::string senzaBlob(const std::uint8_t* p, int n, const std::vector<FieldInfo>& campi)
{
    std::string byte(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
    for (const FieldInfo& c : campi)
        if (isBlob(c.def.type))
            std::fill_n(byte.begin() + c.offset, c.bytes, '\0');
    return byte;
}

// The values the blob fields of `record` have in the memo file `mb` (nullptr: none); "" for
// a reference that does not read.
std::vector<std::string> blobIn(const std::string* mb, const std::string& record, const std::vector<FieldInfo>& campi)
{
    MemEnv mem;
    std::unique_ptr<PagedFile> file;
    std::unique_ptr<BlobStore> store;
    if (mb) {
        mem.put("/m", *mb);
        file = std::make_unique<PagedFile>(mem.open("/m", OpenMode::Read), "m", 4096, 4096);
        store = std::make_unique<BlobStore>(*file, "m");
    }
    std::vector<std::string> out;
    for (const FieldInfo& c : campi)
        if (isBlob(c.def.type)) {
            try {
                out.push_back(BlobStore::read(store.get(), reinterpret_cast<const std::uint8_t*>(record.data()) + c.offset, c.bytes - 10, "m"));
            } catch (const Error&) {
                out.emplace_back();
            }
        }
    return out;
}

}  // namespace

std::vector<RecordGrezzo> recordDi(const FamigliaTabella& f)
{
    Aperta a(f);
    TableFile& t = *a.tabella;
    const RecordSet r = t.allRecords();
    std::vector<RecordGrezzo> out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        RecordGrezzo g{senzaBlob(r.at(i), t.recordSize(), t.fields()), {}};
        for (std::size_t c = 0; c < t.fields().size(); ++c)
            if (isBlob(t.fields()[c].def.type)) {
                try {
                    g.blob.push_back(t.readStoredBlob(r.at(i), static_cast<int>(c)));
                } catch (const Error&) {
                    g.blob.push_back("<illeggibile>");
                }
            }
        out.push_back(std::move(g));
    }
    return out;
}

FamigliaSana::FamigliaSana(FamigliaTabella f) : famiglia(std::move(f))
{
    Aperta a(famiglia);
    TableFile& t = *a.tabella;
    campi = t.fields();
    dimensioneRecord = t.recordSize();
    dimensioneIntestazione = t.header().headerSize;
    dimensioneBlocco = t.header().blockSize;
    record = recordDi(famiglia);
    const RecordSet r = t.allRecords();
    int prima = -1, n = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const int b = r.blocks[i];
        n = b == prima ? n + 1 : 0;
        if (b != prima)
            catena.push_back(b);
        prima = b;
        completi.emplace_back(reinterpret_cast<const char*>(r.at(i)), static_cast<std::size_t>(dimensioneRecord));
        offset.push_back(inizioBlocco(b) + 6 + static_cast<std::size_t>(n) * static_cast<std::size_t>(dimensioneRecord));
    }
}

std::size_t FamigliaSana::inizioBlocco(int b) const
{
    return static_cast<std::size_t>(dimensioneIntestazione) + static_cast<std::size_t>(b - 1) * static_cast<std::size_t>(dimensioneBlocco);
}

std::string grezzoA(const FamigliaSana& sana, const std::string& db, std::size_t offset)
{
    if (offset + static_cast<std::size_t>(sana.dimensioneRecord) > db.size())
        return {};
    return senzaBlob(reinterpret_cast<const std::uint8_t*>(db.data()) + offset, sana.dimensioneRecord, sana.campi);
}

std::vector<std::string> invariantiRotti(const FamigliaSana& sana, const FamigliaTabella& danneggiata,
                                          const EsitoRiparazione& esito, const FamigliaTabella* riparata, bool contoTestimoniato)
{
    std::vector<std::string> out;
    if (!esito.riparata || !riparata)
        return out;
    const std::vector<RecordGrezzo> dopo = recordDi(*riparata);
    // Each place of the sound file, by the bytes found there before and after the damage.
    std::map<std::string, std::vector<std::size_t>> luoghi;
    const std::string* db = danneggiata.dati(danneggiata.db);
    for (std::size_t i = 0; i < sana.record.size(); ++i) {
        luoghi[sana.record[i].byte].push_back(i);
        const std::string ora = db ? grezzoA(sana, *db, sana.offset[i]) : std::string();
        if (!ora.empty() && ora != sana.record[i].byte)
            luoghi[ora].push_back(i);
    }
    std::vector<char> preso(sana.record.size(), 0);
    std::size_t memoVuoti = 0;
    for (const RecordGrezzo& r : dopo) {
        const auto it = luoghi.find(r.byte);
        std::size_t quale = sana.record.size();
        if (it != luoghi.end())
            for (std::size_t i : it->second)
                if (!preso[i]) {
                    quale = i;
                    break;
                }
        if (quale == sana.record.size()) {
            out.push_back("record che non era nella tabella: " + toHex(r.byte.substr(0, 16)));
            continue;
        }
        preso[quale] = 1;
        // A memo as it was, or as the damage left it in the memo file at its own place.
        std::optional<std::vector<std::string>> comeOra, doveOra;
        for (std::size_t b = 0; b < r.blob.size(); ++b) {
            if (r.blob[b] == sana.record[quale].blob[b])
                continue;
            const std::string* mb = danneggiata.dati(danneggiata.mb);
            if (!comeOra)
                comeOra = blobIn(mb, sana.completi[quale], sana.campi);
            if (!doveOra && db && sana.offset[quale] + sana.completi[quale].size() <= db->size())
                doveOra = blobIn(mb, db->substr(sana.offset[quale], sana.completi[quale].size()), sana.campi);
            if (r.blob[b] == (*comeOra)[b] || (doveOra && r.blob[b] == (*doveOra)[b]))
                continue;
            if (r.blob[b].empty())
                ++memoVuoti;
            else
                out.push_back("memo diverso da quello che il record aveva: " + toHex(r.byte.substr(0, 16)));
        }
    }
    if (memoVuoti > esito.memoPersi.size())
        out.push_back(std::to_string(memoVuoti) + " memo vuoti, " + std::to_string(esito.memoPersi.size()) + " detti persi");
    if (esito.recuperati != dopo.size())
        out.push_back(std::to_string(esito.recuperati) + " record detti recuperati, " + std::to_string(dopo.size()) + " nella tabella");
    const std::size_t spariti = sana.record.size() - std::min(sana.record.size(), dopo.size());
    if (spariti > 0 && (esito.persi == 0 || !esito.conPerdite()))
        out.push_back(std::to_string(spariti) + " record spariti, detti 0 persi");
    if (contoTestimoniato && esito.persi != spariti)
        out.push_back(std::to_string(esito.persi) + " record detti persi, spariti " + std::to_string(spariti));
    const std::vector<std::string> rilievi = verificaFamiglia(*riparata);
    if (!rilievi.empty())
        out.push_back("la tabella riparata non supera la verifica: " + rilievi.front());
    return out;
}

}  // namespace korva::test
