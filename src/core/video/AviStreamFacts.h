#pragma once

#include "avi/VmAVIFile.h"
#include "streams/Stream64.h"
#include "video/StreamFacts.h"

namespace vidtag::video {

// At most this many of the format's bytes after its 40-byte bitmap header are read.
constexpr std::int64_t kMaxFormatExtraBytes = 64 * 1024;

// What the video stream that gave a scanned file its codes holds: its format's extra bytes and
// its first frames, as ReadMoviFrames finds them, with fps and frames from its stream header and
// the size from its format when the stream's own headers give none. The label's family is left
// to the caller (FamilyMismatch stays false). Reads through the stream the reader scanned; what
// could not be read or allocated stays absent. Never throws.
//
// With wholeStream, the walk goes on through every "movi" list of the file, the further parts'
// included, and reads the first bytes of every video chunk (see ReadMoviFrames): the VOP
// counts, B-frame runs and packing are then the whole stream's, and Walked says so.
StreamFacts ReadStreamFacts(const TVmAVIFileReader& reader, TStream64& stream,
                            bool wholeStream = false) noexcept;

} // namespace vidtag::video
