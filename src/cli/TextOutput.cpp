#include "TextOutput.h"

#include "audio/AudioText.h"

#include "CheckOutput.h"
#include "CliTexts.h"
#include "ConsoleText.h"
#include "OutputCheck.h"
#include "PathText.h"
#include "check/Interleave.h"
#include "check/Repair.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"
#include "texts/LocalizedTexts.h"
#include "video/StreamText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

namespace vidtag::cli {

namespace {

void PutLine(std::FILE* stream, const std::string& line) {
    // When both go to one terminal or file, lines must come in the order they were written.
    if (stream == stderr) {
        FlushOutput();
    }
    PutText(stream, line + "\n");
}

// Each family is closed under its targets, so a kind and its targets make up its whole family.
std::set<CodecKind> FamilyOf(CodecKind kind) {
    std::set<CodecKind> family{kind};
    for (const CodecKind target : OfferedTargets(kind).View()) {
        family.insert(target);
    }
    return family;
}

Message TypeOf(const std::string& path) {
    std::error_code error;
    const auto type = std::filesystem::status(os::PathFromUtf8(path), error).type();
    return type == std::filesystem::file_type::fifo     ? Message::NamedPipe
           : type == std::filesystem::file_type::socket ? Message::Socket
                                                        : Message::Device;
}

// "File no found" already says that there is no such file.
bool SaysNotFound(int code) {
    return std::system_category().default_error_condition(code) ==
           std::errc::no_such_file_or_directory;
}

// "2026-12-08T14:02:11Z" as "2026-12-08 14:02". The journal is a text file anyone can edit: a
// time of any other form is shown whole, escaped like a name.
std::string ShortTime(const std::string& time) {
    const bool usual =
        time.size() >= 16 && time[10] == 'T' &&
        std::all_of(time.begin(), time.begin() + 16, [](char c) { return c >= 0x20 && c < 0x7F; });
    if (!usual) {
        return DisplayName(time);
    }
    std::string shown = time.substr(0, 16);
    shown[10] = ' ';
    return shown;
}

// What the stream itself is, after the kind; a stream its label's family cannot decode is said
// on a line of its own.
void PrintStreamLines(const FileReport& report, int language, std::FILE* out) {
    PutLine(out, LabelledLine(language, Message::StreamLabel,
                              video::StreamSummary(report.Stream, language)));
    if (const std::string warning = video::MismatchWarning(report.Stream, language);
        !warning.empty()) {
        PutLine(out, LabelledLine(language, Message::WarningLabel, warning));
    }
    for (const audio::AudioFacts& track : report.Audio) {
        PutLine(out, "  " + audio::AudioLine(track, language));
    }
    if (report.Rates.Interleave) {
        PutLine(out, "  " + check::InterleaveLine(*report.Rates.Interleave, language));
    }
}

void PrintCheckLines(const FileReport& report, int language, bool quiet, std::FILE* stream) {
    for (const std::string& line : CheckLines(report, quiet, language)) {
        PutLine(stream, line);
    }
}

void PrintJournalLines(const FileReport& report, int language, bool quiet, std::FILE* out) {
    if (quiet) {
        return;
    }
    if (report.Original.Found) {
        const RecordedOriginal& original = report.Original;
        PutLine(out, Fill(MessageText(language, Message::OriginalLine),
                          DisplayKindName(original.Kind, language),
                          CodesText(report, original.Codes.Handler, original.Codes.Compression),
                          ShortTime(original.Time)));
    }
    if (report.Original.Interrupted) {
        PutLine(out, Fill(MessageText(language, Message::InterruptedLine), ShellWord(report.Path)));
    }
    if ((report.Original.Found || report.Original.Interrupted) && !report.Journal.empty()) {
        PutLine(out, LabelledLine(language, Message::JournalLabel, DisplayName(report.Journal)));
    }
}

} // namespace

namespace {

// Which track of the file was read, and why its code cannot change where it cannot.
void PrintTrackLines(const FileReport& report, std::FILE* out) {
    const ContainerFacts& found = report.Container;
    std::string line = "  Matroska, track " + std::to_string(found.Track) + " (" +
                       DisplayName(found.CodecId) + ")";
    if (!found.Choice.empty()) {
        line += ": " + found.Choice;
    }
    PutLine(out, line);
    if (!found.WriteRefusal.empty()) {
        PutLine(out, "  " + DisplayName(found.WriteRefusal));
    }
}

// The kinds that would make a lying label tell the truth, or which Microsoft versions the stream
// may be when its headers cannot say: then no repair is offered.
void PrintRepairLine(const FileReport& report, int language, std::FILE* out) {
    const CodecKind label = JudgedKind(report);
    std::string names;
    for (const CodecKind kind : check::RepairTargets(label, report.Stream)) {
        names += (names.empty() ? "" : ", ") + std::string(KindName(kind));
    }
    if (!names.empty()) {
        const char* family = check::FamilyName(check::RepairFamily(label, report.Stream));
        PutLine(out,
                LabelledLine(language, Message::RepairLabel,
                             Fill(MessageText(language, Message::RepairTargets), names, family)));
        return;
    }
    const std::string versions =
        video::MsVersionNames(check::UndecidedVersions(label, report.Stream), language);
    if (!versions.empty()) {
        PutLine(out, LabelledLine(language, Message::RepairLabel,
                                  Fill(MessageText(language, Message::RepairUndecided), versions)));
    }
}

} // namespace

std::string SystemReason(const FileReport& report, int language) {
    if (report.SystemError == 0) {
        return {};
    }
    if (report.SystemError == os::kNotRegularFile) {
        return Fill(MessageText(language, Message::NotRegularFile),
                    MessageText(language, TypeOf(report.Path)));
    }
    return os::SystemErrorText(report.SystemError);
}

std::string StatusText(ConversionStatus status, CodecKind kind, int language) {
    if (status == kStatusDone && (kind == kFFmpegKind || kind == kMp4vKind)) {
        return KindName(kind);
    }
    const int number = StatusTextNumber(status, kind);
    if (number == 0 && IsKnownKind(kind)) {
        return CodecNames[kind];
    }
    return LocalizedText(language, number);
}

std::string CodesText(const FileReport& report, FourCC handler, FourCC compression) {
    return (report.Container.Codes < 2 ? std::string() : FourCCToString(handler) + "/") +
           FourCCToString(compression);
}

std::string ReportStatusText(const FileReport& report, int language) {
    std::string text = StatusText(report.Status, report.Kind, language);
    if (report.RelaxedKind != kNoKind) {
        const std::string codes = CodesText(report, report.Handler, report.Compression);
        text += ' ';
        text +=
            Fill(MessageText(language, Message::RelaxedHint), codes, KindName(report.RelaxedKind));
    }
    return text;
}

std::string DisplayKindName(CodecKind kind, int language) {
    return IsRecognisedKind(kind) ? std::string(vidtag::KindName(kind))
                                  : LocalizedText(language, 6);
}

std::string TargetNames(CodecKind kind, int language) {
    const TargetList& targets = OfferedTargets(kind);
    if (targets.Count == 0) {
        return MessageText(language, Message::NoTargets);
    }
    std::string names;
    for (const CodecKind target : targets.View()) {
        names += names.empty() ? "" : ", ";
        names += CodecNames[target];
    }
    if (targets.Locked) {
        names += std::string(" ") + MessageText(language, Message::Locked);
    }
    return names;
}

namespace {

// An index job's lines: what recovery did first, then the outcome.
void PrintIndexLines(const FileReport& report, bool quiet, std::FILE* stream) {
    const IndexReport& index = *report.Index;
    const std::string prefix = DisplayName(report.Path) + ": ";
    const bool failed = report.Failed();
    if (!index.Note.empty() && (!quiet || failed)) {
        PutLine(stream, prefix + index.Note);
    }
    if (!quiet || failed) {
        PutLine(stream, prefix + index.Outcome);
    }
}

void PrintFileText(const FileReport& report, int language, bool quiet, std::FILE* out,
                   std::FILE* err);

} // namespace

void PrintText(const FileReport& report, int language, bool quiet, std::FILE* out, std::FILE* err) {
    std::FILE* const stream = report.Failed() ? err : out;
    if (report.Index && !report.Index->Undo) {
        PrintIndexLines(report, quiet, stream);
        return;
    }
    PrintFileText(report, language, quiet, out, err);
    if (report.Index) {
        PrintIndexLines(report, quiet, stream);
    }
}

namespace {

void PrintFileText(const FileReport& report, int language, bool quiet, std::FILE* out,
                   std::FILE* err) {
    const std::string prefix = DisplayName(report.Path) + ": ";
    std::string now = ReportStatusText(report, language);
    if (os::IsSharingViolation(report.SystemError)) {
        now = std::string(MessageText(language, Message::InUse)) + " (" + now + ")";
    } else if (report.SystemError != 0 && !SaysNotFound(report.SystemError)) {
        now += ": " + SystemReason(report, language);
    }
    // Errors and warnings may quote the file's own text (a Matroska CodecID or DocType): they are
    // shown as names are. All lines of one file go to one stream, so that a redirected stream
    // never keeps a line without the name line it belongs to. Warnings and notes are not failures:
    // quiet drops them.
    const bool failed = report.Failed();
    std::FILE* const stream = failed ? err : out;
    if (report.ArgumentOnly) {
        PutLine(stream, prefix + DisplayName(report.Error));
        return;
    }
    if (!report.Conversion) {
        if (!quiet || failed) {
            PutLine(stream, prefix + now);
        }
        if (!quiet && report.Status == kStatusDone) {
            PrintStreamLines(report, language, stream);
        }
        PrintCheckLines(report, language, quiet, stream);
        if (!quiet && IsRecognisedKind(report.Kind) && report.Status == kStatusDone) {
            PutLine(stream, LabelledLine(language, Message::TargetsLabel,
                                         TargetNames(report.Kind, language)));
        }
        if (!quiet && report.Status == kStatusDone) {
            PrintRepairLine(report, language, stream);
        }
        PrintJournalLines(report, language, quiet, stream);
        if (!quiet && report.Container.Track != 0 && report.Status == kStatusDone) {
            PrintTrackLines(report, stream);
        }
        if (!quiet && !report.Warning.empty()) {
            PutLine(stream, prefix + DisplayName(report.Warning));
        }
        if (!report.Error.empty()) {
            PutLine(stream, prefix + DisplayName(report.Error));
        }
        return;
    }
    if (!report.Note.empty() && (!quiet || failed)) {
        PutLine(stream, prefix + report.Note);
    }
    if (!report.Remark.empty() && (!quiet || failed)) {
        PutLine(stream, prefix + report.Remark);
    }
    // A restore refused because the file changed, or because the journal's record of it cannot
    // be trusted, says why, once, instead of the bare status; a system error keeps both.
    const bool journalRefusal = report.Status == kStatusFileChanged ||
                                (report.Status == kStatusCannotWrite && report.SystemError == 0);
    if (report.Restore && journalRefusal && !report.Error.empty()) {
        PutLine(stream, prefix + DisplayName(report.Error));
        return;
    }
    // A conversion that went through but left a warning (the time not kept) still says what
    // was written, before the warning.
    const bool done =
        report.Converted && report.Status == kStatusDone && report.Kind == report.ToKind;
    // A restore with nothing recorded has said so in its note, and changed nothing.
    const bool nothingToRestore = report.Restore && !report.Converted && !report.Original.Found;
    if (report.Status != kStatusDone || (report.Kind == kUnknownKind && !report.Restore)) {
        PutLine(stream, prefix + now);
    } else if ((!quiet || failed) && (report.Error.empty() || done) && !nothingToRestore) {
        std::string line =
            prefix + DisplayKindName(report.FromKind, language) + " -> " +
            DisplayKindName(report.Converted ? report.Kind : report.ToKind, language);
        if (report.Converted && report.Restore) {
            line += " (" + CodesText(report, report.Handler, report.Compression) + ")";
        }
        if (report.DryRun) {
            line += std::string(" ") + MessageText(language, Message::DryRun);
        }
        PutLine(stream, line);
    }
    if (!quiet && !report.Warning.empty() && (report.Converted || (report.DryRun && !failed))) {
        PutLine(stream, prefix + DisplayName(report.Warning));
    }
    if (!report.Error.empty()) {
        PutLine(stream, prefix + DisplayName(report.Error));
    }
    PrintCheckLines(report, language, quiet && !failed, stream);
}

} // namespace

void PrintKindList(bool json, std::FILE* out, int language) {
    std::set<CodecKind> listed;
    int familyNumber = 0;
    for (CodecKind first = kFirstKind; first <= kLastKind; ++first) {
        if (listed.count(first) != 0) {
            continue;
        }
        ++familyNumber;
        if (!json) {
            PutLine(out,
                    (familyNumber > 1 ? "\nfamily " : "family ") + std::to_string(familyNumber));
        }
        const std::set<CodecKind> family = FamilyOf(first);
        std::vector<CodecKind> members(family.begin(), family.end());
        // Kind 15 converts into its family, but no kind converts to it.
        if (family.count(OfferedTargets(kFFmpegKind).Kinds[0]) != 0) {
            members.push_back(kFFmpegKind);
        }
        for (const CodecKind kind : members) {
            listed.insert(kind);
            const bool relaxedOnly = kind == kFFmpegKind;
            const CodePair pair =
                relaxedOnly ? CodePair{kFFmpegCode, kFFmpegCode} : CodePairOf(kind);
            if (json) {
                nlohmann::ordered_json line;
                line["kind"] = kind;
                line["kind_name"] = KindName(kind);
                line["family"] = familyNumber;
                line["handler"] = FourCCToString(pair.Handler);
                line["compression"] = FourCCToString(pair.Compression);
                line["targets"] = nlohmann::json::array();
                for (const CodecKind target : OfferedTargets(kind).View()) {
                    line["targets"].push_back(CodecNames[target]);
                }
                line["locked"] = OfferedTargets(kind).Locked;
                if (relaxedOnly) {
                    line["relaxed_only"] = true;
                }
                PutLine(out, line.dump());
                continue;
            }
            char row[96];
            std::snprintf(row, sizeof row, "  %2d  %-20s %s  %s", kind, KindName(kind),
                          FourCCToString(pair.Handler).c_str(),
                          FourCCToString(pair.Compression).c_str());
            PutLine(out, relaxedOnly
                             ? std::string(row) + "  " + MessageText(language, Message::RelaxedOnly)
                             : std::string(row));
        }
    }
}

} // namespace vidtag::cli
