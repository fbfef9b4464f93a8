#pragma once

#include "engine/JobTypes.h"

#include <string>

namespace vidtag {

// Whether the named file exists, is not a folder, and can be opened for reading while others
// may read and write it.
bool FileIsReadable(const std::string& FileName) noexcept;

// Reads the file's codes, where they lie and the kind they make by the rule, and as much of the
// stream as asked. The status is 1 when the file cannot be read at all; the state's kinds are 14
// after any later failure. Throws only for want of memory.
Analysis AnalyseCodes(const std::string& fileName, ClassificationRule rule, Reading reading);

} // namespace vidtag
