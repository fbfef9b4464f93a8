#pragma once

#include "FileJob.h"

#include <string>

namespace vidtag::cli {

// Rebuilds (or, dry, plans) the index of one file and words the result.
FileReport RebuildIndexFile(const std::string& path, const ConvertRequest& request, int language);

// A restore's undoing of the file's last index rebuild, when there was one to undo.
void AttachIndexUndo(FileReport& report, const IndexResult& undone, int language);

} // namespace vidtag::cli
