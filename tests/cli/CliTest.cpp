// End to end through the built vidtag-cli: every case runs the program on copies of the samples.
#include "support/MatroskaBuilder.h"
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using vidtag::test::Bytes;
using vidtag::test::ReadFileBytes;
using vidtag::test::SamplePath;
using vidtag::test::TempDir;

// The stream line of the MPEG-4 samples, which ffmpeg's mpeg4 encoder made.
const std::string kSimpleStream = "  stream: MPEG-4 Simple @ L1, 160x120, 10 fps\n";

struct Result {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

const auto Quote = vidtag::test::ShellQuote;

class Cli : public ::testing::Test {
  protected:
    // before and after are shell text around the command: a pipe into it, redirections.
    Result Run(const std::vector<std::string>& arguments, const std::string& before = {},
               const std::string& after = {}) {
        std::string command = before + vidtag::test::CliCommand(VIDTAG_CLI_PATH, arguments);
        command.append(after);
        const std::string errPath = dir_.Path("stderr.txt");
        command.append(" 2>").append(Quote(errPath));
        const vidtag::test::CommandResult run = vidtag::test::RunCommand(command);
        Result result{run.Exit, run.Out, {}};
        const Bytes err = ReadFileBytes(errPath);
        result.Err.assign(err.begin(), err.end());
        return result;
    }

    // The single JSON line of a run over one file.
    json RunJson(std::vector<std::string> arguments, const std::string& before = {}) {
        arguments.insert(arguments.begin(), "--json");
        const Result result = Run(arguments, before);
        EXPECT_EQ(result.Out.find('\n'), result.Out.size() - 1) << result.Out;
        return json::parse(result.Out);
    }

    std::string Copy(const std::string& sample, const std::string& as = {}) {
        const std::string target = dir_.Path(as.empty() ? sample : as);
        fs::create_directories(fs::path(target).parent_path());
        fs::copy_file(SamplePath(sample), target);
        return target;
    }

    TempDir dir_;
};

TEST_F(Cli, AnalysisTextNamesKindAndTargets) {
    const std::string v3 = Copy("kind03-mp43.avi");
    const std::string v1 = Copy("kind01-mpg4.avi");
    const Result result = Run({v3, v1});
    EXPECT_EQ(result.Exit, 0) << result.Err;
    // The V1 sample holds V2 data, which a V3 trailer with its rounding bit 0 would read alike.
    const auto ms = [](const std::string& versions) {
        return "  stream: Microsoft MPEG-4 " + versions + " (no MPEG-4 headers), 160x120, 10 fps\n";
    };
    EXPECT_EQ(result.Out, v3 + ": Microsoft MPEG4 V3\n" + ms("V3") +
                              "  targets: DivX V3 Low, DivX V3 Fast, Angel Potion V1\n" + v1 +
                              ": Microsoft MPEG4 V1\n" + ms("V2 or V3") +
                              "  targets: DivX V1 (locked)\n");
    EXPECT_EQ(result.Err, "");
}

TEST_F(Cli, AnalysisJsonPointsAtTheCodesInTheFile) {
    const std::string path = Copy("kind12-divx.avi");
    const json line = RunJson({path});
    EXPECT_EQ(line["path"], path);
    EXPECT_EQ(line["status"], 0);
    EXPECT_EQ(line["status_text"], "DivX 5");
    EXPECT_EQ(line["kind"], 12);
    EXPECT_EQ(line["kind_name"], "DivX 5");
    EXPECT_EQ(line["handler"], "divx");
    EXPECT_EQ(line["compression"], "DX50");
    EXPECT_EQ(line["handler_pos"], 112);
    EXPECT_EQ(line["compression_pos"], 188);
    EXPECT_EQ(line["targets"], json({"DivX 4", "XviD", "3ivx"}));
    EXPECT_EQ(line["locked"], false);
    EXPECT_FALSE(line.contains("converted"));

    const json noFormat = RunJson({Copy("no-strf-xvid.avi")});
    EXPECT_EQ(noFormat["kind"], 10);
    EXPECT_EQ(noFormat["compression_pos"], 0);
    EXPECT_EQ(noFormat["compression"], std::string(4, '\0'));

    // Damaged codes are not UTF-8; each byte must still come out, escaped, on a valid line.
    Bytes odd = ReadFileBytes(path);
    const Bytes damaged = {0x7F, 0x01, 0xE9, 'x'};
    std::copy(damaged.begin(), damaged.end(), odd.begin() + 112);
    vidtag::test::WriteFileBytes(path, odd);
    const Result raw = Run({"--json", path});
    EXPECT_NE(raw.Out.find(R"("handler":"\u007f\u0001\u00e9x")"), std::string::npos) << raw.Out;
    EXPECT_EQ(json::parse(raw.Out)["kind"], 14);
}

// Every kind to every target it is offered and back: the copy must end identical to the sample,
// and each step must be found again as the kind it was converted to.
TEST_F(Cli, EveryTargetAndBackRestoresTheSample) {
    const char* samples[] = {"kind01-mpg4.avi", "kind02-mp42.avi", "kind03-mp43.avi",
                             "kind04-div1.avi", "kind05-div2.avi", "kind06-div3.avi",
                             "kind07-div4.avi", "kind08-ap41.avi", "kind09-ap42.avi",
                             "kind10-xvid.avi", "kind11-divx.avi", "kind12-divx.avi",
                             "kind13-3iv2.avi"};
    for (const char* sample : samples) {
        const std::string path = Copy(sample);
        const json start = RunJson({path});
        for (const std::string target : start["targets"]) {
            const json there = RunJson({"--to", target, path});
            EXPECT_EQ(there["kind_name"], target) << sample;
            EXPECT_EQ(there["from_kind"], start["kind"]) << sample;
            EXPECT_EQ(there["from_handler"], start["handler"]) << sample;
            EXPECT_EQ(there["converted"], true) << sample;
            EXPECT_FALSE(there.contains("error")) << there.dump();
            const json back = RunJson({"--to", std::to_string(int(start["kind"])), path});
            EXPECT_EQ(back["kind"], start["kind"]) << sample << " via " << target;
        }
        EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(SamplePath(sample))) << sample;
    }
    const std::string v3 = Copy("kind03-mp43.avi", "text/v3.avi");
    const Result text = Run({"--to", "div3", v3});
    EXPECT_EQ(text.Exit, 0) << text.Err;
    EXPECT_EQ(text.Out, v3 + ": Microsoft MPEG4 V3 -> DivX V3 Low\n");
}

TEST_F(Cli, RefusesWhatCannotBeWrittenSafelyAndLeavesTheFile) {
    const std::string xvid = Copy("kind10-xvid.avi");
    const Result outside = Run({"--to", "DivX V3 Low", xvid});
    EXPECT_EQ(outside.Exit, 1);
    EXPECT_EQ(outside.Out, "");
    EXPECT_NE(outside.Err.find("offered: DivX 4, DivX 5, 3ivx"), std::string::npos) << outside.Err;
    const json refused = RunJson({"--to", "6", xvid});
    EXPECT_EQ(refused["converted"], false);
    EXPECT_TRUE(refused.contains("error"));

    // "divx" alone cannot say DivX 4 or DivX 5, so a file without a format chunk would be lost.
    const std::string noFormat = Copy("no-strf-xvid.avi");
    EXPECT_EQ(Run({"--to", "DivX 4", noFormat}).Exit, 1);
    EXPECT_EQ(ReadFileBytes(noFormat), ReadFileBytes(SamplePath("no-strf-xvid.avi")));
    EXPECT_EQ(Run({"--to", "3ivx", noFormat}).Exit, 0);

    const Result unknown = Run({"--to", "xvid", Copy("not-riff-text.avi")});
    EXPECT_EQ(unknown.Exit, 1);
    EXPECT_NE(unknown.Err.find("File isn't AVI-file"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(xvid), ReadFileBytes(SamplePath("kind10-xvid.avi")));
}

TEST_F(Cli, KindIsANameCodeOrNumberAndAmbiguityIsAUsageError) {
    const std::string path = Copy("kind10-xvid.avi");
    for (const auto& [text, kind] : std::vector<std::pair<std::string, int>>{
             {"divx 5", 12}, {"DX50", 12}, {"dx50", 12}, {"DIVX", 11}, {"3iv2", 13}, {"11", 11}}) {
        EXPECT_EQ(RunJson({"--dry-run", "--to", text, path})["to_kind"], kind) << text;
    }
    const Result divx = Run({"--to", "divx", path});
    EXPECT_EQ(divx.Exit, 2);
    EXPECT_NE(divx.Err.find("11 DivX 4, 12 DivX 5"), std::string::npos) << divx.Err;
    const Result div3 = Run({"--to", "DIV3", path});
    EXPECT_EQ(div3.Exit, 2);
    EXPECT_NE(div3.Err.find("6 DivX V3 Low, 7 DivX V3 Fast"), std::string::npos) << div3.Err;
    EXPECT_EQ(Run({"--to", "14", path}).Exit, 2);
    // Kind 15 is listed in its family but is never a target.
    EXPECT_NE(Run({"--list-kinds"})
                  .Out.find("\n  15  FFmpeg MPEG-4        FMP4  FMP4  (recognised "
                            "with --relaxed only)\n"),
              std::string::npos);
    EXPECT_NE(Run({"--to", "fmp4", path}).Err.find("never written"), std::string::npos);
    EXPECT_EQ(Run({"--bogus", path}).Exit, 2);
    EXPECT_EQ(Run({"--lang", "de", path}).Exit, 2);
    EXPECT_EQ(Run({}).Exit, 2);
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(SamplePath("kind10-xvid.avi")));
}

TEST_F(Cli, DryRunAndSameKindWriteNothing) {
    const std::string path = Copy("kind06-div3.avi");
    const Result dry = Run({"--dry-run", "--to", "Angel Potion V1", path});
    EXPECT_EQ(dry.Exit, 0);
    EXPECT_EQ(dry.Out, path + ": DivX V3 Low -> Angel Potion V1 (dry run, nothing written)\n");
    const json line = RunJson({"--dry-run", "--to", "ap41", path});
    EXPECT_EQ(line["dry_run"], true);
    EXPECT_EQ(line["converted"], false);
    EXPECT_EQ(line["kind"], 6);
    const json same = RunJson({"--to", "div3", path});
    EXPECT_EQ(same["converted"], false);
    EXPECT_FALSE(same.contains("error"));
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(SamplePath("kind06-div3.avi")));
}

// ffmpeg's default AVI output, which carries its codec tag in both fields.
struct Made {
    std::string Encoder;
    std::string LooksLike;
    int Kind;
    std::string Target;
    std::string TargetCodes;
    std::string TableCodes; // of its own kind, which converting back writes without the journal
    bool Matroska = false;  // remuxed by mkvmerge: one code, no handler
};

const Made kMade[] = {
    {"msmpeg4", "MP43/MP43 looks like Microsoft MPEG4 V3", 3, "DivX V3 Low", "div3DIV3",
     "mp43MP43"},
    {"mpeg4", "FMP4/FMP4 looks like FFmpeg MPEG-4", 15, "DivX 5", "divxDX50", ""},
    {"mpeg4", "FMP4 looks like FFmpeg MPEG-4", 15, "DivX 5", "divxDX50", "", true},
};

class FFmpegFiles : public Cli {
  protected:
    void SetUp() override {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0 ||
            std::system("ffprobe -version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "ffmpeg is not installed";
        }
        setenv("VIDTAG_JOURNAL", dir_.Path("journal.jsonl").c_str(), 1);
    }

    std::string Make(const Made& made) {
        const std::string path = dir_.Path(made.Encoder + ".avi");
        const std::string mkv = dir_.Path(made.Encoder + ".mkv");
        std::string command =
            "ffmpeg -y -v error -f lavfi -i testsrc=size=64x48:rate=5:duration=1 -c:v " +
            made.Encoder + " " + Quote(path);
        if (made.Matroska) {
            command += " && mkvmerge -q -o " + Quote(mkv) + " " + Quote(path);
        }
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return made.Matroska ? mkv : path;
    }

    // The file is the original with the two codes replaced (a Matroska track's one), and nothing
    // else changed.
    void ExpectOnlyCodes(const std::string& path, Bytes expected, const json& at,
                         const std::string& codes) {
        if (!at["handler_pos"].is_null()) {
            std::copy(codes.begin(), codes.begin() + 4, expected.begin() + int(at["handler_pos"]));
        }
        std::copy(codes.begin() + 4, codes.end(), expected.begin() + int(at["compression_pos"]));
        EXPECT_TRUE(ReadFileBytes(path) == expected) << "more than the eight bytes changed";
    }
};

TEST_F(FFmpegFiles, UnknownByDefaultConvertedWithRelaxed) {
    for (const Made& made : kMade) {
        SCOPED_TRACE(made.Encoder + (made.Matroska ? " in Matroska" : ""));
        const std::string path = Make(made);
        const Bytes original = ReadFileBytes(path);
        // A failure's lines all go to stderr, the stream line with its name line.
        const Result unknown = Run({path});
        EXPECT_EQ(unknown.Out, "");
        EXPECT_EQ(unknown.Err.substr(0, unknown.Err.find('\n') + 1),
                  path + ": Unknown codec (" + made.LooksLike + "; --relaxed converts it)\n");
        EXPECT_EQ(unknown.Err.find("\n  stream: "), unknown.Err.find('\n'));
        const json refused = RunJson({"--to", made.Target, path});
        EXPECT_EQ(refused["status"], 0);
        EXPECT_EQ(refused.value("error", "")
                      .rfind(made.LooksLike.substr(0, made.LooksLike.find(' ')) + " is no kind", 0),
                  0u);
        EXPECT_EQ(refused["kind"], 14);
        EXPECT_EQ(refused["relaxed_kind"], made.Kind);
        EXPECT_TRUE(ReadFileBytes(path) == original);

        const json found = RunJson({"--relaxed", path});
        EXPECT_EQ(found["kind"], made.Kind);
        EXPECT_EQ(found["match"], "relaxed");
        const json converted = RunJson({"--relaxed", "--no-journal", "--to", made.Target, path});
        EXPECT_EQ(converted["match"], "exact");
        EXPECT_NE(converted.value("warning", "").find("cannot be restored exactly"),
                  std::string::npos);
        EXPECT_EQ(converted.value("journal", ""), dir_.Path("journal.jsonl"));
        ExpectOnlyCodes(path, original, found, made.TargetCodes);
        const std::string tag =
            "ffprobe -v error -show_entries stream=codec_tag_string -of csv=p=0 " + Quote(path);
        EXPECT_EQ(vidtag::test::RunCommand(tag).Out, made.TargetCodes.substr(4) + "\n");
        if (!made.TableCodes.empty()) {
            EXPECT_EQ(RunJson({"--relaxed", "--no-journal", "--to", std::to_string(made.Kind),
                               path})["kind"],
                      made.Kind);
            ExpectOnlyCodes(path, original, found, made.TableCodes);
        }
    }
}

TEST_F(FFmpegFiles, RestoreThroughJournal) {
    for (const Made& made : kMade) {
        const std::string path = Make(made);
        const Bytes original = ReadFileBytes(path);
        // Naming the original kind brings back its exact codes too; FMP4 is never a target.
        if (!made.TableCodes.empty()) {
            EXPECT_EQ(Run({"--relaxed", "--to", made.Target, path}).Exit, 0);
            EXPECT_EQ(Run({"--relaxed", "--to", std::to_string(made.Kind), path}).Exit, 0);
            EXPECT_TRUE(ReadFileBytes(path) == original) << made.Encoder << " not back exactly";
        }
        EXPECT_EQ(Run({"--relaxed", "--to", made.Target, path}).Exit, 0);
        EXPECT_EQ(Run({"--relaxed", "--restore", path}).Exit, 0);
        EXPECT_TRUE(ReadFileBytes(path) == original) << made.Encoder << " not restored exactly";
    }
}

TEST_F(Cli, RecursiveFolderDoesEveryFileAndReportsTheFailure) {
    const std::string root = dir_.Path("batch");
    const std::string a = Copy("kind10-xvid.avi", "batch/a.avi");
    const std::string bad = Copy("not-riff-text.avi", "batch/b.avi");
    const std::string deep = Copy("kind13-3iv2.avi", "batch/sub/C.AVI");
    Copy("kind11-divx.avi", "batch/sub/ignored.avi.txt");

    const Result plain = Run({root});
    EXPECT_EQ(plain.Exit, 1);
    EXPECT_NE(plain.Err.find("use -r"), std::string::npos);

    const Result result = Run({"--json", "-r", "--to", "DivX 5", root});
    EXPECT_EQ(result.Exit, 1);
    std::istringstream lines(result.Out);
    std::vector<json> objects;
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(json::parse(line));
    }
    ASSERT_EQ(objects.size(), 3u) << result.Out;
    EXPECT_EQ(objects[0]["path"], a);
    EXPECT_EQ(objects[0]["kind"], 12);
    EXPECT_EQ(objects[1]["path"], bad);
    EXPECT_EQ(objects[1]["status"], 4);
    EXPECT_EQ(objects[2]["path"], deep);
    EXPECT_EQ(objects[2]["kind"], 12);
}

// Files finish out of order on several threads; every output format must still come out as
// with one thread, byte for byte, with the same exit status.
TEST_F(Cli, ParallelRunsPrintWhatOneThreadPrints) {
    const std::vector<std::string> samples = {"kind10-xvid.avi", "kind03-mp43.avi",
                                              "not-riff-text.avi", "kind13-3iv2.avi",
                                              "opendml-avix-xvid.avi"};
    for (int i = 0; i < 40; ++i) {
        Copy(samples[i % samples.size()],
             "many/" + std::to_string(i % 4) + "/" + std::to_string(i) + ".avi");
    }
    Copy("kind10-xvid.avi", "good/a.avi");
    Copy("kind11-divx.avi", "good/sub/b.avi");
    const std::string many = dir_.Path("many");
    struct Case {
        std::vector<std::string> Arguments;
        int Exit;
    };
    const std::vector<Case> cases = {
        {{"-r", many}, 1},
        {{"--json", "-r", many}, 1},
        {{"-q", "-r", many}, 1},
        {{"--json", "-q", "-r", many}, 1},
        {{"--check", "divx-home-theater", "-r", many}, 1},
        {{"--json", "--check", "divx-portable", "-r", many}, 1},
        {{"--to", "divx 5", "--dry-run", "-r", many}, 1},
        {{"-r", dir_.Path("good")}, 0},
        {{"--json", dir_.Path("good/a.avi"), dir_.Path("missing.avi"), many}, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> one = c.Arguments;
        one.insert(one.begin(), {"-j", "1"});
        const Result serial = Run(one);
        SCOPED_TRACE(serial.Out);
        EXPECT_EQ(serial.Exit, c.Exit);
        for (const char* jobs : {"3", "16"}) {
            std::vector<std::string> parallel = c.Arguments;
            parallel.insert(parallel.begin(), {"--jobs", jobs});
            const Result run = Run(parallel);
            EXPECT_EQ(run.Exit, serial.Exit) << jobs;
            EXPECT_EQ(run.Out, serial.Out) << jobs;
            EXPECT_EQ(run.Err, serial.Err) << jobs;
        }
    }
    EXPECT_EQ(Run({"-j", "0", many}).Exit, 2);
}

TEST_F(Cli, PreserveTimeKeepsTheModificationTime) {
    const std::string kept = Copy("kind11-divx.avi", "kept.avi");
    const std::string touched = Copy("kind11-divx.avi", "touched.avi");
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(kept, past);
    fs::last_write_time(touched, past);
    EXPECT_EQ(Run({"-P", "--to", "xvid", kept}).Exit, 0);
    EXPECT_EQ(Run({"--to", "xvid", touched}).Exit, 0);
    EXPECT_EQ(fs::last_write_time(kept), past);
    EXPECT_NE(fs::last_write_time(touched), past);
}

TEST_F(Cli, MissingFileAndNamesOutsideAsciiInBothLanguages) {
    const std::string missing = dir_.Path("нет такого.avi");
    const Result english = Run({missing});
    EXPECT_EQ(english.Exit, 1);
    EXPECT_EQ(english.Err, missing + ": File no found\n");
    const Result russian = Run({"--lang", "ru", missing});
    EXPECT_EQ(russian.Err, missing + ": Файл не найден\n");
    EXPECT_EQ(RunJson({missing})["status"], 1);

    const std::string named = Copy("kind07-div4.avi", "фильм.avi");
    const Result found = Run({"--lang", "ru", "--to", "Microsoft MPEG4 V3", named});
    EXPECT_EQ(found.Exit, 0) << found.Err;
    EXPECT_EQ(found.Out, named + ": DivX V3 Fast -> Microsoft MPEG4 V3\n");
}

// Each case would hang before the type check: a FIFO open waits for a writer.
TEST_F(Cli, PipesAreRefusedAtOnce) {
    fs::create_directory(dir_.Path("pipes"));
    const std::string fifo = dir_.Path("pipes/f.avi");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string sample = SamplePath("kind10-xvid.avi");
    for (const auto& [arguments, before] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{fifo}, ""},
             {{"--dry-run", "--to", "12", fifo}, ""},
             {{"-r", dir_.Path("pipes")}, ""},
             {{"/dev/stdin"}, "cat " + Quote(sample) + " | "}}) {
        const Result result = Run(arguments, "timeout 20 " + before);
        EXPECT_EQ(result.Exit, 1) << arguments.back();
        EXPECT_NE(result.Err.find(": File no found: not a regular file (a named pipe)\n"),
                  std::string::npos)
            << result.Err;
    }
    EXPECT_EQ(RunJson({"--to", "xvid", fifo}, "timeout 20 ")["os_error"],
              "not a regular file (a named pipe)");
}

TEST_F(Cli, AReportThatCannotBeWrittenFailsTheRun) {
    const std::string path = Copy("kind10-xvid.avi");
    for (const auto& [arguments, after] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--json", path}, " >/dev/full"},
             {{"--list-kinds"}, " >/dev/full"},
             {{"--help"}, " >/dev/full"},
             {{"--version"}, " >&-"},
             {{path}, " >&-"}}) {
        const Result result = Run(arguments, "", after);
        EXPECT_EQ(result.Exit, 1) << arguments.front() << after;
        EXPECT_NE(result.Err.find("vidtag-cli: the report could not be written: "),
                  std::string::npos)
            << result.Err;
    }
    // With stdout closed the file would take its number, and the report would go into it.
    const std::string expected = Copy("kind10-xvid.avi", "expected.avi");
    EXPECT_EQ(Run({"--to", "DivX 4", expected}).Exit, 0);
    EXPECT_EQ(Run({"--to", "DivX 4", path}, "", " >&-").Exit, 1);
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(expected));
}

TEST_F(Cli, RecursiveWalkFollowsNoLinkInsideFolders) {
    const std::string root = dir_.Path("walk");
    const std::string real = Copy("kind10-xvid.avi", "walk/real.avi");
    const std::string outside = Copy("kind13-3iv2.avi", "outside/o.avi");
    fs::create_directory_symlink(dir_.Path("outside"), root + "/linked-folder");
    fs::create_symlink(outside, root + "/linked-file.avi");
    const Result walk = Run({"-r", root});
    EXPECT_EQ(walk.Exit, 0) << walk.Err;
    EXPECT_EQ(walk.Out, real + ": XviD\n" + kSimpleStream + "  targets: DivX 4, DivX 5, 3ivx\n");
    // Named on the command line, a link is followed like any name.
    const Result named = Run({"-r", root + "/linked-folder", root + "/linked-file.avi"});
    EXPECT_EQ(named.Exit, 0) << named.Err;
    EXPECT_EQ(std::count(named.Out.begin(), named.Out.end(), '\n'), 6) << named.Out;
}

TEST_F(Cli, FilesThatExistButCannotBeOpenedSayWhy) {
    const std::string loop = dir_.Path("loop.avi");
    fs::create_symlink(loop, loop);
    const std::string tooLong = dir_.Path(std::string(300, 'x') + ".avi");
    const Result result = Run({loop, tooLong});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_EQ(result.Err, loop + ": File no found: Too many levels of symbolic links\n" + tooLong +
                              ": File no found: File name too long\n");
    const json line = RunJson({loop});
    EXPECT_EQ(line["status"], 1);
    EXPECT_EQ(line["os_error"], "Too many levels of symbolic links");
    const Result folder = Run({dir_.Root()});
    EXPECT_EQ(folder.Err, dir_.Root() + ": is a folder; use -r to process the .avi files in it\n");
}

// Another user's files: what root could always do, an ordinary user cannot.
TEST_F(Cli, AnotherUsersFilesGiveTheRealRunsFailures) {
    if (geteuid() != 0 || std::system("setpriv --reuid=65534 true 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs root, to run vidtag-cli as nobody on files nobody may not change";
    }
    // Nobody keeps a journal of its own, as every user does.
    const std::string journal = dir_.Path("nobody/journal.jsonl");
    fs::create_directories(dir_.Path("nobody"));
    fs::permissions(dir_.Path("nobody"), fs::perms::all);
    const std::string asNobody = "env VIDTAG_JOURNAL=" + Quote(journal) +
                                 " setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const std::string secret = Copy("kind10-xvid.avi", "secret.avi");
    const std::string readOnly = Copy("kind10-xvid.avi", "read-only.avi");
    const std::string shared = Copy("kind10-xvid.avi", "shared.avi");
    const std::string closed = Copy("kind10-xvid.avi", "walk/closed/c.avi");
    const std::string open = Copy("kind12-divx.avi", "walk/open/o.avi");
    fs::permissions(secret, fs::perms::none);
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(shared, fs::perms::all);
    fs::permissions(dir_.Path("walk/closed"), fs::perms::none);

    const Result secretRun = Run({secret}, asNobody);
    EXPECT_EQ(secretRun.Err, secret + ": File no found: Permission denied\n");
    EXPECT_EQ(RunJson({secret}, asNobody)["os_error"], "Permission denied");

    for (const bool dryRun : {true, false}) {
        std::vector<std::string> arguments{"--to", "DivX 5", readOnly};
        if (dryRun) {
            arguments.insert(arguments.begin(), "--dry-run");
        }
        const Result result = Run(arguments, asNobody);
        EXPECT_EQ(result.Exit, 1);
        EXPECT_EQ(result.Err, readOnly + ": Can't write to file: Permission denied\n");
    }

    // Both streams through one pipe, to see the order of the lines.
    const Result time = Run({"-P", "--to", "DivX 5", shared}, "{ " + asNobody, " 2>&1; }");
    EXPECT_EQ(time.Exit, 1);
    // The sample names no encoder, and FFmpeg decodes XVID with Xvid's workarounds, DX50 without.
    EXPECT_EQ(time.Out, shared + ": XviD -> DivX 5\n" + shared +
                            ": the stream names no encoder, so FFmpeg-based players (VLC, MPlayer, "
                            "Kodi) choose their decoding workarounds by the code: after this retag "
                            "the picture may change slightly in them\n" +
                            shared +
                            ": the modification time could not be restored: Operation not "
                            "permitted\n");

    const Result walk = Run({"-r", dir_.Path("walk")}, asNobody);
    EXPECT_EQ(walk.Exit, 1);
    EXPECT_EQ(walk.Err, dir_.Path("walk/closed") + ": cannot list the folder: Permission denied\n");
    EXPECT_EQ(walk.Out, open + ": DivX 5\n" + kSimpleStream + "  targets: DivX 4, XviD, 3ivx\n");
}

TEST_F(Cli, ScriptsGetOneLinePerFileAndTheExactName) {
    const std::string good = Copy("kind10-xvid.avi", "good.avi");
    const std::string bad = Copy("not-riff-text.avi", "bad.avi");
    const Result quiet = Run({"-q", "--json", good, bad});
    EXPECT_EQ(quiet.Exit, 1);
    EXPECT_EQ(json::parse(quiet.Out)["path"], bad);
    // A warning beside a conversion that went ahead is no failure: it goes with the conversion's
    // line, which quiet leaves out, and JSON carries it.
    const std::string unnamed = Copy("kind10-xvid.avi", "unnamed.avi");
    const Result warned = Run({"--to", "DX50", unnamed});
    EXPECT_EQ(warned.Err, "");
    EXPECT_EQ(std::count(warned.Out.begin(), warned.Out.end(), '\n'), 2) << warned.Out;
    const Result quietWarned = Run({"-q", "--to", "xvid", unnamed});
    EXPECT_EQ(quietWarned.Exit, 0);
    EXPECT_EQ(quietWarned.Out + quietWarned.Err, "");
    EXPECT_NE(RunJson({"--to", "DX50", unnamed}).value("warning", ""), "");
    EXPECT_EQ(Run({"--list-kinds", good}).Exit, 2);

    const std::string control = Copy("kind10-xvid.avi", "a\nb\x1b[31m\t.avi");
    const Result shown = Run({control});
    EXPECT_EQ(shown.Out, dir_.Path("a\\nb\\x1b[31m\\t.avi") + ": XviD\n" + kSimpleStream +
                             "  targets: DivX 4, DivX 5, 3ivx\n");
    // Text from a Matroska file is shown as names are: its CodecID and its DocType.
    const std::string id = "V_\x1b[2J\nfake.avi: XviD";
    const std::string mkv = dir_.Path("id.mkv");
    const std::string doc = dir_.Path("doc.mkv");
    vidtag::test::WriteFileBytes(
        mkv, vidtag::test::MkvFile({vidtag::test::Element(
                 0x1654AE6B, vidtag::test::TrackEntry({.CodecId = id, .Private = {}}))}));
    vidtag::test::WriteFileBytes(doc, vidtag::test::MkvFile({}, "\x1b]0;x\a"));
    const Result forged = Run({mkv, doc});
    EXPECT_EQ(forged.Out + forged.Err,
              mkv + ": Unknown codec\n  stream: no video frames read\n" +
                  "  Matroska, track 1 (V_\\x1b[2J\\nfake.avi: XviD)\n" +
                  "  no code to change: the track's CodecID \"V_\\x1b[2J\\n" +
                  "fake.avi: XviD\" names its codec, and it has no " + "compression code\n" + doc +
                  ": File isn't AVI-file\n" + doc +
                  ": an EBML file of type \"\\x1b]0;x\\x07\", not "
                  "Matroska\n");
    EXPECT_EQ(RunJson({mkv})["codec_id"], id);
    const std::string latin1 = Copy("kind10-xvid.avi", "caf\xe9.avi");
    const json line = RunJson({latin1});
    EXPECT_EQ(line["path"], dir_.Path("caf\xef\xbf\xbd.avi"));
    const std::string encoded = line["path_base64"];
    EXPECT_EQ(Run({}, "echo " + encoded + " | base64 -d | xargs -0 ", "").Exit, 0);
    EXPECT_FALSE(RunJson({good}).contains("path_base64"));
}

// MPEG-4 data under a DivX 3 label: the stream line, the warning, and the stream object with
// the names checks outside the project read, in analyses and conversions alike.
TEST_F(Cli, StreamLineWarningAndJsonObject) {
    const std::string file = Copy("kind10-xvid.avi", "labelled-div3.avi");
    const json before = RunJson({file});
    Bytes bytes = ReadFileBytes(file);
    std::memcpy(&bytes[before["handler_pos"].get<std::size_t>()], "div3", 4);
    std::memcpy(&bytes[before["compression_pos"].get<std::size_t>()], "DIV3", 4);
    vidtag::test::WriteFileBytes(file, bytes);

    const Result text = Run({file});
    EXPECT_EQ(text.Out, file + ": DivX V3 Low\n" + kSimpleStream +
                            "  warning: the stream is MPEG-4 Part 2, not Microsoft MPEG-4 as the "
                            "label says\n  targets: Microsoft MPEG4 V3, Angel Potion V1, DivX V3 "
                            "Fast\n  repair: XviD, DivX 4, DivX 5, 3ivx (the stream is MPEG-4 "
                            "Part 2)\n");
    const Result quiet = Run({"-q", file});
    EXPECT_EQ(quiet.Exit, 0);
    EXPECT_EQ(quiet.Out + quiet.Err, "");

    const std::vector<std::string> mpeg4Names = {"syntax",        "family_mismatch",
                                                 "frames_read",   "width",
                                                 "height",        "fps",
                                                 "frames",        "ms_versions",
                                                 "profile_level", "object_type",
                                                 "par",           "interlaced",
                                                 "qpel",          "sprite",
                                                 "warp_points",   "mpeg_quant",
                                                 "custom_matrix", "data_partitioned",
                                                 "rvlc",          "resync_markers",
                                                 "low_delay",     "vbv_buffer_size",
                                                 "vops",          "max_b_run",
                                                 "packed",        "divx_packed_flag",
                                                 "user_data",     "vol_damaged"};
    const std::vector<std::string> shortNames(mpeg4Names.begin(), mpeg4Names.begin() + 8);
    // In the order written, which the sorted json type would not keep.
    const auto names = [this](const std::string& path) {
        std::vector<std::string> found;
        const auto line = nlohmann::ordered_json::parse(Run({"--json", path}).Out);
        for (const auto& item : line["stream"].items()) {
            found.push_back(item.key());
        }
        return found;
    };
    const Bytes page = ReadFileBytes(VIDTAG_MAN_PAGE);
    for (const std::string& name : mpeg4Names) {
        EXPECT_NE(std::string(page.begin(), page.end()).find(name), std::string::npos)
            << name << " is not in the manual page";
    }
    const json mismatched = RunJson({file})["stream"];
    EXPECT_EQ(names(file), mpeg4Names);
    EXPECT_EQ(mismatched["family_mismatch"], true);
    EXPECT_EQ(mismatched["syntax"], "mpeg4");

    const json converted = RunJson({"--to", "mp43", "--no-journal", file});
    EXPECT_EQ(converted["converted"], true);
    EXPECT_EQ(converted["stream"], mismatched);
    const std::string div3 = Copy("kind06-div3.avi");
    const json ms = RunJson({div3})["stream"];
    EXPECT_EQ(names(div3), shortNames);
    EXPECT_EQ(ms["syntax"], "msmpeg4");
    EXPECT_EQ(ms["family_mismatch"], false);
    EXPECT_EQ(ms["ms_versions"], json::array({3}));
    EXPECT_EQ(mismatched["ms_versions"], nullptr);
}

// The manual page is kept by hand; whatever --help offers must be in it.
TEST_F(Cli, ManualPageDocumentsEveryOptionOfTheHelp) {
    const Bytes raw = ReadFileBytes(VIDTAG_MAN_PAGE);
    std::string page;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (!(raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '-')) {
            page += static_cast<char>(raw[i]);
        }
    }
    const Result help = Run({"--help"});
    std::istringstream lines(help.Out);
    int options = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        for (std::istringstream names(first); std::getline(names, first, ',');) {
            if (first.size() > 1 && first[0] == '-') {
                ++options;
                EXPECT_NE(page.find(first), std::string::npos) << first << " is not in the page";
            }
        }
    }
    EXPECT_GE(options, 12) << help.Out;
    const std::string version = Run({"--version"}).Out;
    EXPECT_NE(
        page.find("\"Vidtag " +
                  version.substr(version.find(' ') + 1, version.size() - version.find(' ') - 2) +
                  "\""),
        std::string::npos)
        << version;
}

} // namespace
