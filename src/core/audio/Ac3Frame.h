#pragma once

#include "audio/AudioFacts.h"

#include <optional>

namespace vidtag::audio {

// The AC-3 (bsid up to 10) or E-AC-3 (bsid 11 to 16) frame whose sync word 0x0B77 starts the
// bytes: its syncinfo and the bit stream info up to lfeon.
std::optional<AudioFrame> ParseAc3Header(ByteSpan bytes);

// The first AC-3 or E-AC-3 frame in the bytes (see ScanFrames).
std::optional<AudioFrame> FindAc3Frame(ByteSpan bytes);

// The full-range channels an acmod codes, 1 to 5; dual mono (acmod 0) counts as 2.
std::uint8_t Ac3Channels(std::uint8_t acmod);

} // namespace vidtag::audio
