// The stream facts vidtag-cli reports, beside what FFmpeg's own decoder prints about the same
// files (ffmpeg -debug pict) and what ffprobe says. The files are made at test time by
// samples/make-stream-samples; without ffmpeg the test is skipped.
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;
using vidtag::test::TempDir;

const auto Quoted = vidtag::test::ShellQuote;

std::string Output(const std::string& command) {
    return vidtag::test::RunCommand(command).Out;
}

// What FFmpeg says about the first frames of a file, which it copies into a file of their own
// so that its decoder sees the chunks ours read. The decoder prints one line per coded VOP and
// "vop not coded" for each N-VOP, in coded order; the probe's lines before "Stream mapping:" are
// not counted, nor the first VOP again when the decoder starts over on learning the encoder (its
// VOL line comes again in between). In packed streams it decodes the stored B-VOP in place of
// the placeholder and prints nothing for it: their N-VOPs are not compared.
struct FfmpegView {
    json Vops = {{"I", 0}, {"P", 0}, {"B", 0}, {"S", 0}, {"N", 0}};
    unsigned MaxBRun = 0;
    bool PackedWarning = false;
    bool Qpel = false, Partitioned = false, Resync = false, Progressive = false, Volc = false;
    int WarpPoints = 0, ObjectType = 0;
    bool LowDelay = false, Rvlc = false; // from its VOL line
    json Probe;                          // ffprobe's stream
};

FfmpegView Ask(const std::string& file, unsigned frames, const std::string& copy) {
    FfmpegView view;
    const std::string quoted = Quoted(file);
    const std::string first = Quoted(copy);
    Output("ffmpeg -v error -y -i " + quoted + " -c copy -frames:v " + std::to_string(frames) +
           " " + first + " 2>/dev/null");
    std::istringstream log(Output("ffmpeg -hide_banner -nostats -debug pict -threads 1 -i " +
                                  first + " -f null - 2>&1"));
    const std::regex vop(
        R"(\] qp:\d+ fc:\S+ ([IPBS]) size:\d+ pro:(\d) alt:\d top:\d )"
        R"((qpel|hpel) part:(\d) resync:(\d) w:(\d+) a:\d+ rnd:\d vot:(\d+) (VOLC)?)");
    const std::regex vol(R"(tb \d+/\d+, tincrbits:\d+, qp_prec:\d+, ps:\d, low_delay:(\d) (.*))");
    bool decoding = false, volSeen = false, volAgain = false;
    unsigned bRun = 0;
    std::string lastVop;
    std::smatch m;
    for (std::string line; std::getline(log, line);) {
        view.PackedWarning |= line.find("'packed B-frames'") != std::string::npos;
        decoding |= line.rfind("Stream mapping:", 0) == 0;
        if (std::regex_search(line, m, vol)) {
            volAgain = true;
            if (!volSeen) {
                volSeen = true;
                view.LowDelay = m[1] == "1";
                view.Rvlc = m[2].str().find("rvlc") != std::string::npos;
            }
        }
        if (!decoding) {
            continue;
        }
        if (line.find("[mpeg4 @") != std::string::npos &&
            line.find("vop not coded") != std::string::npos) {
            view.Vops["N"] = view.Vops["N"].get<int>() + 1;
        } else if (std::regex_search(line, m, vop)) {
            const bool retried = volAgain && m.str() == lastVop;
            lastVop = m.str();
            volAgain = false;
            if (retried) {
                continue;
            }
            const std::string type = m[1];
            view.Vops[type] = view.Vops[type].get<int>() + 1;
            bRun = type == "B" ? bRun + 1 : 0;
            view.MaxBRun = std::max(view.MaxBRun, bRun);
            view.Progressive = m[2] == "1";
            view.Qpel = m[3] == "qpel";
            view.Partitioned = m[4] == "1";
            view.Resync = m[5] == "1";
            view.WarpPoints = std::stoi(m[6]);
            view.ObjectType = std::stoi(m[7]);
            view.Volc = m[8].matched;
        }
    }
    view.Probe = json::parse(Output("ffprobe -v error -select_streams v:0 -show_streams -of json " +
                                    quoted + " 2>/dev/null"))["streams"][0];
    return view;
}

double Ratio(const std::string& fraction) {
    const auto slash = fraction.find('/');
    return std::stod(fraction.substr(0, slash)) / std::stod(fraction.substr(slash + 1));
}

class StreamOracle : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
            return;
        }
        dir_ = new TempDir;
        // ctest makes the streams once for the whole run (make-test-streams); a suite run
        // alone makes its own. The tests write their own files in dir_ either way.
        const std::string shared = VIDTAG_TEST_STREAMS;
        if (std::ifstream stamp(shared + "/made"); stamp) {
            char said = '0';
            stamp >> said;
            if (said == '1') {
                made_ = true;
                root_ = shared;
                return;
            }
        }
        root_ = dir_->Root();
        const std::string script = std::string(VIDTAG_SAMPLES_DIR) + "/make-stream-samples";
        made_ = std::system((Quoted(script) + " " + Quoted(root_)).c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static json Report(const std::string& file) {
        const std::string out =
            Output(Quoted(VIDTAG_CLI_PATH) + " --json " + Quoted(file) + " 2>/dev/null");
        return json::parse(out)["stream"];
    }

    static inline TempDir* dir_ = nullptr;
    static inline std::string root_;
    static inline bool made_ = false;
};

struct Row {
    const char* File;
    const char* Syntax;  // from the codec that wrote it
    bool FamilyMismatch; // whether that codec is outside the label's family
    bool MpegQuant;      // what the encoder was asked for; FFmpeg prints no such thing
};

TEST_F(StreamOracle, EveryFieldIsWhatFfmpegSays) {
    if (dir_ == nullptr) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    ASSERT_TRUE(made_);
    const Row rows[] = {
        {"stream-xvid-packed", "mpeg4", false, false},
        {"stream-xvid-qpel", "mpeg4", false, false},
        {"stream-xvid-gmc", "mpeg4", false, false},
        {"stream-xvid-mpegquant", "mpeg4", false, true},
        {"stream-mpeg4-bf", "mpeg4", false, false},
        {"stream-mpeg4-interlaced", "mpeg4", false, false},
        {"stream-mpeg4-partitioned", "mpeg4", false, false},
        {"stream-vlc-remux", "mpeg4", false, false},
        {"stream-msmpeg4v2", "msmpeg4", false, false},
        {"stream-msmpeg4", "msmpeg4", false, false},
        {"stream-msmpeg4-as-xvid", "msmpeg4", true, false},
    };
    for (const Row& row : rows) {
        std::string file = root_ + "/" + row.File + ".avi";
        if (!std::filesystem::exists(file) && std::string(row.File) == "stream-vlc-remux") {
            file = std::string(VIDTAG_SAMPLES_DIR) + "/stream-vlc-remux.avi"; // no VLC here
        }
        if (!std::filesystem::exists(file)) {
            ADD_FAILURE() << row.File << " was not made";
            continue;
        }
        SCOPED_TRACE(row.File);
        const json ours = Report(file);
        const bool mpeg4 = std::string(row.Syntax) == "mpeg4";
        const FfmpegView ffmpeg = Ask(file, ours["frames_read"], dir_->Path("first.avi"));
        EXPECT_EQ(ours["syntax"], row.Syntax);
        EXPECT_EQ(ours["family_mismatch"], row.FamilyMismatch);
        EXPECT_EQ(ours["frames_read"], 32);
        EXPECT_EQ(ours["width"], ffmpeg.Probe["width"]);
        EXPECT_EQ(ours["height"], ffmpeg.Probe["height"]);
        EXPECT_NEAR(ours["fps"].get<double>(), Ratio(ffmpeg.Probe["avg_frame_rate"]), 1e-6);
        EXPECT_EQ(std::to_string(ours["frames"].get<int>()), ffmpeg.Probe["nb_frames"]);
        if (!mpeg4) {
            EXPECT_EQ(ours.size(), 8u) << ours.dump();
            continue;
        }
        EXPECT_EQ(ours["profile_level"].get<int>() & 15, ffmpeg.Probe["level"]);
        EXPECT_EQ(ours["object_type"], ffmpeg.ObjectType);
        EXPECT_EQ(ours["interlaced"], !ffmpeg.Progressive);
        EXPECT_EQ(ours["qpel"], ffmpeg.Qpel);
        EXPECT_EQ(ours["sprite"] == "gmc", ffmpeg.Vops["S"] > 0);
        EXPECT_EQ(ours["warp_points"].is_null() ? 0 : ours["warp_points"].get<int>(),
                  ffmpeg.WarpPoints);
        EXPECT_EQ(ours["mpeg_quant"], row.MpegQuant);
        EXPECT_EQ(ours["data_partitioned"], ffmpeg.Partitioned);
        EXPECT_EQ(ours["rvlc"], ffmpeg.Rvlc);
        EXPECT_EQ(ours["resync_markers"], ffmpeg.Resync);
        EXPECT_EQ(!ours["low_delay"].is_null(), ffmpeg.Volc);
        if (ffmpeg.Volc) {
            EXPECT_EQ(ours["low_delay"], ffmpeg.LowDelay);
        }
        json vops = ours["vops"];
        if (ffmpeg.PackedWarning) {
            vops["N"] = 0;
            // The B-VOP stored behind the last chunk's P-VOP waits for a chunk that never comes.
            const int unseen = vops["B"].get<int>() - ffmpeg.Vops["B"].get<int>();
            EXPECT_TRUE(unseen == 0 || unseen == 1) << unseen;
            vops["B"] = ffmpeg.Vops["B"];
        }
        EXPECT_EQ(vops, ffmpeg.Vops);
        EXPECT_EQ(ours["max_b_run"], ffmpeg.MaxBRun);
        EXPECT_EQ(ours["packed"], ffmpeg.PackedWarning);
        EXPECT_FALSE(ours["vol_damaged"].get<bool>());
    }
}

// V2 and V3 of several sizes, rates and bitrates: the versions read from the first intra picture
// hold the one FFmpeg's forced decoder takes without an error, never the other alone. A padded V2
// trailer reads as well as a V3 one whose rounding bit is 0: V2 stays mostly undecided.
TEST_F(StreamOracle, MicrosoftVersionsHoldTheOneFfmpegDecodes) {
    if (dir_ == nullptr) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const char* sizes[] = {"176x144", "320x240", "640x480"};
    const char* rates[] = {"15", "25", "30000/1001", "30", "24000/1001", "60"};
    const char* bitrates[] = {"64k", "800k", "3000k"};
    const std::string file = dir_->Path("ms.avi");
    const auto errors = [&](int version) {
        return Output("ffmpeg -v error -c:v msmpeg4v" + std::to_string(version) + " -i " +
                      Quoted(file) + " -f null - 2>&1");
    };
    int decided[4] = {};
    for (const int version : {2, 3}) {
        for (int i = 0; i < 6; ++i) {
            const std::string make =
                "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::string(sizes[i % 3]) +
                ":rate=" + rates[i] + " -frames:v 24 -c:v msmpeg4v" + std::to_string(version) +
                " -b:v " + bitrates[i / 2] + " " + Quoted(file);
            SCOPED_TRACE(make);
            ASSERT_EQ(std::system(make.c_str()), 0);
            const json versions = Report(file)["ms_versions"];
            EXPECT_EQ(errors(version), "");
            EXPECT_NE(errors(5 - version), "");
            EXPECT_EQ(std::count(versions.begin(), versions.end(), version), 1) << versions;
            decided[version] += versions.size() == 1 ? 1 : 0;
        }
    }
    std::printf("one version named: V2 %d of 6, V3 %d of 6\n", decided[2], decided[3]);
    EXPECT_GE(decided[3], 3);
}

} // namespace
