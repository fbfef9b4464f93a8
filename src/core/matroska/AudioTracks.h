#pragma once

#include "matroska/MatroskaFile.h"
#include "streams/Stream64.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vidtag::mkv {

constexpr std::int64_t kMaxAudioPrivateBytes = 4 * 1024;
constexpr std::int64_t kAudioFrameBytes = 8 * 1024;

// What an audio decision needs of one track of type 2.
struct AudioTrack {
    std::uint64_t Number = 0;
    std::string CodecId;
    std::optional<std::uint64_t> Channels;
    std::optional<double> SamplingFrequency;
    std::vector<std::uint8_t> Private; // CodecPrivate, at most kMaxAudioPrivateBytes
    // The bytes header stripping took off the front of every frame; empty without it.
    std::vector<std::uint8_t> Stripped;
    bool Compressed = false; // frames stored compressed otherwise (zlib, ...): none are read
    // Its first frames joined, lacing undone and stripped bytes put back in front of each; at
    // most kAudioFrameBytes.
    std::vector<std::uint8_t> First;
};

struct OtherTracks {
    std::vector<AudioTrack> Audio;
    int SubtitleTracks = 0;
};

// The audio tracks (and the count of subtitle tracks) of a file whose headers read, with the
// first frames of each from the first Clusters, within a budget of elements and bytes walked.
// Reads only within the file; throws only what allocation throws.
OtherTracks ReadOtherTracks(TStream64& stream, const MatroskaFile& file);

} // namespace vidtag::mkv
