#include "maintenance/tracciato_famiglia.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "maintenance/conteggio_record.h"
#include "maintenance/verifica_integrita.h"

#include <strings.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace korva::integrita {

using namespace paradox;

namespace {

constexpr int kInizioDatiIntestazione = 0x58;

// A description of the fields found in one file of the family, or in the dictionary.
struct Copia {
    std::string fonte;
    std::vector<std::pair<int, FieldDef>> campi;  // by position in the record
    int numeroCampi = -1;                          // a whole list: how many fields
    bool dizionario = false;                       // types by the dictionary's letters
    std::optional<int> chiave;                     // key fields
    std::optional<int> dimensioneRecord;           // bytes of a record
    std::vector<std::string> nomi;                 // a whole list: the names (UTF-8)
};

// A whole field list to read the records with, from one of the copies.
struct Candidato {
    const Copia* copia;
    std::vector<FieldDef> campi;
    int dimensioneRecord = 0;
};

// The dictionary's letters stand for more than one type (N for $, I for +, ...).
FieldType classe(FieldType t)
{
    switch (t) {
    case FieldType::Money: return FieldType::Number;
    case FieldType::AutoInc: return FieldType::Long;
    case FieldType::FmtMemo: return FieldType::Memo;
    case FieldType::Ole: return FieldType::Binary;
    default: return t;
    }
}

bool uguali(const FieldDef& a, const FieldDef& b, bool dizionario)
{
    return a.size == b.size && (a.type == b.type || (dizionario && classe(a.type) == classe(b.type)));
}

std::string descrizione(const FieldDef& c)
{
    std::string s(1, typeLetter(c.type));
    if (c.size != 0 || c.type == FieldType::Alpha || c.type == FieldType::Bytes || isBlob(c.type))
        s += std::to_string(c.size);
    return s;
}

// A field as a header describes it (type code and size byte); nothing when it cannot be one.
std::optional<FieldDef> descrittore(std::uint8_t codice, std::uint8_t dimensione)
{
    const auto t = typeFromCode(codice);
    if (!t)
        return std::nullopt;
    if (*t == FieldType::Bcd)
        return dimensione <= 32 ? std::optional<FieldDef>(FieldDef{"", *t, dimensione, false}) : std::nullopt;
    if (*t == FieldType::Alpha || *t == FieldType::Bytes)
        return dimensione >= 1 ? std::optional<FieldDef>(FieldDef{"", *t, dimensione, false}) : std::nullopt;
    if (isBlob(*t))
        return dimensione >= 10 ? std::optional<FieldDef>(FieldDef{"", *t, dimensione - 10, false}) : std::nullopt;
    return dimensione == recordBytes(*t, 0) ? std::optional<FieldDef>(FieldDef{"", *t, 0, false}) : std::nullopt;
}

std::optional<std::vector<FieldDef>> descrittori(const std::uint8_t* p, std::size_t n, std::size_t at, int quanti)
{
    if (quanti < 1 || at + 2 * static_cast<std::size_t>(quanti) > n)
        return std::nullopt;
    std::vector<FieldDef> campi;
    for (int i = 0; i < quanti; ++i) {
        const auto c = descrittore(p[at + 2 * i], p[at + 2 * i + 1]);
        if (!c)
            return std::nullopt;
        campi.push_back(*c);
    }
    return campi;
}

int byteDi(const std::vector<FieldDef>& campi)
{
    int n = 0;
    for (const FieldDef& c : campi)
        n += recordBytes(c.type, c.size);
    return n;
}

// `quanti` names, each ended by a NUL, from `at`; false when they are not names.
bool leggiNomi(const std::uint8_t* p, std::size_t n, std::size_t at, int quanti, std::vector<std::string>& nomi,
               std::size_t& fine)
{
    nomi.clear();
    for (int i = 0; i < quanti; ++i) {
        if (at >= n)
            return false;
        const auto* s = reinterpret_cast<const char*>(p + at);
        const std::size_t len = strnlen(s, std::min<std::size_t>(n - at, 256));
        if (len == 0 || at + len >= n || std::any_of(s, s + len, [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            return false;
        nomi.emplace_back(s, len);
        at += len + 1;
    }
    fine = at;
    return true;
}

// What the data file's header says, each part read on its own, so that a part that lies
// leaves the others readable.
struct IntestazioneLetta {
    Copia copia;
    int dimensioneRecord = 0, dimensioneIntestazione = 0, codiceBlocco = 0, campiChiave = 0;
    std::uint8_t tipoFile = 0, versione = 0, ordinamento = 0;
    bool conDati = false;  // the level-4 part that names code page and sort order
    int codePage = 0;
    std::string idOrdinamento, nomeTabella;
    std::size_t fine = 0;  // where its description ends
    int blocchiDelFile = 0;
};

std::optional<IntestazioneLetta> leggiIntestazione(const std::string& nome, const std::string& dati)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(dati.data());
    const std::size_t n = std::min<std::size_t>(dati.size(), 0xFFFF);
    if (n < kInizioDatiIntestazione)
        return std::nullopt;
    IntestazioneLetta h;
    h.copia.fonte = "l'intestazione di " + nome;
    h.dimensioneRecord = get16(p + Hdr::RecordSize);
    h.dimensioneIntestazione = get16(p + Hdr::HeaderSize);
    h.tipoFile = p[Hdr::FileType];
    h.codiceBlocco = p[Hdr::BlockSize];
    h.campiChiave = get16(p + Hdr::KeyFields);
    h.ordinamento = p[Hdr::SortOrder];
    h.versione = p[Hdr::Version];
    h.blocchiDelFile = get16(p + Hdr::FileBlocks);
    const int dichiarati = get16(p + Hdr::NumFields);
    const bool livello4 = h.versione >= 5;
    // The field list where the level says; then where the other levels put it, and with the
    // number of fields that makes up the record's size.
    std::optional<std::vector<FieldDef>> senzaNomi;
    for (const bool conDati : {livello4, !livello4})
        for (const std::size_t lungNome : {std::size_t{h.versione >= Version::V7 ? 261u : 79u},
                                           std::size_t{h.versione >= Version::V7 ? 79u : 261u}}) {
            const std::size_t at = conDati ? 0x78 : 0x58;
            std::vector<int> prove{dichiarati};
            for (int q = 1; q <= 255; ++q)
                if (q != dichiarati)
                    prove.push_back(q);
            for (int quanti : prove) {
                const auto campi = descrittori(p, n, at, quanti);
                if (!campi || (quanti != dichiarati && byteDi(*campi) != h.dimensioneRecord))
                    continue;
                // Another number of fields than the header's only when its names read too.
                if (!senzaNomi && quanti == dichiarati)
                    senzaNomi = campi;
                const std::size_t nomeAt = at + 6 * static_cast<std::size_t>(quanti) + 4;
                std::vector<std::string> nomi;
                std::size_t fine = 0;
                if (!leggiNomi(p, n, nomeAt + lungNome, quanti, nomi, fine))
                    continue;
                h.conDati = conDati;
                h.nomeTabella.assign(reinterpret_cast<const char*>(p + nomeAt), strnlen(reinterpret_cast<const char*>(p + nomeAt), lungNome));
                if (conDati) {
                    h.codePage = get16(p + Hdr::CodePage);
                    const std::size_t idAt = 0x58 + static_cast<std::size_t>(get16(p + 0x6E));
                    if (idAt < n)
                        h.idOrdinamento.assign(reinterpret_cast<const char*>(p + idAt), strnlen(reinterpret_cast<const char*>(p + idAt), std::min<std::size_t>(n - idAt, 32)));
                    fine += 2 * static_cast<std::size_t>(quanti) + h.idOrdinamento.size() + 1;
                }
                h.fine = fine;
                const int cp = conDati ? h.codePage : (h.ordinamento == 0xC0 ? 866 : 437);
                for (std::size_t i = 0; i < campi->size(); ++i) {
                    FieldDef c = (*campi)[i];
                    try {
                        c.name = codepage::toUtf8(nomi[i], cp);
                    } catch (const Error&) {
                        c.name = codepage::toUtf8(nomi[i], codepage::kWindowsWestern);
                    }
                    h.copia.nomi.push_back(c.name);
                    h.copia.campi.emplace_back(static_cast<int>(i), c);
                }
                h.copia.numeroCampi = quanti;
                return h;
            }
        }
    if (senzaNomi) {
        for (std::size_t i = 0; i < senzaNomi->size(); ++i)
            h.copia.campi.emplace_back(static_cast<int>(i), (*senzaNomi)[i]);
        h.copia.numeroCampi = static_cast<int>(senzaNomi->size());
        h.conDati = livello4;
    }
    return h;
}

// The key fields' descriptions in the primary index.
std::optional<Copia> copiaPx(const std::string& nome, const std::string& dati)
{
    try {
        const auto* p = reinterpret_cast<const std::uint8_t*>(dati.data());
        const Header x = parseHeader(p, dati.size(), dati.size(), nome);
        if (x.fileType != FileType::PrimaryIndex)
            return std::nullopt;
        Copia c;
        c.fonte = nome;
        for (int i = 0; i < x.numFields(); ++i) {
            const auto d = descrittore(x.types[static_cast<std::size_t>(i)], x.sizes[static_cast<std::size_t>(i)]);
            if (!d)
                return std::nullopt;
            c.campi.emplace_back(i, *d);
        }
        c.chiave = x.numFields();
        return c;
    } catch (const Error&) {
        return std::nullopt;
    }
}

bool stessoNome(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// A secondary index's .X holds the indexed fields, then the key fields, then the data block:
// the descriptions of those fields and the number of key fields. `nomi`: the table's field
// names, to find where the key fields begin in a composite index.
std::optional<Copia> copiaX(const std::string& nome, const std::string& dati, const std::vector<std::string>& nomi)
{
    try {
        const auto* p = reinterpret_cast<const std::uint8_t*>(dati.data());
        const Header x = parseHeader(p, dati.size(), dati.size(), nome);
        const bool gruppo = x.fileType == FileType::XGMaintained || x.fileType == FileType::XGNonMaintained;
        if (!gruppo && x.fileType != FileType::XMaintained && x.fileType != FileType::XNonMaintained)
            return std::nullopt;
        const int n = x.numFields();
        const int cp = x.effectiveCodePage();
        std::vector<std::string> nomiX;
        for (const std::string& s : x.names)
            nomiX.push_back(codepage::toUtf8(s, cp));
        if (n < 3 || static_cast<int>(nomiX.size()) != n || !stessoNome(nomiX.back(), "Blk Num"))
            return std::nullopt;
        int chiave = 0;
        if (!gruppo) {
            chiave = n - 2;
        } else {
            for (int k = n - 2; k >= 1 && chiave == 0; --k) {
                bool ok = k <= static_cast<int>(nomi.size());
                for (int i = 0; ok && i < k; ++i)
                    ok = stessoNome(nomiX[static_cast<std::size_t>(n - 1 - k + i)], nomi[static_cast<std::size_t>(i)]);
                if (ok)
                    chiave = k;
            }
            if (chiave == 0)
                return std::nullopt;
        }
        const int indicizzati = n - 1 - chiave;
        Copia c;
        c.fonte = nome;
        c.chiave = chiave;
        for (int i = 0; i < n - 1; ++i) {
            const auto d = descrittore(x.types[static_cast<std::size_t>(i)], x.sizes[static_cast<std::size_t>(i)]);
            if (!d)
                return std::nullopt;
            int posizione = i - indicizzati;
            if (i < indicizzati) {
                if (static_cast<int>(x.fieldNumbers.size()) <= i)
                    continue;
                posizione = (x.fieldNumbers[static_cast<std::size_t>(i)] & 0x7FFF) - 1;
            }
            c.campi.emplace_back(posizione, *d);
        }
        return c;
    } catch (const Error&) {
        return std::nullopt;
    }
}

// The field list of the validity file, after its checks.
std::optional<Copia> copiaVal(const std::string& nome, const std::string& dati, int codePage)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(dati.data());
    const std::size_t n = dati.size();
    if (n < 0x35)
        return std::nullopt;
    const std::size_t fine = get32(p + 9);
    if (fine < 0x35 || fine + 6 > n)
        return std::nullopt;
    const int quanti = get16(p + fine);
    std::size_t at = fine + 6 + 2 * static_cast<std::size_t>(quanti);
    const auto campi = descrittori(p, n, at, quanti);
    if (!campi)
        return std::nullopt;
    at += 2 * static_cast<std::size_t>(quanti) + 79;
    std::vector<std::string> nomi;
    std::size_t dopo = 0;
    if (!leggiNomi(p, n, at, quanti, nomi, dopo))
        return std::nullopt;
    Copia c;
    c.fonte = nome;
    c.numeroCampi = quanti;
    for (int i = 0; i < quanti; ++i) {
        FieldDef d = (*campi)[static_cast<std::size_t>(i)];
        d.name = codepage::toUtf8(nomi[static_cast<std::size_t>(i)], codepage::supported(codePage) ? codePage : 1252);
        c.nomi.push_back(d.name);
        c.campi.emplace_back(i, d);
    }
    return c;
}

Copia copiaDizionario(const DefinizioniParadox& diz)
{
    Copia c;
    c.fonte = "il dizionario";
    c.dizionario = true;
    c.numeroCampi = static_cast<int>(diz.campi.size());
    for (std::size_t i = 0; i < diz.campi.size(); ++i) {
        c.campi.emplace_back(static_cast<int>(i), FieldDef{diz.campi[i].name, diz.campi[i].type, diz.campi[i].size, false});
        c.nomi.push_back(diz.campi[i].name);
    }
    c.chiave = 0;
    for (const IndexDef& ix : diz.indici)
        if (isPrimaryIndex(ix)) {
            const std::vector<std::string> chiave = splitFields(ix.fields);
            bool inTesta = chiave.size() <= diz.campi.size();
            for (std::size_t i = 0; inTesta && i < chiave.size(); ++i)
                inTesta = stessoNome(chiave[i], diz.campi[i].name);
            c.chiave = inTesta ? std::optional<int>(static_cast<int>(chiave.size())) : std::nullopt;
        }
    return c;
}

// What a copy says of a field list: 1 agrees, -1 disagrees, 0 nothing.
int voto(const Copia& c, const std::vector<FieldDef>& campi)
{
    if (c.numeroCampi >= 0 && c.numeroCampi != static_cast<int>(campi.size()))
        return -1;
    if (c.dimensioneRecord && *c.dimensioneRecord != byteDi(campi))
        return -1;
    for (const auto& [i, d] : c.campi)
        if (i < 0 || i >= static_cast<int>(campi.size()) || !uguali(d, campi[static_cast<std::size_t>(i)], c.dizionario))
            return -1;
    return c.campi.empty() && !c.dimensioneRecord ? 0 : 1;
}

bool equivalenti(const std::vector<FieldDef>& a, const std::vector<FieldDef>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!uguali(a[i], b[i], true))
            return false;
    return true;
}

std::string elenco(const std::vector<std::string>& v)
{
    std::string s;
    for (std::size_t i = 0; i < v.size(); ++i)
        s += (i == 0 ? "" : i + 1 == v.size() ? " e " : ", ") + v[i];
    return s;
}

// Each field on which the copies disagree: what each says.
std::vector<std::string> disaccordi(const std::vector<const Copia*>& copie, const std::vector<FieldDef>& scelti)
{
    std::vector<std::string> out;
    std::map<int, std::vector<std::string>> conteggi;
    for (const Copia* c : copie)
        if (c->numeroCampi >= 0)
            conteggi[c->numeroCampi].push_back(c->fonte);
    if (conteggi.size() > 1) {
        std::string s = "numero dei campi:";
        for (const auto& [n, fonti] : conteggi)
            s += " " + std::to_string(n) + " secondo " + elenco(fonti) + ";";
        s.pop_back();
        out.push_back(s);
    }
    for (std::size_t i = 0; i < scelti.size(); ++i) {
        std::vector<std::pair<std::string, std::vector<std::string>>> dette;
        for (const Copia* c : copie)
            for (const auto& [pos, d] : c->campi) {
                if (pos != static_cast<int>(i))
                    continue;
                const std::string t = uguali(d, scelti[i], c->dizionario) ? descrizione(scelti[i]) : descrizione(d);
                auto it = std::find_if(dette.begin(), dette.end(), [&](const auto& x) { return x.first == t; });
                if (it == dette.end())
                    dette.push_back({t, {c->fonte}});
                else
                    it->second.push_back(c->fonte);
            }
        if (dette.size() < 2)
            continue;
        std::string s = "campo " + std::to_string(i + 1) + (scelti[i].name.empty() ? "" : " (" + scelti[i].name + ")") + ":";
        for (const auto& [t, fonti] : dette)
            s += " " + t + " secondo " + elenco(fonti) + ";";
        s.pop_back();
        out.push_back(s + ": usato " + descrizione(scelti[i]));
    }
    for (const Copia* c : copie)
        if (c->dimensioneRecord && *c->dimensioneRecord != byteDi(scelti))
            out.push_back("dimensione del record: " + std::to_string(*c->dimensioneRecord) + " byte secondo " + c->fonte +
                          ", " + std::to_string(byteDi(scelti)) + " secondo i campi usati");
    return out;
}

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
    if (stretta && stretta->fileType != FileType::KeyedDb && stretta->fileType != FileType::UnkeyedDb) {
        s.motivo = "il file non è una tabella ma un file indice";
        return s;
    }
    if (stretta && stretta->encrypted) {
        s.motivo = "tabella protetta da password: il contenuto non si può leggere";
        return s;
    }
    const int codePage = !h ? 1252 : h->conDati ? h->codePage : (h->ordinamento == 0xC0 ? 866 : 437);

    // The copies of the layout.
    std::vector<Copia> copie;
    if (h) {
        copie.push_back(h->copia);
        if ((h->tipoFile == FileType::KeyedDb) == (h->campiChiave > 0))
            copie.back().chiave = h->campiChiave;
    }
    if (h) {
        // The record size the header states on its own is one more copy.
        Copia dimensione;
        dimensione.fonte = "la dimensione del record nell'intestazione di " + f.db;
        dimensione.dimensioneRecord = h->dimensioneRecord;
        copie.push_back(dimensione);
    }
    if (dizionario && !dizionario->campi.empty())
        copie.push_back(copiaDizionario(*dizionario));
    if (const std::string* val = f.dati(f.val))
        if (auto c = copiaVal(*f.val, *val, codePage))
            copie.push_back(*c);
    if (const std::string* px = f.dati(f.px))
        if (auto c = copiaPx(*f.px, *px))
            copie.push_back(*c);
    {
        const std::vector<std::string>& nomi = h && !h->copia.nomi.empty() ? h->copia.nomi
                                              : dizionario                   ? copiaDizionario(*dizionario).nomi
                                                                             : std::vector<std::string>{};
        for (const std::string& nome : f.secondari) {
            const std::string e = nome.substr(nome.rfind('.') + 1);
            if (e[0] == 'X' || e[0] == 'x')
                if (auto c = copiaX(nome, f.file.at(nome), nomi))
                    copie.push_back(*c);
        }
    }
    std::vector<Candidato> candidati;
    for (const Copia& c : copie)
        if (c.numeroCampi > 0) {
            Candidato k{&c, {}, 0};
            for (const auto& [_, d] : c.campi)
                k.campi.push_back(d);
            k.dimensioneRecord = byteDi(k.campi);
            candidati.push_back(std::move(k));
        }
    if (candidati.empty()) {
        s.motivo = "l'intestazione è illeggibile e il dizionario non descrive la tabella";
        return s;
    }

    // The geometry: the header size and block size under which the blocks link up.
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
            return s;
        }
        if (dichiarata && !(geometria == *dichiarata))
            s.note.push_back(f.db + ": l'intestazione dichiara " + testoGeometria(*dichiarata) +
                             ", ma i blocchi si collegano fra loro con " + testoGeometria(geometria) + ": letti così");
        else if (!dichiarata)
            s.note.push_back(f.db + ": l'intestazione non dichiara la dimensione dei blocchi; i blocchi si collegano fra loro con " +
                             testoGeometria(geometria) + ": letti così");
    }

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
    const Collation* fidato = h ? collationFor(h->ordinamento, h->idOrdinamento, h->conDati ? h->codePage : 0) : nullptr;
    const Collation* noto =
        h ? knowledgeCollationFor(h->ordinamento, h->idOrdinamento, h->conDati ? h->codePage : 0) : collationFor(kNewSortOrder, kNewSortOrderId, 1252);
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
            s.note.push_back("con i campi secondo " + p.candidato->copia->fonte + " e " + std::to_string(p.chiave) +
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
    const bool dellIntestazione = h && &h->copia == scelta->candidato->copia;
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
    // A block whose count says more than a primary index that agrees with the other blocks.
    if (const auto foglie = chiave > 0 ? fogliePx(f, s.lettura->byteChiave, s.lettura->capienza) : std::nullopt) {
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
