// The journal's own format and its compaction, below the engine.
#include "engine/Engine.h"

#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "journal/JournalIndex.h"
#include "journal/JournalLine.h"
#include "os/SystemError.h"
#include "support/FaultyFileLayer.h"
#include "support/JournalVariable.h"
#include "support/PaddedJournal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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
         {"", "not json", "{\"id\":\"1\",\"path\":\"/x", "{\"id\":1,}", "{\"id\":[1}",
          "{\"id\":\"\\ud800\"}", "{\"id\":\"1\"} trailing", "{\"id\":tru}"}) {
        EXPECT_FALSE(JournalLine::Parse(damaged)) << damaged;
    }
}

// Any JSON object is read: what a later version or an editor adds is passed over, and escapes
// beyond one byte are the UTF-8 they stand for.
TEST(JournalFormat, AnyJsonObjectIsRead) {
    struct Row {
        const char* Line;
        const char* Path;
    };
    for (const Row& row : {
             Row{"{\"path\":\"/a\"}\r", "/a"},
             Row{"{\"t\":true,\"f\":false,\"n\":null,\"x\":-1.5e3,\"path\":\"/a\"}", "/a"},
             Row{"{\"o\":{\"deep\":[1,{\"k\":[]},\"]}\"]},\"path\":\"/a\",\"e\":{}}", "/a"},
             Row{"{\"path\":\"/\\u0436\\u20ac\\ud83c\\udfac\\u00e9\"}",
                 "/\u0436\u20ac\U0001F3AC\xe9"},
             Row{" { \"path\" : \"/a\\n\\t\" } ", "/a\n\t"},
         }) {
        const auto line = JournalLine::Parse(row.Line);
        ASSERT_TRUE(line) << row.Line;
        EXPECT_EQ(line->Text("path"), row.Path) << row.Line;
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
    // A new file given a deleted one's inode is another life of it; a record or an identity
    // without a generation matches either.
    std::vector<JournalEntry> lives = entries;
    lives[0].File.Generation = lives[2].File.Generation = 5;
    EXPECT_FALSE(HistoryOf(lives, {1, 7, 1000, 6}, "/elsewhere.avi", ivx).Original);
    EXPECT_TRUE(HistoryOf(lives, {1, 7, 1000, 5}, "/elsewhere.avi", ivx).Original);
    EXPECT_TRUE(HistoryOf(lives, {1, 7, 1000, 0}, "/elsewhere.avi", ivx).Original);
    // A file moved over a deleted one keeps its own history, not the deleted file's at its
    // path; where no generation tells the two apart, both records are named and neither obeyed.
    std::vector<JournalEntry> moved{Conversion("5", 20, xvidH264, divx, EntryState::Done),
                                    Conversion("6", 21, ivx, divx, EntryState::Done)};
    moved[1].Path = "/v/b.avi";
    for (const std::uint64_t generation : {3, 0}) {
        moved[0].File.Generation = moved[1].File.Generation = generation;
        const FileHistory own = HistoryOf(moved, {1, 21, 1000, generation}, "/v/a.avi", divx);
        if (generation != 0) {
            ASSERT_TRUE(own.Original);
            EXPECT_EQ(own.Original->From.Handler, FCC("3iv2"));
        } else {
            EXPECT_NE(own.Damage.find("record 6 (/v/b.avi) and record 5 (/v/a.avi)"),
                      std::string::npos)
                << own.Damage;
        }
    }

    const std::vector<JournalEntry> compacted = CompactedEntries(entries);
    ASSERT_EQ(compacted.size(), 2u);
    history = HistoryOf(compacted, file, "/v/a.avi", ivx);
    ASSERT_TRUE(history.Original);
    EXPECT_EQ(history.Original->From.Compression, FCC("H264"));
    EXPECT_EQ(compacted[1].State, EntryState::Pending);
}

// The dialog's way (the engine's default): its conversions are recorded where the journal can
// be written, and go ahead as before where it cannot.
TEST(JournalFormat, TheDialogRecordsWhereItCanAndConvertsAnyway) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const std::string blocker = dir.Path("blocker");
    test::WriteFileBytes(blocker, {});
    // The last round as the file picker leaves the dialog: in the picked file's folder, with a
    // journal named relative to the folder the program started in.
    const fs::path start = fs::current_path();
    const std::string relative = fs::relative(dir.Path("journal.jsonl"), start).string();
    fs::create_directory(dir.Path("picked"));
    for (const int round : {0, 1, 2}) {
        const bool writable = round != 1;
        const std::string journal = writable ? dir.Path("journal.jsonl") : blocker + "/j.jsonl";
        // On another drive no relative name reaches the scratch folder.
        if (round == 2 && relative.empty()) {
            continue;
        }
        std::error_code ignored;
        fs::remove(journal, ignored);
        test::SetJournalVariable(round == 2 ? relative : journal);
        fs::current_path(round == 2 ? fs::path(dir.Path("picked")) : start);
        const std::string path = dir.Path("dialog.avi");
        test::WriteFileBytes(path, test::ReadFileBytes(test::SamplePath("kind10-xvid.avi")));
        EXPECT_EQ(ProcessFile(path, kNoKind), kStatusDone);
        EXPECT_EQ(ProcessFile(path, 12), kStatusDone);
        fs::current_path(start);
        EXPECT_EQ(fs::exists(journal), writable) << round;
        // Windows writes the separators its own way.
        EXPECT_EQ(fs::path(JournalReport.JournalPath).lexically_normal(),
                  fs::path(journal).lexically_normal())
            << round;
    }
}

std::string WriteJournal(const test::TempDir& dir, const std::string& text) {
    const std::string path = dir.Path("written.jsonl");
    test::WriteFileBytes(path, test::Bytes(text.begin(), text.end()));
    return path;
}

// A record that a later version wrote, or that went through a Windows editor, is obeyed; one
// whose fields cannot be true is read, and marked with the reason.
TEST(JournalFormat, RecordsAreCheckedAsTheyAreRead) {
    const std::string good = R"({"id":"1","time":"t","path":"/v/a.avi","volume":1,"index":7,)"
                             R"("size":1000,"handler_pos":112,"compression_pos":188,)"
                             R"("from_handler":"xvid","from_compression":"XVID","to_handler":)"
                             R"("divx","to_compression":"DX50","from_kind":10,"to_kind":12,)"
                             R"("mode":420,"state":"done")";
    struct Row {
        std::string Fields; // added to the good record
        const char* Damage; // what the reason names; empty when the record is sound
    };
    for (const Row& row : {
             Row{"}\r", ""},
             Row{R"(,"later":{"a":[true,null,1.5]},"flag":false})", ""},
             Row{R"(,"from_handler":"xv"})", "from_handler is not four bytes"},
             Row{R"(,"to_compression":1234})", "to_compression is not four bytes"},
             Row{R"(,"from_handler":"DIV3"})", "from_kind 10 is not the kind of DIV3/XVID"},
             Row{R"(,"to_kind":77})", "to_kind 77 is no kind of the catalogue"},
             Row{R"(,"to_kind":266})", "to_kind 266 is no kind"},
             Row{R"(,"handler_pos":998})", "handler_pos 998 lies outside the file"},
             Row{R"(,"compression_pos":-4})", "compression_pos -4 lies outside"},
         }) {
        SCOPED_TRACE(row.Fields);
        test::TempDir dir;
        const auto entries = test::ReadJournal(WriteJournal(dir, good + row.Fields + "\n"));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].Damage.rfind(row.Damage, 0), 0u) << entries[0].Damage;
        EXPECT_EQ(entries[0].Damage.empty(), *row.Damage == '\0');
        const FileHistory history =
            HistoryOf(entries, {1, 7, 1000}, "/v/a.avi", {FCC("divx"), FCC("DX50")});
        EXPECT_EQ(history.Original.has_value(), *row.Damage == '\0');
        EXPECT_EQ(history.Damage, entries[0].Damage);
    }
}

// The journal's text for the entries, some lines in forms an editor or a later version may
// write: numbers as strings with leading zeros or as decimals, a key or an id spelled with
// escapes. Each record's state follows on a line of its own.
std::string JournalText(const std::vector<JournalEntry>& entries, std::mt19937& random) {
    const auto replaced = [](std::string line, const std::string& from, const std::string& to) {
        const std::size_t at = line.find(from);
        return at == std::string::npos ? line : line.replace(at, from.size(), to);
    };
    std::string text;
    for (JournalEntry entry : entries) {
        const EntryState state = entry.State;
        entry.State = EntryState::Pending;
        std::string line = EntryLine(entry);
        const std::string index = "\"index\":" + std::to_string(entry.File.Index);
        const std::string size = "\"size\":" + std::to_string(entry.File.Size);
        switch (random() % 6) {
        case 0:
            line = replaced(line, index, "\"index\":\"00" + index.substr(8) + "\"");
            break;
        case 1:
            line = replaced(line, size, size + ".0");
            break;
        case 2:
            line = replaced(line, "\"index\"", "\"\\u0069ndex\"");
            break;
        }
        text += line;
        const std::string id =
            random() % 4 == 0 ? "\\u003" + entry.Id.substr(0, 1) + entry.Id.substr(1) : entry.Id;
        const char* names[] = {"pending", "done", "undone", "abandoned"};
        if (state != EntryState::Pending) {
            text +=
                "{\"id\":\"" + id + "\",\"state\":\"" + names[static_cast<int>(state)] + "\"}\n";
        }
    }
    return text;
}

void ExpectSameHistory(const FileHistory& before, const FileHistory& after) {
    EXPECT_EQ(before.Broken, after.Broken);
    EXPECT_EQ(before.Damage, after.Damage);
    EXPECT_EQ(before.Original.has_value(), after.Original.has_value());
    EXPECT_EQ(before.Last.has_value(), after.Last.has_value());
    if (before.Original && after.Original) {
        EXPECT_EQ(before.Original->Time, after.Original->Time);
        EXPECT_EQ(before.Original->FromKind, after.Original->FromKind);
        EXPECT_EQ(before.Original->From.Compression, after.Original->From.Compression);
    }
    if (before.Last && after.Last) {
        EXPECT_EQ(before.Last->State, after.Last->State);
        EXPECT_EQ(before.Last->Id, after.Last->Id);
    }
}

// Random journals of chains: files renamed, copied back, their inodes reused at other sizes,
// conversions undone, left pending or damaged. Whatever is asked about any identity, size, path
// and codes, the compacted journal answers as the whole one does, and so do the records a
// journal read once picks out for the file from the same journal's text.
TEST(JournalFormat, CompactionAnswersEveryQuestionAsBefore) {
    test::TempDir dir;
    const std::string written = dir.Path("journal.jsonl");
    const CodePair pairs[] = {{FCC("xvid"), FCC("XVID")},
                              {FCC("divx"), FCC("DX50")},
                              {FCC("3iv2"), FCC("3IV2")},
                              {FCC("xvid"), FCC("H264")}};
    const char* paths[] = {"/v/a.avi", "/v/b.avi", "/v/c.avi", "/v/z.avi"};
    const EntryState states[] = {EntryState::Done,     EntryState::Done,   EntryState::Done,
                                 EntryState::Done,     EntryState::Undone, EntryState::Pending,
                                 EntryState::Abandoned};
    std::mt19937 random(19);
    std::size_t entriesSeen = 0;
    std::size_t entriesKept = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<JournalEntry> entries;
        std::map<std::uint64_t, CodePair> held;
        const int count = 2 + static_cast<int>(random() % 30);
        for (int i = 0; i < count; ++i) {
            JournalEntry entry;
            entry.Id = std::to_string(i);
            // Appended, not "t" + ...: mingw's GCC 12 warns of an overlap that cannot happen.
            entry.Time = "t";
            entry.Time += std::to_string(i);
            const std::uint64_t index = 1 + random() % 3;
            entry.File = {1, index, random() % 4 == 0 ? 2000 : 1000};
            entry.Path = paths[random() % 3];
            entry.HandlerPos = 112;
            entry.CompressionPos = random() % 5 == 0 ? 0 : 188;
            const bool follows = held.count(index) != 0 && random() % 4 != 0;
            entry.From = follows ? held[index] : pairs[random() % 4];
            entry.To = pairs[random() % 4];
            entry.FromKind = static_cast<CodecKind>(i);
            entry.State = states[random() % 7];
            entry.Damage = random() % 20 == 0 ? "damaged" : "";
            held[index] = entry.State == EntryState::Undone ? entry.From : entry.To;
            entries.push_back(entry);
        }
        const std::vector<JournalEntry> compacted = CompactedEntries(entries);
        entriesSeen += entries.size();
        entriesKept += compacted.size();
        // Inodes in the thousands, as the index looks up only numbers from 1000 on.
        std::vector<JournalEntry> numbered = entries;
        for (JournalEntry& entry : numbered) {
            entry.File.Index += 4000;
            entry.Id = std::to_string(5000 + (&entry - numbered.data()));
        }
        std::ofstream(written, std::ios::binary) << JournalText(numbered, random);
        const std::vector<JournalEntry> read = test::ReadJournal(written);
        const JournalIndex index(written);
        for (std::uint64_t inode = 1; inode <= 4; ++inode) {
            for (const std::int64_t size : {1000, 2000}) {
                const os::FileIdentity file{1, inode, size};
                const os::FileIdentity numberedFile{1, inode + 4000, size};
                const std::vector<JournalEntry> picked = index.RecordsFor(numberedFile);
                for (const char* path : paths) {
                    for (const CodePair current : pairs) {
                        SCOPED_TRACE("round " + std::to_string(round) + ", inode " +
                                     std::to_string(inode) + ", " + path);
                        for (const auto& [whole, part] :
                             {std::pair{HistoryOf(entries, file, path, current),
                                        HistoryOf(compacted, file, path, current)},
                              std::pair{HistoryOf(read, numberedFile, path, current),
                                        HistoryOf(picked, numberedFile, path, current)}}) {
                            ExpectSameHistory(whole, part);
                        }
                        ASSERT_FALSE(::testing::Test::HasFailure());
                        ASSERT_EQ(SizeChangedSince(read, numberedFile),
                                  SizeChangedSince(picked, numberedFile));
                    }
                }
            }
        }
    }
    EXPECT_LT(entriesKept * 10, entriesSeen * 9);
    std::printf("400 random journals: %zu records compacted to %zu, every answer kept\n",
                entriesSeen, entriesKept);
}

// A compaction replaces the file the journal names, through a symbolic link, with its mode,
// and only once it halves the journal; then not again until the journal has doubled.
TEST(JournalFormat, CompactionKeepsTheJournalFileAndPaysForItself) {
    for (const bool live : {false, true}) {
        SCOPED_TRACE(live ? "live records only" : "chains of three");
        test::TempDir dir;
        const std::string target = dir.Path("target.jsonl");
        std::string path = target;
        const auto padded = test::PadJournal(target, 4500 * 1024, live ? 1 : 3);
        if (!test::kOnWindows) {
            path = dir.Path("link.jsonl");
            std::filesystem::create_symlink(target, path);
            std::filesystem::permissions(target, std::filesystem::perms(0640));
        }
        // A record of a later version, the second of a chain: kept whole, never merged away.
        JournalEntry first =
            Conversion("L1", 88888, padded[0].From, padded[0].To, EntryState::Done);
        JournalEntry second =
            Conversion("L2", 88888, padded[0].To, padded[0].From, EntryState::Done);
        first.ToKind = second.FromKind = 12;
        second.ToKind = 10;
        std::string later = EntryLine(second);
        later.insert(later.size() - 2, ",\"later\":{\"x\":[1,true]}");
        std::ofstream(target, std::ios::binary | std::ios::app) << EntryLine(first) << later;
#ifndef _WIN32
        // Compacted by root, a user's journal stays the user's.
        const bool root = geteuid() == 0;
        ASSERT_TRUE(!root || chown(target.c_str(), 4242, 4243) == 0);
#endif
        const auto before = test::ReadJournal(path);
        const auto size = std::filesystem::file_size(target);
        Journal journal(path);
        ASSERT_TRUE(journal.Refresh());
        JournalEntry entry = Conversion("n", 99999, padded[0].To, padded[0].From, EntryState::Done);
        ASSERT_TRUE(journal.Begin(entry)) << journal.Error();
        const auto after = test::ReadJournal(path);
        EXPECT_EQ(std::filesystem::file_size(target) < size / 2, !live);
        EXPECT_EQ(after.size(), live ? before.size() + 1 : padded.size() + 3);
        for (std::size_t i = 0; i < padded.size(); i += 97) {
            const JournalEntry& last = padded[i];
            const FileHistory was = HistoryOf(before, last.File, last.Path, last.To);
            const FileHistory is = HistoryOf(after, last.File, last.Path, last.To);
            ASSERT_TRUE(is.Original);
            EXPECT_EQ(was.Original->Time, is.Original->Time);
        }
        EXPECT_EQ(after.back().Id, entry.Id);
        EXPECT_EQ(after[after.size() - 2].Line + "\n", later);
#ifndef _WIN32
        EXPECT_TRUE(std::filesystem::is_symlink(path));
        EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
        struct stat owner {};
        ASSERT_EQ(stat(target.c_str(), &owner), 0);
        EXPECT_TRUE(!root || (owner.st_uid == 4242 && owner.st_gid == 4243));
#endif
        // Compacted below 4 MB (or not worth it): the next conversions append.
        const auto compactedSize = std::filesystem::file_size(target);
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(journal.Refresh());
            ASSERT_TRUE(journal.Begin(entry));
        }
        EXPECT_GT(std::filesystem::file_size(target), compactedSize);
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(dir.Root())) {
            ++files;
        }
        // The journal, its lock file and (on POSIX) the link: no temporary file is left.
        EXPECT_EQ(files, test::kOnWindows ? 2u : 3u);
    }
}

// A record written only in part names the cause of the failing call, never an earlier one's; a
// journal whose owner cannot be kept is not compacted, and the append says so.
TEST(JournalFormat, JournalFaultsGiveTheirOwnReasons) {
    struct Row {
        int WriteError, OwnerError;
        std::string Said;
    };
    for (const Row& row : {Row{ENOSPC, 0, "No space left on device"}, Row{0, 0, "short write"},
                           Row{0, EPERM,
                               "it was not compacted, as its owner could not be kept (" +
                                   os::SystemErrorText(EPERM) + ")"}}) {
        // The faulty layer sets errno, which Windows does not report.
        if (test::kOnWindows && row.OwnerError == 0) {
            continue;
        }
        test::TempDir dir;
        const std::string path = dir.Path("journal.jsonl");
        const auto padded = test::PadJournal(path, row.OwnerError != 0 ? 4500 * 1024 : 1, 3);
        Journal journal(path);
        ASSERT_TRUE(journal.Refresh());
        test::FaultyFileLayer faults;
        faults.TakeOwnerError = row.OwnerError;
        faults.ShortWrite = row.OwnerError != 0 ? 0 : 1;
        faults.ShortWriteMoves = 10;
        faults.FailWritesTo = row.OwnerError != 0 ? "" : path;
        faults.WritesBeforeFailing = 1;
        faults.WriteError = row.WriteError;
        errno = ENOTTY;
        JournalEntry entry = Conversion("n", 99999, padded[0].To, padded[0].From, EntryState::Done);
        EXPECT_EQ(journal.Begin(entry), row.OwnerError != 0);
        EXPECT_EQ(row.OwnerError != 0 ? journal.Notice() : journal.Error(), row.Said);
    }
}

// A conversion waits for the journal's lock up to its bound, then gives up with the reason.
TEST(JournalFormat, AnAppendWaitsForTheLockAndThenRefuses) {
    test::TempDir dir;
    const std::string path = dir.Path("journal.jsonl");
    Journal journal(path);
    journal.SetLockWait(300);
    JournalEntry entry = Conversion("1", 7, {}, {}, EntryState::Done);
    {
        const JournalLock held(path, 0);
        ASSERT_TRUE(held.Held()) << held.Error();
        EXPECT_FALSE(journal.Begin(entry));
        EXPECT_EQ(journal.Error(), "another program held it for 300 ms");
    }
    EXPECT_TRUE(journal.Begin(entry)) << journal.Error();
    EXPECT_EQ(test::ReadJournal(path).size(), 1u);
}

} // namespace
