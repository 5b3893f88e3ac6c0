// The layer against a database nobody here designed: Firebird's own employee sample, built
// by isql-fb from the script Debian ships, and described by isql-fb itself.

#include "engines/interbase/catalog.h"
#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"
#include "support/cartella_temporanea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

namespace korva::ib {
namespace {

using test::CartellaTemporanea;

const char* const kScript = "/usr/share/doc/firebird3.0-common-doc/examples/employee.sql.gz";

std::string esegui(const std::string& comando)
{
    std::string uscita;
    FILE* p = popen((comando + " 2>&1").c_str(), "r");
    if (!p)
        return "popen fallita";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        uscita.append(buf, n);
    pclose(p);
    return uscita;
}

std::vector<std::string> righe(const std::string& testo)
{
    std::vector<std::string> r;
    std::istringstream s(testo);
    for (std::string l; std::getline(s, l);)
        r.push_back(l);
    return r;
}

std::string pulito(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    size_t i = s.find_first_not_of(' ');
    return i == std::string::npos ? std::string() : s.substr(i);
}

// A column as "show table" describes it.
struct ColonnaIsql {
    std::string tipo;  // the type text, domain left out
    bool richiesto = false;
    bool calcolato = false;
};

struct TabellaIsql {
    std::vector<std::pair<std::string, ColonnaIsql>> colonne;
    std::string chiavePrimaria;  // "A;B" from "Primary key (A, B)"
    std::map<std::string, IndexDef> indici;
    std::int64_t righe = -1;
};

std::string listaCampi(std::string dentro)
{
    std::string r;
    std::istringstream s(dentro);
    for (std::string c; std::getline(s, c, ',');) {
        if (!r.empty())
            r += ';';
        r += pulito(c);
    }
    return r;
}

TabellaIsql leggiShowTable(const std::string& testo)
{
    TabellaIsql t;
    bool campi = true;
    for (const std::string& riga : righe(testo)) {
        const std::string p = pulito(riga);
        if (p.rfind("CONSTRAINT ", 0) == 0 || p.rfind("Triggers on Table", 0) == 0)
            campi = false;
        if (p.rfind("Primary key (", 0) == 0)
            t.chiavePrimaria = listaCampi(p.substr(13, p.find(')') - 13));
        if (!campi || p.empty())
            continue;
        if (riga[0] == ' ') {
            // The element type of an array column, on its own line.
            if (!t.colonne.empty() && t.colonne.back().second.tipo == "ARRAY")
                t.colonne.back().second.richiesto = p.find("Not Null") != std::string::npos;
            continue;
        }
        const size_t fineNome = riga.find(' ');
        ColonnaIsql c;
        std::string resto = pulito(riga.substr(fineNome));
        if (resto.rfind("(", 0) == 0)
            resto = pulito(resto.substr(resto.find(')') + 1));
        if (resto.rfind("Computed by:", 0) == 0) {
            c.calcolato = true;
        } else if (resto.rfind("ARRAY OF", 0) == 0) {
            c.tipo = "ARRAY";
        } else {
            size_t fineTipo = std::min(resto.find(" Not Null"), resto.find(" Nullable"));
            c.tipo = resto.substr(0, fineTipo);
            c.richiesto = resto.find(" Not Null") != std::string::npos;
        }
        t.colonne.emplace_back(riga.substr(0, fineNome), c);
    }
    return t;
}

void leggiShowIndex(const std::string& testo, TabellaIsql& t)
{
    for (const std::string& riga : righe(testo)) {
        const std::string p = pulito(riga);
        const size_t on = p.find(" INDEX ON ");
        if (on == std::string::npos)
            continue;
        IndexDef d;
        d.name = p.substr(0, p.find(' '));
        const std::string opzioni = p.substr(0, on);
        d.unique = opzioni.find(" UNIQUE") != std::string::npos;
        d.descending = opzioni.find(" DESCENDING") != std::string::npos;
        const size_t aperta = p.find('(', on);
        d.fields = listaCampi(p.substr(aperta + 1, p.rfind(')') - aperta - 1));
        t.indici[d.name] = d;
    }
}

// The type text isql-fb prints for a column, built from our definition.
std::string tipoComeIsql(const FieldDef& c)
{
    switch (c.type) {
    case TipoCampo::Varchar:
    case TipoCampo::Char:
        return std::string(nomeTipo(c.type)) + "(" + std::to_string(c.size) + ")";
    case TipoCampo::Numeric:
    case TipoCampo::Decimal:
        return std::string(nomeTipo(c.type)) + "(" + std::to_string(c.size) + ", " +
               std::to_string(c.scale) + ")";
    case TipoCampo::Memo:
        return "BLOB segment " + std::to_string(c.size) + ", subtype TEXT";
    case TipoCampo::Blob:
        return "BLOB segment " + std::to_string(c.size) + ", subtype BINARY";
    default:
        return nomeTipo(c.type);
    }
}

class Employee : public ::testing::Test {
protected:
    static inline std::unique_ptr<CartellaTemporanea> cartella;
    static inline std::vector<std::string> tabelleIsql;
    static inline std::map<std::string, TabellaIsql> descritte;
    static inline std::string problema;

    static std::string archivio() { return *cartella / "employee.fdb"; }

    static void SetUpTestSuite()
    {
        cartella = std::make_unique<CartellaTemporanea>();
        if (!std::filesystem::exists(kScript)) {
            problema = std::string("manca ") + kScript + " (pacchetto firebird3.0-examples)";
            return;
        }
        const std::string uscita = esegui("cd '" + cartella->percorso() + "' && zcat " + kScript +
                                          " > employee.sql && isql-fb -q -user sysdba -i employee.sql");
        if (!std::filesystem::exists(archivio())) {
            problema = "isql-fb non ha creato employee.fdb: " + uscita;
            return;
        }
        // Everything isql-fb has to say, before this process opens the file (one process at
        // a time opens a database in-process); each answer into a file of its own.
        auto isql = [](const std::string& comandi) {
            test::scriviFile(*cartella / "comandi.sql", comandi);
            return esegui("isql-fb -q -user sysdba -i '" + *cartella / "comandi.sql" + "' '" +
                          archivio() + "'");
        };
        auto risposta = [](const std::string& nome) { return *cartella / ("uscita-" + nome); };
        isql("output '" + risposta("tabelle") + "';\nshow tables;\noutput;\n");
        std::istringstream nomi(test::leggiFile(risposta("tabelle")));
        for (std::string n; nomi >> n;)
            tabelleIsql.push_back(n);
        std::string comandi = "set heading off;\n";
        for (const std::string& n : tabelleIsql)
            comandi += "output '" + risposta(n + ".tabella") + "';\nshow table " + n + ";\n" +
                       "output '" + risposta(n + ".indici") + "';\nshow index " + n + ";\n" +
                       "output '" + risposta(n + ".righe") + "';\nselect count(*) from " + n + ";\n";
        isql(comandi + "output;\n");
        for (const std::string& n : tabelleIsql) {
            TabellaIsql t = leggiShowTable(test::leggiFile(risposta(n + ".tabella")));
            leggiShowIndex(test::leggiFile(risposta(n + ".indici")), t);
            std::istringstream conta(test::leggiFile(risposta(n + ".righe")));
            conta >> t.righe;
            descritte[n] = std::move(t);
        }
    }

    static void TearDownTestSuite() { cartella.reset(); }

    Transaction tr;
    Database db;

    void SetUp() override
    {
        ASSERT_TRUE(problema.empty()) << problema;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName(archivio());
        db.params = {"user_name=sysdba", "password=tesslorin"};
        db.connect();
    }
};

TEST_F(Employee, OgniTabellaUtenteElencata)
{
    ASSERT_EQ(tabelleIsql.size(), 10u);
    EXPECT_EQ(nomiTabelleUtente(db), tabelleIsql);  // isql lists them sorted too
}

TEST_F(Employee, ColonneTipiEObbligatorietaComeLeDescriveIsql)
{
    for (const auto& [nome, attesa] : descritte) {
        SCOPED_TRACE(nome);
        Table t(db);
        t.setTableName(nome);
        const auto& campi = t.fieldDefs();
        ASSERT_EQ(campi.size(), attesa.colonne.size());
        for (size_t i = 0; i < campi.size(); ++i) {
            const auto& [nomeIsql, c] = attesa.colonne[i];
            SCOPED_TRACE(nomeIsql);
            EXPECT_EQ(campi[i].name, nomeIsql);
            EXPECT_EQ(campi[i].computed, c.calcolato);
            EXPECT_EQ(campi[i].required, c.richiesto);
            if (!c.calcolato) {
                EXPECT_EQ(tipoComeIsql(campi[i]), c.tipo);
            }
        }
    }
}

TEST_F(Employee, IndiciComeLiDescriveIsqlELaChiavePrimaria)
{
    for (const auto& [nome, attesa] : descritte) {
        SCOPED_TRACE(nome);
        Table t(db);
        t.setTableName(nome);
        const auto& indici = t.indexDefs();
        ASSERT_EQ(indici.size(), attesa.indici.size());
        int primari = 0;
        for (const IndexDef& d : indici) {
            SCOPED_TRACE(d.name);
            auto it = attesa.indici.find(d.name);
            ASSERT_NE(it, attesa.indici.end());
            EXPECT_EQ(d.fields, it->second.fields);
            EXPECT_EQ(d.unique, it->second.unique);
            EXPECT_EQ(d.descending, it->second.descending);
            EXPECT_EQ(d.fieldCount(), static_cast<int>(std::count(d.fields.begin(), d.fields.end(), ';')) + 1);
            EXPECT_FALSE(d.caseInsensitive);
            if (d.primary) {
                ++primari;
                EXPECT_EQ(d.fields, attesa.chiavePrimaria);
                EXPECT_EQ(d.name.rfind("RDB$PRIMARY", 0), 0u);
            }
        }
        EXPECT_EQ(primari, 1);
    }
}

TEST_F(Employee, OgniTabellaSiApreESiContaComeConIsql)
{
    for (const auto& [nome, attesa] : descritte) {
        SCOPED_TRACE(nome);
        Table t(db);
        t.setTableName(nome);
        EXPECT_TRUE(t.exists());
        t.open();
        // Every column of every row reads as text, arrays aside.
        for (; !t.eof(); t.next())
            for (size_t i = 0; i < t.fieldCount(); ++i)
                if (t.field(i).type() != TipoSql::Array)
                    (void)t.field(i).asString();
        EXPECT_EQ(t.recordCount(), attesa.righe);
        EXPECT_EQ(t.contaRighe(), attesa.righe);
    }
    EXPECT_EQ(descritte["EMPLOYEE"].righe, 42);
}

TEST_F(Employee, TestoEDateDiUnaRigaNota)
{
    Query q(db);
    q.sql = {"SELECT FULL_NAME, HIRE_DATE, SALARY, JOB_COUNTRY FROM EMPLOYEE WHERE EMP_NO = ?"};
    q.param(0).setInt64(2);
    q.open();
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.field(0).asString(), "Nelson, Robert");
    EXPECT_EQ(q.field(1).asString(), "1988-12-28 00:00:00");
    EXPECT_EQ(q.field(2).asString(), "105900.00");
    EXPECT_EQ(q.field(3).asString(), "USA");
}

}  // namespace
}  // namespace korva::ib
