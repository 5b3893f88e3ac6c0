#include "maintenance/integrita_dati.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table_internal.h"

#include <cmath>
#include <cstring>
#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

// The five bytes the Windows Western code page leaves undefined.
bool indefinitoIn1252(std::uint8_t c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// The layout from a header that was read.
void tracciatoDaIntestazione(LetturaDati& d, const Header& h)
{
    const int cp = h.effectiveCodePage();
    int off = 0;
    for (int i = 0; i < h.numFields(); ++i) {
        FieldInfo fi;
        const auto tipo = typeFromCode(h.types[static_cast<std::size_t>(i)]);
        if (!tipo)
            throw Error("tipo sconosciuto del campo " + std::to_string(i + 1));
        fi.def.type = *tipo;
        fi.def.size = sizeFromHeaderByte(fi.def.type, h.sizes[static_cast<std::size_t>(i)]);
        if (i < static_cast<int>(h.names.size()))
            fi.def.name = codepage::toUtf8(h.names[static_cast<std::size_t>(i)], cp);
        fi.offset = off;
        fi.bytes = recordBytes(fi.def.type, fi.def.size);
        off += fi.bytes;
        d.campi.push_back(fi);
    }
    if (off != h.recordSize)
        throw Error("dimensione del record " + std::to_string(h.recordSize) + " diversa da quella dei campi (" +
                    std::to_string(off) + ")");
    d.campiChiave = h.keyFields;
    d.dimensioneRecord = h.recordSize;
    d.dimensioneIntestazione = h.headerSize;
    d.dimensioneBlocco = h.blockSize;
    d.codePage = cp;
    const int cpOrdine = h.hasDataHeader ? h.codePage : 0;
    d.ordine = knowledgeCollationFor(h.sortOrder, h.sortOrderId, cpOrdine);
}

void tracciatoDaRipiego(LetturaDati& d, const Tracciato& t)
{
    int off = 0;
    for (const FieldDef& c : t.campi) {
        FieldInfo fi;
        fi.def = c;
        fi.offset = off;
        fi.bytes = recordBytes(c.type, c.size);
        off += fi.bytes;
        d.campi.push_back(fi);
    }
    d.campiChiave = t.campiChiave;
    d.dimensioneRecord = off;
    d.dimensioneIntestazione = t.dimensioneIntestazione;
    d.dimensioneBlocco = t.dimensioneBlocco;
    d.codePage = t.codePage;
    d.ordine = collationFor(kNewSortOrder, kNewSortOrderId, t.codePage);
}

// Why a record cannot be read whole; empty when every value decodes.
std::string difettoRecord(const LetturaDati& d, const std::uint8_t* rec)
{
    for (const FieldInfo& f : d.campi) {
        const std::uint8_t* v = rec + f.offset;
        // Blob references are the memo file's to judge: the record itself can be whole.
        if (isBlob(f.def.type))
            continue;
        const std::string perche = difettoValore(f, v, d.codePage);
        if (!perche.empty())
            return "campo " + f.def.name + ": " + perche;
    }
    return {};
}

}  // namespace

std::string luogo(const std::string& file, int blocco, int posizione)
{
    std::string s = file;
    if (blocco > 0)
        s.append(", blocco ").append(std::to_string(blocco));
    if (posizione > 0)
        s.append(", record ").append(std::to_string(posizione));
    return s;
}

std::string difettoValore(const FieldInfo& f, const std::uint8_t* p, int codePage)
{
    const auto n = static_cast<std::size_t>(f.bytes);
    if (f.def.type == FieldType::Bcd ? (p[0] & 0x40) == 0 && allZero(p, n) : allZero(p, n))
        return {};
    switch (f.def.type) {
    case FieldType::Alpha: {
        const std::size_t len = strnlen(reinterpret_cast<const char*>(p), n);
        if (!allZero(p + len, n - len))
            return "byte dopo la fine del testo";
        for (std::size_t i = 0; i < len; ++i)
            if (p[i] < 0x20 || (codePage == 1252 && indefinitoIn1252(p[i])))
                return "carattere non valido nel testo (codice " + std::to_string(p[i]) + ")";
        return {};
    }
    case FieldType::Date: {
        const std::int64_t giorni = detail::getInt(p, 4);
        if (giorni < -dateToDays(Date{9999, 12, 31}) || giorni > dateToDays(Date{9999, 12, 31}))
            return "data non valida";
        return {};
    }
    case FieldType::Time: {
        const std::int64_t ms = detail::getInt(p, 4);
        if (ms < 0 || ms >= 86400000)
            return "ora non valida";
        return {};
    }
    case FieldType::Timestamp: {
        const double ms = decodeDouble(loadBE(p, 8));
        if (!std::isfinite(ms) || ms < 0)
            return "data e ora non valide";
        try {
            if (timestampDay(ms) > dateToDays(Date{9999, 12, 31}))
                return "data e ora non valide";
        } catch (const Error&) {
            return "data e ora non valide";
        }
        return {};
    }
    case FieldType::Number:
    case FieldType::Money:
        if (!std::isfinite(decodeDouble(loadBE(p, 8))))
            return "numero non valido";
        return {};
    case FieldType::Logical:
        if (p[0] != 0x80 && p[0] != 0x81)
            return "valore logico non valido";
        return {};
    default:
        return {};
    }
}

std::string testoChiave(const LetturaDati& d, const std::uint8_t* rec)
{
    std::string testo;
    for (int i = 0; i < d.campiChiave; ++i) {
        const FieldInfo& f = d.campi[static_cast<std::size_t>(i)];
        if (i)
            testo += ", ";
        testo += f.def.name;
        testo += " = ";
        testo += detail::valueText(f, rec + f.offset, d.codePage);
    }
    return testo;
}

int confrontaChiavi(const LetturaDati& d, const std::uint8_t* a, const std::uint8_t* b)
{
    if (!d.ordine || d.ordine->byteOrder())
        return std::memcmp(a, b, static_cast<std::size_t>(d.byteChiave));
    for (int i = 0; i < d.campiChiave; ++i) {
        const FieldInfo& f = d.campi[static_cast<std::size_t>(i)];
        int c;
        if (f.def.type == FieldType::Alpha) {
            auto testo = [&](const std::uint8_t* p) {
                return std::string_view(reinterpret_cast<const char*>(p + f.offset),
                                        strnlen(reinterpret_cast<const char*>(p + f.offset), static_cast<std::size_t>(f.bytes)));
            };
            c = d.ordine->compare(testo(a), testo(b));
        } else {
            c = std::memcmp(a + f.offset, b + f.offset, static_cast<std::size_t>(f.bytes));
        }
        if (c)
            return c;
    }
    return 0;
}

LetturaDati leggiDati(const std::string& nome, const std::string& dati, const Tracciato* ripiego)
{
    LetturaDati d;
    d.file = nome;
    auto rilievo = [&](std::string s) { d.rilievi.push_back(std::move(s)); };
    const auto* base = reinterpret_cast<const std::uint8_t*>(dati.data());
    const std::uint64_t dimensione = dati.size();
    try {
        // Counts are checked against the file below, one by one, instead of refusing the header.
        Header h = parseHeader(base, dati.size(), std::uint64_t{1} << 40, nome);
        if (h.fileType != FileType::KeyedDb && h.fileType != FileType::UnkeyedDb)
            throw Error("il file non è una tabella ma un file indice");
        if ((h.fileType == FileType::KeyedDb) != (h.keyFields > 0))
            throw Error("tipo di file e campi chiave incoerenti");
        if (h.encrypted)
            throw Error("tabella protetta da password: il contenuto non si può leggere");
        tracciatoDaIntestazione(d, h);
        if (h.hasDataHeader && !codepage::supported(h.codePage))
            rilievo(nome + ": intestazione: code page " + std::to_string(h.codePage) + " sconosciuta");
        d.intestazione = std::move(h);
    } catch (const Error& e) {
        rilievo(nome + ": intestazione illeggibile: " + e.what());
        d.campi.clear();
        if (!ripiego || ripiego->campi.empty())
            return d;
        tracciatoDaRipiego(d, *ripiego);
    }
    for (int i = 0; i < d.campiChiave; ++i)
        d.byteChiave += d.campi[static_cast<std::size_t>(i)].bytes;
    const int rs = d.dimensioneRecord, bs = d.dimensioneBlocco;
    const int capienza = (bs - 6) / rs;
    const std::uint64_t hs = static_cast<std::uint64_t>(d.dimensioneIntestazione);
    const int blocchiNelFile =
        dimensione <= hs ? 0 : static_cast<int>(std::min<std::uint64_t>((dimensione - hs + bs - 1) / bs, 0xFFFF));
    const int ultimoBlocco = d.intestazione ? std::max(d.intestazione->fileBlocks, blocchiNelFile) : blocchiNelFile;
    if (d.intestazione) {
        const Header& h = *d.intestazione;
        const std::uint64_t attesa = hs + static_cast<std::uint64_t>(h.fileBlocks) * bs;
        // A last block the writer never filled up is not a fault.
        if (blocchiNelFile < h.fileBlocks)
            rilievo(nome + ": il file è più corto dei suoi " + std::to_string(h.fileBlocks) + " blocchi (" +
                    std::to_string(dimensione) + " byte invece di " + std::to_string(attesa) + ")");
        else if (blocchiNelFile > h.fileBlocks)
            rilievo(nome + ": il file ha " + std::to_string(blocchiNelFile) + " blocchi, l'intestazione ne dichiara " +
                    std::to_string(h.fileBlocks));
    }

    // What each block is: 0 unknown, 1 chain, 2 free.
    std::vector<int> stato(static_cast<std::size_t>(ultimoBlocco) + 1, 0);
    auto blocco = [&](int b) -> const std::uint8_t* {
        const std::uint64_t inizio = hs + static_cast<std::uint64_t>(b - 1) * bs;
        return inizio + 6 <= dimensione ? base + inizio : nullptr;
    };
    // Records of block b that are whole in the file and decode; the others are lost.
    const std::uint8_t* precedente = nullptr;
    auto leggiBlocco = [&](int b, int quanti, bool inCatena) {
        const std::uint64_t inizio = hs + static_cast<std::uint64_t>(b - 1) * bs;
        for (int r = 0; r < quanti; ++r) {
            const std::uint64_t at = inizio + 6 + static_cast<std::uint64_t>(r) * rs;
            if (at + rs > dimensione) {
                const int persi = quanti - r;
                d.recordPersi += persi;
                d.perdite.push_back(luogo(nome, b, r + 1) + ": " + std::to_string(persi) +
                                    " record oltre la fine del file");
                rilievo(d.perdite.back());
                break;
            }
            const std::uint8_t* rec = base + at;
            const std::string difetto = difettoRecord(d, rec);
            if (!difetto.empty()) {
                ++d.recordPersi;
                d.perdite.push_back(luogo(nome, b, r + 1) + ": illeggibile, " + difetto);
                rilievo(d.perdite.back());
                continue;
            }
            if (inCatena && d.campiChiave > 0) {
                if (precedente) {
                    const int c = confrontaChiavi(d, precedente, rec);
                    if (c == 0)
                        rilievo(luogo(nome, b, r + 1) + ": chiave doppia (" + testoChiave(d, rec) + ")");
                    else if (c > 0)
                        rilievo(luogo(nome, b, r + 1) + ": chiave fuori ordine (" + testoChiave(d, rec) + " dopo " +
                                testoChiave(d, precedente) + ")");
                }
                precedente = rec;
            }
            d.record.push_back({std::string(reinterpret_cast<const char*>(rec), static_cast<std::size_t>(rs)), b, r + 1});
        }
    };
    // The count of a block: records in it, or -1 when the control word is not one.
    auto conteggio = [&](const std::uint8_t* p) {
        const int add = static_cast<std::int16_t>(get16(p + 4));
        if (add % rs != 0 || add / rs + 1 < 0 || add / rs + 1 > capienza)
            return -1;
        return add / rs + 1;
    };

    // The chain, as the header begins it.
    std::uint32_t contati = 0;
    int usati = 0, ultimo = 0;
    if (d.intestazione) {
        const Header& h = *d.intestazione;
        int prima = 0;
        for (int b = h.firstBlock; b != 0;) {
            if (b > ultimoBlocco) {
                rilievo(luogo(nome, prima) + ": collegamento in avanti a un blocco inesistente (" + std::to_string(b) + ")");
                break;
            }
            if (stato[static_cast<std::size_t>(b)]) {
                rilievo(luogo(nome, prima) + ": collegamento in avanti a un blocco già nella catena (" +
                        std::to_string(b) + ")");
                break;
            }
            const std::uint8_t* p = blocco(b);
            if (!p) {
                rilievo(luogo(nome, b) + ": blocco della catena oltre la fine del file");
                break;
            }
            const int n = conteggio(p);
            if (n < 0) {
                rilievo(luogo(nome, b) + ": conteggio dei record non valido; la catena si interrompe qui");
                break;
            }
            stato[static_cast<std::size_t>(b)] = 1;
            if (get16(p + 2) != prima)
                rilievo(luogo(nome, b) + ": collegamento all'indietro errato (" + std::to_string(get16(p + 2)) +
                        " invece di " + std::to_string(prima) + ")");
            if (n == 0)
                rilievo(luogo(nome, b) + ": blocco vuoto nella catena");
            leggiBlocco(b, n, true);
            contati += static_cast<std::uint32_t>(n);
            ++usati;
            ultimo = b;
            prima = b;
            b = get16(p);
        }
        if (contati != h.numRecords)
            rilievo(nome + ": l'intestazione dichiara " + std::to_string(h.numRecords) + " record, la catena ne ha " +
                    std::to_string(contati));
        if (usati != h.usedBlocks)
            rilievo(nome + ": l'intestazione dichiara " + std::to_string(h.usedBlocks) +
                    " blocchi in uso, la catena ne ha " + std::to_string(usati));
        if (ultimo != h.lastBlock)
            rilievo(nome + ": l'intestazione indica come ultimo il blocco " + std::to_string(h.lastBlock) +
                    ", la catena finisce al blocco " + std::to_string(ultimo));
        for (int f = h.firstFree, prima2 = 0; f != 0;) {
            if (f > ultimoBlocco || stato[static_cast<std::size_t>(f)] || !blocco(f)) {
                rilievo(luogo(nome, prima2) + ": elenco dei blocchi liberi non valido al blocco " + std::to_string(f));
                break;
            }
            stato[static_cast<std::size_t>(f)] = 2;
            prima2 = f;
            f = get16(blocco(f));
        }
    }

    // Blocks neither in the chain nor free: their records were lost by the chain.
    for (int b = 1; b <= ultimoBlocco; ++b) {
        if (stato[static_cast<std::size_t>(b)])
            continue;
        const std::uint8_t* p = blocco(b);
        if (!p)
            continue;
        const int n = conteggio(p);
        const bool collegamenti = get16(p) <= ultimoBlocco && get16(p + 2) <= ultimoBlocco;
        if (n <= 0 || !collegamenti) {
            if (d.intestazione)
                rilievo(luogo(nome, b) + ": blocco né nella catena né tra i liberi" +
                        std::string(n < 0 || !collegamenti ? ", illeggibile" : ""));
            continue;
        }
        if (d.intestazione)
            rilievo(luogo(nome, b) + ": blocco di " + std::to_string(n) + " record fuori dalla catena");
        precedente = nullptr;
        leggiBlocco(b, n, false);
    }
    return d;
}

}  // namespace korva::integrita
