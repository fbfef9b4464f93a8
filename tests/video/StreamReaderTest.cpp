// The stream reader fed as the analysis feeds it: the format's extra bytes, then chunk by chunk.

#include "video/StreamReader.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace vidtag;
using namespace vidtag::video;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A version 1 layer header at 25 ticks a second: VOP time increments take 5 bits.
Bytes Vol() {
    return test::Unit(0x20, "0 00000001 0 0001 0 00 1 0000000000011001 1 0 1 0000101000000 1 "
                            "0000011110000 1 0 1 0 0 0 1 1 0 0");
}

// A VOP header of that layer: coding type, modulo_time_base, markers, increment, vop_coded.
Bytes Vop(char type) {
    const std::string coding = type == 'I' ? "00" : type == 'P' ? "01" : type == 'B' ? "10" : "11";
    return test::Unit(0xB6, coding + " 0 1 00000 1 " + (type == 'N' ? "0" : "1") + " 1010");
}

Bytes Text(std::uint8_t code, const std::string& text) {
    return Bytes{0, 0, 1, code} + Bytes(text.begin(), text.end());
}

// Chunks written as letters, one word per chunk: "I PB B N".
std::vector<Bytes> Chunks(const std::string& words) {
    std::vector<Bytes> chunks(1);
    for (const char c : words) {
        if (c == ' ') {
            chunks.emplace_back();
        } else {
            chunks.back() = chunks.back() + Vop(c);
        }
    }
    return chunks;
}

StreamFacts Read(const Bytes& extra, const std::vector<Bytes>& chunks, int family = 4) {
    StreamReader reader;
    reader.TakeFormatExtra(extra.data(), extra.size());
    for (const Bytes& chunk : chunks) {
        reader.TakeChunk(chunk.data(), chunk.size());
    }
    reader.TakeLabelFamily(family);
    return reader.Facts();
}

// Each case also under a label of family 4 and of family 3, whose mismatches it names. A syntax
// is named only when its headers parse; other codecs' data is named, and matches no family.
TEST(StreamReader, TellsTheSyntaxFromTheFirstChunkWithData) {
    const Bytes v2Intra{0x13, 0x70}; // intra, quantiser 9, one slice
    const struct {
        const char* Name;
        Bytes Chunk;
        Syntax Expected;
        bool Mismatch4;
        bool Mismatch3;
    } cases[] = {
        {"empty", {}, Syntax::Unknown, false, false},
        {"a VOL", Vol() + Vop('I'), Syntax::Mpeg4, false, true},
        {"a video object, then a VOL", Bytes{0, 0, 1, 0} + Vol(), Syntax::Mpeg4, false, true},
        {"a VOP", Vop('P'), Syntax::Mpeg4, false, true},
        {"a VOP without its marker", test::Unit(0xB6, "01 0 0 00000 1 1"), Syntax::Unknown, false,
         false},
        {"a GOV", Bytes{0, 0, 1, 0xB3, 0x00, 0x10, 0x00} + Vop('I'), Syntax::Mpeg4, false, true},
        {"user data, then a VOP", Text(0xB2, "DivX503b1393p") + Vop('I'), Syntax::Mpeg4, false,
         true},
        {"a VOS alone", Bytes{0, 0, 1, 0xB0, 0xF5}, Syntax::Unknown, false, false},
        {"V1's frame header", Bytes{0, 0, 1, 0, 0x00, 0x80, 0x80}, Syntax::MsMpeg4V1, true, true},
        {"V1's start code, quantiser 0", Bytes{0, 0, 1, 0, 0x00, 0x00, 0x80}, Syntax::Unknown,
         false, false},
        {"a V2/V3 intra picture", v2Intra + Vol(), Syntax::MsMpeg4, true, false},
        {"a V2/V3 predicted picture", Bytes{0x52, 0x00}, Syntax::MsMpeg4, true, false},
        {"an intra picture of 3 slice codes", Bytes{0x12, 0x34} + Vol(), Syntax::Unknown, false,
         false},
        {"a single byte", Bytes{0}, Syntax::Unknown, false, false},
        {"a prefix without its code", Bytes{0, 0, 1}, Syntax::Unknown, false, false},
        {"JPEG", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, Syntax::Jpeg, true, true},
        {"an H.264 SPS", Bytes{0, 0, 0, 1, 0x67, 0x64, 0, 0x1F}, Syntax::H264, true, true},
        {"an H.264 IDR slice", Bytes{0, 0, 1, 0x65, 0x88, 0x84}, Syntax::H264, true, true},
        {"an H.265 VPS", Bytes{0, 0, 0, 1, 0x40, 0x01, 0x0C}, Syntax::H265, true, true},
        {"an MPEG-2 sequence header",
         Bytes{0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x23, 0xFF, 0xFF, 0xE0, 0x18} + Vop('I'),
         Syntax::Mpeg12, true, true},
        {"an MPEG-2 picture and its slice",
         Bytes{0, 0, 1, 0, 0x00, 0x0F, 0xFF, 0xF8, 0, 0, 1, 1, 0x0A}, Syntax::Mpeg12, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(ClassifyFirstChunk(c.Chunk.data(), c.Chunk.size()), c.Expected);
        EXPECT_EQ(Read({}, {c.Chunk}, 4).FamilyMismatch, c.Mismatch4);
        EXPECT_EQ(Read({}, {c.Chunk}, 3).FamilyMismatch, c.Mismatch3);
        EXPECT_FALSE(Read({}, {c.Chunk}, 0).FamilyMismatch);
    }
}

// A layer that names no version of its own has its visual object's: version 2 fields follow.
TEST(StreamReader, ReadsTheVolInTheVersionOfItsVisualObject) {
    const Bytes vo = test::Unit(0xB5, "1 0010 001 0001 0");
    const Bytes vol2 = test::Unit(0x20, "0 00000001 0 0001 0 00 1 0000000000011001 1 0 1 "
                                        "0000101000000 1 0000011110000 1 0 1 00 0 0 1 1 1 0 0 0 0");
    const StreamFacts facts = Read(vo + vol2, {Vop('I')});
    EXPECT_EQ(facts.VerId, 2);
    EXPECT_EQ(facts.Qpel, true);
    EXPECT_EQ(facts.NewPred, false);
    EXPECT_FALSE(facts.VolDamaged);
    EXPECT_TRUE(facts.VolFound);
    EXPECT_FALSE(Read({}, {Vop('I')}).VolFound);
    // A frame held back as one byte decides nothing.
    EXPECT_EQ(Read({}, {Bytes{0x7F}, Vol() + Vop('I')}).StreamSyntax, Syntax::Mpeg4);
}

TEST(StreamReader, CountsVopsRunsOfBAndPackedChunks) {
    const struct {
        const char* Chunks;
        VopCounts Counts;
        std::uint32_t MaxBRun;
        bool Packed;
    } cases[] = {
        {"I P B B P B", {1, 2, 3, 0, 0}, 2, false},   {"I PB B N PB B N", {1, 2, 4, 0, 2}, 2, true},
        {"I B N B N B P", {1, 1, 3, 0, 2}, 3, false}, // placeholders do not end a run
        {"I PN S", {1, 1, 0, 1, 1}, 0, false},        // a placeholder is no coded VOP
        {"I IB", {2, 0, 1, 0, 0}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Chunks);
        std::vector<Bytes> chunks = Chunks(c.Chunks);
        chunks.front() = Vol() + chunks.front();
        const StreamFacts facts = Read({}, chunks);
        EXPECT_TRUE(facts.VopsRead);
        EXPECT_EQ(facts.VopsUnread, 0u);
        const VopCounts& v = facts.Vops;
        EXPECT_EQ(std::tie(v.I, v.P, v.B, v.S, v.N),
                  std::tie(c.Counts.I, c.Counts.P, c.Counts.B, c.Counts.S, c.Counts.N));
        EXPECT_EQ(facts.MaxBRun, c.MaxBRun);
        EXPECT_EQ(facts.Packed, c.Packed);
        EXPECT_EQ(facts.FramesRead, chunks.size());
    }
}

TEST(StreamReader, ReadsTheFormatsExtraBytesBeforeTheFrames) {
    const Bytes extra = Bytes{0, 0, 1, 0xB0, 0xF5} + Vol() + Text(0xB2, "XviD0069");
    StreamReader reader;
    reader.TakeFormatExtra(extra.data(), extra.size());
    const Bytes first = Vop('I');
    reader.TakeChunk(first.data(), first.size());
    reader.TakeDroppedFrame();
    reader.TakeChunk(first.data(), 5); // cut inside its header
    const StreamFacts& facts = reader.Facts();
    EXPECT_EQ(facts.StreamSyntax, Syntax::Mpeg4);
    EXPECT_EQ(facts.ProfileLevel, 0xF5);
    EXPECT_EQ(facts.Width, 320u);
    EXPECT_EQ(facts.Vops.I, 1u);
    EXPECT_EQ(facts.VopsUnread, 1u);
    EXPECT_EQ(facts.EncoderName, Encoder::XviD);
    EXPECT_EQ(facts.FramesRead, 2u);
    EXPECT_EQ(facts.ChunkSizes, (std::vector<std::uint32_t>{std::uint32_t(first.size()), 0, 5}));

    // VOPs before the first VOL cannot be read.
    const StreamFacts late = Read({}, {Vop('I'), Vop('P'), Vol() + Vop('I')});
    EXPECT_EQ(late.VopsUnread, 2u);
    EXPECT_EQ(late.Vops.I + late.Vops.P, 1u);

    // The same extra bytes in front of frames that are not MPEG-4 say nothing about them.
    const StreamFacts ms = Read(extra, {Bytes{0x13, 0x70, 0, 0, 1, 0xB6, 0x40}});
    EXPECT_EQ(ms.StreamSyntax, Syntax::MsMpeg4);
    EXPECT_FALSE(ms.Width);
    EXPECT_FALSE(ms.ProfileLevel);
    EXPECT_TRUE(ms.UserData.empty());
    EXPECT_EQ(ms.FramesRead, 1u);
}

TEST(StreamReader, KeepsFewShortPrintableUserDataStrings) {
    const std::string longText(100, 'a');
    const Bytes chunk = Text(0xB2, "DivX503b1393p\x7F") + Text(0xB2, "XviD0069") +
                        Text(0xB2, "XviD0069") + Text(0xB2, "\x01\x02") +
                        Text(0xB2, "Lav\x80"
                                   "c58.134.100") +
                        Text(0xB2, longText) + Text(0xB2, "fifth") + Vol();
    const StreamFacts facts = Read({}, {chunk});
    EXPECT_EQ(facts.UserData, (std::vector<std::string>{"DivX503b1393p", "XviD0069",
                                                        "Lavc58.134.100", longText.substr(0, 64)}));
    EXPECT_EQ(facts.EncoderName, Encoder::XviD); // Xvid's own string wins over its DivX one
    EXPECT_EQ(facts.EncoderVersion, 69u);
    EXPECT_TRUE(facts.DivxPackedFlag);
    EXPECT_FALSE(facts.Packed);
}

} // namespace
