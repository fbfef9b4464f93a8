#pragma once

#include "avi/VmAVIFile.h"
#include "streams/Stream64.h"

#include <cstdint>
#include <vector>

namespace vidtag {

// What an audio decision needs of one "auds" stream: its format and its first bytes.
constexpr std::int64_t kMaxAudioFormatBytes = 1024;
constexpr std::int64_t kAudioFirstBytes = 8 * 1024;

struct AviAudioTrack {
    int StreamNumber = 0; // the NN of its "NNwb" chunks
    // Its "strh" fields that time its chunks: with a sample size of 0 each chunk lasts
    // scale / rate seconds; else its bytes last as long as the format's bytes per second say.
    std::uint32_t Scale = 0;
    std::uint32_t Rate = 0;
    std::uint32_t SampleSize = 0;
    std::vector<std::uint8_t> Format; // its "strf" data, at most kMaxAudioFormatBytes
    std::vector<std::uint8_t> First;  // its first chunks' data joined, at most kAudioFirstBytes
};

// What a player reads of the index and the file's extent, from the chunk tree alone.
struct AviIndexFacts {
    bool Idx1 = false;         // an "idx1" chunk
    bool HasIndexFlag = false; // the main header's AVIF_HASINDEX
    bool SuperIndex = false;   // an OpenDML "indx" in a stream's list
    int Parts = 0;             // RIFF parts: "AVI " and each "AVIX"
    bool CutShort = false;     // the first RIFF part or its "movi" list runs past the file's end
};

struct AviTracks {
    std::vector<AviAudioTrack> Audio;
    int SubtitleTracks = 0; // "txts" streams
    AviIndexFacts Index;
};

// The audio streams the scanned file's headers list, with the first data of each from the
// first "movi" list (entering "rec " lists). The walk stops when every stream has its bytes, at
// the first chunk that runs past the list or the file, or after a few thousand chunks or a few
// MiB, whatever the file says. Throws only what allocation throws.
AviTracks ReadAviTracks(const TVmAVIFileReader& reader, TStream64& stream);

} // namespace vidtag
