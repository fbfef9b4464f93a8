// Audio facts from the first bytes of files ffmpeg makes, against what ffprobe reads of them.

#include "audio/AudioReading.h"
#include "audio/AudioText.h"
#include "audio/MatroskaCodecId.h"
#include "audio/WaveFormat.h"

#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

using namespace vidtag;
using namespace vidtag::audio;
using vidtag::test::RunCommand;
using vidtag::test::ShellQuote;

namespace {

struct Fixture {
    const char* Name;
    const char* Encode; // ffmpeg's options after the input
    std::uint16_t Tag;  // the AVI format tag the container gives; 0 for the Matroska id
    const char* CodecId;
    std::size_t Junk; // bytes put before the first frame
    bool Vbr;
    std::uint8_t Contradicted;
    const char* Line; // the track's line, "" to leave it unchecked
};

constexpr Fixture kFixtures[] = {
    {"ac3", "-ac 6 -c:a ac3 -b:a 448k -f ac3", 0x2000, "", 0, false, 0,
     "audio: AC-3 5.1, 48 kHz, 448 kbit/s"},
    {"eac3", "-ac 6 -c:a eac3 -b:a 640k -f eac3", 0, "A_EAC3", 0, false, 0,
     "audio: E-AC-3 5.1, 48 kHz, 640 kbit/s"},
    {"eac3_as_ac3", "-ac 2 -c:a eac3 -b:a 192k -f eac3", 0, "A_AC3", 0, false, kCodecContradicted,
     "audio: E-AC-3 stereo, 48 kHz, 192 kbit/s; labelled AC-3, the frames are "
     "E-AC-3"},
    {"dts", "-ac 6 -c:a dca -strict -2 -f dts", 0x2001, "", 0, false, 0,
     "audio: DTS 5.1, 48 kHz, 1411 kbit/s"},
    {"mp2", "-ar 44100 -ac 2 -c:a mp2 -b:a 192k -f mp2", 0x0050, "", 0, false, 0, ""},
    {"mp3_cbr", "-ar 44100 -ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -f mp3", 0x0055, "", 0,
     false, 0, "audio: MP3 stereo, 44.1 kHz, 128 kbit/s"},
    {"mp3_vbr", "-ar 44100 -ac 2 -c:a libmp3lame -q:a 2 -id3v2_version 0 -f mp3", 0, "A_MPEG/L3", 0,
     true, 0, ""},
    {"mp3_lsf_junk", "-ar 22050 -ac 1 -c:a libmp3lame -b:a 32k -id3v2_version 0 -f mp3", 0x0055, "",
     37, false, 0, "audio: MP3 mono, 22.05 kHz, 32 kbit/s; 37 junk bytes before the first frame"},
    {"ac3_as_mp3", "-ac 2 -c:a ac3 -b:a 192k -f ac3", 0x0055, "", 0, false, kCodecContradicted,
     "audio: AC-3 stereo, 48 kHz, 192 kbit/s; labelled MP3, the frames are AC-3"},
};

bool HaveFfmpeg() {
    static const bool have =
        std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") == 0;
    return have;
}

// ffprobe's first audio stream: codec_name, channels, sample_rate, bit_rate.
std::map<std::string, std::string> Probe(const std::string& path) {
    std::istringstream out(RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                                      "stream=codec_name,channels,sample_rate,bit_rate "
                                      "-of default=nw=1 " +
                                      ShellQuote(path))
                               .Out);
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(out, line);) {
        if (const std::size_t equals = line.find('='); equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return fields;
}

class AudioFixtures : public ::testing::TestWithParam<Fixture> {};

TEST_P(AudioFixtures, FirstFrameAgreesWithFfprobe) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    }
    const Fixture& row = GetParam();
    test::TempDir dir;
    const std::string path = dir.Path(std::string(row.Name) + ".audio");
    ASSERT_EQ(RunCommand(
                  "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=0.5:sample_rate=48000 " +
                  std::string(row.Encode) + " " + ShellQuote(path) + " </dev/null")
                  .Exit,
              0);
    auto oracle = Probe(path);
    test::Bytes bytes(row.Junk, 0x5A);
    const test::Bytes file = test::ReadFileBytes(path);
    bytes.insert(bytes.end(), file.begin(),
                 file.begin() + std::min<std::size_t>(file.size(), 8192));

    ContainerAudio said = MatroskaAudio(row.CodecId, {}, {});
    if (row.Tag != 0) {
        said.Codec = CodecOfFormatTag(row.Tag);
        said.FormatTag = row.Tag;
    }
    const AudioFacts facts = ReadAudioFacts(said, bytes);

    ASSERT_TRUE(facts.Frame);
    EXPECT_TRUE(facts.Frame->Confirmed);
    EXPECT_EQ(facts.JunkBytes, row.Junk);
    EXPECT_EQ(facts.Contradicted, row.Contradicted);
    EXPECT_EQ(AudioCodecJsonName(facts.Codec), oracle["codec_name"]);
    EXPECT_EQ(std::to_string(facts.Channels.value_or(0)), oracle["channels"]);
    EXPECT_EQ(std::to_string(facts.SampleRate.value_or(0)), oracle["sample_rate"]);
    EXPECT_EQ(facts.Vbr.value_or(false), row.Vbr);
    // A VBR stream's average is ffprobe's estimate from the same Xing header.
    const double expected = std::stod(oracle["bit_rate"]);
    EXPECT_NEAR(facts.Bitrate.value_or(0), expected, row.Vbr ? expected / 32 : 0);
    if (*row.Line != '\0') {
        EXPECT_EQ(AudioLine(facts), row.Line);
    }
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, AudioFixtures, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
