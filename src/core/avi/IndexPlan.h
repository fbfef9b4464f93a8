#pragma once

#include "streams/Stream64.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The plan of an index rebuild for an AVI file of one RIFF whose movie list was cut short or
// whose idx1 is missing, cut or short: which header fields change, and what is appended. Only
// the chunk headers and the first bytes of every video chunk are read.
namespace vidtag::avi {

// Why no index is planned.
enum class IndexRefusal : std::uint8_t {
    None = 0,
    Healthy = 1,      // the idx1 is whole, covers the movie data and is flagged: nothing to do
    NotAvi = 2,       // no RIFF AVI header
    OpenDml = 3,      // an AVIX part, a super index or a standard index: OpenDML's own indexes
    NoMovieList = 4,  // cut inside its headers: no movie list, or the header list runs past
    NoVideoChunk = 5, // not one complete chunk of the video stream
    DamagedList = 6,  // a chunk runs past the end the movie list declares, inside the file
    ReadFailed = 7,   // the file could not be read
};

// The fields the rebuild sets, each for a reason a player has.
enum class IndexField : std::uint8_t {
    RiffSize = 1,     // the RIFF's size: the file's length less 8
    MoviSize = 2,     // the movie list's size: up to the end of its last chunk
    IndexFlag = 3,    // avih's AVIF_HASINDEX
    TotalFrames = 4,  // avih's total frames: the video frames present
    StreamLength = 5, // the video stream header's length: the video frames present
    OdmlFrames = 6,   // dmlh's total frames: the video frames present
    CutChunk = 7,     // the cut chunk's header, now that of a JUNK chunk holding its bytes
    OldIndex = 8,     // a cut or short idx1's header, now that of a JUNK chunk
};

const char* IndexFieldName(IndexField field) noexcept;

// Bytes within the file's length that the rebuild changes, and what they were.
struct FieldChange {
    IndexField Field = IndexField::RiffSize;
    std::int64_t Pos = 0;
    std::string Before;
    std::string After;
};

struct IndexPlan {
    IndexRefusal Refused = IndexRefusal::None;
    std::int64_t Length = 0;    // the file's length before
    std::int64_t NewLength = 0; // and after: Length plus Tail
    std::vector<FieldChange> Changes;
    // Appended at Length: the bytes that complete a cut chunk header or a pad byte, then idx1.
    std::string Tail;
    std::uint32_t Entries = 0;     // the new idx1's entries: the complete chunks
    std::uint32_t VideoFrames = 0; // of them, of the video stream
    std::uint32_t KeyFrames = 0;   // of those, intra
    // Bytes of the movie data that no complete chunk holds (the cut chunk's, now JUNK).
    std::int64_t CutBytes = 0;
    bool MoviCut = false;  // the movie list ran past the end of the file
    bool HadIndex = false; // an idx1 was found (cut, short or whole)
};

// Whether a video frame starting with these bytes is a key frame.
using KeyFrameTest = bool (*)(const std::uint8_t* data, std::size_t size) noexcept;

// How many of a video chunk's first bytes the key frame test is given.
constexpr std::size_t kKeyBytes = 256;

// Plans the rebuild of the open file. Throws only what allocating throws.
IndexPlan PlanIndex(TStream64& file, KeyFrameTest isKey);

} // namespace vidtag::avi
