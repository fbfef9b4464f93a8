#include "engine/Engine.h"
#include "streams/Stream64.h"

#include "support/AviBuilder.h"
#include "support/FaultyFileLayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace vidtag;
using vidtag::test::Bytes;

namespace {

// Where the single-video samples keep their codes.
constexpr std::int64_t kHandlerAt = 112;
constexpr std::int64_t kCompressionAt = 188;

Bytes WithCode(Bytes bytes, std::int64_t position, const char* code) {
    std::memcpy(bytes.data() + position, code, 4);
    return bytes;
}

class EngineTest : public ::testing::Test {
  protected:
    // The engine's own writes, counted from 1, without the journal's in between.
    void SetUp() override {
        EngineState = {};
        SetJournalUse(JournalUse::Off);
    }
    void TearDown() override { SetJournalUse(JournalUse::BestEffort); }

    // A copy of a sample, analysed.
    std::string Analysed(const std::string& sample) {
        const std::string path = dir.Path(sample);
        original = test::ReadFileBytes(test::SamplePath(sample));
        test::WriteFileBytes(path, original);
        EXPECT_EQ(ProcessFile(path, 0), kStatusDone);
        return path;
    }

    // A failed conversion leaves the file and everything but the status as they were.
    void ExpectRefused(const std::string& path, CodecKind target, ConversionStatus status) {
        const TEngineState before = EngineState;
        EXPECT_EQ(ProcessFile(path, target), status);
        EXPECT_EQ(EngineState.CurrentKind, before.CurrentKind);
        EXPECT_EQ(EngineState.CurrentHandler, before.CurrentHandler);
        EXPECT_TRUE(test::ReadFileBytes(path) == original) << "file changed";
    }

    test::TempDir dir;
    Bytes original;
};

TEST_F(EngineTest, AnalysisFindsTheLastVideoStreamsCodes) {
    struct Case {
        const char* Sample;
        CodecKind Kind;
        std::int64_t HandlerPos, CompressionPos;
        FourCC Handler, Compression;
    };
    for (const Case& c : {
             Case{"kind07-div4.avi", 7, kHandlerAt, kCompressionAt, FCC("div4"), FCC("DIV3")},
             Case{"case-divx-DX50.avi", 12, kHandlerAt, kCompressionAt, FCC("divx"), FCC("DX50")},
             Case{"audio-first-div3.avi", 6, 4340, 4416, FCC("div3"), FCC("DIV3")},
             Case{"two-video-div3-mp43.avi", 3, 4440, 4516, FCC("mp43"), FCC("MP43")},
             Case{"no-strf-xvid.avi", 10, kHandlerAt, 0, FCC("xvid"), 0},
             Case{"opendml-avix-xvid.avi", 10, kHandlerAt, kCompressionAt, FCC("xvid"),
                  FCC("XVID")},
         }) {
        SCOPED_TRACE(c.Sample);
        Analysed(c.Sample);
        EXPECT_EQ(EngineState.OriginalKind, c.Kind);
        EXPECT_EQ(EngineState.CurrentKind, c.Kind);
        EXPECT_EQ(EngineState.HandlerPos, c.HandlerPos);
        EXPECT_EQ(EngineState.CompressionPos, c.CompressionPos);
        EXPECT_EQ(EngineState.OriginalHandler, c.Handler);
        EXPECT_EQ(EngineState.OriginalCompression, c.Compression);
    }
}

TEST_F(EngineTest, BackToTheOriginalKindRestoresTheCodesAsFound) {
    const std::string path = Analysed("case-XVID-XVID.avi");
    ASSERT_EQ(ProcessFile(path, 11), kStatusDone);
    EXPECT_TRUE(test::ReadFileBytes(path) ==
                WithCode(WithCode(original, kHandlerAt, "divx"), kCompressionAt, "DIVX"));
    ASSERT_EQ(ProcessFile(path, 10), kStatusDone);
    EXPECT_EQ(EngineState.CurrentKind, 10);
    EXPECT_TRUE(test::ReadFileBytes(path) == original) << "not XVID/XVID again";

    // Analysed again, the converted file is its own original.
    const std::string other = Analysed("kind12-divx.avi");
    ASSERT_EQ(ProcessFile(other, 10), kStatusDone);
    ASSERT_EQ(ProcessFile(other, 0), kStatusDone);
    EXPECT_EQ(EngineState.OriginalKind, 10);
    EXPECT_EQ(EngineState.CurrentKind, 10);
}

TEST_F(EngineTest, WithoutAFormatChunkOnlyTheHandlerIsWritten) {
    const std::string path = Analysed("no-strf-xvid.avi");
    ASSERT_EQ(ProcessFile(path, 13), kStatusDone);
    EXPECT_TRUE(test::ReadFileBytes(path) == WithCode(original, kHandlerAt, "3iv2"));
}

TEST_F(EngineTest, FilesThatAreNotAviOrNotThere) {
    EXPECT_EQ(ProcessFile(test::SamplePath("not-riff-text.avi"), 0), kStatusNotAvi);
    EXPECT_EQ(EngineState.CurrentKind, kUnknownKind);
    EXPECT_EQ(EngineState.OriginalKind, kUnknownKind);
    const Bytes riff{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I'};
    for (std::size_t size = 0; size < 12; ++size) {
        const std::string path = dir.Path("short" + std::to_string(size) + ".avi");
        test::WriteFileBytes(path, Bytes(riff.begin(), riff.begin() + size));
        EXPECT_EQ(ProcessFile(path, 0), kStatusNotAvi) << size << " bytes";
    }
    // A missing file leaves the last analysis in place.
    Analysed("kind03-mp43.avi");
    const TEngineState analysed = EngineState;
    for (const std::string& name : {dir.Root(), std::string(), dir.Path("missing.avi"),
                                    dir.Path("kind03-mp43.avi") + std::string(1, '\0')}) {
        EXPECT_FALSE(FileIsReadable(name)) << name;
        EXPECT_EQ(ProcessFile(name, 0), kStatusNotFound) << name;
        EXPECT_EQ(EngineState.OriginalKind, analysed.OriginalKind);
        EXPECT_EQ(EngineState.HandlerPos, analysed.HandlerPos);
    }
}

TEST_F(EngineTest, NothingIsWrittenWhereTheCodesAreNotKnown) {
    const std::string path = Analysed("kind03-mp43.avi");
    ExpectRefused(path, 14, kStatusCannotWrite);
    ExpectRefused(path, 200, kStatusCannotWrite);

    // After a failed analysis the positions point at nothing.
    EXPECT_EQ(ProcessFile(test::SamplePath("not-riff-text.avi"), 0), kStatusNotAvi);
    ExpectRefused(path, 6, kStatusCannotWrite);

    std::filesystem::remove(path);
    Analysed("kind03-mp43.avi");
    std::filesystem::remove(path);
    EXPECT_EQ(ProcessFile(path, 6), kStatusNotFound);
    EXPECT_FALSE(std::filesystem::exists(path)) << "the conversion created the file";
    EXPECT_EQ(EngineState.CurrentKind, 3);
}

TEST_F(EngineTest, HeaderOnlyAndHalfHeaderedFilesAreUnknownAndNotWritten) {
    // A second video stream whose header ends inside its handler code, with a whole format.
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.StreamList(test::StrhData(FCC("vids"), FCC("divx")), test::BitmapInfoHeader(FCC("DX50")));
    b.BeginList(FCC("LIST"), FCC("strl"));
    const Bytes strh = test::StrhData(FCC("vids"), FCC("divx"));
    b.Chunk(FCC("strh"), Bytes(strh.begin(), strh.begin() + 6));
    b.Chunk(FCC("strf"), test::BitmapInfoHeader(FCC("DIVX")));
    b.End();
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    for (const Bytes& bytes :
         {Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, b.Take()}) {
        const std::string path = dir.Path("unknown.avi");
        original = bytes;
        test::WriteFileBytes(path, bytes);
        EXPECT_EQ(ProcessFile(path, 0), kStatusDone);
        EXPECT_EQ(EngineState.OriginalKind, kUnknownKind);
        ExpectRefused(path, 13, kStatusCannotWrite);
    }
}

TEST_F(EngineTest, AFileChangedSinceTheAnalysisIsLeftAlone) {
    const std::string path = Analysed("kind03-mp43.avi");
    original = test::ReadFileBytes(test::SamplePath("kind06-div3.avi"));
    test::WriteFileBytes(path, original);
    ExpectRefused(path, 6, kStatusFileChanged);

    const std::string other = Analysed("kind06-div3.avi");
    original.resize(150); // the handler is still there, the compression code is not
    test::WriteFileBytes(other, original);
    ExpectRefused(other, 3, kStatusFileChanged);
    EXPECT_EQ(StatusTextNumber(kStatusFileChanged, 6), 17);
}

TEST_F(EngineTest, FailedWritesAreRolledBack) {
    const std::string path = Analysed("kind10-xvid.avi");
    {
        test::FaultyFileLayer files;
        files.ShortWrite = 1; // both codes share a sector: one write from one to the other
        files.ShortWriteMoves = 2;
        ExpectRefused(path, 11, kStatusCannotWrite);
    }
    {
        test::FaultyFileLayer files;
        files.ThrowingWrite = 1;
        ExpectRefused(path, 11, kStatusCannotWrite);
    }
    {
        test::FaultyFileLayer files;
        files.ShortWrite = 1;
        files.ShortWriteMoves = 3;
        ExpectRefused(path, 12, kStatusCannotWrite);
    }
    {
        test::FaultyFileLayer files;
        files.FailFlush = true;
        ExpectRefused(path, 13, kStatusCannotWrite);
    }
    {
        test::FaultyFileLayer files;
        files.FailGetAttributes = true;
        ExpectRefused(path, 13, kStatusCannotWrite);
        EXPECT_EQ(files.Writes + files.SetAttributeCalls, 0);
    }
    // The state still matches the file.
    EXPECT_EQ(ProcessFile(path, 13), kStatusDone);
    EXPECT_EQ(EngineState.CurrentKind, 13);
}

TEST_F(EngineTest, AScanThatRunsOutOfMemoryIsReported) {
    const std::string path = Analysed("kind10-xvid.avi");
    test::FaultyFileLayer files;
    files.ThrowingRead = 1; // the read that fills the analysis's read cache
    EXPECT_EQ(ProcessFile(path, 0), kStatusScanFailed);
    EXPECT_EQ(EngineState.CurrentKind, kUnknownKind);
    EXPECT_EQ(EngineState.OriginalKind, kUnknownKind);
    EXPECT_EQ(EngineState.HandlerPos, 0);
    EXPECT_EQ(StatusTextNumber(EngineState.Status, EngineState.CurrentKind), 16);
}

TEST_F(EngineTest, AReadOnlyFileIsConvertedAndStaysReadOnly) {
    const std::string path = Analysed("kind06-div3.avi");
    os::Attributes attributes = 0;
    ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), attributes));
    // On POSIX the whole mode must come back, not just the owner's write permission.
    const os::Attributes readOnly = test::kOnWindows ? attributes | 1 : 0444;
    ASSERT_TRUE(os::Files().SetAttributes(path.c_str(), readOnly));
    EXPECT_EQ(ProcessFile(path, 8), kStatusDone);
    ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), attributes));
    EXPECT_EQ(attributes, readOnly);
    EXPECT_TRUE(test::ReadFileBytes(path) ==
                WithCode(WithCode(original, kHandlerAt, "ap41"), kCompressionAt, "AP41"));
}

#ifdef _WIN32
TEST_F(EngineTest, AFileHeldWithoutWriteSharingCannotBeWritten) {
    const std::string path = Analysed("kind06-div3.avi");
    {
        TFileStream64 holder(path, kModeRead | kShareDenyWrite);
        ExpectRefused(path, 7, kStatusCannotWrite);
    }
    TFileStream64 holder(path, kModeRead | kShareExclusive);
    EXPECT_EQ(ProcessFile(path, 0), kStatusNotFound);
    EXPECT_EQ(EngineState.CurrentKind, 6);
}
#endif

} // namespace
