#include "maintenance/copie_tracciato.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/table_file.h"
#include "maintenance/verifica_integrita.h"

#include <strings.h>

#include <algorithm>
#include <map>

namespace korva::integrita {

using namespace paradox;

namespace {

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

std::string descrizione(const FieldDef& c)
{
    std::string s(1, typeLetter(c.type));
    if (c.size != 0 || c.type == FieldType::Alpha || c.type == FieldType::Bytes || isBlob(c.type))
        s += std::to_string(c.size);
    return s;
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

}  // namespace

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

bool uguali(const FieldDef& a, const FieldDef& b, bool dizionario)
{
    return a.size == b.size && (a.type == b.type || (dizionario && classe(a.type) == classe(b.type)));
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

int byteDi(const std::vector<FieldDef>& campi)
{
    int n = 0;
    for (const FieldDef& c : campi)
        n += recordBytes(c.type, c.size);
    return n;
}

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

std::vector<Copia> copieDelTracciato(const FamigliaTabella& f, const std::optional<IntestazioneLetta>& h,
                                     const DefinizioniParadox* dizionario, int codePage)
{
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
    return copie;
}

}  // namespace korva::integrita
