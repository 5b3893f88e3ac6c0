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
        q.sql = {std::string("SELECT * FROM ").append(tabella).append(" ORDER BY 1")};
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

TEST(RigenerazioneArchivio, UnGuastoAOgniPassoLasciaLeRigheDoveDiceIlMessaggioELaProssimaFinisce)
{
    // Each step, and where its failure leaves the rows.
    enum Dove { Tabella, Tmp222, Entrambe };
    struct Caso {
        const char* passo;
        Dove dove;
    };
    const std::vector<Caso> casi = {
        {"crea TMP222", Tabella},    {"creata TMP222", Tabella},     {"copia in TMP222", Tabella},
        {"elimina CLIENTI", Tabella}, {"crea CLIENTI", Tmp222},       {"creata CLIENTI", Tmp222},
        {"copia nella tabella", Tmp222}, {"elimina TMP222", Entrambe},
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
        if (c.dove == Tabella) {
            EXPECT_NE(errore.find("Le righe sono nella tabella CLIENTI, rimasta com'era"), std::string::npos) << errore;
            EXPECT_EQ(a.leggi("CLIENTI"), prima);
            EXPECT_FALSE(a.esiste("TMP222"));
            continue;
        }
        EXPECT_NE(errore.find(c.dove == Tmp222 ? "Le righe sono tutte nella tabella TMP222 dell'archivio, da non eliminare"
                                               : "Le righe sono nella tabella CLIENTI rigenerata e anche nella tabella di "
                                                 "lavoro TMP222"),
                  std::string::npos) << errore;
        EXPECT_NE(errore.find("La prossima rigenerazione della tabella CLIENTI riprende da qui"), std::string::npos)
            << errore;
        EXPECT_EQ(a.leggi("TMP222").size(), prima.size());
        // The next regeneration of the table finishes the work.
        a.d.io.azzera();
        a.d.io.risposte({Risposta::Si});
        EXPECT_TRUE(RigeneraTabCorrente(*a.g));
        EXPECT_EQ(a.d.io.eventi().at(2), std::string("messaggio: ") + kRigenerazioneCompletata);
        EXPECT_EQ(a.leggi("CLIENTI"), conQuando(prima));
        EXPECT_FALSE(a.esiste("TMP222"));
    }
    EXPECT_EQ(passiVisti, static_cast<int>(casi.size()));
}

TEST(RigenerazioneArchivio, Tmp222DiUnAltraTabellaNonSiTocca)
{
    ArchivioRigenerazione a(6);
    const Righe prima = a.leggi("CLIENTI");
    // A run of another table that stopped with its rows in TMP222.
    a.esegui({"CREATE TABLE TMP222 (X INTEGER)"});
    a.esegui({"COMMENT ON TABLE TMP222 IS 'KORVAWIN rigenerazione; tabella=FORNITOR; passo=4; righe=1; transazione=9'",
              "INSERT INTO TMP222 VALUES (7)"});
    a.d.io.risposte({Risposta::Si});
    EXPECT_FALSE(RigeneraTabCorrente(*a.g));
    ASSERT_EQ(a.d.io.eventi().size(), 4u);
    EXPECT_NE(a.d.io.eventi()[2].find("è di una rigenerazione della tabella FORNITOR interrotta al passo 4"),
              std::string::npos) << a.d.io.eventi()[2];
    EXPECT_EQ(a.leggi("CLIENTI"), prima);
    EXPECT_EQ(a.leggi("TMP222"), (Righe{{"7"}}));
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

// A table made by hand with `colonne`, holding `valori` (one INSERT each), regenerated to the
// dictionary's `campi`: the error, empty when it was regenerated.
struct Conversione {
    Conversione(const std::string& colonne, const std::vector<std::string>& valori, const std::vector<std::string>& campi)
        : d("INTERBASE")
    {
        d.dizionario({righe("valori", "", campi)});
        g = std::make_unique<GestioneTabelle>(d.io, *d.tabForm, d.tabForm->TracciatiDir1);
        d.io.risposte({Risposta::Si});
        d.tabForm->ConnettiDatabaseIB();
        esegui({"CREATE TABLE VALORI (" + colonne + ")"});
        std::vector<std::string> inserimenti;
        for (const std::string& v : valori)
            inserimenti.push_back("INSERT INTO VALORI VALUES (" + v + ")");
        esegui(inserimenti);
        d.io.azzera();
    }
    void esegui(const std::vector<std::string>& istruzioni)
    {
        ib::TransactionScope lavoro(d.tabForm->IBTransaction1);
        for (const auto& sql : istruzioni) {
            ib::Query q(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
            q.sql = {sql};
            q.execSql();
        }
        lavoro.commit();
    }
    std::string rigenera()
    {
        d.io.risposte({Risposta::Si});
        return test::erroreDi([&] { RigeneraTabCorrente(*g); });
    }
    // Column `i` of every row in key order, as stored (bytes) or as text.
    std::vector<std::string> colonna(size_t i, bool byte = false)
    {
        ib::TransactionScope lettura(d.tabForm->IBTransaction1);
        ib::Query q(d.tabForm->IBDatabase1, &d.tabForm->IBTransaction1);
        q.sql = {"SELECT * FROM VALORI ORDER BY 1"};
        std::vector<std::string> r;
        for (q.open(); !q.eof(); q.next())
            r.push_back(q.field(i).isNull() ? "<null>" : byte ? q.field(i).asBytes() : q.field(i).asString());
        q.close();
        lettura.commit();
        return r;
    }
    test::DittaProva d;
    std::unique_ptr<GestioneTabelle> g;
};

TEST(RigenerazioneArchivio, OgniValoreConvertitoEsattamenteORifiutatoConTabellaRigaCampoEValore)
{
    struct Caso {
        const char* colonna;            // the second column of VALORI, after K VARCHAR(4) NOT NULL key
        std::vector<std::string> valori;
        const char* campo;              // its new type in the dictionary
        const char* errore;             // the refusal's end, or "" when regenerated
        std::vector<std::string> dopo;  // the column as text afterwards
    };
    const std::vector<Caso> casi = {
        {"D DOUBLE PRECISION", {"'a', 2.0", "'b', 3.5", "'c', 2.75"}, "d:I",
         "tabella VALORI, riga 2 (K = b), campo D, valore 3.5: non è un numero intero tra -2147483648 e 2147483647", {}},
        {"D DOUBLE PRECISION", {"'a', 2.0", "'b', -7", "'c', NULL"}, "d:I", "", {"2", "-7", "<null>"}},
        {"D INTEGER", {"'a', 40000", "'b', 1"}, "d:S",
         "tabella VALORI, riga 1 (K = a), campo D, valore 40000: non è un numero intero tra -32768 e 32767", {}},
        {"D NUMERIC(15,2)", {"'a', 12.34", "'b', -0.07"}, "d:N", "", {"12.34", "-0.07"}},
        {"D BIGINT", {"'a', 9007199254740993"}, "d:N",
         "campo D, valore 9007199254740993: ha più cifre di quante un numero N ne tenga", {}},
        {"D VARCHAR(12)", {"'a', 'dodici lett.'", "'b', 'corto'"}, "d:A5",
         "riga 1 (K = a), campo D, valore dodici lett.: è più lungo dei 5 caratteri del nuovo campo", {}},
        {"D VARCHAR(12)", {"'a', '12'"}, "d:I", "campo D, valore 12: un valore VARCHAR(12) non si converte esattamente in INTEGER", {}},
        {"D VARCHAR(12)", {"'a', NULL"}, "d:I", "", {"<null>"}},
        {"D TIMESTAMP", {"'a', '2024-02-29 10:30:00'"}, "d:T",
         "campo D, valore 2024-02-29 10:30:00: un valore TIMESTAMP non si converte esattamente in TIME", {}},
        {"D DATE", {"'a', '2024-02-29'"}, "d:D", "", {"2024-02-29 00:00:00"}},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(std::string(c.colonna) + " -> " + c.campo);
        Conversione v(std::string("K VARCHAR(4) NOT NULL PRIMARY KEY, ") + c.colonna, c.valori, {"k:A4*", c.campo});
        const auto prima = v.colonna(1);
        const std::string errore = v.rigenera();
        if (*c.errore == 0) {
            EXPECT_EQ(errore, "nessun errore");
            EXPECT_EQ(v.colonna(1), c.dopo);
            continue;
        }
        EXPECT_EQ(errore.rfind("Rigenerazione della tabella VALORI non riuscita: ", 0), 0u) << errore;
        EXPECT_NE(errore.find(c.errore), std::string::npos) << errore;
        EXPECT_NE(errore.find("Le righe sono nella tabella VALORI, rimasta com'era"), std::string::npos) << errore;
        EXPECT_EQ(v.colonna(1), prima);
        EXPECT_FALSE(v.g->TestTabIb("TMP222"));
    }
}

TEST(RigenerazioneArchivio, UnBlobInUnMemoConIPropriByteEUnaColonnaSenzaPostoRifiutata)
{
    const std::string binario("\0\xff" "A\x80", 4);
    Conversione v("K VARCHAR(4) NOT NULL PRIMARY KEY, B BLOB SUB_TYPE 0, T BLOB SUB_TYPE TEXT CHARACTER SET WIN1252, "
                  "C CHAR(6)",
                  {"'a', x'00FF4180', 'caff" "\xc3\xa8', 'ab'", "'b', NULL, NULL, NULL"},
                  {"k:A4*", "b:M10", "t:M10", "c:M10"});
    EXPECT_EQ(v.rigenera(), "nessun errore");
    EXPECT_EQ(v.colonna(1, true), (std::vector<std::string>{binario, "<null>"}));
    EXPECT_EQ(v.colonna(2, true), (std::vector<std::string>{"caff\xe8", "<null>"}));
    EXPECT_EQ(v.colonna(3, true), (std::vector<std::string>{"ab", "<null>"}));

    // Binary bytes into a text: the server's filter would change them.
    Conversione t("K VARCHAR(4) NOT NULL PRIMARY KEY, B BLOB SUB_TYPE 0", {"'a', NULL", "'b', x'41FF'"}, {"k:A4*", "b:A10"});
    EXPECT_NE(t.rigenera().find("riga 2 (K = b), campo B, valore di 2 byte: un valore BLOB non si converte esattamente in "
                                "VARCHAR(10)"),
              std::string::npos);
    EXPECT_EQ(t.colonna(1, true), (std::vector<std::string>{"<null>", "A\xff"}));

    // A column the new layout has no place for, holding a value.
    Conversione w("K VARCHAR(4) NOT NULL PRIMARY KEY, D INTEGER, E INTEGER", {"'a', 1, NULL", "'b', 2, 5"}, {"k:A4*", "d:I"});
    const std::string errore = w.rigenera();
    EXPECT_NE(errore.find("tabella VALORI, riga 2 (K = b), campo E, valore 5: non ha posto nel nuovo tracciato"),
              std::string::npos) << errore;
}

}  // namespace
}  // namespace korva
