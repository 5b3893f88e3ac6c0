#pragma once

// Secondary index files: .Xnn/.XGn hold one record per table record (the indexed fields, the
// primary key, the data block holding the record) in the index's order; .Ynn/.YGn index the
// X file's blocks like a .PX. We write them whole, as a rebuild would, whenever the table changes.

#include "engines/paradox/format.h"
#include "engines/paradox/table_file.h"

#include <functional>
#include <string>
#include <vector>

namespace korva::paradox {

class Collation;

struct IndexImages {
    std::vector<std::uint8_t> x, y;  // whole files
};

// The file names a new secondary index gets: Xnn (nn = field number in hex) for a
// single-field, case-sensitive, ascending, not unique index named after its field; XGn for any
// other (`group` = the next free n).
void nameIndexFiles(SecondaryIndex& si, const std::vector<FieldInfo>& fields, const std::string& base,
                    int& group);

// The files of a maintained index over the table's records: the X file handed to `x` piece by
// piece in order, the Y file returned. A unique index over equal values is an Error naming
// the table (`display`) and the value, before anything is handed on.
std::vector<std::uint8_t> writeIndexFiles(const Header& db, const std::vector<FieldInfo>& fields,
                                          const SecondaryIndex& si, const RecordSet& records,
                                          const Collation* collation, const std::string& display,
                                          const std::function<void(const std::uint8_t*, std::size_t)>& x);
// Both files whole.
IndexImages buildIndexImages(const Header& db, const std::vector<FieldInfo>& fields, const SecondaryIndex& si,
                             const RecordSet& records, const Collation* collation, const std::string& display);

// Index entries over the blocks of a data file: first key, block number, records in it.
struct IndexLeaf {
    std::string key;
    int block, count;
};
// Fills an index file (its header already in `file`) with a tree over the leaves, as a .PX.
void writeIndexTree(std::vector<std::uint8_t>& file, std::vector<IndexLeaf> leaves, int keyBytes);

// The whole .PX file of a table (header from the table's own) over its blocks.
std::vector<std::uint8_t> buildPrimaryImage(const Header& db, const std::vector<FieldInfo>& fields,
                                            const std::string& fileName, const std::vector<IndexLeaf>& leaves);

}  // namespace korva::paradox
