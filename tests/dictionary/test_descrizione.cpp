#include "base/errore.h"
#include "dictionary/descrizione.h"
#include "dictionary/sql_creazione.h"
#include "ditta_prova.h"

#include <gtest/gtest.h>

#include <functional>

namespace korva {
namespace {

using test::erroreDi;

DefCampo campo(int numero, std::string nome, std::string tipo, int chiave = 0, int singolo = 0)
{
    DefCampo c;
    c.NomeTabella = "clienti";
    c.NumeroCampo = numero;
    c.NomeCampo = std::move(nome);
    c.TipoELunghezza = std::move(tipo);
    c.Chiave = chiave;
    c.IndiceSecSingolo = singolo;
    c.TipoIndiceSecSingolo = singolo;
    return c;
}

DefIndiceComposto composto(std::string nome, int numero, std::string posizione, int tipo = 0)
{
    DefIndiceComposto r;
    r.NomeTabella = "clienti";
    r.NomeIndiceSecComp = std::move(nome);
    r.NumeroCampo = numero;
    r.EstensioneIndiceSecComp = std::move(posizione);
    r.TipoIndiceSecComp = tipo;
    return r;
}

DefTabella tabella(int chiavi, int campi)
{
    DefTabella t;
    t.NomeTabella = "clienti";
    t.NumeroCampi = campi;
    t.CampiChiavePrimaria = chiavi;
    return t;
}

TEST(TipoELunghezza, CodiciEGrammatica)
{
    auto a30 = TipoELunghezza::leggi("A30");
    EXPECT_EQ(a30.lettera, 'A');
    EXPECT_EQ(a30.lunghezza, 30);
    EXPECT_EQ(TipoELunghezza::leggi("M10").lunghezza, 10);
    EXPECT_EQ(TipoELunghezza::leggi("N").lettera, 'N');
    auto n10 = TipoELunghezza::leggi("N10");  // read exactly like N
    EXPECT_EQ(n10.lettera, 'N');
    EXPECT_EQ(n10.lunghezza, 0);
    EXPECT_EQ(TipoELunghezza::leggi("Dxyz").lettera, 'D');

    for (const char* cattivo : {"A", "A 30", "A+30", "A-3", "A3x", "M", "G1.5", "B99999999999"})
        EXPECT_THROW(TipoELunghezza::leggi(cattivo), Error) << cattivo;
    EXPECT_NE(erroreDi([] { TipoELunghezza::leggi("X20"); }).find("non previsto"), std::string::npos);
    EXPECT_THROW(TipoELunghezza::leggi("a30"), Error);  // the letter is case-sensitive
    EXPECT_THROW(TipoELunghezza::leggi(""), Error);

    EXPECT_EQ(TipoELunghezza::scrivi('A', 30), "A30");
    EXPECT_EQ(TipoELunghezza::scrivi('N', 8), "N");
    EXPECT_EQ(TipoELunghezza::scrivi('G', 10), "G10");
}

TEST(DescrizioneTabella, ChiavePrimariaDaiPrimiCampiConChiave)
{
    const std::vector<DefCampo> campi = {campo(1, "codice", "A6", 1), campo(2, "ragsoc", "A40"),
                                         campo(3, "scadenza", "D", 1)};
    EXPECT_TRUE(descriviTabella(tabella(0, 3), campi, {}).chiavePrimaria.empty());
    EXPECT_EQ(descriviTabella(tabella(2, 3), campi, {}).chiavePrimaria,
              std::vector<std::string>{"codice"});
    EXPECT_EQ(descriviTabella(tabella(3, 3), campi, {}).chiavePrimaria,
              (std::vector<std::string>{"codice", "scadenza"}));
    EXPECT_EQ(erroreDi([&] { descriviTabella(tabella(4, 3), campi, {}); }),
              "Descrizione della tabella clienti non valida: chiave primaria: 4 campi chiave su 3 "
              "campi descritti");
}

TEST(DescrizioneTabella, IndiciCompostiPerPosizioneEUltimaRigaPerLeOpzioni)
{
    const std::vector<DefCampo> campi = {campo(1, "a", "A1"), campo(2, "b", "A1"),
                                         campo(3, "c", "A1")};
    auto d = descriviTabella(tabella(0, 3), campi,
                             {composto("abc", 1, "2", 1), composto("abc", 2, "0", 1),
                              composto("abc", 3, "1", 0), composto("xy", 1, "1", 0),
                              composto("xy", 3, "0", 1)});
    ASSERT_EQ(d.indiciComposti.size(), 2u);
    EXPECT_EQ(d.indiciComposti[0].nome, "abc");
    EXPECT_EQ(d.indiciComposti[0].campi, (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_FALSE(d.indiciComposti[0].maiuscoleDistinte);
    EXPECT_EQ(d.indiciComposti[1].campi, (std::vector<std::string>{"c", "a"}));
    EXPECT_TRUE(d.indiciComposti[1].maiuscoleDistinte);
}

TEST(DescrizioneTabella, DescrizioniCattiveRifiutateConTabellaIndiceEDifetto)
{
    const std::vector<DefCampo> campi = {campo(1, "a", "A1"), campo(2, "b", "A1")};
    const std::pair<std::vector<DefIndiceComposto>, std::string> casi[] = {
        {{composto("ix", 1, "0"), composto("ix", 2, "21")},
         "indice ix: posizione 21 fuori dall'intervallo da 0 a 20"},
        {{composto("ix", 1, "0"), composto("ix", 2, "2")},
         "indice ix: manca la posizione 1 (le posizioni vanno da 0 senza salti)"},
        {{composto("ix", 1, "0"), composto("ix", 2, "0")}, "indice ix: posizione 0 ripetuta"},
        {{composto("ix", 1, "0"), composto("ix", 7, "1")},
         "indice ix: il campo numero 7 non è descritto"},
        {{composto("ix", 1, "0"), composto("ix", 2, " 1")},
         "indice ix: posizione \" 1\" non è un numero intero"},
    };
    for (const auto& [righe, atteso] : casi)
        EXPECT_EQ(erroreDi([&] { descriviTabella(tabella(0, 2), campi, righe); }),
                  "Descrizione della tabella clienti non valida: " + atteso);

    EXPECT_EQ(erroreDi([] { descriviTabella(tabella(0, 1), {campo(1, "x", "Z9")}, {}); }),
              "Descrizione della tabella clienti non valida: campo x: tipo \"Z9\" non previsto "
              "(tipi ammessi: A N I S D T M B G)");
    EXPECT_EQ(erroreDi([] { descriviTabella(tabella(0, 1), {campo(1, "x", "A")}, {}); }),
              "Descrizione della tabella clienti non valida: campo x: la lunghezza del tipo "
              "\"A\" non è un numero intero");
    EXPECT_NE(erroreDi([] { descriviTabella(tabella(0, 0), {}, {}); }).find("nessun campo"),
              std::string::npos);
}

TEST(IstruzioniCreazioneIB, EsempioClientiNellOrdine)
{
    const std::vector<DefCampo> campi = {campo(1, "codice", "A6", 1), campo(2, "ragsoc", "A40", 0, 1),
                                         campo(3, "scadenza", "D")};
    auto d = descriviTabella(tabella(1, 3), campi,
                             {composto("perscad", 3, "0"), composto("perscad", 1, "1")});
    auto istruzioni = istruzioniCreazioneIB(d, "clienti");
    const std::vector<IstruzioneSql> attese = {
        {"CREATE TABLE CLIENTI (", "\"CODICE\" VARCHAR(6) NOT NULL,", "\"RAGSOC\" VARCHAR(40),",
         "\"SCADENZA\" TIMESTAMP", ")"},
        {"ALTER TABLE CLIENTI", "ADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )"},
        {"CREATE INDEX CLIENTI_ragsoc ON CLIENTI (ragsoc)"},
        {"CREATE INDEX CLIENTI_perscad ON CLIENTI (scadenza,codice)"},
    };
    EXPECT_EQ(istruzioni, attese);

    // Without key fields there is no ALTER TABLE; every type letter has its SQL type.
    auto senzaChiave = descriviTabella(
        tabella(0, 8), {campo(1, "n", "N"), campo(2, "i", "I"), campo(3, "s", "S"), campo(4, "t", "T"),
                        campo(5, "m", "M10"), campo(6, "b", "B0"), campo(7, "g", "G10"),
                        campo(8, "a", "A030")},
        {});
    EXPECT_EQ(istruzioniCreazioneIB(senzaChiave, "Xxxconf"),
              (std::vector<IstruzioneSql>{{"CREATE TABLE XXXCONF (", "\"N\" DOUBLE PRECISION,", "\"I\" INTEGER,",
                                           "\"S\" SMALLINT,", "\"T\" TIME,", "\"M\" BLOB,", "\"B\" BLOB,",
                                           "\"G\" BLOB,", "\"A\" VARCHAR(030)", ")"}}));
}

}  // namespace
}  // namespace korva
