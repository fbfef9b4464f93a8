#include "matroska/MatroskaFile.h"
#include "matroska/Ebml.h"
#include "streams/MemoryStream64.h"
#include "video/MatroskaStreamFacts.h"
#include "video/StreamText.h"

#include "support/MatroskaBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

using namespace vidtag;
using namespace vidtag::test;
using mkv::Outcome;

namespace {

Bytes Vfw(FourCC code, std::size_t size = 40) {
    Bytes header = BitmapInfoHeader(code, 160, 120);
    header.resize(size);
    return header;
}

Bytes Tracks(const std::vector<Bytes>& entries) {
    return Element(mkv::kTracksId, Join(entries));
}

Bytes XvidTracks() {
    return Tracks({TrackEntry({.Private = Vfw(FCC("XVID"))})});
}

Bytes Cluster() {
    return Element(mkv::kClusterId, Join({Unsigned(mkv::kClusterTimestampId, 0),
                                          Element(mkv::kSimpleBlockId, Bytes{0x81, 0, 0, 0x80})}));
}

Bytes SeekTo(std::uint32_t id, std::uint64_t position) {
    return Element(mkv::kSeekId, Join({Element(mkv::kSeekIdId, IdBytes(id)),
                                       Unsigned(mkv::kSeekPositionId, position)}));
}

// count 2-byte Void elements.
Bytes Voids(std::size_t count) {
    Bytes voids(count * 2, 0x80);
    for (std::size_t i = 0; i < voids.size(); i += 2) {
        voids[i] = static_cast<std::uint8_t>(mkv::kVoidId);
    }
    return voids;
}

// One ContentEncoding of the scope: header removal of the bytes, or zlib when there are none.
Bytes Encoding(std::uint64_t scope, const Bytes& removed = {}) {
    Bytes compression = Unsigned(mkv::kContentCompAlgoId, removed.empty() ? 0 : 3);
    if (!removed.empty()) {
        compression = Join({compression, Element(mkv::kContentCompSettingsId, removed)});
    }
    return Element(
        mkv::kContentEncodingsId,
        Element(mkv::kContentEncodingId, Join({Unsigned(mkv::kContentEncodingScopeId, scope),
                                               Element(mkv::kContentCompressionId, compression)})));
}

Bytes XvidEntry(const Bytes& extra) {
    return TrackEntry({.Private = Vfw(FCC("XVID")), .Extra = extra});
}

// A Cluster whose one block of track 1 has the flags and the frame.
Bytes BlockCluster(std::uint8_t flags, const Bytes& frame, const Bytes& before = {}) {
    return Element(mkv::kClusterId,
                   Join({Unsigned(mkv::kClusterTimestampId, 0), before,
                         Element(mkv::kSimpleBlockId, Join({Bytes{0x81, 0, 0, flags}, frame}))}));
}

struct Case {
    const char* Name;
    Bytes File;
    Outcome Result;
    std::uint64_t Track;     // the track taken, when Read
    const char* Code;        // the code found, "" for none
    const char* Says;        // in the reason, the refusal or the choice
    const char* Frames = ""; // in the stream line of the frames read
};

// The test's name says which case it is; without this GoogleTest prints the file's bytes.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.Name;
}

std::vector<Case> Cases() {
    const Bytes segmentData = Join({XvidTracks(), Cluster()});
    // Tracks after the Cluster, found through the SeekHead: its position counts from the
    // Segment's data.
    const Bytes seekHead = Element(mkv::kSeekHeadId, SeekTo(mkv::kTracksId, 0));
    const Bytes late = Join({Cluster(), XvidTracks()});
    const std::size_t seekSize = Element(mkv::kSeekHeadId, SeekTo(mkv::kTracksId, 100)).size();
    const Bytes seekFirst = Join(
        {Element(mkv::kSeekHeadId, SeekTo(mkv::kTracksId, seekSize + Cluster().size())), late});
    const Bytes twoDisabledFirst =
        Tracks({TrackEntry({.Number = 1, .Private = Vfw(FCC("DIV3")), .Enabled = 0}),
                TrackEntry({.Number = 2, .Private = Vfw(FCC("DX50"))})});
    const Bytes twoDefaultSecond =
        Tracks({TrackEntry({.Number = 1, .Private = Vfw(FCC("DIV3")), .Default = 0}),
                TrackEntry({.Number = 2, .Private = Vfw(FCC("MP43"))})});
    const Bytes audioFirst =
        Tracks({TrackEntry({.Number = 1, .Type = 2, .CodecId = "A_MPEG/L3", .Private = {}}),
                TrackEntry({.Number = 2, .Private = Vfw(FCC("XVID"))})});
    Bytes cut = MkvFile({XvidTracks()});
    cut.resize(cut.size() - 30);
    const Bytes badId = MkvFile({Bytes{0x00, 0x81, 0x00}, XvidTracks()});
    return {
        {"VfwTrack", MkvFile({segmentData}), Outcome::Read, 1, "XVID", ""},
        {"TracksThroughTheSeekHead", MkvFile({seekFirst}), Outcome::Read, 1, "XVID", ""},
        {"SeekHeadPointingElsewhere", MkvFile({seekHead, Cluster(), XvidTracks()}), Outcome::Read,
         1, "XVID", ""},
        {"UnknownSizeSegment",
         Join({EbmlHeader(), ElementSized(mkv::kSegmentId, UnknownSize(), segmentData)}),
         Outcome::Read, 1, "XVID", ""},
        {"UnknownSizeClusterFirst",
         MkvFile({ElementSized(mkv::kClusterId, UnknownSize(),
                               Element(mkv::kSimpleBlockId, Bytes{0x81, 0, 0, 0x80})),
                  XvidTracks()}),
         Outcome::Read, 1, "XVID", ""},
        {"VoidsAndLongSizes",
         MkvFile({Element(mkv::kVoidId, Bytes(200, 0)),
                  ElementSized(mkv::kTracksId, SizeBytes(XvidTracks().size() - 5, 8),
                               Join({TrackEntry({.Private = Vfw(FCC("XVID"))})}))}),
         Outcome::Read, 1, "XVID", ""},
        {"IsoTrackHasNoCode",
         MkvFile({Tracks({TrackEntry({.CodecId = "V_MPEG4/ISO/ASP", .Private = {}})})}),
         Outcome::Read, 1, "", "no code to change"},
        {"ShortPrivate",
         MkvFile({Tracks({TrackEntry({.Private = Vfw(FCC("XVID"), 19), .Enabled = -1})})}),
         Outcome::Read, 1, "", "19 bytes"},
        {"PrivateOf20", MkvFile({Tracks({TrackEntry({.Private = Vfw(FCC("XVID"), 20)})})}),
         Outcome::Read, 1, "", "20 bytes, less than a whole bitmap header"},
        {"CrcInTracks",
         MkvFile({Tracks(
             {Element(mkv::kCrc32Id, Bytes(4, 0)), TrackEntry({.Private = Vfw(FCC("XVID"))})})}),
         Outcome::Read, 1, "XVID", "CRC-32"},
        {"CrcInTheEntry",
         MkvFile({Tracks({TrackEntry({.Private = Vfw(FCC("XVID")), .Crc = true})})}), Outcome::Read,
         1, "XVID", "CRC-32"},
        {"FirstVideoDisabled", MkvFile({twoDisabledFirst}), Outcome::Read, 2, "DX50",
         "first one enabled"},
        {"SecondMarkedDefault", MkvFile({twoDefaultSecond}), Outcome::Read, 2, "MP43",
         "marked default"},
        {"AudioBeforeVideo", MkvFile({audioFirst}), Outcome::Read, 2, "XVID", ""},
        {"WebM", MkvFile({XvidTracks()}, "webm"), Outcome::OtherDocType, 0, "", "WebM"},
        {"OtherDocType", MkvFile({XvidTracks()}, "foo"), Outcome::OtherDocType, 0, "", "foo"},
        {"NotEbml", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}, Outcome::NotMatroska, 0, "", ""},
        {"NoVideo", MkvFile({Tracks({TrackEntry({.Type = 2, .CodecId = "A_AAC", .Private = {}})})}),
         Outcome::NoVideoTrack, 0, "", "no video"},
        {"NoTracks", MkvFile({Cluster()}), Outcome::Damaged, 0, "", "no Tracks"},
        {"CutInsideTracks", cut, Outcome::Damaged, 0, "", "runs past"},
        {"IdThatDoesNotParse", badId, Outcome::Damaged, 0, "", "id that does not parse"},
        {"HugeSizeInTheEntry",
         MkvFile({Tracks({ElementSized(mkv::kTrackEntryId, SizeBytes(0xFFFFFFFFFFFFFEull, 8),
                                       Unsigned(mkv::kTrackTypeId, 1))})}),
         Outcome::Damaged, 0, "", "runs past"},
        {"UnknownSizeEntry",
         MkvFile({Tracks(
             {ElementSized(mkv::kTrackEntryId, UnknownSize(), Unsigned(mkv::kTrackTypeId, 1))})}),
         Outcome::Damaged, 0, "", "Tracks hold an element of unknown size"},
        {"UnknownSizeInTheEbmlHeader",
         Join({Element(mkv::kEbmlHeaderId, ElementSized(mkv::kDocTypeId, UnknownSize(), {})),
               Element(mkv::kSegmentId, XvidTracks())}),
         Outcome::Damaged, 0, "", "the EBML header holds an element of unknown size at byte 5"},
        {"UnknownSizeInTheEntry",
         MkvFile({Tracks({XvidEntry(ElementSized(mkv::kVoidId, UnknownSize(), {}))})}),
         Outcome::Damaged, 0, "", "a TrackEntry holds an element of unknown size"},
        {"UnknownSizeInVideo",
         MkvFile({Tracks({XvidEntry(
             Element(mkv::kVideoId, ElementSized(mkv::kPixelWidthId, UnknownSize(), {})))})}),
         Outcome::Damaged, 0, "", "the track's Video holds an element of unknown size"},
        // Void elements of two bytes count as elements wherever they lie, and as bytes read.
        {"VoidsInTheEbmlHeader",
         Join(
             {Element(mkv::kEbmlHeaderId, Voids(1 << 21)), Element(mkv::kSegmentId, XvidTracks())}),
         Outcome::Damaged, 0, "", "the EBML header holds more than 4096 elements"},
        {"VoidsInTheEntry", MkvFile({Tracks({XvidEntry(Voids(5000))})}), Outcome::Damaged, 0, "",
         "a TrackEntry holds more than 4096 elements"},
        {"VoidsInVideo", MkvFile({Tracks({XvidEntry(Element(mkv::kVideoId, Voids(1 << 21)))})}),
         Outcome::Damaged, 0, "", "the track's Video holds more than 4096 elements"},
        {"VoidsInTheSeekHeadAndInfo",
         MkvFile({Element(mkv::kSeekHeadId, Voids(1 << 21)), Element(mkv::kInfoId, Voids(1 << 21)),
                  XvidTracks()}),
         Outcome::Read, 1, "XVID", ""},
        {"VoidsInABlockGroup",
         MkvFile(
             {XvidTracks(), Element(mkv::kClusterId, Element(mkv::kBlockGroupId, Voids(1 << 20)))}),
         Outcome::Read, 1, "XVID", "", "no video frames read (the walk through the clusters ended"},
        // A SeekHead that lists every Cluster before Tracks costs its own budget, not the
        // headers'.
        {"SeekHeadListingClusters",
         MkvFile({[] {
                      std::vector<Bytes> seeks(3000, SeekTo(mkv::kClusterId, 1 << 20));
                      seeks.push_back(SeekTo(mkv::kTracksId, 0));
                      const Bytes listing = Join(seeks);
                      const std::size_t head = Element(mkv::kSeekHeadId, listing).size();
                      seeks.back() = SeekTo(mkv::kTracksId, head);
                      return Element(mkv::kSeekHeadId, Join(seeks));
                  }(),
                  XvidTracks()}),
         Outcome::Read, 1, "XVID", ""},
        // The SeekHead points at an old copy of Tracks inside a Void: the real Tracks are read,
        // and nothing is written.
        {"SeekHeadPointsIntoAVoid",
         MkvFile({[] {
                      const Bytes copy = Tracks({TrackEntry({.Private = Vfw(FCC("DIV3"))})});
                      const std::size_t head =
                          Element(mkv::kSeekHeadId, SeekTo(mkv::kTracksId, 100)).size();
                      const Bytes voided = Element(mkv::kVoidId, copy);
                      return Join(
                          {Element(mkv::kSeekHeadId,
                                   SeekTo(mkv::kTracksId, head + voided.size() - copy.size())),
                           voided});
                  }(),
                  XvidTracks()}),
         Outcome::Read, 1, "XVID", "inside a Void element"},
        // Frames compressed alone leave CodecPrivate as it reads; compressed CodecPrivate does not.
        {"FramesWithoutTheirHeaders",
         MkvFile({Tracks({XvidEntry(Encoding(1, Bytes{0, 0, 1, 0xB6}))}),
                  BlockCluster(0x80, Bytes{0x10, 0x20})}),
         Outcome::Read, 1, "XVID", "", "MPEG-4"},
        {"FramesInZlib", MkvFile({Tracks({XvidEntry(Encoding(1))}), Cluster()}), Outcome::Read, 1,
         "XVID", "",
         "no video frames read (the video track's frames are stored compressed (zlib))"},
        {"PrivateInZlib", MkvFile({Tracks({XvidEntry(Encoding(3))})}), Outcome::Read, 1, "",
         "stored compressed"},
        {"LacedBlocks", MkvFile({XvidTracks(), BlockCluster(0x82, Bytes{0, 1, 2, 3})}),
         Outcome::Read, 1, "XVID", "", "no video frames read (the video track's blocks are laced)"},
    };
}

class MatroskaFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(MatroskaFileTest, FindsTheVideoTracksCodeOrSaysWhyNot) {
    const Case& c = GetParam();
    TMemoryStream64 stream(c.File);
    const mkv::MatroskaFile file = mkv::ReadMatroska(stream);
    EXPECT_EQ(file.Result, c.Result) << file.Reason;
    const std::string said = file.Reason + file.WriteRefusal + file.Choice;
    EXPECT_NE(said.find(c.Says), std::string::npos) << said;
    if (c.Result == Outcome::Read) {
        EXPECT_EQ(file.Video.Number, c.Track);
    }
    const std::string code = c.Code;
    if (code.empty()) {
        EXPECT_EQ(file.CompressionPos, 0);
    } else {
        EXPECT_EQ(FourCCToString(file.Compression), code);
        // The code found is the one the track's CodecPrivate holds.
        const Bytes& f = c.File;
        const auto at = static_cast<std::size_t>(file.CompressionPos);
        ASSERT_LE(at + 4, f.size());
        EXPECT_EQ(std::string(f.begin() + at, f.begin() + at + 4), code);
        EXPECT_EQ(at, static_cast<std::size_t>(file.Video.PrivatePos + 16));
    }
    EXPECT_LE(file.HeaderBytes, mkv::kMaxHeaderBytes + mkv::kMaxIndexBytes + 4096);
    if (c.Result == Outcome::Read) {
        const std::string line = video::StreamSummary(video::ReadMatroskaFacts(file, stream), 0);
        EXPECT_NE(line.find(c.Frames), std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Built, MatroskaFileTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every cut of a sound file and every byte set to 0xFF in its headers ends in an answer, and a
// code found always lies inside the file.
TEST(MatroskaWalkTest, EveryCutAndEveryBrokenByteEnds) {
    const Bytes whole =
        MkvFile({Element(mkv::kSeekHeadId, SeekTo(mkv::kTracksId, 0)), XvidTracks(), Cluster()});
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        TMemoryStream64 stream(Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
        const mkv::MatroskaFile file = mkv::ReadMatroska(stream);
        EXPECT_TRUE(file.CompressionPos == 0 ||
                    file.CompressionPos + 4 <= static_cast<std::int64_t>(size));
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const std::uint8_t value : {0x00, 0x01, 0xFF}) {
            Bytes broken = whole;
            broken[at] = value;
            TMemoryStream64 stream(broken);
            const mkv::MatroskaFile file = mkv::ReadMatroska(stream);
            EXPECT_TRUE(file.CompressionPos == 0 ||
                        file.CompressionPos + 4 <= static_cast<std::int64_t>(broken.size()));
        }
    }
}

} // namespace
