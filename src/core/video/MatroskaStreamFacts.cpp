#include "video/MatroskaStreamFacts.h"

#include "matroska/Ebml.h"
#include "video/AviStreamFacts.h"
#include "video/MoviFrames.h"
#include "video/StreamReader.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace vidtag::video {

namespace {

constexpr std::int64_t kBitmapHeaderBytes = 40;
constexpr std::uint8_t kLacingBits = 0x06;
constexpr double kNanoseconds = 1e9;

void TakePrivate(const mkv::MatroskaFile& file, mkv::Reader& reader, StreamReader& facts) {
    const mkv::VideoTrack& track = file.Video;
    const std::int64_t skip = track.CodecId == mkv::kVfwCodecId ? kBitmapHeaderBytes : 0;
    const std::int64_t size = std::min(track.PrivateSize - skip, kMaxFormatExtraBytes);
    if (track.PrivatePos <= 0 || size <= 0 || track.PrivateEncoded) {
        return;
    }
    std::vector<std::uint8_t> extra(static_cast<std::size_t>(size));
    const std::int64_t from = track.PrivatePos + skip;
    if (reader.ReadAt(from, from + size, extra.data(), size)) {
        facts.TakeFormatExtra(extra.data(), extra.size());
    }
}

struct Budget {
    int Elements = 0;
    std::uint32_t Frames = 0;
    std::int64_t FrameBytes = 0;
    std::int64_t Walked = 0;

    bool Left() const {
        return Elements < static_cast<int>(kMaxMoviChunks) && Frames < kMaxVideoChunks &&
               FrameBytes < kMaxVideoBytes && Walked < kMaxMoviBytes;
    }
};

class BlockWalk {
  public:
    BlockWalk(const mkv::MatroskaFile& file, mkv::Reader& reader, StreamReader& facts,
              std::string& note)
        : file_(file), reader_(reader), facts_(facts), note_(note) {}

    // Walks the Segment's elements from the first Cluster on.
    void Run() {
        Walk();
        if (note_.empty() && budget_.Frames == 0 &&
            budget_.Elements >= static_cast<int>(kMaxMoviChunks)) {
            note_ = "the walk through the clusters ended after " + std::to_string(kMaxMoviChunks) +
                    " elements";
        }
    }

  private:
    void Walk() {
        std::int64_t pos = file_.FirstClusterPos;
        while (pos > 0 && pos < file_.SegmentEnd && budget_.Left() && note_.empty()) {
            mkv::Element element;
            if (reader_.ReadHeader(pos, file_.SegmentEnd, element) != mkv::HeaderFault::None) {
                return;
            }
            ++budget_.Elements;
            if (element.Id == mkv::kClusterId) {
                pos = Cluster(element);
            } else if (element.UnknownSize) {
                return;
            } else {
                pos = element.End;
            }
        }
    }

    // The end of the cluster: for an unknown size, where its children end.
    std::int64_t Cluster(const mkv::Element& cluster) {
        std::int64_t pos = cluster.DataPos;
        while (pos < cluster.End && budget_.Left() && note_.empty()) {
            mkv::Element child;
            if (reader_.ReadHeader(pos, cluster.End, child) != mkv::HeaderFault::None ||
                child.UnknownSize || child.Id == mkv::kClusterId) {
                return cluster.UnknownSize ? pos : cluster.End;
            }
            ++budget_.Elements;
            budget_.Walked += child.End - child.Pos;
            if (child.Id == mkv::kSimpleBlockId) {
                Block(child);
            } else if (child.Id == mkv::kBlockGroupId) {
                for (std::int64_t at = child.DataPos; at < child.End && budget_.Left();) {
                    mkv::Element inner;
                    if (reader_.ReadHeader(at, child.End, inner) != mkv::HeaderFault::None ||
                        inner.UnknownSize) {
                        break;
                    }
                    ++budget_.Elements;
                    if (inner.Id == mkv::kBlockId) {
                        Block(inner);
                    }
                    at = inner.End;
                }
            }
            pos = child.End;
        }
        return cluster.UnknownSize ? pos : cluster.End;
    }

    // A block: the track number (a variable-length number), a 2-byte timestamp, the flags, the
    // frame. Blocks of other tracks are passed over.
    void Block(const mkv::Element& block) {
        std::array<std::uint8_t, 11> head{};
        const std::int64_t size = block.End - block.DataPos;
        const std::int64_t want = std::min<std::int64_t>(head.size(), size);
        if (!reader_.ReadAt(block.DataPos, block.End, head.data(), want)) {
            return;
        }
        const int length = mkv::SizeLength(head[0]);
        if (length == 0 || length + 3 > want) {
            return;
        }
        std::uint64_t track = head[0] & (0xFFu >> length);
        for (int i = 1; i < length; ++i) {
            track = track << 8 | head[static_cast<std::size_t>(i)];
        }
        if (track != file_.Video.Number) {
            return;
        }
        if ((head[static_cast<std::size_t>(length + 2)] & kLacingBits) != 0) {
            note_ = "the video track's blocks are laced";
            return;
        }
        const std::int64_t data = block.DataPos + length + 3;
        const std::int64_t stored = block.End - data;
        if (stored == 0) {
            facts_.TakeDroppedFrame();
            return;
        }
        // Header removal: the frame is the removed bytes, then what is stored.
        const std::vector<std::uint8_t>& prefix = file_.Video.FramePrefix;
        const auto removed = static_cast<std::int64_t>(prefix.size());
        const std::int64_t frame = removed + stored;
        const std::int64_t taken = std::min(frame, kMaxVideoBytes - budget_.FrameBytes);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(taken));
        const std::int64_t fromPrefix = std::min(removed, taken);
        std::copy_n(prefix.begin(), fromPrefix, bytes.begin());
        if (!reader_.ReadAt(data, block.End, bytes.data() + fromPrefix, taken - fromPrefix)) {
            return;
        }
        facts_.TakeChunk(bytes.data(), bytes.size(), static_cast<std::size_t>(frame));
        budget_.FrameBytes += taken;
        ++budget_.Frames;
    }

    const mkv::MatroskaFile& file_;
    mkv::Reader& reader_;
    StreamReader& facts_;
    std::string& note_;
    Budget budget_;
};

} // namespace

StreamFacts ReadMatroskaFacts(const mkv::MatroskaFile& file, TStream64& stream) noexcept {
    StreamReader facts;
    std::string note = file.Video.FramesEncoded;
    try {
        mkv::Reader reader(stream, stream.GetSize());
        TakePrivate(file, reader, facts);
        if (note.empty()) {
            BlockWalk(file, reader, facts, note).Run();
        }
    } catch (...) {
        // Out of memory: what was read stays.
    }
    StreamFacts out = facts.Facts();
    out.FramesNote = std::move(note);
    const mkv::VideoTrack& track = file.Video;
    if (track.DefaultDuration != 0) {
        out.Fps = kNanoseconds / static_cast<double>(track.DefaultDuration);
    }
    if (!out.Width && track.Width != 0 && track.Height != 0 && track.Width <= UINT32_MAX &&
        track.Height <= UINT32_MAX) {
        out.Width = static_cast<std::uint32_t>(track.Width);
        out.Height = static_cast<std::uint32_t>(track.Height);
    }
    facts.SettleMsVersions(out);
    return out;
}

} // namespace vidtag::video
