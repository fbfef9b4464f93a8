#include "video/AviStreamFacts.h"

#include "riff/ChunkIds.h"
#include "video/MoviFrames.h"
#include "video/StreamReader.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace vidtag::video {

namespace {

constexpr std::int64_t kBitmapHeaderBytes = 40;
// Fields of the stream header and the bitmap header.
constexpr std::size_t kScaleOffset = 20;
constexpr std::size_t kRateOffset = 24;
constexpr std::size_t kLengthOffset = 32;
constexpr std::size_t kWidthOffset = 4;
constexpr std::size_t kHeightOffset = 8;

void TakeFormatExtra(const TVmAVIFileReader& reader, TStream64& stream, StreamReader& facts) {
    const std::int64_t pos = reader.VideoFormatPos + kBitmapHeaderBytes;
    const std::int64_t size = std::min({reader.VideoFormatSize - kBitmapHeaderBytes,
                                        kMaxFormatExtraBytes, stream.GetSize() - pos});
    if (reader.VideoFormatPos <= 0 || size <= 0 || stream.Seek(pos, 0) != pos) {
        return;
    }
    std::vector<std::uint8_t> extra(static_cast<std::size_t>(size));
    const std::int64_t got = std::clamp<std::int64_t>(stream.Read(extra.data(), size), 0, size);
    facts.TakeFormatExtra(extra.data(), static_cast<std::size_t>(got));
}

void TakeFrames(const TVmAVIFileReader& reader, TStream64& stream, StreamReader& facts,
                WholeWalk* whole) {
    const std::int32_t movi = reader.MoviList();
    if (movi == kNoNode || reader.VideoStreamNumber < 0) {
        if (whole != nullptr) {
            whole->Complete = false;
        }
        return;
    }
    ReadMoviFrames(stream, MoviSpan{reader.GetDataPos(movi), reader.GetDataSize(movi)},
                   reader.VideoStreamNumber, facts, whole);
    const std::int32_t riff = reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    if (whole == nullptr || riff == kNoNode) {
        return;
    }
    for (const MoviSpan& part :
         FurtherMoviLists(stream, reader.GetDataPos(riff) + reader.GetDataSize(riff))) {
        ReadMoviFrames(stream, part, reader.VideoStreamNumber, facts, whole);
    }
}

// The whole walk's sizes replace the first frames' ones. Packing shows in the first bytes as
// the placeholders it leaves, in a stream that has B-VOPs to pack.
void TakeWholeWalk(WholeWalk& whole, StreamFacts& facts) {
    facts.Walked = whole.Complete ? MoviReach::Whole : MoviReach::Broken;
    facts.ChunkSizes = std::move(whole.ChunkSizes);
    if (whole.Placeholders > 0 && facts.Vops.B > 0) {
        facts.Packed = true;
    }
}

// dwMicroSecPerFrame of the main header; 0 when there is none or it cannot be read.
std::uint32_t MicrosecondsPerFrame(const TVmAVIFileReader& reader, TStream64& stream) {
    const std::int32_t riff = reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    const std::int32_t hdrl =
        riff == kNoNode ? kNoNode : reader.FindList(riff, FCC("LIST"), FCC("hdrl"));
    const std::int32_t avih = hdrl == kNoNode ? kNoNode : reader.FindChild(hdrl, FCC("avih"));
    if (avih == kNoNode || reader.GetDataSize(avih) < 4) {
        return 0;
    }
    const std::int64_t pos = reader.GetDataPos(avih);
    std::uint8_t bytes[4] = {};
    if (stream.Seek(pos, 0) != pos || stream.Read(bytes, 4) != 4) {
        return 0;
    }
    return riff::Load32(bytes);
}

// What the AVI headers say, where the stream's own headers are silent. The frame rate comes from
// the stream header, else, as FFmpeg takes it, from the main header's time per frame.
void TakeAviHeaders(const TVmAVIFileReader& reader, TStream64& stream, StreamFacts& facts) {
    if (reader.VideoStreamNumber >= 0) {
        const std::uint8_t* header = reader.VideoStreamHeader.data();
        const std::uint32_t scale = riff::Load32(header + kScaleOffset);
        const std::uint32_t rate = riff::Load32(header + kRateOffset);
        if (scale != 0 && rate != 0) {
            facts.Fps = static_cast<double>(rate) / scale;
        }
        facts.Frames = riff::Load32(header + kLengthOffset);
    }
    if (!facts.Fps) {
        if (const std::uint32_t perFrame = MicrosecondsPerFrame(reader, stream); perFrame != 0) {
            facts.Fps = 1000000.0 / perFrame;
        }
    }
    if (reader.VideoFormatPos <= 0) {
        return;
    }
    // A bottom-up bitmap has a positive height, a top-down one a negative height.
    const std::uint8_t* format = reader.VideoFormat.data();
    const std::int64_t height = static_cast<std::int32_t>(riff::Load32(format + kHeightOffset));
    if (!facts.Width) {
        facts.Width = riff::Load32(format + kWidthOffset);
    }
    if (!facts.Height) {
        facts.Height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    }
}

} // namespace

StreamFacts ReadStreamFacts(const TVmAVIFileReader& reader, TStream64& stream,
                            bool wholeStream) noexcept {
    StreamReader facts;
    WholeWalk whole;
    try {
        TakeFormatExtra(reader, stream, facts);
        TakeFrames(reader, stream, facts, wholeStream ? &whole : nullptr);
    } catch (...) {
        // Only allocating a buffer can fail; the facts gathered before it stand.
        whole.Complete = false;
    }
    StreamFacts result;
    try {
        result = facts.Facts();
    } catch (...) {
        return {};
    }
    if (wholeStream) {
        TakeWholeWalk(whole, result);
    }
    try {
        TakeAviHeaders(reader, stream, result);
    } catch (...) {
        // A read of the main header failed: the facts stand without its frame rate.
    }
    facts.SettleMsVersions(result);
    return result;
}

} // namespace vidtag::video
