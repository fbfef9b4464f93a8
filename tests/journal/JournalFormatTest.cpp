// The journal's own format and its compaction, below the engine.
#include "engine/Engine.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "journal/JournalLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vidtag;

namespace {

TEST(JournalFormat, LinesReadBackExactlyAndDamageIsRefused) {
    // Every byte of a code survives, and a path outside ASCII stays as it is.
    const std::string code{'\0', '\x7f', '"', '\\'};
    const std::string path = "/видео/a \"b\".avi";
    const std::string text =
        JournalLine().Put("code", code).Put("path", path).Put("size", std::int64_t{-5}).Text();
    ASSERT_EQ(text.back(), '\n');
    const auto line = JournalLine::Parse(text.substr(0, text.size() - 1));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Text("code"), code);
    EXPECT_EQ(line->Text("path"), path);
    EXPECT_EQ(line->Number("size"), -5);

    for (const char* damaged :
         {"", "not json", "{\"id\":\"1\",\"path\":\"/x", "{\"id\":1,}", "{\"id\":[1]}",
          "{\"id\":\"\\u0100\"}", "{\"id\":\"1\"} trailing"}) {
        EXPECT_FALSE(JournalLine::Parse(damaged)) << damaged;
    }
}

JournalEntry Conversion(const char* id, std::uint64_t index, CodePair from, CodePair to,
                        EntryState state) {
    JournalEntry entry;
    entry.Id = id;
    entry.Time = std::string("2026-12-08T10:00:0") + id + "Z";
    entry.Path = "/v/a.avi";
    entry.File = {1, index, 1000};
    entry.HandlerPos = 112;
    entry.CompressionPos = 188;
    entry.From = from;
    entry.To = to;
    entry.FromKind = 10;
    entry.State = state;
    return entry;
}

// The original is the start of the unbroken chain that ends at the current codes; compaction
// keeps it and the last state, and what is not settled yet.
TEST(JournalFormat, HistoryAndCompactionKeepTheOriginal) {
    const CodePair xvidH264{FCC("xvid"), FCC("H264")};
    const CodePair divx{FCC("divx"), FCC("DX50")};
    const CodePair ivx{FCC("3iv2"), FCC("3IV2")};
    const std::vector<JournalEntry> entries{
        Conversion("1", 7, xvidH264, divx, EntryState::Done),
        Conversion("2", 7, divx, xvidH264, EntryState::Undone),
        Conversion("3", 7, divx, ivx, EntryState::Done),
        Conversion("4", 8, divx, ivx, EntryState::Pending),
    };
    const os::FileIdentity file{1, 7, 1000};
    FileHistory history = HistoryOf(entries, file, "/elsewhere.avi", ivx);
    ASSERT_TRUE(history.Original);
    EXPECT_EQ(history.Original->From.Compression, FCC("H264"));
    EXPECT_EQ(history.Original->Time, "2026-12-08T10:00:01Z");
    // Another program changed the codes: the journal no longer vouches for the file.
    EXPECT_TRUE(HistoryOf(entries, file, "/v/a.avi", divx).Broken);
    // Found by its path when its identity is unknown, but not at another size.
    EXPECT_TRUE(HistoryOf(entries, {2, 9, 1000}, "/v/a.avi", ivx).Last);
    EXPECT_FALSE(HistoryOf(entries, {2, 9, 999}, "/v/a.avi", ivx).Last);

    const std::vector<JournalEntry> compacted = CompactedEntries(entries);
    ASSERT_EQ(compacted.size(), 2u);
    history = HistoryOf(compacted, file, "/v/a.avi", ivx);
    ASSERT_TRUE(history.Original);
    EXPECT_EQ(history.Original->From.Compression, FCC("H264"));
    EXPECT_EQ(compacted[1].State, EntryState::Pending);
}

void SetJournal(const std::string& path) {
#ifdef _WIN32
    _putenv_s("VIDTAG_JOURNAL", path.c_str());
#else
    setenv("VIDTAG_JOURNAL", path.c_str(), 1);
#endif
}

// The dialog's way (the engine's default): its conversions are recorded where the journal can
// be written, and go ahead as before where it cannot.
TEST(JournalFormat, TheDialogRecordsWhereItCanAndConvertsAnyway) {
    test::TempDir dir;
    const std::string blocker = dir.Path("blocker");
    test::WriteFileBytes(blocker, {});
    for (const bool writable : {true, false}) {
        const std::string journal = writable ? dir.Path("journal.jsonl") : blocker + "/j.jsonl";
        SetJournal(journal);
        const std::string path = dir.Path("dialog.avi");
        test::WriteFileBytes(path, test::ReadFileBytes(test::SamplePath("kind10-xvid.avi")));
        ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
        EXPECT_EQ(std::filesystem::exists(journal), writable);
    }
}

} // namespace
