#pragma once

#include "streams/Stream64.h"
#include "video/StreamReader.h"

#include <cstdint>

namespace vidtag::video {

// What the walk through the movie data may cost. A "movi" of zeros or of audio alone ends at
// the chunk or byte limit after a few reads.
constexpr std::uint32_t kMaxVideoChunks = 32;           // video chunks with data
constexpr std::int64_t kMaxVideoBytes = 1024 * 1024;    // video data handed to the reader
constexpr std::int64_t kMaxMoviBytes = 4 * 1024 * 1024; // of the list walked, whatever it holds
constexpr std::uint32_t kMaxMoviChunks = 4096;          // chunks walked, whatever they hold

// The data of a "movi" list: just after its list type, and the size without it.
struct MoviSpan {
    std::int64_t DataPos = 0;
    std::int64_t DataSize = 0;
};

// Whether a chunk id names a frame of the stream with this number: "NNdc" or "NNdb", NN its two
// decimal digits. Streams past 99 have no such ids.
bool IsVideoChunk(std::uint32_t id, int streamNumber) noexcept;

// Hands the stream's first frames in the list to the reader, in file order, entering "rec "
// lists and skipping every other chunk. Ends at the budget above, at the end of the list, or at
// the first chunk whose size runs past the list or the file; what was handed over stays.
// Reads through the stream in windows of a little over kMaxVideoBytes, so that on a cached file
// stream it costs a seek and a read or two. Throws only what allocating a window throws.
void ReadMoviFrames(TStream64& stream, const MoviSpan& movi, int streamNumber,
                    StreamReader& reader);

} // namespace vidtag::video
