#include "maintenance/integrita_dati.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

// Why a record's values cannot be read; empty when each is a value of its type.
std::string difettoRecord(const LetturaDati& d, const std::uint8_t* rec)
{
    for (const FieldInfo& f : d.campi) {
        // Blob references are the memo file's to judge: the record itself can be whole.
        if (isBlob(f.def.type))
            continue;
        const std::string perche = difettoValore(f, rec + f.offset);
        if (!perche.empty())
            return "campo " + f.def.name + ": " + perche;
    }
    return {};
}

// Whether the bytes from `p` on are all zero.
bool tuttiZero(const std::uint8_t* p, std::size_t n)
{
    return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

// Positions (into `chiavi`) of a longest run of records in non-decreasing key order.
std::vector<std::size_t> piuLungaInOrdine(const LetturaDati& d, const std::vector<const std::uint8_t*>& chiavi)
{
    std::vector<std::size_t> code;                  // last record of the best run of each length
    std::vector<std::size_t> prima(chiavi.size());  // the record before each in its run
    for (std::size_t i = 0; i < chiavi.size(); ++i) {
        std::size_t lo = 0, hi = code.size();
        while (lo < hi) {
            const std::size_t m = (lo + hi) / 2;
            if (confrontaChiavi(d, chiavi[code[m]], chiavi[i]) <= 0)
                lo = m + 1;
            else
                hi = m;
        }
        prima[i] = lo > 0 ? code[lo - 1] : chiavi.size();
        if (lo == code.size())
            code.push_back(i);
        else
            code[lo] = i;
    }
    std::vector<std::size_t> tenuti;
    for (std::size_t i = code.empty() ? chiavi.size() : code.back(); i < chiavi.size(); i = prima[i])
        tenuti.push_back(i);
    std::reverse(tenuti.begin(), tenuti.end());
    return tenuti;
}

}  // namespace

int Tracciato::dimensioneRecord() const
{
    int n = 0;
    for (const FieldDef& c : campi)
        n += recordBytes(c.type, c.size);
    return n;
}

IndiziIntestazione leggiIndizi(const std::string& dati)
{
    IndiziIntestazione h;
    if (dati.size() < 0x58)
        return h;
    const auto* p = reinterpret_cast<const std::uint8_t*>(dati.data());
    h.letti = true;
    h.record = get32(p + Hdr::NumRecords);
    h.blocchiUsati = get16(p + Hdr::UsedBlocks);
    h.blocchiDelFile = get16(p + Hdr::FileBlocks);
    h.primo = get16(p + Hdr::FirstBlock);
    h.ultimo = get16(p + Hdr::LastBlock);
    h.primoLibero = get16(p + Hdr::FirstFree);
    return h;
}

IndiziIntestazione indiziSenzaIntestazione(const std::string& dati, int hs, int bs, int rs)
{
    IndiziIntestazione h;
    const Censimento c = censisci(dati, hs, bs, rs, h);
    int soli = 0, solo = 0;
    for (int b = 1; b <= c.nelFile; ++b) {
        const StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
        if (s.collegato || (s.conteggio >= 1 && !s.azzerato && s.avanti == 0 && s.indietro == 0)) {
            ++soli;
            solo = b;
        }
    }
    if (soli == 1 && !c.blocchi[static_cast<std::size_t>(solo)].collegato)
        h.primo = h.ultimo = solo;
    return h;
}

Censimento censisci(const std::string& dati, int hs, int bs, int rs, const IndiziIntestazione& h)
{
    Censimento c;
    c.dimensioneIntestazione = hs;
    c.dimensioneBlocco = bs;
    c.dimensioneRecord = rs;
    c.capienza = rs > 0 && bs > 6 ? (bs - 6) / rs : 0;
    const std::uint64_t dimensione = dati.size();
    const auto* base = reinterpret_cast<const std::uint8_t*>(dati.data());
    const std::uint64_t inizio = static_cast<std::uint64_t>(hs);
    c.nelFile = dimensione < inizio + 6 ? 0
                                        : static_cast<int>(std::min<std::uint64_t>((dimensione - inizio - 6) / bs + 1, 0xFFFF));
    const int quanti = std::max({c.nelFile, h.blocchiDelFile, h.primo, h.ultimo});
    c.blocchi.resize(static_cast<std::size_t>(quanti) + 1);
    for (int b = 1; b <= c.nelFile; ++b) {
        StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
        const std::uint64_t at = inizio + static_cast<std::uint64_t>(b - 1) * bs;
        const std::uint8_t* p = base + at;
        s.presente = true;
        s.avanti = get16(p);
        s.indietro = get16(p + 2);
        const int add = static_cast<std::int16_t>(get16(p + 4));
        if (rs > 0 && add % rs == 0 && add / rs + 1 >= 0 && add / rs + 1 <= c.capienza)
            s.conteggio = add / rs + 1;
        s.azzerato = s.avanti == 0 && s.indietro == 0 && add == 0 &&
                     tuttiZero(p, static_cast<std::size_t>(std::min<std::uint64_t>(bs, dimensione - at)));
    }
    auto presente = [&](int b) { return b >= 1 && b <= c.nelFile; };
    for (int b = 1; b <= c.nelFile; ++b) {
        StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
        if (s.avanti != b && presente(s.avanti) && c.blocchi[static_cast<std::size_t>(s.avanti)].indietro == b) {
            s.collegato = true;
            c.blocchi[static_cast<std::size_t>(s.avanti)].collegato = true;
        }
    }
    for (int f = h.primoLibero, passi = 0; presente(f) && !c.blocchi[static_cast<std::size_t>(f)].libero && passi < c.nelFile;
         ++passi) {
        c.blocchi[static_cast<std::size_t>(f)].libero = true;
        f = c.blocchi[static_cast<std::size_t>(f)].avanti;
    }
    // A chain cut short with the header made to agree: its old last block is still there, whole.
    if (h.letti && presente(h.ultimo) && c.blocchi[static_cast<std::size_t>(h.ultimo)].avanti == 0) {
        int code = 0, coda = 0;
        for (int b = 1; b <= c.nelFile; ++b) {
            const StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
            if (b != h.ultimo && s.indietro == h.ultimo && s.avanti == 0 && !s.collegato && !s.libero && !s.azzerato &&
                s.conteggio >= 1) {
                ++code;
                coda = b;
            }
        }
        if (code == 1)
            c.blocchi[static_cast<std::size_t>(coda)].coda = true;
    }
    for (int b = 1; b <= c.nelFile; ++b) {
        StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
        // A block alone is placed by the header: the first with nothing before it, the last
        // with nothing after it, and the other end not contradicting the header.
        const bool primo = b == h.primo && s.indietro == 0 && (s.avanti != 0 || b == h.ultimo);
        const bool ultimo = b == h.ultimo && s.avanti == 0 && (s.indietro != 0 || b == h.primo);
        s.fidato = s.conteggio >= 1 && !s.azzerato && (s.collegato || primo || ultimo || s.coda);
        if (s.collegato) {
            ++c.collegati;
            c.conteggiValidi += s.conteggio >= 0;
        }
    }
    return c;
}

std::string luogo(const std::string& file, int blocco, int posizione)
{
    std::string s = file;
    if (blocco > 0)
        s.append(", blocco ").append(std::to_string(blocco));
    if (posizione > 0)
        s.append(", record ").append(std::to_string(posizione));
    return s;
}

std::string difettoValore(const FieldInfo& f, const std::uint8_t* p)
{
    const auto n = static_cast<std::size_t>(f.bytes);
    if (f.def.type == FieldType::Bcd ? (p[0] & 0x40) == 0 && allZero(p, n) : allZero(p, n))
        return {};
    switch (f.def.type) {
    case FieldType::Time: {
        const std::int64_t ms = detail::getInt(p, 4);
        if (ms < 0 || ms >= 86400000)
            return "ora non valida";
        return {};
    }
    case FieldType::Timestamp: {
        const double ms = decodeDouble(loadBE(p, 8));
        if (!std::isfinite(ms))
            return "data e ora non valide";
        try {
            timestampDay(ms);
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
        // Text of any byte (also after its end), any integer, any day.
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

LetturaDati leggiDati(const std::string& nome, const std::string& dati, const Tracciato& t)
{
    LetturaDati d;
    d.file = nome;
    auto rilievo = [&](std::string s) { d.rilievi.push_back(std::move(s)); };
    const auto* base = reinterpret_cast<const std::uint8_t*>(dati.data());
    const std::uint64_t dimensione = dati.size();
    try {
        d.intestazione = parseHeader(base, dati.size(), std::uint64_t{1} << 40, nome);
    } catch (const Error&) {
        // The layout comes from `t`; what is wrong with the header is the layout's to say.
    }
    d.indizi = t.indizi;
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
    for (int i = 0; i < d.campiChiave; ++i)
        d.byteChiave += d.campi[static_cast<std::size_t>(i)].bytes;
    d.dimensioneRecord = off;
    d.dimensioneIntestazione = t.dimensioneIntestazione;
    d.dimensioneBlocco = t.dimensioneBlocco;
    d.codePage = t.codePage;
    d.ordine = t.ordine;
    d.ordineFidato = t.ordineFidato;
    const int rs = d.dimensioneRecord, bs = d.dimensioneBlocco;
    const IndiziIntestazione& h = d.indizi;
    const Censimento c = censisci(dati, d.dimensioneIntestazione, bs, rs, h);
    const int ultimoBlocco = static_cast<int>(c.blocchi.size()) - 1;
    auto stato = [&](int b) -> const StatoBlocco& { return c.blocchi[static_cast<std::size_t>(b)]; };
    auto inizio = [&](int b) {
        return static_cast<std::uint64_t>(d.dimensioneIntestazione) + static_cast<std::uint64_t>(b - 1) * bs;
    };

    // The file against the header's count of blocks (a last block not filled up is no fault).
    if (h.letti && c.nelFile < h.blocchiDelFile)
        rilievo(nome + ": il file è più corto dei suoi " + std::to_string(h.blocchiDelFile) + " blocchi (" +
                std::to_string(dimensione) + " byte invece di " + std::to_string(inizio(h.blocchiDelFile + 1)) + ")");
    else if (h.letti && c.nelFile > h.blocchiDelFile)
        rilievo(nome + ": il file ha " + std::to_string(c.nelFile) + " blocchi, l'intestazione ne dichiara " +
                std::to_string(h.blocchiDelFile));

    // The chain as the header begins it.
    std::vector<char> inCatena(static_cast<std::size_t>(ultimoBlocco) + 1, 0);
    std::vector<int> daPerdere;  // blocks of the chain that are not read
    std::uint32_t contati = 0;
    int usati = 0, ultimo = 0;
    for (int b = h.primo, prima = 0; b != 0;) {
        if (b > ultimoBlocco) {
            rilievo(luogo(nome, prima) + ": collegamento in avanti a un blocco inesistente (" + std::to_string(b) + ")");
            break;
        }
        if (inCatena[static_cast<std::size_t>(b)]) {
            rilievo(luogo(nome, prima) + ": collegamento in avanti a un blocco già nella catena (" + std::to_string(b) + ")");
            break;
        }
        inCatena[static_cast<std::size_t>(b)] = 1;
        const StatoBlocco& s = stato(b);
        if (!s.fidato)
            daPerdere.push_back(b);
        if (!s.presente) {
            rilievo(luogo(nome, b) + ": blocco della catena oltre la fine del file");
            break;
        }
        if (s.azzerato) {
            rilievo(luogo(nome, b) + ": blocco azzerato nella catena");
            break;
        }
        if (s.conteggio < 0) {
            rilievo(luogo(nome, b) + ": conteggio dei record non valido; la catena si interrompe qui");
            break;
        }
        if (s.indietro != prima)
            rilievo(luogo(nome, b) + ": collegamento all'indietro errato (" + std::to_string(s.indietro) + " invece di " +
                    std::to_string(prima) + ")");
        if (s.conteggio == 0)
            rilievo(luogo(nome, b) + ": blocco vuoto nella catena");
        contati += static_cast<std::uint32_t>(s.conteggio);
        ++usati;
        ultimo = b;
        prima = b;
        b = s.avanti;
    }
    if (h.letti && contati != h.record)
        rilievo(nome + ": l'intestazione dichiara " + std::to_string(h.record) + " record, la catena ne ha " +
                std::to_string(contati));
    if (h.letti && usati != h.blocchiUsati)
        rilievo(nome + ": l'intestazione dichiara " + std::to_string(h.blocchiUsati) + " blocchi in uso, la catena ne ha " +
                std::to_string(usati));
    if (h.letti && ultimo != h.ultimo)
        rilievo(nome + ": l'intestazione indica come ultimo il blocco " + std::to_string(h.ultimo) +
                ", la catena finisce al blocco " + std::to_string(ultimo));
    std::set<int> liberiVisti;
    for (int f = h.primoLibero, prima = 0; f != 0;) {
        if (f > c.nelFile || inCatena[static_cast<std::size_t>(f)] || !stato(f).libero) {
            rilievo(luogo(nome, prima) + ": elenco dei blocchi liberi non valido al blocco " + std::to_string(f));
            break;
        }
        liberiVisti.insert(f);
        prima = f;
        f = stato(f).avanti;
        if (f == h.primoLibero)
            break;
        // A list that loops without coming back to its head.
        if (liberiVisti.count(f)) {
            rilievo(luogo(nome, prima) + ": elenco dei blocchi liberi che torna al blocco " + std::to_string(f));
            break;
        }
    }

    // The pieces of the chain whose blocks confirm one another, the header's first piece
    // first, then each piece after the one whose last block leads (through a block lost) to
    // it, then by block number.
    std::vector<std::vector<int>> pezzi;
    {
        auto seguente = [&](int b) {
            const int n = stato(b).avanti;
            return n >= 1 && n <= c.nelFile && n != b && stato(n).indietro == b && stato(n).fidato ? n : 0;
        };
        std::vector<char> preso(static_cast<std::size_t>(ultimoBlocco) + 1, 0);
        std::vector<char> haPrecedente(static_cast<std::size_t>(ultimoBlocco) + 1, 0);
        for (int b = 1; b <= c.nelFile; ++b)
            if (stato(b).fidato && seguente(b))
                haPrecedente[static_cast<std::size_t>(seguente(b))] = 1;
        auto pezzoDa = [&](int b) {
            std::vector<int> p;
            for (; b && !preso[static_cast<std::size_t>(b)]; b = seguente(b)) {
                preso[static_cast<std::size_t>(b)] = 1;
                p.push_back(b);
            }
            return p;
        };
        std::vector<std::vector<int>> sciolti;
        for (int giro = 0; giro < 2; ++giro)
            for (int b = 1; b <= c.nelFile; ++b)
                if (stato(b).fidato && !preso[static_cast<std::size_t>(b)] && (giro == 1 || !haPrecedente[static_cast<std::size_t>(b)]))
                    sciolti.push_back(pezzoDa(b));
        std::vector<char> usato(sciolti.size(), 0);
        auto libero = [&](auto vale) {
            for (std::size_t j = 0; j < sciolti.size(); ++j)
                if (!usato[j] && vale(sciolti[j]))
                    return j;
            return sciolti.size();
        };
        std::size_t i = libero([&](const std::vector<int>& p) { return p.front() == h.primo; });
        while (pezzi.size() < sciolti.size()) {
            if (i == sciolti.size())
                i = libero([](const std::vector<int>&) { return true; });
            usato[i] = 1;
            pezzi.push_back(sciolti[i]);
            const int oltre = stato(pezzi.back().back()).avanti;
            i = libero([&](const std::vector<int>& p) {
                return oltre >= 1 && oltre <= ultimoBlocco && (p.front() == oltre || stato(p.front()).indietro == oltre);
            });
        }
    }

    // A block whose neighbours both link back to it (or whose free end the header confirms).
    auto confermato = [&](int b) {
        const StatoBlocco& s = stato(b);
        auto ritorna = [&](int a, bool daDopo) {
            return a >= 1 && a <= c.nelFile && a != b && (daDopo ? stato(a).indietro : stato(a).avanti) == b;
        };
        const bool prima = s.indietro == 0 ? !h.letti || b == h.primo : ritorna(s.indietro, false);
        const bool dopo = s.avanti == 0 ? !h.letti || b == h.ultimo : ritorna(s.avanti, true);
        return s.coda || (prima && dopo);
    };
    d.capienza = c.capienza;
    for (int b = 1; b <= c.nelFile; ++b)
        if (stato(b).libero)
            d.liberi.insert(b);

    // The records of each piece: whole in the file, each value a value, in key order.
    const bool ordinati = d.campiChiave > 0;
    std::set<std::string> chiaviTenute;
    std::string giaSegnalato;
    for (const std::vector<int>& pezzo : pezzi) {
        std::vector<RecordLetto> letti;
        std::vector<const std::uint8_t*> chiavi;
        for (int b : pezzo) {
            StatoBlocco s = stato(b);
            if (t.estranei.count(b)) {
                d.blocchiPersi.push_back({b, "nessuno dei suoi record ha la chiave che l'indice primario dà al blocco", true});
                d.capienzaNonLetta += static_cast<std::uint32_t>(c.capienza);
                rilievo(luogo(nome, b) + ": nessuno dei suoi " + std::to_string(s.conteggio) +
                        " record ha la chiave che l'indice primario dà al blocco: non sono letti");
                continue;
            }
            if (const auto limite = t.limiti.find(b); limite != t.limiti.end() && limite->second < s.conteggio) {
                rilievo(luogo(nome, b) + ": il conteggio dice " + std::to_string(s.conteggio) + " record, l'indice primario " +
                        std::to_string(limite->second) + ": letti " + std::to_string(limite->second));
                s.conteggio = limite->second;
            }
            d.neiBlocchiLetti += static_cast<std::uint32_t>(s.conteggio);
            d.blocchiLetti.emplace_back(b, s.conteggio);
            if (s.coda)
                d.nellaCoda += static_cast<std::uint32_t>(s.conteggio);
            if (!confermato(b)) {
                ++d.sospetti;
                d.margine += static_cast<std::uint32_t>(c.capienza - s.conteggio);
            }
            if (h.letti && !inCatena[static_cast<std::size_t>(b)])
                rilievo(luogo(nome, b) + ": blocco di " + std::to_string(s.conteggio) + " record fuori dalla catena");
            for (int r = 0; r < s.conteggio; ++r) {
                const std::uint64_t at = inizio(b) + 6 + static_cast<std::uint64_t>(r) * rs;
                if (at + rs > dimensione) {
                    const int persi = s.conteggio - r;
                    d.recordPersi += persi;
                    d.perdite.push_back(luogo(nome, b, r + 1) + ": " + std::to_string(persi) + " record oltre la fine del file");
                    rilievo(d.perdite.back());
                    break;
                }
                const std::uint8_t* rec = base + at;
                const std::string difetto = difettoRecord(d, rec);
                if (!difetto.empty()) {
                    ++d.recordPersi;
                    ++d.scartati;
                    d.perdite.push_back(luogo(nome, b, r + 1) + ": illeggibile, " + difetto);
                    rilievo(d.perdite.back());
                    continue;
                }
                letti.push_back({std::string(reinterpret_cast<const char*>(rec), static_cast<std::size_t>(rs)), b, r + 1});
                chiavi.push_back(rec);
            }
        }
        if (!ordinati) {
            for (RecordLetto& r : letti)
                d.record.push_back(std::move(r));
            continue;
        }
        // A record out of the key order of its neighbours was not written there: in an order
        // we stand behind it is not taken; in another one it is no fault at all.
        std::vector<std::size_t> tenuti;
        if (d.ordineFidato) {
            tenuti = piuLungaInOrdine(d, chiavi);
        } else {
            tenuti.resize(letti.size());
            for (std::size_t i = 0; i < tenuti.size(); ++i)
                tenuti[i] = i;
        }
        std::vector<char> tieni(letti.size(), 0);
        for (std::size_t i : tenuti)
            tieni[i] = 1;
        for (std::size_t i : tenuti)
            chiaviTenute.insert(letti[i].byte.substr(0, static_cast<std::size_t>(d.byteChiave)));
        const std::uint8_t* precedente = nullptr;
        std::string luogoPrecedente;
        for (std::size_t i = 0; i < letti.size(); ++i) {
            const auto* rec = reinterpret_cast<const std::uint8_t*>(letti[i].byte.data());
            const std::string qui = luogo(nome, letti[i].blocco, letti[i].posizione);
            const int cmp = precedente ? confrontaChiavi(d, precedente, rec) : -1;
            if (!tieni[i] || cmp == 0) {
                ++d.recordPersi;
                ++d.scartati;
                const bool doppia = cmp == 0 || chiaviTenute.count(letti[i].byte.substr(0, static_cast<std::size_t>(d.byteChiave))) > 0;
                d.perdite.push_back(qui + ": chiave " + (doppia ? "doppia (" : "fuori ordine (") + testoChiave(d, rec) +
                                    (precedente && !doppia ? " dopo " + testoChiave(d, precedente) : std::string()) + "), scartato" +
                                    (cmp == 0 ? "; resta il record di " + luogoPrecedente.substr(nome.size() + 2) : std::string()));
                rilievo(d.perdite.back());
                continue;
            }
            if (cmp > 0 && d.ordineFidato)
                rilievo(qui + ": chiave fuori ordine (" + testoChiave(d, rec) + " dopo " + testoChiave(d, precedente) + ")");
            precedente = rec;
            luogoPrecedente = qui;
            d.record.push_back(std::move(letti[i]));
        }
    }

    // The blocks the chain needs that are not read, and what the blocks not read could hold.
    std::vector<char> perso(static_cast<std::size_t>(ultimoBlocco) + 1, 0);
    std::set<int> oltre;
    auto perdi = [&](int b, bool richiesto) {
        for (BloccoPerso& p : d.blocchiPersi)
            if (p.blocco == b)
                p.richiesto = p.richiesto || richiesto;
        if (b > ultimoBlocco) {
            if (oltre.insert(b).second) {
                d.blocchiPersi.push_back({b, "oltre la fine del file", richiesto});
                d.capienzaNonLetta += static_cast<std::uint32_t>(c.capienza);
                d.oltreLaFine = true;
            }
            return;
        }
        if (b < 1 || stato(b).fidato || perso[static_cast<std::size_t>(b)])
            return;
        perso[static_cast<std::size_t>(b)] = 1;
        const StatoBlocco& s = stato(b);
        d.oltreLaFine = d.oltreLaFine || !s.presente;
        std::string perche = !s.presente           ? "oltre la fine del file"
                             : s.azzerato          ? "azzerato"
                             : s.conteggio < 0     ? "il conteggio dei record non è valido"
                             : s.conteggio == 0    ? "vuoto"
                                                   : "i collegamenti con i blocchi vicini non corrispondono";
        d.blocchiPersi.push_back({b, std::move(perche), richiesto});
    };
    for (int b : daPerdere)
        perdi(b, false);
    // A piece's end leads to a block lost, unless a block read links to that end from the
    // other side: then it is the end's own link that the damage hit.
    std::vector<char> daPrima(static_cast<std::size_t>(ultimoBlocco) + 1, 0), daDopo(daPrima.size(), 0);
    for (int b = 1; b <= c.nelFile; ++b)
        if (stato(b).fidato) {
            if (stato(b).avanti >= 1 && stato(b).avanti <= ultimoBlocco)
                daPrima[static_cast<std::size_t>(stato(b).avanti)] = 1;
            if (stato(b).indietro >= 1 && stato(b).indietro <= ultimoBlocco)
                daDopo[static_cast<std::size_t>(stato(b).indietro)] = 1;
        }
    for (const std::vector<int>& pezzo : pezzi) {
        if (!daPrima[static_cast<std::size_t>(pezzo.front())])
            perdi(stato(pezzo.front()).indietro, true);
        if (!daDopo[static_cast<std::size_t>(pezzo.back())])
            perdi(stato(pezzo.back()).avanti, true);
    }
    for (int b = 1; b <= ultimoBlocco; ++b) {
        const StatoBlocco& s = stato(b);
        if (s.fidato || s.libero)
            continue;
        if (h.letti && s.presente && !inCatena[static_cast<std::size_t>(b)] && !perso[static_cast<std::size_t>(b)])
            rilievo(luogo(nome, b) + ": blocco né nella catena né tra i liberi" + (s.conteggio > 0 ? ", illeggibile" : ""));
        // A block not read could have held records, unless it says it is free.
        if (perso[static_cast<std::size_t>(b)] || !s.presente || s.conteggio != 0)
            d.capienzaNonLetta += static_cast<std::uint32_t>(c.capienza);
    }
    std::sort(d.blocchiPersi.begin(), d.blocchiPersi.end(), [](const BloccoPerso& a, const BloccoPerso& b) { return a.blocco < b.blocco; });
    for (const BloccoPerso& p : d.blocchiPersi)
        if (p.blocco <= ultimoBlocco && stato(p.blocco).presente && !stato(p.blocco).azzerato &&
            !inCatena[static_cast<std::size_t>(p.blocco)])
            rilievo(luogo(nome, p.blocco) + ": blocco illeggibile (" + p.perche + ")");
    return d;
}

}  // namespace korva::integrita
