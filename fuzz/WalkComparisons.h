#pragma once

#include "support/AnalysisFindings.h"

#include <cstddef>
#include <cstdint>

namespace vidtag::fuzz {

// Walks the bytes with the product's walker and with the variants that tests can choose, and
// aborts where they find different things: the walk with its step budget against the walk
// without it, wherever that one ends within the budget, and the fast scan, with a buffer that
// holds the whole input and with a small one, against the window-by-window scan (the same tree,
// records and walker fields). Aborts as well when the walk writes to its stream or enters the
// file's header again. What the product's walk found.
test::AnalysisFindings CompareWalks(const std::uint8_t* data, std::size_t size);

} // namespace vidtag::fuzz
