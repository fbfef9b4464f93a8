#pragma once

#include "matroska/MatroskaFile.h"
#include "streams/Stream64.h"
#include "video/StreamFacts.h"

#include <string>

namespace vidtag::video {

// What the video track of a read Matroska file holds: its CodecPrivate's extra bytes (after the
// bitmap header of a VfW track, the whole of it otherwise) and its first frames, from the
// SimpleBlocks and BlockGroups of the first Clusters, within the same budget as an AVI file's
// "movi" walk. Fps comes from the track's default duration, the size from its Video element
// when the stream's own headers give none. Frames whose header bytes were removed get them back;
// frames stored otherwise (compressed, encrypted) are not read, and a laced block ends the walk:
// FramesNote says so. The label's family is left to the caller. Never throws.
StreamFacts ReadMatroskaFacts(const mkv::MatroskaFile& file, TStream64& stream) noexcept;

} // namespace vidtag::video
