#include "check/IndexRates.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace vidtag::check {

namespace {

// The most a single read asks for, and so the most the index reading holds at once: a two-hour
// file's "idx1" (some 7 MiB with its audio entries) comes in one or two reads.
constexpr std::int64_t kBlock = 8 * 1024 * 1024;
// More than any real window of one second's frames; a frame rate from a damaged header gives a
// window no larger than this.
constexpr std::int64_t kMaxWindow = 1 << 16;
// Chunks looked at after "movi" in search of "idx1" ("JUNK" may come in between).
constexpr int kMaxChunksAfterMovi = 16;
// A super index names one standard index per RIFF part; no real file has this many parts.
constexpr std::int64_t kMaxSuperEntries = 16384;
constexpr std::int64_t kSuperHeader = 24;
constexpr std::int64_t kSuperEntry = 16;
constexpr std::int64_t kStandardHeader = 32; // the chunk header and the index's own 24 bytes
constexpr std::uint8_t kIndexOfIndexes = 0x00;
constexpr std::uint8_t kIndexOfChunks = 0x01;
constexpr std::uint32_t kDeltaFrameBit = 0x80000000u;
constexpr std::size_t kLengthOffset = 32; // of the stream header: its length in frames

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(riff::Load32(p)) |
           static_cast<std::uint64_t>(riff::Load32(p + 4)) << 32;
}

// Reads until count bytes arrived or the stream gives nothing more.
std::int64_t ReadFully(TStream64& file, std::int64_t pos, std::uint8_t* out, std::int64_t count) {
    if (pos < 0 || file.Seek(pos, 0) != pos) {
        return 0;
    }
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t got = file.Read(out + done, count - done);
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}

// Hands out the bytes of a range of the file in order, reading it a large block at a time.
class BlockReader {
  public:
    BlockReader(TStream64& file, std::int64_t begin, std::int64_t end)
        : file_(file), next_(begin), end_(end) {}

    void ExtendTo(std::int64_t end) { end_ = std::max(end_, end); }

    // The next count bytes (count far below a block), or nullptr when the range or the file
    // ends first.
    const std::uint8_t* Take(std::size_t count) {
        if (length_ - at_ < count && !Refill(count)) {
            return nullptr;
        }
        const std::uint8_t* bytes = buffer_.data() + at_;
        at_ += count;
        return bytes;
    }

  private:
    bool Refill(std::size_t count) {
        const std::size_t kept = length_ - at_;
        if (kept > 0) {
            std::memmove(buffer_.data(), buffer_.data() + at_, kept);
        }
        at_ = 0;
        length_ = kept;
        const std::int64_t want = std::min(end_ - next_, kBlock - static_cast<std::int64_t>(kept));
        if (want <= 0) {
            return false;
        }
        if (buffer_.size() < kept + static_cast<std::size_t>(want)) {
            buffer_.resize(kept + static_cast<std::size_t>(want));
        }
        const std::int64_t got = ReadFully(file_, next_, buffer_.data() + kept, want);
        next_ += got;
        length_ += static_cast<std::size_t>(got);
        if (got < want) {
            end_ = next_; // the file ends here
        }
        return length_ >= count;
    }

    TStream64& file_;
    std::int64_t next_;
    std::int64_t end_;
    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;
    std::size_t length_ = 0;
};

// Frame sizes in, the total and the largest sum over a sliding window of round(fps) frames out,
// without keeping more than the window.
class FrameTally {
  public:
    // maxFrames 0 bounds nothing.
    explicit FrameTally(double fps, std::uint64_t maxFrames = 0)
        : window_(std::llround(std::clamp(fps, 1.0, static_cast<double>(kMaxWindow)))), fps_(fps),
          maxFrames_(maxFrames > 0 ? maxFrames : UINT64_MAX),
          ring_(static_cast<std::size_t>(window_), 0) {}

    // Whether the frames counted reached what the stream may hold; later ones are not counted.
    bool Full() const { return frames_ >= maxFrames_; }

    void Add(std::uint32_t size) {
        if (Full()) {
            return;
        }
        const std::size_t slot = static_cast<std::size_t>(frames_ % window_);
        windowSum_ += size;
        if (frames_ >= static_cast<std::uint64_t>(window_)) {
            windowSum_ -= ring_[slot];
        }
        ring_[slot] = size;
        bytes_ += size;
        ++frames_;
        peak_ = std::max(peak_, windowSum_);
    }

    std::uint64_t Frames() const { return frames_; }

    Rates Result(BitrateSource from) const {
        Rates rates;
        rates.Frames = frames_;
        rates.Bytes = bytes_;
        if (frames_ == 0) {
            return rates;
        }
        rates.From = from;
        const double seconds = static_cast<double>(frames_) / fps_;
        // A frame rate from a damaged header may be huge: the average stays a number.
        const double average = std::min(static_cast<double>(bytes_) * 8 / seconds, 1e18);
        rates.Average = static_cast<std::uint64_t>(std::llround(average));
        // Under a second of frames, or a window of round(fps) frames shorter than a second,
        // would put the peak below the average it is the top of.
        rates.Peak = std::max(peak_ * 8, *rates.Average);
        return rates;
    }

  private:
    std::int64_t window_;
    double fps_;
    std::uint64_t maxFrames_;
    std::vector<std::uint32_t> ring_;
    std::uint64_t frames_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t windowSum_ = 0;
    std::uint64_t peak_ = 0;
};

FourCC StreamChunkId(int stream, char a, char b) {
    return MakeFourCC(static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), a,
                      b);
}

bool IsStandardIndexId(FourCC id) {
    const bool front = FourCCChar(id, 0) == 'i' && FourCCChar(id, 1) == 'x';
    const bool back = FourCCChar(id, 2) == 'i' && FourCCChar(id, 3) == 'x';
    return front || back;
}

bool IsVideoChunkId(FourCC id, int stream) {
    return id == StreamChunkId(stream, 'd', 'c') || id == StreamChunkId(stream, 'd', 'b');
}

// One "ix##" chunk at pos, whose size the super index gives (chunk header included). False when
// no standard index of the video stream's chunks is there: another stream's index, named by a
// damaged super index, would count its chunks as frames.
bool TallyStandardIndex(TStream64& file, std::int64_t pos, std::int64_t size, int stream,
                        FrameTally& tally) {
    if (pos <= 0) {
        return false;
    }
    // Header and entries in one read when the super index tells the size right.
    BlockReader reader(file, pos, pos + std::max(size, kStandardHeader));
    const std::uint8_t* header = reader.Take(kStandardHeader);
    if (header == nullptr || !IsStandardIndexId(riff::Load32(header))) {
        return false;
    }
    const std::int64_t chunkSize = riff::Load32(header + 4);
    const std::uint16_t longsPerEntry = Le16(header + 8);
    if (header[11] != kIndexOfChunks || longsPerEntry < 2 || longsPerEntry > 16 ||
        chunkSize < kStandardHeader - 8 || !IsVideoChunkId(riff::Load32(header + 16), stream)) {
        return false;
    }
    const std::int64_t entrySize = 4 * longsPerEntry;
    const std::int64_t entries = std::min<std::int64_t>(
        riff::Load32(header + 12), (chunkSize - (kStandardHeader - 8)) / entrySize);
    reader.ExtendTo(pos + 8 + chunkSize);
    for (std::int64_t i = 0; i < entries && !tally.Full(); ++i) {
        const std::uint8_t* entry = reader.Take(static_cast<std::size_t>(entrySize));
        if (entry == nullptr) {
            break;
        }
        tally.Add(riff::Load32(entry + 4) & ~kDeltaFrameBit);
    }
    return true;
}

// The standard indexes the video stream's super index names, in its order, each once: a damaged
// super index may name one index thousands of times. False when there is no super index of
// indexes or none of its entries leads to a standard index.
bool TallySuperIndex(TStream64& file, const IndexPlace& place, FrameTally& tally) {
    if (place.SuperIndexPos <= 0 || place.SuperIndexSize < kSuperHeader) {
        return false;
    }
    const std::int64_t size =
        std::min(place.SuperIndexSize, kSuperHeader + kSuperEntry * kMaxSuperEntries);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::int64_t got = ReadFully(file, place.SuperIndexPos, bytes.data(), size);
    if (got < kSuperHeader || Le16(bytes.data()) != 4 || bytes[3] != kIndexOfIndexes) {
        return false;
    }
    const std::int64_t entries =
        std::min<std::int64_t>(riff::Load32(bytes.data() + 4), (got - kSuperHeader) / kSuperEntry);
    bool found = false;
    std::unordered_set<std::uint64_t> tallied;
    for (std::int64_t i = 0; i < entries && !tally.Full(); ++i) {
        const std::uint8_t* entry = bytes.data() + kSuperHeader + i * kSuperEntry;
        const std::uint64_t offset = Le64(entry);
        if (offset > static_cast<std::uint64_t>(INT64_MAX / 2) || !tallied.insert(offset).second) {
            continue;
        }
        found |= TallyStandardIndex(file, static_cast<std::int64_t>(offset),
                                    riff::Load32(entry + 8), place.VideoStream, tally);
    }
    return found;
}

// The data position and size of "idx1" among the first part's chunks after "movi"; false when
// it is not found within a few chunks.
bool FindIdx1(TStream64& file, const IndexPlace& place, std::int64_t& dataPos, std::int64_t& size) {
    const bool bounded = place.RiffEnd > place.MoviEnd;
    std::int64_t pos = place.MoviEnd;
    for (int step = 0; step < kMaxChunksAfterMovi && pos > 0; ++step) {
        if (bounded && pos + 8 > place.RiffEnd) {
            return false;
        }
        std::uint8_t header[8];
        if (ReadFully(file, pos, header, 8) != 8) {
            return false;
        }
        const std::int64_t chunkSize = riff::Load32(header + 4);
        if (riff::Load32(header) == FCC("idx1")) {
            dataPos = pos + 8;
            size = chunkSize;
            return true;
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return false;
}

bool TallyIdx1(TStream64& file, const IndexPlace& place, FrameTally& tally,
               std::optional<InterleaveTally>& leads) {
    std::int64_t pos = 0;
    std::int64_t size = 0;
    if (!FindIdx1(file, place, pos, size)) {
        return false;
    }
    const FourCC compressed = StreamChunkId(place.VideoStream, 'd', 'c');
    const FourCC uncompressed = StreamChunkId(place.VideoStream, 'd', 'b');
    const FourCC audio = place.Audio ? StreamChunkId(place.Audio->Stream, 'w', 'b') : 0;
    constexpr std::size_t kEntry = 16;
    BlockReader reader(file, pos, pos + size);
    for (std::int64_t i = 0; i < size / static_cast<std::int64_t>(kEntry) && !tally.Full(); ++i) {
        const std::uint8_t* entry = reader.Take(kEntry);
        if (entry == nullptr) {
            break;
        }
        const FourCC id = riff::Load32(entry);
        if (id == compressed || id == uncompressed) {
            tally.Add(riff::Load32(entry + 12));
            if (leads) {
                leads->Video(riff::Load32(entry + 12));
            }
        } else if (id == audio && leads) {
            leads->Audio(riff::Load32(entry + 12));
        }
    }
    return true;
}

bool UsableFps(double fps) {
    return std::isfinite(fps) && fps > 0;
}

// A frame takes a chunk header and an index entry, 8 bytes or more each.
std::uint64_t MaxFramesOf(const TVmAVIFileReader& reader) {
    const std::uint64_t room =
        static_cast<std::uint64_t>(std::max<std::int64_t>(reader.FileSize, 0)) / 16;
    const std::uint32_t length = riff::Load32(reader.VideoStreamHeader.data() + kLengthOffset);
    return length > 0 ? std::min<std::uint64_t>(length, room) : room;
}

} // namespace

IndexPlace FindIndexPlace(const TVmAVIFileReader& reader) {
    IndexPlace place;
    const std::int32_t riff = reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    if (riff == kNoNode) {
        return place;
    }
    place.RiffEnd = reader.GetDataPos(riff) + reader.GetDataSize(riff);
    const std::int32_t movi = reader.FindList(riff, FCC("LIST"), FCC("movi"));
    if (movi != kNoNode) {
        const std::int64_t size = reader.GetDataSize(movi);
        place.MoviEnd = reader.GetDataPos(movi) + size + (size & 1);
    }
    const std::int32_t hdrl = reader.FindList(riff, FCC("LIST"), FCC("hdrl"));
    if (hdrl == kNoNode || reader.VideoHeaderPos == 0) {
        return place;
    }
    int number = 0;
    for (std::int32_t s = reader.FindList(hdrl, FCC("LIST"), FCC("strl")); s != kNoNode;
         s = reader.FindNextList(s, FCC("LIST"), FCC("strl")), ++number) {
        const std::int32_t header = reader.FindChild(s, FCC("strh"));
        if (header == kNoNode || reader.GetDataPos(header) != reader.VideoHeaderPos) {
            continue;
        }
        place.VideoStream = number < 100 ? number : -1;
        place.MaxFrames = MaxFramesOf(reader);
        const std::int32_t super = reader.FindChild(s, FCC("indx"));
        place.SuperIndexPos = reader.GetDataPos(super);
        place.SuperIndexSize = reader.GetDataSize(super);
    }
    return place;
}

Rates RatesFromIndex(TStream64& file, const IndexPlace& place, double fps) {
    if (!UsableFps(fps) || place.VideoStream < 0 || place.VideoStream > 99) {
        return {};
    }
    try {
        FrameTally fromSuper(fps, place.MaxFrames);
        if (TallySuperIndex(file, place, fromSuper) && fromSuper.Frames() > 0) {
            return fromSuper.Result(BitrateSource::Index);
        }
        FrameTally fromIdx1(fps, place.MaxFrames);
        std::optional<InterleaveTally> leads;
        if (place.Audio) {
            leads.emplace(*place.Audio, fps);
        }
        if (TallyIdx1(file, place, fromIdx1, leads)) {
            Rates rates = fromIdx1.Result(BitrateSource::Index);
            rates.Interleave = leads ? leads->Result() : std::nullopt;
            return rates;
        }
    } catch (...) {
        // Out of memory for a block: no rates rather than a failed analysis.
    }
    return {};
}

Rates RatesFromFrames(const std::vector<std::uint32_t>& chunkSizes, double fps,
                      BitrateSource from) {
    if (!UsableFps(fps)) {
        return {};
    }
    try {
        FrameTally tally(fps);
        for (const std::uint32_t size : chunkSizes) {
            tally.Add(size);
        }
        return tally.Result(from);
    } catch (...) {
        return {};
    }
}

Rates StreamRates(TStream64& file, const IndexPlace& place,
                  const std::vector<std::uint32_t>& chunkSizes, std::optional<double> fps,
                  video::MoviReach walked) {
    if (!fps) {
        return {};
    }
    Rates rates = RatesFromIndex(file, place, *fps);
    if (rates.From != BitrateSource::None) {
        return rates;
    }
    switch (walked) {
    case video::MoviReach::FirstFrames:
        return RatesFromFrames(chunkSizes, *fps);
    case video::MoviReach::Whole:
        return RatesFromFrames(chunkSizes, *fps, BitrateSource::Chunks);
    case video::MoviReach::Broken:
        break;
    }
    Rates none;
    none.MoviDamaged = true;
    return none;
}

} // namespace vidtag::check
