#include "Engine.h"

#include "support/CountingFileLayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
