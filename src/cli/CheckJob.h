#pragma once

#include "FileJob.h"
#include "check/Profiles.h"

#include <functional>

namespace vidtag::cli {

// Adds the profile's verdict on the file as analysed, its texts in the language given.
void AttachCheck(FileReport& report, const check::Profile& profile, int language);

// Whether an analysis with --check found a file that does not play as it is.
bool FailsCheck(const FileReport& report);

// What a conversion with --check decides once the file is analysed. With autoTarget the target
// is the verdict's own: a retag file goes to its retag_to, a file that plays stays as it is.
// Otherwise the file goes to the asked target only when it would play after that retag. Any
// other file is refused with the verdict's problems.
std::function<bool(FileReport&)> CheckDecision(const check::Profile& profile, bool autoTarget,
                                               int language);

} // namespace vidtag::cli
