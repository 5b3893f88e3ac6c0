#include "maintenance/conteggio_record.h"

#include "base/errore.h"
#include "maintenance/verifica_integrita.h"

#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

// The leaves of a primary index: the records of each data block; nothing when the file is
// not a readable tree over keys of `byteChiave` bytes.
std::optional<std::map<int, int>> fogliePx(const std::string& nome, const std::string& dati, int byteChiave)
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
        if (!buono || blocco < 1 || at + bs > dati.size() || !visti.insert(blocco).second) {
            buono = false;
            return;
        }
        const std::uint8_t* p = base + at;
        const int add = static_cast<std::int16_t>(get16(p + 4));
        const int voci = add % rs == 0 ? add / rs + 1 : -1;
        if (voci < 0 || static_cast<std::uint64_t>(6 + voci * rs) > bs) {
            buono = false;
            return;
        }
        for (int i = 0; i < voci && buono; ++i) {
            const std::uint8_t* e = p + 6 + i * rs + byteChiave;
            const int figlio = getS16(e), record = getS16(e + 2);
            if (livello > 1)
                self(self, figlio, livello - 1);
            else if (!foglie.emplace(figlio, record).second)
                buono = false;
        }
    };
    if (x.indexLevels > 0)
        visita(visita, x.indexRoot, x.indexLevels);
    return buono ? std::optional<std::map<int, int>>(std::move(foglie)) : std::nullopt;
}

// The records a secondary index holds, when its own chain of blocks is whole.
std::optional<std::uint32_t> recordNellX(const std::string& nome, const std::string& dati)
{
    Header x;
    try {
        x = parseHeader(reinterpret_cast<const std::uint8_t*>(dati.data()), dati.size(), dati.size(), nome);
    } catch (const Error&) {
        return std::nullopt;
    }
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

RecordAttesi recordAttesi(const FamigliaTabella& f, const LetturaDati& d)
{
    RecordAttesi r;
    const std::uint32_t letti = d.neiBlocchiLetti, dichiarati = d.indizi.record;
    if (d.blocchiPersi.empty()) {
        // Every block the chain goes through was read: the blocks' own counts are the table.
        r.numero = letti;
        if (d.indizi.letti && dichiarati != letti)
            r.note.push_back(d.file + ": l'intestazione dichiarava " + std::to_string(dichiarati) +
                             " record, i blocchi della catena ne contengono " + std::to_string(letti));
        return r;
    }
    const std::uint64_t minimo = letti + d.blocchiPersi.size(), massimo = std::uint64_t{letti} + d.capienzaNonLetta;
    auto possibile = [&](std::uint64_t n) { return n >= minimo && n <= massimo; };

    // The witnesses besides the header: the primary index when it agrees with every block read
    // and counts every block lost, each secondary index whose chain is whole.
    std::vector<std::pair<std::uint64_t, std::string>> testimoni;
    if (const std::string* px = f.dati(f.px); px && d.campiChiave > 0)
        if (const auto foglie = fogliePx(*f.px, *px, d.byteChiave)) {
            bool accordo = true;
            for (const auto& [b, n] : d.blocchiLetti) {
                const auto it = foglie->find(b);
                accordo = accordo && it != foglie->end() && it->second == n;
            }
            std::uint64_t totale = letti;
            std::map<int, int> perBlocco;
            for (const BloccoPerso& p : d.blocchiPersi) {
                const auto it = foglie->find(p.blocco);
                accordo = accordo && it != foglie->end();
                if (it != foglie->end()) {
                    totale += static_cast<std::uint64_t>(it->second);
                    perBlocco[p.blocco] = it->second;
                }
            }
            if (accordo && foglie->size() == d.blocchiLetti.size() + d.blocchiPersi.size()) {
                testimoni.emplace_back(totale, *f.px);
                r.perBlocco = perBlocco;
            }
        }
    for (const std::string& s : f.secondari) {
        const std::string e = s.substr(s.rfind('.') + 1);
        if (e[0] == 'X' || e[0] == 'x')
            if (const auto n = recordNellX(s, f.file.at(s)))
                testimoni.emplace_back(*n, s);
    }
    std::map<std::uint64_t, std::vector<std::string>> voti;
    for (const auto& [n, fonte] : testimoni)
        if (possibile(n))
            voti[n].push_back(fonte);
    auto piuVotato = [&]() -> std::optional<std::uint64_t> {
        std::optional<std::uint64_t> v;
        std::size_t quanti = 0;
        bool pari = false;
        for (const auto& [n, fonti] : voti) {
            if (fonti.size() > quanti) {
                v = n;
                quanti = fonti.size();
                pari = false;
            } else if (fonti.size() == quanti) {
                pari = true;
            }
        }
        return pari ? std::nullopt : v;
    };
    auto fonti = [&](std::uint64_t n) {
        std::string t;
        for (const std::string& s : voti[n])
            t += (t.empty() ? "" : ", ") + s;
        return t;
    };
    if (d.indizi.letti && possibile(dichiarati)) {
        // The header holds unless two witnesses agree on another number and none on its own.
        const auto altro = piuVotato();
        if (altro && *altro != dichiarati && voti[*altro].size() >= 2 && voti.count(dichiarati) == 0) {
            r.numero = static_cast<std::uint32_t>(*altro);
            r.note.push_back(d.file + ": l'intestazione dichiarava " + std::to_string(dichiarati) + " record, " + fonti(*altro) +
                             " ne contano " + std::to_string(*altro) + ": contati questi");
        } else {
            r.numero = dichiarati;
        }
    } else if (const auto altro = piuVotato()) {
        r.numero = static_cast<std::uint32_t>(*altro);
        r.note.push_back(d.file + ": " +
                         (d.indizi.letti ? "l'intestazione dichiarava " + std::to_string(dichiarati) + " record, impossibile con i blocchi del file; "
                                         : std::string("l'intestazione è illeggibile; ")) +
                         fonti(*altro) + " ne contano " + std::to_string(*altro) + ": contati questi");
    } else {
        r.perche = "il numero dei record della tabella non si può stabilire: " +
                   (d.indizi.letti ? "l'intestazione ne dichiara " + std::to_string(dichiarati) + ", ma "
                                   : std::string("l'intestazione è illeggibile, ")) +
                   "i blocchi letti ne contengono " + std::to_string(letti) + " e i " + std::to_string(d.blocchiPersi.size()) +
                   (d.blocchiPersi.size() == 1 ? " blocco illeggibile ne può" : " blocchi illeggibili ne possono") +
                   " contenere da " + std::to_string(minimo - letti) + " a " + std::to_string(massimo - letti) +
                   "; nessun indice ne conferma il numero";
        return r;
    }
    if (r.perBlocco.empty() && d.blocchiPersi.size() == 1 && *r.numero >= letti)
        r.perBlocco[d.blocchiPersi.front().blocco] = static_cast<int>(*r.numero - letti);
    if (!r.perBlocco.empty()) {
        int somma = 0;
        for (const auto& [_, n] : r.perBlocco)
            somma += n;
        if (static_cast<std::uint64_t>(somma) + letti != *r.numero)
            r.perBlocco.clear();
    }
    return r;
}

}  // namespace korva::integrita
