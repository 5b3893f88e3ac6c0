#include "dictionary/descrizione.h"

#include "base/errore.h"

#include <array>
#include <charconv>
#include <optional>

namespace korva {
namespace {

[[noreturn]] void rifiuta(const std::string& tabella, const std::string& dove,
                          const std::string& difetto)
{
    throw Error("Descrizione della tabella " + tabella + " non valida: " + dove + ": " + difetto);
}

std::optional<int> posizione(const std::string& testo)
{
    int valore = 0;
    const char* fine = testo.data() + testo.size();
    auto [p, ec] = std::from_chars(testo.data(), fine, valore);
    if (testo.empty() || ec != std::errc() || p != fine || testo.front() == '-')
        return std::nullopt;
    return valore;
}

IndiceCompostoDescritto leggiGruppo(const std::string& tabella,
                                    const std::vector<DefIndiceComposto>& righe, size_t inizio,
                                    size_t fine, const std::vector<DefCampo>& campi)
{
    IndiceCompostoDescritto indice;
    indice.nome = righe[inizio].NomeIndiceSecComp;
    // Unnamed, it would read as the primary index.
    if (indice.nome.empty())
        rifiuta(tabella, "indice multiplo", "nome mancante");
    const std::string dove = "indice " + indice.nome;
    std::array<std::optional<std::string>, kPosizioniIndiceComposto> posti;
    for (size_t i = inizio; i < fine; ++i) {
        const DefIndiceComposto& riga = righe[i];
        indice.maiuscoleDistinte = riga.TipoIndiceSecComp == 1;
        auto pos = posizione(riga.EstensioneIndiceSecComp);
        if (!pos)
            rifiuta(tabella, dove, "posizione \"" + riga.EstensioneIndiceSecComp +
                                       "\" non è un numero intero");
        if (*pos >= kPosizioniIndiceComposto)
            rifiuta(tabella, dove, "posizione " + std::to_string(*pos) +
                                       " fuori dall'intervallo da 0 a 20");
        const DefCampo* campo = nullptr;
        for (const DefCampo& c : campi)
            if (c.NumeroCampo == riga.NumeroCampo)
                campo = &c;
        if (!campo)
            rifiuta(tabella, dove, "il campo numero " + std::to_string(riga.NumeroCampo) +
                                       " non è descritto");
        if (posti[*pos])
            rifiuta(tabella, dove, "posizione " + std::to_string(*pos) + " ripetuta");
        posti[*pos] = campo->NomeCampo;
    }
    const size_t n = fine - inizio;
    for (size_t p = 0; p < n; ++p) {
        if (!posti[p])
            rifiuta(tabella, dove, "manca la posizione " + std::to_string(p) +
                                       " (le posizioni vanno da 0 senza salti)");
        indice.campi.push_back(*posti[p]);
    }
    return indice;
}

}  // namespace

DescrizioneTabella descriviTabella(const DefTabella& tabella, const std::vector<DefCampo>& campi,
                                   const std::vector<DefIndiceComposto>& indici, LetturaTipo per)
{
    DescrizioneTabella d;
    d.nomeTabella = tabella.NomeTabella;
    const std::string& nome = tabella.NomeTabella;
    if (campi.empty())
        rifiuta(nome, "campi", "nessun campo descritto");

    for (const DefCampo& riga : campi) {
        CampoDescritto campo;
        campo.nome = riga.NomeCampo;
        try {
            campo.tipo = TipoELunghezza::leggi(riga.TipoELunghezza, per);
        } catch (const Error& e) {
            rifiuta(nome, "campo " + riga.NomeCampo, e.what());
        }
        campo.chiave = riga.Chiave == 1;
        campo.indiceSingolo = riga.IndiceSecSingolo == 1;
        d.campi.push_back(std::move(campo));
    }

    if (tabella.CampiChiavePrimaria < 0 ||
        static_cast<size_t>(tabella.CampiChiavePrimaria) > campi.size())
        rifiuta(nome, "chiave primaria",
                std::to_string(tabella.CampiChiavePrimaria) + " campi chiave su " +
                    std::to_string(campi.size()) + " campi descritti");
    for (int i = 0; i < tabella.CampiChiavePrimaria; ++i)
        if (d.campi[static_cast<size_t>(i)].chiave)
            d.chiavePrimaria.push_back(d.campi[static_cast<size_t>(i)].nome);

    for (size_t inizio = 0; inizio < indici.size();) {
        size_t fine = inizio + 1;
        while (fine < indici.size() &&
               indici[fine].NomeIndiceSecComp == indici[inizio].NomeIndiceSecComp)
            ++fine;
        d.indiciComposti.push_back(leggiGruppo(nome, indici, inizio, fine, campi));
        inizio = fine;
    }
    return d;
}

}  // namespace korva
