// The line vidtag-cli prints about a stream, and its warning for a stream outside its label.

#include "video/StreamText.h"

#include <gtest/gtest.h>

using namespace vidtag::video;

namespace {

TEST(StreamText, NamesProfilesAndLevels) {
    EXPECT_EQ(ProfileLevelName(0xF5), "Advanced Simple @ L5");
    EXPECT_EQ(ProfileLevelName(0xF7), "Advanced Simple @ L3b");
    EXPECT_EQ(ProfileLevelName(0x08), "Simple @ L0");
    EXPECT_EQ(ProfileLevelName(0x04), "Simple @ L4a");
    EXPECT_EQ(ProfileLevelName(0xFF), "");
}

TEST(StreamText, ShowsWhatIsKnownOnOneLine) {
    StreamFacts mpeg4;
    mpeg4.StreamSyntax = Syntax::Mpeg4;
    mpeg4.ProfileLevel = 0xF5;
    mpeg4.Width = 720;
    mpeg4.Height = 576;
    mpeg4.Fps = 25.0;
    mpeg4.Vops.B = 9;
    mpeg4.MaxBRun = 2;
    mpeg4.Packed = true;
    mpeg4.Qpel = true;
    mpeg4.SpriteKind = Sprite::Gmc;
    mpeg4.WarpPoints = 3;
    mpeg4.EncoderName = Encoder::XviD;
    mpeg4.EncoderVersion = 69;
    EXPECT_EQ(StreamSummary(mpeg4), "MPEG-4 Advanced Simple @ L5, 720x576, 25 fps; B-frames, "
                                    "packed, up to 2 in a row; QPel, GMC (3 points); encoder "
                                    "XviD 69");
    EXPECT_EQ(StreamSummary(mpeg4, 1), "MPEG-4 Advanced Simple @ L5, 720x576, 25 fps; B-кадры, "
                                       "упакованные, до 2 подряд; QPel, GMC (точек: 3); "
                                       "кодировщик XviD 69");
    StreamFacts bare;
    bare.StreamSyntax = Syntax::Mpeg4;
    bare.ObjectType = 1;
    bare.Fps = 29.97;
    bare.VolDamaged = true;
    EXPECT_EQ(StreamSummary(bare), "MPEG-4 Simple, 29.97 fps; damaged VOL");
    EXPECT_EQ(StreamSummary(bare, 1), "MPEG-4 Simple, 29.97 fps; VOL повреждён");
    StreamFacts ms;
    ms.StreamSyntax = Syntax::MsMpeg4;
    ms.Width = 320;
    ms.Height = 240;
    ms.Qpel = true; // never shown for a stream without MPEG-4 headers
    EXPECT_EQ(StreamSummary(ms), "Microsoft MPEG-4 (no MPEG-4 headers), 320x240");
    ms.MsVersions = kMsV2 | kMsV3; // the English line is in the CLI's tests
    EXPECT_EQ(StreamSummary(ms, 1), "Microsoft MPEG-4 V2 или V3 (без заголовков MPEG-4), 320x240");
    EXPECT_EQ(StreamSummary(StreamFacts{}), "no video frames read");
    ms.StreamSyntax = Syntax::Unknown;
    ms.FramesRead = 3;
    EXPECT_EQ(StreamSummary(ms), "unknown video data, 320x240");
    ms.StreamSyntax = Syntax::H264;
    EXPECT_EQ(StreamSummary(ms), "H.264, not the MPEG-4 family, 320x240");
    EXPECT_EQ(StreamSummary(ms, 1), "H.264, не семейство MPEG-4, 320x240");
}

TEST(StreamText, WarnsOnlyOnAMismatch) {
    StreamFacts facts;
    facts.StreamSyntax = Syntax::MsMpeg4;
    EXPECT_EQ(MismatchWarning(facts), "");
    facts.FamilyMismatch = true;
    EXPECT_EQ(MismatchWarning(facts),
              "the stream is Microsoft MPEG-4 (no MPEG-4 headers), not what the label says");
    facts.StreamSyntax = Syntax::Mpeg4;
    EXPECT_EQ(MismatchWarning(facts),
              "the stream is MPEG-4 Part 2, not Microsoft MPEG-4 as the label says");
    EXPECT_EQ(MismatchWarning(facts, 1),
              "поток — MPEG-4 Part 2, а не Microsoft MPEG-4, как называет метка");
    facts.StreamSyntax = Syntax::Mpeg12;
    EXPECT_EQ(MismatchWarning(facts),
              "the stream is MPEG-1/2 video, not the MPEG-4 family the label names");
}

} // namespace
