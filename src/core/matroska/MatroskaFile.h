#pragma once

#include "codecs/FourCC.h"
#include "streams/Stream64.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vidtag::mkv {

// What a header walk may cost, whatever the file's size: the elements of each list it looks at
// and the bytes it reads. The walk never recurses by what the file says: it looks only at the
// EBML header, the Segment, its SeekHead, Info and Tracks, a TrackEntry, its Video and
// ContentEncodings, six levels at most. The SeekHead's listing has a budget of its own, so that
// a SeekHead that lists every Cluster does not use up the headers' budget.
constexpr int kMaxTopLevelElements = 4096;
constexpr int kMaxTrackElements = 4096;
constexpr std::int64_t kMaxHeaderBytes = 64 * 1024;
constexpr std::int64_t kMaxIndexBytes = 256 * 1024;

enum class Outcome : std::uint8_t {
    Read,         // a video track was found; see WriteRefusal for whether its code can change
    NotMatroska,  // no EBML header at the start
    OtherDocType, // an EBML file of another type (WebM among them)
    Damaged,      // the headers do not parse up to the video track
    NoVideoTrack, // Tracks hold no video track
};

struct VideoTrack {
    std::int64_t EntryPos = 0; // of the TrackEntry's id
    std::uint64_t Number = 0;
    bool Enabled = true;
    bool Default = true;
    std::string CodecId;
    std::int64_t PrivatePos = 0; // of CodecPrivate's data; 0 when the track has none
    std::int64_t PrivateSize = 0;
    std::uint64_t DefaultDuration = 0; // nanoseconds per frame; 0 when not given
    std::uint64_t Width = 0;
    std::uint64_t Height = 0;
    bool CoveredByCrc = false; // a CRC-32 in the Segment, Tracks or the TrackEntry
    // ContentEncodings: one whose scope takes in CodecPrivate stores it changed; one over the
    // frames alone leaves CodecPrivate as it is.
    bool PrivateEncoded = false;
    // Header removal over the frames: the bytes every stored frame lost from its start.
    std::vector<std::uint8_t> FramePrefix;
    // How the frames are stored when no reader here can undo it; empty when they read as stored
    // (after FramePrefix).
    std::string FramesEncoded;
    // The track's place among the video streams that FFmpeg lists: the video tracks before it
    // whose CodecID starts with "V".
    int VideoIndex = 0;
};

struct MatroskaFile {
    Outcome Result = Outcome::NotMatroska;
    std::string Reason; // why Result is not Read
    std::string DocType;
    VideoTrack Video;
    int VideoTracks = 0;
    std::string Choice; // which video track was taken and why, when there are several
    // The compression code of a "V_MS/VFW/FOURCC" track: its CodecPrivate is a bitmap header.
    FourCC Compression = 0;
    std::int64_t CompressionPos = 0; // 0 when the track has no code that can change
    std::string WriteRefusal;        // why nothing may be written; empty when the code may change
    std::int64_t SegmentDataPos = 0;
    std::int64_t SegmentEnd = 0;
    std::int64_t FirstClusterPos = 0; // 0 when none was met
    std::int64_t TracksDataPos = 0;   // the Tracks read; 0 and 0 when none was
    std::int64_t TracksEnd = 0;
    std::uint64_t TimestampScale = 1000000;
    std::int64_t HeaderReads = 0;
    std::int64_t HeaderBytes = 0;
};

// The CodecID of a track whose CodecPrivate is a bitmap header, as an AVI file's "strf" is.
constexpr const char* kVfwCodecId = "V_MS/VFW/FOURCC";
constexpr std::int64_t kCompressionOffset = 16;

// Whether the stream starts with the EBML header's id. Leaves the stream at its start.
bool HasMatroskaSignature(TStream64& stream);

// Walks the headers up to the video track and says where its code lies. Reads only within the
// stream's size; throws only what allocation throws.
MatroskaFile ReadMatroska(TStream64& stream);

} // namespace vidtag::mkv
