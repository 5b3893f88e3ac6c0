// The round trip: the demo's six tables created by the system from their dictionary rows, then
// registered into an empty dictionary, give their rows back.

#include "dictionary/demo.h"
#include "dictionary/gestione_tabelle.h"
#include "ditta_prova.h"
#include "engines/interbase/identifiers.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::DittaProva;
using test::testoVoce;
using test::voce;
using Righe = std::vector<std::string>;

// The demo's dictionary in directory 1, its tables created from it; directory 2 empty.
struct DittaCreata : DittaProva {
    explicit DittaCreata(const std::string& modo) : DittaProva(modo)
    {
        dizionario(tabelleDemo());
        dizionario({}, tabForm->TracciatiDir2);
        GestioneTabelle crea(io, *tabForm, tabForm->TracciatiDir1);
        io.risposte({Risposta::Si});
        EXPECT_TRUE(crea.CreaTutto());
        io.azzera();
    }
};

// What the archive keeps of a row, as registration reads it back: names as the server folds
// them, every blob a text blob of the server's segment length (80), every index
// case-sensitive, and the folder the one the folder dialog gives (here left empty).
RigheTabella comeNellArchivio(RigheTabella r)
{
    r.tabella.PathParziale = r.tabella.NomeTabella + "/";
    for (DefCampo& c : r.campi) {
        c.NomeCampo = ib::maiuscole(c.NomeCampo);
        if (c.TipoELunghezza[0] == 'M' || c.TipoELunghezza[0] == 'B' || c.TipoELunghezza[0] == 'G')
            c.TipoELunghezza = "M80";
    }
    for (DefIndiceComposto& i : r.indici) {
        i.NomeIndiceSecComp = ib::maiuscole(i.NomeIndiceSecComp);
        i.TipoIndiceSecComp = 1;
    }
    return r;
}

TEST(RegistrazioneRitorno, ParadoxLeRigheDaCuiLeTabelleSonoNate)
{
    DittaCreata d("PARADOX");
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    for (const RigheTabella& t : tabelleDemo()) {
        SCOPED_TRACE(t.tabella.NomeTabella);
        g.DirScelta = d.tabForm->LavoroDir + t.tabella.PathParziale;
        g.NomeTabellaCorrente = t.tabella.NomeTabella + ".DB";
        EXPECT_TRUE(g.RegistraTabellaParadox());
        EXPECT_EQ(voce(g.TracciatiDir(), t.tabella.NomeTabella), testoVoce(t));
    }
    EXPECT_EQ(g.elencoTabelle().size(), 6u);
    EXPECT_TRUE(d.io.eventi().empty());
}

TEST(RegistrazioneRitorno, InterbaseLeRigheDaCuiLeTabelleSonoNate)
{
    DittaCreata d("INTERBASE");
    GestioneTabelle g(d.io, *d.tabForm, d.tabForm->TracciatiDir2);
    for (const RigheTabella& t : tabelleDemo()) {
        SCOPED_TRACE(t.tabella.NomeTabella);
        const std::string nome = ib::maiuscole(t.tabella.NomeTabella);
        EXPECT_TRUE(g.RegistraTabellaIb([&] { return nome; }, [] { return std::string(); }));
        EXPECT_EQ(voce(g.TracciatiDir(), t.tabella.NomeTabella), testoVoce(comeNellArchivio(t)));
    }
    EXPECT_EQ(g.elencoTabelle().size(), 6u);
    EXPECT_TRUE(d.io.eventi().empty());
}

}  // namespace
}  // namespace korva
