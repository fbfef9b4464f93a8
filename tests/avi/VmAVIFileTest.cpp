#include "avi/VmAVIFile.h"

#include "support/AviBuilder.h"
#include "support/MemoryStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vidtag {
namespace {

using test::BitmapInfoHeader;
using test::Bytes;
using test::StrhData;
using test::TestMemoryStream;

// A stream that knows its size but delivers no bytes, as a file on a failing disk does.
class UnreadableStream : public TestMemoryStream {
  public:
    using TestMemoryStream::TestMemoryStream;
    std::int64_t Read(void*, std::int64_t) override { return 0; }
};

template <std::size_t N> Bytes Text(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

TEST(AviOpenValidation, SizeAndSignatureDecideTheErrorCodeAndTheReadIsNotUndone) {
    struct Case {
        Bytes bytes;
        std::int32_t error;
        std::int64_t position;
    };
    const Case cases[] = {
        {{}, -4, 0},
        {Text("RIFF\4\0\0\0AVI"), -4, 0}, // 11 bytes
        {Text("RIFF\4\0\0\0AVI "), 0, 4},
        {Text("riff\4\0\0\0AVI "), -4, 4},
        {Text("RIFX\4\0\0\0AVI "), -4, 4},
        {Text("RIFF\4\0\0\0WAVEfmt "), 0, 4}, // the form type is not judged here
    };
    for (const Case& c : cases) {
        TestMemoryStream stream(c.bytes);
        TVmAVIFileReader reader(&stream);
        EXPECT_EQ(reader.ErrorCode, c.error) << c.bytes.size();
        EXPECT_EQ(reader.FileSize, static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(stream.GetPosition(), c.position) << c.bytes.size();
    }
}

TEST(AviOpenValidation, UnreadableFileOrNoFileIsMinusThree) {
    UnreadableStream stream(Text("RIFF\4\0\0\0AVI "));
    EXPECT_EQ(TVmAVIFileReader(&stream).ErrorCode, -3);
    TVmAVIFileReader none(nullptr);
    EXPECT_EQ(none.ErrorCode, -3);
    none.Scan(); // must not touch the missing stream
    EXPECT_EQ(none.NodeCount, 0);
}

class ChunkTree : public ::testing::Test {
  protected:
    std::int32_t Add(std::int32_t parent, FourCC id, FourCC type = 0) {
        return reader.AddNode(parent, id, type, 100 + reader.NodeCount, 8);
    }

    TestMemoryStream stream{Text("RIFF\4\0\0\0AVI ")};
    TVmAVIFileReader reader{&stream};
};

TEST_F(ChunkTree, PagesAreAllocatedWholeAndNeverMove) {
    const std::int32_t root = Add(kNoNode, FCC("RIFF"), FCC("AVI "));
    EXPECT_EQ(reader.NodePages.size(), 512u);
    ASSERT_TRUE(reader.NodePages[0]);
    EXPECT_FALSE(reader.NodePages[1]);
    const ChunkNode* first = &reader.Node(root);

    while (reader.NodeCount < 512) {
        Add(root, FCC("JUNK"));
    }
    EXPECT_FALSE(reader.NodePages[1]);
    EXPECT_EQ(Add(root, FCC("JUNK")), 512);
    ASSERT_TRUE(reader.NodePages[1]);
    EXPECT_EQ(&reader.Node(512), &reader.NodePages[1][0]);

    // The directory grows one node after the first node of page 511.
    while (reader.NodeCount < 261633) {
        Add(root, FCC("JUNK"));
    }
    EXPECT_EQ(reader.NodePages.size(), 512u);
    EXPECT_EQ(Add(root, FCC("00dc")), 261633);
    EXPECT_EQ(reader.NodePages.size(), 1024u);
    EXPECT_EQ(&reader.Node(root), first);
    EXPECT_EQ(reader.Node(root).LastChild, 261633);
    EXPECT_EQ(reader.FindChild(root, FCC("00dc")), 261633);

    reader.Clear();
    EXPECT_EQ(reader.NodeCount, 0);
    EXPECT_TRUE(reader.NodePages.empty());
}

TEST_F(ChunkTree, ChildrenInTheOrderAddedAndSearchesThatFindNothing) {
    EXPECT_EQ(reader.FindChild(kNoNode, FCC("RIFF")), kNoNode); // empty tree
    EXPECT_EQ(reader.FindList(kNoNode, FCC("RIFF"), FCC("AVI ")), kNoNode);
    const std::int32_t root = Add(kNoNode, FCC("RIFF"), FCC("AVI "));
    const std::int32_t hdrl = Add(root, FCC("LIST"), FCC("hdrl"));
    const std::int32_t a = Add(hdrl, FCC("strh"));
    const std::int32_t junk = Add(root, FCC("JUNK"));
    const std::int32_t b = Add(hdrl, FCC("strh"));
    Add(hdrl, FCC("strf"));
    const std::int32_t c = Add(hdrl, FCC("strh"));

    EXPECT_EQ(reader.FindChild(hdrl, FCC("strh")), a);
    EXPECT_EQ(reader.FindNext(a, FCC("strh")), b);
    EXPECT_EQ(reader.FindNext(b, FCC("strh")), c);
    EXPECT_EQ(reader.FindNext(c, FCC("strh")), kNoNode);
    EXPECT_EQ(reader.FindChild(hdrl, FCC("STRH")), kNoNode); // case matters
    EXPECT_EQ(reader.GetNext(hdrl), junk);
    EXPECT_EQ(reader.GetDataPos(b), 100 + b);

    EXPECT_EQ(reader.FindNext(kNoNode, FCC("RIFF")), kNoNode);
    EXPECT_EQ(reader.FindNextList(kNoNode, FCC("RIFF"), FCC("AVI ")), kNoNode);
    const std::int32_t count = reader.NodeCount;
    for (const std::int32_t missing : {count, 512, -2, 0x7FFFFFFF}) {
        EXPECT_EQ(reader.FindChild(missing, FCC("strh")), kNoNode);
        EXPECT_EQ(reader.FindNext(missing, FCC("strh")), kNoNode);
        EXPECT_THROW(reader.Node(missing), std::out_of_range);
        EXPECT_THROW(Add(missing, FCC("JUNK")), std::out_of_range);
    }
    EXPECT_EQ(reader.NodeCount, count);
    EXPECT_EQ(reader.Node(hdrl).LastChild, c);
}

TEST_F(ChunkTree, FindListSkipsToTheExtensionPartAndTheTopLevelRestartsAfterClear) {
    for (int round = 0; round < 2; ++round) {
        const std::int32_t avi = Add(kNoNode, FCC("RIFF"), FCC("AVI "));
        Add(avi, FCC("LIST"), FCC("AVIX")); // a child, not a part
        const std::int32_t junk = Add(kNoNode, FCC("JUNK"));
        const std::int32_t avix = Add(kNoNode, FCC("RIFF"), FCC("AVIX"));
        const std::int32_t avix2 = Add(kNoNode, FCC("RIFF"), FCC("AVIX"));
        EXPECT_EQ(avi, 0);
        EXPECT_EQ(reader.FindList(kNoNode, FCC("RIFF"), FCC("AVIX")), avix);
        EXPECT_EQ(reader.FindNextList(avix, FCC("RIFF"), FCC("AVIX")), avix2);
        EXPECT_EQ(reader.FindChild(kNoNode, FCC("JUNK")), junk);
        EXPECT_EQ(reader.GetNext(avix2), kNoNode);
        reader.Clear();
    }
}

// Stream lists laid out in a file, with the tree the scan would build over them added by hand.
class StreamHeaders : public ::testing::Test {
  protected:
    StreamHeaders() { b.Raw(Text("RIFF\0\0\0\0AVI LIST\0\0\0\0hdrl")); }

    std::int32_t Strl(std::int32_t list) {
        return reader.AddNode(list, FCC("LIST"), FCC("strl"), 0, 0);
    }
    std::int32_t Strl() { return Strl(hdrl); }
    // A chunk holding data but declaring `size` (the data's own size when -1).
    std::int32_t Chunk(std::int32_t list, FourCC id, const Bytes& data, std::int64_t size = -1) {
        size = size < 0 ? static_cast<std::int64_t>(data.size()) : size;
        const auto placed = b.ChunkWithSize(id, static_cast<std::uint32_t>(size), data);
        return reader.AddNode(list, id, 0, static_cast<std::int64_t>(placed.data), size);
    }
    TVmAVIFileReader& Read() {
        const Bytes bytes = b.Take();
        stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        stream.SetPosition(77);
        reader.ReadStreamHeaders();
        EXPECT_EQ(stream.GetPosition(), 77);
        return reader;
    }

    test::RiffBuilder b;
    TestMemoryStream stream;
    TVmAVIFileReader reader{&stream};
    const std::int32_t riff = reader.AddNode(kNoNode, FCC("RIFF"), FCC("AVI "), 12, 0);
    const std::int32_t hdrl = reader.AddNode(riff, FCC("LIST"), FCC("hdrl"), 24, 0);
};

TEST_F(StreamHeaders, VideoAfterAudioWithFormatBeforeHeaderAndAShortStrh) {
    const std::int32_t audio = Strl();
    Chunk(audio, FCC("strh"), StrhData(FCC("auds"), FCC("mp3 ")));
    Chunk(audio, FCC("strf"), BitmapInfoHeader(FCC("AUDS")));
    const std::int32_t video = Strl();
    const std::int32_t strf = Chunk(video, FCC("strf"), BitmapInfoHeader(FCC("DX50")));
    const std::int32_t strh = Chunk(video, FCC("strh"), StrhData(FCC("vids"), FCC("divx")));
    TVmAVIFileReader& r = Read();
    EXPECT_TRUE(r.HeadersRead);
    EXPECT_EQ(r.VideoHeaderPos, r.GetDataPos(strh));
    EXPECT_EQ(r.VideoFormatPos, r.GetDataPos(strf));
    EXPECT_EQ(r.VideoHandler(), FCC("divx"));
    EXPECT_EQ(r.VideoCompression(), FCC("DX50"));
    // The 56-byte header is followed by nothing of it in the copy.
    EXPECT_EQ(Bytes(r.VideoStreamHeader.begin() + 56, r.VideoStreamHeader.end()), Bytes(8, 0));
}

TEST_F(StreamHeaders, LastVideoListWinsEachRecordOnlyWithAWholeCodeField) {
    const std::int32_t first = Strl();
    Chunk(first, FCC("strh"), StrhData(FCC("vids"), FCC("div3")));
    const std::int32_t firstFormat = Chunk(first, FCC("strf"), BitmapInfoHeader(FCC("DIV3")));
    const std::int32_t second = Strl(); // format of 16 bytes: its compression code is missing
    Chunk(second, FCC("strh"), StrhData(FCC("vids"), FCC("mp43")));
    Chunk(second, FCC("strf"), BitmapInfoHeader(FCC("MP43")), 16);
    const std::int32_t third = Strl(); // no format at all
    const std::int32_t lastHeader = Chunk(third, FCC("strh"), StrhData(FCC("vids"), FCC("div4")));
    const std::int32_t orphan = Strl(); // a format without a header is nobody's
    Chunk(orphan, FCC("strf"), BitmapInfoHeader(FCC("XVID")));
    const std::int32_t cut = Strl(); // compression field cut off by its chunk: no format
    const std::int32_t cutHeader = Chunk(cut, FCC("strh"), StrhData(FCC("vids"), FCC("div4")));
    Chunk(cut, FCC("strf"), BitmapInfoHeader(FCC("XVID")), 19);
    TVmAVIFileReader& r = Read();
    EXPECT_EQ(r.VideoHeaderPos, r.GetDataPos(cutHeader));
    EXPECT_NE(r.VideoHeaderPos, r.GetDataPos(lastHeader));
    EXPECT_EQ(r.VideoHandler(), FCC("div4"));
    EXPECT_EQ(r.VideoFormatPos, r.GetDataPos(firstFormat));
    EXPECT_EQ(r.VideoCompression(), FCC("DIV3"));
}

TEST_F(StreamHeaders, AHeaderCutBeforeItsHandlerStillReplacesTheEarlierOne) {
    const std::int32_t first = Strl();
    Chunk(first, FCC("strh"), StrhData(FCC("vids"), FCC("divx")));
    Chunk(first, FCC("strf"), BitmapInfoHeader(FCC("DX50")));
    const std::int32_t cut = Strl(); // six bytes: the type and half the handler
    Chunk(cut, FCC("strh"), StrhData(FCC("vids"), FCC("divx")), 6);
    const std::int32_t format = Chunk(cut, FCC("strf"), BitmapInfoHeader(FCC("DIVX")));
    TVmAVIFileReader& r = Read();
    EXPECT_EQ(r.VideoHeaderPos, 0);
    EXPECT_EQ(r.VideoHandler(), FCC("di\0\0"));
    EXPECT_EQ(r.VideoFormatPos, r.GetDataPos(format));
    EXPECT_EQ(r.VideoCompression(), FCC("DIVX"));
}

TEST_F(StreamHeaders, ShortChunksAndChunksCutByTheEndOfTheFileRecordNoPosition) {
    const std::int32_t list = Strl();
    Chunk(list, FCC("strh"), StrhData(FCC("vids"), FCC("xvid")), 8); // just the handler: enough
    const Bytes format = BitmapInfoHeader(FCC("XVID"));
    Chunk(list, FCC("strf"), Bytes(format.begin(), format.begin() + 18), 40); // file ends
    TVmAVIFileReader& r = Read();
    EXPECT_EQ(r.VideoHandler(), FCC("xvid"));
    EXPECT_NE(r.VideoHeaderPos, 0);
    EXPECT_EQ(r.VideoFormatPos, 0);
    EXPECT_EQ(r.VideoCompression(), 0u);
    EXPECT_TRUE(r.HeadersRead);
}

TEST_F(StreamHeaders, TheFirstAviPartIsTheOneRead) {
    const std::int32_t first = Strl();
    const std::int32_t header = Chunk(first, FCC("strh"), StrhData(FCC("vids"), FCC("div3")));
    const std::int32_t again = reader.AddNode(kNoNode, FCC("RIFF"), FCC("AVI "), 12, 0);
    const std::int32_t second = Strl(reader.AddNode(again, FCC("LIST"), FCC("hdrl"), 24, 0));
    Chunk(second, FCC("strh"), StrhData(FCC("vids"), FCC("mp43")));
    TVmAVIFileReader& r = Read();
    EXPECT_EQ(r.VideoHeaderPos, r.GetDataPos(header));
    EXPECT_EQ(r.VideoHandler(), FCC("div3"));
}

TEST_F(StreamHeaders, NothingHappensWithoutAviPartOrHeaderListOrOnceRead) {
    Chunk(Strl(), FCC("strh"), StrhData(FCC("vids"), FCC("xvid")));
    TVmAVIFileReader& r = Read();
    const long reads = stream.reads;
    r.VideoHeaderPos = 5;
    r.ReadStreamHeaders();
    EXPECT_EQ(r.VideoHeaderPos, 5);
    EXPECT_EQ(stream.reads, reads);

    for (const FourCC form : {FCC("AVIX"), FCC("AVI ")}) {
        r.Clear();
        r.HeadersRead = false;
        const std::int32_t riff = r.AddNode(kNoNode, FCC("RIFF"), form, 12, 0);
        r.AddNode(r.AddNode(riff, FCC("LIST"), FCC("HDRL"), 24, 0), FCC("strh"), 0, 32, 56);
        r.ReadStreamHeaders();
        EXPECT_FALSE(r.HeadersRead);
        EXPECT_EQ(r.VideoHeaderPos, 5);
    }
}

} // namespace
} // namespace vidtag
