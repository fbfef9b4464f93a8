#pragma once

#include "audio/AudioFacts.h"
#include "video/StreamFacts.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

namespace vidtag::cli {

// A value, or null where it could not be read or is not set.
template <typename T> nlohmann::ordered_json OptionalJson(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// The "stream" object of a JSON line. Its names are read by checks outside the project: they
// never change. A field that could not be read is null; the msmpeg4 syntaxes and "unknown" carry
// only the fields every stream has.
nlohmann::ordered_json StreamObject(const video::StreamFacts& facts);

// The "audio" array: a track's codec, its format tag (AVI, A_MS/ACM) or codec id (Matroska),
// channels, sample rate, bitrate and VBR, null where unknown; "junk_bytes" and "contradicted"
// only where the first frame found them.
nlohmann::ordered_json AudioArray(const std::vector<audio::AudioFacts>& tracks);

} // namespace vidtag::cli
