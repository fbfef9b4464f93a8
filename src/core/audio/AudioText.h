#pragma once

#include "audio/AudioFacts.h"

#include <cstdint>
#include <string>

namespace vidtag::audio {

// The codec's name for people: "AC-3", "E-AC-3", "MP3", ...; "" for Unknown.
const char* AudioCodecName(AudioCodec codec);

// What a track is, for people, e.g. "AC-3 5.1, 48 kHz, 448 kbit/s" or "MP3 stereo, 44.1 kHz,
// 190 kbit/s VBR", then what its first frame found: "; labelled MP3, the frames are AC-3",
// "; 12 junk bytes before the first frame". Only what is known shows. English for language 0,
// Russian for 1.
std::string AudioSummary(const AudioFacts& facts, int language = 0);

// The summary behind its label: "audio: AC-3 5.1, 48 kHz, 448 kbit/s".
std::string AudioLine(const AudioFacts& facts, int language = 0);

// The channels as a layout: "mono", "stereo", "1+1", "5.1"; without the LFE's presence known,
// a count: "6 channels".
std::string ChannelText(std::uint32_t channels, std::optional<bool> lfe, bool dualMono,
                        int language = 0);

// A sample rate in kHz with at most three decimals: "48 kHz", "44.1 kHz", "11.025 kHz".
std::string RateText(std::uint32_t hertz, int language = 0);

} // namespace vidtag::audio
