// Microsoft MPEG-4 versions told from hand-built intra pictures fed to the stream reader; real
// V2 and V3 streams are in test_stream_oracle (FFmpeg has no V1 encoder).

#include "video/StreamReader.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace vidtag::video;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr auto kEither = static_cast<std::uint8_t>(kMsV2 | kMsV3);
// Intra, quantiser 9, one slice; bits standing in for the macroblocks; 25 fps at 781 KiB/s.
const std::string kIntra = "00 01001 10111 ", kBlocks = "10110110111001010110 ";
const std::string kTrailer = "11001 01100001101 ", kV3 = kIntra + "001 " + kBlocks + kTrailer + "1";
const std::string kV1 = "00000000 00000000 00000001 00000000 00011 00 00101 00011 " + kBlocks;

// The chunks' first cut bytes, each copied to a buffer of that size for AddressSanitizer.
std::uint8_t Versions(const std::vector<std::string>& chunks, std::optional<double> fps,
                      std::uint32_t height = 240, std::size_t cut = SIZE_MAX) {
    StreamReader reader;
    for (const std::string& chunk : chunks) {
        const Bytes bytes = vidtag::test::Bits(chunk).Bytes;
        const Bytes taken(bytes.begin(), bytes.begin() + std::min(cut, bytes.size()));
        reader.TakeChunk(taken.data(), taken.size(), bytes.size());
    }
    StreamFacts facts = reader.Facts();
    facts.Fps = fps;
    facts.Height = height;
    reader.SettleMsVersions(facts);
    return facts.MsVersions;
}

TEST(MsPictureHeader, TellsTheVersionByHeaderAndTrailer) {
    EXPECT_EQ(Versions({kV3}, 25.0), kMsV3);
    EXPECT_EQ(Versions({kV3}, 24.6), kMsV3); // rounded
    EXPECT_EQ(Versions({"01 01001 1", kIntra + kBlocks + kTrailer}, 25.0), kMsV2);
    // Padded, a V2 trailer reads as well as a V3 one whose rounding bit is 0.
    EXPECT_EQ(Versions({kIntra + "0 " + kBlocks + kTrailer}, 25.0), kEither);
    EXPECT_EQ(Versions({kV3}, 30.0), kEither);
    EXPECT_EQ(Versions({kV3}, std::nullopt), kEither);
    EXPECT_EQ(Versions({"00 01001 11001 " + kBlocks}, 25.0, 32), 0); // 3 slices in 2 rows
    EXPECT_EQ(Versions({"01 01001 1"}, 25.0), 0);
    EXPECT_EQ(Versions({kV1}, 25.0), kMsV1);
    EXPECT_EQ(Versions({kV1}, 25.0, 32), 0); // slices of 3 rows in 2
    // Cut short, a frame has no trailer to tell by.
    for (std::size_t cut = 0; cut < vidtag::test::Bits(kV3).Bytes.size(); ++cut) {
        const std::uint8_t versions = Versions({kV3}, 25.0, 240, cut);
        EXPECT_TRUE(versions == 0 || versions == kEither) << cut;
    }
}

} // namespace
