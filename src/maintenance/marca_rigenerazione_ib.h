#pragma once

// The mark an archive regeneration leaves on its work table TMP222: the description of the
// table itself (COMMENT ON TABLE), written in the transaction of each step, so that it always
// says which table the rows belong to and which step was the last to commit.

#include <cstdint>
#include <optional>
#include <string>

namespace korva {

namespace ib {
class Database;
class Transaction;
}

// The steps a mark can say, each the last one committed: TMP222 created (still empty), the
// rows copied into TMP222, the table dropped, the table created again (empty), the rows
// copied back into it.
inline constexpr int kMarcaCreata = 2;
inline constexpr int kMarcaCopiata = 3;
inline constexpr int kMarcaTabellaEliminata = 4;
inline constexpr int kMarcaTabellaCreata = 5;
inline constexpr int kMarcaRicopiata = 6;

struct MarcaRigenerazione {
    std::string tabella;     // the table regenerated, as the catalogue names it
    int passo = 0;
    std::int64_t righe = 0;        // rows copied into TMP222
    std::int64_t transazione = 0;  // the transaction that copied them
    // TMP222's description is a mark of ours: without one TMP222 is someone else's.
    bool nostra = true;
};

std::string testoMarca(const MarcaRigenerazione& marca);
// The statement that writes the mark on TMP222.
std::string istruzioneMarca(const std::string& testo);

// What TMP222 says of itself: nothing when there is no TMP222; a mark not ours (`nostra`
// false) when its description is not a mark.
std::optional<MarcaRigenerazione> leggiMarca(ib::Database& db, ib::Transaction& t);

// The table a regeneration created again carries, until its rows are back, a mark of its own:
// should TMP222 be lost meanwhile, the empty table is never taken for a whole one. The
// statements that write and clear it (`tabella` as the catalogue names it), and whether
// `tabella` carries it.
std::string istruzioneAttesaRighe(const std::string& tabella);
std::string istruzioneFineAttesa(const std::string& tabella);
bool attendeRighe(ib::Database& db, ib::Transaction& t, const std::string& tabella);

// An Error when `nome` is TMP222 and TMP222 carries our mark: it may hold the only copy of a
// table's rows, and only the regeneration of that table may empty or drop it.
void rifiutaLavoroMarcato(ib::Database& db, ib::Transaction& t, const std::string& nome);

}  // namespace korva
