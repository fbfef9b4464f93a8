#pragma once

#include "audio/AudioFacts.h"
#include "avi/VmAVIFile.h"
#include "check/Interleave.h"
#include "engine/JobTypes.h"
#include "matroska/MatroskaFile.h"
#include "streams/Stream64.h"

#include <optional>
#include <vector>

namespace vidtag {

// The tracks beside the video: each audio track's facts, in file order, and the subtitle tracks.
struct TrackFacts {
    std::vector<audio::AudioFacts> Audio;
    int SubtitleTracks = 0;
    std::optional<IndexFacts> Index;
    // What times the first audio track's chunks, for the interleave with the video: the track
    // a player plays unless told otherwise.
    std::optional<check::AudioClock> FirstAudioClock;
};

// Of a scanned AVI file: every "auds" stream's format and first chunks. Never throws; what could
// not be read stays absent.
TrackFacts AviTrackFacts(const TVmAVIFileReader& reader, TStream64& stream) noexcept;

// Of a Matroska file whose headers read: every track of type 2. Never throws.
TrackFacts MatroskaTrackFacts(const mkv::MatroskaFile& file, TStream64& stream) noexcept;

} // namespace vidtag
