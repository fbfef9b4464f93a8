#include "video/MoviFrames.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <memory>
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
// What a whole-stream walk reads at a time: more than the read cache holds, so that it goes
// to the file in one call.
constexpr std::int64_t kWholeBlockBytes = 128 * 1024;
// A file has no more parts than this; each is a few header reads.
constexpr int kMaxParts = 4096;
constexpr int kMaxChunksBeforeMovi = 16;

// The part of the list last read, refilled from wherever the walk needs bytes it does not hold.
class Window {
  public:
    Window(TStream64& stream, std::int64_t end, std::int64_t block)
        : stream_(stream), end_(end), block_(block) {}

    // Whether the bytes [pos, pos + count) are held, reading them when they are not.
    bool Hold(std::int64_t pos, std::int64_t count) {
        if (pos >= start_ && pos + count <= start_ + length_) {
            return true;
        }
        const std::int64_t wanted = std::min(std::max(block_, count), end_ - pos);
        if (count > wanted) {
            return false;
        }
        // Left uninitialised: only what the read fills is looked at, and a whole walk makes a
        // window per file.
        if (capacity_ < wanted) {
            bytes_ =
                std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(wanted));
            capacity_ = wanted;
        }
        start_ = pos;
        length_ = 0;
        if (stream_.Seek(pos, 0) == pos) {
            length_ = std::clamp<std::int64_t>(stream_.Read(bytes_.get(), wanted), 0, wanted);
        }
        return count <= length_;
    }

    const std::uint8_t* At(std::int64_t pos) const { return bytes_.get() + (pos - start_); }

  private:
    TStream64& stream_;
    std::int64_t end_;
    std::int64_t block_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::int64_t capacity_ = 0;
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
};

struct Walk {
    std::int64_t Pos = 0;
    std::uint32_t Chunks = 0;
    std::uint32_t VideoChunks = 0;
    std::int64_t VideoBytes = 0;
};

bool WithinVideoBudget(const Walk& walk) {
    return walk.VideoChunks < kMaxVideoChunks && walk.VideoBytes < kMaxVideoBytes;
}

bool WithinBudget(const Walk& walk, const MoviSpan& movi) {
    return walk.Chunks < kMaxMoviChunks && walk.Pos - movi.DataPos < kMaxMoviBytes &&
           WithinVideoBudget(walk);
}

// RIFF ids are printed characters; anything else in a chunk header's place is damage.
bool PrintableId(std::uint32_t id) {
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

std::uint32_t CodedVops(const VopCounts& vops) {
    return vops.I + vops.P + vops.B + vops.S;
}

// Hands one video chunk's bytes to the reader, and notes in whole what its VOPs were. A packed
// chunk starts with the P- or S-VOP the B-VOPs after it refer to; once a stream is unpacked the
// placeholder follows a B-VOP, and a decoder's start-up delay follows the first I-VOP.
void TakeVideoChunk(const std::uint8_t* data, std::int64_t taken, std::int64_t size,
                    StreamReader& reader, WholeWalk* whole) {
    const VopCounts before = reader.Facts().Vops;
    reader.TakeChunk(data, static_cast<std::size_t>(taken), static_cast<std::size_t>(size));
    if (whole == nullptr) {
        return;
    }
    const VopCounts& after = reader.Facts().Vops;
    const bool coded = CodedVops(after) > CodedVops(before);
    if (!coded && after.N > before.N && whole->LastForward) {
        ++whole->Placeholders;
    }
    whole->LastForward = coded && after.I == before.I && after.B == before.B;
}

bool KeepSize(WholeWalk* whole, std::int64_t size) {
    if (whole == nullptr) {
        return true;
    }
    if (whole->ChunkSizes.size() >= kMaxWholeChunks) {
        return false;
    }
    whole->ChunkSizes.push_back(static_cast<std::uint32_t>(size));
    return true;
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

void ReadMoviFrames(TStream64& stream, const MoviSpan& movi, int streamNumber, StreamReader& reader,
                    WholeWalk* whole) {
    const std::int64_t listEnd = movi.DataPos + movi.DataSize;
    const std::int64_t end = std::min(listEnd, stream.GetSize());
    Window window(stream, end, whole != nullptr ? kWholeBlockBytes : kWindowBytes);
    Walk walk;
    walk.Pos = movi.DataPos;
    bool broken = false;
    while (walk.Pos + kHeaderBytes <= end && (whole != nullptr || WithinBudget(walk, movi)) &&
           window.Hold(walk.Pos, kHeaderBytes)) {
        const std::uint32_t id = riff::Load32(window.At(walk.Pos));
        const std::int64_t size = riff::Load32(window.At(walk.Pos + 4));
        const std::int64_t data = walk.Pos + kHeaderBytes;
        ++walk.Chunks;
        if (data + size > end || (whole != nullptr && !PrintableId(id))) {
            broken = true;
            break;
        }
        if (id == kList && size >= 4 && window.Hold(data, 4) &&
            riff::Load32(window.At(data)) == kRec) {
            walk.Pos = data + 4; // its chunks follow, and count against the list's end
            continue;
        }
        if (IsVideoChunk(id, streamNumber)) {
            if (!KeepSize(whole, size)) {
                broken = true;
                break;
            }
            if (size == 0) {
                reader.TakeDroppedFrame();
            } else {
                const bool sample = WithinVideoBudget(walk);
                const std::int64_t taken =
                    std::min(size, sample ? kMaxVideoBytes - walk.VideoBytes : kFirstBytes);
                if (!window.Hold(data, taken)) {
                    broken = true;
                    break;
                }
                TakeVideoChunk(window.At(data), taken, size, reader, whole);
                if (sample) {
                    walk.VideoBytes += taken;
                    ++walk.VideoChunks;
                }
            }
        }
        walk.Pos = data + size + (size & 1);
    }
    if (whole != nullptr && (broken || walk.Pos + kHeaderBytes <= listEnd)) {
        whole->Complete = false;
    }
}

std::vector<MoviSpan> FurtherMoviLists(TStream64& stream, std::int64_t firstPartEnd) {
    std::vector<MoviSpan> lists;
    const std::int64_t fileEnd = stream.GetSize();
    std::int64_t part = firstPartEnd + (firstPartEnd & 1);
    for (int parts = 0; parts < kMaxParts && part >= 0 && part + 12 <= fileEnd; ++parts) {
        std::uint8_t header[12];
        if (stream.Seek(part, 0) != part || stream.Read(header, 12) != 12 ||
            riff::Load32(header) != Code('R', 'I', 'F', 'F') ||
            riff::Load32(header + 8) != Code('A', 'V', 'I', 'X')) {
            break;
        }
        const std::int64_t partEnd = part + 8 + riff::Load32(header + 4);
        std::int64_t pos = part + 12;
        for (int step = 0; step < kMaxChunksBeforeMovi && pos + 12 <= std::min(partEnd, fileEnd);
             ++step) {
            if (stream.Seek(pos, 0) != pos || stream.Read(header, 12) != 12) {
                break;
            }
            const std::int64_t size = riff::Load32(header + 4);
            if (riff::Load32(header) == kList && size >= 4 &&
                riff::Load32(header + 8) == Code('m', 'o', 'v', 'i')) {
                lists.push_back({pos + 12, size - 4});
                break;
            }
            pos += 8 + size + (size & 1);
        }
        part = partEnd + (partEnd & 1);
    }
    return lists;
}

} // namespace vidtag::video
