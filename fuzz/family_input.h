#pragma once

// A table family packed into one fuzz input.
//
// The input is seven parts separated by kSeparator: the extension of the secondary index's
// .X file ("X02", "XG0", ...), then the .DB, .PX, .MB, .X, .Y and .VAL files. An empty part,
// or a part missing at the end, is a file that is absent; an extension that is not one of a
// secondary index leaves the .X and .Y out.

#include "mem_env.h"

#include <string>
#include <string_view>

namespace korva::fuzz {

inline constexpr std::string_view kSeparator = "\n--korva-file--\n";

struct Family {
    std::string xExtension;
    std::string db, px, mb, x, y, val;
    bool operator==(const Family&) const = default;
};

Family unpack(std::string_view input);
// An Error when a file holds the separator (it would not read back the same).
std::string pack(const Family& family);
// Puts the family's files into the Env's current directory as table T.
void install(const Family& family, MemEnv& env);
// Whether the extension names the .X file of a secondary index (X01..XFF, XG0..XGF).
bool isXExtension(std::string_view extension);

}  // namespace korva::fuzz
