#include "VmAVIFile.h"

#include "support/AviBuilder.h"
#include "support/MemoryStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace vidtag {
namespace {

using namespace vidtag::test;

// A reader over bytes in memory, scanned.
struct Scanned {
    explicit Scanned(Bytes bytes) : stream(std::move(bytes)), reader(&stream) { reader.Scan(); }

    // "id" for a chunk, "id/type" for a list.
    std::string Name(std::int32_t node) const {
        const ChunkNode& n = reader.Node(node);
        std::string name = FourCCToString(n.Id);
        if (n.ListType != 0) {
            name += '/';
            name += FourCCToString(n.ListType);
        }
        return name;
    }
    std::vector<std::string> Chain(std::int32_t first) const {
        std::vector<std::string> names;
        for (std::int32_t c = first; c != kNoNode; c = reader.GetNext(c)) {
            names.push_back(Name(c));
        }
        return names;
    }
    std::vector<std::string> Children(std::int32_t node) const {
        return Chain(reader.Node(node).FirstChild);
    }
    std::vector<std::string> TopLevel() const { return Chain(0); }

    TestMemoryStream stream;
    TVmAVIFileReader reader;
};

using Names = std::vector<std::string>;

TEST(AviScanSamples, CodesAndPositionsOfEveryRealFile) {
    struct Case {
        const char* file;
        FourCC handler, compression;
        std::int64_t headerPos, formatPos;
    };
    const Case cases[] = {
        {"kind01-mpg4.avi", FCC("mpg4"), FCC("MPG4"), 108, 172},
        {"kind02-mp42.avi", FCC("mp42"), FCC("MP42"), 108, 172},
        {"kind03-mp43.avi", FCC("mp43"), FCC("MP43"), 108, 172},
        {"kind04-div1.avi", FCC("div1"), FCC("DIV1"), 108, 172},
        {"kind05-div2.avi", FCC("div2"), FCC("DIV2"), 108, 172},
        {"kind06-div3.avi", FCC("div3"), FCC("DIV3"), 108, 172},
        {"kind07-div4.avi", FCC("div4"), FCC("DIV3"), 108, 172},
        {"kind08-ap41.avi", FCC("ap41"), FCC("AP41"), 108, 172},
        {"kind09-ap42.avi", FCC("ap42"), FCC("AP42"), 108, 172},
        {"kind10-xvid.avi", FCC("xvid"), FCC("XVID"), 108, 172},
        {"kind11-divx.avi", FCC("divx"), FCC("DIVX"), 108, 172},
        {"kind12-divx.avi", FCC("divx"), FCC("DX50"), 108, 172},
        {"kind13-3iv2.avi", FCC("3iv2"), FCC("3IV2"), 108, 172},
        {"case-XVID-XVID.avi", FCC("XVID"), FCC("XVID"), 108, 172},
        {"case-divx-DX50.avi", FCC("divx"), FCC("DX50"), 108, 172},
        {"audio-first-div3.avi", FCC("div3"), FCC("DIV3"), 4336, 4400},
        {"two-video-div3-mp43.avi", FCC("mp43"), FCC("MP43"), 4436, 4500},
        {"no-strf-xvid.avi", FCC("xvid"), 0, 108, 0},
        {"opendml-avix-xvid.avi", FCC("xvid"), FCC("XVID"), 108, 172},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TFileStream64 file(SamplePath(c.file), kModeRead);
        TVmAVIFileReader reader(&file);
        ASSERT_EQ(reader.ErrorCode, 0);
        reader.Scan();
        EXPECT_TRUE(reader.HeadersRead);
        EXPECT_EQ(FourCCToString(reader.VideoHandler()), FourCCToString(c.handler));
        EXPECT_EQ(FourCCToString(reader.VideoCompression()), FourCCToString(c.compression));
        EXPECT_EQ(reader.VideoHeaderPos, c.headerPos);
        EXPECT_EQ(reader.VideoFormatPos, c.formatPos);
        // The walk stops at the first movi list: it is the last node and was not entered.
        const std::int32_t movi = reader.NodeCount - 1;
        EXPECT_EQ(reader.Node(movi).ListType, FCC("movi"));
        EXPECT_EQ(reader.Node(movi).FirstChild, kNoNode);
        EXPECT_EQ(reader.FindList(kNoNode, FCC("RIFF"), FCC("AVIX")), kNoNode);
    }
    TFileStream64 text(SamplePath("not-riff-text.avi"), kModeRead);
    EXPECT_EQ(TVmAVIFileReader(&text).ErrorCode, -4);
}

TEST(AviScanSamples, TreeOfTheOpenDmlFile) {
    Scanned s(ReadFileBytes(SamplePath("opendml-avix-xvid.avi")));
    EXPECT_EQ(s.TopLevel(), Names({"RIFF/AVI "}));
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "JUNK", "LIST/movi"}));
    const std::int32_t hdrl = s.reader.FindList(0, FCC("LIST"), FCC("hdrl"));
    EXPECT_EQ(s.Children(hdrl), Names({"avih", "LIST/strl", "LIST/odml"}));
    EXPECT_EQ(s.Children(s.reader.FindList(hdrl, FCC("LIST"), FCC("strl"))),
              Names({"strh", "strf", "JUNK", "vprp"}));
    EXPECT_EQ(s.stream.GetPosition(), 5720 + 25450); // left at the end of movi
}

TEST(AviScanLayouts, JunkAndInfoBeforeMoviAreChildrenOfThePart) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), MainHeader(1));
    const StreamPlaced video =
        b.StreamList(StrhData(FCC("vids"), FCC("xvid")), BitmapInfoHeader(FCC("XVID")));
    b.End();
    b.Chunk(FCC("JUNK"), Bytes(10, 0));
    b.BeginList(FCC("LIST"), FCC("INFO"));
    b.Chunk(FCC("ISFT"), Bytes(5, 'x'));
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 1));
    b.End();
    Scanned s(b.Take());
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "JUNK", "LIST/INFO", "LIST/movi"}));
    EXPECT_EQ(s.Children(s.reader.FindList(0, FCC("LIST"), FCC("INFO"))), Names({"ISFT"}));
    EXPECT_EQ(s.reader.VideoFormatPos, static_cast<std::int64_t>(video.strf.data));
    EXPECT_EQ(s.reader.RiffStream->StreamCount, 1);
}

TEST(AviScanLayouts, IndexDirectlyInThePartEndsTheWalk) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.StreamList(StrhData(FCC("vids"), FCC("div3")), BitmapInfoHeader(FCC("DIV3")));
    b.End();
    b.Chunk(FCC("idx1"), Bytes(16, 0));
    b.Chunk(FCC("JUNK"), Bytes(4, 0));
    Scanned s(b.Take());
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "idx1"}));
    EXPECT_EQ(s.reader.VideoHandler(), FCC("div3"));
}

TEST(AviScanLayouts, IndexInsideAnotherListBecomesTheParentOfWhatFollows) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("INFO"));
    b.Chunk(FCC("idx1"), Bytes(16, 0));
    b.Chunk(FCC("ISFT"), Bytes(4, 'x'));
    b.End();
    Scanned s(b.Take());
    EXPECT_EQ(s.Children(0), Names({"LIST/INFO", "idx1"}));
    EXPECT_EQ(s.Children(s.reader.FindChild(0, FCC("idx1"))), Names({"ISFT"}));
    EXPECT_FALSE(s.reader.HeadersRead); // no hdrl
}

TEST(AviScanLayouts, IndexWithoutAnAviPartStaysAtTheTopLevel) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVIX"));
    b.BeginList(FCC("LIST"), FCC("INFO"));
    b.Chunk(FCC("idx1"), Bytes(16, 0));
    b.End();
    Scanned s(b.Take());
    EXPECT_EQ(s.TopLevel(), Names({"RIFF/AVIX", "idx1"}));
}

TEST(AviScanLayouts, PartWithoutMoviThenExtensionPartEndsAtTheExtension) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.StreamList(StrhData(FCC("vids"), FCC("divx")), BitmapInfoHeader(FCC("DIVX")));
    b.End();
    b.BeginList(FCC("LIST"), FCC("rec ")); // an empty list
    b.End();
    b.Chunk(FCC("JUNK"), Bytes(2, 0));
    b.End();
    b.BeginList(FCC("RIFF"), FCC("AVIX"));
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 1));
    Scanned s(b.Take());
    EXPECT_EQ(s.TopLevel(), Names({"RIFF/AVI ", "RIFF/AVIX"}));
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "LIST/rec ", "JUNK"}));
    EXPECT_EQ(s.reader.GetDataSize(s.reader.FindList(0, FCC("LIST"), FCC("rec "))), 0);
    // Nothing inside the extension was added.
    EXPECT_EQ(s.reader.FindList(kNoNode, FCC("RIFF"), FCC("AVIX")), s.reader.NodeCount - 1);
    EXPECT_EQ(s.reader.VideoCompression(), FCC("DIVX"));
}

TEST(AviScanLayouts, ResyncBackAtTheFileHeaderGoesOnToTheMovieData) {
    AviFile avi = BuildAvi();
    // The main header claims to run past its list: the walk resynchronises, and its first scan
    // starts at the beginning of the file, where it meets the file's own header again.
    avi.bytes[avi.avih.header + 5] = 0x01;
    Scanned s(avi.bytes);
    EXPECT_TRUE(s.reader.RiffStream->Resync);
    for (std::int32_t top = 0; top != kNoNode; top = s.reader.GetNext(top)) {
        EXPECT_EQ(s.Name(top), "RIFF/AVI ");
        EXPECT_EQ(s.reader.GetDataPos(top), 12);
    }
    EXPECT_EQ(s.Name(s.reader.NodeCount - 1), "LIST/movi");
    EXPECT_TRUE(s.reader.HeadersRead);
}

TEST(AviScanLayouts, TwelveByteFileAndUnreadableFirstChunk) {
    Scanned header(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_EQ(header.reader.NodeCount, 1);
    EXPECT_FALSE(header.reader.HeadersRead);
    EXPECT_EQ(header.reader.VideoHandler(), 0u);

    Scanned notRiff(Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_EQ(notRiff.reader.NodeCount, 0);
    Scanned cut(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V'});
    EXPECT_EQ(cut.reader.NodeCount, 0);
    EXPECT_FALSE(cut.reader.HeadersRead);
}

} // namespace
} // namespace vidtag
