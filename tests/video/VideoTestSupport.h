#pragma once

#include "video/StreamFacts.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::test {

// A bit string written as '0' and '1', with spaces between fields for the reader's sake.
struct BitString {
    std::vector<std::uint8_t> Bytes; // zero-padded to whole bytes
    std::size_t BitCount = 0;
};

BitString Bits(std::string_view pattern);

// A bit string's bytes behind a start code 00 00 01 code, with the rest of the last byte filled
// with next_start_code's stuffing (a 0 and ones).
std::vector<std::uint8_t> Unit(std::uint8_t code, std::string_view pattern);

// The VOL fields present, in the order the layer header has them: "type=17 verid=2 w=720 ...".
std::vector<std::string> VolFields(const video::StreamFacts& facts);
std::string Joined(const std::vector<std::string>& fields);

} // namespace vidtag::test
