#pragma once

#include "audio/AudioFacts.h"

#include <optional>

namespace vidtag::audio {

// The DTS frame whose core sync word starts the bytes, in any of its four packings (16 or 14
// bits to a word, either byte order): the core header up to LFF.
std::optional<AudioFrame> ParseDtsHeader(ByteSpan bytes);

// The first DTS frame in the bytes (see ScanFrames): its successor has the same packing.
std::optional<AudioFrame> FindDtsFrame(ByteSpan bytes);

} // namespace vidtag::audio
