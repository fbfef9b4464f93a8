// Writes that cannot go as the analysis planned them: overlapping fields, another file under the
// name, a failing medium, a lock the file system refuses, a lost "done" mark, a long path.
#include "engine/Engine.h"
#include "os/FileLayer.h"
#include "support/AviBuilder.h"
#include "support/FaultyFileLayer.h"
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

// A "hdrl" whose first child is 8 zero bytes makes the walk resynchronise; it then finds a
// "strh" at byte `at` of the "strf" data, so that the handler field lies inside the format.
Bytes HeaderInsideFormat(std::size_t at) {
    Bytes format = test::BitmapInfoHeader(FCC("XVID"));
    test::RiffBuilder header;
    header.Code(FCC("strh")).U32(8).Code(FCC("vids")).Code(at == 4 ? FCC("XVID") : FCC("xvid"));
    std::copy(header.Data().begin(), header.Data().end(), format.begin() + at);
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Fill(8);
    b.BeginList(FCC("LIST"), FCC("strl"));
    b.Chunk(FCC("strf"), format);
    b.End();
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 0xAA));
    return b.Take();
}

// XviD with its two codes in different sectors: two writes.
constexpr std::int64_t kApartHandlerAt = 112;
Bytes CodesApart() {
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), test::MainHeader(1));
    b.BeginList(FCC("LIST"), FCC("strl"));
    b.Chunk(FCC("strh"), test::StrhData(FCC("vids"), FCC("xvid")));
    b.Chunk(FCC("JUNK"), Bytes(1500, 0));
    b.Chunk(FCC("strf"), test::BitmapInfoHeader(FCC("XVID")));
    b.End();
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 0xAA));
    return b.Take();
}

void SetJournalVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("VIDTAG_JOURNAL", value.c_str());
#else
    setenv("VIDTAG_JOURNAL", value.c_str(), 1);
#endif
}

os::Attributes ReadOnly(os::Attributes attributes) {
    return test::kOnWindows ? attributes | 1 : 0444;
}

class WriteSafety : public ::testing::Test {
  protected:
    // A journal of the test's own: files of earlier tests may have had the same inode.
    void SetUp() override {
        EngineState = {};
        saved_ = os::EnvironmentVariable("VIDTAG_JOURNAL");
        journal_ = dir_.Path("journal.jsonl");
        SetJournalVariable(journal_);
        SetJournalUse(JournalUse::Required);
    }
    void TearDown() override {
        SetJournalUse(JournalUse::BestEffort);
        SetKeepModifiedTime(false);
        SetJournalVariable(saved_);
    }
    std::string File(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.Path(name);
        fs::remove(path);
        test::WriteFileBytes(path, bytes);
        return path;
    }

    test::TempDir dir_;
    std::string journal_;
    std::string saved_;
};

TEST_F(WriteSafety, WritesThatWouldMissTheirCodesAreRefused) {
    enum class Between { Nothing, Replaced, ReadFails };
    struct Case {
        const char* Name;
        Bytes Content;
        Between Step;
        ConversionStatus Status;
        Refusal Refused;
    };
    for (const Case& c : {
             Case{"handler on the compression field", HeaderInsideFormat(4), Between::Nothing,
                  kStatusCannotWrite, Refusal::FieldsOverlap},
             Case{"handler inside the format", HeaderInsideFormat(20), Between::Nothing,
                  kStatusCannotWrite, Refusal::FieldsOverlap},
             Case{"another file under the name", CodesApart(), Between::Replaced,
                  kStatusFileChanged, Refusal::None},
             Case{"a read that fails", CodesApart(), Between::ReadFails, kStatusCannotOpen,
                  Refusal::None},
         }) {
        SCOPED_TRACE(c.Name);
        const std::string path = File("refused.avi", c.Content);
        ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        ASSERT_EQ(EngineState.CurrentKind, 10);
        Bytes expected = c.Content;
        if (c.Step == Between::Replaced) {
            const std::string other = File("other.avi", c.Content);
            fs::rename(other, path);
        }
        test::FaultyFileLayer files;
        files.FailingRead = c.Step == Between::ReadFails ? 1 : 0;
        EXPECT_EQ(ProcessFile(path, 12), c.Status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_TRUE(test::ReadFileBytes(path) == expected) << "file changed";
    }
}

// Every write after the first fails, the undo included: the file keeps one new code, and only
// recovery, from what the file holds, may settle the conversion.
TEST_F(WriteSafety, ARollbackThatFailsLeavesTheConversionToRecovery) {
    for (const int through : {0, 1}) {
        SCOPED_TRACE(std::to_string(through) + " writes went through");
        const Bytes original = CodesApart();
        const std::string path = File("pulled.avi", original);
        ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        {
            test::FaultyFileLayer files;
            files.FailWritesTo = path;
            files.WritesBeforeFailing = through;
            EXPECT_EQ(ProcessFile(path, 12), kStatusCannotWrite);
        }
        const Bytes left = test::ReadFileBytes(path);
        EXPECT_EQ(std::string(left.begin() + kApartHandlerAt, left.begin() + kApartHandlerAt + 4),
                  through == 1 ? "divx" : "xvid");
        ProcessFile(path, kNoKind);
        EXPECT_EQ(OriginalOf(path).Interrupted, through == 1);
        EXPECT_EQ(RecoverFile(path), kStatusDone);
        EXPECT_EQ(JournalReport.Settled, through == 1 ? Settlement::Repaired : Settlement::None);
        EXPECT_TRUE(test::ReadFileBytes(path) == original);
    }
}

#ifndef _WIN32
// NFS takes an exclusive lock only through a writing descriptor (EBADF otherwise); other file
// systems refuse locks outright. None of it is "another conversion".
TEST_F(WriteSafety, LockFailuresCarryTheSystemsReason) {
    struct Case {
        int ReadHandleError, AnyHandleError;
        bool ReadOnlyFile;
        ConversionStatus Status;
        Refusal Refused;
        int Reason;
    };
    for (const Case& c : {
             Case{EBADF, 0, false, kStatusDone, Refusal::None, 0},
             Case{EBADF, 0, true, kStatusCannotWrite, Refusal::LockNeedsWriting, EBADF},
             Case{0, ENOLCK, false, kStatusCannotWrite, Refusal::LockFailed, ENOLCK},
             Case{0, EOPNOTSUPP, true, kStatusCannotWrite, Refusal::LockFailed, EOPNOTSUPP},
         }) {
        SCOPED_TRACE(std::to_string(c.ReadHandleError + c.AnyHandleError) +
                     (c.ReadOnlyFile ? " read-only" : ""));
        const Bytes original = CodesApart();
        const std::string path = File("nfs.avi", original);
        if (c.ReadOnlyFile) {
            fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
        }
        ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        test::FaultyFileLayer files;
        files.ReadHandleLockError = c.ReadHandleError;
        files.LockError = c.AnyHandleError;
        EXPECT_EQ(CheckLock(path), c.Status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_EQ(ProcessFile(path, 12), c.Status);
        EXPECT_EQ(JournalReport.Refused, c.Refused);
        EXPECT_EQ(JournalReport.LockError, c.Reason);
        EXPECT_EQ(test::ReadFileBytes(path) == original, c.Status != kStatusDone);
    }
}
#endif

// A read-only file keeps its time and attributes (with the archive attribute that says it
// changed); after a lost "done" mark the first conversion must not trip over the settling.
TEST_F(WriteSafety, AReadOnlyFileKeepsItsTimeEvenAfterALostMark) {
    SetKeepModifiedTime(true);
    for (const bool lostMark : {false, true}) {
        SCOPED_TRACE(lostMark ? "done mark lost" : "plain");
        const std::string path = File("kept.avi", CodesApart());
        const auto time = fs::last_write_time(path) - std::chrono::hours(50);
        fs::last_write_time(path, time);
        os::Attributes attributes = 0;
        ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), attributes));
        ASSERT_TRUE(os::Files().SetAttributes(path.c_str(), ReadOnly(attributes)));
        test::FaultyFileLayer files;
        files.HonourReadOnly = true;
        ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        if (lostMark) {
            files.FailWritesTo = journal_;
            files.WritesBeforeFailing = 1; // the record, not the mark
            ASSERT_EQ(ProcessFile(path, 11), kStatusDone);
            files.FailWritesTo.clear();
        }
        EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
        EXPECT_EQ(JournalReport.Settled, lostMark ? Settlement::Done : Settlement::None);
        EXPECT_EQ(JournalReport.TimeError, 0);
        EXPECT_TRUE(fs::last_write_time(path) == time);
        os::Attributes after = 0;
        ASSERT_TRUE(os::Files().GetAttributes(path.c_str(), after));
        EXPECT_EQ(after, ReadOnly(attributes) | (test::kOnWindows ? 0x20 : 0));
        fs::permissions(path, fs::perms::owner_all);
        os::Files().SetAttributes(path.c_str(), attributes);
    }
}

#ifdef _WIN32
// Past MAX_PATH (260) only the \\?\ form opens; the layer gives it to absolute names.
TEST_F(WriteSafety, AFileWhosePathHas300CharactersIsConverted) {
    std::wstring folder = fs::path(dir_.Root()).wstring();
    std::string path = dir_.Root();
    while (path.size() < 280) {
        const std::string part(60, 'd');
        folder += L"\\" + std::wstring(part.begin(), part.end());
        path += "\\" + part;
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    path += "\\" + std::string(300 - path.size() - 5, 'f') + ".avi";
    ASSERT_EQ(path.size(), 300u);
    const Bytes original = CodesApart();
    const os::FileHandle out = os::Files().Create(path.c_str());
    ASSERT_NE(out, os::InvalidHandle());
    os::Files().Write(out, original.data(), static_cast<std::uint32_t>(original.size()));
    os::Files().Close(out);
    EXPECT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    EXPECT_EQ(EngineState.CurrentKind, 10);
    EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
    EXPECT_EQ(RestoreFile(path), kStatusDone);
    const std::wstring wide = L"\\\\?\\" + folder + L"\\" + fs::path(path).filename().wstring();
    EXPECT_TRUE(::DeleteFileW(wide.c_str()));
    for (; folder.size() > fs::path(dir_.Root()).wstring().size();
         folder.resize(folder.rfind(L'\\'))) {
        ::RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
    }
}
#endif

} // namespace
