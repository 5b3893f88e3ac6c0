#pragma once

// pxlib as an independent reader and writer of Paradox files, for the tests.

#include <optional>
#include <string>
#include <vector>

namespace korva::test {

// What a blob field reads as: pxlib cannot read .MB files here.
inline constexpr const char* kBlobNonLetto = "<blob>";

struct PxlibTable {
    std::vector<std::string> names;
    std::vector<char> types;  // pxlib type codes
    // Values in the inspection tools' formats (UTF-8 text, shortest numbers, ISO dates, hex).
    std::vector<std::vector<std::string>> rows;
};

// Reads every record of a table with pxlib (`blobFile` for memo values, may be empty).
PxlibTable leggiConPxlib(const std::string& db, const std::string& blobFile, int codePage);

// The last message pxlib reported.
std::string ultimoErrorePxlib();

// pxlib's record count (numrecords of the header pxlib reports), -1 when it cannot open.
int recordPxlib(const std::string& db);

// Looks keys up through a primary index with pxlib: true when pxlib accepts the .PX.
bool pxlibLeggeIndice(const std::string& db, const std::string& px, int& entries);

struct PxlibField {
    std::string name;
    char type;
    int size;
};
// Writes a table with pxlib, records given in the tools' formats ("" = blank). Only types
// pxlib writes reliably: A S I N D L.
void scriviConPxlib(const std::string& db, const std::vector<PxlibField>& fields, int keys,
                    const std::vector<std::vector<std::string>>& rows);

}  // namespace korva::test
