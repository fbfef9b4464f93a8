#pragma once

#include "video/StreamFacts.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidtag::video {

// What a Microsoft MPEG-4 intra picture holds that tells the versions apart. V1 names itself by
// its start code; V2 and V3 share the picture header's fields, and differ in the trailer an
// encoder writes at the end of every intra picture: a 5-bit frame rate, an 11-bit bit rate in
// KiB/s and, for V3 only, a rounding bit, then zero bits to the byte boundary. Which rate the
// frame's last bits hold where a 16-bit (V2) or 17-bit (V3) trailer would start is gathered here,
// when the frame is read; the frame rate and height to judge it by are known only later.
struct MsIntraPicture {
    bool V1 = false;            // behind V1's start code
    std::uint8_t SliceSize = 0; // V1: slice height in macroblock rows; V2/V3: number of slices
    // One bit per frame-rate field value (0 to 31) that a trailer of that length ending the frame
    // could hold; every bit when the frame was not read to its end.
    std::uint32_t V2Rates = 0;
    std::uint32_t V3Rates = 0;
};

// The intra picture a frame starts with, when its header parses: V1's start code, frame number,
// type, quantiser and slice height, or V2/V3's type, quantiser and slice code. Absent for a
// predicted picture and for a header that does not parse. whole says whether data is the whole
// frame, without which the trailer cannot be found.
std::optional<MsIntraPicture> ReadMsIntraPicture(const std::uint8_t* data, std::size_t size,
                                                 bool v1, bool whole) noexcept;

// The versions (kMsV1, kMsV2, kMsV3) the picture fits in a stream of this frame rate and height.
// V1 needs a slice height within the picture, V2 and V3 at most one slice per macroblock row;
// either is left out only when its trailer shows a frame rate other than the stream's and the
// other's trailer shows the stream's: when neither or both fit, or the rate is unknown, both
// stay. 0 when the header does not fit the height.
std::uint8_t MsVersionsOf(const MsIntraPicture& picture, std::optional<double> fps,
                          std::optional<std::uint32_t> height) noexcept;

} // namespace vidtag::video
