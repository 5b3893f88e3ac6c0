#include "maintenance/tracciato_famiglia.h"

#include "engines/paradox/collation.h"
#include "maintenance/conteggio_record.h"
#include "maintenance/copie_tracciato.h"
#include "maintenance/verifica_integrita.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

// A whole field list to read the records with, from one of the copies.
struct Candidato {
    const Copia* copia;
    std::vector<FieldDef> campi;
    int dimensioneRecord = 0;
};

struct Geometria {
    int intestazione = 0, blocco = 0;
    bool operator==(const Geometria&) const = default;
};

// Blocks placed in a chain under a geometry, with a count of records that fits them: linked
// both ways with a neighbour, or placed by the header alone.
int inCatena(const Censimento& c, const IndiziIntestazione& h)
{
    int n = 0;
    for (int b = 1; b <= c.nelFile; ++b) {
        const StatoBlocco& s = c.blocchi[static_cast<std::size_t>(b)];
        n += s.conteggio >= 0 && (s.collegato || (b == h.primo && s.indietro == 0) || (b == h.ultimo && s.avanti == 0));
    }
    return n;
}

std::string testoGeometria(const Geometria& g)
{
    return "blocchi di " + std::to_string(g.blocco) + " byte dopo un'intestazione di " + std::to_string(g.intestazione) + " byte";
}

// The header size and block size under which the blocks link up: the header's own when it
// places every block it declares, else the one that places clearly the most blocks; nothing
// (and the reason in `s`) when none does.
std::optional<Geometria> scegliGeometria(const FamigliaTabella& f, const std::optional<IntestazioneLetta>& h,
                                         const IndiziIntestazione& indizi, const std::vector<Candidato>& candidati,
                                         const DefinizioniParadox* dizionario, SceltaTracciato& s)
{
    const std::string& dati = f.file.at(f.db);
    std::optional<Geometria> dichiarata;
    if (h && h->codiceBlocco >= 1 && h->codiceBlocco <= 32 && h->dimensioneIntestazione >= kInizioDatiIntestazione)
        dichiarata = Geometria{h->dimensioneIntestazione, h->codiceBlocco * 1024};
    std::vector<int> intestazioni;
    auto proponi = [&](int n) {
        if (n >= kInizioDatiIntestazione && std::find(intestazioni.begin(), intestazioni.end(), n) == intestazioni.end())
            intestazioni.push_back(n);
    };
    if (dichiarata)
        proponi(dichiarata->intestazione);
    if (h && h->fine > 0) {
        proponi(static_cast<int>(h->fine));
        proponi(static_cast<int>((h->fine + 0x7FF) / 0x800 * 0x800));
    }
    if (dizionario && !dizionario->campi.empty()) {
        NewTableLayout l;
        l.fields = dizionario->campi;
        proponi(static_cast<int>(buildDbHeader(l).size()));
    }
    if (intestazioni.empty() || !h || h->fine == 0)
        for (int n = 0x800; n <= 0x8000; n += 0x800)
            proponi(n);
    std::set<int> dimensioniRecord;
    for (const Candidato& c : candidati)
        dimensioniRecord.insert(c.dimensioneRecord);
    auto punti = [&](const Geometria& g) {
        int n = 0;
        for (int rs : dimensioniRecord)
            n = std::max(n, inCatena(censisci(dati, g.intestazione, g.blocco, rs, indizi), indizi));
        return n;
    };
    // The block sizes the index files state: the engines give them the data file's.
    std::set<int> blocchiDegliIndici;
    for (const auto& [nome, byte] : f.file)
        if (nome != f.db && byte.size() > Hdr::BlockSize && byte[Hdr::BlockSize] >= 1 && byte[Hdr::BlockSize] <= 32 &&
            std::find(f.secondari.begin(), f.secondari.end(), nome) != f.secondari.end())
            blocchiDegliIndici.insert(byte[Hdr::BlockSize] * 1024);
    auto adatta = [&](const Geometria& g) {
        return indizi.blocchiDelFile > 0 &&
               dati.size() == static_cast<std::uint64_t>(g.intestazione) + static_cast<std::uint64_t>(indizi.blocchiDelFile) * g.blocco;
    };
    Geometria geometria;
    const int puntiDichiarata = dichiarata ? punti(*dichiarata) : -1;
    if (dichiarata && puntiDichiarata == indizi.blocchiUsati && adatta(*dichiarata)) {
        geometria = *dichiarata;  // the header's own geometry places every block it declares
    } else {
        std::vector<std::pair<Geometria, int>> prove;
        for (int hs : intestazioni)
            for (int kb = 1; kb <= 32; ++kb)
                prove.push_back({Geometria{hs, kb * 1024}, punti(Geometria{hs, kb * 1024})});
        int massimo = 0;
        for (const auto& [g, p] : prove)
            massimo = std::max(massimo, p);
        // The geometries that place the most blocks; among them those the file's size fits.
        std::vector<Geometria> prime;
        int seconda = 0;
        for (const auto& [g, p] : prove) {
            if (p < massimo) {
                seconda = std::max(seconda, p);
                continue;
            }
            prime.push_back(g);
        }
        const bool dichiarataTraLePrime = dichiarata && std::find(prime.begin(), prime.end(), *dichiarata) != prime.end();
        // Among those, one the file's size fits, then one of the block size the index files
        // state, then one after the header size the header states.
        std::vector<Geometria> scelte = prime;
        auto restringi = [&](const std::function<bool(const Geometria&)>& vale) {
            std::vector<Geometria> r;
            std::copy_if(scelte.begin(), scelte.end(), std::back_inserter(r), vale);
            if (!r.empty())
                scelte = r;
        };
        restringi(adatta);
        restringi([&](const Geometria& g) { return blocchiDegliIndici.count(g.blocco) > 0; });
        restringi([&](const Geometria& g) { return dichiarata && g.intestazione == dichiarata->intestazione; });
        if (dichiarataTraLePrime && (adatta(*dichiarata) || std::none_of(prime.begin(), prime.end(), adatta))) {
            geometria = *dichiarata;
        } else if (massimo > 2 * seconda && scelte.size() == 1) {
            geometria = scelte.front();
        } else if (massimo == 0 && !dichiarata && dizionario && !dizionario->campi.empty()) {
            NewTableLayout l;
            l.fields = dizionario->campi;
            geometria = Geometria{static_cast<int>(buildDbHeader(l).size()), 2048};
        } else {
            s.motivo = "la dimensione dei blocchi non si può stabilire: " +
                       (dichiarata ? "l'intestazione dichiara " + testoGeometria(*dichiarata) + ", ma "
                                   : std::string("l'intestazione non la dichiara e ")) +
                       "nessuna dimensione fa collegare i blocchi in modo chiaramente migliore delle altre";
            return std::nullopt;
        }
        if (dichiarata && !(geometria == *dichiarata))
            s.note.push_back(f.db + ": l'intestazione dichiara " + testoGeometria(*dichiarata) +
                             ", ma i blocchi si collegano fra loro con " + testoGeometria(geometria) + ": letti così");
        else if (!dichiarata)
            s.note.push_back(f.db + ": l'intestazione non dichiara la dimensione dei blocchi; i blocchi si collegano fra loro con " +
                             testoGeometria(geometria) + ": letti così");
    }

    return geometria;
}

}  // namespace

SceltaTracciato stabilisciTracciato(const FamigliaTabella& f, const DefinizioniParadox* dizionario)
{
    SceltaTracciato s;
    const std::string& dati = f.file.at(f.db);
    IndiziIntestazione indizi;
    std::optional<Header> stretta;
    try {
        stretta = parseHeader(reinterpret_cast<const std::uint8_t*>(dati.data()), dati.size(), std::uint64_t{1} << 40, f.db);
    } catch (const Error&) {
    }
    std::optional<IntestazioneLetta> h = leggiIntestazione(f.db, dati);
    // Bytes whose field list does not read are no header: none of their words is believed.
    if (h && h->copia.numeroCampi <= 0)
        h.reset();
    if (h) {
        indizi = leggiIndizi(dati);
        s.versione = h->versione;
        s.ordinamento = h->ordinamento;
        s.idOrdinamento = h->idOrdinamento;
        s.nomeTabella = h->nomeTabella;
        s.inizioIntestazione.assign(dati.begin(), dati.begin() + kInizioDatiIntestazione);
    }
    // Without a header, the sort order and code page the secondary indexes repeat.
    if (!h)
        for (const std::string& nome : f.secondari)
            try {
                const std::string& x = f.file.at(nome);
                const Header xh = parseHeader(reinterpret_cast<const std::uint8_t*>(x.data()), x.size(), x.size(), nome);
                if (xh.hasDataHeader && !xh.isIndexFile()) {
                    s.ordinamento = xh.sortOrder;
                    s.idOrdinamento = xh.sortOrderId;
                    s.codePage = xh.codePage;
                    s.fonteOrdinamento = nome;
                    break;
                }
            } catch (const Error&) {
            }
    // Else the primary index's sort-order byte, whose driver tells the code page.
    if (const std::string* x = f.dati(f.px); !h && !s.codePage && x)
        try {
            const Header ph = parseHeader(reinterpret_cast<const std::uint8_t*>(x->data()), x->size(), x->size(), *f.px);
            if (const int cp = sortOrderCodePage(ph.sortOrder, {}); ph.fileType == FileType::PrimaryIndex && cp) {
                s.ordinamento = ph.sortOrder;
                s.codePage = cp;
                s.fonteOrdinamento = *f.px;
            }
        } catch (const Error&) {
        }
    if (stretta && stretta->fileType != FileType::KeyedDb && stretta->fileType != FileType::UnkeyedDb) {
        s.motivo = "il file non è una tabella ma un file indice";
        return s;
    }
    if (stretta && stretta->encrypted) {
        s.motivo = "tabella protetta da password: il contenuto non si può leggere";
        return s;
    }
    const int codePage = !h ? (s.codePage ? s.codePage : 1252) : h->conDati ? h->codePage : (h->ordinamento == 0xC0 ? 866 : 437);

    const std::vector<Copia> copie = copieDelTracciato(f, h, dizionario, codePage);
    std::vector<Candidato> candidati;
    for (const Copia& c : copie)
        if (c.numeroCampi > 0) {
            Candidato k{&c, {}, 0};
            for (const auto& [_, d] : c.campi)
                k.campi.push_back(d);
            // The dictionary writes I for the auto-increment too: a copy that keeps the exact
            // type (and none that says I) tells which it is.
            for (std::size_t i = 0; c.dizionario && i < k.campi.size(); ++i) {
                if (k.campi[i].type != FieldType::Long)
                    continue;
                bool auto_ = false, lungo = false;
                for (const Copia& altra : copie)
                    for (const auto& [j, d] : altra.campi)
                        if (!altra.dizionario && j == static_cast<int>(i)) {
                            auto_ = auto_ || d.type == FieldType::AutoInc;
                            lungo = lungo || d.type == FieldType::Long;
                        }
                if (auto_ && !lungo)
                    k.campi[i].type = FieldType::AutoInc;
            }
            k.dimensioneRecord = byteDi(k.campi);
            candidati.push_back(std::move(k));
        }
    if (candidati.empty()) {
        s.motivo = "l'intestazione è illeggibile e il dizionario non descrive la tabella";
        return s;
    }

    const std::optional<Geometria> trovata = scegliGeometria(f, h, indizi, candidati, dizionario, s);
    if (!trovata)
        return s;
    const Geometria geometria = *trovata;

    // The field lists and keys: each tried on the records, then the copies' votes.
    std::vector<const Copia*> tutte;
    for (const Copia& c : copie)
        tutte.push_back(&c);
    std::set<int> chiavi;
    for (const Copia& c : copie)
        if (c.chiave)
            chiavi.insert(*c.chiave);
    if (chiavi.empty())
        chiavi.insert(0);
    const int codePageOrdine = h ? (h->conDati ? h->codePage : 0) : s.codePage;
    const Collation* fidato = s.codePage || h ? collationFor(s.ordinamento, s.idOrdinamento, codePageOrdine) : nullptr;
    const Collation* noto = s.codePage || h ? knowledgeCollationFor(s.ordinamento, s.idOrdinamento, codePageOrdine)
                                             : collationFor(kNewSortOrder, kNewSortOrderId, 1252);
    auto tracciato = [&](const Candidato& c, int chiave) {
        Tracciato t;
        t.campi = c.campi;
        t.campiChiave = chiave;
        t.dimensioneIntestazione = geometria.intestazione;
        t.dimensioneBlocco = geometria.blocco;
        t.codePage = codePage;
        t.indizi = indizi;
        t.ordine = fidato ? fidato : noto;
        t.ordineFidato = fidato != nullptr || std::none_of(c.campi.begin(), c.campi.begin() + chiave, [](const FieldDef& d) {
                             return d.type == FieldType::Alpha;
                         });
        return t;
    };
    struct Prova {
        const Candidato* candidato;
        int chiave;
        int scarti;
    };
    std::vector<Prova> prove;
    {
        std::vector<int> validi;
        for (const Candidato& c : candidati) {
            const Censimento cs = censisci(dati, geometria.intestazione, geometria.blocco, c.dimensioneRecord, indizi);
            validi.push_back(cs.capienza >= 1 ? cs.conteggiValidi : -1);
        }
        const int massimo = *std::max_element(validi.begin(), validi.end());
        const bool unaSola = std::all_of(candidati.begin(), candidati.end(), [&](const Candidato& c) {
                                 return equivalenti(c.campi, candidati.front().campi);
                             }) &&
                             chiavi.size() == 1;
        for (std::size_t i = 0; i < candidati.size(); ++i) {
            if (validi[i] != massimo)
                continue;
            for (int k : chiavi) {
                const auto& campi = candidati[i].campi;
                if (k > static_cast<int>(campi.size()) ||
                    std::any_of(campi.begin(), campi.begin() + std::min<std::size_t>(static_cast<std::size_t>(k), campi.size()),
                                [](const FieldDef& d) { return isBlob(d.type); }))
                    continue;
                const int scarti = unaSola ? 0 : leggiDati(f.db, dati, tracciato(candidati[i], k)).scartati;
                prove.push_back({&candidati[i], k, scarti});
            }
        }
    }
    if (prove.empty()) {
        s.motivo = "nessuna descrizione dei campi si accorda con i blocchi del file";
        return s;
    }
    int minimo = prove.front().scarti;
    for (const Prova& p : prove)
        minimo = std::min(minimo, p.scarti);
    // A reading that loses many more records than another was not the table's.
    std::vector<Prova> valide;
    for (const Prova& p : prove)
        if (p.scarti <= 2 * minimo + 1)
            valide.push_back(p);
        else
            s.note.push_back(f.db + ": con i campi secondo " + p.candidato->copia->fonte + " e " + std::to_string(p.chiave) +
                             " campi nella chiave " + std::to_string(p.scarti) + " record non sarebbero leggibili o in ordine: scartata");
    auto votiCampi = [&](const Candidato& c) {
        int v = 0;
        for (const Copia* k : tutte)
            v += voto(*k, c.campi);
        return v;
    };
    auto votiChiave = [&](int k) {
        int v = 0;
        for (const Copia* c : tutte)
            if (c->chiave)
                v += *c->chiave == k ? 1 : -1;
        return v;
    };
    // The fields: the most votes, and clearly; equal lists of the same bytes count as one.
    const Prova* scelta = nullptr;
    for (const Prova& p : valide)
        if (!scelta || votiCampi(*p.candidato) > votiCampi(*scelta->candidato))
            scelta = &p;
    for (const Prova& p : valide)
        if (!equivalenti(p.candidato->campi, scelta->candidato->campi) && votiCampi(*p.candidato) == votiCampi(*scelta->candidato)) {
            s.motivo = "le descrizioni dei campi non concordano e né i dati né le altre copie permettono di scegliere: " +
                       elenco(disaccordi(tutte, scelta->candidato->campi));
            return s;
        }
    const bool vetoAltri = valide.size() < prove.size();
    if (votiCampi(*scelta->candidato) <= 0 && !vetoAltri) {
        s.motivo = "la descrizione dei campi di " + scelta->candidato->copia->fonte + " è contraddetta dalle altre copie: " +
                   elenco(disaccordi(tutte, scelta->candidato->campi));
        return s;
    }
    // Among equal lists, the copy that names the types exactly.
    for (const Prova& p : valide)
        if (equivalenti(p.candidato->campi, scelta->candidato->campi) && scelta->candidato->copia->dizionario &&
            !p.candidato->copia->dizionario)
            scelta = &p;
    // The key: the most votes; on a tie, the other copies' rather than the header's.
    std::map<int, int> votiPerChiave;
    for (const Prova& p : valide)
        if (equivalenti(p.candidato->campi, scelta->candidato->campi))
            votiPerChiave[p.chiave] = votiChiave(p.chiave);
    int miglioriVoti = votiPerChiave.begin()->second;
    for (const auto& [k, v] : votiPerChiave)
        miglioriVoti = std::max(miglioriVoti, v);
    std::vector<int> vincenti;
    for (const auto& [k, v] : votiPerChiave)
        if (v == miglioriVoti)
            vincenti.push_back(k);
    if (vincenti.size() > 1 && h)
        vincenti.erase(std::remove(vincenti.begin(), vincenti.end(), h->campiChiave), vincenti.end());
    std::map<int, std::vector<std::string>> chiaviDette;
    for (const Copia* c : tutte)
        if (c->chiave)
            chiaviDette[*c->chiave].push_back(c->fonte);
    auto testoChiavi = [&] {
        std::string testo;
        for (const auto& [k, fonti] : chiaviDette)
            testo += std::string(testo.empty() ? "" : "; ") + std::to_string(k) + " secondo " + elenco(fonti);
        return testo;
    };
    if (vincenti.size() != 1) {
        s.motivo = "il numero dei campi della chiave non si può stabilire: " + testoChiavi();
        return s;
    }
    const int chiave = vincenti.front();
    std::vector<FieldDef> campi = scelta->candidato->campi;
    // The names as the header has them when it has as many.
    const std::vector<std::string>& nomi = h && h->copia.nomi.size() == campi.size() ? h->copia.nomi : scelta->candidato->copia->nomi;
    for (std::size_t i = 0; i < campi.size(); ++i)
        campi[i].name = i < nomi.size() ? nomi[i] : "Campo " + std::to_string(i + 1);
    if (nomi.size() != campi.size())
        s.note.push_back(f.db + ": i nomi dei campi non si leggono: sono stati chiamati Campo 1, Campo 2, ...");
    // A dictionary that differs from a table whose own files agree is the layout
    // verification's to report, not a fault of the files.
    const bool dellIntestazione = h && h->copia.fonte == scelta->candidato->copia->fonte;
    bool dissensoNeiFile = !dellIntestazione;
    for (const Copia* c : tutte)
        dissensoNeiFile = dissensoNeiFile || (!c->dizionario && (voto(*c, campi) < 0 || (c->chiave && *c->chiave != chiave)));
    if (dissensoNeiFile) {
        for (std::string& d : disaccordi(tutte, campi))
            s.note.push_back(f.db + ": " + d);
        if (chiaviDette.size() > 1)
            s.note.push_back(f.db + ": campi della chiave: " + testoChiavi() + ": usati " + std::to_string(chiave));
    }
    Candidato finale{scelta->candidato->copia, campi, byteDi(campi)};
    s.tracciato = tracciato(finale, chiave);
    s.tracciato->indizi = h ? indizi : indiziSenzaIntestazione(dati, geometria.intestazione, geometria.blocco, finale.dimensioneRecord);
    s.lettura = leggiDati(f.db, dati, *s.tracciato);
    // A block whose count says more than a primary index that agrees with the other blocks,
    // and with the header: an index one write behind the data would otherwise hide a record
    // the block and the header agree on.
    std::map<int, std::string> chiaviPx;
    const auto foglie = chiave > 0 ? fogliePx(f, s.lettura->byteChiave, s.lettura->capienza, &chiaviPx) : std::nullopt;
    std::uint64_t nellIndice = 0;
    for (const auto& [b, n] : foglie ? *foglie : std::map<int, int>{})
        nellIndice += static_cast<std::uint64_t>(n);
    if (foglie && (!s.tracciato->indizi.letti || s.tracciato->indizi.record == nellIndice)) {
        std::map<int, int> limiti, discordi;
        for (const auto& [b, n] : s.lettura->blocchiLetti)
            if (const auto it = foglie->find(b); it == foglie->end() || it->second != n) {
                discordi[b] = n;
                if (it != foglie->end() && it->second < n)
                    limiti[b] = it->second;
            }
        if (!limiti.empty() && discordi.size() <= std::max<std::size_t>(1, s.lettura->blocchiLetti.size() / 20) &&
            discordi.size() < s.lettura->blocchiLetti.size()) {
            s.tracciato->limiti = limiti;
            s.lettura = leggiDati(f.db, dati, *s.tracciato);
        }
    }
    // A block none of whose records has the key the primary index gives it (a stale index
    // still finds its old first record there): another table's block where ours was.
    if (foglie) {
        std::set<int> estranei;
        const auto rs = static_cast<std::uint64_t>(finale.dimensioneRecord);
        for (const auto& [b, n] : s.lettura->blocchiLetti) {
            const auto k = chiaviPx.find(b);
            if (k == chiaviPx.end())
                continue;
            const std::uint64_t at = static_cast<std::uint64_t>(geometria.intestazione) +
                                     static_cast<std::uint64_t>(b - 1) * static_cast<std::uint64_t>(geometria.blocco) + 6;
            bool nostro = false;
            for (int r = 0; r < n && !nostro && at + (static_cast<std::uint64_t>(r) + 1) * rs <= dati.size(); ++r)
                nostro = dati.compare(at + static_cast<std::uint64_t>(r) * rs, k->second.size(), k->second) == 0;
            if (!nostro)
                estranei.insert(b);
        }
        if (!estranei.empty() && estranei.size() <= std::max<std::size_t>(1, s.lettura->blocchiLetti.size() / 20) &&
            estranei.size() < s.lettura->blocchiLetti.size()) {
            s.tracciato->estranei = estranei;
            s.lettura = leggiDati(f.db, dati, *s.tracciato);
        }
    }
    const Censimento finaleCs = censisci(dati, geometria.intestazione, geometria.blocco, finale.dimensioneRecord, s.tracciato->indizi);
    if (2 * finaleCs.conteggiValidi < finaleCs.collegati) {
        s.motivo = "con i campi secondo " + scelta->candidato->copia->fonte + " (record di " + std::to_string(finale.dimensioneRecord) +
                   " byte) solo " + std::to_string(finaleCs.conteggiValidi) + " dei " + std::to_string(finaleCs.collegati) +
                   " blocchi collegati hanno un numero di record valido: non è la disposizione dei dati";
        s.tracciato.reset();
        s.lettura.reset();
        return s;
    }
    if (s.lettura->neiBlocchiLetti >= 8 && 2 * static_cast<std::uint32_t>(s.lettura->scartati) > s.lettura->neiBlocchiLetti) {
        s.motivo = "con i campi secondo " + scelta->candidato->copia->fonte + " " + std::to_string(s.lettura->scartati) + " dei " +
                   std::to_string(s.lettura->neiBlocchiLetti) +
                   " record letti non avrebbero valori validi o l'ordine della chiave: non è la disposizione dei dati";
        s.tracciato.reset();
        s.lettura.reset();
        return s;
    }
    if (stretta) {
        std::vector<FieldDef> dellIntestazione;
        for (std::size_t i = 0; i < stretta->types.size(); ++i)
            if (const auto d = descrittore(stretta->types[i], stretta->sizes[i]))
                dellIntestazione.push_back(*d);
        bool stessi = dellIntestazione.size() == campi.size();
        for (std::size_t i = 0; stessi && i < campi.size(); ++i)
            stessi = uguali(dellIntestazione[i], campi[i], false);
        s.comeIntestazione = stessi && stretta->keyFields == chiave && stretta->blockSize == geometria.blocco &&
                             stretta->headerSize == geometria.intestazione;
    }
    return s;
}

}  // namespace korva::integrita
