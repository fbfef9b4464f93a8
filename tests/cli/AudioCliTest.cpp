// Every audio track of a file, as vidtag-cli shows it: files ffmpeg muxes into AVI and mkvmerge
// remuxes into Matroska at test time, with ffprobe as the oracle for each track's facts.
#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using nlohmann::json;
using vidtag::test::RunCommand;
using vidtag::test::TempDir;
const auto Quote = vidtag::test::ShellQuote;

struct AudioRow {
    const char* Name;
    const char* Encode; // ffmpeg's audio options; a second "|" part makes a second track
    bool Matroska;      // remuxed by mkvmerge
    std::vector<const char*> Lines;
    // "audio" or "video": that input starts half a second late, so ffmpeg writes the other's
    // first half second before it; in AVI the audio still plays from the start.
    std::string Late = "";
};

const AudioRow kRows[] = {
    {"mp3", "-c:a libmp3lame -ac 2 -b:a 192k", false, {"  audio: MP3 stereo, 48 kHz, 192 kbit/s"}},
    {"ac3_dts",
     "-c:a:0 ac3 -ac 6 -b:a:0 640k|-c:a:1 dca -strict -2",
     false,
     {"  audio: AC-3 5.1, 48 kHz, 640 kbit/s", "  audio: DTS 5.1, 48 kHz, 1411 kbit/s"}},
    {"wma", "-c:a wmav2 -ac 2", false, {}},
    {"pcm", "-c:a pcm_s16le -ac 2", false, {"  audio: PCM stereo, 48 kHz, 1536 kbit/s"}},
    {"mkv_ac3", "-c:a ac3 -ac 6 -b:a 448k", true, {"  audio: AC-3 5.1, 48 kHz, 448 kbit/s"}},
    {"mkv_mp3_dts",
     "-c:a:0 libmp3lame -ac 2 -b:a:0 128k|-c:a:1 dca -strict -2",
     true,
     {"  audio: MP3 stereo, 48 kHz, 128 kbit/s", "  audio: DTS stereo, 48 kHz, 1411 kbit/s"}},
    {"mkv_aac", "-c:a aac -ac 2", true, {}},
    {"pcm_late",
     "-c:a pcm_s16le -ac 2",
     false,
     {"  interleave: audio up to 0 ms ahead of video, video up to 539 ms ahead of audio"},
     "audio"},
    {"pcm_early", "-c:a pcm_s16le -ac 2", false, {}, "video"},
};

void PrintTo(const AudioRow& row, std::ostream* out) {
    *out << row.Name;
}

bool ToolsPresent() {
    return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1 "
                       "&& command -v mkvmerge >/dev/null 2>&1") == 0;
}

// "-map 0:v -map 1:a [-map 1:a]" and the options, one or two audio tracks of one sine.
std::string MakeFile(const AudioRow& row, const std::string& dir) {
    std::string encode = row.Encode;
    std::string maps = "-map 0:v -map 1:a";
    if (const std::size_t bar = encode.find('|'); bar != std::string::npos) {
        encode[bar] = ' ';
        maps += " -map 1:a";
    }
    const std::string avi = dir + "/" + row.Name + ".avi";
    const auto late = [&row](const char* input) {
        return row.Late == input ? " -itsoffset 0.5" : "";
    };
    RunCommand(std::string("ffmpeg -v error -y") + late("video") +
               " -f lavfi -i testsrc=s=320x240:d=1" + late("audio") +
               " -f lavfi -i sine=d=1:r=48000 " + maps + " -c:v mpeg4 -vtag XVID " + encode + " " +
               Quote(avi) + " 2>&1");
    if (!row.Matroska) {
        return avi;
    }
    const std::string mkv = dir + "/" + row.Name + ".mkv";
    RunCommand("mkvmerge -q -o " + Quote(mkv) + " " + Quote(avi));
    return mkv;
}

// ffprobe's codec name as the JSON names codecs.
std::string CodecOf(const std::string& ffprobe) {
    for (const char* prefix : {"pcm_", "adpcm_", "wmav"}) {
        if (ffprobe.rfind(prefix, 0) == 0) {
            return prefix[0] == 'w' ? "wma" : std::string(prefix, std::string(prefix).size() - 1);
        }
    }
    return ffprobe;
}

// The leads of the first audio track and the video as ffprobe's packets show them in file order:
// at each video packet, how far the audio delivered ends past its start, and the other way round.
// Absent when ffprobe times no packet of either.
std::optional<std::pair<long, long>> LeadsOfPackets(const std::string& file) {
    std::vector<std::tuple<long long, int, double, double>> packets; // pos, video 0, start, end
    for (const int stream : {0, 1}) {
        std::istringstream lines(RunCommand("ffprobe -v error -select_streams " +
                                            std::string(stream == 0 ? "v:0" : "a:0") +
                                            " -show_entries packet=pts_time,duration_time,pos "
                                            "-of csv=p=0 " +
                                            Quote(file))
                                     .Out);
        double start = 0, duration = 0;
        long long pos = 0;
        char comma = 0;
        while (lines >> start >> comma >> duration >> comma >> pos) {
            packets.emplace_back(pos, stream, start, start + duration);
        }
    }
    std::sort(packets.begin(), packets.end());
    std::optional<double> end[2];
    double lead[2] = {0, 0}; // of the audio at video packets, of the video at audio packets
    for (const auto& [pos, stream, start, stop] : packets) {
        lead[stream] = std::max(lead[stream], end[1 - stream].value_or(start) - start);
        end[stream] = stop;
    }
    if (!end[0] || !end[1]) {
        return std::nullopt;
    }
    return std::pair{std::lround(lead[0] * 1000), std::lround(lead[1] * 1000)};
}

class AudioCli : public ::testing::TestWithParam<AudioRow> {};

TEST_P(AudioCli, EveryTrackAgreesWithFfprobe) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "ffmpeg, ffprobe or mkvmerge is not installed";
    }
    const AudioRow& row = GetParam();
    TempDir dir;
    const std::string file = MakeFile(row, dir.Root());
    const std::string env = "VIDTAG_JOURNAL=" + Quote(dir.Path("j.jsonl")) + " ";
    const json probe = json::parse(RunCommand("ffprobe -v error -select_streams a -show_entries "
                                              "stream=codec_name,channels,sample_rate -of json " +
                                              Quote(file))
                                       .Out);
    const std::string check = " --check xbox-360 ";
    const json line = json::parse(
        RunCommand(env + Quote(VIDTAG_CLI_PATH) + " --json" + check + Quote(file) + " 2>/dev/null")
            .Out);
    const json& audio = line["audio"];
    ASSERT_EQ(audio.size(), probe["streams"].size()) << line.dump();
    for (std::size_t i = 0; i < audio.size(); ++i) {
        const json& oracle = probe["streams"][i];
        EXPECT_EQ(audio[i]["codec"], CodecOf(oracle["codec_name"])) << i;
        EXPECT_EQ(audio[i]["channels"], oracle["channels"]) << i;
        EXPECT_EQ(std::to_string(audio[i]["sample_rate"].get<int>()),
                  oracle["sample_rate"].get<std::string>())
            << i;
        EXPECT_EQ(audio[i].contains("codec_id"), row.Matroska) << i;
    }
    // An AVI file's index and extent; the same file cut in half has neither index nor end.
    if (!row.Matroska) {
        const json& facts = line["file"];
        EXPECT_EQ(facts["audio_tracks"], probe["streams"].size());
        EXPECT_TRUE(facts["idx1"].get<bool>() && !facts["cut_short"].get<bool>()) << facts;
        // A normal ffmpeg file leads by a frame or two; a late input's other stream by half a
        // second. ffprobe times no WMA packet.
        const long audioLead = facts["interleave"].value("audio_lead_ms", -1L);
        const long videoLead = facts["interleave"].value("video_lead_ms", -1L);
        EXPECT_EQ(audioLead >= 450, row.Late == "video") << facts;
        EXPECT_EQ(videoLead >= 450, row.Late == "audio") << facts;
        const auto oracle = LeadsOfPackets(file);
        ASSERT_EQ(oracle.has_value(), row.Name != std::string("wma"));
        EXPECT_NEAR(audioLead, oracle.value_or(std::pair{audioLead, 0L}).first, 1);
        EXPECT_NEAR(videoLead, oracle.value_or(std::pair{0L, videoLead}).second, 1);
        const std::string cut = dir.Path("cut.avi");
        RunCommand("head -c " + std::to_string(std::filesystem::file_size(file) / 2) + " " +
                   Quote(file) + " > " + Quote(cut));
        const json half = json::parse(
            RunCommand(env + Quote(VIDTAG_CLI_PATH) + " --json " + Quote(cut) + " 2>/dev/null")
                .Out)["file"];
        EXPECT_TRUE(!half["idx1"].get<bool>() && half["cut_short"].get<bool>()) << half;
    }
    const std::string text =
        RunCommand(env + Quote(VIDTAG_CLI_PATH) + check + Quote(file) + " 2>&1").Out;
    for (const char* expected : row.Lines) {
        EXPECT_NE(text.find(std::string(expected) + "\n"), std::string::npos) << text;
    }
}

// --to auto --check on a copy of the file: a file whose only problems are labels converts (or
// stays, when it plays as it is); one that needs any other work is left as it was, with exit 1,
// the verdict --check gave, and a command that names the copy wherever --check gave one.
void ExpectAutoFollowsCheck(const std::string& file, const std::string& profile, const json& check,
                            const std::string& env, const TempDir& dir) {
    const std::string copy = dir.Path("auto" + std::filesystem::path(file).extension().string());
    std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
    const std::string run = env + Quote(VIDTAG_CLI_PATH) + " --to auto --check " + Quote(profile);
    const auto result = RunCommand(run + " --json " + Quote(copy) + " 2>/dev/null");
    const json line = json::parse(result.Out);
    const std::string verdict = check["verdict"];
    const bool labelsOnly = verdict == "plays" || verdict == "retag";
    EXPECT_EQ(result.Exit, labelsOnly ? 0 : 1) << result.Out;
    EXPECT_EQ(line["converted"], verdict == "retag") << result.Out;
    EXPECT_EQ(line["check"]["verdict"], verdict) << result.Out;
    if (labelsOnly) {
        return;
    }
    EXPECT_EQ(vidtag::test::ReadFileBytes(copy), vidtag::test::ReadFileBytes(file))
        << "not written";
    ASSERT_EQ(line["check"].contains("command"), check.contains("command")) << result.Out;
    if (check.contains("command")) {
        const std::string name = std::filesystem::path(copy).filename().string();
        EXPECT_NE(line["check"]["command"].get<std::string>().find(name), std::string::npos);
        EXPECT_NE(RunCommand(run + " " + Quote(copy) + " 2>&1").Out.find("\n  fix: "),
                  std::string::npos);
    }
}

// The verdict and problem ids of each file on the profiles that judge audio, the file's size or
// its index, with users' profile files of the same fields beside them (one with limits per codec
// and on the number of tracks); a cut file is the first half of the one ffmpeg made. --to auto
// --check follows each verdict.
TEST(AudioVerdicts, TheTracksTheSizeAndTheIndexDecide) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "ffmpeg, ffprobe or mkvmerge is not installed";
    }
    TempDir dir;
    const std::string user = dir.Path("stereo.json");
    std::ofstream(user) << R"({"name": "stereo-box", "audio_codecs": ["mp3", "ac3"],
                               "max_audio_channels": 2, "max_file_size": 40000,
                               "needs_index": true})";
    const std::string box = dir.Path("box.json");
    std::ofstream(box) << R"({"audio_codecs": ["mp3", "ac3"], "max_audio_tracks": 1,
                              "audio_limits": [{"codec": "mp3", "max_sample_rate": 44100,
                                                "max_bitrate": 128000},
                                               {"codec": "ac3", "max_bitrate": 384000}]})";
    const std::string profiles[] = {"samsung-tizen", "xbox-360", "divx-handheld", user, box};
    const struct {
        AudioRow File;
        std::vector<std::string> Verdicts; // per profile: the verdict, then the problem ids
        const char* Damage = "";     // "cut": its first half; "unflagged": AVIF_HASINDEX cleared
        const char* After = "plays"; // once its fix command has run
        std::size_t FixOn = 0;       // the profile whose command runs, and judges the result
    } rows[] = {
        {kRows[0],
         {"retag label", "plays", "reencode label,size,fps,macroblocks", "split file_size",
          "reencode_audio audio_rate,audio_bitrate"},
         "",
         "plays",
         4},
        {kRows[1],
         {"reencode_audio label,audio_codec", "reencode_audio audio_codec",
          "reencode label,size,fps,macroblocks,audio_codec,audio_codec",
          "split audio_channels,audio_codec,file_size",
          "reencode_audio audio_bitrate,audio_tracks"}},
        {kRows[5],
         {"reencode_audio label,audio_codec", "reencode_audio container,audio_codec",
          "reencode label,size,fps,macroblocks,container,audio_codec",
          "split audio_codec,file_size", "reencode_audio audio_rate,audio_tracks"}},
        {kRows[0],
         {"rebuild_index label,index", "unknown", "reencode label,size,fps,macroblocks",
          "split file_size,index", "unknown audio_rate,audio_bitrate"},
         "cut",
         "retag"},
        {kRows[0],
         {"rebuild_index label,index", "plays", "reencode label,size,fps,macroblocks",
          "split file_size,index", "reencode_audio audio_rate,audio_bitrate"},
         "unflagged",
         "retag"},
    };
    const std::string env = "VIDTAG_JOURNAL=" + Quote(dir.Path("j.jsonl")) + " ";
    for (const auto& row : rows) {
        std::string file = MakeFile(row.File, dir.Root());
        if (row.Damage == std::string("cut")) {
            const std::string cut = dir.Path("cut.avi");
            RunCommand("head -c " + std::to_string(std::filesystem::file_size(file) / 2) + " " +
                       Quote(file) + " > " + Quote(cut));
            file = cut;
        } else if (row.Damage == std::string("unflagged")) {
            std::fstream avi(file, std::ios::in | std::ios::out | std::ios::binary);
            std::string bytes(1024, '\0');
            avi.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            const std::size_t flags = bytes.find("avih") + 8 + 12;
            avi.seekp(static_cast<std::streamoff>(flags));
            avi.put(static_cast<char>(bytes[flags] & ~0x10));
        }
        std::string command;
        for (std::size_t i = 0; i < std::size(profiles); ++i) {
            SCOPED_TRACE(file + " on " + profiles[i]);
            const json check =
                json::parse(RunCommand(env + Quote(VIDTAG_CLI_PATH) + " --json --check " +
                                       Quote(profiles[i]) + " " + Quote(file) + " 2>/dev/null")
                                .Out)["check"];
            std::string got = check["verdict"];
            for (std::size_t p = 0; p < check["problems"].size(); ++p) {
                got.append(p == 0 ? " " : ",");
                got.append(check["problems"][p]["id"].get<std::string>());
            }
            EXPECT_EQ(got, row.Verdicts[i]);
            ExpectAutoFollowsCheck(file, profiles[i], check, env, dir);
            if (check.contains("command") && i == row.FixOn) {
                command = check["command"];
            }
        }
        // The fix it prints, run as printed once every profile has judged the file, makes the
        // file play; the original stays.
        if (command.empty()) {
            continue;
        }
        const std::string vidtag = "vidtag-cli ";
        const bool rebuild = command.rfind(vidtag, 0) == 0;
        const std::string run =
            rebuild ? env + Quote(VIDTAG_CLI_PATH) + " " + command.substr(vidtag.size()) + " -q"
                    : command + " -loglevel error";
        ASSERT_EQ(RunCommand("cd " + Quote(dir.Root()) + " && " + run + " 2>&1").Exit, 0)
            << command;
        // The rebuild mends the file in place; ffmpeg writes a new one.
        const std::string fixed = rebuild ? file : dir.Path(command.substr(command.rfind(' ') + 1));
        const json after =
            json::parse(RunCommand(env + Quote(VIDTAG_CLI_PATH) + " --json --check " +
                                   Quote(profiles[row.FixOn]) + " " + Quote(fixed) + " 2>/dev/null")
                            .Out)["check"];
        EXPECT_EQ(after["verdict"], row.After) << command;
        EXPECT_TRUE(rebuild || RunCommand("cd " + Quote(dir.Root()) + " && " + command +
                                          " -loglevel quiet 2>&1")
                                       .Exit != 0)
            << "ffmpeg -n must refuse to overwrite";
    }
}

INSTANTIATE_TEST_SUITE_P(Muxed, AudioCli, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
