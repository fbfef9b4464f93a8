#include "support/AviBuilder.h"
#include "support/MemoryStream.h"

#include <gtest/gtest.h>

using namespace vidtag;
using namespace vidtag::test;

namespace {

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes.at(offset)) |
           static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
           static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

} // namespace

TEST(AviBuilder, ChunksPadAndListsCountTheirType) {
    RiffBuilder b;
    const Placed riff = b.BeginList(FCC("RIFF"), FCC("AVI "));
    const Placed odd = b.Chunk(FCC("abcd"), Bytes(5, 1));
    const Placed bare = b.Chunk(FCC("efgh"), Bytes(3, 2), Pad::None);
    b.End();
    const Bytes bytes = b.Take();
    EXPECT_EQ(riff.header, 0u);
    EXPECT_EQ(riff.data, 12u);
    EXPECT_EQ(odd.header, 12u);
    EXPECT_EQ(odd.data, 20u);
    EXPECT_EQ(U32At(bytes, 16), 5u);
    EXPECT_EQ(bare.header, 26u);              // 20 + 5 + pad
    EXPECT_EQ(bytes.size(), 26u + 8 + 3 + 1); // the RIFF's odd size gets its pad byte
    EXPECT_EQ(U32At(bytes, 4), 4u + 14 + 11);
}

TEST(AviBuilder, WrongSizesRawBytesAndFiller) {
    RiffBuilder b;
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.ChunkWithSize(FCC("00dc"), 0xFFFFFFFF, Bytes(4, 0));
    b.EndWithSize(2);
    const Placed junk = b.JunkUntil(0x20000);
    b.FillTo(0x20010, 0xEE).Raw("LIST").U32(7).Code(FCC("xyzw"));
    b.PutCodeAt(2, FCC("ABCD"));
    const Bytes bytes = b.Take();
    EXPECT_EQ(U32At(bytes, 2), FCC("ABCD"));
    EXPECT_EQ(U32At(bytes, 16), 0xFFFFFFFFu);
    EXPECT_EQ(junk.header, 24u);
    EXPECT_EQ(junk.data + U32At(bytes, junk.header + 4), 0x20000u);
    EXPECT_EQ(bytes[0x20000], 0xEE);
    EXPECT_EQ(U32At(bytes, 0x20010), FCC("LIST"));
    EXPECT_EQ(bytes.size(), 0x2001Cu);
}

TEST(AviBuilder, MinimalAviHasItsHeadersWhereItSays) {
    AviOptions options;
    options.handler = FCC("XVID");
    options.compression = FCC("xvid");
    options.audio = true;
    options.moviAt = 0x20000;
    const AviFile avi = BuildAvi(options);
    const Bytes& bytes = avi.bytes;
    EXPECT_EQ(U32At(bytes, 0), FCC("RIFF"));
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(U32At(bytes, 8), FCC("AVI "));
    EXPECT_EQ(U32At(bytes, avi.hdrl.header + 8), FCC("hdrl"));
    EXPECT_EQ(U32At(bytes, avi.video.strh.header), FCC("strh"));
    EXPECT_EQ(U32At(bytes, avi.video.strh.header + 4), 56u);
    EXPECT_EQ(U32At(bytes, avi.video.strh.data), FCC("vids"));
    EXPECT_EQ(U32At(bytes, avi.video.strh.data + 4), FCC("XVID"));
    EXPECT_EQ(U32At(bytes, avi.video.strf.header + 4), 40u);
    EXPECT_EQ(U32At(bytes, avi.video.strf.data + 16), FCC("xvid"));
    EXPECT_EQ(U32At(bytes, avi.audio.strh.data), FCC("auds"));
    EXPECT_EQ(avi.movi.header, 0x20000u);
    EXPECT_EQ(U32At(bytes, avi.movi.header + 8), FCC("movi"));
    ASSERT_EQ(avi.frames.size(), 4u);
    EXPECT_EQ(U32At(bytes, avi.frames[1].header), FCC("01wb"));
    EXPECT_EQ(U32At(bytes, avi.idx1.header), FCC("idx1"));
    EXPECT_EQ(U32At(bytes, avi.idx1.data + 16 + 8), avi.frames[1].header - avi.movi.header - 8);
    EXPECT_EQ(avi.idx1.data + 4 * 16, bytes.size());
}

TEST(TestMemoryStream, BehavesLikeAFile) {
    TestMemoryStream stream(Bytes{1, 2, 3, 4, 5, 6});
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(stream.Seek(4, 0), 4);
    EXPECT_EQ(stream.Read(buffer, 4), 2);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_EQ(stream.GetSize(), 6);
    EXPECT_EQ(stream.Seek(-1, 0), -1);
    EXPECT_EQ(stream.negativeSeeks, 1);
    EXPECT_EQ(stream.GetPosition(), 6);
    EXPECT_EQ(stream.Seek(10, 0), 10);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
}
