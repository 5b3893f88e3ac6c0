#include "maintenance/integrita_memo.h"

#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/pager.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace korva::integrita {

using namespace paradox;

namespace {
constexpr int kUnita = 4096;

// The bytes the value of a reference takes in the memo file, as its block describes them;
// nothing when the reference cannot be read (its reading says why).
std::optional<std::pair<std::uint64_t, std::uint64_t>> posto(const std::uint8_t* p, std::size_t n, std::uint32_t riferimento,
                                                             std::uint32_t lunghezza)
{
    const std::uint64_t blocco = riferimento / kUnita, inizio = blocco * kUnita;
    const unsigned indice = riferimento & 0xFF;
    if (blocco == 0 || inizio + kUnita > n)
        return std::nullopt;
    const std::uint8_t* q = p + inizio;
    if (indice == 0xFF)
        return q[0] == 2 ? std::optional(std::pair(inizio, inizio + 9 + lunghezza)) : std::nullopt;
    if (q[0] != 3 || 12 + 5 * indice + 5 > kUnita)
        return std::nullopt;
    const std::uint8_t* slot = q + 12 + 5 * indice;
    return std::pair(inizio + slot[0] * 16u, inizio + slot[0] * 16u + slot[1] * 16u);
}
}  // namespace

Memo::Memo(const std::string* dati, std::string nome, const LetturaDati& d) : nome_(std::move(nome)), presente_(dati != nullptr)
{
    std::map<std::uint32_t, std::uint32_t> lunghezze;
    for (const RecordLetto& r : d.record)
        for (const FieldInfo& c : d.campi)
            if (isBlob(c.def.type)) {
                const auto* desc = reinterpret_cast<const std::uint8_t*>(r.byte.data()) + c.offset + c.bytes - 10;
                if (get32(desc) != 0 && get32(desc + 4) != 0) {
                    usati_[get32(desc)].push_back(luogo(d.file, r.blocco, r.posizione));
                    lunghezze[get32(desc)] = get32(desc + 4);
                }
            }
    if (!dati)
        return;
    const std::string percorso = "/" + nome_;
    env_.put(percorso, *dati);
    const auto* p = reinterpret_cast<const std::uint8_t*>(dati->data());
    const std::size_t n = dati->size();
    if (n < kUnita || p[0] != 0) {
        rilievi_.push_back(nome_ + ": intestazione del file dei memo non valida");
    } else {
        if (n % kUnita != 0)
            rilievi_.push_back(nome_ + ": lunghezza del file non multipla di 4096 byte (" + std::to_string(n) + ")");
        const std::size_t blocchi = n / kUnita;
        for (std::size_t b = 1; b < blocchi;) {
            const std::uint8_t* q = p + b * kUnita;
            const int tipo = q[0], unita = get16(q + 1);
            if ((tipo != 2 && tipo != 3 && tipo != 4) || unita < 1 || b + static_cast<std::size_t>(unita) > blocchi ||
                (tipo == 3 && unita != 1)) {
                rilievi_.push_back(luogo(nome_, static_cast<int>(b)) + ": blocco di tipo " + std::to_string(tipo) + " e " +
                                   std::to_string(unita) + " unità non valido");
                ++b;
                continue;
            }
            b += static_cast<std::size_t>(unita);
        }
    }
    // Two values whose places overlap: one was written over the other, neither can be trusted.
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t>> posti;
    for (const auto& [riferimento, _] : usati_)
        if (const auto x = posto(p, n, riferimento, lunghezze.at(riferimento)); x && x->second > x->first)
            posti.emplace_back(x->first, x->second, riferimento);
    std::sort(posti.begin(), posti.end());
    for (std::size_t i = 0; i < posti.size(); ++i)
        for (std::size_t j = i + 1; j < posti.size() && std::get<0>(posti[j]) < std::get<1>(posti[i]); ++j) {
            const std::uint32_t a = std::get<2>(posti[i]), b = std::get<2>(posti[j]);
            sovrapposti_.emplace(a, usati_.at(b).front());
            sovrapposti_.emplace(b, usati_.at(a).front());
        }
    mb_ = std::make_unique<PagedFile>(env_.open(percorso, OpenMode::Read), nome_, kUnita, kUnita);
    store_ = std::make_unique<BlobStore>(*mb_, nome_);
}

Memo::~Memo() = default;

std::vector<std::string> Memo::rilieviFile() const
{
    return rilievi_;
}

std::optional<std::string> Memo::valore(const LetturaDati& d, const RecordLetto& r, const FieldInfo& campo,
                                        std::string& perche)
{
    const auto* desc = reinterpret_cast<const std::uint8_t*>(r.byte.data()) + campo.offset;
    const int leader = campo.bytes - 10;
    const std::uint32_t riferimento = get32(desc + leader), lunghezza = get32(desc + leader + 4);
    if (lunghezza == 0)
        return std::string();
    std::string valore;
    try {
        if (riferimento != 0 && !presente_)
            throw Error("la tabella non ha il file dei memo");
        valore = BlobStore::read(store_.get(), desc, leader, d.file);
    } catch (const Error& e) {
        perche = e.what();
        return std::nullopt;
    }
    // A graphic's leader holds the image, the stored value starts with its prefix.
    if (campo.def.type != FieldType::Graphic &&
        std::memcmp(desc, valore.data(), std::min<std::size_t>(valore.size(), static_cast<std::size_t>(leader))) != 0) {
        perche = "l'inizio del valore nel record è diverso da quello nel file dei memo";
        return std::nullopt;
    }
    if (const auto it = usati_.find(riferimento); riferimento != 0 && it != usati_.end() && it->second.size() > 1) {
        const std::string qui = luogo(d.file, r.blocco, r.posizione);
        const std::string& altro = it->second.front() == qui ? it->second[1] : it->second.front();
        perche = "il valore nel file dei memo è lo stesso del record " + altro.substr(d.file.size() + 2);
        return std::nullopt;
    }
    if (const auto it = sovrapposti_.find(riferimento); it != sovrapposti_.end()) {
        perche = "il valore nel file dei memo si sovrappone a quello del record " + it->second.substr(d.file.size() + 2);
        return std::nullopt;
    }
    return valore;
}

std::vector<std::string> verificaMemo(const LetturaDati& d, const std::string* dati, const std::string& nome)
{
    bool blob = false;
    for (const FieldInfo& f : d.campi)
        blob = blob || isBlob(f.def.type);
    if (!blob)
        return {};
    Memo memo(dati, nome, d);
    std::vector<std::string> rilievi = memo.rilieviFile();
    for (const RecordLetto& r : d.record)
        for (const FieldInfo& f : d.campi) {
            if (!isBlob(f.def.type))
                continue;
            std::string perche;
            if (!memo.valore(d, r, f, perche))
                rilievi.push_back(luogo(d.file, r.blocco, r.posizione) + ", campo " + f.def.name + ": " + perche);
        }
    return rilievi;
}

}  // namespace korva::integrita
