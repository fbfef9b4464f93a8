#include "matroska/AudioTracks.h"

#include "matroska/Ebml.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace vidtag::mkv {

namespace {

constexpr std::uint32_t kAudioId = 0xE1;
constexpr std::uint32_t kChannelsId = 0x9F;
constexpr std::uint32_t kSamplingFrequencyId = 0xB5;
constexpr std::uint32_t kContentEncodingId = 0x6240;
constexpr std::uint32_t kContentCompressionId = 0x5034;
constexpr std::uint32_t kContentCompAlgoId = 0x4254;
constexpr std::uint32_t kContentCompSettingsId = 0x4255;
constexpr std::uint64_t kAudioType = 2;
constexpr std::uint64_t kSubtitleType = 0x11;
constexpr std::uint64_t kHeaderStripping = 3;
constexpr std::int64_t kMaxStrippedBytes = 64;
constexpr int kMaxElements = 4096;
constexpr std::int64_t kMaxBytesWalked = 4 * 1024 * 1024;
constexpr std::uint8_t kLacingBits = 0x06;
constexpr std::uint8_t kXiphLacing = 0x02;
constexpr std::uint8_t kFixedLacing = 0x04;

bool ReadBytes(Reader& reader, const Element& element, std::int64_t most,
               std::vector<std::uint8_t>& bytes) {
    const std::int64_t size = std::min(element.End - element.DataPos, most);
    bytes.resize(static_cast<std::size_t>(size));
    return reader.ReadAt(element.DataPos, element.End, bytes.data(), size);
}

// A float of 4 or 8 bytes, big-endian.
std::optional<double> ReadFloat(Reader& reader, const Element& element) {
    std::vector<std::uint8_t> bytes;
    const std::int64_t size = element.End - element.DataPos;
    if ((size != 4 && size != 8) || !ReadBytes(reader, element, size, bytes)) {
        return std::nullopt;
    }
    std::uint64_t bits = 0;
    for (const std::uint8_t byte : bytes) {
        bits = bits << 8 | byte;
    }
    if (size == 4) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    }
    return std::bit_cast<double>(bits);
}

// The children of an element, each handed to visit; false at the first that does not parse.
template <typename Visit> bool EachChild(Reader& reader, const Element& parent, Visit visit) {
    int count = 0;
    for (std::int64_t pos = parent.DataPos; pos < parent.End && count < kMaxElements; ++count) {
        Element child;
        if (reader.ReadHeader(pos, parent.End, child) != HeaderFault::None || child.UnknownSize) {
            return false;
        }
        visit(child);
        pos = child.End;
    }
    return true;
}

void ReadEncoding(Reader& reader, const Element& encodings, AudioTrack& track) {
    EachChild(reader, encodings, [&](const Element& encoding) {
        if (encoding.Id != kContentEncodingId) {
            return;
        }
        EachChild(reader, encoding, [&](const Element& compression) {
            if (compression.Id != kContentCompressionId) {
                return;
            }
            std::uint64_t algorithm = 0; // zlib when not given
            std::vector<std::uint8_t> settings;
            EachChild(reader, compression, [&](const Element& field) {
                if (field.Id == kContentCompAlgoId) {
                    reader.ReadUnsigned(field, algorithm);
                } else if (field.Id == kContentCompSettingsId) {
                    ReadBytes(reader, field, kMaxStrippedBytes, settings);
                }
            });
            if (algorithm == kHeaderStripping) {
                track.Stripped = std::move(settings);
            } else {
                track.Compressed = true;
            }
        });
    });
}

void ReadEntry(Reader& reader, const Element& entry, OtherTracks& found) {
    AudioTrack track;
    std::uint64_t type = 0;
    EachChild(reader, entry, [&](const Element& child) {
        switch (child.Id) {
        case kTrackNumberId:
            reader.ReadUnsigned(child, track.Number);
            break;
        case kTrackTypeId:
            reader.ReadUnsigned(child, type);
            break;
        case kCodecIdId:
            reader.ReadString(child, 256, track.CodecId);
            break;
        case kCodecPrivateId:
            ReadBytes(reader, child, kMaxAudioPrivateBytes, track.Private);
            break;
        case kContentEncodingsId:
            ReadEncoding(reader, child, track);
            break;
        case kAudioId:
            track.Channels = 1; // when the element is left out
            EachChild(reader, child, [&](const Element& field) {
                std::uint64_t channels = 0;
                if (field.Id == kChannelsId && reader.ReadUnsigned(field, channels)) {
                    track.Channels = channels;
                } else if (field.Id == kSamplingFrequencyId) {
                    track.SamplingFrequency = ReadFloat(reader, field);
                }
            });
            break;
        default:
            break;
        }
    });
    if (type == kSubtitleType) {
        ++found.SubtitleTracks;
    } else if (type == kAudioType) {
        found.Audio.push_back(std::move(track));
    }
}

// The sizes of a laced block's frames from the lace header at data[at]; at moves past it.
// Empty when the header does not parse.
std::vector<std::int64_t> LaceSizes(const std::vector<std::uint8_t>& data, std::size_t& at,
                                    std::uint8_t lacing, std::int64_t total) {
    if (at >= data.size()) {
        return {};
    }
    const std::size_t count = data[at++] + 1u;
    std::vector<std::int64_t> sizes;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        std::int64_t size = 0;
        if (lacing == kXiphLacing) {
            std::uint8_t byte = 255;
            while (byte == 255 && at < data.size()) {
                byte = data[at++];
                size += byte;
            }
        } else if (lacing == kFixedLacing) {
            break;
        } else {
            const int length = at < data.size() ? SizeLength(data[at]) : 0;
            if (length == 0 || at + static_cast<std::size_t>(length) > data.size()) {
                return {};
            }
            std::int64_t value = data[at] & (0xFF >> length);
            for (int k = 1; k < length; ++k) {
                value = value << 8 | data[at + static_cast<std::size_t>(k)];
            }
            at += static_cast<std::size_t>(length);
            // Sizes after the first are differences, stored with a bias of half the range.
            if (i > 0) {
                value = sizes.back() + value - ((std::int64_t{1} << (7 * length - 1)) - 1);
            }
            size = value;
        }
        if (size < 0) {
            return {};
        }
        sizes.push_back(size);
        sum += size;
    }
    const auto rest = total - static_cast<std::int64_t>(at);
    if (lacing == kFixedLacing) {
        return std::vector<std::int64_t>(count, rest / static_cast<std::int64_t>(count));
    }
    if (rest < sum) {
        return {};
    }
    sizes.push_back(rest - sum);
    return sizes;
}

class FrameWalk {
  public:
    FrameWalk(Reader& reader, const MatroskaFile& file, std::vector<AudioTrack>& tracks)
        : reader_(reader), file_(file), tracks_(tracks) {}

    void Run() {
        std::int64_t pos = file_.FirstClusterPos;
        while (pos > 0 && pos < file_.SegmentEnd && Left()) {
            Element element;
            if (reader_.ReadHeader(pos, file_.SegmentEnd, element) != HeaderFault::None) {
                return;
            }
            ++elements_;
            if (element.Id != kClusterId) {
                if (element.UnknownSize) {
                    return;
                }
                pos = element.End;
                continue;
            }
            pos = Cluster(element);
        }
    }

  private:
    bool Left() const {
        const bool wanted = std::any_of(tracks_.begin(), tracks_.end(), [](const AudioTrack& t) {
            return !t.Compressed && static_cast<std::int64_t>(t.First.size()) < kAudioFrameBytes;
        });
        return wanted && elements_ < kMaxElements && walked_ < kMaxBytesWalked;
    }

    std::int64_t Cluster(const Element& cluster) {
        std::int64_t pos = cluster.DataPos;
        while (pos < cluster.End && Left()) {
            Element child;
            if (reader_.ReadHeader(pos, cluster.End, child) != HeaderFault::None ||
                child.UnknownSize || child.Id == kClusterId) {
                return cluster.UnknownSize ? pos : cluster.End;
            }
            ++elements_;
            walked_ += child.End - child.Pos;
            if (child.Id == kSimpleBlockId) {
                Block(child);
            } else if (child.Id == kBlockGroupId) {
                EachChild(reader_, child, [&](const Element& inner) {
                    if (inner.Id == kBlockId) {
                        Block(inner);
                    }
                });
            }
            pos = child.End;
        }
        return cluster.UnknownSize ? pos : cluster.End;
    }

    AudioTrack* TrackOf(std::uint64_t number) {
        for (AudioTrack& track : tracks_) {
            if (track.Number == number && !track.Compressed &&
                static_cast<std::int64_t>(track.First.size()) < kAudioFrameBytes) {
                return &track;
            }
        }
        return nullptr;
    }

    void Block(const Element& block) {
        std::array<std::uint8_t, 8> head{};
        const std::int64_t size = block.End - block.DataPos;
        const std::int64_t want = std::min<std::int64_t>(head.size(), size);
        if (!reader_.ReadAt(block.DataPos, block.End, head.data(), want)) {
            return;
        }
        const int length = SizeLength(head[0]);
        if (length == 0 || length + 3 > want) {
            return;
        }
        std::uint64_t number = head[0] & (0xFFu >> length);
        for (int i = 1; i < length; ++i) {
            number = number << 8 | head[static_cast<std::size_t>(i)];
        }
        AudioTrack* track = TrackOf(number);
        if (track == nullptr) {
            return;
        }
        const std::uint8_t lacing = head[static_cast<std::size_t>(length + 2)] & kLacingBits;
        const std::int64_t from = block.DataPos + length + 3;
        const std::int64_t room = kAudioFrameBytes - static_cast<std::int64_t>(track->First.size());
        // A lace header is at most a few hundred bytes; the frames after it are cut to the room.
        const std::int64_t take = std::min(block.End - from, room + 2048);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(take));
        if (!reader_.ReadAt(from, block.End, data.data(), take)) {
            return;
        }
        std::size_t at = 0;
        std::vector<std::int64_t> sizes{block.End - from};
        if (lacing != 0) {
            sizes = LaceSizes(data, at, lacing, block.End - from);
        }
        for (const std::int64_t frame : sizes) {
            Append(*track, data, at, frame);
        }
    }

    static void Append(AudioTrack& track, const std::vector<std::uint8_t>& data, std::size_t& at,
                       std::int64_t frame) {
        std::vector<std::uint8_t>& first = track.First;
        for (const std::uint8_t byte : track.Stripped) {
            if (static_cast<std::int64_t>(first.size()) < kAudioFrameBytes) {
                first.push_back(byte);
            }
        }
        const auto held = static_cast<std::int64_t>(data.size() - std::min(at, data.size()));
        const std::int64_t count =
            std::min({frame, held, kAudioFrameBytes - static_cast<std::int64_t>(first.size())});
        if (count > 0) {
            first.insert(first.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(at + count));
        }
        at += static_cast<std::size_t>(std::max<std::int64_t>(frame, 0));
    }

    Reader& reader_;
    const MatroskaFile& file_;
    std::vector<AudioTrack>& tracks_;
    int elements_ = 0;
    std::int64_t walked_ = 0;
};

} // namespace

OtherTracks ReadOtherTracks(TStream64& stream, const MatroskaFile& file) {
    OtherTracks found;
    if (file.TracksDataPos <= 0) {
        return found;
    }
    Reader reader(stream, stream.GetSize());
    Element tracks;
    tracks.DataPos = file.TracksDataPos;
    tracks.End = file.TracksEnd;
    EachChild(reader, tracks, [&](const Element& entry) {
        if (entry.Id == kTrackEntryId) {
            ReadEntry(reader, entry, found);
        }
    });
    FrameWalk(reader, file, found.Audio).Run();
    return found;
}

} // namespace vidtag::mkv
