#include "avi/VmAVIFile.h"

#include "codecs/CodecCatalog.h"
#include "support/AviBuilder.h"
#include "support/MemoryStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vidtag {
namespace {

using namespace vidtag::test;
using Names = std::vector<std::string>;

// A reader over bytes in memory, scanned; nodes named "id" or, for lists, "id/type".
struct Scanned {
    explicit Scanned(Bytes bytes) : stream(std::move(bytes)), reader(&stream) { reader.Scan(); }

    std::string Name(std::int32_t node) const {
        const ChunkNode& n = reader.Node(node);
        std::string name = FourCCToString(n.Id);
        if (n.ListType != 0) {
            name += '/';
            name += FourCCToString(n.ListType);
        }
        return name;
    }
    Names Chain(std::int32_t first) const {
        Names names;
        for (std::int32_t c = first; c != kNoNode; c = reader.GetNext(c)) {
            names.push_back(Name(c));
        }
        return names;
    }
    Names Children(std::int32_t node) const { return Chain(reader.Node(node).FirstChild); }

    TestMemoryStream stream;
    TVmAVIFileReader reader;
};

// "RIFF" "AVI " left open, with a closed header list holding one video stream.
RiffBuilder AviHead(FourCC handler = FCC("xvid"), FourCC compression = FCC("XVID")) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), MainHeader(1));
    b.StreamList(StrhData(FCC("vids"), handler), BitmapInfoHeader(compression));
    b.End();
    return b;
}

TEST(AviScanSamples, CodesAndPositionsOfEveryRealFile) {
    struct Case {
        std::string file;
        CodePair codes;
        std::int64_t headerPos, formatPos;
    };
    std::vector<Case> cases = {
        {"case-XVID-XVID.avi", {FCC("XVID"), FCC("XVID")}, 108, 172},
        {"case-divx-DX50.avi", {FCC("divx"), FCC("DX50")}, 108, 172},
        {"audio-first-div3.avi", {FCC("div3"), FCC("DIV3")}, 4336, 4400},
        {"two-video-div3-mp43.avi", {FCC("mp43"), FCC("MP43")}, 4436, 4500},
        {"no-strf-xvid.avi", {FCC("xvid"), 0}, 108, 0},
        {"opendml-avix-xvid.avi", {FCC("xvid"), FCC("XVID")}, 108, 172},
    };
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        char name[32];
        std::snprintf(name, sizeof name, "kind%02d-%s.avi", kind,
                      FourCCToString(CodePairOf(kind).Handler).c_str());
        cases.push_back({name, CodePairOf(kind), 108, 172});
    }
    // Other test programs read the same samples at the same time: on Windows an exclusive open
    // fails while they do, so the samples are opened the way the engine opens them.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TFileStream64 file(SamplePath(c.file), kModeRead | kShareDenyNone);
        TVmAVIFileReader reader(&file);
        ASSERT_EQ(reader.ErrorCode, 0);
        reader.Scan();
        EXPECT_EQ(FourCCToString(reader.VideoHandler()), FourCCToString(c.codes.Handler));
        EXPECT_EQ(FourCCToString(reader.VideoCompression()), FourCCToString(c.codes.Compression));
        EXPECT_EQ(reader.VideoHeaderPos, c.headerPos);
        EXPECT_EQ(reader.VideoFormatPos, c.formatPos);
        // The walk stops at the first movi list: it is the last node and was not entered.
        EXPECT_EQ(reader.Node(reader.NodeCount - 1).ListType, FCC("movi"));
        EXPECT_EQ(reader.Node(reader.NodeCount - 1).FirstChild, kNoNode);
    }
    TFileStream64 text(SamplePath("not-riff-text.avi"), kModeRead | kShareDenyNone);
    EXPECT_EQ(TVmAVIFileReader(&text).ErrorCode, -4);
}

TEST(AviScanSamples, TreeOfTheOpenDmlFile) {
    Scanned s(ReadFileBytes(SamplePath("opendml-avix-xvid.avi")));
    EXPECT_EQ(s.Chain(0), Names({"RIFF/AVI "})); // the "AVIX" part lies behind movi
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "JUNK", "LIST/movi"}));
    const std::int32_t hdrl = s.reader.FindList(0, FCC("LIST"), FCC("hdrl"));
    EXPECT_EQ(s.Children(hdrl), Names({"avih", "LIST/strl", "LIST/odml"}));
    EXPECT_EQ(s.Children(s.reader.FindList(hdrl, FCC("LIST"), FCC("strl"))),
              Names({"strh", "strf", "JUNK", "vprp"}));
    EXPECT_EQ(s.stream.GetPosition(), 5720 + 25450); // left at the end of movi
    EXPECT_TRUE(s.reader.HeadersRead);
}

TEST(AviScanLayouts, JunkAndInfoBeforeMoviAreChildrenOfThePart) {
    RiffBuilder b = AviHead();
    b.Chunk(FCC("JUNK"), Bytes(10, 0));
    b.BeginList(FCC("LIST"), FCC("INFO"));
    b.Chunk(FCC("ISFT"), Bytes(5, 'x'));
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 1));
    Scanned s(b.Take());
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "JUNK", "LIST/INFO", "LIST/movi"}));
    EXPECT_EQ(s.Children(s.reader.FindList(0, FCC("LIST"), FCC("INFO"))), Names({"ISFT"}));
    EXPECT_EQ(s.reader.VideoCompression(), FCC("XVID"));
    EXPECT_EQ(s.reader.RiffStream->StreamCount, 1);
}

TEST(AviScanLayouts, IndexEndsThePartItLiesInOrAdoptsTheRestOfItsList) {
    RiffBuilder direct = AviHead(FCC("div3"));
    direct.Chunk(FCC("idx1"), Bytes(16, 0));
    direct.Chunk(FCC("JUNK"), Bytes(4, 0));
    Scanned first(direct.Take());
    EXPECT_EQ(first.Children(0), Names({"LIST/hdrl", "idx1"}));
    EXPECT_EQ(first.reader.VideoHandler(), FCC("div3"));

    for (const FourCC form : {FCC("AVI "), FCC("AVIX")}) {
        RiffBuilder b;
        b.BeginList(FCC("RIFF"), form);
        b.BeginList(FCC("LIST"), FCC("INFO"));
        b.Chunk(FCC("idx1"), Bytes(16, 0));
        b.Chunk(FCC("ISFT"), Bytes(4, 'x'));
        Scanned s(b.Take());
        // Without an "AVI " part the index has no part to join and stays at the top level.
        const std::int32_t idx1 = form == FCC("AVI ") ? s.reader.FindChild(0, FCC("idx1"))
                                                      : s.reader.FindChild(kNoNode, FCC("idx1"));
        ASSERT_NE(idx1, kNoNode);
        EXPECT_EQ(s.Children(idx1), Names({"ISFT"}));
        EXPECT_FALSE(s.reader.HeadersRead); // no hdrl
    }
}

TEST(AviScanLayouts, PartWithoutMoviThenExtensionPartEndsAtTheExtension) {
    RiffBuilder b = AviHead(FCC("divx"), FCC("DIVX"));
    b.BeginList(FCC("LIST"), FCC("rec ")); // empty
    b.End();
    b.Chunk(FCC("JUNK"), Bytes(2, 0));
    b.End();
    b.BeginList(FCC("RIFF"), FCC("AVIX"));
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 1));
    Scanned s(b.Take());
    EXPECT_EQ(s.Chain(0), Names({"RIFF/AVI ", "RIFF/AVIX"}));
    EXPECT_EQ(s.Children(0), Names({"LIST/hdrl", "LIST/rec ", "JUNK"}));
    EXPECT_EQ(s.reader.GetDataSize(s.reader.FindList(0, FCC("LIST"), FCC("rec "))), 0);
    // Nothing inside the extension was added.
    EXPECT_EQ(s.reader.FindList(kNoNode, FCC("RIFF"), FCC("AVIX")), s.reader.NodeCount - 1);
    EXPECT_EQ(s.reader.VideoCompression(), FCC("DIVX"));
}

TEST(AviScanLayouts, ResyncFromTheStartOfTheFileNeverEntersTheFileHeaderAgain) {
    AviFile avi = BuildAvi();
    // The main header claims to run past its list: the walk resynchronises, and its first scan
    // starts at the beginning of the file, where it meets the file's own header again. The
    // scan that follows starts behind that header, as every scan of a walk starts at byte 8
    // or later, so the header is never entered again and the top level keeps a single part.
    avi.bytes[avi.avih.header + 5] = 0x01;
    Scanned s(avi.bytes);
    EXPECT_TRUE(s.reader.RiffStream->Resync);
    EXPECT_EQ(s.Chain(0), Names({"RIFF/AVI "}));
    EXPECT_EQ(s.Name(s.reader.NodeCount - 1), "LIST/movi");
    EXPECT_TRUE(s.reader.HeadersRead);
}

// An audio stream list first, holding an "odml" list that claims `extra` bytes more than it
// holds, then the XviD stream's list.
struct OdmlOvershoot {
    explicit OdmlOvershoot(std::uint32_t extra) {
        RiffBuilder b;
        b.BeginList(FCC("RIFF"), FCC("AVI "));
        b.BeginList(FCC("LIST"), FCC("hdrl"));
        b.Chunk(FCC("avih"), MainHeader(2));
        b.BeginList(FCC("LIST"), FCC("strl"));
        b.Chunk(FCC("strh"), StrhData(FCC("auds"), 0));
        b.Chunk(FCC("strf"), WaveFormat());
        b.BeginList(FCC("LIST"), FCC("odml"));
        b.Chunk(FCC("dmlh"), Bytes(248, 0));
        b.EndWithSize(4 + 8 + 248 + extra);
        b.End();
        video = b.StreamList(StrhData(FCC("vids"), FCC("xvid")), BitmapInfoHeader(FCC("XVID")));
        b.End();
        b.Chunk(FCC("JUNK"), Bytes(64, 0));
        b.BeginList(FCC("LIST"), FCC("movi"));
        b.Chunk(FCC("00dc"), Bytes(100, 0x41));
        bytes = b.Take();
    }
    Bytes bytes;
    StreamPlaced video;
};

TEST(AviScanLayouts, StreamListAfterAListThatOutgrewItsParentIsFoundInItsPlace) {
    // Up to the video list's own 124 bytes the walk leaves the odml and the audio list by
    // moving back, and walks the video list again inside hdrl.
    for (std::uint32_t extra = 2; extra <= 124; ++extra) {
        const OdmlOvershoot file(extra);
        Scanned s(file.bytes);
        EXPECT_FALSE(s.reader.RiffStream->Resync) << extra;
        EXPECT_EQ(s.reader.VideoHeaderPos, static_cast<std::int64_t>(file.video.strh.data))
            << extra;
        EXPECT_EQ(s.reader.VideoFormatPos, static_cast<std::int64_t>(file.video.strf.data))
            << extra;
    }
}

TEST(AviScanLayouts, StreamHeadersAreReadOncePerScan) {
    // Reads that start at the video stream header's data.
    struct CountingStream : TestMemoryStream {
        using TestMemoryStream::TestMemoryStream;
        std::int64_t Read(void* buffer, std::int64_t count) override {
            headerReads += GetPosition() == at ? 1 : 0;
            return TestMemoryStream::Read(buffer, count);
        }
        std::int64_t at = 0;
        int headerReads = 0;
    };
    AviFile withMovi = BuildAvi();
    AviFile withoutMovi = BuildAvi();
    withoutMovi.bytes.resize(withoutMovi.movi.header);
    for (AviFile* avi : {&withMovi, &withoutMovi}) {
        CountingStream stream(avi->bytes);
        stream.at = static_cast<std::int64_t>(avi->video.strh.data);
        TVmAVIFileReader reader(&stream);
        reader.Scan();
        EXPECT_EQ(stream.headerReads, 1);
        reader.Scan();
        EXPECT_EQ(stream.headerReads, 2);
    }
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
