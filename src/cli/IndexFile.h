#pragma once

#include "FileJob.h"

#include <string>

namespace vidtag::cli {

// Rebuilds (or, dry, plans) the index of one file and words the result.
FileReport RebuildIndexFile(const std::string& path, const ConvertRequest& request, int language);

// A restore of one file: the codes recorded at its present length, then its last index rebuild
// undone and, when one was, the codes recorded before that rebuild. The report tells both.
FileReport RestoreWithIndex(const std::string& path, const ConvertRequest& request, int language);

} // namespace vidtag::cli
