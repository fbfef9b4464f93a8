#include "TextOutput.h"

#include "CliTexts.h"
#include "LocalizedTexts.h"

#include <nlohmann/json.hpp>

#include <set>

namespace vidtag::cli {

namespace {

void PutLine(std::FILE* stream, const std::string& line) {
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
}

// Each family is closed under its targets, so a kind and its targets make up its whole family.
std::set<CodecKind> FamilyOf(CodecKind kind) {
    std::set<CodecKind> family{kind};
    for (const CodecKind target : OfferedTargets(kind).View()) {
        family.insert(target);
    }
    return family;
}

// "2026-12-08T14:02:11Z" as "2026-12-08 14:02".
std::string ShortTime(const std::string& time) {
    std::string shown = time.substr(0, 16);
    if (shown.size() > 10 && shown[10] == 'T') {
        shown[10] = ' ';
    }
    return shown;
}

void PrintJournalLines(const FileReport& report, int language, bool quiet, std::FILE* out) {
    if (quiet) {
        return;
    }
    if (report.Original.Found) {
        const RecordedOriginal& original = report.Original;
        PutLine(out, Fill(MessageText(language, Message::OriginalLine),
                          KindName(original.Kind, language),
                          FourCCToString(original.Codes.Handler) + "/" +
                              FourCCToString(original.Codes.Compression),
                          ShortTime(original.Time)));
    }
    if (report.Original.Interrupted) {
        PutLine(out, Fill(MessageText(language, Message::InterruptedLine), report.Path));
    }
}

} // namespace

std::string StatusText(ConversionStatus status, CodecKind kind, int language) {
    const int number = StatusTextNumber(status, kind);
    if (number == 0 && IsKnownKind(kind)) {
        return CodecNames[kind];
    }
    return LocalizedText(language, number);
}

std::string KindName(CodecKind kind, int language) {
    return IsKnownKind(kind) ? std::string(CodecNames[kind]) : LocalizedText(language, 6);
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

void PrintText(const FileReport& report, int language, bool quiet, std::FILE* out, std::FILE* err) {
    const std::string prefix = report.Path + ": ";
    const std::string now = StatusText(report.Status, report.Kind, language);
    if (!report.Conversion) {
        if (!quiet || report.Failed()) {
            PutLine(report.Failed() ? err : out, prefix + now);
        }
        if (!quiet && IsKnownKind(report.Kind) && report.Status == kStatusDone) {
            PutLine(out, std::string("  ") + MessageText(language, Message::TargetsLabel) + ": " +
                             TargetNames(report.Kind, language));
        }
        PrintJournalLines(report, language, quiet, out);
        if (!report.Error.empty()) {
            PutLine(err, prefix + report.Error);
        }
        return;
    }
    if (!report.Note.empty()) {
        PutLine(err, prefix + report.Note);
    }
    if (report.Status != kStatusDone || (report.Kind == kUnknownKind && !report.Restore)) {
        PutLine(err, prefix + now);
    } else if (report.Error.empty() && !quiet) {
        std::string line = prefix + KindName(report.FromKind, language) + " -> " +
                           KindName(report.Converted ? report.Kind : report.ToKind, language);
        if (report.Converted && report.Restore) {
            line += " (" + FourCCToString(report.Handler) + "/" +
                    FourCCToString(report.Compression) + ")";
        }
        if (report.DryRun) {
            line += std::string(" ") + MessageText(language, Message::DryRun);
        }
        PutLine(out, line);
    }
    if (!report.Error.empty()) {
        PutLine(err, prefix + report.Error);
    }
}

void PrintKindList(bool json, std::FILE* out) {
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
        for (const CodecKind kind : FamilyOf(first)) {
            listed.insert(kind);
            const CodePair pair = CodePairOf(kind);
            if (json) {
                nlohmann::ordered_json line;
                line["kind"] = kind;
                line["kind_name"] = CodecNames[kind];
                line["family"] = familyNumber;
                line["handler"] = FourCCToString(pair.Handler);
                line["compression"] = FourCCToString(pair.Compression);
                line["targets"] = nlohmann::json::array();
                for (const CodecKind target : OfferedTargets(kind).View()) {
                    line["targets"].push_back(CodecNames[target]);
                }
                line["locked"] = OfferedTargets(kind).Locked;
                PutLine(out, line.dump());
                continue;
            }
            char row[96];
            std::snprintf(row, sizeof row, "  %2d  %-20s %s  %s", kind, CodecNames[kind],
                          FourCCToString(pair.Handler).c_str(),
                          FourCCToString(pair.Compression).c_str());
            PutLine(out, row);
        }
    }
}

} // namespace vidtag::cli
