// "Rigenera tabella corrente" in the archive mode, on the embedded engine: the rows kept value
// by value, and a failure at any step leaving every committed row where the message says.

#include "dictionary/ditta_prova.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/interbase/query.h"
#include "engines/interbase/transaction.h"
#include "maintenance/rigenerazione.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

using test::righe;
using Righe = std::vector<std::vector<std::string>>;

const std::vector<std::string> kVecchi = {"codice:A6*", "nome:A10", "importo:I", "nota:M"};
// "nome" widened, "quando" added at the end.
const std::vector<std::string> kNuovi = {"codice:A6*", "nome:A30", "importo:I", "nota:M", "quando:D"};

// An archive whose table CLIENTI was created from the old layout and holds `n` rows; the
// dictionary then describes the new layout.
struct ArchivioRigenerazione {
    explicit ArchivioRigenerazione(int n = 40) : d("INTERBASE")
    {
        d.dizionario({righe("clienti", "", kVecchi)});
        {
            GestioneTabelle prima(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
            d.io.risposte({Risposta::Si});
            d.tabForm->ConnettiDatabaseIB();
            EXPECT_TRUE(prima.CreaTabIBCorrente());
        }
        std::vector<std::string> inserimenti;
        for (int i = 0; i < n; ++i) {
            std::string riga("INSERT INTO CLIENTI VALUES ('C");
            riga += std::to_string(i);
            riga += i % 7 == 0 ? std::string("', NULL, ") : std::string("', 'nome ").append(std::to_string(i)).append("', ");
            riga += std::to_string(i * 1000 - 7);
            riga += ", 'nota lunga ";
            riga.append(static_cast<std::size_t>(i * 50), 'x');
            riga += "')";
            inserimenti.push_back(riga);
        }
        esegui(inserimenti);
        d.dizionario({righe("clienti", "", kNuovi)});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.io.azzera();
    }

    void esegui(const std::vector<std::string>& istruzioni)
    {
        ib::TransactionScope lavoro(d.tabForm->IBTransaction1);
        for (const auto& s : istruzioni) {
            ib::Query q(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
            q.sql = {s};
            q.execSql();
        }
        lavoro.commit();
    }

    // Every row of the table in key order, every column as text ("<null>" for NULL).
    Righe leggi(const std::string& tabella)
    {
        ib::TransactionScope lettura(d.tabForm->IBTransaction1);
        ib::Query q(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
        q.sql = {std::string("SELECT * FROM ").append(tabella).append(" ORDER BY CODICE")};
        Righe r;
        for (q.open(); !q.eof(); q.next()) {
            r.emplace_back();
            for (std::size_t i = 0; i < q.fieldCount(); ++i)
                r.back().push_back(q.field(i).isNull() ? "<null>" : q.field(i).asString());
        }
        q.close();
        lettura.commit();
        return r;
    }

    bool esiste(const std::string& tabella) { return g->TestTabIb(tabella); }

    test::DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
};

// The old rows as the new layout holds them: "quando" NULL.
Righe conQuando(Righe r)
{
    for (auto& riga : r)
        riga.push_back("<null>");
    return r;
}

TEST(RigenerazioneArchivio, ColonnaAggiuntaEColonnaAllargataConservanoOgniRiga)
{
    ArchivioRigenerazione a;
    const Righe prima = a.leggi("CLIENTI");
    ASSERT_EQ(prima.size(), 40u);
    a.d.io.risposte({Risposta::Si});
    EXPECT_TRUE(RigeneraTabCorrente(*a.g));
    EXPECT_EQ(a.d.io.eventi(), (std::vector<std::string>{"inizio", std::string("domanda: ") + kDomandaRigenerazione,
                                                         std::string("messaggio: ") + kRigenerazioneCompletata, "fine"}));
    EXPECT_EQ(a.leggi("CLIENTI"), conQuando(prima));
    EXPECT_FALSE(a.esiste("TMP222"));
    // The widened column takes what the old one could not.
    a.esegui({std::string("INSERT INTO CLIENTI (CODICE, NOME) VALUES ('Z', '").append(30, 'n').append("')")});
    EXPECT_FALSE(a.d.tabForm->IBTransaction1.inTransaction());
}

TEST(RigenerazioneArchivio, ControlliDomandaETmp222Rimasta)
{
    ArchivioRigenerazione a(3);
    const Righe prima = a.leggi("CLIENTI");
    a.d.io.risposte({Risposta::No});
    EXPECT_FALSE(RigeneraTabCorrente(*a.g));
    EXPECT_EQ(a.d.io.eventi(), (std::vector<std::string>{"inizio", std::string("domanda: ") + kDomandaRigenerazione, "fine"}));

    a.esegui({"CREATE TABLE TMP222 (X INTEGER)"});
    a.esegui({"INSERT INTO TMP222 VALUES (1)"});
    a.d.io.azzera();
    a.d.io.risposte({Risposta::Si});
    EXPECT_FALSE(RigeneraTabCorrente(*a.g));
    ASSERT_EQ(a.d.io.eventi().size(), 4u);
    EXPECT_NE(a.d.io.eventi()[2].find("nell'archivio c'è la tabella TMP222, lasciata da una rigenerazione precedente"),
              std::string::npos)
        << a.d.io.eventi()[2];
    EXPECT_EQ(a.leggi("CLIENTI"), prima);
    a.esegui({"DROP TABLE TMP222"});

    // A table missing from the archive.
    a.esegui({"DROP TABLE CLIENTI"});
    a.d.io.azzera();
    EXPECT_FALSE(RigeneraTabCorrente(*a.g));
    EXPECT_EQ(a.d.io.eventi(), (std::vector<std::string>{"inizio", "messaggio: La Tabella non Esiste: impossibile procedere", "fine"}));
}

TEST(RigenerazioneArchivio, UnGuastoAOgniPassoLasciaLeRigheDoveDiceIlMessaggio)
{
    // Each step, and where its failure leaves the rows.
    struct Caso {
        const char* passo;
        const char* dove;  // CLIENTI (as it was), TMP222, or the regenerated CLIENTI
    };
    const std::vector<Caso> casi = {
        {"conteggio CLIENTI", "CLIENTI"},         {"crea TMP222", "CLIENTI"},
        {"colonne CLIENTI", "CLIENTI"},           {"copia in TMP222", "CLIENTI"},
        {"elimina CLIENTI", "CLIENTI"},           {"crea CLIENTI", "TMP222"},
        {"copia nella tabella", "TMP222"},        {"elimina TMP222", "rigenerata"},
    };
    int passiVisti = 0;
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.passo);
        ArchivioRigenerazione a(25);
        const Righe prima = a.leggi("CLIENTI");
        impostaGuastoRigenerazioneIb([&](const std::string& passo) {
            if (passo == c.passo) {
                ++passiVisti;
                throw Error("guasto di prova");
            }
        });
        a.d.io.risposte({Risposta::Si});
        const std::string errore = test::erroreDi([&] { RigeneraTabCorrente(*a.g); });
        impostaGuastoRigenerazioneIb({});
        EXPECT_EQ(errore.rfind("Rigenerazione della tabella CLIENTI non riuscita: guasto di prova. ", 0), 0u) << errore;
        EXPECT_FALSE(a.d.tabForm->IBTransaction1.inTransaction());
        const std::string dove = c.dove;
        if (dove == "CLIENTI") {
            EXPECT_NE(errore.find("Le righe sono nella tabella CLIENTI, rimasta com'era"), std::string::npos) << errore;
            EXPECT_EQ(a.leggi("CLIENTI"), prima);
            EXPECT_FALSE(a.esiste("TMP222"));
        } else if (dove == "TMP222") {
            EXPECT_NE(errore.find("Le righe sono tutte nella tabella TMP222 dell'archivio"), std::string::npos) << errore;
            EXPECT_EQ(a.leggi("TMP222"), conQuando(prima));
            // A new attempt is stopped by the rows parked in TMP222.
            a.d.io.azzera();
            a.d.io.risposte({Risposta::Si});
            EXPECT_FALSE(RigeneraTabIbCorrente(*a.g));
            EXPECT_EQ(a.leggi("TMP222"), conQuando(prima));
        } else {
            EXPECT_NE(errore.find("Le righe sono nella tabella CLIENTI rigenerata e anche nella tabella di lavoro TMP222"),
                      std::string::npos)
                << errore;
            EXPECT_EQ(a.leggi("CLIENTI"), conQuando(prima));
            EXPECT_EQ(a.leggi("TMP222"), conQuando(prima));
        }
    }
    EXPECT_EQ(passiVisti, static_cast<int>(casi.size()));
}

TEST(RigenerazioneArchivio, UnValoreCheNonEntraNelNuovoTracciatoLasciaLaTabella)
{
    ArchivioRigenerazione a(5);
    a.esegui({"UPDATE CLIENTI SET NOME = 'dieci car.' WHERE CODICE = 'C3'"});
    const Righe prima = a.leggi("CLIENTI");
    a.g.reset();
    a.d.dizionario({righe("clienti", "", {"codice:A6*", "nome:A4", "importo:I", "nota:M"})});
    a.g = std::make_unique<GestioneTabelle>(a.d.io, *a.d.tabForm, a.d.tabForm->TracciatiDir1);
    a.d.io.risposte({Risposta::Si});
    const std::string errore = test::erroreDi([&] { RigeneraTabCorrente(*a.g); });
    EXPECT_NE(errore.find("Le righe sono nella tabella CLIENTI, rimasta com'era"), std::string::npos) << errore;
    EXPECT_EQ(a.leggi("CLIENTI"), prima);
    EXPECT_FALSE(a.esiste("TMP222"));
}

}  // namespace
}  // namespace korva
