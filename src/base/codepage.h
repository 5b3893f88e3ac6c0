#pragma once

#include <string>
#include <string_view>

namespace korva {

// Code pages of the 8-bit text that files shared with other programs hold: the settings
// file, ditta.cfg, the state file (1252) and Paradox tables (each names its own).
// Inside the program text is UTF-8.
//
// Known numbers: 1250-1258, 437, 850, 852, 857, 860-863, 865, 866, 874, 932, 936, 949, 950, and 0
// (the Roman8 of old tables). Others are refused with an Error.
namespace codepage {

inline constexpr int kWindowsWestern = 1252;

// Bytes in the code page to UTF-8. Bytes that a single-byte code page leaves undefined
// map to the C1 control of the same number, so that every byte survives a round trip.
std::string toUtf8(std::string_view bytes, int codePage);

// UTF-8 to bytes in the code page; a character the code page cannot hold is an Error
// that names it.
std::string fromUtf8(std::string_view text, int codePage);

// Whether the code page is supported on this machine.
bool supported(int codePage);

}  // namespace codepage
}  // namespace korva
