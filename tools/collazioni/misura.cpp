#include "misura.h"

#include "campioni.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>

namespace korva::collazioni {

const std::vector<Driver>& drivers()
{
    // Firebird 3.0 keeps PXW_INTL850's secondary weights in four bits: the driver's Ã (16)
    // and Ä, ä (17, above every other) come out as 0 and 1 (mended in Firebird 4).
    static const std::vector<Driver> tutti = {
        {"ANSIINTL", 0x62, 1252, "WIN1252", "PXW_INTL", {}},
        {"ANSII850", 0x11, 1252, "WIN1252", "PXW_INTL850", {{0xC3, 16, 0}, {0xE4, 17, 'e'}, {0xC4, 17, 'E'}}},
        {"intl", 0xB7, 437, "DOS437", "PDOX_INTL", {}},
        {"cyrr", 0xC0, 866, "CYRL", "PDOX_CYRL", {}},
        {"swedfin", 0xF0, 437, "DOS437", "PDOX_SWEDFIN", {}},
        {"nordan40", 0xE6, 865, "DOS865", "PDOX_NORDAN4", {}},
    };
    return tutti;
}

bool corretta(const Driver& d, std::string_view s)
{
    for (const Correzione& c : d.correzioni)
        if (s.find(static_cast<char>(c.byte)) != std::string_view::npos)
            return true;
    return false;
}

namespace {

constexpr std::uint8_t kSpazio = 0x20;

std::string esadecimale(std::string_view s)
{
    std::string h;
    char due[3];
    for (unsigned char c : s) {
        std::snprintf(due, sizeof due, "%02X", c);
        h += due;
    }
    return h;
}

std::string str(std::initializer_list<int> byte)
{
    std::string s;
    for (int b : byte)
        s += static_cast<char>(b);
    return s;
}

// Firebird's ranks of a set of strings.
using Ranghi = std::unordered_map<std::string, int>;

Ranghi ordina(Isql& isql, const Driver& d, const std::vector<std::string>& stringhe)
{
    const std::vector<int> r = ranghi(isql, d, stringhe);
    Ranghi out;
    for (std::size_t i = 0; i < stringhe.size(); ++i)
        out.emplace(stringhe[i], r[i]);
    return out;
}

int rango(const Ranghi& r, const std::string& s)
{
    const auto it = r.find(s);
    if (it == r.end())
        throw std::logic_error("stringa non misurata: " + esadecimale(s));
    return it->second;
}

// Every string of one byte and of two (no trailing blank), made in the database itself; the
// driver's upper case of every byte.
Ranghi unoEDue(Isql& isql, const Driver& d, std::array<std::uint8_t, 256>& maiuscole)
{
    const std::string cs = d.charset;
    const std::string script =
        "RECREATE TABLE U (ID INTEGER, S VARCHAR(2) CHARACTER SET " + cs + ");\nCOMMIT;\nSET TERM ^;\n"
        "EXECUTE BLOCK AS DECLARE I INTEGER = 1; DECLARE J INTEGER; BEGIN\n"
        "  WHILE (I < 256) DO BEGIN\n"
        "    INSERT INTO U VALUES (:I, CAST(ASCII_CHAR(:I) AS VARCHAR(2) CHARACTER SET " + cs + "));\n"
        "    J = 1;\n"
        "    WHILE (J < 256) DO BEGIN\n"
        "      IF (J <> 32) THEN INSERT INTO U VALUES (:I * 256 + :J,\n"
        "        CAST(ASCII_CHAR(:I) || ASCII_CHAR(:J) AS VARCHAR(2) CHARACTER SET " + cs + "));\n"
        "      J = J + 1;\n"
        "    END\n"
        "    I = I + 1;\n"
        "  END\n"
        "END^\nSET TERM ;^\nCOMMIT;\n"
        "SELECT ID, DENSE_RANK() OVER (ORDER BY S COLLATE " + d.collazione + ") FROM U;\n"
        "SELECT 100000 + ID, ASCII_VAL(UPPER(S COLLATE " + d.collazione + ")) FROM U WHERE ID < 256;\n"
        "COMMIT;\n";
    Ranghi r;
    maiuscole = {};
    for (const auto& riga : isql.esegui(script)) {
        if (riga.size() != 2)
            throw std::runtime_error("isql-fb: riga inattesa nella misura di " + d.collazione);
        if (riga[0] >= 100000) {
            maiuscole.at(static_cast<std::size_t>(riga[0] - 100000)) = static_cast<std::uint8_t>(riga[1]);
            continue;
        }
        const long id = riga[0];
        r.emplace(id < 256 ? str({static_cast<int>(id)}) : str({static_cast<int>(id / 256), static_cast<int>(id % 256)}),
                  static_cast<int>(riga[1]));
    }
    if (r.size() != 255 + 255 * 254)
        throw std::runtime_error("isql-fb: misura incompleta di " + d.collazione);
    return r;
}

// What the measurement finds, step by step.
struct Analisi {
    const Driver& d;
    Ranghi r;                       // strings of one and two bytes
    int basso = 0, alto = 0;        // the bytes of the lowest and highest primary weight
    std::vector<std::vector<int>> classi;  // bytes of equal primary weight, by weight; members by secondary
    std::vector<int> espansi;
    std::map<int, std::pair<int, int>> espansione;  // byte -> its two classes
    std::array<int, 256> classe{};  // of a byte that does not expand

    bool corretto(int b) const { return corretta(d, str({b})); }

    // Whether two strings have the same primary weights: each followed by the lowest byte
    // sorts below the other followed by the highest, and each alone below the other grown.
    template <typename R>
    bool stessiPrimari(const R& ranghi, const std::string& x, const std::string& y) const
    {
        const std::string lo = str({basso}), hi = str({alto});
        return rango(ranghi, x + hi) > rango(ranghi, y + lo) && rango(ranghi, y + hi) > rango(ranghi, x + lo) &&
               rango(ranghi, y) < rango(ranghi, x + lo) && rango(ranghi, x) < rango(ranghi, y + lo);
    }
    // Whether the primary weights of c are a proper beginning of those of b.
    bool prefisso(int c, int b) const
    {
        const int rb = rango(r, str({b}));
        return rango(r, str({c, basso})) < rb && rb < rango(r, str({c, alto}));
    }
};

[[noreturn]] void fallisce(const Driver& d, const std::string& perche)
{
    throw std::runtime_error(d.collazione + " (" + d.nome + "): " + perche);
}

void trovaClassi(Analisi& a)
{
    std::vector<int> ordinati;
    for (int b = 1; b < 256; ++b)
        if (b != kSpazio)
            ordinati.push_back(b);
    std::sort(ordinati.begin(), ordinati.end(),
              [&](int x, int y) { return rango(a.r, str({x})) < rango(a.r, str({y})); });
    a.basso = ordinati.front();
    a.alto = ordinati.back();
    std::vector<std::vector<int>> gruppi;
    for (int b : ordinati) {
        auto g = std::find_if(gruppi.begin(), gruppi.end(),
                              [&](const std::vector<int>& g) { return a.stessiPrimari(a.r, str({g[0]}), str({b})); });
        if (g == gruppi.end())
            gruppi.push_back({b});
        else
            g->push_back(b);
    }
    for (auto& g : gruppi) {
        const bool espande = std::any_of(ordinati.begin(), ordinati.end(), [&](int c) { return c != g[0] && a.prefisso(c, g[0]); });
        for (int b : g) {
            const bool anche = std::any_of(ordinati.begin(), ordinati.end(), [&](int c) { return c != b && a.prefisso(c, b); });
            if (anche != espande)
                fallisce(a.d, "pesi primari non riconoscibili per il byte " + esadecimale(str({b})));
        }
        if (espande)
            a.espansi.insert(a.espansi.end(), g.begin(), g.end());
        else
            a.classi.push_back(g);
    }
    // The blank, which Firebird ignores at the end, is placed by what follows it.
    const std::string sp = str({kSpazio});
    std::size_t sotto = 0;
    for (const auto& c : a.classi) {
        if (a.stessiPrimari(a.r, str({c[0]}), sp))
            fallisce(a.d, "il blank ha il peso primario di " + esadecimale(str({c[0]})));
        if (rango(a.r, str({c[0], a.alto})) < rango(a.r, str({kSpazio, a.basso})))
            ++sotto;
        else if (rango(a.r, str({c[0], a.basso})) < rango(a.r, str({kSpazio, a.alto})))
            fallisce(a.d, "il blank non ha un posto tra i pesi primari");
    }
    for (std::size_t i = 0; i + 1 < a.classi.size(); ++i)
        if (rango(a.r, str({a.classi[i][0], a.alto})) > rango(a.r, str({a.classi[i + 1][0], a.basso})))
            fallisce(a.d, "pesi primari non ordinati attorno al byte " + esadecimale(str({a.classi[i][0]})));
    a.classi.insert(a.classi.begin() + static_cast<std::ptrdiff_t>(sotto), std::vector<int>{kSpazio});
    a.classe.fill(-1);
    for (std::size_t i = 0; i < a.classi.size(); ++i)
        for (int b : a.classi[i])
            a.classe[static_cast<std::size_t>(b)] = static_cast<int>(i);
}

// The two classes of every expanding byte: the first is that of the bytes whose primary
// weight begins it, the second that of the byte d for which it weighs as c d.
void trovaEspansioni(Isql& isql, Analisi& a)
{
    if (a.espansi.empty())
        return;
    const std::string lo = str({a.basso}), hi = str({a.alto});
    std::vector<std::string> stringhe;
    std::map<int, int> prima;
    for (int x : a.espansi) {
        std::set<int> classi;
        for (int c = 1; c < 256; ++c)
            if (a.classe[static_cast<std::size_t>(c)] >= 0 && c != kSpazio && a.prefisso(c, x))
                classi.insert(a.classe[static_cast<std::size_t>(c)]);
        if (classi.size() != 1)
            fallisce(a.d, "l'espansione del byte " + esadecimale(str({x})) + " non ha una prima lettera");
        prima[x] = *classi.begin();
        const std::string c = str({a.classi[static_cast<std::size_t>(prima[x])][0]}), sx = str({x});
        for (const std::string& s : {sx, sx + lo, sx + hi})
            stringhe.push_back(s);
        for (int d = 1; d < 256; ++d)
            if (d != kSpazio && a.classe[static_cast<std::size_t>(d)] >= 0)
                for (const std::string& s : {c + str({d}), c + str({d}) + lo, c + str({d}) + hi})
                    stringhe.push_back(s);
    }
    std::sort(stringhe.begin(), stringhe.end());
    stringhe.erase(std::unique(stringhe.begin(), stringhe.end()), stringhe.end());
    const Ranghi r3 = ordina(isql, a.d, stringhe);
    for (int x : a.espansi) {
        const std::string c = str({a.classi[static_cast<std::size_t>(prima[x])][0]});
        std::set<int> seconde;
        for (int d = 1; d < 256; ++d)
            if (d != kSpazio && a.classe[static_cast<std::size_t>(d)] >= 0 && a.stessiPrimari(r3, str({x}), c + str({d})))
                seconde.insert(a.classe[static_cast<std::size_t>(d)]);
        if (seconde.size() != 1)
            fallisce(a.d, "l'espansione del byte " + esadecimale(str({x})) + " non ha una seconda lettera");
        a.espansione[x] = {prima[x], *seconde.begin()};
    }
}

// Two members of a class that only a third level tells apart (their secondary weights are
// equal) cannot be weighed by two levels: x then y sorts as x·B and y·b do.
void controllaTerzoLivello(Isql& isql, const Analisi& a)
{
    std::vector<int> riferimento;
    for (const auto& c : a.classi) {
        riferimento.clear();
        std::copy_if(c.begin(), c.end(), std::back_inserter(riferimento), [&](int b) { return !a.corretto(b); });
        if (riferimento.size() > 1)
            break;
    }
    if (riferimento.size() < 2)
        return;
    const int r0 = riferimento[0], r1 = riferimento[1];
    std::vector<std::string> stringhe;
    for (const auto& c : a.classi)
        for (std::size_t i = 0; i + 1 < c.size(); ++i) {
            stringhe.push_back(str({c[i], r1}));
            stringhe.push_back(str({c[i + 1], r0}));
        }
    const Ranghi r = ordina(isql, a.d, stringhe);
    for (const auto& c : a.classi)
        for (std::size_t i = 0; i + 1 < c.size(); ++i)
            if (rango(r, str({c[i + 1], r0})) < rango(r, str({c[i], r1})) && !a.corretto(c[i]) && !a.corretto(c[i + 1]))
                fallisce(a.d, "i byte " + esadecimale(str({c[i]})) + " e " + esadecimale(str({c[i + 1]})) +
                                  " differiscono solo per un terzo livello");
}

// Secondary weights as numbers (expansions may fall between those of the plain bytes), later
// numbered from 0 within each primary weight.
using Valori = std::array<std::array<double, 2>, 256>;

// The expanding bytes `xs` of the classes pc and pd, weighed by their place among the strings
// c d of those classes: a tie gives the pair's weights; a gap a weight of their own, after
// the one below (and before the one above) at the first position where they differ. Bytes in
// the same gap share its width.
void pesaEspansioni(Isql& isql, const Analisi& a, const std::vector<int>& pc, const std::vector<int>& pd,
                    const std::vector<int>& xs, Valori& v)
{
    std::vector<std::string> coppie;
    for (int c : pc)
        for (int d : pd)
            coppie.push_back(str({c, d}));
    std::vector<std::string> stringhe = coppie;
    for (int x : xs)
        stringhe.push_back(str({x}));
    const Ranghi r = ordina(isql, a.d, stringhe);
    // The strings c d sort by the secondary weights of c, then of d.
    for (std::size_t i = 1; i < coppie.size(); ++i)
        if (rango(r, coppie[i - 1]) >= rango(r, coppie[i]))
            fallisce(a.d, "le coppie " + esadecimale(coppie[i - 1]) + " e " + esadecimale(coppie[i]) +
                              " non seguono i pesi secondari");
    // The first pair not below each expanding byte.
    auto primaNonSotto = [&](int x) {
        return std::find_if(coppie.begin(), coppie.end(), [&](const std::string& s) { return rango(r, s) >= rango(r, str({x})); });
    };
    std::vector<int> ordine = xs;
    std::sort(ordine.begin(), ordine.end(), [&](int x, int y) { return rango(r, str({x})) < rango(r, str({y})); });
    for (std::size_t k = 0; k < ordine.size();) {
        const auto dopo = primaNonSotto(ordine[k]);
        std::size_t fine = k;
        std::set<int> ranghiNelVuoto;
        while (fine < ordine.size() && primaNonSotto(ordine[fine]) == dopo)
            ranghiNelVuoto.insert(rango(r, str({ordine[fine++]})));
        for (std::size_t j = k; j < fine; ++j) {
            auto& e = v[static_cast<std::size_t>(ordine[j])];
            const int rj = rango(r, str({ordine[j]}));
            const std::size_t sopra = static_cast<std::size_t>(dopo - coppie.begin());
            if (dopo != coppie.end() && rango(r, *dopo) == rj) {
                e = {static_cast<double>(sopra / pd.size()), static_cast<double>(sopra % pd.size())};
                continue;
            }
            const double quota = static_cast<double>(1 + std::distance(ranghiNelVuoto.begin(), ranghiNelVuoto.find(rj))) /
                                 static_cast<double>(ranghiNelVuoto.size() + 1);
            const bool dentroUnaC = sopra > 0 && sopra < coppie.size() && (sopra - 1) / pd.size() == sopra / pd.size();
            if (dentroUnaC)
                e = {static_cast<double>(sopra / pd.size()), static_cast<double>((sopra - 1) % pd.size()) + quota};
            else
                e = {static_cast<double>(sopra / pd.size()) - 1.0 + quota, 0.0};
        }
        k = fine;
    }
}

void secondari(Isql& isql, Analisi& a, Valori& v)
{
    for (auto& c : a.classi) {
        c.erase(std::remove_if(c.begin(), c.end(), [&](int b) { return a.corretto(b); }), c.end());
        for (std::size_t i = 0; i < c.size(); ++i)
            v[static_cast<std::size_t>(c[i])][0] = static_cast<double>(i);
    }
    std::map<std::pair<int, int>, std::vector<int>> gruppi;
    for (int x : a.espansi)
        if (!a.corretto(x))
            gruppi[a.espansione.at(x)].push_back(x);
    for (const auto& [classi, xs] : gruppi)
        pesaEspansioni(isql, a, a.classi[static_cast<std::size_t>(classi.first)],
                       a.classi[static_cast<std::size_t>(classi.second)], xs, v);
    // The corrections: above every weight measured in their class, in the driver's order.
    for (const Correzione& c : a.d.correzioni) {
        const bool espande = a.espansione.count(c.byte) != 0;
        const int cl = espande ? a.espansione.at(c.byte).first : a.classe[c.byte];
        if (cl < 0)
            fallisce(a.d, "il byte corretto " + esadecimale(str({c.byte})) + " non ha una classe");
        const auto& membri = a.classi[static_cast<std::size_t>(cl)];
        auto& e = v[c.byte];
        e[0] = static_cast<double>(membri.size()) + c.secondario;
        if (espande) {
            const int seconda = a.classe[c.secondaLettera];
            if (seconda != a.espansione.at(c.byte).second)
                fallisce(a.d, "la seconda lettera del byte corretto " + esadecimale(str({c.byte})) + " non è quella misurata");
            e[1] = v[c.secondaLettera][0];
        }
    }
}

Pesi numera(const Analisi& a, const Valori& v)
{
    // Every value used within each class, numbered from 0.
    std::map<int, std::set<double>> usati;
    auto primario = [&](int b, int k) {
        if (k == 0)
            return a.espansione.count(b) ? a.espansione.at(b).first : a.classe[static_cast<std::size_t>(b)];
        return a.espansione.count(b) ? a.espansione.at(b).second : -1;
    };
    for (int b = 1; b < 256; ++b)
        for (int k = 0; k < 2; ++k)
            if (primario(b, k) >= 0)
                usati[primario(b, k)].insert(v[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)]);
    Pesi p;
    for (int b = 1; b < 256; ++b)
        for (int k = 0; k < 2; ++k) {
            const int cl = primario(b, k);
            if (cl < 0)
                continue;
            const auto& valori = usati[cl];
            auto& e = p.elementi[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)];
            e.primario = cl + 1;
            e.secondario = static_cast<int>(std::distance(valori.begin(), valori.find(v[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)])));
        }
    return p;
}

// The weights must give Firebird's order of every string tried (a trailing blank, which
// Firebird ignores, and the bytes the corrections place left out).
void verifica(const Driver& d, const Pesi& p, const Ranghi& r, const std::string& quali)
{
    std::vector<std::pair<int, const std::string*>> ordine;
    for (const auto& [s, k] : r)
        if (!s.empty() && s.back() != ' ' && !corretta(d, s))
            ordine.emplace_back(k, &s);
    std::sort(ordine.begin(), ordine.end(), [](const auto& x, const auto& y) { return x.first < y.first || (x.first == y.first && *x.second < *y.second); });
    std::string errori;
    int quanti = 0;
    for (std::size_t i = 1; i < ordine.size(); ++i) {
        const std::string& x = *ordine[i - 1].second;
        const std::string& y = *ordine[i].second;
        const int atteso = ordine[i - 1].first == ordine[i].first ? 0 : -1;
        if (confronta(p, x, y) != atteso && quanti++ < 5)
            errori += " " + esadecimale(x) + (atteso ? " < " : " = ") + esadecimale(y) + ";";
    }
    if (quanti)
        fallisce(d, std::to_string(quanti) + " disaccordi con Firebird (" + quali + "):" + errori);
}

}  // namespace

std::vector<int> ranghi(Isql& isql, const Driver& d, const std::vector<std::string>& stringhe)
{
    std::size_t lunghezza = 1;
    for (const auto& s : stringhe)
        lunghezza = std::max(lunghezza, s.size());
    std::string script = "RECREATE TABLE W (ID INTEGER, S VARCHAR(" + std::to_string(lunghezza) + ") CHARACTER SET " +
                         d.charset + ");\nCOMMIT;\n";
    for (std::size_t i = 0; i < stringhe.size(); ++i) {
        if (stringhe[i].empty())
            throw std::invalid_argument("stringa vuota da ordinare");
        script += "INSERT INTO W VALUES (" + std::to_string(i) + ", _" + d.charset + " x'" + esadecimale(stringhe[i]) + "');\n";
    }
    script += "COMMIT;\nSELECT ID, DENSE_RANK() OVER (ORDER BY S COLLATE " + d.collazione + ") FROM W;\nCOMMIT;\n";
    std::vector<int> r(stringhe.size(), 0);
    for (const auto& riga : isql.esegui(script)) {
        if (riga.size() != 2 || riga[0] < 0 || static_cast<std::size_t>(riga[0]) >= r.size())
            throw std::runtime_error("isql-fb: riga inattesa nell'ordinamento");
        r[static_cast<std::size_t>(riga[0])] = static_cast<int>(riga[1]);
    }
    if (std::find(r.begin(), r.end(), 0) != r.end())
        throw std::runtime_error("isql-fb: ordinamento incompleto");
    return r;
}

int confronta(const Pesi& p, std::string_view a, std::string_view b)
{
    auto elementi = [&](std::string_view s) {
        std::vector<Elemento> e;
        for (unsigned char c : s)
            for (const Elemento& x : p.elementi[c])
                if (x.primario)
                    e.push_back(x);
        return e;
    };
    const auto ea = elementi(a), eb = elementi(b);
    for (std::size_t i = 0; i < std::min(ea.size(), eb.size()); ++i)
        if (ea[i].primario != eb[i].primario)
            return ea[i].primario < eb[i].primario ? -1 : 1;
    if (ea.size() != eb.size())
        return ea.size() < eb.size() ? -1 : 1;
    for (std::size_t i = 0; i < ea.size(); ++i)
        if (ea[i].secondario != eb[i].secondario)
            return ea[i].secondario < eb[i].secondario ? -1 : 1;
    return 0;
}

Pesi misura(Isql& isql, const Driver& d, std::size_t prove)
{
    Analisi a{d, {}, 0, 0, {}, {}, {}, {}};
    std::array<std::uint8_t, 256> maiuscole{};
    a.r = unoEDue(isql, d, maiuscole);
    trovaClassi(a);
    trovaEspansioni(isql, a);
    controllaTerzoLivello(isql, a);
    Valori v{};
    secondari(isql, a, v);
    Pesi p = numera(a, v);
    p.maiuscole = maiuscole;
    p.maiuscole[0] = 0;

    verifica(d, p, a.r, "stringhe di uno e due byte");
    verifica(d, p, ordina(isql, d, stringheDiProva(d, p, prove, 0x5EED)), "stringhe di prova");
    return p;
}

}  // namespace korva::collazioni
