#pragma once

#include "FileJob.h"

#include <string>

namespace vidtag::cli {

// One line of JSON, without the newline, describing the file as the report leaves it.
std::string JsonLine(const FileReport& report, int language);

} // namespace vidtag::cli
