#include "check/TrackCheck.h"

#include "audio/AudioText.h"
#include "check/CheckTexts.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <algorithm>

namespace vidtag::check {

namespace {

enum class Word : std::uint8_t {
    Codec,
    Unknown,
    Channels,
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

bool Takes(const Profile& profile, audio::AudioCodec codec) {
    return !profile.AudioCodecs ||
           std::find(profile.AudioCodecs->begin(), profile.AudioCodecs->end(), codec) !=
               profile.AudioCodecs->end();
}

// The input's name with its extension replaced: "film.mkv" -> "film.fixed.avi".
std::string FixedName(std::string_view in, std::string_view extension) {
    const std::size_t dot = in.rfind('.');
    const std::size_t slash = in.find_last_of("/\\");
    const bool hasExtension =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    return std::string(hasExtension ? in.substr(0, dot) : in) + ".fixed." + std::string(extension);
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

std::string FixCommand(const std::vector<audio::AudioFacts>& audio, const std::vector<bool>& redo,
                       const Profile& profile, std::string_view fileName, FourCC code) {
    const bool avi = AcceptsContainer(profile, "avi");
    const std::string in = fileName.empty() ? std::string("IN") : std::string(fileName);
    std::string command = "ffmpeg -n -i " + ShellQuoted(in) + " -map 0:v:0 -map 0:a -c copy";
    if (avi && code != 0) {
        command += " -vtag " + ShellQuoted(FourCCToString(code));
    }
    for (std::size_t i = 0; i < audio.size() && i < redo.size(); ++i) {
        if (!redo[i]) {
            continue;
        }
        const std::string n = std::to_string(i);
        const bool ac3 =
            Takes(profile, audio::AudioCodec::Ac3) && audio[i].Channels.value_or(2) > 2 &&
            (!profile.MaxAudioChannels || *profile.MaxAudioChannels >= *audio[i].Channels);
        command += ac3 ? " -c:a:" + n + " ac3 -b:a:" + n + " 448k"
                       : " -c:a:" + n + " libmp3lame -b:a:" + n + " 192k -ac:a:" + n + " 2";
    }
    return command + " " + ShellQuoted(FixedName(in, avi ? "avi" : "mkv"));
}

void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const std::optional<IndexFacts>& index,
                      const Profile& profile, std::string_view fileName, FourCC code,
                      int language) {
    std::vector<Problem> found;
    std::vector<bool> redo(audio.size(), false);
    for (std::size_t i = 0; i < audio.size(); ++i) {
        const std::size_t before = found.size();
        CheckTrack(found, audio[i], i + 1, profile, language);
        redo[i] = found.size() > before;
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
    if (result.Outcome <= Verdict::Remux && worst == Verdict::ReencodeAudio) {
        result.Command = FixCommand(audio, redo, profile, fileName, code);
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
