#pragma once

#include "video/StreamFacts.h"

#include <nlohmann/json.hpp>

namespace vidtag::cli {

// The "stream" object of a JSON line. Its names are read by checks outside the project: they
// never change. A field that could not be read is null; the msmpeg4 syntaxes and "unknown" carry
// only the fields every stream has.
nlohmann::ordered_json StreamObject(const video::StreamFacts& facts);

} // namespace vidtag::cli
