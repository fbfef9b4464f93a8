#pragma once

#include <cstddef>
#include <cstdint>

namespace vidtag::fuzz {

// Walks the bytes with the product's walker and with the variants that tests can choose, and
// aborts where they find different things: the walk with its step budget against the walk
// without it, wherever that one ends within the budget.
void CompareWalks(const std::uint8_t* data, std::size_t size);

} // namespace vidtag::fuzz
