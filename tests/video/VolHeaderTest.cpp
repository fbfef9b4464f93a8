// The VOL reader against hand-built layer headers, and against real ones cut at every bit.

#include "video/HeaderParsers.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace vidtag;
using namespace vidtag::video;
using test::Bits;
using test::Joined;
using test::VolFields;

namespace {

struct VolCase {
    const char* Name;
    std::string Pattern;
    VolResult Result;
    const char* Fields;
};

std::string Repeat(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// Rectangular 320x240 at 25 ticks a second, the usual middle of a layer header.
const std::string kRect320 = "00 1 0000000000011001 1 0 1 0000101000000 1 0000011110000 1 ";

const VolCase kCases[] = {
    {"simple, version 1", "0 00000001 0 0001 0 " + kRect320 + "0 1 0 0 0 1 1 0 0",
     VolResult::Complete,
     "random=0 type=1 verid=1 aspect=1 par=1:1 ctl=0 shape=0 res=25 fixed=0 w=320 h=240 il=0 "
     "obmcoff=1 sprite=0 not8=0 mq=0 matrix=0 qpel=0 ce=0 resync=0 dp=0 rvlc=0 newpred=0 rr=0 "
     "scal=0"},
    {"advanced simple: extended PAR, VBV, fixed rate, GMC, both matrices, QPel",
     "1 00010001 1 0010 001 1111 00001010 00001011 "
     "1 01 0 1 000000000000000 1 000100111000100 1 000000000001110 1 000 00000000000 1 "
     "000000000000000 1 "
     "00 1 0111010100110000 1 1 000001111101001 1 0001011010000 1 0001001000000 1 "
     "1 1 10 000011 00 0 0 1 1 00001000 00010000 00000000 1 " +
         Repeat("00010000 ", 64) + "1 1 0 0 0 0 0",
     VolResult::Complete,
     "random=1 type=17 verid=2 prio=1 aspect=15 par=10:11 ctl=1 chroma=1 lowdelay=0 "
     "vbvrate=1000000 "
     "vbvsize=1835008 shape=0 res=30000 fixed=1 w=720 h=576 il=1 obmcoff=1 sprite=2 warp=3 "
     "not8=0 mq=1 matrix=1 qpel=1 ce=0 resync=1 dp=0 rvlc=0 newpred=0 rr=0 scal=0"},
    {"static sprite, N-bit, complexity estimation, RVLC, newpred, scalability",
     "0 00010001 1 0010 000 0010 0 " + kRect320 +
         "0 1 01 0000101000000 1 0000011110000 1 0000000000000 1 0000000000000 1 000001 11 1 0 "
         "1 0101 1000 0 0 "
         "0 01 0 111111 0 1111 1 0 1111 0 111111 1 0 11 "
         "1 1 1 1 01 1 1 1 1 0001 0 00001 00010 00001 00010 0",
     VolResult::Complete,
     "random=0 type=17 verid=2 prio=0 aspect=2 par=12:11 ctl=0 shape=0 res=25 fixed=0 w=320 h=240 "
     "il=0 obmcoff=1 sprite=1 warp=1 not8=1 mq=0 matrix=0 qpel=0 ce=1 resync=0 dp=1 rvlc=1 "
     "newpred=1 rr=1 scal=1"},
    {"binary-only shape, scalable",
     "0 00000001 1 0010 000 0001 0 10 1 0000000000011001 1 0 1 0000 00001 00001 00001 00001 0",
     VolResult::Complete,
     "random=0 type=1 verid=2 prio=0 aspect=1 par=1:1 ctl=0 shape=2 res=25 fixed=0 resync=1 "
     "scal=1"},
    {"a time resolution of 0 is damage",
     "0 00000001 0 0001 0 00 1 0000000000000000 1 0 1 0000101000000 1 0000011110000 1",
     VolResult::Damaged, "random=0 type=1 verid=1 aspect=1 par=1:1 ctl=0 shape=0"},
    {"a reserved complexity estimation method is damage",
     "0 00010001 1 0010 001 0001 0 " + kRect320 + "0 1 00 0 0 1 0 10 000000", VolResult::Damaged,
     "random=0 type=17 verid=2 prio=1 aspect=1 par=1:1 ctl=0 shape=0 res=25 fixed=0 w=320 h=240 "
     "il=0 obmcoff=1 sprite=0 not8=0 mq=0 matrix=0 qpel=1 ce=1"},
    {"a reserved sprite_enable is damage",
     "0 00010001 1 0010 001 0001 0 " + kRect320 + "1 1 11 0 0 1 1", VolResult::Damaged,
     "random=0 type=17 verid=2 prio=1 aspect=1 par=1:1 ctl=0 shape=0 res=25 fixed=0 w=320 h=240 "
     "il=1 "
     "obmcoff=1"},
    {"a studio object is left after its type", "0 00001111 0 0001 0 " + kRect320,
     VolResult::Partial, "random=0 type=15 verid=1"},
};

TEST(VolHeader, ReadsEveryFieldOfHandBuiltHeaders) {
    for (const VolCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        const test::BitString bits = Bits(c.Pattern);
        BitReader reader = BitReader::FirstBits(bits.Bytes.data(), bits.BitCount);
        StreamFacts facts;
        EXPECT_EQ(ParseVol(reader, facts), c.Result);
        EXPECT_EQ(Joined(VolFields(facts)), c.Fields);
        if (c.Result == VolResult::Complete) {
            EXPECT_EQ(reader.Position(), bits.BitCount) << "every bit is a field";
        }
    }
}

bool Contains(const std::vector<std::string>& all, const std::vector<std::string>& some) {
    return std::all_of(some.begin(), some.end(), [&all](const std::string& field) {
        return std::find(all.begin(), all.end(), field) != all.end();
    });
}

// Cuts a layer header after every bit, each time into a buffer of just the bytes that hold the
// bits left, so that AddressSanitizer sees any read beyond them.
void ExpectCutsKeepWhatCameBefore(const std::vector<std::uint8_t>& whole, std::size_t wholeBits) {
    StreamFacts full;
    BitReader fullReader = BitReader::FirstBits(whole.data(), wholeBits);
    ASSERT_EQ(ParseVol(fullReader, full), VolResult::Complete);
    const std::size_t needed = fullReader.Position();
    const std::vector<std::string> all = VolFields(full);
    std::vector<std::string> previous;
    for (std::size_t cut = 0; cut <= wholeBits; ++cut) {
        SCOPED_TRACE("cut after bit " + std::to_string(cut));
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + (cut + 7) / 8);
        BitReader reader = BitReader::FirstBits(part.data(), cut);
        StreamFacts facts;
        const VolResult result = ParseVol(reader, facts);
        EXPECT_EQ(result, cut < needed ? VolResult::Damaged : VolResult::Complete);
        const std::vector<std::string> fields = VolFields(facts);
        EXPECT_TRUE(Contains(all, fields)) << Joined(fields);
        EXPECT_TRUE(Contains(fields, previous)) << Joined(fields);
        previous = fields;
    }
    EXPECT_EQ(previous, all);
}

TEST(VolHeader, CutAtEveryBitKeepsTheFieldsBeforeTheCut) {
    for (const VolCase& c : kCases) {
        if (c.Result != VolResult::Complete) {
            continue;
        }
        SCOPED_TRACE(c.Name);
        const test::BitString bits = Bits(c.Pattern);
        ExpectCutsKeepWhatCameBefore(bits.Bytes, bits.BitCount);
    }
    // Layer headers as libxvid (with QPel) and FFmpeg's mpeg4 (with B-frames) wrote them.
    const std::vector<std::vector<std::uint8_t>> real{
        {0x08, 0xca, 0x78, 0x08, 0x0d, 0x88, 0x00, 0xce, 0x18, 0x50, 0x20, 0xf0, 0xa1, 0xc1},
        {0x08, 0xd4, 0x8d, 0x08, 0x00, 0xcd, 0x0a, 0x04, 0x1e, 0x14, 0x10, 0x3f}};
    for (const auto& vol : real) {
        ExpectCutsKeepWhatCameBefore(vol, vol.size() * 8);
    }
}

TEST(VolHeader, RealHeadersReadAsFFmpegReadsThem) {
    // ffmpeg -debug pict: "vot:17", "qpel", "resync:0"; ffprobe: 320x240, 25 fps. libxvid writes
    // version 2, priority 4 and the square pixel as an extended PAR of 1:1.
    const std::uint8_t xvid[] = {0x08, 0xca, 0x78, 0x08, 0x0d, 0x88, 0x00,
                                 0xce, 0x18, 0x50, 0x20, 0xf0, 0xa1, 0xc1};
    BitReader reader(xvid, sizeof xvid);
    StreamFacts facts;
    EXPECT_EQ(ParseVol(reader, facts), VolResult::Complete);
    EXPECT_EQ(Joined(VolFields(facts)),
              "random=0 type=17 verid=2 prio=4 aspect=15 par=1:1 ctl=1 chroma=1 lowdelay=1 shape=0 "
              "res=25 fixed=1 w=320 h=240 il=0 obmcoff=1 sprite=0 not8=0 mq=0 matrix=0 qpel=1 "
              "ce=0 resync=0 dp=0 rvlc=0 newpred=0 rr=0 scal=0");
}

TEST(VopHeader, ReadsTheCodingTypeOrNotCoded) {
    struct {
        const char* Pattern;
        unsigned TimeBits;
        std::optional<VopKind> Kind;
    } const cases[] = {
        {"00 0 1 00000 1 1", 5, VopKind::I},
        {"01 110 1 00011 1 1", 5, VopKind::P},
        {"10 0 1 0 1 1", 1, VopKind::B},
        {"11 0 1 000000000000000 1 1", 15, VopKind::S},
        {"10 0 1 00000 1 0", 5, VopKind::N},
        {"01 0 1 00000 1", 5, std::nullopt}, // ends before vop_coded
        {"01 1111111111", 5, std::nullopt},  // modulo_time_base runs to the end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Pattern);
        const test::BitString bits = Bits(c.Pattern);
        BitReader reader = BitReader::FirstBits(bits.Bytes.data(), bits.BitCount);
        EXPECT_EQ(ParseVop(reader, c.TimeBits), c.Kind);
    }
    EXPECT_EQ(TimeIncrementBits(1), 1u);
    EXPECT_EQ(TimeIncrementBits(30000), 15u);
    EXPECT_EQ(TimeIncrementBits(65535), 16u);
}

} // namespace
