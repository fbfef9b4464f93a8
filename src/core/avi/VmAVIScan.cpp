// The structure scan and the interpretation of the stream headers it finds.

#include "avi/VmAVIFile.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vidtag {

namespace {

constexpr std::size_t kParentStackStep = 512;

// The walk leaves the parent of a list on this stack while inside it; popping past the bottom
// always means the top level, so a damaged file that leaves more lists than it entered cannot
// read beneath it.
class ParentStack {
  public:
    ParentStack() {
        entries_.reserve(kParentStackStep);
        entries_.push_back(kNoNode); // the bottom mark
    }

    // Grows as the vector grows, by a share of what it holds: growing by a fixed step copied the
    // whole stack at every step, so that a damaged file nesting lists a few million deep spent
    // seconds copying it.
    void Push(std::int32_t parent) { entries_.push_back(parent); }

    std::int32_t Pop() {
        if (entries_.empty()) {
            return kNoNode;
        }
        const std::int32_t top = entries_.back();
        entries_.pop_back();
        return entries_.empty() ? kNoNode : top;
    }

  private:
    std::vector<std::int32_t> entries_;
};

// Reads up to a record's size of a chunk's data at `pos` into a zeroed record and says how many
// bytes really arrived.
template <std::size_t N>
std::int64_t ReadRecord(TStream64& stream, std::int64_t pos, std::int64_t size,
                        std::array<std::uint8_t, N>& record) {
    record.fill(0);
    const std::int64_t wanted = std::clamp<std::int64_t>(size, 0, static_cast<std::int64_t>(N));
    if (pos < 0 || wanted == 0) {
        return 0;
    }
    stream.Seek(pos, 0);
    return std::clamp<std::int64_t>(stream.Read(record.data(), wanted), 0, wanted);
}

} // namespace

void TVmAVIFileReader::ReadStreamHeaders() {
    if (HeadersRead || !RiffStream || RiffStream->Stream == nullptr) {
        return;
    }
    TStream64& stream = *RiffStream->Stream;
    const std::int32_t riff = FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    if (riff == kNoNode) {
        return;
    }
    const std::int32_t hdrl = FindList(riff, FCC("LIST"), FCC("hdrl"));
    if (hdrl == kNoNode) {
        return;
    }
    const std::int64_t resumeAt = stream.GetPosition();

    std::int32_t streamNumber = 0;
    for (std::int32_t s = FindList(hdrl, FCC("LIST"), FCC("strl")); s != kNoNode;
         s = FindNextList(s, FCC("LIST"), FCC("strl")), ++streamNumber) {
        FourCC streamType = 0;
        const std::int32_t h = FindChild(s, FCC("strh"));
        if (h != kNoNode) {
            StreamHeaderRecord header;
            const std::int64_t p = GetDataPos(h);
            const std::int64_t got = ReadRecord(stream, p, GetDataSize(h), header);
            streamType = static_cast<FourCC>(header[0]) | static_cast<FourCC>(header[1]) << 8 |
                         static_cast<FourCC>(header[2]) << 16 |
                         static_cast<FourCC>(header[3]) << 24;
            // The engine writes the handler code at the recorded position + 4: a header whose
            // handler field is cut off by its chunk or by the end of the file would have it
            // write into whatever follows, so such a header records no position. It still
            // replaces the earlier video stream's header, or that stream's handler would be
            // paired with this stream's format, and a conversion would write into both.
            if (streamType == FCC("vids")) {
                VideoStreamHeader = header;
                VideoHeaderPos = got >= kHandlerOffset + 4 ? p : 0;
                VideoStreamNumber = streamNumber;
            }
        }
        const std::int32_t f = FindChild(s, FCC("strf"));
        if (f != kNoNode && streamType == FCC("vids")) {
            BitmapInfoRecord format;
            const std::int64_t q = GetDataPos(f);
            const std::int64_t got = ReadRecord(stream, q, GetDataSize(f), format);
            // Likewise for the compression code at + 16; the record and its position are taken
            // together so that they always describe the same chunk.
            if (got >= kCompressionOffset + 4) {
                VideoFormat = format;
                VideoFormatPos = q;
                VideoFormatSize = GetDataSize(f);
            }
        }
    }
    stream.SetPosition(resumeAt);
    HeadersRead = true;
}

std::int32_t TVmAVIFileReader::MoviList() const {
    const std::int32_t riff = FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    return riff == kNoNode ? kNoNode : FindList(riff, FCC("LIST"), FCC("movi"));
}

void TVmAVIFileReader::Scan() {
    if (!RiffStream) {
        return;
    }
    TVMRIFFStream& riffStream = *RiffStream;
    HeadersRead = false;
    Clear();
    if (riffStream.Stream == nullptr) {
        return;
    }
    TStream64& stream = *riffStream.Stream;
    stream.Seek(0, 0);
    riffStream.Reset();
    if (!riffStream.Descend() || riffStream.ChunkId != FCC("RIFF")) {
        return;
    }
    riffStream.StreamCount = 0;
    std::int32_t parent = AddNode(kNoNode, riffStream.ChunkId, riffStream.ListType,
                                  stream.GetPosition(), riffStream.ChunkSize);
    // The first top-level "AVI " part, kept as parts are added: searching the top level for it
    // at every index chunk made a file of many index chunks and no such part quadratic.
    std::int32_t aviPart = riffStream.ListType == FCC("AVI ") ? parent : kNoNode;
    ParentStack parents;

    while (!riffStream.AtEnd) {
        if (riffStream.ChunkDone) {
            riffStream.Ascend();
            parent = parents.Pop();
            continue;
        }
        if (!riffStream.Descend()) {
            continue;
        }
        const FourCC id = riffStream.ChunkId;
        const std::int64_t dataPos = stream.GetPosition();
        if (id == FCC("RIFF")) {
            parent = AddNode(kNoNode, id, riffStream.ListType, dataPos, riffStream.ChunkSize);
            if (aviPart == kNoNode && riffStream.ListType == FCC("AVI ")) {
                aviPart = parent;
            }
        } else if (id == FCC("idx1")) {
            // It goes under the last node of the top-level chain, which runs through the "AVI "
            // part. Without such a part the index has no part to belong to; it stays at the top
            // level, where the walk found it.
            const std::int32_t last = aviPart != kNoNode ? LastTopNode : kNoNode;
            parent = AddNode(last, id, riffStream.ListType, dataPos, riffStream.ChunkSize);
            riffStream.Ascend();
        } else if (id == FCC("LIST")) {
            parents.Push(parent);
            parent = AddNode(parent, id, riffStream.ListType, dataPos, riffStream.ChunkSize);
        } else {
            AddNode(parent, id, riffStream.ListType, dataPos, riffStream.ChunkSize);
            if (!HeadersRead && id == FCC("strh")) {
                ++riffStream.StreamCount;
            }
            riffStream.Ascend();
            continue;
        }

        if (riffStream.ChunkId == FCC("LIST") && riffStream.ListType == FCC("movi")) {
            ReadStreamHeaders();
            riffStream.Ascend();
            break;
        }
        // A "RIFF" with its data past byte 12 is a further part, or the part an index directly
        // inside it ends. Only the file's own header has its data at 12, and no scan of the
        // walk starts early enough to enter it again: the test is kept for a stream that would.
        if (riffStream.ChunkId == FCC("RIFF") && stream.GetPosition() > 12) {
            riffStream.Ascend();
            break;
        }
    }
    ReadStreamHeaders();
}

} // namespace vidtag
