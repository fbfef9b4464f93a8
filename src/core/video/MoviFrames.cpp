#include "video/MoviFrames.h"

#include <algorithm>
#include <vector>

namespace vidtag::video {

namespace {

constexpr std::uint32_t Code(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

constexpr std::uint32_t kList = Code('L', 'I', 'S', 'T');
constexpr std::uint32_t kRec = Code('r', 'e', 'c', ' ');
constexpr std::int64_t kHeaderBytes = 8;
// Room for every chunk header the walk can meet beside the video data it may take.
constexpr std::int64_t kWindowBytes = kMaxVideoBytes + kMaxMoviChunks * kHeaderBytes;

std::uint32_t Le32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The part of the list last read, refilled from wherever the walk needs bytes it does not hold.
class Window {
  public:
    Window(TStream64& stream, std::int64_t end) : stream_(stream), end_(end) {}

    // Whether the bytes [pos, pos + count) are held, reading them when they are not.
    bool Hold(std::int64_t pos, std::int64_t count) {
        if (pos >= start_ && pos + count <= start_ + length_) {
            return true;
        }
        const std::int64_t wanted = std::min(kWindowBytes, end_ - pos);
        if (count > wanted) {
            return false;
        }
        if (static_cast<std::int64_t>(bytes_.size()) < wanted) {
            bytes_.resize(static_cast<std::size_t>(wanted));
        }
        start_ = pos;
        length_ = 0;
        if (stream_.Seek(pos, 0) == pos) {
            length_ = std::clamp<std::int64_t>(stream_.Read(bytes_.data(), wanted), 0, wanted);
        }
        return count <= length_;
    }

    const std::uint8_t* At(std::int64_t pos) const { return bytes_.data() + (pos - start_); }

  private:
    TStream64& stream_;
    std::int64_t end_;
    std::vector<std::uint8_t> bytes_;
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
};

struct Walk {
    std::int64_t Pos = 0;
    std::uint32_t Chunks = 0;
    std::uint32_t VideoChunks = 0;
    std::int64_t VideoBytes = 0;
};

bool WithinBudget(const Walk& walk, const MoviSpan& movi) {
    return walk.Chunks < kMaxMoviChunks && walk.Pos - movi.DataPos < kMaxMoviBytes &&
           walk.VideoChunks < kMaxVideoChunks && walk.VideoBytes < kMaxVideoBytes;
}

} // namespace

bool IsVideoChunk(std::uint32_t id, int streamNumber) noexcept {
    if (streamNumber < 0 || streamNumber > 99) {
        return false;
    }
    const char tens = static_cast<char>('0' + streamNumber / 10);
    const char units = static_cast<char>('0' + streamNumber % 10);
    return id == Code(tens, units, 'd', 'c') || id == Code(tens, units, 'd', 'b');
}

void ReadMoviFrames(TStream64& stream, const MoviSpan& movi, int streamNumber,
                    StreamReader& reader) {
    const std::int64_t end = std::min(movi.DataPos + movi.DataSize, stream.GetSize());
    Window window(stream, end);
    Walk walk;
    walk.Pos = movi.DataPos;
    while (walk.Pos + kHeaderBytes <= end && WithinBudget(walk, movi) &&
           window.Hold(walk.Pos, kHeaderBytes)) {
        const std::uint32_t id = Le32(window.At(walk.Pos));
        const std::int64_t size = Le32(window.At(walk.Pos + 4));
        const std::int64_t data = walk.Pos + kHeaderBytes;
        ++walk.Chunks;
        if (data + size > end) {
            break;
        }
        if (id == kList && size >= 4 && window.Hold(data, 4) && Le32(window.At(data)) == kRec) {
            walk.Pos = data + 4; // its chunks follow, and count against the list's end
            continue;
        }
        if (IsVideoChunk(id, streamNumber)) {
            if (size == 0) {
                reader.TakeDroppedFrame();
            } else {
                const std::int64_t taken = std::min(size, kMaxVideoBytes - walk.VideoBytes);
                if (!window.Hold(data, taken)) {
                    break;
                }
                reader.TakeChunk(window.At(data), static_cast<std::size_t>(taken),
                                 static_cast<std::size_t>(size));
                walk.VideoBytes += taken;
                ++walk.VideoChunks;
            }
        }
        walk.Pos = data + size + (size & 1);
    }
}

} // namespace vidtag::video
