#pragma once

#include "video/StreamFacts.h"

#include <cstddef>
#include <cstdint>

namespace vidtag::video {

// The syntax of the first video chunk with data, named only on positive evidence, in this order:
//   - H.264 or H.265 NAL units behind a four-byte start code 00 00 00 01;
//   - JPEG: FF D8 FF;
//   - MPEG-1/2: a sequence header that parses, or a picture header followed by a slice;
//   - MPEG-4 Part 2: a VOL that parses in a chunk that starts with a start code, or a VOP header
//   that parses at the start (behind any VOS,
//     visual object, user data or GOV); timeIncrementBits, when a VOL read before gave it,
//     lets the VOP header be read to its end;
//   - H.264 or H.265 NAL units behind a three-byte start code;
//   - Microsoft MPEG-4 V1: its picture start code 00 00 01 00 and a frame header that parses;
//   - Microsoft MPEG-4 V2 or V3: a picture header that parses (intra or predicted, a quantiser
//     from 1 to 31, an intra picture's slice code);
// Unknown for anything else, and for size 0.
Syntax ClassifyFirstChunk(const std::uint8_t* data, std::size_t size,
                          unsigned timeIncrementBits = 0) noexcept;

} // namespace vidtag::video
