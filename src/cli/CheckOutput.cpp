#include "CheckOutput.h"

#include "CliTexts.h"
#include "PathText.h"
#include "check/Profiles.h"

namespace vidtag::cli {

namespace {

using Json = nlohmann::ordered_json;

// The command that makes a file play, for a user to paste: the name quoted as a shell needs it,
// and shown so that it cannot steer the terminal.
std::string RetagCommand(const check::CheckResult& result, const std::string& path) {
    return "vidtag-cli --to auto --check " + std::string(result.ProfileName) + " " +
           DisplayName(check::ShellQuoted(path));
}

std::string VerdictLine(const FileReport& report, int language) {
    const check::CheckResult& result = *report.Check;
    std::string line = std::string(result.ProfileName) + ": " + check::Summary(result, language);
    if (result.Outcome == check::Verdict::Retag && !report.Conversion) {
        line += " (" + RetagCommand(result, report.Path) + ")";
    }
    return line;
}

Json OptionalNumber(const std::optional<std::uint64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string SizesText(const check::Profile& profile) {
    std::string text;
    for (const check::SizeRate& entry : profile.SizeRates) {
        text += (text.empty() ? "" : " or ") + std::to_string(entry.Width) + "x" +
                std::to_string(entry.Height) + " @ " + std::to_string(entry.Fps);
    }
    return text;
}

std::string AlsoAllowed(const check::Profile& profile) {
    std::string text = profile.PackedAllowed ? "packed B-frames" : "";
    if (profile.InterlaceAllowed) {
        text += text.empty() ? "interlace" : ", interlace";
    }
    return text.empty() ? "nothing" : text;
}

Json ProfileObject(const check::Profile& profile) {
    Json object;
    object["name"] = profile.Name;
    object["sizes"] = Json::array();
    for (const check::SizeRate& entry : profile.SizeRates) {
        object["sizes"].push_back(
            Json{{"width", entry.Width}, {"height", entry.Height}, {"fps", entry.Fps}});
    }
    object["max_macroblocks_per_second"] = profile.MaxMacroblocksPerSecond;
    object["vbv_buffer_bits"] = profile.VbvBufferBits;
    object["avg_bitrate"] = profile.AvgBitrate;
    object["peak_bitrate"] = profile.PeakBitrate;
    object["max_b_frames"] = profile.MaxBRun;
    object["packed_b_frames"] = profile.PackedAllowed;
    object["interlace"] = profile.InterlaceAllowed;
    return object;
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
    for (const std::string& note : report.Check->Notes) {
        // A conversion's warning already says it.
        if (report.Warning.find(note) == std::string::npos) {
            lines.push_back("  " + std::string(MessageText(language, Message::NoteLabel)) + ": " +
                            note);
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
    object["avg_bitrate"] = OptionalNumber(result.AvgBitrate);
    object["peak_bitrate"] = OptionalNumber(result.PeakBitrate);
    const char* from = check::BitrateSourceName(result.BitrateFrom);
    object["bitrate_from"] = from != nullptr ? Json(from) : Json(nullptr);
    object["notes"] = result.Notes;
    if (result.Outcome == check::Verdict::Unknown) {
        object["unknown_reason"] = result.UnknownReason;
    }
    return object;
}

void PrintProfileList(bool json, std::FILE* out) {
    if (!json) {
        std::fprintf(out, "%-18s %-29s %6s %8s %9s %9s %2s  %s\n", "profile", "size @ fps", "MB/s",
                     "VBV bits", "avg bit/s", "peak/1 s", "B", "also allowed");
    }
    for (const check::Profile& profile : check::Profiles()) {
        if (json) {
            std::fprintf(out, "%s\n", ProfileObject(profile).dump().c_str());
            continue;
        }
        std::fprintf(out, "%-18s %-29s %6u %8u %9u %9u %2u  %s\n", profile.Name,
                     SizesText(profile).c_str(), profile.MaxMacroblocksPerSecond,
                     profile.VbvBufferBits, profile.AvgBitrate, profile.PeakBitrate,
                     profile.MaxBRun, AlsoAllowed(profile).c_str());
    }
}

} // namespace vidtag::cli
