#include "streams/Stream64.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vidtag;
using vidtag::test::Bytes;
using vidtag::test::TempDir;

namespace {

constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone; // 64
constexpr std::uint16_t kPatchMode = kModeWrite | kShareDenyNone;  // 65

class Stream64Test : public ::testing::Test {
  protected:
    std::string MakeFile(const std::string& name, std::size_t size) {
        const std::string path = dir.Path(name);
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i);
        }
        test::WriteFileBytes(path, bytes);
        return path;
    }

    TempDir dir;
};

} // namespace

TEST_F(Stream64Test, ReadsStopAtTheEnd) {
    TFileStream64 stream(MakeFile("ten", 10), kAnalyseMode);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(stream.Seek(8, 0), 8);
    EXPECT_EQ(stream.Read(buffer, 4), 2); // two left
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(stream.Read(buffer, 4), 0); // at the end
    stream.SetPosition(100);
    EXPECT_EQ(stream.Read(buffer, 4), 0); // past the end
}

TEST_F(Stream64Test, SizeKeepsThePosition) {
    TFileStream64 stream(MakeFile("hundred", 100), kAnalyseMode);
    stream.SetPosition(37);
    EXPECT_EQ(stream.GetSize(), 100);
    EXPECT_EQ(stream.GetPosition(), 37);
    stream.SetPosition(100);
    EXPECT_EQ(stream.GetSize(), 100);
    EXPECT_EQ(stream.GetPosition(), 100);
}

TEST_F(Stream64Test, SeekOrigins) {
    TFileStream64 stream(MakeFile("hundred", 100), kAnalyseMode);
    stream.SetPosition(10);
    EXPECT_EQ(stream.Seek(0, 1), 10);
    EXPECT_EQ(stream.Seek(5, 1), 15);
    EXPECT_EQ(stream.Seek(-4, 2), 96);
    EXPECT_EQ(stream.Seek(0, 2), 100);
    EXPECT_EQ(stream.GetPosition(), 100);
}

TEST_F(Stream64Test, PositionAboveFourGiBRoundTrips) {
    const std::string path = dir.Path("sparse");
    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    {
        TFileStream64 stream(path, kCreateMode);
        EXPECT_EQ(stream.Seek(far, 0), far);
        EXPECT_EQ(stream.GetPosition(), far);
        const std::uint8_t byte = 0xAB;
        EXPECT_EQ(stream.Write(&byte, 1), 1);
        EXPECT_EQ(stream.GetSize(), far + 1);
    }
    TFileStream64 stream(path, kAnalyseMode);
    stream.SetPosition(far);
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 1);
    EXPECT_EQ(byte, 0xAB);
    stream.SetSize(0); // read-only handle: the file must stay as it is
    EXPECT_EQ(stream.GetSize(), far + 1);
}

TEST_F(Stream64Test, OpenFailuresCarryTheNameAsPassed) {
    const std::string missing = dir.Path("no such file.avi");
    try {
        TFileStream64 stream(missing, kAnalyseMode);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
    }
    try {
        TFileStream64 stream(dir.Path("no folder") + "/x", kCreateMode);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + dir.Path("no folder") + "/x");
    }
    // A folder is never a file stream.
    EXPECT_THROW(TFileStream64(dir.Root(), kAnalyseMode), EFOpenError);
    EXPECT_THROW(TFileStream64(dir.Root(), kPatchMode), EStreamError);
}

TEST_F(Stream64Test, CreateTruncatesAndSetSizeShortens) {
    const std::string path = MakeFile("data", 50);
    {
        TFileStream64 stream(path, kCreateMode);
        EXPECT_EQ(stream.GetSize(), 0);
        const Bytes bytes(30, 7);
        EXPECT_EQ(stream.Write(bytes.data(), 30), 30);
        stream.SetSize(12);
        EXPECT_EQ(stream.GetPosition(), 12);
        EXPECT_EQ(stream.GetSize(), 12);
    }
    EXPECT_EQ(test::ReadFileBytes(path), Bytes(12, 7));
}

TEST_F(Stream64Test, WritesOneCallAtThePosition) {
    const std::string path = MakeFile("patch", 16);
    {
        TFileStream64 stream(path, kPatchMode);
        EXPECT_EQ(stream.Seek(4, 0), 4);
        EXPECT_EQ(stream.Write("divx", 4), 4);
        EXPECT_TRUE(stream.Flush());
    }
    const Bytes bytes = test::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::memcmp(bytes.data() + 4, "divx", 4), 0);
    EXPECT_EQ(bytes[3], 3);
    EXPECT_EQ(bytes[8], 8);
}

#ifdef _WIN32
// Sharing modes exist only on Windows.
TEST_F(Stream64Test, SharingModes) {
    const std::string path = MakeFile("shared", 16);
    {
        TFileStream64 writer(path, kPatchMode);
        EXPECT_NO_THROW(TFileStream64(path, kAnalyseMode));
    }
    {
        TFileStream64 reader(path, kAnalyseMode);
        EXPECT_NO_THROW(TFileStream64(path, kPatchMode));
    }
    {
        TFileStream64 exclusive(path, kModeReadWrite | kShareExclusive);
        EXPECT_THROW(TFileStream64(path, kAnalyseMode), EFOpenError);
        EXPECT_THROW(TFileStream64(path, kPatchMode), EFOpenError);
    }
    {
        TFileStream64 denyWrite(path, kModeRead | kShareDenyWrite);
        EXPECT_NO_THROW(TFileStream64(path, kAnalyseMode));
        EXPECT_THROW(TFileStream64(path, kPatchMode), EFOpenError);
    }
}
#endif
