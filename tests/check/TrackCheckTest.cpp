// What a profile makes of a file's audio tracks: the problems, the verdict and the ffmpeg command
// that mends them, for tracks as the audio readers give them.
#include "check/TrackCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vidtag;
using namespace vidtag::check;
using audio::AudioCodec;

namespace {

audio::AudioFacts Track(AudioCodec codec, std::uint32_t channels, std::uint32_t rate,
                        std::uint32_t bitrate) {
    audio::AudioFacts track;
    track.Codec = codec;
    track.Channels = channels;
    track.SampleRate = rate;
    track.Bitrate = bitrate;
    return track;
}

// A user's box: MP3 up to 44.1 kHz and 128 kbit/s, AC-3 up to 384 kbit/s, one track.
Profile Box() {
    Profile box;
    box.Name = "box";
    box.AudioCodecs = std::vector<AudioCodec>{AudioCodec::Mp3, AudioCodec::Ac3};
    box.AudioLimits = {{AudioCodec::Mp3, std::nullopt, std::nullopt, 44100, 128000},
                       {AudioCodec::Ac3, std::nullopt, std::nullopt, std::nullopt, 384000}};
    box.MaxAudioTracks = 1;
    return box;
}

TEST(TrackCheck, LimitsPerCodecTracksAndContainers) {
    const Profile box = Box();
    const audio::AudioFacts ac3 = Track(AudioCodec::Ac3, 6, 48000, 640000);
    const audio::AudioFacts dts = Track(AudioCodec::Dts, 6, 48000, 1509000);
    const audio::AudioFacts mp3 = Track(AudioCodec::Mp3, 2, 48000, 192000);
    const struct {
        const char* Profile; // a built-in name, or "box"
        const char* Container;
        std::vector<audio::AudioFacts> Tracks;
        const char* Verdict; // the verdict, then the problem ids
        const char* Says;    // in the first problem's text; "" for none
        const char* Fix;     // in the command; "" for none
    } rows[] = {
        // Android drops AC-3 from Matroska, and leaves AVI's audio to the player app.
        {"android",
         "matroska",
         {ac3},
         "reencode_audio audio_codec",
         "AC-3",
         "-map 0:a -c copy -c:a:0 libmp3lame -b:a:0 192k -ac:a:0 2 film.fixed.mkv"},
        {"android", "", {ac3}, "plays", "", ""},
        {"android",
         "matroska",
         {Track(AudioCodec::Aac, 8, 48000, 0)},
         "reencode_audio audio_channels",
         "more than the 6 the players take in AAC",
         "-c:a:0 libmp3lame -b:a:0 192k -ac:a:0 2 film.fixed.mkv"},
        {"android",
         "matroska",
         {Track(AudioCodec::Flac, 2, 96000, 0)},
         "reencode_audio audio_rate",
         "96 kHz",
         "-ar:a:0 48000 film.fixed.mkv"},
        {"android",
         "matroska",
         {Track(AudioCodec::Aac, 2, 7350, 0)},
         "reencode_audio audio_rate",
         "they take 8 kHz to 48 kHz",
         "-ar:a:0 48000"},
        {"android",
         "matroska",
         {Track(AudioCodec::Mp3, 2, 44100, 384000)},
         "reencode_audio audio_bitrate",
         "384 kbit/s, more than the 320 kbit/s",
         "-c:a:0 libmp3lame -b:a:0 192k -ac:a:0 2 film"},
        {"android", "matroska", {Track(AudioCodec::Flac, 2, 48000, 0), mp3}, "plays", "", ""},
        // The codec's own bitrate limit, and the tracks past the number a remux drops.
        {"box",
         "",
         {ac3, dts},
         "reencode_audio audio_bitrate,audio_tracks",
         "640 kbit/s",
         "-map 0:v:0 -map 0:a:0 -c copy -vtag XVID -c:a:0 ac3 -b:a:0 384k film.fixed.avi"},
        {"box",
         "",
         {Track(AudioCodec::Mp3, 2, 44100, 128000), mp3},
         "remux audio_tracks",
         "the file has 2 audio tracks, more than the 1",
         "-map 0:v:0 -map 0:a:0 -c copy -vtag XVID film.fixed.avi"},
        {"box",
         "",
         {mp3},
         "reencode_audio audio_rate,audio_bitrate",
         "48 kHz",
         "-c:a:0 libmp3lame -b:a:0 128k -ac:a:0 2 -ar:a:0 44100"},
        {"box",
         "",
         {Track(AudioCodec::Dts, 6, 48000, 0)},
         "reencode_audio audio_codec",
         "",
         "-c:a:0 ac3 -b:a:0 384k film"},
        // DTS in AVI goes to AC-3 where it is taken, keeping its channels.
        {"ps3", "", {dts}, "reencode_audio audio_codec", "DTS", "-c:a:0 ac3 -b:a:0 448k film"},
        {"lg-webos",
         "",
         {dts, mp3},
         "reencode_audio audio_codec",
         "DTS",
         "-map 0:a -c copy -vtag DX50 -c:a:0 ac3 -b:a:0 448k film.fixed.avi"},
    };
    for (const auto& row : rows) {
        const Profile& profile =
            std::string(row.Profile) == "box" ? box : *FindProfile(row.Profile);
        SCOPED_TRACE(std::string(row.Profile) + " " + row.Says + " " + row.Fix);
        CheckResult result;
        result.Outcome = Verdict::Plays;
        const std::string name = *row.Container != 0 ? "film.mkv" : "film.avi";
        const FourCC code = std::string(row.Profile) == "lg-webos" ? FCC("DX50") : FCC("XVID");
        AddTrackProblems(result, row.Tracks, 1000, std::nullopt, profile, name, code, 0,
                         row.Container);
        std::string got = VerdictName(result.Outcome);
        for (std::size_t i = 0; i < result.Problems.size(); ++i) {
            got += (i == 0 ? " " : ",") + std::string(result.Problems[i].Id);
        }
        EXPECT_EQ(got, row.Verdict);
        if (*row.Says != 0) {
            ASSERT_FALSE(result.Problems.empty());
            EXPECT_NE(result.Problems[0].Text.find(row.Says), std::string::npos)
                << result.Problems[0].Text;
        }
        EXPECT_NE(result.Command.find(row.Fix), std::string::npos) << result.Command;
        EXPECT_EQ(result.Command.empty(), *row.Fix == 0) << result.Command;
    }
}

} // namespace
