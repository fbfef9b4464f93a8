// Writes that cannot go as the analysis planned them: overlapping fields, another file under the
// name, a failing medium, a lock the file system refuses, a lost "done" mark, a long path.
#include "engine/Engine.h"

#include "support/AviBuilder.h"
#include "support/FaultyFileLayer.h"
#include "support/JournalVariable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace vidtag;
using test::Bytes;

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kApartHandlerAt = 112;

// XviD with its codes in different sectors; or, with `at`, a "hdrl" whose first child is 8 zero
// bytes, so that the walk resynchronises and finds a "strh" at byte `at` of the "strf" data.
Bytes Video(std::size_t at = 0) {
    Bytes format = test::BitmapInfoHeader(FCC("XVID"));
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    if (at == 0) {
        b.Chunk(FCC("avih"), test::MainHeader(1));
        b.BeginList(FCC("LIST"), FCC("strl"));
        b.Chunk(FCC("strh"), test::StrhData(FCC("vids"), FCC("xvid")));
        b.Chunk(FCC("JUNK"), Bytes(1500, 0));
    } else {
        test::RiffBuilder header;
        header.Code(FCC("strh")).U32(8).Code(FCC("vids")).Code(FCC("XVID"));
        std::copy(header.Data().begin(), header.Data().end(), format.begin() + at);
        b.Fill(8).BeginList(FCC("LIST"), FCC("strl"));
    }
    b.Chunk(FCC("strf"), format);
    b.End();
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 0xAA));
    return b.Take();
}

// A journal of each test's own: a file of an earlier test may have had the same identity.
class WriteSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        test::SetJournalVariable(journal_);
        SetJournalUse(JournalUse::Required);
    }
    void TearDown() override {
        SetJournalUse(JournalUse::BestEffort);
        SetKeepModifiedTime(false);
        test::SetJournalVariable(saved_);
    }
    // A fresh file, analysed.
    std::string File(const std::string& name, const Bytes& bytes) {
        fs::remove(dir_.Path(name));
        test::WriteFileBytes(dir_.Path(name), bytes);
        EXPECT_EQ(ProcessFile(dir_.Path(name), kNoKind), kStatusDone);
        return dir_.Path(name);
    }

    test::TempDir dir_;
    const std::string journal_ = dir_.Path("journal.jsonl");
    const std::string saved_ = os::EnvironmentVariable("VIDTAG_JOURNAL");
};

TEST_F(WriteSafety, WritesThatWouldMissTheirCodesAreRefused) {
    enum class Between { Nothing, Replaced, ReadFails };
    struct Case {
        std::size_t HeaderAt;
        Between Step;
        ConversionStatus Status;
        Refusal Refused;
    };
    for (const Case& c : {Case{4, Between::Nothing, kStatusCannotWrite, Refusal::FieldsOverlap},
                          Case{20, Between::Nothing, kStatusCannotWrite, Refusal::FieldsOverlap},
                          Case{0, Between::Replaced, kStatusFileChanged, Refusal::None},
                          Case{0, Between::ReadFails, kStatusCannotOpen, Refusal::None}}) {
        SCOPED_TRACE(static_cast<int>(c.Step) * 100 + c.HeaderAt);
        const std::string path = File("refused.avi", Video(c.HeaderAt));
        ASSERT_EQ(EngineState.CurrentKind, 10);
        if (c.Step == Between::Replaced) {
            test::WriteFileBytes(dir_.Path("other.avi"), Video());
            fs::rename(dir_.Path("other.avi"), path);
        }
        test::FaultyFileLayer files;
        files.FailWritesTo = path;
        files.WritesBeforeFailing = 2;
        files.FailReads = c.Step == Between::ReadFails;
        EXPECT_EQ(ProcessFile(path, 12), c.Status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_TRUE(test::ReadFileBytes(path) == Video(c.HeaderAt)) << "file changed";
    }
}

// Every write after the first fails, the undo included: the file keeps one new code, and only
// recovery, from what the file holds, may settle the conversion.
TEST_F(WriteSafety, ARollbackThatFailsLeavesTheConversionToRecovery) {
    for (const int through : {0, 1}) {
        SCOPED_TRACE(through);
        const std::string path = File("pulled.avi", Video());
        {
            test::FaultyFileLayer files;
            files.FailWritesTo = path;
            files.WritesBeforeFailing = through;
            EXPECT_EQ(ProcessFile(path, 12), kStatusCannotWrite);
        }
        const Bytes left = test::ReadFileBytes(path);
        EXPECT_EQ(left[kApartHandlerAt], through == 1 ? 'd' : 'x');
        ProcessFile(path, kNoKind);
        EXPECT_EQ(OriginalOf(path).Interrupted, through == 1);
        EXPECT_EQ(RecoverFile(path), kStatusDone);
        EXPECT_EQ(JournalReport.Settled, through == 1 ? Settlement::Repaired : Settlement::None);
        EXPECT_TRUE(test::ReadFileBytes(path) == Video());
    }
}

#ifndef _WIN32
// NFS takes an exclusive lock only through a writing descriptor (EBADF otherwise); other file
// systems refuse locks outright. None of it is "another conversion".
TEST_F(WriteSafety, LockFailuresCarryTheSystemsReason) {
    struct Case {
        int ReadHandleError, AnyHandleError;
        bool ReadOnlyFile;
        Refusal Refused;
    };
    for (const Case& c :
         {Case{EBADF, 0, false, Refusal::None}, Case{EBADF, 0, true, Refusal::LockNeedsWriting},
          Case{0, ENOLCK, false, Refusal::LockFailed},
          Case{0, EOPNOTSUPP, true, Refusal::LockFailed}}) {
        SCOPED_TRACE(c.ReadHandleError + c.AnyHandleError + (c.ReadOnlyFile ? 1000 : 0));
        const std::string path = File("nfs.avi", Video());
        fs::permissions(path, c.ReadOnlyFile ? fs::perms::owner_read : fs::perms::owner_all);
        test::FaultyFileLayer files;
        files.ReadHandleLockError = c.ReadHandleError;
        files.LockError = c.AnyHandleError;
        const ConversionStatus status =
            c.Refused == Refusal::None ? kStatusDone : kStatusCannotWrite;
        EXPECT_EQ(CheckLock(path), status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_EQ(ProcessFile(path, 12), status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_EQ(JournalReport.LockError,
                  status == kStatusDone ? 0 : c.ReadHandleError + c.AnyHandleError);
        EXPECT_EQ(test::ReadFileBytes(path) == Video(), status != kStatusDone);
    }
}
#endif

// A read-only file keeps its time and attributes (with the archive attribute that says it
// changed); after a lost "done" mark the first conversion must not trip over the settling.
TEST_F(WriteSafety, AReadOnlyFileKeepsItsTimeEvenAfterALostMark) {
    SetKeepModifiedTime(true);
    for (const bool lostMark : {false, true}) {
        SCOPED_TRACE(lostMark);
        const std::string path = File("kept.avi", Video());
        const auto time = fs::last_write_time(path) - std::chrono::hours(50);
        fs::last_write_time(path, time);
        os::Attributes attributes = 0;
        ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), attributes));
        const os::Attributes readOnly = test::kOnWindows ? attributes | 1 : 0444;
        ASSERT_TRUE(os::Files().SetAttributes(path.c_str(), readOnly));
        test::FaultyFileLayer files;
        files.HonourReadOnly = true;
        files.FailWritesTo = lostMark ? journal_ : "";
        files.WritesBeforeFailing = 1; // the record, not the mark
        ASSERT_EQ(ProcessFile(path, lostMark ? 11 : 13), kStatusDone);
        files.FailWritesTo.clear();
        EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
        EXPECT_EQ(JournalReport.Settled, lostMark ? Settlement::Done : Settlement::None);
        EXPECT_TRUE(fs::last_write_time(path) == time);
        ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), attributes));
        EXPECT_EQ(attributes, readOnly | (test::kOnWindows ? 0x20 : 0)); // archive
        os::Files().SetAttributes(path.c_str(), os::Files().WithoutReadOnly(readOnly));
    }
}

#ifdef _WIN32
// Past MAX_PATH (260) only the \\?\ form opens; the layer gives it to absolute names.
TEST_F(WriteSafety, AFileWhosePathHas300CharactersIsConverted) {
    const std::wstring root = L"\\\\?\\" + fs::path(dir_.Root()).wstring();
    std::wstring folder = root;
    std::string path = dir_.Root();
    for (; path.size() < 280; path += "\\" + std::string(60, 'd')) {
        folder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    }
    const std::string name = std::string(300 - path.size() - 5, 'f') + ".avi";
    path += "\\" + name;
    const os::FileHandle out = os::Files().Create(path.c_str());
    ASSERT_NE(out, os::InvalidHandle());
    os::Files().Write(out, Video().data(), static_cast<std::uint32_t>(Video().size()));
    os::Files().Close(out);
    EXPECT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    EXPECT_EQ(EngineState.CurrentKind, 10);
    EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
    EXPECT_EQ(RestoreFile(path), kStatusDone);
    EXPECT_TRUE(::DeleteFileW((folder + L"\\" + std::wstring(name.begin(), name.end())).c_str()));
    for (; folder.size() > root.size(); folder.resize(folder.rfind(L'\\'))) {
        ::RemoveDirectoryW(folder.c_str());
    }
}
#endif

} // namespace
