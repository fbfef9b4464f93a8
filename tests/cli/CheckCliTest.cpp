// vidtag-cli --check end to end: the verdict on real streams for every profile, --to auto over a
// folder, and the usage it refuses. The streams made by ffmpeg and libxvid come from
// samples/make-stream-samples and make-check-fixtures at test time; without ffmpeg their rows
// are skipped.
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using vidtag::test::ReadFileBytes;
using vidtag::test::SamplePath;
using vidtag::test::TempDir;

const auto Quote = vidtag::test::ShellQuote;
using Outcome = vidtag::test::CommandResult;

// stderr goes where errTo says, /dev/null unless given; env is put in front of the command.
Outcome Cli(const std::string& arguments, const std::string& errTo = "/dev/null",
            const std::string& env = {}) {
    return vidtag::test::RunCommand(env + Quote(VIDTAG_CLI_PATH) + " " + arguments + " 2>" +
                                    Quote(errTo));
}

std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(json::parse(text.substr(at, end - at)));
    }
    return lines;
}

// The command at the end of a verdict line, "(vidtag-cli ...)", with vidtag-cli this build's.
std::string PrintedCommand(const std::string& out) {
    const std::string start = "(vidtag-cli ";
    const std::size_t at = out.find(start);
    const std::size_t end = out.find(")\n", at);
    if (at == std::string::npos || end == std::string::npos) {
        return {};
    }
    return Quote(VIDTAG_CLI_PATH) + " " + out.substr(at + start.size(), end - at - start.size());
}

// A file against the four profiles, smallest first: "verdict problem,ids" each, ids in the order
// the check names them. "SIZE" stands for what 320x240 at 25 fps breaks on a handheld.
struct SampleRow {
    const char* File;
    std::vector<std::string> Verdicts;
    const char* Options = "";          // what the file needs besides --check
    const char* Names = "";            // what a problem names the stream
    const char* BitrateFrom = "index"; // nullptr for none
};

std::string VerdictOf(const json& check) {
    std::string text = check["verdict"];
    for (std::size_t i = 0; i < check["problems"].size(); ++i) {
        text.append(i == 0 ? " " : ",").append(check["problems"][i]["id"].get<std::string>());
    }
    for (const json& note : check["notes"]) {
        if (note.get<std::string>().find("the stream claims") != std::string::npos) {
            text += " +level";
        }
    }
    return text;
}

class CheckCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // ctest makes the streams once for the whole run (make-test-streams); a suite run
        // alone makes its own.
        const std::string shared = VIDTAG_TEST_STREAMS;
        if (std::ifstream stamp(shared + "/made"); stamp) {
            char said = '0';
            stamp >> said;
            made_ = said == '1';
            root_ = shared;
            return;
        }
        streams_ = new TempDir;
        root_ = streams_->Root();
        if (std::system("ffmpeg -version >/dev/null 2>&1") == 0) {
            const std::string script = std::string(VIDTAG_SAMPLES_DIR) + "/make-stream-samples";
            made_ =
                std::system((Quote(script) + " " + Quote(root_) + " 2>/dev/null").c_str()) == 0 ||
                fs::exists(root_ + "/stream-xvid-qpel.avi");
            made_ =
                std::system(
                    (Quote(VIDTAG_CHECK_FIXTURES) + " " + Quote(root_) + " 2>/dev/null").c_str()) ==
                    0 &&
                made_;
        }
    }
    static void TearDownTestSuite() {
        delete streams_;
        streams_ = nullptr;
    }
    // A stream sample made at test time, else one of samples/; empty when neither exists.
    static std::string Sample(const std::string& name) {
        if (const std::string made = root_ + "/" + name; fs::exists(made)) {
            return made;
        }
        const std::string kept = SamplePath(name);
        return fs::exists(kept) ? kept : std::string();
    }

    // Whenever the check says "retag to K", the command it prints converts a copy of the file,
    // run exactly as printed, and the copy then is K.
    void ExpectPrintedRetagWrites(const std::string& file, const std::string& options, int kind,
                                  const std::string& env) {
        const std::string copy = dir_.Path(fs::path(file).filename().string());
        fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
        // Codes only --relaxed knows make the analysis fail: its lines go to stderr.
        const std::string err = dir_.Path("stderr.txt");
        const std::string out = Cli(options + " " + Quote(copy), err, env).Out;
        const auto said = ReadFileBytes(err);
        const std::string command =
            PrintedCommand(out.empty() ? std::string(said.begin(), said.end()) : out);
        ASSERT_FALSE(command.empty());
        EXPECT_EQ(vidtag::test::RunCommand(env + command + " >/dev/null 2>&1").Exit, 0) << command;
        const std::string flags = std::string(options).substr(0, options.find("--check"));
        EXPECT_EQ(json::parse(Cli("--json " + flags + Quote(copy), "/dev/null", env).Out)["kind"],
                  kind)
            << command;
    }

    // Each row's file against the profiles, a verdict for each; "SIZE" stands for sizeIds, "BIG"
    // for what a large frame breaks on a handheld.
    void ExpectVerdicts(const std::vector<std::string>& profiles,
                        const std::vector<SampleRow>& rows, const std::string& sizeIds,
                        const std::string& env = {}) {
        for (const SampleRow& row : rows) {
            const std::string file = Sample(row.File);
            if (file.empty()) {
                EXPECT_FALSE(made_) << row.File << " was not made";
                continue;
            }
            ASSERT_EQ(row.Verdicts.size(), profiles.size()) << row.File;
            for (std::size_t p = 0; p < profiles.size(); ++p) {
                SCOPED_TRACE(std::string(row.File) + " on " + profiles[p]);
                const std::string options =
                    std::string(row.Options) + " --check " + Quote(profiles[p]);
                const Outcome run = Cli("--json " + options + " " + Quote(file), "/dev/null", env);
                const json check = json::parse(run.Out)["check"];
                std::string expected = row.Verdicts[p];
                for (const auto& [word, ids] :
                     {std::pair<std::string, std::string>{"SIZE", sizeIds},
                      {"BIG", "size,fps,macroblocks"}}) {
                    if (const auto at = expected.find(word); at != std::string::npos) {
                        expected.replace(at, word.size(), ids);
                    }
                }
                const bool plays = expected.rfind("plays", 0) == 0;
                const std::string name = profiles[p];
                if (name.rfind("divx-", 0) == 0 || name.rfind("mpeg4-", 0) == 0) {
                    EXPECT_EQ(check["profile"], name);
                }
                EXPECT_EQ(VerdictOf(check), expected);
                EXPECT_EQ(run.Exit, plays ? 0 : 1);
                EXPECT_EQ(check["retag_to"].is_null(), expected.rfind("retag", 0) != 0);
                if (row.BitrateFrom != nullptr) {
                    EXPECT_EQ(check["bitrate_from"], row.BitrateFrom);
                    EXPECT_LE(check["avg_bitrate"], check["peak_bitrate"]);
                } else {
                    EXPECT_TRUE(check["bitrate_from"].is_null());
                    EXPECT_TRUE(check["avg_bitrate"].is_null() && check["peak_bitrate"].is_null());
                    const json& said =
                        expected == "unknown" ? check["unknown_reason"] : check["notes"];
                    EXPECT_NE(said.dump().find("damaged"), std::string::npos);
                }
                if (*row.Names != '\0') {
                    EXPECT_NE(check["problems"].dump().find(row.Names), std::string::npos);
                }
                if (check["verdict"] == "retag") {
                    ExpectPrintedRetagWrites(file, options, check["retag_to"], env);
                }
            }
        }
    }

    static inline TempDir* streams_ = nullptr;
    static inline std::string root_;
    static inline bool made_ = false;
    TempDir dir_;
};

TEST_F(CheckCli, EverySampleAgainstEveryProfile) {
    const std::vector<std::string> kProfiles = {"divx-handheld", "divx-portable",
                                                "divx-home-theater", "divx-hd720"};
    const std::string plays = "plays", label = "retag label", v2 = "reencode family_unsupported";
    const std::string mis = "mislabelled family", repair = "retag family";
    // libxvid at 320x240 under an XviD label, with one tool no profile allows.
    const auto Tool = [](const std::string& id) {
        const std::string some = "reencode label," + id;
        return std::vector<std::string>{"reencode label,size,fps,macroblocks," + id, some, some,
                                        some};
    };
    const std::vector<SampleRow> rows = {
        {"kind01-mpg4.avi", {v2, v2, v2, v2}},
        {"kind03-mp43.avi", {label, label, label, label}},
        {"kind06-div3.avi", {plays, plays, plays, plays}},
        {"kind09-ap42.avi", {v2, v2, v2, v2}},
        {"kind10-xvid.avi", {label, label, label, label}},
        {"kind11-divx.avi", {plays, plays, plays, plays}},
        {"kind13-3iv2.avi", {label, label, label, label}},
        // VLC measured 32.05 fps and wrote it: more than any profile's 30.
        {"stream-vlc-remux.avi",
         {"reencode fps,macroblocks,b_frames", "reencode fps,b_frames", "reencode fps,b_frames",
          "reencode fps"}},
        {"stream-xvid-packed.avi",
         {"reencode label,size,fps,macroblocks,b_frames,packed", "reencode label,b_frames",
          "reencode label,b_frames", label}},
        {"stream-xvid-qpel.avi", Tool("qpel")},
        {"stream-xvid-gmc.avi", Tool("gmc")},
        {"stream-xvid-mpegquant.avi", Tool("mpeg_quant")},
        {"stream-mpeg4-bf.avi",
         {"reencode SIZE,b_frames", "reencode b_frames", "reencode b_frames", plays}},
        {"stream-mpeg4-interlaced.avi",
         {"reencode SIZE,interlaced", "reencode interlaced", plays, plays}},
        {"stream-mpeg4-partitioned.avi", {"reencode SIZE", plays, plays, plays}},
        {"stream-msmpeg4.avi", {"reencode SIZE", plays, plays, plays}},
        {"stream-msmpeg4v2.avi", {"reencode family_unsupported,SIZE", v2, v2, v2}},
        // V3 data under an XviD label: the first intra picture proves V3.
        {"stream-msmpeg4-as-xvid.avi", {"mislabelled family,SIZE", repair, repair, repair}},
        // Its B-frames start after frame 75: the whole stream is judged.
        {"stream-mpeg4-late-bf.avi",
         {"reencode label,size,fps,macroblocks,b_frames", "reencode label,b_frames",
          "reencode label,b_frames", label}},
        // No index: the bitrates over every chunk, a noisy first second the peak.
        {"stream-mpeg4-no-index.avi",
         {"reencode size,fps,macroblocks,avg_bitrate,peak_bitrate", "reencode peak_bitrate",
          "reencode peak_bitrate", "reencode peak_bitrate"},
         "",
         "",
         "chunks"},
        // Its bitrates cannot be measured: only a re-encode found anyway stands.
        {"stream-mpeg4-no-index-damaged.avi",
         {"reencode size,fps,macroblocks", "unknown", "unknown", "unknown"},
         "",
         "",
         nullptr},
        // No retag is offered that the conversion would refuse: without a format there is no
        // compression code to write.
        {"no-strf-xvid.avi",
         {"reencode label", "reencode label", "reencode label", "reencode label"}},
        // Nothing to judge by without a VOL; the frame rate from the main header.
        {"check-novol.avi", {"unknown BIG", "unknown", "unknown", "unknown"}},
        {"check-rate0.avi", {"reencode SIZE", "reencode fps", "reencode fps", "reencode fps"}},
        {"check-fmp4.avi", {"reencode label,BIG", label, label, label}, "--relaxed"},
        // V1 frames under V2 and V3 labels, other codecs' data under MPEG-4 family labels.
        {"check-v1-mp42.avi", {"mislabelled family,BIG", mis, mis, mis}, "", "Microsoft MPEG-4 V1"},
        {"check-v1-div3.avi", {"mislabelled family,BIG", mis, mis, mis}, "", "Microsoft MPEG-4 V1"},
        {"check-mjpeg.avi", {"mislabelled family,SIZE", mis, mis, mis}, "", "Motion JPEG"},
        {"check-h264.avi", {"mislabelled family,BIG", mis, mis, mis}, "", "H.264"},
        {"check-mpeg2.avi",
         {"mislabelled family,BIG,avg_bitrate", mis, mis, mis},
         "",
         "MPEG-1/2 video"},
        // Labels that lie about streams whose headers prove their family: repaired where the
        // repaired file plays; codes only --relaxed knows, judged as the kind they look like.
        {"check-mpeg4-div3.avi", {"mislabelled family,BIG", repair, repair, repair}},
        {"check-mpeg4-upper-div3.avi", {"mislabelled family,BIG", repair, repair, repair}},
        {"check-v2-xvid.avi", {"mislabelled family,BIG", mis, mis, mis}, "", "Microsoft MPEG-4"},
        {"check-v1-dx50.avi", {"mislabelled family,BIG", mis, mis, mis}, "", "Microsoft MPEG-4 V1"},
        {"check-upper-mp43.avi", {"reencode label,BIG", label, label, label}},
        {"check-upper-div2.avi", {"reencode family_unsupported,BIG", v2, v2, v2}},
    };
    ExpectVerdicts(kProfiles, rows, "size,fps,macroblocks,avg_bitrate,peak_bitrate");
}

// The MPEG-4 levels take any label of the family and judge the stream alone. "SIZE" stands for
// what 320x240 at 25 fps breaks at Simple L0, "+level" for the note on a higher claimed level.
TEST_F(CheckCli, SamplesAgainstTheMpeg4Levels) {
    const std::vector<std::string> kProfiles = {"mpeg4-sp-l0", "mpeg4-sp-l3", "mpeg4-asp-l3",
                                                "mpeg4-asp-l5"};
    const std::string plays = "plays", v3 = "reencode family_unsupported",
                      avg = "reencode avg_bitrate", size = "reencode SIZE";
    // libxvid at 320x240, which only Advanced Simple allows with this one tool.
    const auto Tool = [&](const std::string& id) {
        return std::vector<std::string>{size + "," + id + " +level", avg + "," + id + " +level",
                                        "plays +level", plays};
    };
    const std::vector<SampleRow> rows = {
        {"kind03-mp43.avi", {v3 + ",avg_bitrate", v3, v3, v3}},
        {"kind06-div3.avi", {v3 + ",avg_bitrate", v3, v3, v3}},
        {"kind10-xvid.avi", {avg + " +level", plays, plays, plays}},
        {"kind13-3iv2.avi", {avg + " +level", plays, plays, plays}},
        // 32 fps at 160x120 is more than Simple L0's 15 fps and 1485 macroblocks a second.
        {"stream-vlc-remux.avi",
         {"reencode fps,macroblocks,avg_bitrate,peak_bitrate,b_frames +level",
          "reencode b_frames +level", "plays +level", plays}},
        {"stream-xvid-packed.avi", Tool("b_frames,packed")},
        {"stream-xvid-qpel.avi", Tool("qpel")},
        {"stream-xvid-gmc.avi", Tool("gmc")},
        {"stream-xvid-mpegquant.avi", Tool("mpeg_quant")},
        // FFmpeg's encoder overshoots 300 kbit/s on so short a clip.
        {"stream-mpeg4-bf.avi",
         {size + ",b_frames +level", avg + ",peak_bitrate,b_frames +level", avg + ",peak_bitrate",
          plays}},
        {"stream-mpeg4-interlaced.avi",
         {size + ",interlaced +level", avg + ",interlaced", plays, plays}},
        {"stream-mpeg4-partitioned.avi", {size + " +level", avg, plays, plays}},
        {"stream-msmpeg4.avi", {v3 + ",SIZE", v3 + ",avg_bitrate", v3, v3}},
        {"stream-msmpeg4-as-xvid.avi",
         {"mislabelled family,SIZE", "mislabelled family,avg_bitrate", "mislabelled family",
          "mislabelled family"}},
    };
    ExpectVerdicts(kProfiles, rows,
                   "size,fps,frame_macroblocks,macroblocks,avg_bitrate,peak_bitrate");
}

// Over a folder, --to auto writes exactly the files whose verdict is retag, each to its
// retag_to, and leaves every other byte of the folder as it was.
TEST_F(CheckCli, ToAutoChangesExactlyTheRetagFiles) {
    const std::string folder = dir_.Path("batch");
    fs::create_directory(folder);
    std::vector<std::string> names;
    for (const char* name :
         {"kind03-mp43.avi", "kind06-div3.avi", "kind09-ap42.avi", "kind10-xvid.avi",
          "kind12-divx.avi", "kind13-3iv2.avi", "not-riff-text.avi", "stream-xvid-qpel.avi",
          "stream-msmpeg4-as-xvid.avi"}) {
        if (const std::string from = Sample(name); !from.empty()) {
            fs::copy_file(from, folder + "/" + name);
            names.emplace_back(name);
        }
    }
    // Its frames blanked out: nothing to judge by, so never converted.
    vidtag::test::Bytes blank = ReadFileBytes(SamplePath("kind10-xvid.avi"));
    const std::string movi = "movi", idx1 = "idx1";
    const auto at = std::search(blank.begin(), blank.end(), movi.begin(), movi.end());
    std::fill(at + 4, std::search(at, blank.end(), idx1.begin(), idx1.end()), std::uint8_t{0});
    vidtag::test::WriteFileBytes(folder + "/blank.avi", blank);
    names.emplace_back("blank.avi");
    std::map<std::string, vidtag::test::Bytes> before;
    std::map<std::string, int> retagTo;
    for (const json& line :
         JsonLines(Cli("--json --check divx-home-theater " + Quote(folder) + "/*.avi").Out)) {
        const std::string name = fs::path(line["path"].get<std::string>()).filename().string();
        before[name] = ReadFileBytes(line["path"]);
        if (line.contains("check") && line["check"]["verdict"] == "retag") {
            retagTo[name] = line["check"]["retag_to"];
        }
    }
    ASSERT_EQ(before.size(), names.size());
    ASSERT_EQ(retagTo.size(), 4u);

    const Outcome real = Cli("--json -r --to auto --check divx-home-theater " + Quote(folder));
    EXPECT_EQ(real.Exit, 1); // the files that will not play are refused
    const std::vector<json> wrote = JsonLines(real.Out);
    ASSERT_EQ(wrote.size(), names.size());
    for (const json& line : wrote) {
        const std::string name = fs::path(line["path"].get<std::string>()).filename().string();
        SCOPED_TRACE(name);
        const bool retag = retagTo.count(name) != 0;
        EXPECT_EQ(line["converted"], retag);
        EXPECT_EQ(ReadFileBytes(line["path"]) == before[name], !retag);
        if (retag) {
            EXPECT_EQ(line["kind"], retagTo[name]);
        }
        // XVID picks Xvid's workarounds in FFmpeg, DX50 none, and the sample names no encoder.
        EXPECT_EQ(line.contains("warning"), name == "kind10-xvid.avi");
        const bool refused = line.contains("error") || line["status"] != 0;
        EXPECT_EQ(refused, !retag && line["check"]["verdict"] != "plays") << line.dump();
        if (name == "blank.avi") {
            EXPECT_EQ(line["check"]["verdict"], "unknown");
            EXPECT_NE(line["error"].get<std::string>().find("cannot be told"), std::string::npos);
        }
    }
}

// In either language: the names, ids and the command stay as they are, the words follow --lang.
TEST_F(CheckCli, TextNamesTheVerdictAndTheCommand) {
    const std::string trip = dir_.Path("my trip.avi");
    fs::copy_file(SamplePath("kind13-3iv2.avi"), trip);
    const std::string command =
        "(vidtag-cli --to auto --check divx-home-theater " + Quote(trip) + ")\n";
    const struct {
        const char* Lang;
        const char* Stream;
        const char* Verdict;
        const char* Refusal;
        const char* Problem;
    } rows[] = {
        {"en", "  stream: MPEG-4 Simple @ L1", "plays after a retag to ",
         "not converted: it would still need a retag to DivX 5 to play on divx-home-theater",
         "3ivx is not a DivX code (retag to DivX 5)"},
        {"ru", "  поток: MPEG-4 Simple @ L1", "воспроизведётся после смены метки на ",
         "не преобразован: чтобы воспроизводиться на divx-home-theater, ему всё ещё нужна смена "
         "метки на DivX 5",
         "3ivx — не код DivX (смените метку на DivX 5)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Lang);
        const std::string lang = std::string("--lang ") + row.Lang + " ";
        const Outcome run = Cli(lang + "--check divx-home-theater " + Quote(trip));
        EXPECT_NE(run.Out.find(row.Stream), std::string::npos) << run.Out;
        EXPECT_NE(run.Out.find("\n  divx-home-theater: " + std::string(row.Verdict) + "DivX 5 " +
                               command),
                  std::string::npos)
            << run.Out;
        EXPECT_EQ(run.Exit, 1);
        // Asked for XviD, the file is refused with the verdict's reason.
        const std::string err = dir_.Path("err.txt");
        EXPECT_EQ(Cli(lang + "--to xvid --check divx-home-theater " + Quote(trip), err).Exit, 1);
        const auto said = ReadFileBytes(err);
        EXPECT_NE(std::string(said.begin(), said.end()).find(row.Refusal), std::string::npos);
        const json check =
            json::parse(Cli(lang + "--json --check divx-home-theater " + Quote(trip)).Out)["check"];
        EXPECT_EQ(check["problems"][0]["id"], "label");
        EXPECT_EQ(check["problems"][0]["text"], row.Problem);
    }
}

// What the check says of a file beside what a conversion of it says: the same refusal, by the
// same words, and nothing about a label the file does not have.
TEST_F(CheckCli, SaysWhatTheConversionSays) {
    const std::string err = dir_.Path("err.txt"), alone = dir_.Path("alone.txt");
    const auto Said = [](const std::string& path) {
        const auto bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    };
    // A target outside the family: the refusal of --to alone, its exit status, then at most the
    // file as it is.
    const std::string xvid = dir_.Path("x.avi");
    fs::copy_file(SamplePath("kind10-xvid.avi"), xvid);
    const Outcome checked = Cli("--to div3 --check divx-portable " + Quote(xvid), err);
    const Outcome plain = Cli("--to div3 " + Quote(xvid), alone);
    const std::string said = Said(err);
    EXPECT_EQ(said.substr(0, Said(alone).size()), Said(alone));
    EXPECT_EQ(checked.Exit, plain.Exit);
    EXPECT_EQ(said.find("mislabelled"), std::string::npos) << said;
    EXPECT_NE(said.find("\n  divx-portable: plays after a retag to DivX 5\n"), std::string::npos)
        << said;

    // Without a format no retag is offered, and the reason is the conversion's own.
    const std::string bare = dir_.Path("n.avi");
    fs::copy_file(SamplePath("no-strf-xvid.avi"), bare);
    Cli("--to 'DivX 5' " + Quote(bare), err);
    std::string reason = Said(err);
    reason = reason.substr(reason.find(": ") + 2);
    reason.pop_back();
    const json check = json::parse(Cli("--json --check divx-hd720 " + Quote(bare)).Out)["check"];
    EXPECT_EQ(check["verdict"], "reencode");
    EXPECT_NE(check["problems"][0]["text"].get<std::string>().find(reason), std::string::npos)
        << reason;

    // A name that would steer the terminal: the note advises without a command, and the retag
    // command, a working shell word, converts the file when run as printed.
    const std::string packed = Sample("stream-xvid-packed.avi");
    if (packed.empty()) {
        return;
    }
    const std::string odd = dir_.Path("p\x1b[31m\nq.avi");
    fs::copy_file(packed, odd);
    const std::string out = Cli("--check divx-hd720 " + Quote(odd)).Out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    EXPECT_NE(out.find("mpeg4_unpack_bframes filter"), std::string::npos) << out;
    EXPECT_EQ(out.find("ffmpeg -i"), std::string::npos) << out;
    const std::string command = PrintedCommand(out);
    EXPECT_EQ(vidtag::test::RunCommand("bash -c " + Quote(command) + " >/dev/null 2>&1").Exit, 0);
    EXPECT_EQ(json::parse(Cli("--json " + Quote(odd)).Out)["kind"], 12);
}

// Bad usage: exit 2, one line on stderr, nothing on stdout, nothing written anywhere.
TEST_F(CheckCli, UsageErrorsWriteNothing) {
    const std::string file = dir_.Path("v.avi");
    fs::copy_file(SamplePath("kind10-xvid.avi"), file);
    const auto original = ReadFileBytes(file);
    const std::string journal = dir_.Path("journal.jsonl");
    const struct {
        const char* Arguments;
        const char* Says;
    } rows[] = {
        {"--check divx-toaster", "divx-handheld, divx-portable, divx-home-theater, divx-hd720"},
        {"--to auto", "--to auto needs --check"},
        {"--to auto --dry-run", "--to auto needs --check"},
        {"--check divx-hd720 --restore", "--check and --restore exclude each other"},
        {"--to auto --check DIVX-HD720", "unknown profile"},
        {"--list-profiles", "--list-profiles takes no files"},
    };
    std::string env = "VIDTAG_JOURNAL=";
    env.append(Quote(journal)).append(" ");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Arguments);
        const std::string err = dir_.Path("err.txt");
        const std::string arguments = std::string(row.Arguments) + " " + Quote(file);
        const Outcome run = Cli(arguments, err, env);
        const auto said = ReadFileBytes(err);
        const std::string text(said.begin(), said.end());
        EXPECT_EQ(run.Exit, 2);
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(text.find(row.Says), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_EQ(ReadFileBytes(file), original);
        EXPECT_FALSE(fs::exists(journal));
    }
    // A scratch profile folder without files: the built-in profiles alone.
    const std::string noUserFiles = "XDG_CONFIG_HOME=" + Quote(dir_.Path("config")) + " ";
    const std::vector<json> profiles =
        JsonLines(Cli("--list-profiles --json", "/dev/null", noUserFiles).Out);
    ASSERT_EQ(profiles.size(), 25u);
    EXPECT_EQ(profiles[2]["name"], "divx-home-theater");
    EXPECT_EQ(profiles[2]["max_macroblocks_per_second"], 40500);
    // The table's last column starts at the same character in every line, in either language.
    for (const char* lang : {"en", "ru"}) {
        std::istringstream table(
            Cli(std::string("--list-profiles --lang ") + lang, "/dev/null", noUserFiles).Out);
        std::set<std::size_t> starts;
        int lines = 0;
        for (std::string line; std::getline(table, line); ++lines) {
            const std::string before = line.substr(0, line.rfind("  ") + 2);
            starts.insert(static_cast<std::size_t>(std::count_if(
                before.begin(), before.end(), [](char c) { return (c & 0xC0) != 0x80; })));
        }
        EXPECT_EQ(lines, 26) << lang;
        EXPECT_EQ(starts.size(), 1u) << lang;
    }
}

} // namespace

namespace {

// The example profiles of docs/profiles, by path and from the user's folder; a wrong file is a
// usage error that names the file and the field and writes nothing.
TEST_F(CheckCli, ProfileFilesAndTheUserFolder) {
    const std::string docs = std::string(VIDTAG_SAMPLES_DIR) + "/../docs/profiles/";
    const std::string config = dir_.Path("config");
    fs::create_directories(config + "/vidtag/profiles");
    fs::copy_file(docs + "tv.json", config + "/vidtag/profiles/tv.json");
    const std::string env = "XDG_CONFIG_HOME=" + Quote(config) + " ";

    // The TV takes XVID first and no DivX 3; the phone any MPEG-4 label but no B-frames.
    const std::string phone = docs + "phone.json";
    const std::vector<std::string> kProfiles = {"tv", phone};
    const std::string v3 = "reencode family_unsupported";
    ExpectVerdicts(kProfiles,
                   {{"kind06-div3.avi", {v3, v3}},
                    {"kind13-3iv2.avi", {"retag label", "plays"}},
                    {"stream-xvid-packed.avi", {"plays", "reencode b_frames,packed"}}},
                   "", env);
    const json retag = json::parse(
        Cli("--json --check tv " + Quote(SamplePath("kind13-3iv2.avi")), "/dev/null", env)
            .Out)["check"];
    EXPECT_EQ(retag["profile"], "living-room-tv");
    EXPECT_EQ(retag["retag_to"], 10);

    const std::vector<json> listed = JsonLines(Cli("--list-profiles --json", "/dev/null", env).Out);
    ASSERT_EQ(listed.size(), 26u);
    EXPECT_EQ(listed.back()["origin"], "file");
    EXPECT_EQ(listed.back()["peak_bitrate"], 8000000);
    EXPECT_TRUE(listed.back()["avg_bitrate"].is_null());
    EXPECT_NE(Cli("--list-profiles", "/dev/null", env).Out.find(config), std::string::npos);

    const std::string file = dir_.Path("v.avi");
    fs::copy_file(SamplePath("kind10-xvid.avi"), file);
    const auto original = ReadFileBytes(file);
    const struct {
        const char* Json;
        const char* Says;
    } bad[] = {
        {R"({"name": "tv",})", "not valid JSON"},
        {R"({"max_bitrate": 8000000})", "field max_bitrate: unknown field"},
        {R"({"codes": ["XVID", "DX5"]})", "field codes[1]: \"DX5\" is not four characters"},
        {R"({"avg_bitrate": -1})", "field avg_bitrate: a negative number"},
        {R"({"sizes": [{"width": 720, "height": 576}]})", "field sizes[0].fps: missing"},
        {R"({"containers": ["mp4"]})", "field containers[0]"},
        {R"({"qpel": "no"})", "field qpel: not true or false"},
        {R"({"audio_codecs": ["mp3", "dts-hd"]})",
         "field audio_codecs[1]: \"dts-hd\" is not an audio codec"},
        {R"({"max_audio_channels": -2})", "field max_audio_channels: a negative number"},
        {R"({"audio_limits": [{"max_bitrate": 320000}]})", "field audio_limits[0].codec: missing"},
        {R"({"audio_limits": [{"codec": "aac", "max_sample_rate": 48000, "min_sample_rate": 96000}]})",
         "field audio_limits[0].min_sample_rate: above max_sample_rate"},
        {R"({"audio_limits": [{"codec": "mp3"}, {"codec": "mp3", "max_channels": 2}]})",
         "field audio_limits[1].codec: \"mp3\" has a row already"},
        {R"({"audio_limits": [{"codec": "mp3", "max_kbits": 320}]})",
         "field audio_limits[0].max_kbits: unknown field"},
        {R"({"max_audio_tracks": 1.5})", "field max_audio_tracks: not a whole number"},
        {R"({"audio_containers": ["mp4"]})", "field audio_containers[0]"},
        {R"({"max_file_size": "4 GB"})", "field max_file_size"},
        {R"({"matroska_codes": ["MP4"]})", "field matroska_codes[0]: \"MP4\" is not four"},
        {R"({"matroska_codec_ids": ["A_AAC"]})",
         "field matroska_codec_ids[0]: \"A_AAC\" is not a video CodecID"},
    };
    const std::string err = dir_.Path("err.txt");
    for (const auto& row : bad) {
        SCOPED_TRACE(row.Json);
        const std::string path = config + "/vidtag/profiles/bad.json";
        std::ofstream(path) << row.Json;
        for (const std::string& arguments :
             {"--to auto --check " + Quote(path) + " " + Quote(file), "--check bad " + Quote(file),
              std::string("--list-profiles")}) {
            const Outcome run = Cli(arguments, err, env);
            const auto said = ReadFileBytes(err);
            const std::string text(said.begin(), said.end());
            EXPECT_EQ(run.Exit, 2) << arguments;
            EXPECT_EQ(run.Out, "") << arguments;
            EXPECT_NE(text.find("profile file " + path), std::string::npos) << text;
            EXPECT_NE(text.find(row.Says), std::string::npos) << text;
        }
        EXPECT_EQ(ReadFileBytes(file), original);
    }
    fs::remove(config + "/vidtag/profiles/bad.json");
    EXPECT_EQ(Cli("--check phone " + Quote(file), "/dev/null", env).Exit, 2); // not in the folder
}

} // namespace

namespace {

// The devices of today, each against a few files libxvid and FFmpeg make.
TEST_F(CheckCli, DevicesOfToday) {
    const std::vector<std::string> kProfiles = {"samsung-tizen", "lg-webos", "ps3", "xbox-360",
                                                "android"};
    // Samsung's TVs want MP4V for any label of the family.
    const std::string plays = "plays", label = "retag label", v3 = "reencode family_unsupported";
    const std::vector<SampleRow> rows = {
        {"kind10-xvid.avi", {label, "retag label", plays, plays, plays}},
        {"stream-xvid-packed.avi",
         {label, "retag label", plays, plays, "reencode avg_bitrate,b_frames,packed"}},
        {"stream-xvid-qpel.avi",
         {label, "reencode label,qpel", plays, plays, "reencode avg_bitrate,qpel"}},
        {"stream-xvid-gmc.avi",
         {label, "reencode label,gmc", "reencode gmc", plays, "reencode avg_bitrate,gmc"}},
        {"stream-msmpeg4.avi", {v3, plays, plays, v3, v3 + ",avg_bitrate"}},
        {"stream-xvid-720p.avi",
         {label, "retag label", plays, plays,
          "reencode frame_macroblocks,macroblocks,avg_bitrate"}},
    };
    const std::string env = "XDG_CONFIG_HOME=" + Quote(dir_.Path("config")) + " ";
    ExpectVerdicts(kProfiles, rows, "", env);
    for (const json& profile : JsonLines(Cli("--list-profiles --json", "/dev/null", env).Out)) {
        if (profile["origin"] == "device") {
            EXPECT_FALSE(profile["source"].empty()) << profile["name"];
            EXPECT_TRUE(profile["notes"].is_string()) << profile["name"];
        }
    }
}

// A household's verdict: the worst of its players', problems named per player, and a retag
// only to a code all of them take; without one, --to auto leaves the file as it is.
TEST_F(CheckCli, OneVerdictForSeveralProfiles) {
    const std::string env = "XDG_CONFIG_HOME=" + Quote(dir_.Path("config")) + " ";
    const struct {
        const char* Profiles;
        const char* File;
        const char* Verdict;
        const char* FirstProblem; // "" for none
    } rows[] = {
        {"lg-webos,ps3", "kind10-xvid.avi", "retag label", "XviD is not a code"},
        {"lg-webos,ps3", "stream-xvid-gmc.avi", "reencode label,gmc,gmc", "lg-webos: XviD"},
        {"ps3,xbox-360", "kind13-3iv2.avi", "retag label", "3ivx is not a code"},
        {"lg-webos,samsung-tizen", "kind10-xvid.avi", "reencode no_common_code",
         "no one code plays on both: lg-webos wants DX50, samsung-tizen MP4V"},
        {"ps3,android", "kind10-xvid.avi", "plays", ""},
        // A lying label repaired for the household, or not at all.
        {"lg-webos,ps3", "check-mpeg4-div3.avi", "retag family", "the stream is MPEG-4 Part 2"},
        {"lg-webos,samsung-tizen", "check-mpeg4-div3.avi", "reencode family,no_common_code", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.Profiles) + " on " + row.File);
        const std::string file = Sample(row.File);
        if (file.empty()) {
            EXPECT_FALSE(made_);
            continue;
        }
        const json check = json::parse(
            Cli("--json --check " + std::string(row.Profiles) + " " + Quote(file), "/dev/null", env)
                .Out)["check"];
        EXPECT_EQ(check["profile"], row.Profiles);
        EXPECT_EQ(VerdictOf(check), row.Verdict);
        if (*row.FirstProblem != 0) {
            EXPECT_EQ(check["problems"][0]["text"].get<std::string>().rfind(row.FirstProblem, 0),
                      0u)
                << check["problems"][0]["text"];
        }
    }
    const json retag = json::parse(
        Cli("--json --check lg-webos,ps3 " + Quote(SamplePath("kind10-xvid.avi")), "/dev/null", env)
            .Out)["check"];
    EXPECT_EQ(retag["retag_to"], 12);

    const std::string copy = dir_.Path("x.avi");
    fs::copy_file(SamplePath("kind10-xvid.avi"), copy);
    const auto before = ReadFileBytes(copy);
    const std::string journal = "VIDTAG_JOURNAL=" + Quote(dir_.Path("journal.jsonl")) + " ";
    EXPECT_EQ(
        Cli("--to auto --check lg-webos,samsung-tizen " + Quote(copy), "/dev/null", env + journal)
            .Exit,
        1);
    EXPECT_EQ(ReadFileBytes(copy), before);
    EXPECT_EQ(Cli("--to auto --check lg-webos,ps3 " + Quote(copy), "/dev/null", env + journal).Exit,
              0);
    EXPECT_NE(ReadFileBytes(copy), before);
}

} // namespace

namespace {

// A Matroska track as the devices read it: a CodecID that names its codec is judged as that
// codec's label, a V_MS/VFW/FOURCC track by the codes the profile takes in Matroska. ffmpeg
// writes the native tracks, mkvmerge the VfW one; V_MPEG4/ISO/SP is ffmpeg's file with its
// CodecID rewritten. The remux the check prints for a CodecID Android drops makes it play.
TEST_F(CheckCli, MatroskaTracksAsDevicesReadThem) {
    if (std::system("ffmpeg -version >/dev/null 2>&1 && mkvmerge -V >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg or mkvmerge is not installed";
    }
    // A user's player that reads DIVX in a VfW track and only V_MPEG4/ISO/SP natively.
    const std::string user = dir_.Path("box.json");
    std::ofstream(user) << R"({"name": "box", "matroska_codes": ["DIVX"],
                               "matroska_codec_ids": ["V_MPEG4/ISO/SP"]})";
    const std::vector<std::string> profiles = {"android", "samsung-tizen", "divx-home-theater",
                                               "android,samsung-tizen", user};
    const struct {
        const char* Name;
        const char* Source;
        const char* Make; // "ffmpeg", "mkvmerge" or "sp"
        std::vector<std::string> Verdicts;
    } rows[] = {
        {"asp.mkv",
         "kind10-xvid.avi",
         "ffmpeg",
         {"plays", "plays", "remux container", "plays", "remux codec_id"}},
        {"sp.mkv",
         "kind10-xvid.avi",
         "sp",
         {"remux codec_id", "plays", "remux container", "remux codec_id", "plays"}},
        {"vfw.mkv",
         "kind10-xvid.avi",
         "mkvmerge",
         {"retag label", "retag label", "remux label,container", "retag label", "retag label"}},
        {"v3.mkv",
         "stream-msmpeg4.avi",
         "ffmpeg",
         {"reencode family_unsupported,avg_bitrate", "reencode family_unsupported",
          "remux container", "reencode family_unsupported,avg_bitrate,family_unsupported",
          "reencode family_unsupported"}},
    };
    const std::string env = "XDG_CONFIG_HOME=" + Quote(dir_.Path("config")) + " ";
    int remuxed = 0;
    for (const auto& row : rows) {
        const std::string source = Sample(row.Source);
        if (source.empty()) {
            EXPECT_FALSE(made_) << row.Source;
            continue;
        }
        const std::string file = dir_.Path(row.Name);
        const std::string make =
            row.Make == std::string("mkvmerge")
                ? "mkvmerge -q -o " + Quote(file) + " " + Quote(source)
                : "ffmpeg -v error -i " + Quote(source) + " -c copy " + Quote(file);
        ASSERT_EQ(vidtag::test::RunCommand(make + " 2>&1").Exit, 0) << make;
        if (row.Make == std::string("sp")) {
            auto bytes = ReadFileBytes(file);
            std::string text(bytes.begin(), bytes.end());
            const std::size_t at = text.find("V_MPEG4/ISO/ASP");
            ASSERT_NE(at, std::string::npos);
            text.replace(at, 15, std::string("V_MPEG4/ISO/SP\0", 15));
            std::ofstream(file, std::ios::binary) << text;
        }
        for (std::size_t p = 0; p < profiles.size(); ++p) {
            SCOPED_TRACE(std::string(row.Name) + " on " + profiles[p]);
            const Outcome run =
                Cli("--json --check " + Quote(profiles[p]) + " " + Quote(file), "/dev/null", env);
            const json check = json::parse(run.Out)["check"];
            EXPECT_EQ(VerdictOf(check), row.Verdicts[p]);
            EXPECT_EQ(run.Exit, row.Verdicts[p] == "plays" ? 0 : 1);
            for (const json& note : check["notes"]) {
                const std::string remux = note.get<std::string>();
                if (profiles[p] != "android" || remux.rfind("remux: ", 0) != 0) {
                    continue;
                }
                ASSERT_EQ(vidtag::test::RunCommand("cd " + Quote(dir_.Root()) + " && " +
                                                   remux.substr(7) + " -loglevel error 2>&1")
                              .Exit,
                          0)
                    << remux;
                const json after =
                    json::parse(Cli("--json --check android " + Quote(dir_.Path("sp.fixed.mkv")),
                                    "/dev/null", env)
                                    .Out)["check"];
                EXPECT_EQ(after["verdict"], "plays") << remux;
                ++remuxed;
            }
        }
    }
    EXPECT_EQ(remuxed, made_ ? 1 : remuxed);
}

// The label a Samsung TV wants, written in both fields, recognised again without options,
// retagged onward and restored to the exact original bytes.
// In an AVI file and in a Matroska track (where Samsung's TVs take the file as it is), MP4V is
// written, recognised again, retagged onward where the container allows, and restored exactly.
TEST_F(CheckCli, Mp4vRoundTrip) {
    const std::string env = "XDG_CONFIG_HOME=" + Quote(dir_.Path("config")) +
                            " VIDTAG_JOURNAL=" + Quote(dir_.Path("journal.jsonl")) + " ";
    for (const bool matroska : {false, true}) {
        SCOPED_TRACE(matroska ? "mkv" : "avi");
        const std::string file = dir_.Path(matroska ? "x.mkv" : "x.avi");
        if (!matroska) {
            fs::copy_file(SamplePath("kind10-xvid.avi"), file);
        } else if (std::system(("mkvmerge -q -o " + Quote(file) + " " +
                                Quote(SamplePath("kind10-xvid.avi")) + " >/dev/null 2>&1")
                                   .c_str()) != 0) {
            continue; // no mkvmerge here
        }
        const auto original = ReadFileBytes(file);
        const json wrote = json::parse(
            Cli("--json --to auto --check samsung-tizen " + Quote(file), "/dev/null", env).Out);
        EXPECT_EQ(wrote["converted"], true);
        EXPECT_EQ(wrote["kind"], 16);
        const json again = json::parse(Cli("--json " + Quote(file), "/dev/null", env).Out);
        EXPECT_EQ(again["kind_name"], "MPEG-4 Visual (MP4V)");
        EXPECT_EQ(again["handler"], matroska ? json(nullptr) : json("MP4V"));
        EXPECT_EQ(again["compression"], "MP4V");
        EXPECT_EQ(Cli("--check samsung-tizen " + Quote(file), "/dev/null", env).Exit, 0);
        // LG's TVs take AVI files only: a Matroska file needs a remux, not a retag.
        EXPECT_EQ(Cli("--to auto --check lg-webos " + Quote(file), "/dev/null", env).Exit,
                  matroska ? 1 : 0);
        EXPECT_EQ(json::parse(Cli("--json " + Quote(file), "/dev/null", env).Out)["kind"],
                  matroska ? 16 : 12);
        EXPECT_EQ(Cli("--restore " + Quote(file), "/dev/null", env).Exit, 0);
        EXPECT_EQ(ReadFileBytes(file), original);
    }
}

// Each lying label against the stream's own family, and the codes only --relaxed knows: what the
// analysis offers, the repair, the exact restore, and ffmpeg, which picks its decoder by the
// code, as the judge: it decodes the repaired file without an error, the lying one with some.
TEST_F(CheckCli, RepairsALyingLabelAndRestoresTheLie) {
    const std::string env = "VIDTAG_JOURNAL=" + Quote(dir_.Path("journal.jsonl")) + " ";
    const std::string home = " --check divx-home-theater ";
    const struct {
        const char* File;
        const char* Repairs; // the repair targets, "-" for no repair line, "" for none offered
        const char* Write;   // the options that write, and the kind they write
        int Kind;            // 0: the write is refused
        bool Oracle;         // ffmpeg can decode the stream (V1 frames are written by no encoder)
    } rows[] = {
        {"check-mpeg4-div3.avi", "XviD,DivX 4,DivX 5,3ivx", "--to XviD", 10, true},
        {"check-mpeg4-upper-div3.avi", "XviD,DivX 4,DivX 5,3ivx",
         "--relaxed --to auto --check divx-home-theater", 12, true},
        {"stream-msmpeg4-as-xvid.avi",
         "Microsoft MPEG4 V3,DivX V3 Low,DivX V3 Fast,Angel Potion V1",
         "--to auto --check divx-home-theater", 6, true},
        // A padded V2 trailer reads as well as a V3 one: V2 or V3, no repair, nothing written.
        {"check-v2-xvid.avi", "", "--to 'DivX V2'", 0, true},
        {"check-v1-dx50.avi", "Microsoft MPEG4 V1,DivX V1", "--to 'DivX V1'", 4, false},
        {"check-upper-mp43.avi", "-", "--relaxed --to auto --check divx-home-theater", 6, false},
    };
    const auto errors = [](const std::string& file) {
        return vidtag::test::RunCommand("ffmpeg -v error -i " + Quote(file) + " -f null - 2>&1")
            .Out;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.File);
        const std::string sample = Sample(row.File);
        if (sample.empty()) {
            EXPECT_FALSE(made_);
            continue;
        }
        const std::string file = dir_.Path(row.File);
        fs::copy_file(sample, file, fs::copy_options::overwrite_existing);
        const auto lie = ReadFileBytes(file);
        const json found = json::parse(Cli("--json " + Quote(file), "/dev/null", env).Out);
        std::string names = found.contains("repair_targets") ? "" : "-";
        for (const json& name : found.value("repair_targets", json::array())) {
            names += (names.empty() ? "" : ",") + name.get<std::string>();
        }
        EXPECT_EQ(names, row.Repairs);
        // Nothing is written to codes only --relaxed knows without it.
        if (found["kind"] == 14) {
            const Outcome refused = Cli("--json --to auto" + home + Quote(file), "/dev/null", env);
            EXPECT_EQ(refused.Exit, 1);
            EXPECT_NE(json::parse(refused.Out)["check"]["retag_to"], nullptr);
            EXPECT_EQ(ReadFileBytes(file), lie);
        }
        if (row.Kind == 0) {
            EXPECT_EQ(Cli(std::string(row.Write) + " " + Quote(file), "/dev/null", env).Exit, 1);
            EXPECT_EQ(ReadFileBytes(file), lie);
            continue;
        }
        EXPECT_EQ(Cli(std::string(row.Write) + " " + Quote(file), "/dev/null", env).Exit, 0);
        EXPECT_EQ(json::parse(Cli("--json " + Quote(file), "/dev/null", env).Out)["kind"],
                  row.Kind);
        if (row.Oracle) {
            EXPECT_NE(errors(sample), "");
            EXPECT_EQ(errors(file), "");
        }
        EXPECT_EQ(Cli("--restore " + Quote(file), "/dev/null", env).Exit, 0);
        EXPECT_EQ(ReadFileBytes(file), lie);
    }
    // DIV3 in both fields is what a DivX player reads as DivX 3: it plays as it is, and the
    // check succeeds, though the default rule does not know the codes.
    const std::string div3 = Sample("check-upper-div3.avi");
    if (!div3.empty()) {
        const Outcome run = Cli("--json" + home + Quote(div3), "/dev/null", env);
        EXPECT_EQ(json::parse(run.Out)["check"]["verdict"], "plays");
        EXPECT_EQ(run.Exit, 0);
        EXPECT_EQ(Cli(Quote(div3), "/dev/null", env).Exit, 1);
    }
}

} // namespace
