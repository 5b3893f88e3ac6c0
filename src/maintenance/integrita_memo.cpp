#include "maintenance/integrita_memo.h"

#include "base/errore.h"
#include "engines/paradox/blob_store.h"
#include "engines/paradox/pager.h"

#include <cstring>

namespace korva::integrita {

using namespace paradox;

namespace {
constexpr int kUnita = 4096;
}

Memo::Memo(const std::string* dati, std::string nome, const LetturaDati& d) : nome_(std::move(nome)), presente_(dati != nullptr)
{
    for (const RecordLetto& r : d.record)
        for (const FieldInfo& c : d.campi)
            if (isBlob(c.def.type)) {
                const auto* desc = reinterpret_cast<const std::uint8_t*>(r.byte.data()) + c.offset + c.bytes - 10;
                if (get32(desc) != 0 && get32(desc + 4) != 0)
                    usati_[get32(desc)].push_back(luogo(d.file, r.blocco, r.posizione));
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
