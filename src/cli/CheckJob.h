#pragma once

#include "FileJob.h"
#include "check/Profiles.h"

#include <functional>
#include <span>

namespace vidtag::cli {

// Adds the profiles' verdict on the file as analysed, its texts in the language given: with
// several profiles, one verdict for them all.
void AttachCheck(FileReport& report, std::span<const check::Profile> profiles, int language);

// Whether an analysis with --check found a file that does not play as it is.
bool FailsCheck(const FileReport& report);

// What a conversion with --check decides once the file is analysed. With autoTarget the target
// is the verdict's own: a retag file goes to its retag_to, a file that plays stays as it is.
// Otherwise the file goes to the asked target only when it would play after that retag. Any
// other file is refused with the verdict's problems.
std::function<bool(FileReport&)> CheckDecision(std::span<const check::Profile> profiles,
                                               bool autoTarget, int language);

} // namespace vidtag::cli
