// Streams that libxvid and FFmpeg write, made at test time. What each test expects is what
// `ffmpeg -debug pict -threads 1` printed for the same commands: "qpel" or "hpel", "w:", the
// VOP letters, and the "packed B-frames" warning.

#include "support/TempDir.h"
#include "video/RawChunks.h"
#include "video/StreamReader.h"
#include "video/StreamText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace vidtag;
using namespace vidtag::video;

namespace {

class RealStream : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libxvid") != 0) {
            GTEST_SKIP() << "ffmpeg with libxvid is not installed";
        }
    }

    StreamFacts Make(const std::string& options) {
        const std::string path = dir_.Path("stream.avi");
        const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 "
                                    "-t 2 " +
                                    options + " '" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const test::RawVideo raw = test::ReadRawVideo(path);
        StreamReader reader;
        reader.TakeFormatExtra(raw.FormatExtra.data(), raw.FormatExtra.size());
        for (const auto& chunk : raw.Chunks) {
            reader.TakeChunk(chunk.data(), chunk.size());
        }
        reader.TakeLabelFamily(4);
        return reader.Facts();
    }

    test::TempDir dir_;
};

TEST_F(RealStream, XvidWithPackedBFrames) {
    const StreamFacts facts = Make("-c:v libxvid -bf 2 -vtag XVID");
    EXPECT_EQ(facts.StreamSyntax, Syntax::Mpeg4);
    EXPECT_TRUE(facts.Packed);
    EXPECT_TRUE(facts.DivxPackedFlag);
    EXPECT_EQ(facts.MaxBRun, 2u);
    EXPECT_GT(facts.Vops.N, 0u);
    EXPECT_EQ(facts.Vops.I + facts.Vops.P + facts.Vops.B, 49u);
    EXPECT_EQ(facts.Qpel, false);
    EXPECT_EQ(StreamSummary(facts), "MPEG-4 Advanced Simple @ L5, 320x240; B-frames, packed, up "
                                    "to 2 in a row; encoder XviD 69");
}

TEST_F(RealStream, XvidWithQpelAndGmc) {
    StreamFacts facts = Make("-c:v libxvid -flags +qpel -vtag XVID");
    EXPECT_EQ(facts.Qpel, true);
    EXPECT_EQ(facts.SpriteKind, Sprite::None);
    EXPECT_EQ(facts.Vops.P, 45u);
    facts = Make("-c:v libxvid -gmc 1 -vtag XVID");
    EXPECT_EQ(facts.SpriteKind, Sprite::Gmc);
    EXPECT_EQ(facts.WarpPoints, 3u);
}

TEST_F(RealStream, FFmpegsMpeg4UnpackedAndInterlaced) {
    StreamFacts facts = Make("-c:v mpeg4 -bf 2 -vtag DX50");
    EXPECT_FALSE(facts.Packed);
    EXPECT_EQ(facts.MaxBRun, 2u);
    EXPECT_EQ(facts.Vops.B, 32u);
    EXPECT_EQ(facts.ObjectType, 17u);
    EXPECT_EQ(facts.ResyncMarkers, true);
    EXPECT_EQ(facts.EncoderName, Encoder::Lavc);
    facts = Make("-vf setfield=tff -c:v mpeg4 -flags +ildct+ilme -vtag DX50");
    EXPECT_EQ(facts.Interlaced, true);
    facts = Make("-c:v mpeg4 -data_partitioning 1 -vtag DX50");
    EXPECT_EQ(facts.DataPartitioned, true);
}

TEST_F(RealStream, MicrosoftMpeg4HasNoMpeg4Headers) {
    for (const char* codec : {"msmpeg4v2", "msmpeg4"}) {
        const StreamFacts facts = Make(std::string("-c:v ") + codec);
        EXPECT_EQ(facts.StreamSyntax, Syntax::MsMpeg4) << codec;
        EXPECT_TRUE(facts.FamilyMismatch);
        EXPECT_FALSE(facts.ObjectType);
        EXPECT_EQ(facts.FramesRead, 50u);
    }
}

} // namespace
