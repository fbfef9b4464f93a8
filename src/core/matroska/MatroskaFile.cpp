#include "matroska/MatroskaFile.h"

#include "matroska/Ebml.h"

#include <array>
#include <string_view>

namespace vidtag::mkv {

namespace {

constexpr std::size_t kMaxDocTypeBytes = 64;
constexpr std::size_t kMaxCodecIdBytes = 256;
constexpr std::uint64_t kVideoTrackType = 1;
constexpr std::int64_t kCodePrivateBytes = kCompressionOffset + 4;

std::string At(std::int64_t pos) {
    return " at byte " + std::to_string(pos);
}

std::string FaultText(HeaderFault fault, std::int64_t pos) {
    switch (fault) {
    case HeaderFault::BadId:
        return "an element id that does not parse" + At(pos);
    case HeaderFault::BadSize:
        return "an element size that does not parse" + At(pos);
    case HeaderFault::Cut:
        return "the file ends inside an element header" + At(pos);
    case HeaderFault::PastParent:
        return "an element whose size runs past its parent or the file" + At(pos);
    case HeaderFault::None:
        break;
    }
    return {};
}

class Walk {
  public:
    Walk(TStream64& stream, MatroskaFile& file) : reader_(stream, stream.GetSize()), file_(file) {}

    void Run();

  private:
    bool Fail(Outcome outcome, std::string reason) {
        file_.Result = outcome;
        file_.Reason = std::move(reason);
        return false;
    }
    bool OverBudget() const { return reader_.BytesRead() > kMaxHeaderBytes; }
    bool ReadEbmlHeader(std::int64_t& next);
    bool FindSegment(std::int64_t pos, Element& segment);
    bool WalkSegment(const Element& segment);
    bool TracksFromSeekHead(const Element& seekHead);
    bool ReadTracks(const Element& tracks);
    bool ReadEntry(const Element& entry, VideoTrack& track, bool& video);
    bool ReadVideo(const Element& video, VideoTrack& track);
    void TakeChosen(const VideoTrack& track, bool tracksCrc);
    bool SkipUnknownCluster(const Element& cluster, std::int64_t& end);

    Reader reader_;
    MatroskaFile& file_;
    bool segmentCrc_ = false;
    bool tracksRead_ = false;
};

bool Walk::ReadEbmlHeader(std::int64_t& next) {
    Element header;
    if (reader_.ReadHeader(0, reader_.Limit(), header) != HeaderFault::None ||
        header.Id != kEbmlHeaderId || header.UnknownSize) {
        return Fail(Outcome::NotMatroska, "the file does not start with an EBML header");
    }
    // A header without a DocType is a Matroska one.
    file_.DocType = "matroska";
    for (std::int64_t pos = header.DataPos; pos < header.End;) {
        Element child;
        const HeaderFault fault = reader_.ReadHeader(pos, header.End, child);
        if (fault != HeaderFault::None || child.UnknownSize) {
            return Fail(Outcome::Damaged, "the EBML header holds " + FaultText(fault, pos));
        }
        if (child.Id == kDocTypeId && !reader_.ReadString(child, kMaxDocTypeBytes, file_.DocType)) {
            return Fail(Outcome::Damaged, "the EBML header's DocType does not read");
        }
        pos = child.End;
    }
    if (file_.DocType == "webm") {
        return Fail(Outcome::OtherDocType,
                    "a WebM file: WebM has no VfW-compatible tracks, so it holds no codec code "
                    "to change");
    }
    if (file_.DocType != "matroska") {
        return Fail(Outcome::OtherDocType,
                    "an EBML file of type \"" + file_.DocType + "\", not Matroska");
    }
    next = header.End;
    return true;
}

// The Segment follows the EBML header, perhaps after Void elements. A Segment longer than the
// file is a cut file: what it still holds is read.
bool Walk::FindSegment(std::int64_t pos, Element& segment) {
    for (int i = 0; i < kMaxTopLevelElements; ++i) {
        const HeaderFault fault = reader_.ReadHeader(pos, reader_.Limit(), segment);
        if (fault != HeaderFault::None && fault != HeaderFault::PastParent) {
            return Fail(Outcome::Damaged, "no Segment: " + FaultText(fault, pos));
        }
        if (segment.Id == kSegmentId) {
            return true;
        }
        if (segment.Id != kVoidId || fault != HeaderFault::None) {
            return Fail(Outcome::Damaged, "no Segment after the EBML header" + At(pos));
        }
        pos = segment.End;
    }
    return Fail(Outcome::Damaged, "no Segment after the EBML header");
}

// Ends an unknown-size Cluster where the first element that is no Cluster child begins: the
// next Cluster or any other element of the Segment.
bool Walk::SkipUnknownCluster(const Element& cluster, std::int64_t& end) {
    std::int64_t pos = cluster.DataPos;
    for (int i = 0; i < kMaxTopLevelElements && pos < cluster.End; ++i) {
        Element child;
        if (reader_.ReadHeader(pos, cluster.End, child) != HeaderFault::None) {
            return false;
        }
        switch (child.Id) {
        case kClusterId:
        case kCuesId:
        case kTracksId:
        case kInfoId:
        case kSeekHeadId:
        case kTagsId:
        case kChaptersId:
        case kAttachmentsId:
            end = pos;
            return true;
        default:
            break;
        }
        if (child.UnknownSize) {
            return false;
        }
        pos = child.End;
    }
    end = pos;
    return pos >= cluster.End;
}

bool Walk::WalkSegment(const Element& segment) {
    std::int64_t pos = segment.DataPos;
    for (int i = 0; i < kMaxTopLevelElements && pos < segment.End; ++i) {
        if (tracksRead_ && file_.FirstClusterPos != 0) {
            return true;
        }
        if (OverBudget()) {
            break;
        }
        Element child;
        const HeaderFault fault = reader_.ReadHeader(pos, segment.End, child);
        if (fault != HeaderFault::None) {
            // What follows the headers may be damaged: only the frames are lost.
            return tracksRead_ ||
                   Fail(Outcome::Damaged, "the Segment holds " + FaultText(fault, pos));
        }
        if (child.Id == kCrc32Id) {
            segmentCrc_ = true;
        } else if (child.Id == kSeekHeadId && !tracksRead_ && !child.UnknownSize) {
            if (!TracksFromSeekHead(child)) {
                return false;
            }
        } else if (child.Id == kTracksId && !tracksRead_) {
            if (child.UnknownSize) {
                return Fail(Outcome::Damaged, "Tracks of unknown size" + At(pos));
            }
            if (!ReadTracks(child)) {
                return false;
            }
        } else if (child.Id == kClusterId && file_.FirstClusterPos == 0) {
            file_.FirstClusterPos = child.Pos;
        } else if (child.Id == kInfoId && !child.UnknownSize) {
            for (std::int64_t at = child.DataPos; at < child.End;) {
                Element field;
                if (reader_.ReadHeader(at, child.End, field) != HeaderFault::None ||
                    field.UnknownSize) {
                    break;
                }
                std::uint64_t scale = 0;
                if (field.Id == kTimestampScaleId && reader_.ReadUnsigned(field, scale) &&
                    scale != 0) {
                    file_.TimestampScale = scale;
                }
                at = field.End;
            }
        }
        if (child.UnknownSize && (child.Id != kClusterId || !SkipUnknownCluster(child, pos))) {
            break;
        }
        if (!child.UnknownSize) {
            pos = child.End;
        }
    }
    if (!tracksRead_) {
        return Fail(Outcome::Damaged, OverBudget() ? "no Tracks within the first 64 KiB of headers"
                                                   : "no Tracks in the Segment");
    }
    return true;
}

// The SeekHead says where Tracks lie; an entry that points at anything else is passed over and
// the walk finds Tracks itself.
bool Walk::TracksFromSeekHead(const Element& seekHead) {
    for (std::int64_t pos = seekHead.DataPos; pos < seekHead.End;) {
        Element seek;
        if (reader_.ReadHeader(pos, seekHead.End, seek) != HeaderFault::None || seek.UnknownSize) {
            return true;
        }
        pos = seek.End;
        if (seek.Id != kSeekId) {
            continue;
        }
        std::uint64_t id = 0;
        std::uint64_t position = 0;
        for (std::int64_t at = seek.DataPos; at < seek.End;) {
            Element field;
            if (reader_.ReadHeader(at, seek.End, field) != HeaderFault::None || field.UnknownSize) {
                break;
            }
            if (field.Id == kSeekIdId) {
                reader_.ReadUnsigned(field, id);
            } else if (field.Id == kSeekPositionId) {
                reader_.ReadUnsigned(field, position);
            }
            at = field.End;
        }
        const auto room = static_cast<std::uint64_t>(file_.SegmentEnd - file_.SegmentDataPos);
        if (id != kTracksId || position >= room) {
            continue;
        }
        Element tracks;
        const std::int64_t at = file_.SegmentDataPos + static_cast<std::int64_t>(position);
        if (reader_.ReadHeader(at, file_.SegmentEnd, tracks) == HeaderFault::None &&
            tracks.Id == kTracksId && !tracks.UnknownSize) {
            return ReadTracks(tracks);
        }
    }
    return true;
}

bool Walk::ReadVideo(const Element& video, VideoTrack& track) {
    for (std::int64_t pos = video.DataPos; pos < video.End;) {
        Element child;
        const HeaderFault fault = reader_.ReadHeader(pos, video.End, child);
        if (fault != HeaderFault::None || child.UnknownSize) {
            return Fail(Outcome::Damaged, "the track's Video holds " + FaultText(fault, pos));
        }
        if (child.Id == kPixelWidthId) {
            reader_.ReadUnsigned(child, track.Width);
        } else if (child.Id == kPixelHeightId) {
            reader_.ReadUnsigned(child, track.Height);
        }
        pos = child.End;
    }
    return true;
}

bool Walk::ReadEntry(const Element& entry, VideoTrack& track, bool& video) {
    track.EntryPos = entry.Pos;
    std::uint64_t type = 0;
    int elements = 0;
    for (std::int64_t pos = entry.DataPos; pos < entry.End; ++elements) {
        Element child;
        const HeaderFault fault = reader_.ReadHeader(pos, entry.End, child);
        if (fault != HeaderFault::None || child.UnknownSize || elements > kMaxTrackElements) {
            return Fail(Outcome::Damaged, "a TrackEntry holds " + FaultText(fault, pos));
        }
        std::uint64_t flag = 1;
        switch (child.Id) {
        case kTrackNumberId:
            reader_.ReadUnsigned(child, track.Number);
            break;
        case kTrackTypeId:
            reader_.ReadUnsigned(child, type);
            break;
        case kFlagEnabledId:
            track.Enabled = !reader_.ReadUnsigned(child, flag) || flag != 0;
            break;
        case kFlagDefaultId:
            track.Default = !reader_.ReadUnsigned(child, flag) || flag != 0;
            break;
        case kCodecIdId:
            if (!reader_.ReadString(child, kMaxCodecIdBytes, track.CodecId)) {
                return Fail(Outcome::Damaged, "a CodecID too long to be one" + At(pos));
            }
            break;
        case kCodecPrivateId:
            track.PrivatePos = child.DataPos;
            track.PrivateSize = child.End - child.DataPos;
            break;
        case kDefaultDurationId:
            reader_.ReadUnsigned(child, track.DefaultDuration);
            break;
        case kContentEncodingsId:
            track.Encoded = true;
            break;
        case kCrc32Id:
            track.CoveredByCrc = true;
            break;
        case kVideoId:
            if (!ReadVideo(child, track)) {
                return false;
            }
            break;
        default:
            break;
        }
        pos = child.End;
    }
    video = type == kVideoTrackType;
    return true;
}

// Players take the track marked default among the enabled ones, else the first enabled one.
std::string ChoiceText(const VideoTrack& track, int count, bool anyDefault, bool anyEnabled) {
    const std::string which =
        "video track " + std::to_string(track.Number) + " of " + std::to_string(count) + ": ";
    if (anyDefault) {
        return which + "the first one enabled and marked default, which players play";
    }
    if (anyEnabled) {
        return which + "none enabled is marked default, so the first enabled one";
    }
    return which + "none is enabled, so the first one";
}

bool Walk::ReadTracks(const Element& tracks) {
    bool tracksCrc = false;
    VideoTrack firstEnabledDefault;
    VideoTrack firstEnabled;
    VideoTrack first;
    int count = 0;
    bool anyDefault = false;
    bool anyEnabled = false;
    int elements = 0;
    for (std::int64_t pos = tracks.DataPos; pos < tracks.End; ++elements) {
        Element child;
        const HeaderFault fault = reader_.ReadHeader(pos, tracks.End, child);
        if (fault != HeaderFault::None || child.UnknownSize || elements > kMaxTrackElements ||
            OverBudget()) {
            return Fail(Outcome::Damaged, OverBudget() ? "Tracks larger than 64 KiB of headers"
                                                       : "Tracks hold " + FaultText(fault, pos));
        }
        if (child.Id == kCrc32Id) {
            tracksCrc = true;
        } else if (child.Id == kTrackEntryId) {
            VideoTrack track;
            bool video = false;
            if (!ReadEntry(child, track, video)) {
                return false;
            }
            if (video) {
                ++count;
                if (count == 1) {
                    first = track;
                }
                if (track.Enabled && !anyEnabled) {
                    firstEnabled = track;
                    anyEnabled = true;
                }
                if (track.Enabled && track.Default && !anyDefault) {
                    firstEnabledDefault = track;
                    anyDefault = true;
                }
            }
        }
        pos = child.End;
    }
    tracksRead_ = true;
    file_.TracksDataPos = tracks.DataPos;
    file_.TracksEnd = tracks.End;
    file_.VideoTracks = count;
    if (count == 0) {
        return Fail(Outcome::NoVideoTrack, "no video track in Tracks");
    }
    const VideoTrack& chosen = anyDefault ? firstEnabledDefault : anyEnabled ? firstEnabled : first;
    if (count > 1) {
        file_.Choice = ChoiceText(chosen, count, anyDefault, anyEnabled);
    }
    TakeChosen(chosen, tracksCrc);
    return true;
}

void Walk::TakeChosen(const VideoTrack& track, bool tracksCrc) {
    file_.Video = track;
    file_.Video.CoveredByCrc = track.CoveredByCrc || tracksCrc || segmentCrc_;
    file_.Result = Outcome::Read;
    if (track.CodecId != kVfwCodecId) {
        file_.WriteRefusal = "no code to change: the track's CodecID \"" + track.CodecId +
                             "\" names its codec, and it has no compression code";
        return;
    }
    if (track.PrivatePos == 0 || track.PrivateSize < kCodePrivateBytes) {
        file_.WriteRefusal = "the track's CodecPrivate holds " + std::to_string(track.PrivateSize) +
                             " bytes, too few for a bitmap header's compression code (" +
                             std::to_string(kCodePrivateBytes) + " needed)";
        return;
    }
    std::array<std::uint8_t, 4> code{};
    const std::int64_t at = track.PrivatePos + kCompressionOffset;
    if (!reader_.ReadAt(at, at + 4, code.data(), 4)) {
        file_.WriteRefusal = "the track's compression code does not read";
        return;
    }
    file_.Compression = MakeFourCC(static_cast<char>(code[0]), static_cast<char>(code[1]),
                                   static_cast<char>(code[2]), static_cast<char>(code[3]));
    file_.CompressionPos = at;
    if (file_.Video.CoveredByCrc) {
        file_.WriteRefusal = "the track's entry is covered by a CRC-32 element, which a changed "
                             "code would no longer match";
    } else if (track.Encoded) {
        file_.WriteRefusal = "the track's data is stored compressed (ContentEncodings), so its "
                             "CodecPrivate may not hold the code as it reads";
    }
}

void Walk::Run() {
    std::int64_t next = 0;
    Element segment;
    if (!ReadEbmlHeader(next) || !FindSegment(next, segment)) {
        return;
    }
    file_.SegmentDataPos = segment.DataPos;
    file_.SegmentEnd = segment.End;
    WalkSegment(segment);
    file_.HeaderReads = reader_.Reads();
    file_.HeaderBytes = reader_.BytesRead();
}

} // namespace

bool HasMatroskaSignature(TStream64& stream) {
    std::array<std::uint8_t, 4> bytes{};
    const bool read = stream.Seek(0, 0) == 0 && stream.Read(bytes.data(), 4) == 4;
    // The other readers start where the stream stands.
    stream.Seek(0, 0);
    return read && bytes[0] == 0x1A && bytes[1] == 0x45 && bytes[2] == 0xDF && bytes[3] == 0xA3;
}

MatroskaFile ReadMatroska(TStream64& stream) {
    MatroskaFile file;
    Walk walk(stream, file);
    walk.Run();
    return file;
}

} // namespace vidtag::mkv
