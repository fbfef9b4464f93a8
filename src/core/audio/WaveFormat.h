#pragma once

#include "audio/AudioFacts.h"

#include <cstdint>
#include <optional>

namespace vidtag::audio {

// WAVEFORMATEX, and WAVEFORMATEXTENSIBLE's fields after it, as far as the bytes hold them.
struct WaveFormat {
    std::optional<std::uint16_t> FormatTag;
    std::optional<std::uint16_t> Channels;
    std::optional<std::uint32_t> SamplesPerSec;
    std::optional<std::uint32_t> AvgBytesPerSec;
    std::optional<std::uint16_t> BlockAlign;
    std::optional<std::uint16_t> BitsPerSample;
    std::optional<std::uint16_t> ExtraSize; // cbSize
    // WAVE_FORMAT_EXTENSIBLE (0xFFFE) with cbSize of 22 or more:
    std::optional<std::uint32_t> ChannelMask;
    // The format tag a SubFormat GUID of the form {0000xxxx-0000-0010-8000-00AA00389B71}
    // stands for; absent for any other GUID.
    std::optional<std::uint16_t> SubFormatTag;
};

constexpr std::uint16_t kExtensibleTag = 0xFFFE;

// The fields a span of any length holds, little-endian from its first byte: a short span gives
// the fields that fit in it, and an extensible format's fields only as far as cbSize says.
WaveFormat ReadWaveFormat(ByteSpan bytes);

// The codec a format tag names; Unknown for 0xFFFE and the tags no codec here has.
AudioCodec CodecOfFormatTag(std::uint16_t tag);

// The codec of a whole format: an extensible one's by its SubFormat.
AudioCodec CodecOfWaveFormat(const WaveFormat& format);

// What an AVI audio stream's format says: its codec and tag, channels, sample rate and bitrate.
ContainerAudio AviAudio(const WaveFormat& format);

} // namespace vidtag::audio
