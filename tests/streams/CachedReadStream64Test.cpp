#include "streams/CachedReadStream64.h"

#include "support/CountingFileLayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

using namespace vidtag;
using vidtag::test::Bytes;

namespace {

constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;

std::string MakeNumberedFile(const test::TempDir& dir, std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    const std::string path = dir.Path("numbered");
    test::WriteFileBytes(path, bytes);
    return path;
}

} // namespace

// Random walks over buffer edges, the file's end and beyond it, with reads smaller and larger
// than the buffer: every answer must be the file's own.
TEST(CachedReadStream64Test, AnswersExactlyAsTheFileDoes) {
    test::TempDir dir;
    const std::string path = MakeNumberedFile(dir, 20000);
    for (const std::int64_t bufferSize : {16, 100, 4096, 65536}) {
        TFileStream64 direct(path, kAnalyseMode);
        TFileStream64 underCache(path, kAnalyseMode);
        underCache.SetPosition(321);
        direct.SetPosition(321);
        TCachedReadStream64 cached(&underCache, bufferSize);
        std::mt19937 random(static_cast<unsigned>(bufferSize));
        Bytes fromDirect(9000), fromCache(9000);
        for (int step = 0; step < 4000; ++step) {
            const std::int64_t offset = static_cast<std::int64_t>(random() % 26000) - 3000;
            const auto origin = static_cast<std::uint16_t>(random() % 3);
            const int what = static_cast<int>(random() % 10);
            if (what < 3) {
                ASSERT_EQ(direct.Seek(offset, origin), cached.Seek(offset, origin))
                    << bufferSize << " step " << step;
            } else if (what < 4) {
                ASSERT_EQ(direct.GetSize(), cached.GetSize());
            } else {
                const std::int64_t count =
                    what == 9 ? static_cast<std::int64_t>(random() % 9000) : random() % 70;
                const std::int64_t got = direct.Read(fromDirect.data(), count);
                ASSERT_EQ(got, cached.Read(fromCache.data(), count))
                    << bufferSize << " step " << step;
                ASSERT_TRUE(
                    std::equal(fromDirect.begin(), fromDirect.begin() + got, fromCache.begin()));
            }
            ASSERT_EQ(direct.GetPosition(), cached.GetPosition()) << bufferSize;
        }
        EXPECT_EQ(cached.Write(fromCache.data(), 4), 0);
        cached.SetSize(5);
        EXPECT_EQ(cached.GetSize(), 20000);
    }
}

TEST(CachedReadStream64Test, SmallReadsCostOneSystemReadPerBuffer) {
    test::TempDir dir;
    const std::string path = MakeNumberedFile(dir, 1 << 20);
    TFileStream64 file(path, kAnalyseMode);
    test::CountingFileLayer counter;
    TCachedReadStream64 cached(&file);
    std::uint8_t word[4];
    while (cached.Read(word, 4) == 4) {
        cached.GetSize();
        cached.GetPosition();
    }
    EXPECT_EQ(cached.GetPosition(), 1 << 20);
    // Sixteen buffers; two seeks learn the position and size, one goes back to the start.
    EXPECT_LE(counter.Reads, 16);
    EXPECT_LE(counter.Seeks, 3);
}
