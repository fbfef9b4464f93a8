#include "audio/MatroskaCodecId.h"

#include "audio/WaveFormat.h"

#include <array>
#include <cmath>

namespace vidtag::audio {

namespace {

struct IdCodec {
    std::string_view Id;
    bool Prefix; // the id and any id that continues it with '/'
    AudioCodec Codec;
};

constexpr std::array<IdCodec, 17> kIds{{
    {"A_MPEG/L1", false, AudioCodec::Mp1},
    {"A_MPEG/L2", false, AudioCodec::Mp2},
    {"A_MPEG/L3", false, AudioCodec::Mp3},
    {"A_AC3", true, AudioCodec::Ac3}, // A_AC3/BSID9 and A_AC3/BSID10 too
    {"A_EAC3", false, AudioCodec::Eac3},
    {"A_DTS", true, AudioCodec::Dts}, // A_DTS/EXPRESS and A_DTS/LOSSLESS too
    {"A_AAC", true, AudioCodec::Aac}, // A_AAC/MPEG2/LC, A_AAC/MPEG4/LC/SBR, ...
    {"A_PCM", true, AudioCodec::Pcm}, // A_PCM/INT/LIT, A_PCM/INT/BIG, A_PCM/FLOAT/IEEE
    {"A_VORBIS", false, AudioCodec::Vorbis},
    {"A_OPUS", false, AudioCodec::Opus},
    {"A_FLAC", false, AudioCodec::Flac},
    {"A_MS/ACM", false, AudioCodec::Unknown},
    {"A_REAL", true, AudioCodec::Unknown},
    {"A_ALAC", false, AudioCodec::Unknown},
    {"A_TTA1", false, AudioCodec::Unknown},
    {"A_WAVPACK4", false, AudioCodec::Unknown},
    {"A_TRUEHD", false, AudioCodec::Unknown},
}};

bool Matches(const IdCodec& entry, std::string_view codecId) {
    if (codecId == entry.Id) {
        return true;
    }
    return entry.Prefix && codecId.size() > entry.Id.size() &&
           codecId.substr(0, entry.Id.size()) == entry.Id && codecId[entry.Id.size()] == '/';
}

} // namespace

AudioCodec CodecOfMatroskaId(std::string_view codecId) {
    for (const IdCodec& entry : kIds) {
        if (Matches(entry, codecId)) {
            return entry.Codec;
        }
    }
    return AudioCodec::Unknown;
}

ContainerAudio MatroskaAudio(std::string_view codecId, std::optional<std::uint64_t> channels,
                             std::optional<double> samplingFrequency, ByteSpan codecPrivate) {
    ContainerAudio said;
    if (codecId == "A_MS/ACM") {
        said = AviAudio(ReadWaveFormat(codecPrivate));
    } else {
        said.Codec = CodecOfMatroskaId(codecId);
    }
    said.CodecId = std::string(codecId);
    if (channels && *channels != 0 && *channels <= 255) {
        said.Channels = static_cast<std::uint32_t>(*channels);
    }
    // A float element: NaN, below 1 Hz or beyond any audio's rate is no rate at all.
    if (samplingFrequency && *samplingFrequency >= 1 && *samplingFrequency <= 1e7) {
        said.SampleRate = static_cast<std::uint32_t>(std::lround(*samplingFrequency));
    }
    return said;
}

} // namespace vidtag::audio
