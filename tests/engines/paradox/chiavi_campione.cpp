#include "chiavi_campione.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>

namespace korva::test {
namespace {

class Lettore {
public:
    explicit Lettore(const std::string& percorso) : percorso_(percorso)
    {
        std::ifstream in(percorso, std::ios::binary);
        if (!in)
            throw std::runtime_error(percorso + ": non leggibile");
        byte_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::size_t dimensione() const { return byte_.size(); }

    void richiedi(std::size_t off, std::size_t n, const char* cosa) const
    {
        if (off > byte_.size() || n > byte_.size() - off)
            throw std::runtime_error(percorso_ + ": " + cosa + " oltre la fine del file");
    }
    std::uint8_t u8(std::size_t off) const
    {
        richiedi(off, 1, "byte");
        return static_cast<std::uint8_t>(byte_[off]);
    }
    std::uint16_t u16(std::size_t off) const { return static_cast<std::uint16_t>(u8(off) | u8(off + 1) << 8); }
    std::uint32_t u32(std::size_t off) const { return u16(off) | static_cast<std::uint32_t>(u16(off + 2)) << 16; }
    std::string_view pezzo(std::size_t off, std::size_t n, const char* cosa) const
    {
        richiedi(off, n, cosa);
        return std::string_view(byte_).substr(off, n);
    }
    // A NUL-terminated string starting at off; returns the offset after the NUL.
    std::size_t stringa(std::size_t off, std::string& out) const
    {
        for (std::size_t i = off; i < byte_.size(); ++i)
            if (byte_[i] == 0) {
                out.assign(byte_, off, i - off);
                return i + 1;
            }
        throw std::runtime_error(percorso_ + ": stringa senza fine nell'intestazione");
    }
    const std::string& percorso() const { return percorso_; }

private:
    std::string percorso_;
    std::string byte_;
};

bool tabellaOX(std::uint8_t tipo) { return tipo == 0 || tipo == 2 || tipo == 3 || tipo == 5 || tipo == 6 || tipo == 8; }

IntestazioneFile intestazione(const Lettore& f)
{
    IntestazioneFile h;
    h.tipoFile = f.u8(0x04);
    if (h.tipoFile > 8)
        throw std::runtime_error(f.percorso() + ": tipo di file sconosciuto");
    h.numRecord = f.u32(0x06);
    h.versione = f.u8(0x39);
    h.sortOrder = f.u8(0x29);
    h.flagIndice = f.u8(0x55);
    const std::size_t numCampi = f.u16(0x21);
    if (numCampi == 0 || numCampi > 255)
        throw std::runtime_error(f.percorso() + ": numero di campi fuori misura");
    const bool datiLivello4 = tabellaOX(h.tipoFile) && h.versione >= 5;
    const std::uint32_t cifratura1 = f.u32(0x25);
    h.cifrata = (cifratura1 != 0 && cifratura1 != 0xFF00FF00u) || (datiLivello4 && f.u32(0x5C) != 0);

    std::size_t off = datiLivello4 ? 0x78 : 0x58;
    for (std::size_t i = 0; i < numCampi; ++i) {
        const std::uint8_t tipo = f.u8(off + 2 * i);
        const std::uint8_t dim = f.u8(off + 2 * i + 1);
        h.campi.push_back({tipo, tipo == 0x17 ? std::size_t{17} : std::size_t{dim}});
        if (h.campi.back().dimensione == 0)
            throw std::runtime_error(f.percorso() + ": campo di dimensione zero");
    }
    h.campiChiave = h.tipoFile == 1 || h.tipoFile == 4 || h.tipoFile == 7 ? numCampi : f.u16(0x23);
    if (h.campiChiave > numCampi)
        throw std::runtime_error(f.percorso() + ": più campi chiave che campi");
    if (!tabellaOX(h.tipoFile))
        return h;

    off += 2 * numCampi + 4 + 4 * numCampi + (h.versione >= 0x0C ? 261 : 79);
    for (std::size_t i = 0; i < numCampi; ++i) {
        h.nomi.emplace_back();
        off = f.stringa(off, h.nomi.back());
    }
    if (datiLivello4) {
        const std::size_t numeri = 0x58 + std::size_t{f.u16(0x66)};
        for (std::size_t i = 0; i < numCampi; ++i)
            h.numeriCampo.push_back(f.u16(numeri + 2 * i));
        f.stringa(0x58 + std::size_t{f.u16(0x6E)}, h.sortOrderId);
        h.codePage = f.u16(0x6A);
    }
    return h;
}

struct Geometria {
    std::size_t inizio;      // offset of block 1
    std::size_t blocco;      // block size
    std::size_t lunghezza;   // record size
    std::uint16_t blocchi;   // blocks in the file
};

Geometria geometria(const Lettore& f)
{
    Geometria g{f.u16(0x02), std::size_t{f.u8(0x05)} * 1024, f.u16(0x00), f.u16(0x0C)};
    if (g.blocco == 0 || g.blocco > 32 * 1024 || g.lunghezza == 0 || g.inizio < 0x58)
        throw std::runtime_error(f.percorso() + ": intestazione incoerente");
    return g;
}

// The records of one block: where they start and how many there are.
std::pair<std::size_t, std::size_t> contenutoBlocco(const Lettore& f, const Geometria& g, std::uint16_t numero)
{
    if (numero == 0 || numero > g.blocchi)
        throw std::runtime_error(f.percorso() + ": blocco " + std::to_string(numero) + " fuori dal file");
    const std::size_t off = g.inizio + (std::size_t{numero} - 1) * g.blocco;
    const auto aggiunti = static_cast<std::int16_t>(f.u16(off + 4));
    const long record = aggiunti / static_cast<long>(g.lunghezza) + 1;
    if (aggiunti % static_cast<long>(g.lunghezza) != 0 || record < 0 ||
        static_cast<std::size_t>(record) > (g.blocco - 6) / g.lunghezza)
        throw std::runtime_error(f.percorso() + ": conteggio record errato nel blocco " + std::to_string(numero));
    f.richiedi(off + 6, static_cast<std::size_t>(record) * g.lunghezza, "record");
    return {off + 6, static_cast<std::size_t>(record)};
}

// The S-encoded short (big-endian, top bit flipped) of index entries.
std::uint16_t shortIndice(std::string_view b)
{
    return static_cast<std::uint16_t>(((static_cast<unsigned char>(b[0]) ^ 0x80) << 8) | static_cast<unsigned char>(b[1]));
}

}  // namespace

IntestazioneFile leggiIntestazione(const std::string& percorso) { return intestazione(Lettore(percorso)); }

FileRecord leggiRecord(const std::string& percorso)
{
    const Lettore f(percorso);
    FileRecord out;
    out.testa = intestazione(f);
    if (!tabellaOX(out.testa.tipoFile))
        throw std::runtime_error(percorso + ": non è un file di record");
    if (out.testa.cifrata)
        throw std::runtime_error(percorso + ": tabella cifrata");
    const Geometria g = geometria(f);
    std::size_t off = 0;
    for (const CampoFile& c : out.testa.campi) {
        out.inizioCampo.push_back(off);
        off += c.dimensione;
    }
    if (off != g.lunghezza)
        throw std::runtime_error(percorso + ": i campi non coprono il record");

    std::set<std::uint16_t> visti;
    for (std::uint16_t numero = f.u16(0x0E); numero != 0;) {
        if (!visti.insert(numero).second)
            throw std::runtime_error(percorso + ": catena di blocchi chiusa ad anello");
        const auto [inizio, quanti] = contenutoBlocco(f, g, numero);
        out.blocchi.push_back({numero, out.record.size(), quanti});
        for (std::size_t r = 0; r < quanti; ++r)
            out.record.emplace_back(f.pezzo(inizio + r * g.lunghezza, g.lunghezza, "record"));
        numero = f.u16(g.inizio + (std::size_t{numero} - 1) * g.blocco);
    }
    if (out.record.size() != out.testa.numRecord)
        throw std::runtime_error(percorso + ": la catena non porta tutti i record dell'intestazione");
    return out;
}

FileIndice leggiIndice(const std::string& percorso)
{
    const Lettore f(percorso);
    FileIndice out;
    out.testa = intestazione(f);
    const std::uint8_t tipo = out.testa.tipoFile;
    if (tipo != 1 && tipo != 4 && tipo != 7)
        throw std::runtime_error(percorso + ": non è un indice ad albero");
    const Geometria g = geometria(f);
    std::size_t chiave = 0;
    for (const CampoFile& c : out.testa.campi)
        chiave += c.dimensione;
    if (chiave + 6 != g.lunghezza)
        throw std::runtime_error(percorso + ": voce d'indice di lunghezza inattesa");
    const std::uint8_t livelli = f.u8(0x20);
    if (livelli == 0)
        return out;

    // Returns the first key below the block, so that the caller can check its own entry.
    std::function<std::string(std::uint16_t, int)> visita = [&](std::uint16_t numero, int livello) {
        const auto [inizio, quanti] = contenutoBlocco(f, g, numero);
        if (quanti == 0)
            throw std::runtime_error(percorso + ": blocco d'indice vuoto nell'albero");
        std::string prima;
        for (std::size_t r = 0; r < quanti; ++r) {
            const std::string_view voce = f.pezzo(inizio + r * g.lunghezza, g.lunghezza, "voce");
            const std::string k(voce.substr(0, chiave));
            const std::uint16_t figlio = shortIndice(voce.substr(chiave, 2));
            const std::uint16_t conteggio = shortIndice(voce.substr(chiave + 2, 2));
            if (r == 0)
                prima = k;
            if (livello == 1) {
                out.foglie.push_back({k, figlio, conteggio});
            } else if (visita(figlio, livello - 1) != k) {
                throw std::runtime_error(percorso + ": voce di livello " + std::to_string(livello) +
                                         " diversa dalla prima chiave del blocco " + std::to_string(figlio));
            }
        }
        return prima;
    };
    visita(f.u16(0x1E), livelli);
    return out;
}

}  // namespace korva::test
