#include "avi/VmAVIFile.h"
#include "engine/Engine.h"
#include "streams/MemoryStream64.h"

#include "support/CountingFileLayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace vidtag;
using vidtag::test::Bytes;

namespace {

// A sample's headers, then many video chunks after a movi list header that is whole or zeroed.
Bytes LargeFile(bool damaged) {
    Bytes bytes = test::ReadFileBytes(test::SamplePath("kind06-div3.avi"));
    std::size_t movi = 12;
    while (std::memcmp(&bytes[movi], "LIST", 4) != 0 || std::memcmp(&bytes[movi + 8], "movi", 4)) {
        std::uint32_t size;
        std::memcpy(&size, &bytes[movi + 4], 4);
        movi += 8 + size + (size & 1);
    }
    constexpr std::uint32_t kChunk = 4096 - 8;
    constexpr std::size_t kChunks = 2048; // 8 MiB
    bytes.resize(movi + 12 + kChunks * (kChunk + 8));
    const std::uint32_t moviSize = static_cast<std::uint32_t>(bytes.size() - movi - 8);
    if (damaged) {
        std::memset(&bytes[movi], 0, 12);
    } else {
        std::memcpy(&bytes[movi + 4], &moviSize, 4);
    }
    for (std::size_t i = 0; i < kChunks; ++i) {
        std::uint8_t* header = &bytes[movi + 12 + i * (kChunk + 8)];
        std::memcpy(header, "00dc", 4);
        std::memcpy(header + 4, &kChunk, 4);
    }
    return bytes;
}

} // namespace

// The walk reads a few bytes at a time; the analysis must not turn each of those into a call.
TEST(AnalysisCostTest, HealthyAndDamagedFilesCostFewSystemCalls) {
    test::TempDir dir;
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "healthy");
        const Bytes bytes = LargeFile(damaged);
        const std::string path = dir.Path("large.avi");
        test::WriteFileBytes(path, bytes);
        test::CountingFileLayer counter;
        EXPECT_EQ(ProcessFile(path, 0), kStatusDone);
        EXPECT_EQ(EngineState.OriginalKind, 6);
        const std::int64_t buffers = static_cast<std::int64_t>(bytes.size() >> 16) + 1;
        EXPECT_LE(counter.Calls(), damaged ? 2 * buffers + 20 : 20);
    }
}

// Index chunks in a file without an "AVI " part stay at the top level; placing each must not
// search the whole top level again, or a file of tiny index chunks takes hours.
TEST(AnalysisCostTest, ManyIndexChunksWithoutAnAviPartTakeOnePass) {
    constexpr std::uint32_t kIndexes = 200000;
    Bytes bytes(24 + 8 * kIndexes);
    auto put = [&bytes](std::size_t at, const char* id, std::uint32_t word) {
        std::memcpy(&bytes[at], id, 4);
        std::memcpy(&bytes[at + 4], &word, 4);
    };
    put(0, "RIFF", 4 + 12 + 8 * kIndexes);
    std::memcpy(&bytes[8], "WAVE", 4);
    put(12, "LIST", 4 + 8 * kIndexes);
    std::memcpy(&bytes[20], "abcd", 4);
    for (std::uint32_t i = 0; i < kIndexes; ++i) {
        put(24 + 8 * i, "idx1", 0);
    }
    TMemoryStream64 stream(bytes);
    TVmAVIFileReader reader(&stream);
    const auto start = std::chrono::steady_clock::now();
    reader.Scan();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reader.NodeCount, static_cast<std::int32_t>(kIndexes) + 2);
    EXPECT_EQ(reader.Node(reader.NodeCount - 1).NextSibling, kNoNode);
    EXPECT_EQ(reader.GetNext(0), 2); // the first index follows the part at the top level
    EXPECT_LT(took.count(), 10.0);   // minutes when quadratic, milliseconds when linear
}
