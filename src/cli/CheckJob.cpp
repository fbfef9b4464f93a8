#include "CheckJob.h"

#include <algorithm>

namespace vidtag::cli {

namespace {

// A file the engine could not analyse has no stream to judge.
check::CheckResult CheckAs(const FileReport& report, CodecKind kind,
                           const check::Profile& profile) {
    if (report.Status != kStatusDone) {
        check::CheckResult result;
        result.ProfileName = profile.Name;
        result.UnknownReason = "the file could not be analysed";
        return result;
    }
    return check::CheckStream(kind, report.Stream, report.Rates, profile, report.Path);
}

bool Offered(CodecKind from, CodecKind to) {
    const auto targets = OfferedTargets(from).View();
    return std::find(targets.begin(), targets.end(), to) != targets.end();
}

std::string RefusalText(const check::CheckResult& result, bool autoTarget) {
    const std::string profile = result.ProfileName;
    switch (result.Outcome) {
    case check::Verdict::Unknown:
        return "not converted: whether it plays on " + profile + " cannot be told (" +
               result.UnknownReason + ")";
    case check::Verdict::Mislabelled:
        return "not converted: the label names another bit stream than the file holds, and no "
               "retag within its family makes it play on " +
               profile;
    case check::Verdict::Retag:
        return "not converted: it would still need a retag to " +
               std::string(KindName(result.RetagTo)) + " to play on " + profile;
    default:
        break;
    }
    return autoTarget ? "not converted: no retag makes it play on " + profile
                      : "not converted: it would not play on " + profile + " after this retag";
}

bool Refuse(FileReport& report, bool autoTarget) {
    report.Error = RefusalText(*report.Check, autoTarget);
    return false;
}

} // namespace

void AttachCheck(FileReport& report, const check::Profile& profile) {
    if (!report.ArgumentOnly) {
        report.Check = CheckAs(report, report.Kind, profile);
    }
}

bool FailsCheck(const FileReport& report) {
    return report.Check && !report.Conversion && report.Check->Outcome != check::Verdict::Plays;
}

std::function<bool(FileReport&)> CheckDecision(const check::Profile& profile, bool autoTarget) {
    return [&profile, autoTarget](FileReport& report) {
        if (autoTarget) {
            report.Check = CheckAs(report, report.Kind, profile);
            if (report.Check->Outcome == check::Verdict::Plays) {
                report.ToKind = report.Kind;
                return true;
            }
            if (report.Check->Outcome == check::Verdict::Retag) {
                report.ToKind = report.Check->RetagTo;
                return true;
            }
            return Refuse(report, true);
        }
        report.Check = CheckAs(report, report.ToKind, profile);
        // A target the kind does not offer is refused as without --check, by name.
        if (report.ToKind != report.Kind && !Offered(report.Kind, report.ToKind)) {
            return true;
        }
        return report.Check->Outcome == check::Verdict::Plays || Refuse(report, false);
    };
}

} // namespace vidtag::cli
