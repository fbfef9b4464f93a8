#pragma once

#include "video/StreamFacts.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace vidtag::cli {

// A value, or null where it could not be read or is not set.
template <typename T> nlohmann::ordered_json OptionalJson(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// The "stream" object of a JSON line. Its names are read by checks outside the project: they
// never change. A field that could not be read is null; the msmpeg4 syntaxes and "unknown" carry
// only the fields every stream has.
nlohmann::ordered_json StreamObject(const video::StreamFacts& facts);

} // namespace vidtag::cli
