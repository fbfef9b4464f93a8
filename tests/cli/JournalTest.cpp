// Conversions that survive a kill and a second writer, and exact originals across runs: the
// engine in forked children, vidtag-cli from the outside, every journal in a scratch folder.
#include "engine/Engine.h"
#include "journal/ConversionHistory.h"
#include "os/FileLayer.h"
#include "support/AviBuilder.h"
#include "support/FaultyFileLayer.h"
#include "support/MatroskaBuilder.h"
#include "support/PaddedJournal.h"
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vidtag;
using nlohmann::json;
using test::Bytes;
using vidtag::JournalEntry;

using Result = test::CommandResult;
constexpr char kMovi[] = "movi";
constexpr auto Finish = test::FinishCommand;
const auto Quote = test::ShellQuote;

// Starts vidtag-cli, after shell text such as "cd DIR &&"; Finish collects its stdout and
// stderr together.
std::FILE* Start(const std::vector<std::string>& arguments, const std::string& before = {}) {
    return popen((before + test::CliCommand(VIDTAG_CLI_PATH, arguments) + " 2>&1").c_str(), "r");
}

Result RunCli(const std::vector<std::string>& arguments, const std::string& before = {}) {
    return Finish(Start(arguments, before));
}

// An XviD file; apart puts a 1,500-byte "JUNK" chunk between "strh" and "strf", so that the
// two codes lie in different sectors.
Bytes XvidFile(bool apart, FourCC handler = FCC("xvid"), FourCC compression = FCC("XVID")) {
    if (!apart) {
        return test::BuildAvi({.handler = handler, .compression = compression}).bytes;
    }
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), test::MainHeader(1));
    b.BeginList(FCC("LIST"), FCC("strl"));
    b.Chunk(FCC("strh"), test::StrhData(FCC("vids"), handler));
    b.Chunk(FCC("JUNK"), Bytes(1500, 0));
    b.Chunk(FCC("strf"), test::BitmapInfoHeader(compression));
    b.End();
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("00dc"), Bytes(16, 0xAA));
    b.End();
    return b.Take();
}

// An XviD file as mkvmerge lays it out: one code, in the video track's CodecPrivate.
Bytes XvidMatroskaFile() {
    const Bytes entry = test::TrackEntry({.Private = test::BitmapInfoHeader(FCC("XVID"))});
    return test::MkvFile({test::Element(0x1654AE6B, entry)});
}

class Journal : public ::testing::Test {
  protected:
    void SetUp() override { UseJournal(dir_.Path("journal.jsonl")); }
    void UseJournal(const std::string& path) {
        journal_ = path;
        setenv("VIDTAG_JOURNAL", path.c_str(), 1);
    }
    std::string File(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.Path(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }

    test::TempDir dir_;
    std::string journal_;
};

// A child converts through a layer that kills it at its N-th write, for every N until the
// conversion completes; --restore must then give back the original and a new conversion the
// clean result. The read-only file must stay read-only.
TEST_F(Journal, AKillAtEveryWriteIsRepairedByRestore) {
    struct Layout {
        bool Apart;
        mode_t Mode;
        int Writes; // journal record, code writes, "done" mark
        bool Matroska = false;
    };
    for (const Layout layout :
         {Layout{false, 0444, 3}, Layout{true, 0644, 4}, Layout{false, 0444, 3, true}}) {
        SCOPED_TRACE(layout.Matroska ? "Matroska"
                     : layout.Apart  ? "fields apart"
                                     : "fields in one sector");
        const Bytes original = layout.Matroska ? XvidMatroskaFile() : XvidFile(layout.Apart);
        const std::string clean = File("clean.avi", original);
        ASSERT_EQ(RunCli({"--to", "divx 5", clean}).Exit, 0);
        const Bytes converted = test::ReadFileBytes(clean);
        const std::string path = dir_.Path("victim.avi");
        int completedAt = 0;
        for (int n = 1; completedAt == 0 && n < 10; ++n) {
            SCOPED_TRACE("killed at write " + std::to_string(n));
            fs::remove(path);
            test::WriteFileBytes(path, original);
            chmod(path.c_str(), layout.Mode);
            UseJournal(dir_.Path("journal-" + std::to_string(n) + ".jsonl"));
            const pid_t child = fork();
            if (child == 0) {
                SetJournalUse(JournalUse::Required);
                test::FaultyFileLayer files;
                files.KillingWrite = n;
                ProcessFile(path, kNoKind);
                std::_Exit(ProcessFile(path, 12));
            }
            int status = 0;
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            if (WEXITSTATUS(status) != test::FaultyFileLayer::kKilledStatus) {
                EXPECT_EQ(WEXITSTATUS(status), kStatusDone);
                completedAt = n;
            }
            const Bytes left = test::ReadFileBytes(path);
            const bool mixed = left != original && left != converted;
            const Result analysis = RunCli({path});
            EXPECT_EQ(analysis.Out.find("vidtag-cli --restore") != std::string::npos, mixed)
                << analysis.Out;

            const Result restored = RunCli({"--restore", path});
            EXPECT_EQ(restored.Exit, 0) << restored.Out;
            EXPECT_TRUE(test::ReadFileBytes(path) == original) << restored.Out;
            struct stat info {};
            stat(path.c_str(), &info);
            EXPECT_EQ(info.st_mode & 0777, layout.Mode);
            EXPECT_EQ(RunCli({"--to", "divx 5", path}).Exit, 0);
            EXPECT_TRUE(test::ReadFileBytes(path) == converted);
        }
        EXPECT_EQ(completedAt, layout.Writes + 1);
        std::printf("%s: killed at each of %d writes, restored every time\n",
                    layout.Matroska ? "Matroska"
                    : layout.Apart  ? "fields apart"
                                    : "one sector",
                    completedAt - 1);
    }
}

// A sanitized vidtag-cli takes about fifteen times as long to start, and the race is run 500
// times by the plain build; the sanitizers need only some rounds to see every path it takes.
#ifdef __SANITIZE_ADDRESS__
constexpr int kRaceRounds = 100;
#else
constexpr int kRaceRounds = 500;
#endif

// Two processes convert one file to two kinds at once: never a mixed pair, and a process that
// reports success leaves its codes in the file unless the other one succeeded after it.
TEST_F(Journal, TwoConversionsAtOnceNeverMixTheCodes) {
    const std::string folder = "/dev/shm/vidtag-race-" + std::to_string(getpid());
    fs::create_directories(folder);
    UseJournal(folder + "/journal.jsonl");
    const std::string path = folder + "/race.avi";
    const test::AviFile avi = test::BuildAvi({.handler = FCC("xvid"), .compression = FCC("XVID")});
    const std::size_t handlerAt = avi.video.strh.data + 4;
    const std::size_t compressionAt = avi.video.strf.data + 16;
    int mixed = 0;
    int bothSucceeded = 0;
    int oneSucceeded = 0;
    for (int round = 0; round < kRaceRounds; ++round) {
        test::WriteFileBytes(path, avi.bytes);
        std::FILE* toDivx = Start({"--json", "--to", "divx 5", path});
        std::FILE* to3ivx = Start({"--json", "--to", "3ivx", path});
        const bool divxDone = Finish(toDivx).Exit == 0;
        const bool ivxDone = Finish(to3ivx).Exit == 0;
        const Bytes now = test::ReadFileBytes(path);
        const std::string pair =
            std::string(now.begin() + handlerAt, now.begin() + handlerAt + 4) +
            std::string(now.begin() + compressionAt, now.begin() + compressionAt + 4);
        const bool isDivx = pair == "divxDX50";
        const bool is3ivx = pair == "3iv23IV2";
        mixed += pair == "xvidXVID" || isDivx || is3ivx ? 0 : 1;
        if (divxDone && ivxDone) {
            ++bothSucceeded;
            EXPECT_TRUE(isDivx || is3ivx) << pair;
        } else if (divxDone || ivxDone) {
            ++oneSucceeded;
            EXPECT_TRUE(divxDone ? isDivx : is3ivx) << "round " << round << ": " << pair;
        }
    }
    fs::remove_all(folder);
    EXPECT_EQ(mixed, 0);
    std::printf("%d rounds: %d with both succeeding in turn, %d with one, 0 mixed pairs\n",
                kRaceRounds, bothSucceeded, oneSucceeded);
}

// Codes outside the table come back exactly, through --restore and by naming the original kind.
TEST_F(Journal, RestoreGivesBackTheExactOriginalCodes) {
    struct Case {
        FourCC Handler, Compression;
        const char *First, *Second, *OriginalKind, *Shown;
    };
    for (const Case& c : {
             Case{FCC("xvid"), FCC("H264"), "11", "13", "10", "original: XviD (xvid/H264)"},
             Case{FCC("XVID"), FCC("XVID"), "11", "12", "10", "original: XviD (XVID/XVID)"},
             Case{FCC("mp43"), FCC("mp43"), "6", "8", "3",
                  "original: Microsoft MPEG4 V3 (mp43/mp43)"},
         }) {
        SCOPED_TRACE(c.Shown);
        const Bytes original = XvidFile(false, c.Handler, c.Compression);
        const std::string path = File("exact.avi", original);
        for (const bool byKind : {false, true}) {
            ASSERT_EQ(RunCli({"--to", c.First, path}).Exit, 0);
            ASSERT_EQ(RunCli({"--to", c.Second, path}).Exit, 0);
            const std::string analysed = RunCli({path}).Out;
            EXPECT_NE(analysed.find(c.Shown), std::string::npos);
            EXPECT_NE(analysed.find("\n  journal: " + journal_ + "\n"), std::string::npos);
            const json line = json::parse(RunCli({"--json", path}).Out);
            EXPECT_EQ(line["original"]["handler"], FourCCToString(c.Handler));
            const Result back =
                byKind ? RunCli({"--to", c.OriginalKind, path}) : RunCli({"--restore", path});
            EXPECT_EQ(back.Exit, 0) << back.Out;
            EXPECT_TRUE(test::ReadFileBytes(path) == original);
        }
        // Once another program changes the codes, the journal no longer vouches for them.
        ASSERT_EQ(RunCli({"--to", c.First, path}).Exit, 0);
        Bytes foreign = test::ReadFileBytes(path);
        foreign[test::BuildAvi().video.strh.data + 4] = 'Q';
        test::WriteFileBytes(path, foreign);
        // The reason is given first, and once: no bare status line before it.
        const Result refused = RunCli({"--restore", path});
        EXPECT_EQ(refused.Exit, 1);
        const std::string said = "changed them; nothing written (journal: " + journal_ + ")\n";
        EXPECT_EQ(refused.Out.find('\n'), refused.Out.find(said) + said.size() - 1);
        EXPECT_TRUE(test::ReadFileBytes(path) == foreign);
    }
}

// A damaged journal costs a warning, never a conversion; one that cannot be written stops every
// conversion that would need it, and --no-journal does without it.
TEST_F(Journal, DamagedOrUnwritableJournals) {
    const Bytes original = XvidFile(false);
    const std::string blocker = File("blocker", {});
    struct Case {
        const char* Name;
        std::string Journal;
        std::string Content; // put into the journal first, unless empty
        bool NoJournal;
        int Exit;
        const char* Said;
    };
    for (const Case& c : {
             Case{"torn last line", dir_.Path("torn.jsonl"), "{\"id\":\"1\",\"path\":\"/x", false,
                  0, "unreadable lines"},
             Case{"garbage line", dir_.Path("garbage.jsonl"), "not json\n{\"id\":7}\n", false, 0,
                  "unreadable lines"},
             Case{"journal is a folder", dir_.Root(), "", false, 1, "it is a folder"},
             Case{"unwritable journal", blocker + "/journal.jsonl", "", false, 1,
                  "Not a directory"},
             Case{"no journal", blocker + "/journal.jsonl", "", true, 0, ""},
         }) {
        SCOPED_TRACE(c.Name);
        UseJournal(c.Journal);
        if (!c.Content.empty()) {
            test::WriteFileBytes(c.Journal, Bytes(c.Content.begin(), c.Content.end()));
        }
        const std::string path = File("edge.avi", original);
        std::vector<std::string> arguments{"--to", "divx 5", path};
        if (c.NoJournal) {
            arguments.push_back("--no-journal");
        }
        const Result converted = RunCli(arguments);
        EXPECT_EQ(converted.Exit, c.Exit) << converted.Out;
        EXPECT_NE(converted.Out.find(c.Said), std::string::npos) << converted.Out;
        EXPECT_EQ(test::ReadFileBytes(path) == original, c.Exit != 0);
        if (c.Exit != 0) {
            EXPECT_NE(converted.Out.find(c.Journal), std::string::npos) << converted.Out;
            EXPECT_NE(converted.Out.find("--no-journal"), std::string::npos);
        } else if (!c.NoJournal) {
            const Result restored = RunCli({"--restore", path});
            EXPECT_EQ(restored.Out.find("unreadable lines"),
                      restored.Out.rfind("unreadable lines"));
            EXPECT_TRUE(test::ReadFileBytes(path) == original) << restored.Out;
        }
    }
}

// Another conversion holding the file makes the second one give up after about 2 s.
TEST_F(Journal, ABusyFileIsRefusedWithTheReason) {
    const std::string path = File("busy.avi", XvidFile(false));
    const int held = open(path.c_str(), O_RDWR);
    ASSERT_TRUE(os::NativeFiles().Lock(held, 0));
    const Result refused = RunCli({"--json", "--to", "divx 5", path});
    close(held);
    EXPECT_EQ(refused.Exit, 1);
    const json line = json::parse(refused.Out);
    EXPECT_EQ(line["status"], 3);
    EXPECT_NE(line["error"].get<std::string>().find("2 seconds"), std::string::npos);
}

// A journal anyone can edit: bytes that are not UTF-8, and a terminal escape, in a record's time.
TEST_F(Journal, JournalBytesNeitherAbortTheReportNorReachTheTerminal) {
    const std::string path = File("edited.avi", XvidFile(false));
    ASSERT_EQ(RunCli({"--to", "divx 5", path}).Exit, 0);
    const Bytes bytes = test::ReadFileBytes(journal_);
    std::string text(bytes.begin(), bytes.end());
    const std::size_t time = text.find("\"time\":\"") + 8;
    text.replace(time, text.find('"', time) - time, "\xff\xfe\\u001b[2J 2026-12-08T14:02");
    test::WriteFileBytes(journal_, Bytes(text.begin(), text.end()));
    const Result json = RunCli({"--json", path});
    EXPECT_EQ(json.Exit, 0) << json.Out;
    EXPECT_NE(json::parse(json.Out).dump(-1, ' ', true).find("\\ufffd\\ufffd\\u001b[2J"),
              std::string::npos);
    const Result shown = RunCli({path});
    EXPECT_NE(shown.Out.find("of \\xff\\xfe\\x1b[2J 2026-12-08T14:02\n"), std::string::npos);
}

// Recovery put back the one code an interrupted conversion wrote: that was the restore. The hint
// that led there names the file so that it can be pasted, whatever the name holds.
TEST_F(Journal, ARepairIsReportedAndTheHintPastes) {
    const std::string path = File("it's a\nname $HOME\\.avi", XvidFile(true));
    SetJournalUse(JournalUse::Required);
    ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    {
        test::FaultyFileLayer files;
        files.FailWritesTo = path;
        files.WritesBeforeFailing = 1;
        ASSERT_EQ(ProcessFile(path, 12), kStatusCannotWrite);
    }
    const std::string hint = RunCli({path}).Out;
    const std::size_t from = hint.find("--restore ") + 10;
    const std::string word = hint.substr(from, hint.find(" repairs it") - from);
    const std::string printf = "bash -c " + Quote("printf %s " + word);
    EXPECT_EQ(Finish(popen(printf.c_str(), "r")).Out, path) << hint;
    const Result restored = RunCli({"--json", "--restore", path});
    EXPECT_EQ(restored.Exit, 0);
    EXPECT_TRUE(json::parse(restored.Out)["converted"].get<bool>()) << restored.Out;
    EXPECT_NE(restored.Out.find("\"recovered\""), std::string::npos);
    EXPECT_TRUE(test::ReadFileBytes(path) == XvidFile(true));
}

std::string TextOf(const std::string& path) {
    const Bytes bytes = test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

// Whether some earlier chain of every 50th padding file still starts where it did.
int PaddingOriginalsLost(const std::string& journal, const std::vector<JournalEntry>& padded) {
    const auto entries = test::ReadJournal(journal);
    int lost = 0;
    for (std::size_t i = 0; i < padded.size(); i += 50) {
        const auto history = HistoryOf(entries, padded[i].File, padded[i].Path, padded[i].To);
        lost += history.Original && history.Original->Time == "2026-01-01T00:00:00Z" ? 0 : 1;
    }
    return lost;
}

// Every file goes back to the original through --restore.
void ExpectRestored(const std::vector<std::string>& paths, const Bytes& original) {
    for (const std::string& path : paths) {
        const Result restored = RunCli({"--restore", path});
        EXPECT_EQ(restored.Exit, 0) << restored.Out;
        EXPECT_TRUE(test::ReadFileBytes(path) == original) << path;
    }
}

// Three batches at once on a journal past 4 MB: one of them compacts it, the others wait, and
// no record is lost, of their files or of anyone else's.
TEST_F(Journal, ThreeBatchesAtOnceOnALargeJournalLoseNothing) {
    const auto padded = test::PadJournal(journal_, 4500 * 1024, 3);
    const Bytes original = XvidFile(false);
    std::vector<std::FILE*> batches;
    std::vector<std::string> paths;
    for (int batch = 0; batch < 3; ++batch) {
        std::string script;
        for (int i = 0; i < 3; ++i) {
            const std::string path =
                File("batch" + std::to_string(batch * 3 + i) + ".avi", original);
            paths.push_back(path);
            script += Quote(VIDTAG_CLI_PATH) + " --to 'divx 5' " + Quote(path) + " && " +
                      Quote(VIDTAG_CLI_PATH) + " --to 3ivx " + Quote(path) + " && ";
        }
        batches.push_back(popen((script + "true 2>&1").c_str(), "r"));
    }
    for (std::FILE* batch : batches) {
        const Result done = Finish(batch);
        EXPECT_EQ(done.Exit, 0) << done.Out;
    }
    EXPECT_LT(fs::file_size(journal_), 4500u * 1024 / 2);
    EXPECT_EQ(PaddingOriginalsLost(journal_, padded), 0);
    ExpectRestored(paths, original);
}

// With -j, two runs over one folder at once: every file is recorded, written and marked done
// exactly once, and --restore -r gives back every original.
TEST_F(Journal, ParallelRunsConvertEachFileOnce) {
    const Bytes original = XvidFile(false);
    const std::string folder = dir_.Path("folder");
    fs::create_directories(folder);
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) {
        paths.push_back(File("folder/f" + std::to_string(i) + ".avi", original));
    }
    std::FILE* first = Start({"-j", "8", "--to", "divx 5", "-r", folder});
    std::FILE* second = Start({"-j", "8", "--to", "divx 5", "-r", folder});
    // A file the other run converted between this run's analysis and its lock is refused as
    // changed, and recorded by neither.
    for (std::FILE* run : {first, second}) {
        const Result finished = Finish(run);
        EXPECT_TRUE(finished.Exit == 0 ||
                    finished.Out.find("File has changed since it was opened") != std::string::npos)
            << finished.Out;
    }
    std::map<std::string, std::string> recorded; // record id -> path
    std::map<std::string, int> done;             // record id -> "done" marks
    std::ifstream lines(journal_);
    for (std::string line; std::getline(lines, line);) {
        const json record = json::parse(line);
        if (record.contains("path")) {
            recorded[record["id"]] = record["path"];
        } else if (record.value("state", "") == "done") {
            ++done[record["id"]];
        }
    }
    std::set<std::string> converted;
    for (const auto& [id, path] : recorded) {
        EXPECT_EQ(done[id], 1) << path;
        EXPECT_TRUE(converted.insert(path).second) << path << " converted twice";
    }
    EXPECT_EQ(converted.size(), paths.size());
    const Result restored = RunCli({"-j", "8", "--restore", "-r", folder});
    EXPECT_EQ(restored.Exit, 0) << restored.Out;
    for (const std::string& path : paths) {
        EXPECT_TRUE(test::ReadFileBytes(path) == original) << path;
    }
}

// A compaction whose flush takes 8 s: a conversion of another file meanwhile waits for it, and
// its record survives the compaction.
TEST_F(Journal, AConversionWaitsForASlowCompaction) {
    if (std::system("strace -V >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed";
    }
    const auto padded = test::PadJournal(journal_, 4500 * 1024, 3);
    const Bytes original = XvidFile(false);
    const std::string slow = File("slow.avi", original);
    const std::string waiting = File("waiting.avi", original);
    // The leak checker of a sanitizer build cannot work in a process that strace traces.
    std::FILE* compactor =
        Start({"--to", "divx 5", slow},
              "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" strace -f -o /dev/null "
              "-e inject=fsync:delay_enter=8000000:when=1 ");
    bool compacting = false;
    for (int i = 0; i < 300 && !compacting; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const auto& item : fs::directory_iterator(dir_.Root())) {
            compacting = compacting ||
                         item.path().filename().string().find(".compact-") != std::string::npos;
        }
    }
    ASSERT_TRUE(compacting);
    const auto start = std::chrono::steady_clock::now();
    const Result converted = RunCli({"--to", "divx 5", waiting});
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(converted.Exit, 0) << converted.Out;
    EXPECT_EQ(Finish(compactor).Exit, 0);
    EXPECT_EQ(PaddingOriginalsLost(journal_, padded), 0);
    ExpectRestored({slow, waiting}, original);
    std::printf("the conversion waited %.1f s for the compaction\n", waited.count());
}

// A pending record's mode goes back only as far as a conversion itself changes it: the owner's
// write bit of a read-only file.
TEST_F(Journal, APendingRecordsModeIsCheckedBeforeItIsApplied) {
    struct Row {
        const char* Mode;
        mode_t After;
        const char* Said;
    };
    for (const Row row : {Row{"", 0644, "no mode is recorded"},
                          Row{",\"mode\":\"abc\"", 0644, "the recorded mode abc is no permission"},
                          Row{",\"mode\":4095", 0644, "7777 differs from the file's 0644"},
                          Row{",\"mode\":-1", 0644, "the recorded mode -1 is no permission"},
                          Row{",\"mode\":292", 0444, ""}}) {
        SCOPED_TRACE(row.Mode);
        fs::remove(journal_);
        const std::string path = File("pending.avi", XvidFile(false));
        ASSERT_EQ(chmod(path.c_str(), 0644), 0);
        ASSERT_EQ(RunCli({"--to", "divx 5", path}).Exit, 0);
        // The record alone, as a conversion killed before its end leaves it.
        std::string record = TextOf(journal_);
        record.resize(record.find('\n') + 1);
        Replace(record, ",\"mode\":420", row.Mode);
        test::WriteFileBytes(journal_, Bytes(record.begin(), record.end()));
        const Result settled = RunCli({"--to", "3iv2", path});
        EXPECT_EQ(settled.Exit, 0) << settled.Out;
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(row.After)) << settled.Out;
        EXPECT_NE(settled.Out.find(row.Said), std::string::npos) << settled.Out;
        EXPECT_EQ(settled.Out.find("the file keeps its mode") != std::string::npos, *row.Said != 0);
    }
}

// What users meet: copies put back, journals edited by hand or on Windows, records that
// cannot be true, journals that are no files, a relative VIDTAG_JOURNAL, no home folder.
TEST_F(Journal, TheJournalInTheField) {
    const Bytes original = XvidFile(false);
    const std::string blocker = File("blocker", {});
    const std::string fifo = dir_.Path("fifo.jsonl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string path = dir_.Path("field.avi");
    const auto convert = [&](const char* kind) { return RunCli({"--to", kind, path}); };
    // Converted, its record edited, then restored.
    const auto restoreEdited = [&](const std::string& from, const std::string& to,
                                   const std::string& from2 = "@", const std::string& to2 = "@") {
        convert("divx 5");
        std::string text = TextOf(journal_);
        Replace(text, from, to);
        Replace(text, from2, to2);
        test::WriteFileBytes(journal_, Bytes(text.begin(), text.end()));
        return RunCli({"--restore", path});
    };
    struct Case {
        const char* Name;
        std::function<Result()> Run;
        int Exit;
        std::string Said;
        bool Original; // the file holds its original codes afterwards
    };
    const std::string handlerPos = std::to_string(test::BuildAvi().video.strh.data + 4);
    const std::string moviPos = std::to_string(
        std::search(original.begin(), original.end(), kMovi, kMovi + 4) - original.begin());
    const std::string size = std::to_string(original.size());
    int number = 0;
    const std::string inDir = "cd " + Quote(dir_.Root()) + " && VIDTAG_JOURNAL=";
    // Converted, then grown by another program.
    const auto grow = [&] {
        convert("divx 5");
        std::ofstream(path, std::ios::binary | std::ios::app)
            << "JUNK\x04" << std::string(3, '\0') << "abcd";
    };
    const std::string sizeChanged =
        "a conversion is recorded, but the file's size changed since (was " + size + ", now " +
        std::to_string(original.size() + 12) + ")";
    const auto check = [&](const Case& c) {
        SCOPED_TRACE(c.Name);
        UseJournal(dir_.Path("field-" + std::to_string(++number) + ".jsonl"));
        fs::remove(path);
        test::WriteFileBytes(path, original);
        const Result result = c.Run();
        EXPECT_EQ(result.Exit, c.Exit) << result.Out;
        EXPECT_NE(result.Out.find(c.Said), std::string::npos) << result.Out;
        EXPECT_EQ(test::ReadFileBytes(path) == original, c.Original) << result.Out;
        EXPECT_EQ(result.Out.find("\"recovered\""), std::string::npos) << result.Out;
        if (std::string(c.Name) == "nothing recorded") {
            EXPECT_EQ(result.Out.find(" -> "), std::string::npos) << result.Out;
        }
    };
    for (const Case& c : std::vector<Case>{
             {"copy put back and converted again",
              [&] {
                  convert("divx 5");
                  fs::copy_file(path, path + ".copy");
                  fs::remove(path);
                  fs::rename(path + ".copy", path);
                  convert("3ivx");
                  return RunCli({"--restore", path});
              },
              0, "XviD", true},
             {"CRLF and fields of a later version",
              [&] { return restoreEdited("}\n", ",\"later\":{\"x\":[1,true,null,2.5]}}\r\n"); }, 0,
              "XviD", true},
             {"a code of two bytes",
              [&] { return restoreEdited("\"from_handler\":\"xvid\"", "\"from_handler\":\"xv\""); },
              1, "the journal's record of this file is damaged: from_handler is not four bytes",
              false},
             {"a kind its codes do not make",
              [&] {
                  return restoreEdited("\"from_handler\":\"xvid\"", "\"from_handler\":\"DIV3\"");
              },
              1, "damaged: from_kind 10 is not the kind of DIV3/XVID", false},
             {"nothing recorded",
              [&] {
                  return RunCli({"--restore", path});
              },
              0, "no conversion of this file is recorded; nothing written", true},
             {"nothing recorded, in JSON",
              [&] {
                  return RunCli({"--json", "--restore", path});
              },
              0, "\"note\":\"no conversion of this file is recorded; nothing written (journal: ",
              true},
             {"a record naming another field's place",
              [&] {
                  return restoreEdited("\"handler_pos\":" + handlerPos,
                                       "\"handler_pos\":" + moviPos, "\"to_handler\":\"divx\"",
                                       "\"to_handler\":\"movi\"");
              },
              1,
              "damaged: handler_pos " + moviPos + " is not where the file holds that code (" +
                  handlerPos + "); nothing written (journal: ",
              false},
             {"a record that would write codes no conversion writes",
              [&] {
                  return restoreEdited("\"from_handler\":\"xvid\"", "\"from_handler\":\"movi\"");
              },
              1, "damaged: movi/XVID are no codes of 10 that a conversion writes", false},
             {"another file moved over this one",
              [&] {
                  const std::string other =
                      File("other.avi", XvidFile(false, FCC("3iv2"), FCC("3IV2")));
                  convert("divx 5");
                  RunCli({"--to", "divx 5", other});
                  fs::remove(path);
                  fs::rename(other, path);
                  return RunCli({"--restore", path});
              },
              0, "(3iv2/3IV2)", false},
             {"a file whose size changed since",
              [&] {
                  grow();
                  return RunCli({"--restore", path});
              },
              1, sizeChanged, false},
             {"a dry run on a file whose size changed since",
              [&] {
                  grow();
                  return RunCli({"--restore", "--dry-run", path});
              },
              1, sizeChanged, false},
             {"a name that is no UTF-8",
              [&] {
                  const std::string bad = File("bad\xff\xfe.avi", original);
                  RunCli({"--to", "divx 5", bad});
                  const std::string text = TextOf(journal_);
                  EXPECT_NO_THROW(json::parse(text.substr(0, text.find('\n')))) << text;
                  const Result restored = RunCli({"--restore", bad});
                  EXPECT_TRUE(test::ReadFileBytes(bad) == original) << restored.Out;
                  return restored;
              },
              0, "XviD", true},
             {"a relative journal, restored from elsewhere",
              [&] {
                  RunCli({"--to", "divx 5", path}, inDir + "rel.jsonl ");
                  return RunCli({"--restore", path},
                                "cd / && VIDTAG_JOURNAL=" + Quote(dir_.Path("rel.jsonl")) + " ");
              },
              0, "XviD", true},
             {"a relative journal that cannot be written",
              [&] {
                  return RunCli({"--to", "divx 5", path}, inDir + "blocker/j.jsonl ");
              },
              1, blocker + "/j.jsonl: Not a directory", true},
             {"a named pipe", [&] { return (UseJournal(fifo), convert("divx 5")); }, 1,
              "it is not a regular file but a named pipe", true},
             {"a device", [&] { return (UseJournal("/dev/full"), convert("divx 5")); }, 1,
              "/dev/full: it is not a regular file but a device", true},
             {"an analysis that cannot read the journal",
              [&] { return (UseJournal(fifo), RunCli({path})); }, 0,
              "cannot be read: it is not a regular file but a named pipe", true},
             {"a dry-run restore that cannot read the journal",
              [&] {
                  return (UseJournal(fifo), RunCli({"--restore", "--dry-run", path}));
              },
              1, "cannot use the conversion journal " + fifo + ": it is not a regular file", true},
             {"no home folder",
              [&] {
                  return RunCli({"--to", "divx 5", path},
                                "env -u HOME -u XDG_STATE_HOME -u VIDTAG_JOURNAL ");
              },
              1, "$HOME/.local/state/vidtag/journal.jsonl: HOME is not set", true},
         }) {
        check(c);
    }
    // A relative journal, run from another folder: each message on its records names it
    // absolute, and JSON adds it as "journal".
    const std::string elsewhere = dir_.Path("elsewhere");
    fs::create_directory(elsewhere);
    const std::string fromElsewhere = "cd " + Quote(elsewhere) + " && VIDTAG_JOURNAL=rel.jsonl ";
    const std::string relative = (fs::canonical(elsewhere) / "rel.jsonl").string();
    const std::string named = "(journal: " + relative + ")";
    const std::string nothing = "no conversion of this file is recorded; nothing written " + named;
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--restore", path},
                                                      {"--restore", "--dry-run", path},
                                                      {"--json", "--restore", path},
                                                      {"--json", "--restore", "--dry-run", path}}) {
        const bool json = arguments[0] == "--json";
        check({"relative, nothing recorded", [&] { return RunCli(arguments, fromElsewhere); }, 0,
               json ? nothing + "\",\"journal\":\"" + relative + "\"}" : nothing + "\n", true});
    }
    check({"relative, settled, then nothing recorded",
           [&] {
               fs::remove(elsewhere + "/rel.jsonl");
               RunCli({"--to", "divx 5", path}, fromElsewhere);
               // The record alone, and the file as it was: a conversion killed before its write.
               std::string record = TextOf(elsewhere + "/rel.jsonl");
               record.resize(record.find('\n') + 1);
               test::WriteFileBytes(elsewhere + "/rel.jsonl", Bytes(record.begin(), record.end()));
               test::WriteFileBytes(path, original);
               return RunCli({"--restore", path}, fromElsewhere);
           },
           0, "recorded as undone " + named + "\n" + path + ": " + nothing + "\n", true});
}

} // namespace
