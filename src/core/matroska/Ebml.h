#pragma once

#include "streams/Stream64.h"

#include <cstdint>
#include <string>

// The element layer of Matroska files: every element is a variable-length id, a variable-length
// size and its data. Nothing here trusts a size: an element is only ever read within the span
// its caller gives, and that span never reaches past the file.
namespace vidtag::mkv {

// Ids of the elements the reader looks at, with their length marker bits kept.
constexpr std::uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr std::uint32_t kDocTypeId = 0x4282;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kSeekHeadId = 0x114D9B74;
constexpr std::uint32_t kSeekId = 0x4DBB;
constexpr std::uint32_t kSeekIdId = 0x53AB;
constexpr std::uint32_t kSeekPositionId = 0x53AC;
constexpr std::uint32_t kInfoId = 0x1549A966;
constexpr std::uint32_t kTimestampScaleId = 0x2AD7B1;
constexpr std::uint32_t kTracksId = 0x1654AE6B;
constexpr std::uint32_t kTrackEntryId = 0xAE;
constexpr std::uint32_t kTrackNumberId = 0xD7;
constexpr std::uint32_t kTrackTypeId = 0x83;
constexpr std::uint32_t kFlagEnabledId = 0xB9;
constexpr std::uint32_t kFlagDefaultId = 0x88;
constexpr std::uint32_t kCodecIdId = 0x86;
constexpr std::uint32_t kCodecPrivateId = 0x63A2;
constexpr std::uint32_t kDefaultDurationId = 0x23E383;
constexpr std::uint32_t kVideoId = 0xE0;
constexpr std::uint32_t kPixelWidthId = 0xB0;
constexpr std::uint32_t kPixelHeightId = 0xBA;
constexpr std::uint32_t kContentEncodingsId = 0x6D80;
constexpr std::uint32_t kContentEncodingId = 0x6240;
constexpr std::uint32_t kContentEncodingScopeId = 0x5032;
constexpr std::uint32_t kContentEncodingTypeId = 0x5033;
constexpr std::uint32_t kContentCompressionId = 0x5034;
constexpr std::uint32_t kContentCompAlgoId = 0x4254;
constexpr std::uint32_t kContentCompSettingsId = 0x4255;
constexpr std::uint32_t kClusterId = 0x1F43B675;
constexpr std::uint32_t kClusterTimestampId = 0xE7;
constexpr std::uint32_t kSimpleBlockId = 0xA3;
constexpr std::uint32_t kBlockGroupId = 0xA0;
constexpr std::uint32_t kBlockId = 0xA1;
constexpr std::uint32_t kCuesId = 0x1C53BB6B;
constexpr std::uint32_t kChaptersId = 0x1043A770;
constexpr std::uint32_t kTagsId = 0x1254C367;
constexpr std::uint32_t kAttachmentsId = 0x1941A469;
constexpr std::uint32_t kVoidId = 0xEC;
constexpr std::uint32_t kCrc32Id = 0xBF;

// One element's header, where it lies, and where its data ends. An element of unknown size (a
// live recording's Segment or Cluster) reaches to the end of the span it was found in; the
// caller decides whether it may have one.
struct Element {
    std::uint32_t Id = 0;
    std::int64_t Pos = 0;     // of the id
    std::int64_t DataPos = 0; // of the first data byte
    std::int64_t End = 0;     // one past the last data byte
    bool UnknownSize = false;
};

// Why a header did not read.
enum class HeaderFault : std::uint8_t {
    None,
    BadId,      // the first byte marks no length of 1 to 4 bytes
    BadSize,    // the size's first byte is 0: no length of 1 to 8 bytes
    Cut,        // the header runs past the span or the file
    PastParent, // the size reaches past the span it lies in
};

// Reads a stream in small, counted reads; every read stays before Limit (the file's size).
class Reader {
  public:
    Reader(TStream64& stream, std::int64_t limit) : stream_(stream), limit_(limit) {}

    std::int64_t Limit() const { return limit_; }
    // Bytes read so far, headers and values alike.
    std::int64_t BytesRead() const { return bytesRead_; }
    std::int64_t Reads() const { return reads_; }

    // Reads exactly count bytes at pos, none of them at or past end; false otherwise.
    bool ReadAt(std::int64_t pos, std::int64_t end, void* buffer, std::int64_t count);

    // The element header at pos, which must lie with its data before end. An unknown size gives
    // End = end.
    HeaderFault ReadHeader(std::int64_t pos, std::int64_t end, Element& element);

    // An unsigned integer of 0 to 8 bytes; false for a longer one.
    bool ReadUnsigned(const Element& element, std::uint64_t& value);
    // A string of at most maxBytes, cut at its first NUL; false for a longer one.
    bool ReadString(const Element& element, std::size_t maxBytes, std::string& value);

  private:
    TStream64& stream_;
    std::int64_t limit_;
    std::int64_t bytesRead_ = 0;
    std::int64_t reads_ = 0;
};

// The length in bytes of an id from its first byte (1 to 4), or 0 when it marks none.
int IdLength(std::uint8_t first);
// The length in bytes of a size from its first byte (1 to 8), or 0 for the byte 0.
int SizeLength(std::uint8_t first);

} // namespace vidtag::mkv
