#include "check/TrackCheck.h"

#include "audio/AudioText.h"
#include "check/CheckTexts.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"
#include "video/StreamText.h"

#include <algorithm>

namespace vidtag::check {

namespace {

enum class Word : std::uint8_t {
    Codec,
    Unknown,
    Channels,
    CodecChannels,
    Rate,
    RateRange,
    RateFrom,
    RateUpTo,
    Bitrate,
    Tracks,
    FileSize,
    IndexMissing,
    IndexCut,
    IndexUnflagged,
    Count
};

constexpr TextTable<Word> kWords{{
    {
        "audio track %1 is %2, which the players do not decode (they take %3; needs the audio "
        "re-encoded)",
        "an unknown codec",
        "audio track %1 has %2 channels, more than the %3 the players take (needs the audio "
        "re-encoded)",
        "audio track %1 has %2 channels, more than the %3 the players take in %4 (needs the audio "
        "re-encoded)",
        "audio track %1 is sampled at %2, which the players do not take in %3 (they take %4; "
        "needs the audio re-encoded)",
        "%1 to %2",
        "%1 and above",
        "up to %1",
        "audio track %1 has %2, more than the %3 the players take in %4 (needs the audio "
        "re-encoded)",
        "the file has %1 audio tracks, more than the %2 the players take (needs remuxing without "
        "the others)",
        "the file has %1 bytes, more than the %2 the players open (needs splitting)",
        "the file has no index, so the players cannot seek in it and may refuse it (needs the "
        "index rebuilt)",
        "the file is cut short and its index is lost, so the players cannot seek in it and may "
        "refuse it (needs the index rebuilt)",
        "the file's main header does not flag its index, so the players cannot seek in it (needs "
        "the index rebuilt)",
    },
    {
        "звуковая дорожка %1 — %2, его проигрыватели не декодируют (они берут %3; нужно "
        "перекодировать звук)",
        "неизвестный кодек",
        "в звуковой дорожке %1 каналов: %2, больше, чем %3, которые берут проигрыватели (нужно "
        "перекодировать звук)",
        "в звуковой дорожке %1 каналов: %2, больше, чем %3, которые проигрыватели берут в %4 "
        "(нужно перекодировать звук)",
        "звуковая дорожка %1 с частотой %2, такую проигрыватели в %3 не берут (они берут %4; "
        "нужно перекодировать звук)",
        "от %1 до %2",
        "от %1 и выше",
        "до %1",
        "у звуковой дорожки %1 поток %2, больше, чем %3, которые проигрыватели берут в %4 (нужно "
        "перекодировать звук)",
        "в файле звуковых дорожек: %1, больше, чем %2, которые берут проигрыватели (нужен перенос "
        "без остальных)",
        "в файле %1 байт, больше, чем %2, которые открывают проигрыватели (нужно разрезать)",
        "в файле нет индекса, поэтому проигрыватели не могут перематывать его и могут не открыть "
        "(нужно перестроить индекс)",
        "файл обрезан, и его индекс потерян, поэтому проигрыватели не могут перематывать его и "
        "могут не открыть (нужно перестроить индекс)",
        "главный заголовок файла не отмечает его индекс, поэтому проигрыватели не могут "
        "перематывать его (нужно перестроить индекс)",
    },
}};

std::string Say(int language, Word word, const std::string& a1 = {}, const std::string& a2 = {},
                const std::string& a3 = {}, const std::string& a4 = {}) {
    return Fill(TextOf(kWords, language, word), a1, a2, a3, a4);
}

// "448 kbit/s", "1411.2 kbit/s": exact, so that a track just above a limit never reads as equal.
std::string KilobitText(std::uint32_t bitrate, int language) {
    return Fill(CheckTextOf(language, CheckText::Kbits), video::DecimalText(bitrate / 1000.0));
}

// "8 kHz to 48 kHz", "up to 48 kHz", "8 kHz and above".
std::string RangeText(const AudioLimit& limits, int language) {
    const auto rate = [language](std::uint32_t hertz) { return audio::RateText(hertz, language); };
    if (limits.MinSampleRate && limits.MaxSampleRate) {
        return Say(language, Word::RateRange, rate(*limits.MinSampleRate),
                   rate(*limits.MaxSampleRate));
    }
    return limits.MinSampleRate ? Say(language, Word::RateFrom, rate(*limits.MinSampleRate))
                                : Say(language, Word::RateUpTo, rate(*limits.MaxSampleRate));
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
    if (!TakesAudioCodec(profile, track.Codec)) {
        const std::string name = track.Codec == audio::AudioCodec::Unknown
                                     ? Say(language, Word::Unknown)
                                     : audio::AudioCodecName(track.Codec);
        problems.push_back(
            {"audio_codec",
             Say(language, Word::Codec, which, name, CodecList(*profile.AudioCodecs)), Fix::Audio});
        return;
    }
    const AudioLimit limits = TrackLimits(profile, track.Codec);
    const std::string codec = audio::AudioCodecName(track.Codec);
    if (limits.MaxChannels && track.Channels && *track.Channels > *limits.MaxChannels) {
        // The profile's limit for every codec reads without one.
        const bool own = profile.MaxAudioChannels != limits.MaxChannels;
        problems.push_back(
            {"audio_channels",
             Say(language, own ? Word::CodecChannels : Word::Channels, which,
                 std::to_string(*track.Channels), std::to_string(*limits.MaxChannels), codec),
             Fix::Audio});
    }
    if (track.SampleRate && !RateWithin(limits, *track.SampleRate)) {
        problems.push_back(
            {"audio_rate",
             Say(language, Word::Rate, which, audio::RateText(*track.SampleRate, language), codec,
                 RangeText(limits, language)),
             Fix::Audio});
    }
    if (limits.MaxBitrate && track.Bitrate && *track.Bitrate > *limits.MaxBitrate) {
        problems.push_back(
            {"audio_bitrate",
             Say(language, Word::Bitrate, which, KilobitText(*track.Bitrate, language),
                 KilobitText(*limits.MaxBitrate, language), codec),
             Fix::Audio});
    }
}

// The first tracks the players take; more are a problem the remux mends by dropping the others,
// which are not judged.
std::size_t JudgedTracks(std::vector<Problem>& problems, std::size_t tracks, const Profile& profile,
                         int language) {
    if (!profile.MaxAudioTracks || tracks <= *profile.MaxAudioTracks) {
        return tracks;
    }
    problems.push_back({"audio_tracks",
                        Say(language, Word::Tracks, std::to_string(tracks),
                            std::to_string(*profile.MaxAudioTracks)),
                        Fix::Remux});
    return *profile.MaxAudioTracks;
}

// An AVI 1.0 file's index as the rebuild mends it: none, lost with the cut end, or not flagged in
// the main header. OpenDML files are sought by their own indexes, which the rebuild leaves alone.
void CheckIndex(std::vector<Problem>& problems, const std::optional<IndexFacts>& index,
                const Profile& profile, int language) {
    if (!profile.NeedsIndex || !index || index->SuperIndex || index->Parts > 1) {
        return;
    }
    if (index->CutShort || !index->Idx1 || !index->HasIndexFlag) {
        const Word word = index->CutShort ? Word::IndexCut
                          : !index->Idx1  ? Word::IndexMissing
                                          : Word::IndexUnflagged;
        problems.push_back({"index", Say(language, word), Fix::Index});
    }
}

bool HasIndexProblem(const std::vector<Problem>& problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const Problem& p) { return p.Needs == Fix::Index; });
}

} // namespace

std::string IndexCommand(std::string_view fileName) {
    return "vidtag-cli --rebuild-index " +
           ShellQuoted(fileName.empty() ? std::string_view("FILE") : fileName);
}

void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const std::optional<IndexFacts>& index,
                      const Profile& profile, std::string_view fileName, FourCC code, int language,
                      std::string_view container) {
    std::vector<Problem> found;
    std::vector<bool> redo(audio.size(), false);
    std::optional<std::uint32_t> keep;
    if (JudgesAudioIn(profile, container)) {
        std::vector<Problem> tracks;
        const std::size_t judged = JudgedTracks(tracks, audio.size(), profile, language);
        if (judged < audio.size()) {
            keep = static_cast<std::uint32_t>(judged);
        }
        for (std::size_t i = 0; i < judged; ++i) {
            const std::size_t before = found.size();
            CheckTrack(found, audio[i], i + 1, profile, language);
            redo[i] = found.size() > before;
        }
        found.insert(found.end(), tracks.begin(), tracks.end());
    }
    if (profile.MaxFileSize && fileSize > *profile.MaxFileSize) {
        found.push_back({"file_size",
                         Say(language, Word::FileSize, std::to_string(fileSize),
                             std::to_string(*profile.MaxFileSize)),
                         Fix::Split});
    }
    CheckIndex(found, index, profile, language);
    if (found.empty()) {
        return;
    }
    // The damage that left the bitrates unmeasured is the cut end the rebuild mends; the check
    // after it measures them.
    if (result.RatesUnmeasured && HasIndexProblem(found)) {
        result.Outcome = Verdict::Plays;
        result.UnknownReason.clear();
        result.Notes.push_back(CheckTextOf(language, CheckText::RatesDamaged));
    }
    Verdict worst = Verdict::Plays;
    for (const Problem& problem : found) {
        worst = std::max(worst, VerdictOfFix(problem.Needs));
    }
    result.Problems.insert(result.Problems.end(), found.begin(), found.end());
    if (result.Outcome == Verdict::Retag) {
        code = CodePairOf(result.RetagTo).Compression;
    }
    // ffmpeg does the audio's work, and drops the tracks past the players' number alike.
    if (result.Outcome <= Verdict::Remux &&
        (worst == Verdict::ReencodeAudio || (worst == Verdict::Remux && keep))) {
        result.Command = FixCommand(audio, redo, profile, fileName, code, keep);
    }
    if (result.Outcome <= Verdict::Remux) {
        result.Outcome = std::max(result.Outcome, worst);
        result.RetagTo = kNoKind;
        if (result.Outcome == Verdict::RebuildIndex) {
            result.Command = IndexCommand(fileName);
        }
    } else if (result.Outcome < Verdict::Reencode) {
        result.Outcome = std::max(result.Outcome, worst);
    }
    if (result.Outcome != Verdict::Retag) {
        std::erase(result.Notes, DecodeByCodeWarningText(language));
    }
}

} // namespace vidtag::check
