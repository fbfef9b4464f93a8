#pragma once

#include "streams/Stream64.h"
#include "video/StreamReader.h"

#include <cstdint>
#include <vector>

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

// Of every frame after the first ones, a whole-stream walk hands over this much: room for the
// headers a keyframe repeats (VOS, VOL, user data, GOV) in front of its VOP header.
constexpr std::int64_t kFirstBytes = 1024;
// A whole-stream walk keeps at most this many chunk sizes (a week of frames at 25 fps); a
// stream of more frames is not walked to its end.
constexpr std::size_t kMaxWholeChunks = std::size_t{1} << 24;

// What a walk over every video chunk of the stream found, across the lists walked.
struct WholeWalk {
    // Every list walked was walked to its end: a chunk running past it, or an id of
    // unprintable bytes (damage), leaves it false.
    bool Complete = true;
    std::vector<std::uint32_t> ChunkSizes; // every video chunk's size, in file order
    // Chunks holding only uncoded VOPs right after a chunk of P- or S-VOPs: the placeholders a
    // packed stream leaves where the frames it packed into the chunk before were.
    std::uint64_t Placeholders = 0;
    bool LastForward = false; // the last video chunk with data held P- or S-VOPs only
};

// Whether a chunk id names a frame of the stream with this number: "NNdc" or "NNdb", NN its two
// decimal digits. Streams past 99 have no such ids.
bool IsVideoChunk(std::uint32_t id, int streamNumber) noexcept;

// Hands the stream's first frames in the list to the reader, in file order, entering "rec "
// lists and skipping every other chunk. Ends at the budget above, at the end of the list, or at
// the first chunk whose size runs past the list or the file; what was handed over stays.
// Reads through the stream in windows of a little over kMaxVideoBytes, so that on a cached file
// stream it costs a seek and a read or two. Throws only what allocating a window throws.
//
// Given a WholeWalk, it walks on to the end of the list whatever the budget: the frames within
// the budget are handed over whole, every later one only its first kFirstBytes, and the
// walk's findings are added to whole. It then reads in blocks of 128 KiB and skips what lies
// beyond the next chunk header.
void ReadMoviFrames(TStream64& stream, const MoviSpan& movi, int streamNumber, StreamReader& reader,
                    WholeWalk* whole = nullptr);

// The "movi" lists of the parts that follow the first (each a "RIFF" "AVIX" holding one), in
// file order, from the first byte after the first part. Reads a few headers per part.
std::vector<MoviSpan> FurtherMoviLists(TStream64& stream, std::int64_t firstPartEnd);

} // namespace vidtag::video
