#pragma once

// A value moved from a field of one table to a field of another in its own type: the same
// value in the new field, or refused. Numbers keep every digit or are refused, blobs and memos
// keep their bytes, text is text in either code page; nothing goes through a display form
// that the new type would read otherwise.

#include "engines/paradox/table_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korva::paradox {

// The value of field `a` (its bytes at `from`, its table's code page `cpFrom`; `blobFrom` its
// bytes when it is a blob or memo) put into field `b` (its bytes at `to`, code page `cpTo`;
// a blob or memo's bytes go into `blobTo` for the caller to store). The source is not blank.
// An Error naming the field `b` and the value when `b` cannot hold it exactly.
void moveValue(const FieldInfo& a, const std::uint8_t* from, int cpFrom, const std::string& blobFrom,
               const FieldInfo& b, std::uint8_t* to, int cpTo, std::string& blobTo);

// Whether a number written as text ("12.50", "-3", "1,5", "2e3") reads as a double that
// holds it exactly, as far as decimal text goes: the double's shortest text is the same
// number. The double when it does.
std::optional<double> exactDouble(std::string_view text);

}  // namespace korva::paradox
