#include "ProfileFile.h"

#include "os/FileLayer.h"
#include "os/Utf8Path.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

namespace vidtag::cli {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A device profile is a few hundred bytes; anything far larger is not one.
constexpr std::uintmax_t kMostBytes = 1 << 20;

constexpr std::array<std::string_view, 26> kFields{"name",
                                                   "containers",
                                                   "codes",
                                                   "matroska_codes",
                                                   "matroska_codec_ids",
                                                   "sizes",
                                                   "max_macroblocks_per_frame",
                                                   "max_macroblocks_per_second",
                                                   "vbv",
                                                   "avg_bitrate",
                                                   "peak_bitrate",
                                                   "max_b_frames",
                                                   "packed",
                                                   "interlace",
                                                   "qpel",
                                                   "gmc",
                                                   "mpeg_quant",
                                                   "audio_codecs",
                                                   "max_audio_channels",
                                                   "max_file_size",
                                                   "needs_index",
                                                   "audio_limits",
                                                   "max_audio_tracks",
                                                   "audio_containers",
                                                   "source",
                                                   "notes"};

// Reads one file's fields, naming the file and the field in whatever it throws.
class FieldReader {
  public:
    explicit FieldReader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void Fail(const std::string& field, const std::string& why) const {
        throw ProfileFileError(file_, field, why);
    }

    std::string Text(const Json& value, const std::string& field) const {
        if (!value.is_string()) {
            Fail(field, "not a text");
        }
        return value.get<std::string>();
    }

    bool Flag(const Json& value, const std::string& field) const {
        if (!value.is_boolean()) {
            Fail(field, "not true or false");
        }
        return value.get<bool>();
    }

    // A whole number from 0 to most; 8e6 is as good as 8000000.
    std::uint64_t Count(const Json& value, const std::string& field, std::uint64_t most) const {
        if (!value.is_number()) {
            Fail(field, "not a number");
        }
        const double number = value.get<double>();
        if (number < 0) {
            Fail(field, "a negative number");
        }
        if (value.is_number_float() && number != std::floor(number)) {
            Fail(field, "not a whole number");
        }
        if (number > static_cast<double>(most)) {
            Fail(field, "more than " + std::to_string(most));
        }
        return value.is_number_unsigned() ? value.get<std::uint64_t>()
                                          : static_cast<std::uint64_t>(number);
    }

    std::uint32_t Count32(const Json& value, const std::string& field) const {
        return static_cast<std::uint32_t>(
            Count(value, field, std::numeric_limits<std::uint32_t>::max()));
    }

    const Json& List(const Json& value, const std::string& field) const {
        if (!value.is_array()) {
            Fail(field, "not a list");
        }
        return value;
    }

    // Each item of the list in value, read by item(this, itemValue, "field[i]").
    template <typename Item>
    auto ListOf(const Json& value, const std::string& field, Item item) const {
        std::vector<decltype(item(this, value, field))> items;
        for (std::size_t i = 0; i < List(value, field).size(); ++i) {
            items.push_back(item(this, value[i], field + "[" + std::to_string(i) + "]"));
        }
        return items;
    }

    std::string Container(const Json& value, const std::string& field) const {
        const auto known = check::ContainerNames();
        const std::string name = Text(value, field);
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            Fail(field, "\"" + name + "\" is not a container Vidtag knows (avi, matroska)");
        }
        return name;
    }

    FourCC Code(const Json& value, const std::string& field) const {
        const std::string code = Text(value, field);
        const bool printable =
            std::all_of(code.begin(), code.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        if (code.size() != 4 || !printable) {
            Fail(field, "\"" + code + "\" is not four characters");
        }
        FourCC fourcc = 0;
        for (int at = 3; at >= 0; --at) {
            fourcc = (fourcc << 8) | static_cast<unsigned char>(code[static_cast<std::size_t>(at)]);
        }
        return fourcc;
    }

    // A CodecID that names a video codec: "V_" and printable characters.
    std::string CodecId(const Json& value, const std::string& field) const {
        const std::string id = Text(value, field);
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c > 0x20 && c < 0x7F; });
        if (id.rfind("V_", 0) != 0 || !printable) {
            Fail(field,
                 "\"" + id + "\" is not a video CodecID (V_ and letters, as V_MPEG4/ISO/ASP)");
        }
        return id;
    }

    check::SizeRate Size(const Json& value, const std::string& field) const {
        if (!value.is_object()) {
            Fail(field, "not an object with width, height and fps");
        }
        for (const auto& [key, item] : value.items()) {
            if (key != "width" && key != "height" && key != "fps") {
                Fail(field + "." + key, "unknown field");
            }
        }
        for (const char* key : {"width", "height", "fps"}) {
            if (!value.contains(key)) {
                Fail(field + "." + key, "missing: a size needs its width, height and fps");
            }
        }
        check::SizeRate size;
        size.Width = Count32(value["width"], field + ".width");
        size.Height = Count32(value["height"], field + ".height");
        if (!value["fps"].is_number()) {
            Fail(field + ".fps", "not a number");
        }
        size.Fps = value["fps"].get<double>();
        if (!(size.Fps > 0) || !std::isfinite(size.Fps)) {
            Fail(field + ".fps", size.Fps < 0 ? "a negative number" : "not above 0");
        }
        return size;
    }

    audio::AudioCodec AudioCodec(const Json& value, const std::string& field) const {
        const std::string name = Text(value, field);
        auto codec = audio::AudioCodec::Mp1;
        while (codec != audio::AudioCodec::Unknown && name != AudioCodecJsonName(codec)) {
            codec = static_cast<audio::AudioCodec>(static_cast<int>(codec) + 1);
        }
        if (codec == audio::AudioCodec::Unknown) {
            Fail(field, "\"" + name +
                            "\" is not an audio codec Vidtag knows (mp1, mp2, mp3, ac3, eac3, "
                            "dts, aac, pcm, adpcm, wma, flac, vorbis, opus)");
        }
        return codec;
    }

    // {"codec": "mp3", "max_channels": 2, "min_sample_rate": 8000, "max_sample_rate": 48000,
    // "max_bitrate": 320000}: the codec is needed, the limits are each optional.
    check::AudioLimit AudioLimit(const Json& value, const std::string& field) const {
        if (!value.is_object()) {
            Fail(field, "not an object with a codec and its limits");
        }
        if (!value.contains("codec") || value["codec"].is_null()) {
            Fail(field + ".codec", "missing: a row of limits needs its codec");
        }
        check::AudioLimit limit;
        for (const auto& [key, item] : value.items()) {
            const std::string at = field + "." + key;
            std::optional<std::uint32_t>* number = key == "max_channels"      ? &limit.MaxChannels
                                                   : key == "min_sample_rate" ? &limit.MinSampleRate
                                                   : key == "max_sample_rate" ? &limit.MaxSampleRate
                                                   : key == "max_bitrate"     ? &limit.MaxBitrate
                                                                              : nullptr;
            if (key == "codec") {
                limit.Codec = AudioCodec(item, at);
            } else if (number == nullptr) {
                Fail(at, "unknown field (a row takes codec, max_channels, min_sample_rate, "
                         "max_sample_rate and max_bitrate)");
            } else if (!item.is_null()) {
                *number = Count32(item, at);
            }
        }
        if (limit.MinSampleRate && limit.MaxSampleRate &&
            *limit.MinSampleRate > *limit.MaxSampleRate) {
            Fail(field + ".min_sample_rate", "above max_sample_rate");
        }
        return limit;
    }

    std::vector<check::AudioLimit> AudioLimits(const Json& value) const {
        std::vector<check::AudioLimit> limits;
        for (std::size_t i = 0; i < List(value, "audio_limits").size(); ++i) {
            const std::string field = "audio_limits[" + std::to_string(i) + "]";
            const check::AudioLimit limit = AudioLimit(value[i], field);
            if (std::any_of(limits.begin(), limits.end(), [&limit](const check::AudioLimit& row) {
                    return row.Codec == limit.Codec;
                })) {
                Fail(field + ".codec",
                     std::string("\"") + AudioCodecJsonName(limit.Codec) + "\" has a row already");
            }
            limits.push_back(limit);
        }
        return limits;
    }

    // One known field into the profile.
    void Field(const std::string& key, const Json& value, check::Profile& p) const {
        constexpr std::uint64_t kMost64 = std::numeric_limits<std::uint64_t>::max();
        if (key == "name") {
            p.Name = Text(value, key);
            if (p.Name.empty()) {
                Fail(key, "empty");
            }
        } else if (key == "containers") {
            p.Containers = ListOf(value, key, std::mem_fn(&FieldReader::Container));
        } else if (key == "codes") {
            p.Codes = ListOf(value, key, std::mem_fn(&FieldReader::Code));
        } else if (key == "matroska_codes") {
            p.MatroskaCodes = ListOf(value, key, std::mem_fn(&FieldReader::Code));
        } else if (key == "matroska_codec_ids") {
            p.MatroskaCodecIds = ListOf(value, key, std::mem_fn(&FieldReader::CodecId));
        } else if (key == "sizes") {
            p.SizeRates = ListOf(value, key, std::mem_fn(&FieldReader::Size));
        } else if (key == "max_macroblocks_per_frame") {
            p.MaxMacroblocksPerFrame = Count32(value, key);
        } else if (key == "max_macroblocks_per_second") {
            p.MaxMacroblocksPerSecond = Count32(value, key);
        } else if (key == "vbv") {
            p.VbvBufferBits = Count32(value, key);
        } else if (key == "avg_bitrate") {
            p.AvgBitrate = Count(value, key, kMost64);
        } else if (key == "peak_bitrate") {
            p.PeakBitrate = Count(value, key, kMost64);
        } else if (key == "max_b_frames") {
            p.MaxBRun = Count32(value, key);
        } else if (key == "packed") {
            p.PackedAllowed = Flag(value, key);
        } else if (key == "interlace") {
            p.InterlaceAllowed = Flag(value, key);
        } else if (key == "qpel") {
            p.QpelAllowed = Flag(value, key);
        } else if (key == "gmc") {
            p.GmcAllowed = Flag(value, key);
        } else if (key == "mpeg_quant") {
            p.MpegQuantAllowed = Flag(value, key);
        } else if (key == "audio_codecs") {
            p.AudioCodecs = ListOf(value, key, std::mem_fn(&FieldReader::AudioCodec));
        } else if (key == "max_audio_channels") {
            p.MaxAudioChannels = Count32(value, key);
        } else if (key == "max_file_size") {
            p.MaxFileSize = Count(value, key, kMost64);
        } else if (key == "needs_index") {
            p.NeedsIndex = Flag(value, key);
        } else if (key == "audio_limits") {
            p.AudioLimits = AudioLimits(value);
        } else if (key == "max_audio_tracks") {
            p.MaxAudioTracks = Count32(value, key);
        } else if (key == "audio_containers") {
            p.AudioContainers = ListOf(value, key, std::mem_fn(&FieldReader::Container));
        } else if (key == "source") {
            p.Sources = ListOf(value, key, std::mem_fn(&FieldReader::Text));
        } else if (key == "notes") {
            p.Notes = Text(value, key);
        }
    }

    check::Profile Profile(const Json& root) const {
        if (!root.is_object()) {
            Fail("", "not a JSON object");
        }
        check::Profile p;
        for (const auto& [key, value] : root.items()) {
            if (std::find(kFields.begin(), kFields.end(), key) == kFields.end()) {
                Fail(key, "unknown field (a misspelt limit would silently be no limit)");
            }
            // null is what --list-profiles --json writes for "no limit"; it means the same here.
            if (!value.is_null()) {
                Field(key, value, p);
            }
        }
        return p;
    }

  private:
    std::string file_;
};

std::string ReadText(const std::string& path) {
    const fs::path file = os::PathFromUtf8(path);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        throw ProfileFileError(path, "", error.message());
    }
    if (size > kMostBytes) {
        throw ProfileFileError(path, "", "larger than 1 MiB: not a profile file");
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw ProfileFileError(path, "", "cannot be read");
    }
    return text.str();
}

bool EndsWithJson(const std::string& text) {
    constexpr std::string_view kSuffix = ".json";
    if (text.size() < kSuffix.size()) {
        return false;
    }
    std::string tail = text.substr(text.size() - kSuffix.size());
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == kSuffix;
}

// A name that stays inside the folder: no separators, no "." or "..".
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos;
}

} // namespace

ProfileFileError::ProfileFileError(const std::string& file, const std::string& field,
                                   const std::string& why)
    : std::runtime_error("profile file " + file + (field.empty() ? "" : ", field " + field) + ": " +
                         why) {}

std::string UserProfileFolder() {
#ifdef _WIN32
    const std::string base = os::EnvironmentVariable("APPDATA");
    return base.empty() ? std::string()
                        : os::Utf8FromPath(os::PathFromUtf8(base) / "Vidtag" / "profiles");
#else
    const std::string config = os::EnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') {
        return os::Utf8FromPath(os::PathFromUtf8(config) / "vidtag" / "profiles");
    }
    const std::string home = os::EnvironmentVariable("HOME");
    return home.empty()
               ? std::string()
               : os::Utf8FromPath(os::PathFromUtf8(home) / ".config" / "vidtag" / "profiles");
#endif
}

check::Profile LoadProfileFile(const std::string& path) {
    const std::string text = ReadText(path);
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        throw ProfileFileError(
            path, "", "not valid JSON (syntax error at byte " + std::to_string(error.byte) + ")");
    }
    check::Profile profile = FieldReader(path).Profile(root);
    profile.Origin = check::ProfileOrigin::File;
    profile.Path = path;
    if (profile.Name.empty()) {
        profile.Name = os::Utf8FromPath(os::PathFromUtf8(path).stem());
    }
    return profile;
}

check::Profile ResolveProfile(const std::string& argument) {
    if (const check::Profile* builtIn = check::FindProfile(argument)) {
        return *builtIn;
    }
    if (EndsWithJson(argument)) {
        return LoadProfileFile(argument);
    }
    const std::string folder = UserProfileFolder();
    if (!folder.empty() && PlainName(argument)) {
        const fs::path file = os::PathFromUtf8(folder) / os::PathFromUtf8(argument + ".json");
        std::error_code error;
        if (fs::is_regular_file(file, error)) {
            return LoadProfileFile(os::Utf8FromPath(file));
        }
    }
    throw std::invalid_argument(
        "unknown profile \"" + argument + "\"; the profiles are: " + check::ProfileNames() +
        ", a FILE.json, or NAME for NAME.json in " +
        (folder.empty() ? std::string("the user's profile folder") : folder));
}

std::vector<check::Profile> UserProfiles() {
    std::vector<check::Profile> profiles;
    const std::string folder = UserProfileFolder();
    std::error_code error;
    if (folder.empty() || !fs::is_directory(os::PathFromUtf8(folder), error)) {
        return profiles;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator it(os::PathFromUtf8(folder), error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error) && EndsWithJson(os::Utf8FromPath(it->path().filename()))) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        profiles.push_back(LoadProfileFile(os::Utf8FromPath(file)));
    }
    return profiles;
}

} // namespace vidtag::cli
