#include "CheckJob.h"

#include "CliTexts.h"
#include "check/CheckTexts.h"
#include "check/ContainerCheck.h"
#include "check/MultiCheck.h"
#include "check/NativeTrack.h"
#include "check/Repair.h"
#include "check/TrackCheck.h"
#include "engine/RetagRule.h"

#include <algorithm>

namespace vidtag::cli {

namespace {

// A file the engine could not analyse has no stream to judge.
check::CheckResult CheckOne(const FileReport& report, CodecKind kind, const check::Profile& profile,
                            int language) {
    if (report.Status != kStatusDone) {
        check::CheckResult result;
        result.ProfileName = profile.Name;
        result.ProfileRef = profile.Path.empty() ? profile.Name : profile.Path;
        result.UnknownReason = check::CheckTextOf(language, check::CheckText::NotAnalysed);
        return result;
    }
    // A track whose CodecID names its codec is judged as the profile's own kind of that family,
    // its CodecID then deciding the label.
    const std::string& codecId = report.Container.CodecId;
    const bool native = report.NativeTrack();
    if (native) {
        kind = check::NativeKind(codecId, profile);
    }
    // What a remux or an audio fix labels the video with: the file's code, or for a track that
    // has none the code of the kind it is judged as.
    const FourCC code = native ? CodePairOf(kind).Compression : report.Compression;
    check::CheckResult result =
        check::CheckStream(kind, report.Stream, report.Rates, profile, report.Path, language);
    if (native) {
        check::JudgeCodecId(result, codecId, profile, report.Path, report.Container.VideoIndex,
                            language);
    }
    // The stream's verdict judges an AVI file's container; a profile that names another
    // container among its own judges that file's track as it is, else it is to be remuxed.
    const std::string& container = report.Container.Name;
    if (!container.empty() && container != check::ContainerNames()[0] &&
        !check::AcceptsContainer(profile, container)) {
        check::AddContainerProblem(result, code, report.Path, language,
                                   report.Container.VideoIndex);
    }
    // The conversion refuses what it could not recognise again: no retag is offered then.
    if (result.Outcome == check::Verdict::Retag && !native &&
        !HandlerAloneMakes(result.RetagTo, report.CompressionPos, report.Compression)) {
        check::ForbidRetag(
            result, kind,
            Fill(MessageText(language, Message::NoFormatChunk), KindName(result.RetagTo)),
            language);
    }
    check::AddTrackProblems(result, report.Audio, report.FileSize, report.IndexRead, profile,
                            report.Path, code, language, container);
    return result;
}

// Each profile as it judges the file's container: a Matroska track's codes may be others.
check::CheckResult CheckAs(const FileReport& report, CodecKind kind,
                           std::span<const check::Profile> profiles, int language) {
    // Copied only where some profile has codes of its own for the file's container.
    std::vector<check::Profile> adjusted;
    std::span<const check::Profile> judged = profiles;
    if (std::any_of(profiles.begin(), profiles.end(), [&report](const check::Profile& p) {
            return check::HasOwnCodesFor(p, report.Container.Name);
        })) {
        for (const check::Profile& profile : profiles) {
            adjusted.push_back(check::ForContainer(profile, report.Container.Name));
        }
        judged = adjusted;
    }
    std::vector<check::CheckResult> results;
    for (const check::Profile& profile : judged) {
        results.push_back(CheckOne(report, kind, profile, language));
    }
    // A CodecID is no code a household could share: no common label is sought for it.
    return check::CombineResults(report.NativeTrack() ? kNoKind : kind, judged, results, language);
}

bool Offered(const FileReport& report, CodecKind to) {
    const auto targets = OfferedTargets(report.Kind).View();
    return std::find(targets.begin(), targets.end(), to) != targets.end() ||
           check::IsRepair(report.Kind, to, report.Stream);
}

std::string RefusalText(const check::CheckResult& result, bool autoTarget, int language) {
    const std::string profile = result.ProfileName;
    const auto say = [language](Message message) { return MessageText(language, message); };
    switch (result.Outcome) {
    case check::Verdict::Unknown:
        return Fill(say(Message::CheckCannotTell), profile, result.UnknownReason);
    case check::Verdict::Mislabelled:
        return Fill(say(Message::CheckMislabelled), profile);
    case check::Verdict::Retag:
        return Fill(say(Message::CheckStillNeedsRetag), profile, KindName(result.RetagTo));
    default:
        break;
    }
    return Fill(say(autoTarget ? Message::CheckNoRetagPlays : Message::CheckNotAfterRetag),
                profile);
}

bool Refuse(FileReport& report, bool autoTarget, int language) {
    report.Error = RefusalText(*report.Check, autoTarget, language);
    return false;
}

} // namespace

void AttachCheck(FileReport& report, std::span<const check::Profile> profiles, int language) {
    if (!report.ArgumentOnly) {
        report.Check = CheckAs(report, JudgedKind(report), profiles, language);
    }
}

bool FailsCheck(const FileReport& report) {
    return report.Check && !report.Conversion && report.Check->Outcome != check::Verdict::Plays;
}

std::function<bool(FileReport&)> CheckDecision(std::span<const check::Profile> profiles,
                                               bool autoTarget, int language) {
    return [profiles, autoTarget, language](FileReport& report) {
        if (autoTarget) {
            report.Check = CheckAs(report, JudgedKind(report), profiles, language);
            if (report.Check->Outcome == check::Verdict::Plays) {
                report.ToKind = report.Kind;
                return true;
            }
            if (report.Check->Outcome == check::Verdict::Retag) {
                report.ToKind = report.Check->RetagTo;
                return true;
            }
            return Refuse(report, true, language);
        }
        // A target the kind does not offer is refused as without --check, by name; the check is
        // then of the file as it is, not of a label it cannot have.
        if (report.ToKind != report.Kind && !Offered(report, report.ToKind)) {
            report.Check = CheckAs(report, report.Kind, profiles, language);
            return true;
        }
        report.Check = CheckAs(report, report.ToKind, profiles, language);
        return report.Check->Outcome == check::Verdict::Plays || Refuse(report, false, language);
    };
}

} // namespace vidtag::cli
