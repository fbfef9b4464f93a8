#include "CheckOutput.h"

#include "CliTexts.h"
#include "ConsoleText.h"
#include "PathText.h"
#include "ProfileFile.h"
#include "StreamJson.h"
#include "audio/AudioText.h"
#include "check/Profiles.h"
#include "video/StreamText.h"

#include <algorithm>
#include <array>

namespace vidtag::cli {

namespace {

using Json = nlohmann::ordered_json;

// Codes the default rule does not know, judged as the kind they look like.
bool RelaxedOnly(const FileReport& report) {
    return report.Kind == kUnknownKind && report.RelaxedKind != kNoKind;
}

// The command that makes a file play, for a user to paste and run as printed: the names as shell
// words that cannot steer the terminal, and --relaxed when only that rule knows the codes.
std::string RetagCommand(const FileReport& report) {
    const check::CheckResult& result = *report.Check;
    const bool relaxed = (report.Rule == ClassificationRule::Relaxed &&
                          ClassifyCodec(report.Handler, report.Compression) != report.Kind) ||
                         RelaxedOnly(report);
    const std::string profile = result.ProfileRef.empty() ? result.ProfileName : result.ProfileRef;
    return std::string("vidtag-cli ") + (relaxed ? "--relaxed " : "") + "--to auto --check " +
           ShellWord(profile) + " " + ShellWord(report.Path);
}

std::string VerdictLine(const FileReport& report, int language) {
    const check::CheckResult& result = *report.Check;
    std::string line = std::string(result.ProfileName) + ": " + check::Summary(result, language);
    // A conversion refused for want of --relaxed says how to make it.
    if (result.Outcome == check::Verdict::Retag && (!report.Conversion || RelaxedOnly(report))) {
        line += " (" + RetagCommand(report) + ")";
    }
    return line;
}

// "-" for a limit the profile does not set.
template <typename T> std::string Limit(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string("-");
}

std::string SizesText(const check::Profile& profile, int language) {
    std::string text;
    for (const check::SizeRate& entry : profile.SizeRates) {
        text += (text.empty() ? "" : MessageText(language, Message::ProfileSizesOr)) +
                std::to_string(entry.Width) + "x" + std::to_string(entry.Height) + " @ " +
                video::DecimalText(entry.Fps);
    }
    return text.empty() ? "-" : text;
}

std::string AlsoAllowed(const check::Profile& profile, int language) {
    const std::pair<bool, Message> tools[] = {
        {profile.PackedAllowed, Message::ProfilePacked},
        {profile.InterlaceAllowed, Message::ProfileInterlace},
        {profile.QpelAllowed, Message::ProfileQpel},
        {profile.GmcAllowed, Message::ProfileGmc},
        {profile.MpegQuantAllowed, Message::ProfileMpegQuant},
    };
    std::string text;
    for (const auto& [allowed, word] : tools) {
        if (allowed) {
            text += (text.empty() ? "" : ", ") + std::string(MessageText(language, word));
        }
    }
    return text.empty() ? MessageText(language, Message::ProfileNothing) : text;
}

// "AAC (up to 6 ch, 8 kHz-48 kHz)": a codec and its own limits.
std::string CodecLimitsText(audio::AudioCodec codec, const check::Profile& profile, int language) {
    const auto say = [language](Message word, const std::string& value) {
        return Fill(MessageText(language, word), value);
    };
    std::string text = audio::AudioCodecName(codec);
    const check::AudioLimit* limits = check::AudioLimitOf(profile, codec);
    if (limits == nullptr) {
        return text;
    }
    std::string parts;
    const auto add = [&parts](const std::string& part) {
        parts += (parts.empty() ? "" : ", ") + part;
    };
    if (limits->MaxChannels) {
        add(say(Message::ProfileUpTo,
                say(Message::ProfileChannels, std::to_string(*limits->MaxChannels))));
    }
    if (limits->MinSampleRate && limits->MaxSampleRate) {
        add(audio::RateText(*limits->MinSampleRate, language) + "-" +
            audio::RateText(*limits->MaxSampleRate, language));
    } else if (limits->MaxSampleRate) {
        add(say(Message::ProfileUpTo, audio::RateText(*limits->MaxSampleRate, language)));
    } else if (limits->MinSampleRate) {
        add(audio::RateText(*limits->MinSampleRate, language) + "+");
    }
    if (limits->MaxBitrate) {
        add(say(Message::ProfileUpTo,
                say(Message::ProfileKilobits, std::to_string(*limits->MaxBitrate / 1000))));
    }
    return parts.empty() ? text : text + " (" + parts + ")";
}

// "; audio in matroska: AAC (up to 6 ch, 8 kHz-48 kHz), MP3 (...), FLAC; up to 8 tracks" for a
// profile that judges audio, else "".
std::string AudioText(const check::Profile& profile, int language) {
    std::string codecs;
    const auto add = [&codecs](const std::string& part) {
        codecs += (codecs.empty() ? "" : ", ") + part;
    };
    if (profile.AudioCodecs) {
        for (const audio::AudioCodec codec : *profile.AudioCodecs) {
            add(CodecLimitsText(codec, profile, language));
        }
    }
    for (const check::AudioLimit& row : profile.AudioLimits) {
        if (!check::TakesAudioCodec(profile, row.Codec) || !profile.AudioCodecs) {
            add(CodecLimitsText(row.Codec, profile, language));
        }
    }
    std::string limits = codecs;
    const auto also = [&limits](const std::string& part) {
        limits += (limits.empty() ? "" : "; ") + part;
    };
    if (profile.MaxAudioChannels) {
        also(Fill(MessageText(language, Message::ProfileUpTo),
                  Fill(MessageText(language, Message::ProfileChannels),
                       std::to_string(*profile.MaxAudioChannels))));
    }
    if (profile.MaxAudioTracks) {
        also(Fill(MessageText(language, Message::ProfileTracks),
                  std::to_string(*profile.MaxAudioTracks)));
    }
    if (limits.empty()) {
        return {};
    }
    std::string containers;
    for (const std::string& name : profile.AudioContainers) {
        containers += (containers.empty() ? "" : ", ") + name;
    }
    return "; " + (containers.empty()
                       ? Fill(MessageText(language, Message::ProfileAudio), limits)
                       : Fill(MessageText(language, Message::ProfileAudioIn), containers, limits));
}

const char* OriginName(check::ProfileOrigin origin) {
    constexpr std::array<const char*, 4> kNames{"divx", "mpeg4", "device", "file"};
    return kNames[static_cast<std::size_t>(origin) % kNames.size()];
}

Message OriginWord(check::ProfileOrigin origin) {
    constexpr std::array<Message, 4> kWords{Message::ProfileFromDivx, Message::ProfileFromIso,
                                            Message::ProfileFromDevice, Message::ProfileFromUser};
    return kWords[static_cast<std::size_t>(origin) % kWords.size()];
}

// The table's columns: the first three left-aligned, the numbers right-aligned, the last as it
// is. Widths count characters, not bytes, so that Russian headings line up too.
constexpr std::size_t kAligned = 9;
constexpr std::size_t kLeftAligned = 3;
constexpr std::array<std::size_t, kAligned> kMinWidths{18, 6, 20, 4, 6, 8, 9, 9, 2};

std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::vector<std::string> Cells(const check::Profile& profile, int language) {
    return {profile.Name,
            MessageText(language, OriginWord(profile.Origin)),
            SizesText(profile, language),
            Limit(profile.MaxMacroblocksPerFrame),
            Limit(profile.MaxMacroblocksPerSecond),
            Limit(profile.VbvBufferBits),
            Limit(profile.AvgBitrate),
            Limit(profile.PeakBitrate),
            Limit(profile.MaxBRun),
            AlsoAllowed(profile, language) + AudioText(profile, language)};
}

std::vector<std::string> Headings(int language) {
    std::vector<std::string> cells;
    const std::string text = MessageText(language, Message::ProfileColumns);
    for (std::size_t at = 0;;) {
        const std::size_t tab = text.find('\t', at);
        cells.push_back(text.substr(at, tab - at));
        if (tab == std::string::npos) {
            return cells;
        }
        at = tab + 1;
    }
}

std::string TableLine(const std::vector<std::string>& cells,
                      const std::array<std::size_t, kAligned>& widths) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line += i == widths.size() ? "  " : " "; // the free text stands a little apart
        }
        const std::size_t width = i < widths.size() ? widths[i] : 0;
        const std::string pad(width - std::min(width, Characters(cells[i])), ' ');
        line += i < kLeftAligned ? cells[i] + pad : pad + cells[i];
    }
    return line;
}

Json CodesJson(const std::optional<std::vector<FourCC>>& codes) {
    if (!codes) {
        return nullptr;
    }
    Json list = Json::array();
    for (const FourCC code : *codes) {
        list.push_back(FourCCToString(code));
    }
    return list;
}

Json ProfileObject(const check::Profile& profile) {
    Json object;
    object["name"] = profile.Name;
    object["origin"] = OriginName(profile.Origin);
    if (!profile.Path.empty()) {
        object["path"] = profile.Path;
    }
    object["containers"] = profile.Containers.empty() ? Json(nullptr) : Json(profile.Containers);
    object["codes"] = CodesJson(profile.Codes);
    object["matroska_codes"] = CodesJson(profile.MatroskaCodes);
    object["matroska_codec_ids"] =
        profile.MatroskaCodecIds ? Json(*profile.MatroskaCodecIds) : Json(nullptr);
    object["sizes"] = profile.SizeRates.empty() ? Json(nullptr) : Json::array();
    for (const check::SizeRate& entry : profile.SizeRates) {
        object["sizes"].push_back(
            Json{{"width", entry.Width}, {"height", entry.Height}, {"fps", entry.Fps}});
    }
    object["max_macroblocks_per_frame"] = OptionalJson(profile.MaxMacroblocksPerFrame);
    object["max_macroblocks_per_second"] = OptionalJson(profile.MaxMacroblocksPerSecond);
    object["vbv"] = OptionalJson(profile.VbvBufferBits);
    object["avg_bitrate"] = OptionalJson(profile.AvgBitrate);
    object["peak_bitrate"] = OptionalJson(profile.PeakBitrate);
    object["max_b_frames"] = OptionalJson(profile.MaxBRun);
    object["packed"] = profile.PackedAllowed;
    object["interlace"] = profile.InterlaceAllowed;
    object["qpel"] = profile.QpelAllowed;
    object["gmc"] = profile.GmcAllowed;
    object["mpeg_quant"] = profile.MpegQuantAllowed;
    if (profile.AudioCodecs) {
        object["audio_codecs"] = Json::array();
        for (const audio::AudioCodec codec : *profile.AudioCodecs) {
            object["audio_codecs"].push_back(audio::AudioCodecJsonName(codec));
        }
    } else {
        object["audio_codecs"] = nullptr;
    }
    object["max_audio_channels"] = OptionalJson(profile.MaxAudioChannels);
    object["max_file_size"] = OptionalJson(profile.MaxFileSize);
    object["needs_index"] = profile.NeedsIndex;
    object["audio_limits"] = profile.AudioLimits.empty() ? Json(nullptr) : Json::array();
    for (const check::AudioLimit& row : profile.AudioLimits) {
        object["audio_limits"].push_back(Json{{"codec", audio::AudioCodecJsonName(row.Codec)},
                                              {"max_channels", OptionalJson(row.MaxChannels)},
                                              {"min_sample_rate", OptionalJson(row.MinSampleRate)},
                                              {"max_sample_rate", OptionalJson(row.MaxSampleRate)},
                                              {"max_bitrate", OptionalJson(row.MaxBitrate)}});
    }
    object["max_audio_tracks"] = OptionalJson(profile.MaxAudioTracks);
    object["audio_containers"] =
        profile.AudioContainers.empty() ? Json(nullptr) : Json(profile.AudioContainers);
    object["source"] = profile.Sources;
    object["notes"] = profile.Notes.empty() ? Json(nullptr) : Json(profile.Notes);
    return object;
}

void PrintTable(const std::vector<check::Profile>& profiles, std::FILE* out, int language) {
    std::vector<std::vector<std::string>> rows{Headings(language)};
    for (const check::Profile& profile : profiles) {
        rows.push_back(Cells(profile, language));
    }
    std::array<std::size_t, kAligned> widths = kMinWidths;
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t i = 0; i < widths.size() && i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Characters(row[i]));
        }
    }
    for (const std::vector<std::string>& row : rows) {
        PutText(out, TableLine(row, widths) + "\n");
    }
}

} // namespace

std::vector<std::string> CheckLines(const FileReport& report, bool quiet, int language) {
    if (!report.Check) {
        return {};
    }
    if (quiet) {
        if (report.Check->Outcome == check::Verdict::Plays) {
            return {};
        }
        return {DisplayName(report.Path) + ": " + VerdictLine(report, language)};
    }
    std::vector<std::string> lines{"  " + VerdictLine(report, language)};
    if (!report.Check->Command.empty()) {
        lines.push_back("  " + std::string(language == 1 ? "исправить" : "fix") + ": " +
                        report.Check->Command);
    }
    for (const std::string& note : report.Check->Notes) {
        // A conversion's warning already says it.
        if (report.Warning.find(note) == std::string::npos) {
            lines.push_back(LabelledLine(language, Message::NoteLabel, note));
        }
    }
    return lines;
}

Json CheckObject(const check::CheckResult& result) {
    Json object;
    object["profile"] = result.ProfileName;
    object["verdict"] = check::VerdictName(result.Outcome);
    object["retag_to"] =
        result.Outcome == check::Verdict::Retag ? Json(result.RetagTo) : Json(nullptr);
    object["problems"] = Json::array();
    for (const check::Problem& problem : result.Problems) {
        object["problems"].push_back(Json{
            {"id", problem.Id}, {"text", problem.Text}, {"fix", check::FixName(problem.Needs)}});
    }
    if (!result.Command.empty()) {
        object["command"] = result.Command;
    }
    object["avg_bitrate"] = OptionalJson(result.AvgBitrate);
    object["peak_bitrate"] = OptionalJson(result.PeakBitrate);
    const char* from = check::BitrateSourceName(result.BitrateFrom);
    object["bitrate_from"] = from != nullptr ? Json(from) : Json(nullptr);
    object["notes"] = result.Notes;
    if (result.Outcome == check::Verdict::Unknown) {
        object["unknown_reason"] = result.UnknownReason;
    }
    return object;
}

int PrintProfileList(bool json, std::FILE* out, int language) {
    std::vector<check::Profile> profiles(check::Profiles().begin(), check::Profiles().end());
    std::vector<check::Profile> own;
    try {
        own = UserProfiles();
    } catch (const std::exception& error) {
        PutText(stderr, std::string("vidtag-cli: ") + error.what() + "\n");
        return 2;
    }
    profiles.insert(profiles.end(), own.begin(), own.end());
    if (json) {
        for (const check::Profile& profile : profiles) {
            PutText(out, ProfileObject(profile).dump() + "\n");
        }
        return 0;
    }
    PrintTable(profiles, out, language);
    if (!own.empty()) {
        PutText(out,
                Fill(MessageText(language, Message::ProfileFolder), UserProfileFolder()) + "\n");
    }
    return 0;
}

} // namespace vidtag::cli
