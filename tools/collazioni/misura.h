#pragma once

// The weights of a Paradox language driver, measured on the Firebird collation generated from
// the same driver. Each byte is one element, or two when it expands (ä: its own element under
// the primary of a, then the element of e). Two strings compare by the primary weights of
// their elements, a shorter sequence first; with equal primaries, by the secondary weights
// position by position. The measurement finds the weights from Firebird's ORDER BY alone,
// then checks them against Firebird's order of every string of one and two bytes and of
// thousands of longer ones.

#include "isql.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korva::collazioni {

// A byte whose weights Firebird 3 gets wrong: placed as the driver places it.
struct Correzione {
    std::uint8_t byte;
    int secondario;              // the driver's own secondary weight, above those measured
    std::uint8_t secondaLettera; // an expanding byte: the byte whose element it adds (0: none)
};

// A language driver and the Firebird collation generated from it.
struct Driver {
    std::string nome;        // as a table's header names it ("ANSIINTL")
    std::uint8_t byte;       // the header's sort-order byte
    int codePage;            // of the text of its tables
    std::string charset;     // Firebird's character set of the collation
    std::string collazione;  // Firebird's collation
    std::vector<Correzione> correzioni;
};

// Every driver whose header byte and name the format notes establish and that Firebird
// implements.
const std::vector<Driver>& drivers();

struct Elemento {
    int primario = 0;    // 1 and up; 0: no element
    int secondario = 0;  // among the elements of the same primary weight
    bool operator==(const Elemento&) const = default;
};

struct Pesi {
    // Byte 0 has none; a byte that does not expand has a second element of primary 0.
    std::array<std::array<Elemento, 2>, 256> elementi{};
    // The driver's upper case of each byte.
    std::array<std::uint8_t, 256> maiuscole{};
};

// The weights of the driver, measured and checked against Firebird's order of every string of
// one and two bytes and of `prove` longer ones; an exception naming what Firebird does that
// they cannot reproduce.
Pesi misura(Isql& isql, const Driver& d, std::size_t prove = 12000);

// Firebird's order of the strings (bytes in the driver's code page) under its collation:
// the dense rank of each, 1 first.
std::vector<int> ranghi(Isql& isql, const Driver& d, const std::vector<std::string>& stringhe);

// The strings' order by the weights: primaries, then secondaries (what the engine compares).
int confronta(const Pesi& p, std::string_view a, std::string_view b);

// Whether the string holds a byte that the driver's corrections place.
bool corretta(const Driver& d, std::string_view s);

}  // namespace korva::collazioni
