// Copying a table through the access layer, against the client library used directly in the
// same run on the same database: prepared inserts of every row, then a full read.
//
//   build/bench/bench_interbase [rows]   (default 200,000)

#include "engines/interbase/database.h"
#include "engines/interbase/query.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"

#include <firebird/Interface.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace korva::ib;
namespace fs = std::filesystem;

namespace {

double ora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string testo(long i)
{
    return "cliente " + std::to_string(i * 7919 % 1000003) + " però";
}

const char* const kColonne =
    "(CODICE INTEGER NOT NULL, NOME VARCHAR(40), CITTA VARCHAR(30), IMPORTO FLOAT,"
    " QUANDO TIMESTAMP, LIVELLO SMALLINT, QUANTI INTEGER, SIGLA VARCHAR(10))";

void esegui(Database& db, const std::string& s)
{
    Query q(db);
    q.sql = {s};
    q.execSql();
}

// The client library's own prepared insert, the message laid out by hand.
double scriviDiretto(Database& db, Transaction& tr, long n)
{
    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    ThrowStatusWrapper st(master->getStatus());
    const double t0 = ora();
    IAttachment* att = db.attachment();
    ITransaction* t = tr.handle();
    const char* sql = "INSERT INTO DIRETTA VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
    IStatement* stmt = att->prepare(&st, t, 0, sql, 3, IStatement::PREPARE_PREFETCH_METADATA);
    IMessageMetadata* meta = stmt->getInputMetadata(&st);
    std::vector<unsigned char> buf(meta->getMessageLength(&st));
    unsigned off[8], nul[8];
    for (unsigned i = 0; i < 8; ++i) {
        off[i] = meta->getOffset(&st, i);
        nul[i] = meta->getNullOffset(&st, i);
    }
    auto varchar = [&](unsigned i, const std::string& v) {
        const auto len = static_cast<ISC_USHORT>(v.size());
        std::memcpy(&buf[off[i]], &len, 2);
        std::memcpy(&buf[off[i] + 2], v.data(), v.size());
    };
    IUtil* u = master->getUtilInterface();
    for (long i = 0; i < n; ++i) {
        for (unsigned k = 0; k < 8; ++k)
            *reinterpret_cast<short*>(&buf[nul[k]]) = 0;
        *reinterpret_cast<int*>(&buf[off[0]]) = static_cast<int>(i);
        std::string nome = testo(i);
        nome.replace(nome.size() - 2, 2, "\xF2");  // the same text, in WIN1252
        varchar(1, nome);
        varchar(2, "Città " + std::to_string(i % 100));
        *reinterpret_cast<float*>(&buf[off[3]]) = static_cast<float>(i) * 0.25f;
        auto* ts = reinterpret_cast<ISC_TIMESTAMP*>(&buf[off[4]]);
        ts->timestamp_date = u->encodeDate(2020, 1 + i % 12, 1 + i % 28);
        ts->timestamp_time = u->encodeTime(i % 24, i % 60, 0, 0);
        *reinterpret_cast<short*>(&buf[off[5]]) = static_cast<short>(i % 7);
        *reinterpret_cast<int*>(&buf[off[6]]) = static_cast<int>(i % 1000);
        varchar(7, std::string("S").append(std::to_string(i % 10)));
        stmt->execute(&st, t, meta, buf.data(), nullptr, nullptr);
    }
    meta->release();
    stmt->free(&st);
    tr.commit();
    st.dispose();
    return ora() - t0;
}

// Through the layer, as the import appends: text values assigned field by field.
double scriviStrato(Database& db, Transaction& tr, long n)
{
    const double t0 = ora();
    Table t(db);
    t.setTableName("STRATO");
    t.open();
    for (long i = 0; i < n; ++i) {
        t.append();
        t.field(0).setString(std::to_string(i));
        t.field(1).setString(testo(i));
        t.field(2).setString("Città " + std::to_string(i % 100));
        t.field(3).setString(std::to_string(static_cast<double>(i) * 0.25));
        t.field(4).setDataOra({2020, static_cast<int>(1 + i % 12), static_cast<int>(1 + i % 28),
                               static_cast<int>(i % 24), static_cast<int>(i % 60), 0, 0});
        t.field(5).setInt64(i % 7);
        t.field(6).setInt64(i % 1000);
        t.field(7).setString(std::string("S").append(std::to_string(i % 10)));
        t.post();
    }
    tr.commit();
    return ora() - t0;
}

double leggiDiretto(Database& db, Transaction& tr, long& somma)
{
    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    ThrowStatusWrapper st(master->getStatus());
    const double t0 = ora();
    IStatement* stmt = db.attachment()->prepare(&st, tr.handle(), 0, "SELECT * FROM DIRETTA", 3,
                                                IStatement::PREPARE_PREFETCH_METADATA);
    IMessageMetadata* meta = stmt->getOutputMetadata(&st);
    std::vector<unsigned char> buf(meta->getMessageLength(&st));
    const unsigned off0 = meta->getOffset(&st, 0);
    const unsigned off1 = meta->getOffset(&st, 1);
    IResultSet* rs = stmt->openCursor(&st, tr.handle(), nullptr, nullptr, meta, 0);
    while (rs->fetchNext(&st, buf.data()) == IStatus::RESULT_OK) {
        somma += *reinterpret_cast<int*>(&buf[off0]);
        somma += *reinterpret_cast<unsigned short*>(&buf[off1]);
    }
    rs->close(&st);
    meta->release();
    stmt->free(&st);
    tr.commit();
    st.dispose();
    return ora() - t0;
}

// Through the layer, as the import reads: every field as text.
double leggiStrato(Database& db, Transaction& tr, long& somma)
{
    const double t0 = ora();
    Table t(db);
    t.setTableName("STRATO");
    for (t.open(); !t.eof(); t.next()) {
        for (size_t i = 0; i < t.fieldCount(); ++i)
            somma += static_cast<long>(t.field(i).asString().size());
    }
    tr.commit();
    return ora() - t0;
}

}  // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 200000;
    const fs::path dir = fs::temp_directory_path() / ("korva-bench-ib-" + std::to_string(getpid()));
    fs::create_directories(dir);
    try {
        Transaction tr;
        Database db;
        db.setDefaultTransaction(&tr);
        db.setDatabaseName((dir / "bench.gdb").string());
        db.params = {"USER \"SYSDBA\"", "PASSWORD \"x\"", "PAGE_SIZE 4096"};
        db.createDatabase();
        esegui(db, std::string("CREATE TABLE DIRETTA ") + kColonne);
        esegui(db, std::string("CREATE TABLE STRATO ") + kColonne);
        esegui(db, std::string("CREATE TABLE COPIA ") + kColonne);
        tr.commit();

        const double sd = scriviDiretto(db, tr, n);
        const double ss = scriviStrato(db, tr, n);
        long a = 0, b = 0;
        const double ld = leggiDiretto(db, tr, a);
        const double ls = leggiStrato(db, tr, b);
        double t0 = ora();
        esegui(db, "INSERT INTO COPIA SELECT * FROM STRATO");
        tr.commit();
        const double ins = ora() - t0;

        std::printf("%ld righe di 8 colonne, un archivio in-process, una transazione per fase\n", n);
        std::printf("scrittura  cliente diretto %7.0f righe/s   strato %7.0f righe/s   rapporto %.2f\n",
                    n / sd, n / ss, ss / sd);
        std::printf("lettura    cliente diretto %7.0f righe/s   strato %7.0f righe/s   rapporto %.2f"
                    "  (lo strato converte ogni campo in testo)\n",
                    n / ld, n / ls, ls / ld);
        std::printf("INSERT ... SELECT           %7.0f righe/s\n", n / ins);
        (void)a;
        (void)b;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        fs::remove_all(dir);
        return 1;
    }
    fs::remove_all(dir);
    return 0;
}
