#include "engines/interbase/database.h"
#include "engines/interbase/error.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

namespace korva::ib {
namespace {

using test::CartellaTemporanea;

// A new archive in a temporary folder, created as the program creates one, connected, with
// every statement sent recorded.
class ArchivioTest : public ::testing::Test {
protected:
    CartellaTemporanea cartella;
    // What was sent, in order: statements executed, and the ends of transactions.
    std::vector<std::string> inviate;
    Transaction tr;
    Database db;

    void SetUp() override
    {
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(cartella / "archivio.gdb");
        db.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
        db.createDatabase();
        // What every later connection uses, as the settings holder sets it.
        db.params = {"user_name=sysdba", "password=tesslorin"};
        db.setOsservatore([this](const std::string& s, Invio tipo) {
            if (tipo != Invio::Apertura)
                inviate.push_back(s);
        });
    }

    void esegui(std::vector<std::string> righe)
    {
        Query q(db);
        q.sql = std::move(righe);
        q.execSql();
    }

    // The worked example of a table with key, a single-field and a composite index.
    void creaClienti()
    {
        esegui({"CREATE TABLE CLIENTI (", "\"CODICE\" VARCHAR(6) NOT NULL,",
                "\"RAGSOC\" VARCHAR(40),", "\"SCADENZA\" TIMESTAMP", ")"});
        esegui({"ALTER TABLE CLIENTI",
                "ADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )"});
        esegui({"CREATE INDEX CLIENTI_ragsoc ON CLIENTI (ragsoc)"});
        esegui({"CREATE INDEX CLIENTI_perscad ON CLIENTI (scadenza,codice)"});
        tr.commit();
    }
};

TEST_F(ArchivioTest, LaCreazioneInviaLIstruzioneConLeRigheDeiParametriELasciaCollegato)
{
    Database nuovo;
    std::vector<std::string> testi;
    nuovo.setOsservatore([&](const std::string& s, Invio tipo) {
        if (tipo == Invio::Creazione)
            testi.push_back(s);
    });
    nuovo.setDatabaseName(cartella / "nuovo.gdb");
    nuovo.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
    nuovo.createDatabase();
    EXPECT_TRUE(nuovo.connected());
    ASSERT_EQ(testi.size(), 1u);
    EXPECT_EQ(testi[0], "CREATE DATABASE '" + cartella / "nuovo.gdb" +
                            "' USER \"SYSDBA\"\r\nPASSWORD \"tesslorin\"\r\nPAGE_SIZE 4096\r\n");
    // Dialect 3 and the page size asked for.
    Transaction t(&nuovo);
    Query q(nuovo, &t);
    q.sql = {"SELECT MON$PAGE_SIZE, MON$SQL_DIALECT FROM MON$DATABASE"};
    q.open();
    EXPECT_EQ(q.field(0).asInt64(), 4096);
    EXPECT_EQ(q.field(1).asInt64(), 3);
}

TEST_F(ArchivioTest, CreareSuUnArchivioEsistenteEUnErroreCheLoLasciaIntatto)
{
    creaClienti();
    db.disconnect();
    Database altro;
    altro.setDatabaseName(cartella / "archivio.gdb");
    altro.params = {"USER \"SYSDBA\"", "PASSWORD \"tesslorin\"", "PAGE_SIZE 4096"};
    EXPECT_THROW(altro.createDatabase(), Error);
    EXPECT_FALSE(altro.connected());
    db.connect();
    Table t(db);
    t.setTableName("clienti");
    EXPECT_TRUE(t.exists());
}

TEST_F(ArchivioTest, LeIstruzioniDiCreazioneTabellaArrivanoNellOrdineENelTestoInviati)
{
    inviate.clear();
    creaClienti();
    EXPECT_EQ(inviate, (std::vector<std::string>{
                           "CREATE TABLE CLIENTI (\n\"CODICE\" VARCHAR(6) NOT NULL,\n"
                           "\"RAGSOC\" VARCHAR(40),\n\"SCADENZA\" TIMESTAMP\n)",
                           "ALTER TABLE CLIENTI\n"
                           "ADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )",
                           "CREATE INDEX CLIENTI_ragsoc ON CLIENTI (ragsoc)",
                           "CREATE INDEX CLIENTI_perscad ON CLIENTI (scadenza,codice)",
                           "COMMIT"}));
    EXPECT_FALSE(tr.inTransaction());
}

// The trace holds every statement the layer tried to send, also one the server refuses as
// soon as it is prepared.
TEST_F(ArchivioTest, UnaIstruzioneRifiutataAllaPreparazioneCompareNellaSequenza)
{
    std::vector<std::string> tutte;
    db.setOsservatore([&](const std::string& s, Invio tipo) {
        tutte.push_back((tipo == Invio::Apertura ? "apertura: " : "") + s);
    });
    try {
        TransactionScope lavoro(tr);
        esegui({"CREATE TABLE T (", "A VARCHAR(0)", ")"});
        FAIL() << "il server doveva rifiutare VARCHAR(0)";
    } catch (const Error&) {
    }
    Query q(db);
    q.sql = {"SELECT X FROM NESSUNA"};
    EXPECT_THROW(q.open(), Error);
    tr.rollback();
    EXPECT_EQ(tutte, (std::vector<std::string>{"CREATE TABLE T (\nA VARCHAR(0)\n)", "ROLLBACK",
                                               "apertura: SELECT X FROM NESSUNA", "ROLLBACK"}));
}

TEST_F(ArchivioTest, CatalogoDiUnaTabellaConOgniTipoUsato)
{
    esegui({"CREATE TABLE TUTTI (", "\"TESTO\" VARCHAR(30) NOT NULL,", "\"REALE\" FLOAT,",
            "\"INTERO\" INTEGER NOT NULL,", "\"PICCOLO\" SMALLINT,", "\"QUANDO\" TIMESTAMP,",
            "\"ORA\" TIME,", "\"NOTE\" BLOB,", "\"MEMO\" BLOB SUB_TYPE TEXT,",
            "\"FISSO\" CHAR(3), \"DATA\" DATE, \"GRANDE\" BIGINT, \"SOLDI\" NUMERIC(9,2),",
            "\"DOPPIO\" DOUBLE PRECISION, \"CALCOLATO\" COMPUTED BY (\"INTERO\" * 2)", ")"});
    tr.commit();
    Table t(db);
    t.setTableName("tutti");
    EXPECT_EQ(t.tableName(), "TUTTI");
    const auto& c = t.fieldDefs();
    struct Atteso {
        const char* nome;
        TipoCampo tipo;
        int dimensione;
        bool richiesto;
    };
    const Atteso attesi[] = {
        {"TESTO", TipoCampo::Varchar, 30, true},  {"REALE", TipoCampo::Float, 0, false},
        {"INTERO", TipoCampo::Integer, 0, true},  {"PICCOLO", TipoCampo::Smallint, 0, false},
        {"QUANDO", TipoCampo::Timestamp, 0, false}, {"ORA", TipoCampo::Time, 0, false},
        {"NOTE", TipoCampo::Blob, 80, false},     {"MEMO", TipoCampo::Memo, 80, false},
        {"FISSO", TipoCampo::Char, 3, false},     {"DATA", TipoCampo::Date, 0, false},
        {"GRANDE", TipoCampo::Bigint, 0, false},  {"SOLDI", TipoCampo::Numeric, 9, false},
        {"DOPPIO", TipoCampo::Double, 0, false},  {"CALCOLATO", TipoCampo::Bigint, 0, false},
    };
    ASSERT_EQ(c.size(), std::size(attesi));
    for (size_t i = 0; i < c.size(); ++i) {
        SCOPED_TRACE(attesi[i].nome);
        EXPECT_EQ(c[i].name, attesi[i].nome);
        EXPECT_EQ(c[i].type, attesi[i].tipo) << nomeTipo(c[i].type);
        EXPECT_EQ(c[i].size, attesi[i].dimensione);
        EXPECT_EQ(c[i].required, attesi[i].richiesto);
    }
    EXPECT_EQ(c[11].scale, 2);
    EXPECT_TRUE(c[13].computed);
    EXPECT_FALSE(c[12].computed);
}

TEST_F(ArchivioTest, IndiciConChiavePrimariaConNomeESenzaNome)
{
    creaClienti();
    esegui({"CREATE TABLE MOV_CLI (A INTEGER NOT NULL, B VARCHAR(10) NOT NULL, C DATE,",
            "PRIMARY KEY (A, B))"});
    esegui({"CREATE DESCENDING INDEX MOV_CLI_PERDATA ON MOV_CLI (C)"});
    esegui({"CREATE UNIQUE INDEX MOV_CLI_UNICO ON MOV_CLI (B, C)"});
    tr.commit();

    Table t(db);
    t.setTableName("CLIENTI");
    const auto& i = t.indexDefs();
    ASSERT_EQ(i.size(), 3u);
    EXPECT_EQ(i[0].name, "CLIENTI_CHIAVEPRIMARIA");
    EXPECT_EQ(i[0].fields, "CODICE");
    EXPECT_TRUE(i[0].primary);
    EXPECT_TRUE(i[0].unique);
    EXPECT_EQ(i[1].name, "CLIENTI_PERSCAD");
    EXPECT_EQ(i[1].fields, "SCADENZA;CODICE");
    EXPECT_EQ(i[1].fieldCount(), 2);
    EXPECT_FALSE(i[1].primary);
    EXPECT_FALSE(i[1].unique);
    EXPECT_EQ(i[2].name, "CLIENTI_RAGSOC");
    EXPECT_EQ(i[2].fields, "RAGSOC");
    for (const auto& d : i)
        EXPECT_FALSE(d.caseInsensitive || d.descending) << d.name;

    t.setTableName("MOV_CLI");
    const auto& m = t.indexDefs();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].name, "MOV_CLI_PERDATA");
    EXPECT_TRUE(m[0].descending);
    EXPECT_EQ(m[1].name, "MOV_CLI_UNICO");
    EXPECT_TRUE(m[1].unique);
    EXPECT_FALSE(m[1].primary);
    EXPECT_EQ(m[2].name.rfind("RDB$PRIMARY", 0), 0u) << m[2].name;
    EXPECT_EQ(m[2].fields, "A;B");
    EXPECT_TRUE(m[2].primary);
    const auto& campi = t.fieldDefs();
    ASSERT_EQ(campi.size(), 3u);
    EXPECT_TRUE(campi[0].required);
    EXPECT_TRUE(campi[1].required);
    EXPECT_FALSE(campi[2].required);
}

TEST_F(ArchivioTest, IndiceSuCollazioneSenzaMaiuscoleEdEspressione)
{
    esegui({"CREATE TABLE T (A VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR,",
            "B VARCHAR(10), C INTEGER)"});
    esegui({"CREATE INDEX T_A ON T (A)"});
    esegui({"CREATE INDEX T_AB ON T (A, B)"});
    esegui({"CREATE INDEX T_ESPR ON T COMPUTED BY (UPPER(B))"});
    tr.commit();
    Table t(db);
    t.setTableName("T");
    const auto& i = t.indexDefs();
    ASSERT_EQ(i.size(), 3u);
    EXPECT_TRUE(i[0].caseInsensitive);
    EXPECT_FALSE(i[1].caseInsensitive);  // B compares with case
    EXPECT_EQ(i[2].fields, "");
    EXPECT_EQ(i[2].expression, "(UPPER(B))");
}

TEST_F(ArchivioTest, NomiDelleTabelleUtenteOrdinatiSenzaVisteNeTabelleDiSistema)
{
    creaClienti();
    esegui({"CREATE TABLE ARTICOLI (X INTEGER)"});
    esegui({"CREATE TABLE \"minuscola\" (X INTEGER)"});
    esegui({"CREATE VIEW VISTA AS SELECT X FROM ARTICOLI"});
    tr.commit();
    EXPECT_EQ(nomiTabelleUtente(db), (std::vector<std::string>{"ARTICOLI", "CLIENTI", "minuscola"}));
    EXPECT_TRUE(relazioneEsiste(db, "VISTA"));
    EXPECT_FALSE(relazioneEsiste(db, "MINUSCOLA"));
}

TEST_F(ArchivioTest, TestoAccentatoEBlobTornanoUgualiEINByteWin1252)
{
    esegui({"CREATE TABLE T (ID INTEGER NOT NULL, NOME VARCHAR(20), FISSO CHAR(4),",
            "MEMO BLOB SUB_TYPE TEXT, DATI BLOB)"});
    tr.commit();

    std::string binario;
    for (int i = 0; i < 256; ++i)
        binario += static_cast<char>(i);
    // Longer than a blob segment, accented all along.
    std::string grande;
    while (grande.size() < 200000)
        grande += "àèìòù € 0123456789 ";
    const std::string memo = "Città: perché è così? €\r\nseconda riga " + grande;

    Table t(db);
    t.setTableName("t");
    t.open();
    EXPECT_TRUE(t.eof());
    t.append();
    t.fieldByName("ID").setInt64(1);
    t.fieldByName("NOME").setString("Perù & Müller €");
    t.fieldByName("FISSO").setString("à");
    t.fieldByName("MEMO").setString(memo);
    t.fieldByName("DATI").setBytes(binario);
    t.post();
    tr.commit();

    t.open();
    ASSERT_FALSE(t.eof());
    EXPECT_EQ(t.field(1).asString(), "Perù & Müller €");
    EXPECT_EQ(t.field(1).asBytes(), "Per\xF9 & M\xFCller \x80");
    EXPECT_EQ(t.field(2).asString(), "à   ");
    EXPECT_EQ(t.field(3).asString(), memo);
    EXPECT_EQ(t.field(4).asBytes(), binario);
    t.close();

    // The bytes in the database are WIN1252, whoever reads them.
    Query q(db);
    q.sql = {"SELECT CAST(NOME AS VARCHAR(20) CHARACTER SET OCTETS) FROM T"};
    q.open();
    EXPECT_EQ(q.field(0).asBytes(), "Per\xF9 & M\xFCller \x80");
}

TEST_F(ArchivioTest, UnaColonnaInUtf8SiLeggeESiScriveInUtf8)
{
    esegui({"CREATE TABLE U (T VARCHAR(4) CHARACTER SET UTF8, M BLOB SUB_TYPE TEXT CHARACTER SET UTF8)"});
    tr.commit();
    Query ins(db);
    ins.sql = {"INSERT INTO U VALUES (?, ?)"};
    ins.param(0).setString("€èà$");
    ins.param(1).setString("però €");
    ins.execSql();
    Query q(db);
    q.sql = {"SELECT T, M, CAST(T AS VARCHAR(16) CHARACTER SET OCTETS) FROM U"};
    q.open();
    EXPECT_EQ(q.field(0).asString(), "€èà$");
    EXPECT_EQ(q.field(1).asString(), "però €");
    EXPECT_EQ(q.field(2).asBytes(), "€èà$");  // stored in UTF-8
}

TEST_F(ArchivioTest, TestoNonRappresentabileOTroppoLungoEUnErroreNonUnTaglio)
{
    esegui({"CREATE TABLE T (NOME VARCHAR(5))"});
    tr.commit();
    Table t(db);
    t.setTableName("T");
    t.open();
    t.append();
    EXPECT_THROW(t.field(0).setString("123456"), Error);
    EXPECT_NO_THROW(t.field(0).setString("12345"));
    try {
        t.field(0).setString("Ωmega");
        FAIL() << "accettato un carattere che WIN1252 non ha";
    } catch (const korva::Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Campo NOME: Il carattere 'Ω' (U+03A9) non è rappresentabile nella code page 1252");
    }
    EXPECT_EQ(t.field(0).asString(), "12345");
}

TEST_F(ArchivioTest, ValoriPerTipoComeTestoEComeValore)
{
    esegui({"CREATE TABLE T (I INTEGER, S SMALLINT, F FLOAT, D DOUBLE PRECISION,",
            "N NUMERIC(9,2), TS TIMESTAMP, DT DATE, TM TIME, B BOOLEAN, G BIGINT)"});
    tr.commit();
    Query ins(db);
    ins.sql = {"INSERT INTO T VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"};
    ASSERT_EQ(ins.paramCount(), 10u);
    ins.param(0).setString(" -42 ");
    ins.param(1).setString("32767");
    ins.param(2).setString("1,5");
    ins.param(3).setDouble(0.1);
    ins.param(4).setString("-12.345");  // rounded as the server rounds a cast
    ins.param(5).setString("29/02/2024 23:59:58");
    ins.param(6).setString("2024-12-31");
    ins.param(7).setString("07:05:03.25");
    ins.param(8).setString("si");
    ins.param(9).setInt64(-9000000000000000000LL);
    ins.execSql();
    EXPECT_EQ(ins.rowsAffected(), 1u);
    // A second row through the same prepared statement: NULLs and typed setters.
    for (size_t i = 0; i < 10; ++i)
        ins.param(i).clear();
    ins.param(4).setInt64(7);
    ins.param(5).setDataOra({2001, 2, 3, 4, 5, 6, 7});
    ins.execSql();

    Query q(db);
    q.sql = {"SELECT * FROM T ORDER BY I NULLS LAST"};
    q.open();
    EXPECT_EQ(q.field(0).asString(), "-42");
    EXPECT_EQ(q.field(1).asInt64(), 32767);
    EXPECT_EQ(q.field(2).asString(), "1.5");
    EXPECT_EQ(q.field(3).asDouble(), 0.1);
    EXPECT_EQ(q.field(4).asString(), "-12.35");
    EXPECT_EQ(q.field(4).asDouble(), -12.35);
    EXPECT_THROW(q.field(4).asInt64(), korva::Error);
    EXPECT_EQ(q.field(5).asString(), "2024-02-29 23:59:58");
    EXPECT_EQ(q.field(6).asString(), "2024-12-31");
    EXPECT_EQ(q.field(7).asString(), "07:05:03.2500");
    EXPECT_TRUE(q.field(8).asBool());
    EXPECT_EQ(q.field(9).asString(), "-9000000000000000000");
    q.next();
    ASSERT_FALSE(q.eof());
    EXPECT_TRUE(q.field(0).isNull());
    EXPECT_EQ(q.field(0).asString(), "");
    EXPECT_EQ(q.field(4).asString(), "7.00");
    EXPECT_EQ(q.field(5).asDataOra(), (DataOra{2001, 2, 3, 4, 5, 6, 7}));
    q.next();
    EXPECT_TRUE(q.eof());
}

TEST_F(ArchivioTest, ValoriNonValidiSonoErroriConIlNomeDelCampo)
{
    esegui({"CREATE TABLE T (S SMALLINT, TS TIMESTAMP, DT DATE, N NUMERIC(4,1))"});
    tr.commit();
    Query ins(db);
    ins.sql = {"INSERT INTO T VALUES (?, ?, ?, ?)"};
    for (const char* v : {"32768", "12a", "1.2.3", "--1", "-"})
        EXPECT_THROW(ins.param(0).setString(v), korva::Error) << v;
    ins.param(0).setString("");
    EXPECT_TRUE(ins.param(0).isNull());
    for (const char* v : {"30/02/2023", "2023-13-01", "2023-01-01 24:00:00", "01/01/23", "ieri"})
        EXPECT_THROW(ins.param(1).setString(v), korva::Error) << v;
    EXPECT_THROW(ins.param(2).setString("2023-01-01 10:00:00"), korva::Error);
    EXPECT_THROW(ins.param(3).setString("4000"), korva::Error);  // NUMERIC(4,1) is a SMALLINT
    try {
        ins.param(1).setString("32/01/2020");
        FAIL();
    } catch (const korva::Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Valore non valido per il campo parametro 2 (data): \"32/01/2020\"");
    }
}

TEST_F(ArchivioTest, FetchAllContaLeRigheEFirstRiparteDallInizio)
{
    esegui({"CREATE TABLE T (N INTEGER)"});
    tr.commit();
    Query ins(db);
    ins.sql = {"INSERT INTO T VALUES (?)"};
    for (int i = 1; i <= 2500; ++i) {
        ins.param(0).setInt64(i);
        ins.execSql();
    }
    tr.commit();

    Table t(db);
    t.setTableName("T");
    t.open();
    EXPECT_EQ(t.recordCount(), 1);
    t.fetchAll();
    EXPECT_EQ(t.recordCount(), 2500);
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.contaRighe(), 2500);
    t.first();
    EXPECT_FALSE(t.eof());
    std::int64_t somma = 0;
    for (; !t.eof(); t.next())
        somma += t.field(0).asInt64();
    EXPECT_EQ(somma, 2500LL * 2501 / 2);

    // An empty table counts 0.
    esegui({"DELETE FROM T"});
    tr.commit();
    t.open();
    t.fetchAll();
    EXPECT_EQ(t.recordCount(), 0);
}

TEST_F(ArchivioTest, LoStessoOggettoApreUnaTabellaDopoLAltra)
{
    esegui({"CREATE TABLE A (X VARCHAR(3))"});
    esegui({"CREATE TABLE B (Y INTEGER, Z INTEGER)"});
    tr.commit();
    esegui({"INSERT INTO A VALUES ('a')"});
    esegui({"INSERT INTO B VALUES (1, 2)"});
    Table t(db);
    t.setTableName("a");
    t.open();
    EXPECT_EQ(t.field(0).asString(), "a");
    t.setTableName("b");
    EXPECT_FALSE(t.active());
    t.open();
    ASSERT_EQ(t.fieldCount(), 2u);
    EXPECT_EQ(t.fieldByName("Z").asInt64(), 2);
    t.append();
    t.field(0).setInt64(3);
    t.post();
    EXPECT_EQ(t.contaRighe(), 2);
    EXPECT_EQ(t.fieldDefs().size(), 2u);
    tr.commit();
}

TEST_F(ArchivioTest, AprireUnaTabellaInesistenteDaIlMessaggioDelServer)
{
    Table t(db);
    t.setTableName("manca");
    EXPECT_FALSE(t.exists());
    try {
        t.open();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Table unknown"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("MANCA"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(t.active());
}

TEST_F(ArchivioTest, UnCampoCalcolatoNonSiScriveGliAltriSi)
{
    esegui({"CREATE TABLE T (A INTEGER, DOPPIO COMPUTED BY (A * 2), B VARCHAR(3))"});
    tr.commit();
    Table t(db);
    t.setTableName("T");
    t.open();
    t.append();
    EXPECT_THROW(t.field(1).setInt64(4), korva::Error);
    t.field(0).setInt64(21);
    t.field(2).setString("abc");
    t.post();
    tr.commit();
    t.open();
    EXPECT_EQ(t.field(1).asInt64(), 42);
    EXPECT_EQ(t.field(2).asString(), "abc");
}

// ---- Transactions: nothing implicit ----

TEST_F(ArchivioTest, UscireDallAmbitoSenzaCommitAnnullaTuttoCioCheIlComandoHaEseguito)
{
    try {
        TransactionScope lavoro(tr);
        esegui({"CREATE TABLE CLIENTI (", "\"CODICE\" VARCHAR(6) NOT NULL", ")"});
        esegui({"ALTER TABLE CLIENTI", "ADD CONSTRAINT CLIENTI_CHIAVEPRIMARIA PRIMARY KEY ( codice )"});
        esegui({"CREATE INDEX CLIENTI_x ON CLIENTI (campo_che_non_esiste)"});
        lavoro.commit();
        FAIL() << "il server doveva rifiutare l'indice";
    } catch (const Error&) {
    }
    EXPECT_FALSE(tr.inTransaction());
    ASSERT_EQ(inviate.size(), 4u);
    EXPECT_EQ(inviate.back(), "ROLLBACK");
    // A later, unrelated commit finds nothing pending.
    esegui({"CREATE TABLE ALTRA (X INTEGER)"});
    tr.commit();
    EXPECT_EQ(nomiTabelleUtente(db), std::vector<std::string>{"ALTRA"});
}

TEST_F(ArchivioTest, IlCommitDellAmbitoRendeDefinitivoIlLavoro)
{
    {
        TransactionScope lavoro(tr);
        esegui({"CREATE TABLE A (X INTEGER)"});
        lavoro.commit();
    }
    db.disconnect();
    db.connect();
    EXPECT_EQ(nomiTabelleUtente(db), std::vector<std::string>{"A"});
}

TEST_F(ArchivioTest, ScollegareAnnullaIlLavoroNonConfermato)
{
    creaClienti();
    esegui({"DELETE FROM CLIENTI"});
    esegui({"INSERT INTO CLIENTI (CODICE) VALUES ('X')"});
    esegui({"DROP TABLE CLIENTI"});
    EXPECT_TRUE(tr.inTransaction());
    db.disconnect();
    EXPECT_FALSE(tr.inTransaction());
    db.connect();
    Table t(db);
    t.setTableName("CLIENTI");
    t.open();
    EXPECT_TRUE(t.eof());  // the insert is gone too
}

TEST_F(ArchivioTest, CambiareNomeChiudeLaConnessioneEIlDistruttoreNonConferma)
{
    {
        Transaction t2;
        Database d2;
        d2.setDefaultTransaction(&t2);
        d2.setDatabaseName(db.databaseName());
        db.disconnect();
        d2.connect();
        Query q(d2);
        q.sql = {"CREATE TABLE PERSA (X INTEGER)"};
        q.execSql();
        d2.setDatabaseName(db.databaseName());  // the same name: still connected
        EXPECT_TRUE(d2.connected());
        d2.setDatabaseName(cartella / "altro.gdb");
        EXPECT_FALSE(d2.connected());
        EXPECT_FALSE(t2.inTransaction());
        d2.setDatabaseName(db.databaseName());
        d2.connect();
        q.sql = {"CREATE TABLE PERSA_ANCHE (X INTEGER)"};
        q.execSql();
    }
    db.connect();
    EXPECT_TRUE(nomiTabelleUtente(db).empty());
}

TEST_F(ArchivioTest, LaFineDellaTransazioneChiudeLeTabelleAperte)
{
    creaClienti();
    Table t(db);
    t.setTableName("CLIENTI");
    t.open();
    EXPECT_TRUE(t.active());
    tr.commit();
    EXPECT_FALSE(t.active());
    EXPECT_THROW(t.append(), korva::Error);
    t.open();
    db.disconnect();
    db.connect();
    EXPECT_FALSE(t.active());
    t.open();  // reopened on the new connection
    t.append();
    t.field(0).setString("A1");
    t.post();
    tr.commit();
    EXPECT_EQ(t.contaRighe(), 1);
}

TEST_F(ArchivioTest, CommitERollbackSenzaTransazioneSonoErrori)
{
    EXPECT_FALSE(tr.inTransaction());
    EXPECT_THROW(tr.commit(), korva::Error);
    EXPECT_THROW(tr.rollback(), korva::Error);
    EXPECT_NO_THROW(tr.deactivate());
    tr.start();
    EXPECT_THROW(tr.start(), korva::Error);
    tr.rollback();
}

TEST_F(ArchivioTest, LeIstruzioniDiTransazioneNonPassanoPerSql)
{
    esegui({"CREATE TABLE A (X INTEGER)"});
    for (const char* s : {"COMMIT", "ROLLBACK", "SET TRANSACTION"}) {
        Query q(db);
        q.sql = {s};
        EXPECT_THROW(q.execSql(), korva::Error) << s;
        EXPECT_TRUE(tr.inTransaction()) << s;
    }
    tr.rollback();
    EXPECT_TRUE(nomiTabelleUtente(db).empty());
}

TEST_F(ArchivioTest, ParametriDiTransazioneWriteEConsistency)
{
    tr.params = {"write", "consistency"};
    esegui({"CREATE TABLE A (X INTEGER)"});
    tr.commit();
    esegui({"INSERT INTO A VALUES (1)"});
    Query q(db);
    q.sql = {"SELECT MON$ISOLATION_MODE, MON$READ_ONLY FROM MON$TRANSACTIONS",
             "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION"};
    q.open();
    EXPECT_EQ(q.field(0).asInt64(), 0);  // consistency
    EXPECT_EQ(q.field(1).asInt64(), 0);
    tr.commit();
    tr.params = {"read", "read_committed", "rec_version", "nowait"};
    q.open();
    EXPECT_EQ(q.field(0).asInt64(), 2);  // read committed, record versions
    EXPECT_EQ(q.field(1).asInt64(), 1);
    q.close();
    tr.commit();
    tr.params = {"scrivi"};
    EXPECT_THROW(tr.start(), korva::Error);
}

TEST_F(ArchivioTest, UnaSelectNonSiEsegueEUnaDdlNonSiApre)
{
    Query q(db);
    q.sql = {"SELECT 1 FROM RDB$DATABASE"};
    EXPECT_THROW(q.execSql(), korva::Error);
    q.sql = {"CREATE TABLE A (X INTEGER)"};
    EXPECT_THROW(q.open(), korva::Error);
    q.sql.clear();
    EXPECT_THROW(q.execSql(), korva::Error);
}

// The drop path of the table manager: the existence test opens the table, then the same
// transaction drops it; a statement the layer kept prepared would make the table "in use".
TEST_F(ArchivioTest, UnaTabellaApertaEChiusaSiEliminaNellaStessaTransazione)
{
    creaClienti();
    Table aperta(db);
    aperta.setTableName("clienti");
    aperta.open();
    (void)aperta.fieldDefs();
    (void)aperta.indexDefs();
    aperta.append();
    aperta.field(0).setString("A");
    aperta.post();
    aperta.close();  // closed, the object kept
    esegui({"DROP TABLE clienti"});
    // Dropped and made again in one transaction, as a layout check does with its work table.
    esegui({"CREATE TABLE CLIENTI (X INTEGER)"});
    tr.commit();
    Table t(db);
    t.setTableName("CLIENTI");
    ASSERT_EQ(t.fieldDefs().size(), 1u);
    EXPECT_EQ(t.fieldDefs()[0].name, "X");
    EXPECT_TRUE(t.indexDefs().empty());
}

TEST_F(ArchivioTest, SelectIntoRispondeConLErroreDelServer)
{
    creaClienti();
    Query q(db);
    q.sql = {"SELECT * INTO TMP222", "FROM clienti"};
    try {
        q.execSql();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Token unknown"), std::string::npos) << e.what();
    }
}

TEST_F(ArchivioTest, ParametriDiConnessioneSconosciutiORifiutati)
{
    db.disconnect();
    db.params = {"user_name=sysdba", "password=tesslorin", "lc_ctype=WIN1252"};
    EXPECT_NO_THROW(db.connect());
    db.disconnect();
    db.params = {"user_name=sysdba", "lc_ctype=UTF8"};
    EXPECT_THROW(db.connect(), korva::Error);
    db.params = {"utente=sysdba"};
    EXPECT_THROW(db.connect(), korva::Error);
    EXPECT_FALSE(db.connected());
}

TEST_F(ArchivioTest, UnArchivioCheNonEsisteDaIlMessaggioDelClienteEFileInesistente)
{
    Database d;
    d.setDatabaseName(cartella / "manca.gdb");
    try {
        d.connect();
        FAIL();
    } catch (const Error& e) {
        EXPECT_TRUE(e.fileInesistente()) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("Impossibile aprire l'archivio " + cartella / "manca.gdb" + ": ", 0), 0u)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
    EXPECT_FALSE(d.connected());
}

TEST_F(ArchivioTest, NomeLocaleConBarreRovesciateEMaiuscoleDiverse)
{
    creaClienti();
    db.disconnect();
    Transaction t;
    Database d;
    d.setDefaultTransaction(&t);
    std::string nome = cartella / "ARCHIVIO.GDB";
    for (char& c : nome)
        if (c == '/')
            c = '\\';
    d.setDatabaseName(nome);
    d.connect();
    EXPECT_EQ(nomiTabelleUtente(d), std::vector<std::string>{"CLIENTI"});
}

}  // namespace
}  // namespace korva::ib
