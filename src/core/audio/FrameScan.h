#pragma once

#include "audio/AudioFacts.h"

#include <optional>

namespace vidtag::audio {

// What the bytes where the next frame should start hold.
enum class NextFrame : std::uint8_t { Sync, NoSync, Beyond };

// A header parser: the frame whose header starts the bytes, or nothing. Its Size is at least 1.
using FrameParser = std::optional<AudioFrame> (*)(ByteSpan bytes);
// Whether the bytes after a frame begin with the header of a frame that can follow it.
using NextCheck = NextFrame (*)(const AudioFrame& first, ByteSpan next);

// The first frame in the bytes whose next frame's header follows it, with the bytes before it
// as its Offset; failing that, the first frame whose successor lies beyond the bytes, not
// confirmed. A header whose successor is missing inside the bytes is a false sync, and skipped.
std::optional<AudioFrame> ScanFrames(ByteSpan bytes, FrameParser parse, NextCheck next);

} // namespace vidtag::audio
