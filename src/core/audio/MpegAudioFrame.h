#pragma once

#include "audio/AudioFacts.h"

#include <optional>

namespace vidtag::audio {

// The MPEG audio frame (MPEG-1, MPEG-2 and MPEG-2.5, layers I to III) whose 4-byte header starts
// the bytes, with a Xing, Info or VBRI header in it read for VBR. Free-format frames, whose size
// only the next frame tells, are not taken.
std::optional<AudioFrame> ParseMpegAudioHeader(ByteSpan bytes);

// The first MPEG audio frame in the bytes (see ScanFrames): its successor must have the same
// version, layer and sample rate.
std::optional<AudioFrame> FindMpegAudioFrame(ByteSpan bytes);

} // namespace vidtag::audio
