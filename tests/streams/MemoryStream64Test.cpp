#include "streams/MemoryStream64.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace vidtag;
using vidtag::test::Bytes;

// The fuzzer and the damage tests trust the memory stream to stand in for a file, so it is held
// to what a real file does under the same calls.
TEST(MemoryStream64Test, BehavesLikeAFileUnderRandomCalls) {
    test::TempDir dir;
    const std::string path = dir.Path("twin");
    TFileStream64 file(path, kCreateMode);
    TMemoryStream64 memory;
    std::mt19937 random(8);
    Bytes scratch(600), fromFile(600), fromMemory(600);
    for (int step = 0; step < 3000; ++step) {
        const int offset = static_cast<int>(random() % 1400) - 300;
        const auto origin = static_cast<std::uint16_t>(random() % 3);
        const auto count = static_cast<std::int64_t>(random() % 600);
        switch (random() % 5) {
        case 0:
        case 1:
            ASSERT_EQ(file.Seek(offset, origin), memory.Seek(offset, origin)) << step;
            break;
        case 2: {
            const std::int64_t got = file.Read(fromFile.data(), count);
            ASSERT_EQ(got, memory.Read(fromMemory.data(), count)) << step;
            ASSERT_TRUE(std::equal(fromFile.begin(), fromFile.begin() + got, fromMemory.begin()));
            break;
        }
        case 3:
            for (auto& byte : scratch) {
                byte = static_cast<std::uint8_t>(random());
            }
            ASSERT_EQ(file.Write(scratch.data(), count), memory.Write(scratch.data(), count));
            break;
        default:
            if (random() % 4 == 0) {
                const std::int64_t size = random() % 1000;
                file.SetSize(size);
                memory.SetSize(size);
            }
            ASSERT_EQ(file.GetSize(), memory.GetSize()) << step;
            break;
        }
        ASSERT_EQ(file.GetPosition(), memory.GetPosition()) << step;
    }
    file.SetPosition(0);
    Bytes all(static_cast<std::size_t>(file.GetSize()));
    ASSERT_EQ(file.Read(all.data(), static_cast<std::int64_t>(all.size())),
              static_cast<std::int64_t>(all.size()));
    EXPECT_EQ(all, memory.Bytes);
}

TEST(MemoryStream64Test, CountsKeepOnlyTheirLowHalfLikeTheFileStreams) {
    TMemoryStream64 memory(Bytes(10, 7));
    std::uint8_t buffer[10] = {};
    EXPECT_EQ(memory.Read(buffer, (std::int64_t{1} << 32) + 3), 3);
    EXPECT_EQ(memory.Write(buffer, std::int64_t{1} << 32), 0);
    EXPECT_EQ(memory.GetSize(), 10);
}

TEST(MemoryStream64Test, AWriteWhoseEndNoPositionHoldsMovesNothing) {
    TMemoryStream64 memory(Bytes(10, 7));
    const std::uint8_t byte = 1;
    const std::int64_t last = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(memory.Seek(last, 0), last);
    EXPECT_EQ(memory.Write(&byte, 1), 0);
    EXPECT_EQ(memory.Bytes, Bytes(10, 7));
    EXPECT_EQ(memory.GetPosition(), last);
}
