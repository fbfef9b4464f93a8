#pragma once

#include "audio/AudioFacts.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vidtag::audio {

// The codec a Matroska audio CodecID names; Unknown for A_MS/ACM, whose codec its CodecPrivate
// tells, and for the ids of codecs not listed here (A_REAL/*, A_ALAC, A_TTA1, ...).
AudioCodec CodecOfMatroskaId(std::string_view codecId);

// What a Matroska audio track says: its CodecID, and Channels and SamplingFrequency when the
// track has them. A_MS/ACM takes its codec, format tag and bitrate from the WAVEFORMATEX in
// codecPrivate, the track's own elements winning for channels and sample rate.
ContainerAudio MatroskaAudio(std::string_view codecId, std::optional<std::uint64_t> channels,
                             std::optional<double> samplingFrequency, ByteSpan codecPrivate = {});

} // namespace vidtag::audio
