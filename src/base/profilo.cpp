#include "base/profilo.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/percorsi.h"

#include <optional>
#include <vector>

namespace korva {
namespace {

constexpr int kCodePage = codepage::kWindowsWestern;

bool spazio(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view taglia(std::string_view s)
{
    while (!s.empty() && spazio(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && spazio(s.back()))
        s.remove_suffix(1);
    return s;
}

// Case folding of CP1252 letters: ASCII and the accented letters of the upper half.
unsigned char minuscola(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E)  // Š Œ Ž
        return static_cast<unsigned char>(c + 16);
    if (c == 0x9F)  // Ÿ
        return 0xFF;
    return c;
}

bool ugualiSenzaMaiuscole(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (minuscola(static_cast<unsigned char>(a[i])) != minuscola(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// One line of the file, as its bytes (CP1252) without the line end.
struct Riga {
    std::string testo;
    bool fineRiga;  // followed by a line end in the file
};

struct Contenuto {
    std::vector<Riga> righe;
    std::string fineRiga = "\r\n";
};

Contenuto dividi(const std::string& dati)
{
    Contenuto c;
    if (dati.find("\r\n") == std::string::npos && dati.find('\n') != std::string::npos)
        c.fineRiga = "\n";
    size_t inizio = 0;
    while (inizio < dati.size()) {
        size_t lf = dati.find('\n', inizio);
        if (lf == std::string::npos) {
            c.righe.push_back({dati.substr(inizio), false});
            break;
        }
        size_t fine = lf;
        if (fine > inizio && dati[fine - 1] == '\r')
            --fine;
        c.righe.push_back({dati.substr(inizio, fine - inizio), true});
        inizio = lf + 1;
    }
    return c;
}

// The section name of a line "[name]", if it is one.
std::optional<std::string_view> nomeSezione(std::string_view riga)
{
    riga = taglia(riga);
    if (riga.empty() || riga.front() != '[')
        return std::nullopt;
    size_t chiusa = riga.rfind(']');
    if (chiusa == std::string_view::npos || chiusa == 0)
        return riga.substr(1);
    return riga.substr(1, chiusa - 1);
}

// The key name of a line inside a section ("key=value" or a bare "key").
std::string_view nomeChiave(std::string_view riga)
{
    riga = taglia(riga);
    size_t uguale = riga.find('=');
    return taglia(riga.substr(0, uguale));
}

std::string_view valoreDi(std::string_view riga)
{
    riga = taglia(riga);
    size_t uguale = riga.find('=');
    if (uguale == std::string_view::npos)
        return {};
    std::string_view v = taglia(riga.substr(uguale + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

// Index of the first line of the first section with that name, and the end of the section.
struct Posizione {
    size_t intestazione;
    size_t fine;  // one past the section's last line
};

std::optional<Posizione> trovaSezione(const Contenuto& c, std::string_view sezione)
{
    for (size_t i = 0; i < c.righe.size(); ++i) {
        auto nome = nomeSezione(c.righe[i].testo);
        if (!nome || !ugualiSenzaMaiuscole(taglia(*nome), sezione))
            continue;
        size_t fine = i + 1;
        while (fine < c.righe.size() && !nomeSezione(c.righe[fine].testo))
            ++fine;
        return Posizione{i, fine};
    }
    return std::nullopt;
}

std::optional<size_t> trovaChiave(const Contenuto& c, const Posizione& p, std::string_view chiave)
{
    for (size_t i = p.intestazione + 1; i < p.fine; ++i) {
        if (taglia(c.righe[i].testo).empty())
            continue;
        if (ugualiSenzaMaiuscole(nomeChiave(c.righe[i].testo), chiave))
            return i;
    }
    return std::nullopt;
}

std::string inCodePage(std::string_view testo, const std::string& percorso)
{
    try {
        return codepage::fromUtf8(testo, kCodePage);
    } catch (const Error& e) {
        throw Error("Impossibile scrivere il file delle impostazioni " + percorso + ": " +
                    e.what());
    }
}

}  // namespace

ProfiloPrivato::ProfiloPrivato(std::string percorso, Env& env)
    : percorso_(std::move(percorso)), env_(env)
{
}

std::string ProfiloPrivato::leggi(std::string_view sezione, std::string_view chiave,
                                  std::string_view predefinito) const
{
    std::string dati;
    try {
        dati = readWholeFile(env_, percorsoFs(percorso_));
    } catch (const Error&) {
        return std::string(predefinito);
    }
    const Contenuto c = dividi(dati);
    std::string sezione1252 = codepage::fromUtf8(taglia(sezione), kCodePage);
    std::string chiave1252 = codepage::fromUtf8(taglia(chiave), kCodePage);
    auto pos = trovaSezione(c, sezione1252);
    if (!pos)
        return std::string(predefinito);
    auto riga = trovaChiave(c, *pos, chiave1252);
    if (!riga)
        return std::string(predefinito);
    std::string_view valore = valoreDi(c.righe[*riga].testo);
    if (valore.size() > kLunghezzaMassima)
        valore = valore.substr(0, kLunghezzaMassima);
    return codepage::toUtf8(valore, kCodePage);
}

void ProfiloPrivato::scrivi(std::string_view sezione, std::string_view chiave,
                            std::string_view valore)
{
    if (valore.find_first_of("\r\n") != std::string_view::npos)
        throw Error("Impossibile scrivere il file delle impostazioni " + percorso_ +
                    ": il valore di \"" + std::string(chiave) + "\" contiene un ritorno a capo");
    const std::string sezione1252 = inCodePage(taglia(sezione), percorso_);
    const std::string chiave1252 = inCodePage(taglia(chiave), percorso_);
    const std::string valore1252 = inCodePage(valore, percorso_);

    // A link is followed by the writer: the file it names is the one replaced.
    const std::string destinazione = percorsoFs(percorso_);

    std::string dati;
    if (env_.exists(destinazione)) {
        try {
            dati = readWholeFile(env_, destinazione);
        } catch (const Error& e) {
            throw Error("Impossibile leggere il file delle impostazioni " + percorso_ + ": " +
                        e.what());
        }
    }
    Contenuto c = dividi(dati);

    auto pos = trovaSezione(c, sezione1252);
    if (!pos) {
        if (!c.righe.empty() && !taglia(c.righe.back().testo).empty()) {
            c.righe.back().fineRiga = true;
            c.righe.push_back({"", true});
        }
        if (!c.righe.empty())
            c.righe.back().fineRiga = true;
        c.righe.push_back({"[" + sezione1252 + "]", true});
        c.righe.push_back({chiave1252 + "=" + valore1252, true});
    } else if (auto riga = trovaChiave(c, *pos, chiave1252)) {
        std::string nome(nomeChiave(c.righe[*riga].testo));
        c.righe[*riga].testo = nome + "=" + valore1252;
    } else {
        size_t dopo = pos->intestazione + 1;
        for (size_t i = pos->intestazione + 1; i < pos->fine; ++i)
            if (!taglia(c.righe[i].testo).empty())
                dopo = i + 1;
        c.righe[dopo - 1].fineRiga = true;
        c.righe.insert(c.righe.begin() + static_cast<long>(dopo),
                       Riga{chiave1252 + "=" + valore1252, true});
    }

    std::string nuovo;
    for (const Riga& r : c.righe) {
        nuovo += r.testo;
        if (r.fineRiga)
            nuovo += c.fineRiga;
    }
    try {
        writeFileAtomic(env_, destinazione, nuovo);
    } catch (const Error& e) {
        throw Error("Impossibile scrivere il file delle impostazioni " + percorso_ + ": " +
                    e.what());
    }
}

}  // namespace korva
