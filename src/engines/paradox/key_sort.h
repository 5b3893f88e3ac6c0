#pragma once

// Sorting the keys of an index being built: fixed-length byte strings in memcmp order.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva::paradox {

// The positions of `count` keys of `length` bytes each (one after another in `keys`) in the
// keys' memcmp order; equal keys keep their original order.
std::vector<std::uint32_t> orderByKeys(const std::uint8_t* keys, std::size_t count, std::size_t length);

}  // namespace korva::paradox
