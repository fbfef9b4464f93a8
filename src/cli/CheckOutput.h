#pragma once

#include "FileJob.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace vidtag::cli {

// The lines --check adds to a file's text: "  divx-home-theater: will not play: QPel (needs
// re-encoding)", then its notes. An analysis that needs a retag names the command that does it.
// Quiet, only a file that does not play says so, on one line with its name.
std::vector<std::string> CheckLines(const FileReport& report, bool quiet, int language);

// The "check" object of a JSON line. Its names are read by scripts: they never change.
nlohmann::ordered_json CheckObject(const check::CheckResult& result);

// The built-in profiles and the user's, with their limits and where each comes from, as a table
// or as one JSON object per profile. 0, or 2 after naming a user's profile file that is wrong.
int PrintProfileList(bool json, std::FILE* out, int language);

} // namespace vidtag::cli
