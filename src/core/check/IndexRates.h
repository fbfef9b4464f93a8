#pragma once

#include "avi/VmAVIFile.h"
#include "check/Interleave.h"
#include "streams/Stream64.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vidtag::check {

enum class BitrateSource : std::uint8_t { None, Index, FramesRead, Chunks };

// The video stream's bitrates: the average over the stream, and the most bits in any run of
// round(fps) consecutive frames, never less than the average.
struct Rates {
    std::optional<std::uint64_t> Average; // bit/s
    std::optional<std::uint64_t> Peak;    // bits over any second
    BitrateSource From = BitrateSource::None;
    std::uint64_t Frames = 0; // the frames counted, dropped (empty) ones included
    std::uint64_t Bytes = 0;  // their data
    // No index, and the walk through the movie data was stopped by damage: no rates at all
    // rather than rates over part of the stream.
    bool MoviDamaged = false;
    // How the video and the audio track the place names lead each other, when "idx1" gave the
    // frames and holds entries of both.
    std::optional<check::Interleave> Interleave = std::nullopt;
};

// Where a file keeps what the index reading needs; 0 or -1 for what it lacks.
struct IndexPlace {
    std::int64_t MoviEnd = 0;       // the first byte after the first part's "movi" list
    std::int64_t RiffEnd = 0;       // the end of the first RIFF part, as its header says
    int VideoStream = -1;           // the video stream's number, counted from 0 in "strl" order
    std::int64_t SuperIndexPos = 0; // the data of the video "strl"'s "indx" chunk
    std::int64_t SuperIndexSize = 0;
    // The most frames the index may count: the stream header's length when it gives one, and
    // never more than the file has room for (a chunk header and an entry each); 0 bounds nothing.
    std::uint64_t MaxFrames = 0;
    // The audio track timed against the frames as "idx1" is walked, for the interleave; the
    // caller sets it from the track's headers.
    std::optional<AudioClock> Audio;
};

// From a scanned reader's chunk tree; reads nothing. The video stream is the one whose header
// supplied the codes.
IndexPlace FindIndexPlace(const TVmAVIFileReader& reader);

// From the standard indexes the super index names (each once, however often it is named, and
// only those of the video stream's chunks), else from "idx1" after "movi"; From is None when
// neither gives a video frame, or fps is not above 0. Counting stops at place.MaxFrames. The walk
// of "idx1" also times place.Audio's chunks against the frames, for the interleave. Reads in
// large blocks: a stream with a read cache in front costs a read for "idx1"'s header and one per 8
// MiB of index.
Rates RatesFromIndex(TStream64& file, const IndexPlace& place, double fps);

// Over the chunk sizes of the frames read, with From FramesRead (or as given).
Rates RatesFromFrames(const std::vector<std::uint32_t>& chunkSizes, double fps,
                      BitrateSource from = BitrateSource::FramesRead);

// The index, else the chunk sizes: from the first frames (FramesRead), from a walk of every
// chunk (Chunks), or none, MoviDamaged set, when damage stopped that walk.
Rates StreamRates(TStream64& file, const IndexPlace& place,
                  const std::vector<std::uint32_t>& chunkSizes, std::optional<double> fps,
                  video::MoviReach walked = video::MoviReach::FirstFrames);

} // namespace vidtag::check
