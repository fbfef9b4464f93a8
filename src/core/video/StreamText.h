#pragma once

#include "video/StreamFacts.h"

#include <cstdint>
#include <string>

namespace vidtag::video {

// The name of a profile_and_level_indication, e.g. "Advanced Simple @ L5"; "" when reserved.
std::string ProfileLevelName(std::uint8_t profileLevel);

// One line on what the stream is, for people, e.g. "MPEG-4 Advanced Simple @ L5, 720x576,
// 25 fps; B-frames, packed, up to 2 in a row; QPel; encoder XviD 69". Only what is known shows.
// English for language 0, Russian for 1.
std::string StreamSummary(const StreamFacts& facts, int language = 0);

// What to tell when the stream is not what its label's family names; "" when it is.
std::string MismatchWarning(const StreamFacts& facts, int language = 0);

// The name of another codec's syntax ("H.264", "Motion JPEG"); "" for the MPEG-4 family's.
const char* OtherCodecName(Syntax syntax);

// The Microsoft versions of StreamFacts::MsVersions' bits: "V3", or the candidates: "V2 or V3".
std::string MsVersionNames(std::uint8_t versions, int language = 0);

// A number with at most three decimals and no trailing zeros: 25.000 shows as 25, 29.970 as
// 29.97.
std::string DecimalText(double value);

} // namespace vidtag::video
