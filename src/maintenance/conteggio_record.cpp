#include "maintenance/conteggio_record.h"

#include "base/errore.h"
#include "maintenance/verifica_integrita.h"

#include <algorithm>
#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

std::optional<std::map<int, int>> foglieDi(const std::string& nome, const std::string& dati, int byteChiave, int capienza,
                                           std::map<int, std::string>* chiavi)
{
    Header x;
    try {
        x = parseHeader(reinterpret_cast<const std::uint8_t*>(dati.data()), dati.size(), dati.size(), nome);
    } catch (const Error&) {
        return std::nullopt;
    }
    const int rs = x.recordSize;
    if (x.fileType != FileType::PrimaryIndex || rs != byteChiave + 6 || x.indexLevels > 16)
        return std::nullopt;
    const std::uint64_t hs = static_cast<std::uint64_t>(x.headerSize), bs = static_cast<std::uint64_t>(x.blockSize);
    const auto* base = reinterpret_cast<const std::uint8_t*>(dati.data());
    std::map<int, int> foglie;
    std::set<int> visti;
    bool buono = true;
    auto visita = [&](auto&& self, int blocco, int livello) -> void {
        const std::uint64_t at = hs + static_cast<std::uint64_t>(blocco - 1) * bs;
        // The last block may end where its entries do (as some writers leave it).
        if (!buono || blocco < 1 || at + 6 > dati.size() || !visti.insert(blocco).second) {
            buono = false;
            return;
        }
        const std::uint8_t* p = base + at;
        const int add = static_cast<std::int16_t>(get16(p + 4));
        const int voci = add % rs == 0 ? add / rs + 1 : -1;
        const auto occupati = static_cast<std::uint64_t>(6 + voci * rs);
        if (voci < 0 || occupati > bs || at + occupati > dati.size()) {
            buono = false;
            return;
        }
        for (int i = 0; i < voci && buono; ++i) {
            const std::uint8_t* e = p + 6 + i * rs + byteChiave;
            const int figlio = getS16(e), record = getS16(e + 2);
            if (livello > 1)
                self(self, figlio, livello - 1);
            else if (figlio < 1 || record < 1 || record > capienza || !foglie.emplace(figlio, record).second)
                buono = false;
            else if (chiavi)
                (*chiavi)[figlio].assign(reinterpret_cast<const char*>(e - byteChiave), static_cast<std::size_t>(byteChiave));
        }
    };
    if (x.indexLevels > 0)
        visita(visita, x.indexRoot, x.indexLevels);
    return buono ? std::optional<std::map<int, int>>(std::move(foglie)) : std::nullopt;
}

// The records a maintained secondary index holds, when its own chain of blocks is whole (one
// not maintained may be out of date by design).
std::optional<std::uint32_t> recordNellX(const std::string& nome, const std::string& dati)
{
    Header x;
    try {
        x = parseHeader(reinterpret_cast<const std::uint8_t*>(dati.data()), dati.size(), dati.size(), nome);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (x.fileType != FileType::XMaintained && x.fileType != FileType::XGMaintained)
        return std::nullopt;
    const IndiziIntestazione h = leggiIndizi(dati);
    const Censimento c = censisci(dati, x.headerSize, x.blockSize, x.recordSize, h);
    std::uint32_t somma = 0;
    std::set<int> visti;
    for (int b = h.primo; b != 0; b = c.blocchi[static_cast<std::size_t>(b)].avanti) {
        if (b > c.nelFile || !visti.insert(b).second || !c.blocchi[static_cast<std::size_t>(b)].fidato)
            return std::nullopt;
        somma += static_cast<std::uint32_t>(c.blocchi[static_cast<std::size_t>(b)].conteggio);
    }
    return somma == x.numRecords ? std::optional<std::uint32_t>(somma) : std::nullopt;
}

}  // namespace

std::optional<std::map<int, int>> fogliePx(const FamigliaTabella& f, int byteChiave, int capienza, std::map<int, std::string>* chiavi)
{
    const std::string* px = f.dati(f.px);
    return px ? foglieDi(*f.px, *px, byteChiave, capienza, chiavi) : std::nullopt;
}

RecordAttesi recordAttesi(const FamigliaTabella& f, const LetturaDati& d)
{
    RecordAttesi r;
    const std::uint32_t letti = d.neiBlocchiLetti, dichiarati = d.indizi.record;
    std::uint64_t margine = d.margine;
    bool certo = d.blocchiPersi.empty() && d.sospetti == 0;

    // The witnesses besides the header: the primary index when it agrees with the blocks read
    // (a block it disagrees with may have lost its count: its records are no longer certain),
    // each secondary index whose chain is whole.
    std::vector<std::pair<std::uint64_t, std::string>> testimoni;
    // The primary index agrees with every block read and counts records in blocks the chain
    // no longer reaches (nor the free list holds): a chain cut short with its header made to
    // agree, the header's count being made from that same chain.
    bool fuoriDallaCatena = false;
    if (d.campiChiave > 0)
        if (const auto foglie = fogliePx(f, d.byteChiave, d.capienza)) {
            std::vector<int> discordi;
            for (const auto& [b, n] : d.blocchiLetti) {
                const auto it = foglie->find(b);
                if (it == foglie->end() || it->second != n)
                    discordi.push_back(b);
            }
            if (discordi.size() <= std::max<std::size_t>(1, d.blocchiLetti.size() / 20) &&
                (discordi.empty() || discordi.size() < d.blocchiLetti.size())) {
                std::uint64_t totale = 0;
                for (const auto& [b, n] : *foglie) {
                    totale += static_cast<std::uint64_t>(n);
                    if (std::none_of(d.blocchiLetti.begin(), d.blocchiLetti.end(), [&](const auto& l) { return l.first == b; })) {
                        r.perBlocco[b] = n;
                        fuoriDallaCatena = fuoriDallaCatena || (discordi.empty() && d.liberi.count(b) == 0);
                    }
                }
                for (int b : discordi)
                    for (const auto& [l, n] : d.blocchiLetti)
                        if (l == b) {
                            margine += static_cast<std::uint64_t>(d.capienza - n);
                            r.note.push_back(luogo(d.file, b) + ": il suo conteggio dice " + std::to_string(n) + " record, " + *f.px +
                                             (foglie->count(b) ? std::string(" ").append(std::to_string(foglie->at(b))) : std::string(" non lo conosce")));
                        }
                certo = certo && discordi.empty();
                testimoni.emplace_back(totale, *f.px);
                r.secondoPx = *f.px;
            }
        }
    for (const std::string& s : f.secondari) {
        const std::string e = s.substr(s.rfind('.') + 1);
        if (e[0] == 'X' || e[0] == 'x')
            if (const auto n = recordNellX(s, f.file.at(s)))
                testimoni.emplace_back(*n, s);
    }
    const std::uint64_t minimo =
        letti + static_cast<std::uint64_t>(std::count_if(d.blocchiPersi.begin(), d.blocchiPersi.end(), [](const BloccoPerso& p) { return p.richiesto; }));
    const std::uint64_t massimo = d.oltreLaFine ? UINT64_MAX : std::uint64_t{letti} + d.capienzaNonLetta + margine;
    // Blocks all read and certain hold at most what fits in them: a count word that lies low
    // cannot be told from a header that lies high, one beyond what the blocks could hold can.
    const std::uint64_t capienzaLetta = static_cast<std::uint64_t>(d.blocchiLetti.size()) * static_cast<std::uint64_t>(d.capienza);
    auto possibile = [&](std::uint64_t n) { return n >= minimo && n <= (certo ? capienzaLetta + d.capienzaNonLetta : massimo); };
    // Every source's number: the header's, the blocks' own when they are certain, the
    // witnesses'. A number two sources agree on, and no other does, is the table's; without
    // one, the larger is taken (a loss is never counted short), except a header that says
    // fewer than certain blocks hold, which could be blocks claiming records they lack.
    std::map<std::uint64_t, std::vector<std::string>> voti;
    const std::string intestazione = "l'intestazione di " + d.file;
    if (d.indizi.letti && possibile(dichiarati))
        voti[dichiarati].push_back(intestazione);
    const bool intestazioneDallaCatena = fuoriDallaCatena && d.indizi.letti && dichiarati == letti;
    if (certo && !intestazioneDallaCatena)
        voti[letti].push_back("i blocchi della catena");
    for (const auto& [n, fonte] : testimoni)
        if (possibile(n))
            voti[n].push_back(fonte);
    std::vector<std::uint64_t> concordi;
    for (const auto& [n, fonti] : voti)
        if (fonti.size() >= 2)
            concordi.push_back(n);
    std::optional<std::uint64_t> numero;
    if (concordi.size() == 1)
        numero = concordi.front();
    // A header that counts the chain without the block its end lost was made from that chain.
    else if (concordi.empty() && !voti.empty() &&
             !(certo && d.indizi.letti && dichiarati < letti && dichiarati + d.nellaCoda != letti))
        numero = voti.rbegin()->first;
    if (!numero) {
        r.perche = "il numero dei record della tabella non si può stabilire: " +
                   (d.indizi.letti ? "l'intestazione ne dichiara " + std::to_string(dichiarati) + ", " : std::string("l'intestazione è illeggibile, ")) +
                   "i blocchi letti ne contengono " + std::to_string(letti) +
                   (certo ? std::string()
                          : " e quelli illeggibili o incerti ne possono contenere da " + std::to_string(minimo - letti) +
                                (massimo == UINT64_MAX ? std::string(" in su") : std::string(" a ").append(std::to_string(massimo - letti)))) +
                   "; nessun indice ne conferma il numero";
        return r;
    }
    r.numero = static_cast<std::uint32_t>(*numero);
    if (d.indizi.letti && *numero != dichiarati) {
        std::string chi;
        for (const std::string& s : voti[*numero])
            chi += (chi.empty() ? "" : ", ") + s;
        r.note.push_back(d.file + ": l'intestazione dichiarava " + std::to_string(dichiarati) + " record, " + chi + " ne contano " +
                         std::to_string(*numero) + ": contati questi");
    } else if (*numero > letti && certo) {
        r.note.push_back(d.file + ": l'intestazione dichiarava " + std::to_string(dichiarati) + " record, i blocchi della catena ne contengono " +
                         std::to_string(letti) + ": i mancanti sono contati come persi");
    }
    if (!r.numero)
        return r;
    if (r.perBlocco.empty() && d.blocchiPersi.size() == 1 && d.sospetti == 0 && *r.numero >= letti)
        r.perBlocco[d.blocchiPersi.front().blocco] = static_cast<int>(*r.numero - letti);
    std::uint64_t somma = letti;
    for (const auto& [_, n] : r.perBlocco)
        somma += static_cast<std::uint64_t>(n);
    if (somma != *r.numero)
        r.perBlocco.clear();
    return r;
}

}  // namespace korva::integrita
