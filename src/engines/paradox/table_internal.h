#pragma once

// Helpers shared by the source files of the table object and of the open table; not part of
// the engine's interface.

#include "engines/paradox/collation.h"
#include "engines/paradox/table_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox::detail {

// Signed integers as the records hold them: big-endian with the sign bit flipped.
std::int64_t getInt(const std::uint8_t* p, int bytes);
void putInt(std::uint8_t* p, std::int64_t v, int bytes);

// A value given as text into the field's bytes (blobs: into `blobOut`); an Error naming the
// field when it does not fit.
void storeText(const FieldInfo& f, int codePage, std::uint8_t* p, std::string_view text,
               std::string* blobOut);

// A field's value in the record as text, as Field::asString gives it ("" when blank); not
// for blobs.
std::string valueText(const FieldInfo& f, const std::uint8_t* field, int codePage);

// Steps through the chain order of a table file, skipping empty blocks.
bool stepNext(TableFile& f, int& b, int& r);
bool stepPrior(TableFile& f, int& b, int& r);

// How two records compare on a secondary index's fields.
int compareIndexKey(const SecondaryIndex& si, const std::vector<FieldInfo>& fields, const Collation* coll,
                    const std::uint8_t* a, const std::uint8_t* b);

// A header of the family (whole, as read) with its counts of records and blocks zeroed: an
// index file's tree emptied too.
std::vector<std::uint8_t> emptiedHeader(std::vector<std::uint8_t> header, bool index);
// What the table's files hold once it has no records, by file name, the .DB first: its own
// headers with the counts zeroed (sort order, code page, stamps and counters kept), an empty
// .MB. The .VAL is not among them: it stays as it is.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> emptiedFiles(Env& env, const TableFile& t);
// The files of a new, empty table named `name` (the .DB file's name) with these definitions,
// by file name, the .DB first; an Error naming `what` when they cannot give a sound table.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> newTableFiles(
    const std::string& what, const std::string& name, const std::vector<FieldDef>& fields,
    const std::vector<IndexDef>& indexes, const TableSortOrder& order);
// The file of `dir` named `name` without regard to case; an error when two names match.
std::optional<std::string> findFile(Env& env, const std::string& dir, const std::string& name);

}  // namespace korva::paradox::detail
