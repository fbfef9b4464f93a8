#include "check/MultiCheck.h"

#include "check/CheckTexts.h"
#include "texts/TextFill.h"

#include <algorithm>

namespace vidtag::check {

namespace {

// Only the label stands between the file and the player, if anything does.
bool LabelOnly(const CheckResult& result) {
    return result.Outcome == Verdict::Plays || result.Outcome == Verdict::Retag ||
           (result.Outcome == Verdict::Reencode &&
            std::all_of(result.Problems.begin(), result.Problems.end(),
                        [](const Problem& p) { return std::string_view(p.Id) == "label"; }));
}

bool AllAccept(std::span<const Profile> profiles, FourCC code) {
    return std::all_of(profiles.begin(), profiles.end(),
                       [code](const Profile& p) { return AcceptsCode(p, code); });
}

// The first code of the family, in the profiles' own order, that every profile accepts; 0 for
// none.
FourCC CommonCode(std::span<const Profile> profiles, int family) {
    for (const Profile& profile : profiles) {
        for (const FourCC code : profile.Codes.value_or(std::vector<FourCC>{})) {
            if (FamilyOfCode(code) == family && AllAccept(profiles, code)) {
                return code;
            }
        }
    }
    return 0;
}

// "lg-webos wants DX50, samsung-tizen MP4V".
std::string Wants(std::span<const Profile> profiles, int family) {
    std::string text;
    for (const Profile& profile : profiles) {
        const auto& codes = profile.Codes.value_or(std::vector<FourCC>{});
        const auto first = std::find_if(codes.begin(), codes.end(), [family](FourCC code) {
            return FamilyOfCode(code) == family;
        });
        if (first != codes.end()) {
            text += (text.empty() ? "" : ", ") + profile.Name + (text.empty() ? " wants " : " ") +
                    FourCCToString(*first);
        }
    }
    return text;
}

std::string Joined(std::span<const CheckResult> results, std::string CheckResult::*field) {
    std::string text;
    for (const CheckResult& result : results) {
        text += (text.empty() ? "" : ",") + result.*field;
    }
    return text;
}

// The label problems of the household as one: plays, a retag every player takes, or why none.
void DecideLabel(CodecKind kind, std::span<const Profile> profiles, CheckResult& combined,
                 int language) {
    const int family = FamilyOf(kind);
    combined.Problems.clear();
    combined.Outcome = Verdict::Plays;
    if (std::all_of(profiles.begin(), profiles.end(),
                    [kind](const Profile& p) { return AcceptsKind(p, kind); })) {
        return;
    }
    const FourCC common = CommonCode(profiles, family);
    const CodecKind target = common != 0 ? KindOfCode(common) : kNoKind;
    if (target != kNoKind && FamilyOf(target) == family) {
        combined.Outcome = Verdict::Retag;
        combined.RetagTo = target;
        combined.Problems.push_back({"label",
                                     Fill(CheckTextOf(language, CheckText::NotAnAcceptedCode),
                                          KindName(kind), KindName(target)),
                                     Fix::Retag});
        return;
    }
    combined.Outcome = Verdict::Reencode;
    combined.Problems.push_back(
        common != 0
            ? Problem{"label",
                      Fill(CheckTextOf(language, CheckText::CodeNotWritten), KindName(kind),
                           FourCCToString(common)),
                      Fix::Reencode}
            : Problem{"no_common_code",
                      Fill(CheckTextOf(language, profiles.size() == 2 ? CheckText::NoCommonCode
                                                                      : CheckText::NoCommonCodeAll),
                           Wants(profiles, family)),
                      Fix::Reencode});
}

// The verdict of a profile that retags out of the label's family: the label lies, and only a kind
// of the stream's own family repairs it. nullptr when no result does.
const CheckResult* RepairOf(CodecKind kind, std::span<const CheckResult> results) {
    const auto found = std::find_if(results.begin(), results.end(), [kind](const CheckResult& r) {
        return r.Outcome == Verdict::Retag && FamilyOf(r.RetagTo) != FamilyOf(kind);
    });
    return found != results.end() ? &*found : nullptr;
}

// A lying label repaired for the household: to a kind of the stream's family that every player
// takes. Players without a code list take any, and the first profile's repair stands for them.
void DecideRepair(const CheckResult& repair, std::span<const Profile> profiles,
                  CheckResult& combined, int language) {
    const int family = FamilyOf(repair.RetagTo);
    const FourCC common = CommonCode(profiles, family);
    const bool anyCode =
        std::all_of(profiles.begin(), profiles.end(), [](const Profile& p) { return !p.Codes; });
    const CodecKind target = common != 0 ? KindOfCode(common) : anyCode ? repair.RetagTo : kNoKind;
    combined.Problems = {repair.Problems.front()};
    if (target != kNoKind && FamilyOf(target) == family) {
        combined.Outcome = Verdict::Retag;
        combined.RetagTo = target;
        return;
    }
    combined.Outcome = Verdict::Reencode;
    combined.Problems.push_back(
        {"no_common_code",
         Fill(CheckTextOf(language, profiles.size() == 2 ? CheckText::NoCommonCode
                                                         : CheckText::NoCommonCodeAll),
              Wants(profiles, family)),
         Fix::Reencode});
}

} // namespace

CheckResult CombineResults(CodecKind kind, std::span<const Profile> profiles,
                           std::span<const CheckResult> results, int language) {
    if (results.size() == 1 || results.empty()) {
        return results.empty() ? CheckResult{} : results.front();
    }
    CheckResult combined = results.front();
    combined.ProfileName = Joined(results, &CheckResult::ProfileName);
    combined.ProfileRef = Joined(results, &CheckResult::ProfileRef);
    combined.Problems.clear();
    combined.Notes.clear();
    combined.Command.clear(); // one profile's command need not serve the others
    combined.RetagTo = kNoKind;
    combined.Outcome = Verdict::Plays;
    for (const CheckResult& result : results) {
        combined.Outcome = std::max(combined.Outcome, result.Outcome);
        for (const Problem& problem : result.Problems) {
            combined.Problems.push_back(
                {problem.Id, result.ProfileName + ": " + problem.Text, problem.Needs});
        }
        for (const std::string& note : result.Notes) {
            if (std::find(combined.Notes.begin(), combined.Notes.end(), note) ==
                combined.Notes.end()) {
                combined.Notes.push_back(note);
            }
        }
        if (combined.UnknownReason.empty()) {
            combined.UnknownReason = result.UnknownReason;
        }
    }
    // The index rebuild's command is the same for every profile.
    for (const CheckResult& result : results) {
        if (combined.Outcome == Verdict::RebuildIndex && result.Outcome == Verdict::RebuildIndex) {
            combined.Command = result.Command;
        }
    }
    if (std::all_of(results.begin(), results.end(), LabelOnly) && FamilyOf(kind) != 0) {
        if (const CheckResult* repair = RepairOf(kind, results)) {
            DecideRepair(*repair, profiles, combined, language);
        } else {
            DecideLabel(kind, profiles, combined, language);
        }
    }
    // What a retag would change in some players says nothing when no retag is made.
    if (combined.Outcome != Verdict::Retag) {
        std::erase(combined.Notes, DecodeByCodeWarningText(language));
    }
    return combined;
}

} // namespace vidtag::check
