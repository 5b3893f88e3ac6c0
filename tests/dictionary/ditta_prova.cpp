#include "ditta_prova.h"

#include "base/profilo.h"
#include "dictionary/generatore.h"
#include "engines/paradox/table.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace korva::test {

DittaProva::DittaProva(const std::string& tipoDataBase)
{
    for (const char* sotto : {"dati", "tr1", "tr2", "bin"})
        std::filesystem::create_directories(cartella / sotto);
    scriviFile(cartella / "ditta.cfg", "Prova S.n.c.\r\n");
    ProfiloPrivato p(ini());
    p.scrivi("DITTA", "Directory ditta", cartella.percorso());
    p.scrivi("Prova S.n.c.", "Directory di lavoro", cartella.dir() + "dati/");
    p.scrivi("Prova S.n.c.", "Directory tracciati record", cartella.dir() + "tr1/");
    p.scrivi("Prova S.n.c.", "Directory tracciati record 2", cartella.dir() + "tr2/");
    p.scrivi("Prova S.n.c.", "Directory bin", cartella.dir() + "bin/");
    p.scrivi("Prova S.n.c.", "Archivio", cartella.dir() + "archivio.gdb");
    p.scrivi("Prova S.n.c.", "TipoDataBase", tipoDataBase);
    tabForm = std::make_unique<TTabForm>(io, cartella.percorso(), ini());
}

void DittaProva::dizionario(const std::vector<RigheTabella>& tabelle, std::string tracciatiDir)
{
    if (tracciatiDir.empty())
        tracciatiDir = tabForm->TracciatiDir1;
    CreaDizionario(paradox::Session::standard(), tracciatiDir, tabelle);
}

RigheTabella righe(const std::string& nome, const std::string& pathParziale,
                   const std::vector<std::string>& campi, const std::vector<CompostoProva>& composti,
                   int campiChiave)
{
    RigheTabella r;
    r.tabella.NomeTabella = nome;
    r.tabella.PathParziale = pathParziale;
    r.tabella.NumeroCampi = static_cast<int>(campi.size());
    int chiavi = 0;
    for (size_t i = 0; i < campi.size(); ++i) {
        std::string testo = campi[i];
        DefCampo c;
        c.NomeTabella = nome;
        c.NumeroCampo = static_cast<int>(i) + 1;
        while (!testo.empty() && (testo.back() == '*' || testo.back() == '+')) {
            (testo.back() == '*' ? c.Chiave : c.IndiceSecSingolo) = 1;
            testo.pop_back();
        }
        c.TipoIndiceSecSingolo = c.IndiceSecSingolo;
        const size_t duePunti = testo.find(':');
        c.NomeCampo = testo.substr(0, duePunti);
        c.TipoELunghezza = testo.substr(duePunti + 1);
        chiavi += c.Chiave;
        r.tabella.IndiciSecSingoli += c.IndiceSecSingolo;
        r.campi.push_back(c);
    }
    r.tabella.CampiChiavePrimaria = campiChiave >= 0 ? campiChiave : chiavi;
    r.tabella.IndiciSecComposti = static_cast<int>(composti.size());
    for (const CompostoProva& composto : composti)
        for (const auto& [numero, posizione] : composto.righe) {
            DefIndiceComposto i;
            i.NomeTabella = nome;
            i.NomeIndiceSecComp = composto.nome;
            i.NumeroCampo = numero;
            i.EstensioneIndiceSecComp = posizione;
            i.TipoIndiceSecComp = composto.tipo;
            r.indici.push_back(i);
        }
    return r;
}

std::vector<std::string> testoVoce(const RigheTabella& voce)
{
    // In the dictionary's key order.
    RigheTabella r = voce;
    std::sort(r.campi.begin(), r.campi.end(),
              [](const DefCampo& a, const DefCampo& b) { return a.NumeroCampo < b.NumeroCampo; });
    std::sort(r.indici.begin(), r.indici.end(), [](const DefIndiceComposto& a, const DefIndiceComposto& b) {
        return std::tie(a.NomeIndiceSecComp, a.NumeroCampo) < std::tie(b.NomeIndiceSecComp, b.NumeroCampo);
    });
    std::vector<std::string> righe;
    auto n = [](int v) { return std::to_string(v); };
    const DefTabella& t = r.tabella;
    if (!t.NomeTabella.empty())
        righe.push_back("tabella " + t.NomeTabella + "|" + t.PathParziale + "|" + n(t.NumeroCampi) + "|" +
                        n(t.CampiChiavePrimaria) + "|" + n(t.IndiciSecSingoli) + "|" + n(t.IndiciSecComposti) +
                        "|" + n(t.Ordinamento) + "|" + n(t.Formato));
    for (const DefCampo& c : r.campi)
        righe.push_back("campo " + n(c.NumeroCampo) + "|" + c.NomeCampo + "|" + c.TipoELunghezza + "|" +
                        n(c.Chiave) + "|" + n(c.IndiceSecSingolo) + "|" + n(c.TipoIndiceSecSingolo));
    for (const DefIndiceComposto& i : r.indici)
        righe.push_back("indice " + i.NomeIndiceSecComp + "|" + n(i.NumeroCampo) + "|" +
                        i.EstensioneIndiceSecComp + "|" + n(i.TipoIndiceSecComp));
    return righe;
}

std::vector<std::string> voce(const std::string& tracciatiDir, const std::string& nome)
{
    RigheTabella r;
    auto leggi = [&](TabellaDizionario quale, auto&& perRiga) {
        const auto posizione = posizioneDizionario(tracciatiDir, quale);
        paradox::Table t;
        t.setDatabaseName(posizione.cartella);
        t.setTableName(posizione.nome);
        t.open();
        t.setRange({nome}, {nome});
        for (t.first(); !t.eof(); t.next())
            perRiga(t);
    };
    leggi(TabellaDizionario::Korva, [&](paradox::Table& t) { r.tabella = leggiDefTabella(t); });
    leggi(TabellaDizionario::Campi, [&](paradox::Table& t) { r.campi.push_back(leggiDefCampo(t)); });
    leggi(TabellaDizionario::Indicic, [&](paradox::Table& t) { r.indici.push_back(leggiDefIndiceComposto(t)); });
    return testoVoce(r);
}

RigheTabella clientiEsempio()
{
    return righe("clienti", "archivi/", {"codice:A6*", "ragsoc:A40+", "scadenza:D"},
                 {{"perscad", {{1, "1"}, {3, "0"}}}});
}

}  // namespace korva::test
