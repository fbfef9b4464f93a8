#pragma once

#include "engine/Conversion.h"

#include <string>

namespace vidtag {

// What the journal says about the analysed file (the call's state): the codes it had before the
// first conversion of the unbroken chain of recorded conversions that ends at its current codes.
// An unreadable journal is reported in the result, not as the call's refusal.
RecordedOriginal ReadOriginal(WriteCall& call, const std::string& fileName) noexcept;

} // namespace vidtag
