// Conversions that survive a kill and a second writer, and exact originals across runs: the
// engine in forked children, vidtag-cli from the outside, every journal in a scratch folder.
#include "engine/Engine.h"
#include "os/FileLayer.h"
#include "support/AviBuilder.h"
#include "support/FaultyFileLayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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

struct Result {
    int Exit = -1;
    std::string Out;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Starts vidtag-cli; Finish collects its stdout and stderr together.
std::FILE* Start(const std::vector<std::string>& arguments) {
    std::string command = Quote(VIDTAG_CLI_PATH);
    for (const std::string& argument : arguments) {
        command.append(" ").append(Quote(argument));
    }
    command.append(" 2>&1");
    return popen(command.c_str(), "r");
}

Result Finish(std::FILE* pipe) {
    Result result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.Out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Result RunCli(const std::vector<std::string>& arguments) {
    return Finish(Start(arguments));
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
    };
    for (const Layout layout : {Layout{false, 0444, 3}, Layout{true, 0644, 4}}) {
        SCOPED_TRACE(layout.Apart ? "fields apart" : "fields in one sector");
        const Bytes original = XvidFile(layout.Apart);
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
                    layout.Apart ? "fields apart" : "one sector", completedAt - 1);
    }
}

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
    for (int round = 0; round < 500; ++round) {
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
    std::printf("500 rounds: %d with both succeeding in turn, %d with one, 0 mixed pairs\n",
                bothSucceeded, oneSucceeded);
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
            EXPECT_NE(RunCli({path}).Out.find(c.Shown), std::string::npos);
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
        EXPECT_EQ(RunCli({"--restore", path}).Exit, 1);
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

} // namespace
