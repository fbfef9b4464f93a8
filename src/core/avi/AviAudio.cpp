#include "avi/AviAudio.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <array>

namespace vidtag {

namespace {

constexpr int kMaxChunksWalked = 4096;
constexpr std::int64_t kMaxBytesWalked = 4 * 1024 * 1024;
constexpr std::int64_t kChunkHeaderBytes = 8;
constexpr std::int64_t kListHeaderBytes = 12;

// Reads up to count bytes at pos; what arrived.
std::vector<std::uint8_t> ReadSpan(TStream64& stream, std::int64_t pos, std::int64_t count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    if (bytes.empty() || stream.Seek(pos, 0) != pos) {
        return {};
    }
    const std::int64_t got = std::clamp<std::int64_t>(stream.Read(bytes.data(), count), 0, count);
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

// A stream header's fields up to its sample size: the type, the time scale and rate.
constexpr std::int64_t kStreamHeaderRead = 48;
constexpr std::size_t kScaleOffset = 20;
constexpr std::size_t kRateOffset = 24;
constexpr std::size_t kSampleSizeOffset = 44;

// The stream header up to its sample size, or as much of it as the chunk holds.
std::vector<std::uint8_t> StreamHeader(const TVmAVIFileReader& reader, std::int32_t strl,
                                       TStream64& stream) {
    const std::int32_t h = reader.FindChild(strl, FCC("strh"));
    if (h == kNoNode) {
        return {};
    }
    return ReadSpan(stream, reader.GetDataPos(h),
                    std::min(reader.GetDataSize(h), kStreamHeaderRead));
}

// "NNwb" for the stream numbers 0 to 99; 0 beyond.
FourCC AudioChunkId(int number) {
    if (number < 0 || number > 99) {
        return 0;
    }
    return static_cast<FourCC>('0' + number / 10) | static_cast<FourCC>('0' + number % 10) << 8 |
           static_cast<FourCC>('w') << 16 | static_cast<FourCC>('b') << 24;
}

void ReadFirstChunks(const TVmAVIFileReader& reader, TStream64& stream,
                     std::vector<AviAudioTrack>& tracks) {
    const std::int32_t movi = reader.MoviList();
    if (movi == kNoNode || tracks.empty()) {
        return;
    }
    const std::int64_t fileEnd = stream.GetSize();
    std::int64_t pos = reader.GetDataPos(movi);
    const std::int64_t end = std::min(fileEnd, pos + reader.GetDataSize(movi));
    std::size_t full = 0;
    int chunks = 0;
    const std::int64_t start = pos;
    while (pos + kChunkHeaderBytes <= end && full < tracks.size() && chunks < kMaxChunksWalked &&
           pos - start < kMaxBytesWalked) {
        ++chunks;
        std::array<std::uint8_t, kListHeaderBytes> head{};
        const std::int64_t got =
            stream.Seek(pos, 0) == pos
                ? std::clamp<std::int64_t>(stream.Read(head.data(), kListHeaderBytes), 0,
                                           kListHeaderBytes)
                : 0;
        if (got < kChunkHeaderBytes) {
            return;
        }
        const FourCC id = riff::Load32(head.data());
        const std::int64_t size = riff::Load32(head.data() + 4);
        if (id == FCC("LIST") && got == kListHeaderBytes &&
            riff::Load32(head.data() + 8) == FCC("rec ")) {
            pos += kListHeaderBytes;
            continue;
        }
        if (size > end - pos - kChunkHeaderBytes) {
            return;
        }
        for (AviAudioTrack& track : tracks) {
            const auto held = static_cast<std::int64_t>(track.First.size());
            if (id != AudioChunkId(track.StreamNumber) || held >= kAudioFirstBytes) {
                continue;
            }
            const std::vector<std::uint8_t> data =
                ReadSpan(stream, pos + kChunkHeaderBytes, std::min(size, kAudioFirstBytes - held));
            track.First.insert(track.First.end(), data.begin(), data.end());
            full += static_cast<std::int64_t>(track.First.size()) >= kAudioFirstBytes ? 1 : 0;
        }
        pos += kChunkHeaderBytes + size + (size & 1);
    }
}

constexpr std::uint32_t kHasIndexFlag = 0x10;
constexpr std::int64_t kFlagsOffset = 12;

// Chunks between the movie data and its idx1 a player steps over: an old index a rebuild made
// JUNK, padding. A few suffice; an odd end may be padded by a byte.
constexpr int kMostChunksBeforeIdx1 = 4;

bool Idx1AfterMovi(TStream64& stream, std::int64_t end) {
    for (const std::int64_t start : {end, end + 1}) {
        std::int64_t at = start;
        for (int step = 0; step < kMostChunksBeforeIdx1; ++step) {
            const std::vector<std::uint8_t> header = ReadSpan(stream, at, 8);
            if (header.size() != 8) {
                break;
            }
            if (riff::Load32(header.data()) == FCC("idx1")) {
                return true;
            }
            if (riff::Load32(header.data()) != FCC("JUNK")) {
                break;
            }
            const std::uint32_t size = riff::Load32(header.data() + 4);
            at += 8 + static_cast<std::int64_t>(size) + (size & 1);
        }
    }
    return false;
}

// What the chunk tree and the main header tell; the look past the movie data aside.
AviIndexFacts IndexFacts(const TVmAVIFileReader& reader, TStream64& stream, std::int32_t hdrl) {
    AviIndexFacts facts;
    const std::int64_t fileEnd = stream.GetSize();
    for (std::int32_t i = 0; i < reader.NodeCount; ++i) {
        const ChunkNode& node = reader.Node(i);
        facts.Idx1 = facts.Idx1 || node.Id == FCC("idx1");
        facts.SuperIndex = facts.SuperIndex || node.Id == FCC("indx");
        if (node.Id == FCC("RIFF")) {
            ++facts.Parts;
        }
    }
    const std::int32_t riff = reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    const std::int32_t movi = reader.MoviList();
    for (const std::int32_t node : {riff, movi}) {
        if (node != kNoNode &&
            reader.GetDataSize(node) > fileEnd - std::min(fileEnd, reader.GetDataPos(node))) {
            facts.CutShort = true;
        }
    }
    if (const std::int32_t avih = reader.FindChild(hdrl, FCC("avih"));
        avih != kNoNode && reader.GetDataSize(avih) >= kFlagsOffset + 4) {
        const std::vector<std::uint8_t> flags =
            ReadSpan(stream, reader.GetDataPos(avih) + kFlagsOffset, 4);
        facts.HasIndexFlag = flags.size() == 4 && (riff::Load32(flags.data()) & kHasIndexFlag) != 0;
    }
    return facts;
}

// The scan stops at the movie data, so an "idx1" after it is looked for where it ends.
void LookPastMovi(const TVmAVIFileReader& reader, TStream64& stream, AviIndexFacts& facts) {
    const std::int32_t movi = reader.MoviList();
    if (!facts.Idx1 && movi != kNoNode) {
        facts.Idx1 = Idx1AfterMovi(stream, reader.GetDataPos(movi) + reader.GetDataSize(movi));
    }
}

} // namespace

AviTracks ReadAviTracks(const TVmAVIFileReader& reader, TStream64& stream) {
    AviTracks found;
    const std::int32_t riff = reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI "));
    const std::int32_t hdrl =
        riff == kNoNode ? kNoNode : reader.FindList(riff, FCC("LIST"), FCC("hdrl"));
    if (hdrl == kNoNode) {
        return found;
    }
    int number = 0;
    for (std::int32_t s = reader.FindList(hdrl, FCC("LIST"), FCC("strl")); s != kNoNode;
         s = reader.FindNextList(s, FCC("LIST"), FCC("strl")), ++number) {
        const std::vector<std::uint8_t> header = StreamHeader(reader, s, stream);
        const FourCC type = header.size() >= 4 ? riff::Load32(header.data()) : 0;
        if (type == FCC("txts")) {
            ++found.SubtitleTracks;
        }
        if (type != FCC("auds")) {
            continue;
        }
        AviAudioTrack track;
        track.StreamNumber = number;
        if (header.size() >= kStreamHeaderRead) {
            track.Scale = riff::Load32(header.data() + kScaleOffset);
            track.Rate = riff::Load32(header.data() + kRateOffset);
            track.SampleSize = riff::Load32(header.data() + kSampleSizeOffset);
        }
        if (const std::int32_t f = reader.FindChild(s, FCC("strf")); f != kNoNode) {
            track.Format = ReadSpan(stream, reader.GetDataPos(f),
                                    std::min(reader.GetDataSize(f), kMaxAudioFormatBytes));
        }
        found.Audio.push_back(std::move(track));
    }
    // In the order of the file, so that a read cache in front of it goes forward only: the
    // headers, the start of the movie data, its end.
    found.Index = IndexFacts(reader, stream, hdrl);
    ReadFirstChunks(reader, stream, found.Audio);
    LookPastMovi(reader, stream, found.Index);
    return found;
}

} // namespace vidtag
