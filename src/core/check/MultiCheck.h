#pragma once

#include "check/Profiles.h"
#include "check/Verdict.h"

#include <span>

namespace vidtag::check {

// One verdict for a household of players: the worst of their verdicts, each problem named with
// its profile, and a retag only to a code that every profile accepts. When each would play
// after a retag but no code suits them all, the verdict says which code each wants. results
// holds the verdicts of a file labelled `kind`, one per profile and in the same order.
CheckResult CombineResults(CodecKind kind, std::span<const Profile> profiles,
                           std::span<const CheckResult> results, int language = 0);

} // namespace vidtag::check
