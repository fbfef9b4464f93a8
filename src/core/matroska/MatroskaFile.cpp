#include "matroska/MatroskaFile.h"

#include "matroska/Ebml.h"

#include <array>
#include <string_view>
#include <vector>

namespace vidtag::mkv {

namespace {

constexpr std::size_t kMaxDocTypeBytes = 64;
constexpr std::size_t kMaxCodecIdBytes = 256;
constexpr std::uint64_t kVideoTrackType = 1;

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

// How a list of children goes on after one of them.
enum class Step : std::uint8_t {
    Next, // on to the next child
    Done, // the list has given what was wanted
    Stop, // the walk ends: Fail has said why
};

// Bytes of at most maxBytes; false for a longer element.
bool ReadBytes(Reader& reader, const Element& element, std::size_t maxBytes, std::string& value) {
    const std::int64_t size = element.End - element.DataPos;
    if (size > static_cast<std::int64_t>(maxBytes)) {
        return false;
    }
    value.assign(static_cast<std::size_t>(size), '\0');
    return reader.ReadAt(element.DataPos, element.End, value.data(), size);
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
    // The headers' bytes read, the SeekHead's listing apart.
    std::int64_t HeaderBytes() const {
        const std::int64_t listing = inIndex_ ? reader_.BytesRead() - indexStart_ : 0;
        return reader_.BytesRead() - indexBytes_ - listing;
    }
    bool OverBudget() const {
        return inIndex_ ? indexBytes_ + reader_.BytesRead() - indexStart_ > kMaxIndexBytes
                        : HeaderBytes() > kMaxHeaderBytes;
    }
    template <typename Visit>
    bool EachChild(const Element& parent, const std::string& what, bool failOnFault, Visit visit);
    bool ReadEbmlHeader(std::int64_t& next);
    bool FindSegment(std::int64_t pos, Element& segment);
    bool WalkSegment(const Element& segment);
    bool TracksFromSeekHead(const Element& seekHead);
    bool ReadTracks(const Element& tracks);
    bool ReadEntry(const Element& entry, VideoTrack& track, bool& video);
    Step EntryField(const Element& child, VideoTrack& track, std::uint64_t& type);
    bool ReadVideo(const Element& video, VideoTrack& track);
    bool ReadEncodings(const Element& encodings, VideoTrack& track);
    void TakeChosen(const VideoTrack& track, bool tracksCrc);
    bool SkipUnknownCluster(const Element& cluster, std::int64_t& end);
    void PassDeadTracks(const Element& child);

    Reader reader_;
    MatroskaFile& file_;
    bool segmentCrc_ = false;
    bool tracksRead_ = false;
    bool inIndex_ = false;
    std::int64_t indexStart_ = 0;
    std::int64_t indexBytes_ = 0;
    std::int64_t seekTracksPos_ = 0;    // of the Tracks the SeekHead led to
    std::int64_t deadTracksParent_ = 0; // of the element that holds them, when one does
    std::uint32_t deadTracksParentId_ = 0;
    MatroskaFile deadTracksRead_; // what those Tracks gave
    std::string indexNote_;       // why the SeekHead was not followed to its end
    std::vector<Element> passed_; // the Segment's elements met before the SeekHead's Tracks
};

// Reads the children of parent in order and hands each to visit. Every list is bounded alike:
// at most 4,096 children and the budget of its part of the headers. A child that does not parse,
// one of unknown size, and either bound end the walk with the reason when failOnFault is set,
// else the list alone, quietly. False when the walk ends.
template <typename Visit>
bool Walk::EachChild(const Element& parent, const std::string& what, bool failOnFault,
                     Visit visit) {
    int count = 0;
    for (std::int64_t pos = parent.DataPos; pos < parent.End; ++count) {
        std::string why;
        Element child;
        HeaderFault fault = HeaderFault::None;
        if (count == kMaxTrackElements) {
            why = what + " more than " + std::to_string(kMaxTrackElements) + " elements";
        } else if (OverBudget()) {
            why = what + " elements past the first " +
                  std::to_string((inIndex_ ? kMaxIndexBytes : kMaxHeaderBytes) / 1024) +
                  " KiB of headers";
        } else if (fault = reader_.ReadHeader(pos, parent.End, child); fault != HeaderFault::None) {
            why = what + " " + FaultText(fault, pos);
        } else if (child.UnknownSize) {
            why = what + " an element of unknown size" + At(pos);
        }
        if (!why.empty()) {
            if (inIndex_ && indexNote_.empty()) {
                indexNote_ = why;
            }
            return !failOnFault || Fail(Outcome::Damaged, why);
        }
        const Step step = visit(child);
        if (step != Step::Next) {
            return step == Step::Done;
        }
        pos = child.End;
    }
    return true;
}

bool Walk::ReadEbmlHeader(std::int64_t& next) {
    Element header;
    if (reader_.ReadHeader(0, reader_.Limit(), header) != HeaderFault::None ||
        header.Id != kEbmlHeaderId || header.UnknownSize) {
        return Fail(Outcome::NotMatroska, "the file does not start with an EBML header");
    }
    // A header without a DocType is a Matroska one.
    file_.DocType = "matroska";
    const bool read = EachChild(header, "the EBML header holds", true, [&](const Element& child) {
        if (child.Id == kDocTypeId && !reader_.ReadString(child, kMaxDocTypeBytes, file_.DocType)) {
            Fail(Outcome::Damaged, "the EBML header's DocType does not read");
            return Step::Stop;
        }
        return Step::Next;
    });
    if (!read) {
        return false;
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

// Tracks that the SeekHead led to but that lie inside another element of the Segment (an old
// copy that a Void now covers) are not the Tracks that a reader going through the Segment in
// order takes. The walk then looks for those, and keeps what the copy gave if it finds none.
void Walk::PassDeadTracks(const Element& child) {
    if (deadTracksParent_ != 0 || seekTracksPos_ <= child.Pos || seekTracksPos_ >= child.End) {
        return;
    }
    deadTracksParent_ = child.Pos;
    deadTracksParentId_ = child.Id;
    deadTracksRead_ = file_;
    file_.Result = Outcome::NotMatroska;
    file_.Reason.clear();
    file_.WriteRefusal.clear();
    tracksRead_ = false;
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
        PassDeadTracks(child);
        if (seekTracksPos_ == 0) {
            passed_.push_back(child);
        }
        if (child.Id == kCrc32Id) {
            segmentCrc_ = true;
        } else if (child.Id == kSeekHeadId && !tracksRead_ && !child.UnknownSize &&
                   deadTracksParent_ == 0) {
            if (!TracksFromSeekHead(child)) {
                return false;
            }
            for (const Element& before : passed_) {
                PassDeadTracks(before);
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
            // Info says only how long a timestamp tick is: a fault in it loses no more than that.
            EachChild(child, "Info holds", false, [&](const Element& field) {
                std::uint64_t scale = 0;
                if (field.Id == kTimestampScaleId && reader_.ReadUnsigned(field, scale) &&
                    scale != 0) {
                    file_.TimestampScale = scale;
                }
                return Step::Next;
            });
        }
        if (child.UnknownSize && (child.Id != kClusterId || !SkipUnknownCluster(child, pos))) {
            break;
        }
        if (!child.UnknownSize) {
            pos = child.End;
        }
    }
    if (!tracksRead_) {
        const std::string why = OverBudget() ? "no Tracks within the first 64 KiB of headers"
                                             : "no Tracks in the Segment";
        return Fail(Outcome::Damaged, indexNote_.empty()
                                          ? why
                                          : why + " (the SeekHead was left: " + indexNote_ + ")");
    }
    return true;
}

// The SeekHead says where Tracks lie; an entry that points at anything else is passed over and
// the walk finds Tracks itself. Its listing is read under its own budget.
bool Walk::TracksFromSeekHead(const Element& seekHead) {
    inIndex_ = true;
    indexStart_ = reader_.BytesRead();
    Element tracks;
    bool found = false;
    EachChild(seekHead, "the SeekHead holds", false, [&](const Element& seek) {
        if (seek.Id != kSeekId) {
            return Step::Next;
        }
        std::uint64_t id = 0;
        std::uint64_t position = 0;
        EachChild(seek, "a Seek holds", false, [&](const Element& field) {
            if (field.Id == kSeekIdId) {
                reader_.ReadUnsigned(field, id);
            } else if (field.Id == kSeekPositionId) {
                reader_.ReadUnsigned(field, position);
            }
            return Step::Next;
        });
        const auto room = static_cast<std::uint64_t>(file_.SegmentEnd - file_.SegmentDataPos);
        if (id != kTracksId || position >= room) {
            return Step::Next;
        }
        const std::int64_t at = file_.SegmentDataPos + static_cast<std::int64_t>(position);
        found = reader_.ReadHeader(at, file_.SegmentEnd, tracks) == HeaderFault::None &&
                tracks.Id == kTracksId && !tracks.UnknownSize;
        return found ? Step::Done : Step::Next;
    });
    indexBytes_ += reader_.BytesRead() - indexStart_;
    inIndex_ = false;
    if (!found) {
        return true;
    }
    seekTracksPos_ = tracks.Pos;
    return ReadTracks(tracks);
}

bool Walk::ReadVideo(const Element& video, VideoTrack& track) {
    return EachChild(video, "the track's Video holds", true, [&](const Element& child) {
        if (child.Id == kPixelWidthId) {
            reader_.ReadUnsigned(child, track.Width);
        } else if (child.Id == kPixelHeightId) {
            reader_.ReadUnsigned(child, track.Height);
        }
        return Step::Next;
    });
}

// The names of ContentCompAlgo's values; header removal is the one the frame reader undoes.
constexpr std::uint64_t kHeaderRemoval = 3;
constexpr std::size_t kMaxPrefixBytes = 256;
constexpr std::uint64_t kScopeFrames = 1;
constexpr std::uint64_t kScopePrivate = 2;

std::string AlgoName(std::uint64_t algo) {
    constexpr std::array<const char*, 4> kNames{"zlib", "bzlib", "lzo1x", "header removal"};
    return algo < kNames.size() ? kNames[algo] : "algorithm " + std::to_string(algo);
}

// Each ContentEncoding says what it covers (its scope: 1 the frames, 2 CodecPrivate, 4 the next
// encoding's settings) and how (compression by an algorithm, or encryption).
bool Walk::ReadEncodings(const Element& encodings, VideoTrack& track) {
    int overFrames = 0;
    return EachChild(encodings, "a track's ContentEncodings hold", true, [&](const Element& one) {
        if (one.Id != kContentEncodingId) {
            return Step::Next;
        }
        std::uint64_t scope = kScopeFrames;
        std::uint64_t type = 0;
        std::uint64_t algo = 0;
        std::string settings;
        bool settingsRead = true;
        const bool read =
            EachChild(one, "a ContentEncoding holds", true, [&](const Element& field) {
                if (field.Id == kContentEncodingScopeId) {
                    reader_.ReadUnsigned(field, scope);
                } else if (field.Id == kContentEncodingTypeId) {
                    reader_.ReadUnsigned(field, type);
                } else if (field.Id == kContentCompressionId) {
                    const bool inner = EachChild(
                        field, "a ContentCompression holds", true, [&](const Element& part) {
                            if (part.Id == kContentCompAlgoId) {
                                reader_.ReadUnsigned(part, algo);
                            } else if (part.Id == kContentCompSettingsId) {
                                settingsRead = ReadBytes(reader_, part, kMaxPrefixBytes, settings);
                            }
                            return Step::Next;
                        });
                    return inner ? Step::Next : Step::Stop;
                }
                return Step::Next;
            });
        if (!read) {
            return Step::Stop;
        }
        track.PrivateEncoded = track.PrivateEncoded || (scope & kScopePrivate) != 0;
        if ((scope & kScopeFrames) == 0) {
            return Step::Next;
        }
        ++overFrames;
        if (overFrames > 1) {
            track.FramesEncoded = "the video track's frames are stored with " +
                                  std::to_string(overFrames) + " content encodings";
        } else if (type != 0) {
            track.FramesEncoded = "the video track's frames are stored encrypted";
        } else if (algo != kHeaderRemoval || !settingsRead) {
            track.FramesEncoded =
                "the video track's frames are stored compressed (" + AlgoName(algo) + ")";
        } else {
            track.FramePrefix.assign(settings.begin(), settings.end());
        }
        return Step::Next;
    });
}

Step Walk::EntryField(const Element& child, VideoTrack& track, std::uint64_t& type) {
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
            Fail(Outcome::Damaged, "a CodecID too long to be one" + At(child.Pos));
            return Step::Stop;
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
        return ReadEncodings(child, track) ? Step::Next : Step::Stop;
    case kCrc32Id:
        track.CoveredByCrc = true;
        break;
    case kVideoId:
        return ReadVideo(child, track) ? Step::Next : Step::Stop;
    default:
        break;
    }
    return Step::Next;
}

bool Walk::ReadEntry(const Element& entry, VideoTrack& track, bool& video) {
    track.EntryPos = entry.Pos;
    std::uint64_t type = 0;
    if (!EachChild(entry, "a TrackEntry holds", true,
                   [&](const Element& child) { return EntryField(child, track, type); })) {
        return false;
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
    int listed = 0; // video tracks FFmpeg lists as streams
    bool anyDefault = false;
    bool anyEnabled = false;
    const bool read = EachChild(tracks, "Tracks hold", true, [&](const Element& child) {
        if (child.Id == kCrc32Id) {
            tracksCrc = true;
        } else if (child.Id == kTrackEntryId) {
            VideoTrack track;
            bool video = false;
            if (!ReadEntry(child, track, video)) {
                return Step::Stop;
            }
            if (!video) {
                return Step::Next;
            }
            track.VideoIndex = listed;
            listed += track.CodecId.empty() || track.CodecId[0] != 'V' ? 0 : 1;
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
        return Step::Next;
    });
    if (!read) {
        if (OverBudget()) {
            file_.Reason = "Tracks larger than 64 KiB of headers";
        }
        return false;
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

// The bitmap header a VfW track's CodecPrivate holds, whose compression code players take.
constexpr std::int64_t kBitmapHeaderBytes = 40;

void Walk::TakeChosen(const VideoTrack& track, bool tracksCrc) {
    file_.Video = track;
    file_.Video.CoveredByCrc = track.CoveredByCrc || tracksCrc || segmentCrc_;
    file_.Result = Outcome::Read;
    file_.Compression = 0;
    file_.CompressionPos = 0;
    file_.WriteRefusal.clear();
    if (track.CodecId != kVfwCodecId) {
        file_.WriteRefusal = "no code to change: the track's CodecID \"" + track.CodecId +
                             "\" names its codec, and it has no compression code";
        return;
    }
    if (track.PrivateEncoded) {
        file_.WriteRefusal = "the track's data is stored compressed (ContentEncodings), so its "
                             "CodecPrivate may not hold the code as it reads";
        return;
    }
    // Players take no code from less than a whole bitmap header.
    if (track.PrivatePos == 0 || track.PrivateSize < kBitmapHeaderBytes) {
        file_.WriteRefusal = "the track's CodecPrivate holds " + std::to_string(track.PrivateSize) +
                             " bytes, less than a whole bitmap header (" +
                             std::to_string(kBitmapHeaderBytes) +
                             " bytes), so players take no "
                             "code from it";
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
    if (deadTracksParent_ != 0) {
        if (!tracksRead_) {
            const std::int64_t firstCluster = file_.FirstClusterPos;
            file_ = deadTracksRead_;
            file_.FirstClusterPos = firstCluster;
        }
        if (file_.Result == Outcome::Read) {
            file_.WriteRefusal =
                "the SeekHead points at Tracks inside " +
                std::string(deadTracksParentId_ == kVoidId ? "a Void element" : "another element") +
                At(deadTracksParent_) +
                ", an old copy that some readers take and others pass over; nothing is written "
                "while they may disagree on the code";
        }
    }
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
