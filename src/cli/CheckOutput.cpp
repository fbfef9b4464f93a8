#include "CheckOutput.h"

#include "CliTexts.h"
#include "ConsoleText.h"
#include "PathText.h"
#include "check/Profiles.h"

#include <algorithm>
#include <array>

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

std::string SizesText(const check::Profile& profile, int language) {
    std::string text;
    for (const check::SizeRate& entry : profile.SizeRates) {
        text += (text.empty() ? "" : MessageText(language, Message::ProfileSizesOr)) +
                std::to_string(entry.Width) + "x" + std::to_string(entry.Height) + " @ " +
                std::to_string(entry.Fps);
    }
    return text;
}

std::string AlsoAllowed(const check::Profile& profile, int language) {
    std::string text = profile.PackedAllowed ? MessageText(language, Message::ProfilePacked) : "";
    if (profile.InterlaceAllowed) {
        text += (text.empty() ? "" : ", ") +
                std::string(MessageText(language, Message::ProfileInterlace));
    }
    return text.empty() ? MessageText(language, Message::ProfileNothing) : text;
}

// The table's columns: the first two left-aligned, the numbers right-aligned, the last as it is.
// Widths count characters, not bytes, so that Russian headings line up too.
constexpr std::array<std::size_t, 7> kMinWidths{18, 29, 6, 8, 9, 9, 2};

std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::vector<std::string> Cells(const check::Profile& profile, int language) {
    return {profile.Name,
            SizesText(profile, language),
            std::to_string(profile.MaxMacroblocksPerSecond),
            std::to_string(profile.VbvBufferBits),
            std::to_string(profile.AvgBitrate),
            std::to_string(profile.PeakBitrate),
            std::to_string(profile.MaxBRun),
            AlsoAllowed(profile, language)};
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
                      const std::array<std::size_t, 7>& widths) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line += i == widths.size() ? "  " : " "; // the free text stands a little apart
        }
        const std::size_t width = i < widths.size() ? widths[i] : 0;
        const std::string pad(width - std::min(width, Characters(cells[i])), ' ');
        line += i < 2 ? cells[i] + pad : pad + cells[i];
    }
    return line;
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

void PrintProfileList(bool json, std::FILE* out, int language) {
    if (json) {
        for (const check::Profile& profile : check::Profiles()) {
            PutText(out, ProfileObject(profile).dump() + "\n");
        }
        return;
    }
    std::vector<std::vector<std::string>> rows{Headings(language)};
    for (const check::Profile& profile : check::Profiles()) {
        rows.push_back(Cells(profile, language));
    }
    std::array<std::size_t, 7> widths = kMinWidths;
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t i = 0; i < widths.size() && i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Characters(row[i]));
        }
    }
    for (const std::vector<std::string>& row : rows) {
        PutText(out, TableLine(row, widths) + "\n");
    }
}

} // namespace vidtag::cli
