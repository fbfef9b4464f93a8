#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>

namespace vidtag::audio {

using ByteSpan = std::span<const std::uint8_t>;

// The audio codecs a device decides on. The order is that of the JSON names below.
enum class AudioCodec : std::uint8_t {
    Mp1,
    Mp2,
    Mp3,
    Ac3,
    Eac3,
    Dts,
    Aac,
    Pcm,
    Adpcm,
    Wma,
    Flac,
    Vorbis,
    Opus,
    Unknown,
};

// "mp3", "ac3", ...: the codec's name in JSON, lower case.
constexpr const char* AudioCodecJsonName(AudioCodec codec) {
    constexpr const char* kNames[] = {"mp1", "mp2",   "mp3", "ac3",  "eac3",   "dts",  "aac",
                                      "pcm", "adpcm", "wma", "flac", "vorbis", "opus", "unknown"};
    const auto index = static_cast<std::size_t>(codec);
    return index < std::size(kNames) ? kNames[index] : "unknown";
}

// Whether the codec's frames begin with a header the frame readers know.
constexpr bool HasFrameHeader(AudioCodec codec) {
    return codec == AudioCodec::Mp1 || codec == AudioCodec::Mp2 || codec == AudioCodec::Mp3 ||
           codec == AudioCodec::Ac3 || codec == AudioCodec::Eac3 || codec == AudioCodec::Dts;
}

enum class MpegVersion : std::uint8_t { None, Mpeg1, Mpeg2, Mpeg25 };

// How a DTS stream's words are stored: 16 or 14 bits of each 16-bit word, big- or little-endian.
enum class DtsPacking : std::uint8_t { None, Be16, Le16, Be14, Le14 };

// What the first frame's header said.
struct AudioFrame {
    AudioCodec Codec = AudioCodec::Unknown;
    std::uint32_t Offset = 0; // bytes before the frame's sync word: junk
    std::uint32_t Size = 0;   // the frame's bytes as stored
    bool Confirmed = false;   // the next frame's sync word follows it within the bytes read
    std::uint32_t SampleRate = 0;
    std::uint32_t SamplesPerFrame = 0;
    // Bits per second: the header's rate, or a VBR header's average; absent when neither says.
    std::optional<std::uint32_t> Bitrate;
    std::uint8_t Channels = 0; // the LFE channel included; 0 for a layout the header leaves open
    bool Lfe = false;
    bool DualMono = false; // two independent mono channels
    // MPEG audio: a Xing or VBRI header, or frames within the bytes read whose bitrates differ
    // (true), an Info header (false), else absent. Always false for AC-3 and E-AC-3, whose
    // frames keep one size; DTS's RATE code says.
    std::optional<bool> Vbr;

    MpegVersion Version = MpegVersion::None; // MPEG audio
    std::uint8_t Layer = 0;                  // MPEG audio: 1 to 3
    std::uint8_t ChannelMode = 0;            // MPEG mode, AC-3's acmod, DTS's AMODE
    std::uint8_t Bsid = 0;                   // AC-3 and E-AC-3
    DtsPacking Packing = DtsPacking::None;   // DTS
};

// What the container says of an audio track: an AVI stream's WAVEFORMATEX, or a Matroska track's
// CodecID, Channels and SamplingFrequency. Values of 0 are absent.
struct ContainerAudio {
    AudioCodec Codec = AudioCodec::Unknown;
    std::optional<std::uint16_t> FormatTag; // AVI, and Matroska's A_MS/ACM
    std::string CodecId;                    // Matroska
    std::optional<std::uint32_t> Channels;
    std::optional<std::uint32_t> SampleRate;
    std::optional<std::uint32_t> Bitrate; // bits per second
    std::optional<bool> Vbr;
};

// The bits of AudioFacts::Contradicted: what the first frame said otherwise than the container.
constexpr std::uint8_t kCodecContradicted = 1;
constexpr std::uint8_t kChannelsContradicted = 2;
constexpr std::uint8_t kRateContradicted = 4;
constexpr std::uint8_t kBitrateContradicted = 8;

// One audio track: what the container said, corrected by its first frame where the frame says
// otherwise or the container says nothing.
struct AudioFacts {
    AudioCodec Codec = AudioCodec::Unknown;
    std::optional<std::uint32_t> Channels; // the LFE channel included
    std::optional<bool> Lfe;
    std::optional<std::uint32_t> SampleRate;
    std::optional<std::uint32_t> Bitrate; // bits per second; an average for VBR
    std::optional<bool> Vbr;

    ContainerAudio Said;             // as the container gave it, format tag and codec id too
    std::optional<AudioFrame> Frame; // the first frame found in the bytes read
    std::uint8_t Contradicted = 0;   // kCodecContradicted, ...
    std::uint32_t JunkBytes = 0;     // bytes before the first frame's sync word
};

} // namespace vidtag::audio
