#include "check/TrackCheck.h"

#include "audio/AudioText.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <algorithm>

namespace vidtag::check {

namespace {

enum class Word : std::uint8_t { Codec, Unknown, Channels, FileSize, Count };

constexpr TextTable<Word> kWords{{
    {
        "audio track %1 is %2, which the players do not decode (they take %3; needs the audio "
        "re-encoded)",
        "an unknown codec",
        "audio track %1 has %2 channels, more than the %3 the players take (needs the audio "
        "re-encoded)",
        "the file has %1 bytes, more than the %2 the players open (needs splitting)",
    },
    {
        "звуковая дорожка %1 — %2, его проигрыватели не декодируют (они берут %3; нужно "
        "перекодировать звук)",
        "неизвестный кодек",
        "в звуковой дорожке %1 каналов: %2, больше, чем %3, которые берут проигрыватели (нужно "
        "перекодировать звук)",
        "в файле %1 байт, больше, чем %2, которые открывают проигрыватели (нужно разрезать)",
    },
}};

std::string Say(int language, Word word, const std::string& a1 = {}, const std::string& a2 = {},
                const std::string& a3 = {}) {
    return Fill(TextOf(kWords, language, word), a1, a2, a3);
}

std::string CodecList(const std::vector<audio::AudioCodec>& codecs) {
    std::string text;
    for (const audio::AudioCodec codec : codecs) {
        text += (text.empty() ? "" : ", ") + std::string(audio::AudioCodecName(codec));
    }
    return text;
}

void CheckTrack(std::vector<Problem>& problems, const audio::AudioFacts& track, std::size_t number,
                const Profile& profile, int language) {
    const std::string which = std::to_string(number);
    if (profile.AudioCodecs && std::find(profile.AudioCodecs->begin(), profile.AudioCodecs->end(),
                                         track.Codec) == profile.AudioCodecs->end()) {
        const std::string name = track.Codec == audio::AudioCodec::Unknown
                                     ? Say(language, Word::Unknown)
                                     : audio::AudioCodecName(track.Codec);
        problems.push_back(
            {"audio_codec",
             Say(language, Word::Codec, which, name, CodecList(*profile.AudioCodecs)), Fix::Audio});
        return;
    }
    if (profile.MaxAudioChannels && track.Channels && *track.Channels > *profile.MaxAudioChannels) {
        problems.push_back({"audio_channels",
                            Say(language, Word::Channels, which, std::to_string(*track.Channels),
                                std::to_string(*profile.MaxAudioChannels)),
                            Fix::Audio});
    }
}

} // namespace

void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const Profile& profile, int language) {
    std::vector<Problem> found;
    for (std::size_t i = 0; i < audio.size(); ++i) {
        CheckTrack(found, audio[i], i + 1, profile, language);
    }
    if (profile.MaxFileSize && fileSize > *profile.MaxFileSize) {
        found.push_back({"file_size",
                         Say(language, Word::FileSize, std::to_string(fileSize),
                             std::to_string(*profile.MaxFileSize)),
                         Fix::Split});
    }
    if (found.empty()) {
        return;
    }
    Verdict worst = Verdict::Plays;
    for (const Problem& problem : found) {
        worst = std::max(worst, VerdictOfFix(problem.Needs));
    }
    result.Problems.insert(result.Problems.end(), found.begin(), found.end());
    if (result.Outcome <= Verdict::Remux) {
        result.Outcome = std::max(result.Outcome, worst);
        result.RetagTo = kNoKind;
    } else if (result.Outcome < Verdict::Reencode) {
        result.Outcome = std::max(result.Outcome, worst);
    }
    if (result.Outcome != Verdict::Retag) {
        std::erase(result.Notes, DecodeByCodeWarningText(language));
    }
}

} // namespace vidtag::check
