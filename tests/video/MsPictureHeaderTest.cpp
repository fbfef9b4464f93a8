// Microsoft MPEG-4 versions told from hand-built intra pictures, as the stream reader is fed them
// (real V2 and V3 streams are in test_stream_oracle; FFmpeg has no V1 encoder).

#include "video/StreamReader.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace vidtag;
using namespace vidtag::video;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr auto kEither = static_cast<std::uint8_t>(kMsV2 | kMsV3);
// Type I, quantiser 9, one slice; bits standing in for the macroblocks.
constexpr const char* kIntra = "00 01001 10111 ";
constexpr const char* kBlocks = "10110110111001010110 ";
// 25 fps, 781 KiB/s (and V3's rounding bit).
constexpr const char* kV2Trailer = "11001 01100001101 ";
constexpr const char* kV3Trailer = "11001 01100001101 1 ";

Bytes Picture(const std::string& pattern) {
    return test::Bits(pattern).Bytes;
}

std::uint8_t Versions(const std::vector<Bytes>& chunks, std::size_t cut, std::optional<double> fps,
                      std::optional<std::uint32_t> height) {
    StreamReader reader;
    for (const Bytes& chunk : chunks) {
        // An exact copy, so that a read past the bytes handed over is one past the allocation.
        const Bytes taken(chunk.begin(), chunk.begin() + std::min(cut, chunk.size()));
        reader.TakeChunk(taken.data(), taken.size(), chunk.size());
    }
    StreamFacts facts = reader.Facts();
    facts.Fps = fps;
    facts.Height = height;
    reader.SettleMsVersions(facts);
    return facts.MsVersions;
}

TEST(MsPictureHeader, TellsTheVersionByHeaderAndTrailer) {
    const std::string v3 = kIntra + std::string("0 0 1 ") + kBlocks + kV3Trailer;
    const std::string v2 = kIntra + std::string(kBlocks) + kV2Trailer;
    const std::string v1 = "00000000 00000000 00000001 00000000 00011 00 00101 00011 ";
    const struct {
        const char* Name;
        std::vector<Bytes> Chunks;
        std::optional<double> Fps;
        std::optional<std::uint32_t> Height;
        std::uint8_t Expected;
    } cases[] = {
        {"V3 at its rate", {Picture(v3)}, 25.0, 240, kMsV3},
        {"V3 at 24.6 fps, rounded", {Picture(v3)}, 24.6, 240, kMsV3},
        {"V2 ending on a byte", {Picture(v2)}, 25.0, 240, kMsV2},
        {"V2 behind a predicted picture", {Picture("01 01001 1"), Picture(v2)}, 25.0, 240, kMsV2},
        {"V2 padded: a V3 trailer with its rounding bit 0 reads alike",
         {Picture(kIntra + std::string("0 ") + kBlocks + kV2Trailer)},
         25.0,
         240,
         kEither},
        {"a trailer of another rate", {Picture(v3)}, 30.0, 240, kEither},
        {"no frame rate", {Picture(v3)}, std::nullopt, 240, kEither},
        {"three slices in two rows",
         {Picture("00 01001 11001 " + std::string(kBlocks))},
         25.0,
         32,
         0},
        {"no intra picture", {Picture("01 01001 1")}, 25.0, 240, 0},
        {"V1", {Picture(v1 + kBlocks)}, 25.0, 240, kMsV1},
        {"V1, no height", {Picture(v1 + kBlocks)}, 25.0, std::nullopt, kMsV1},
        {"V1, slices of 3 rows in 2", {Picture(v1 + kBlocks)}, 25.0, 32, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Versions(c.Chunks, SIZE_MAX, c.Fps, c.Height), c.Expected);
    }
}

// A frame the budget or the file cut short has no trailer to tell by: both versions, or none
// when even the header is cut.
TEST(MsPictureHeader, ACutFrameNamesNoSingleVersion) {
    const Bytes frame = Picture(kIntra + std::string("0 0 1 ") + kBlocks + kV3Trailer);
    for (std::size_t cut = 0; cut < frame.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::uint8_t versions = Versions({frame}, cut, 25.0, 240);
        EXPECT_TRUE(versions == 0 || versions == kEither) << int{versions};
        // Read as if whole, the header is there from its second byte on.
        const Bytes taken(frame.begin(), frame.begin() + cut);
        EXPECT_EQ(ReadMsIntraPicture(taken.data(), taken.size(), false, true).has_value(),
                  cut >= 2);
    }
}

} // namespace
