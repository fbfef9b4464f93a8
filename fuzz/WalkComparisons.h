#pragma once

#include <cstddef>
#include <cstdint>

namespace vidtag::fuzz {

// Walks the bytes with the product's walker and with the variants that tests can choose, and
// aborts where they find different things: the walk with its step budget against the walk
// without it, wherever that one ends within the budget, and the fast scan against the
// window-by-window scan.
void CompareWalks(const std::uint8_t* data, std::size_t size);
// The fast scan against the window-by-window scan, with a large and a small buffer: the same
// tree, records and walker fields.
void CompareScans(const std::uint8_t* data, std::size_t size);

} // namespace vidtag::fuzz
