#include "video/StreamText.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace vidtag::video {

namespace {

struct ProfileRange {
    std::uint8_t First;
    std::uint8_t Last;
    std::uint8_t FirstLevel;
    const char* Name;
};

// profile_and_level_indication: each profile's codes with the level of the first.
constexpr std::array<ProfileRange, 24> kProfiles{{
    {0x01, 0x03, 1, "Simple"},
    {0x10, 0x12, 0, "Simple Scalable"},
    {0x21, 0x22, 1, "Core"},
    {0x32, 0x34, 2, "Main"},
    {0x42, 0x42, 2, "N-bit"},
    {0x51, 0x53, 1, "Scalable Texture"},
    {0x61, 0x62, 1, "Simple Face Animation"},
    {0x63, 0x64, 1, "Simple FBA"},
    {0x71, 0x72, 1, "Basic Animated Texture"},
    {0x81, 0x82, 1, "Hybrid"},
    {0x91, 0x94, 1, "Advanced Real Time Simple"},
    {0xA1, 0xA3, 1, "Core Scalable"},
    {0xB1, 0xB4, 1, "Advanced Coding Efficiency"},
    {0xC1, 0xC2, 1, "Advanced Core"},
    {0xD1, 0xD3, 1, "Advanced Scalable Texture"},
    {0xE1, 0xE4, 1, "Simple Studio"},
    {0xE5, 0xE8, 1, "Core Studio"},
    {0xF0, 0xF5, 0, "Advanced Simple"},
    {0xF8, 0xFD, 0, "Fine Granularity Scalable"},
    // Levels added later, out of order.
    {0x04, 0x04, 0, "Simple @ L4a"},
    {0x05, 0x05, 5, "Simple"},
    {0x06, 0x06, 6, "Simple"},
    {0x08, 0x08, 0, "Simple"},
    {0xF7, 0xF7, 0, "Advanced Simple @ L3b"},
}};

// video_object_type_indication 1 to 18, named as the profile that has that object type first.
constexpr std::array<const char*, 19> kObjectTypes{"",
                                                   "Simple",
                                                   "Simple Scalable",
                                                   "Core",
                                                   "Main",
                                                   "N-bit",
                                                   "Basic Animated Texture",
                                                   "Animated 2D Mesh",
                                                   "Simple Face Animation",
                                                   "Still Scalable Texture",
                                                   "Advanced Real Time Simple",
                                                   "Core Scalable",
                                                   "Advanced Coding Efficiency",
                                                   "Advanced Scalable Texture",
                                                   "Simple FBA",
                                                   "Simple Studio",
                                                   "Core Studio",
                                                   "Advanced Simple",
                                                   "Fine Granularity Scalable"};

std::string Number(std::uint32_t value) {
    return std::to_string(value);
}

std::string Heading(const StreamFacts& facts) {
    switch (facts.StreamSyntax) {
    case Syntax::Unknown:
        return "no video frames read";
    case Syntax::MsMpeg4V1:
        return "Microsoft MPEG-4 V1";
    case Syntax::MsMpeg4:
        return "Microsoft MPEG-4 (no MPEG-4 headers)";
    case Syntax::Mpeg4:
        break;
    }
    std::string name;
    if (facts.ProfileLevel) {
        name = ProfileLevelName(*facts.ProfileLevel);
    }
    if (name.empty() && facts.ObjectType && *facts.ObjectType < kObjectTypes.size()) {
        name = kObjectTypes[*facts.ObjectType];
    }
    return name.empty() ? "MPEG-4" : "MPEG-4 " + name;
}

void Append(std::string& line, std::string_view separator, const std::string& part) {
    if (part.empty()) {
        return;
    }
    line += separator;
    line += part;
}

std::string Picture(const StreamFacts& facts) {
    std::string text;
    if (facts.Width && facts.Height) {
        text = Number(*facts.Width) + "x" + Number(*facts.Height);
    }
    if (facts.Fps && *facts.Fps > 0) {
        Append(text, text.empty() ? "" : ", ", DecimalText(*facts.Fps) + " fps");
    }
    return text;
}

std::string Frames(const StreamFacts& facts) {
    std::string text;
    if (facts.Vops.B > 0) {
        text = "B-frames";
    }
    if (facts.Packed) {
        Append(text, text.empty() ? "" : ", ", "packed");
    }
    if (facts.MaxBRun > 0) {
        text += ", up to " + Number(facts.MaxBRun) + " in a row";
    }
    return text;
}

std::string Tools(const StreamFacts& facts) {
    std::string text;
    auto add = [&text](bool present, const std::string& name) {
        if (present) {
            Append(text, text.empty() ? "" : ", ", name);
        }
    };
    add(facts.Interlaced.value_or(false), "interlaced");
    add(facts.Qpel.value_or(false), "QPel");
    const Sprite sprite = facts.SpriteKind.value_or(Sprite::None);
    const std::string points =
        facts.WarpPoints ? " (" + Number(*facts.WarpPoints) + " points)" : "";
    add(sprite == Sprite::Gmc, "GMC" + points);
    add(sprite == Sprite::Static, "static sprite" + points);
    add(facts.MpegQuant.value_or(false), "MPEG quantisation");
    add(facts.CustomMatrix.value_or(false), "custom matrices");
    add(facts.DataPartitioned.value_or(false), "data partitioning");
    add(facts.Rvlc.value_or(false), "RVLC");
    return text;
}

std::string DottedText(std::uint32_t version) {
    return Number(version / 1000000) + "." + Number(version / 1000 % 1000) + "." +
           Number(version % 1000);
}

std::string EncoderText(const StreamFacts& facts) {
    const std::uint32_t version = facts.EncoderVersion;
    const std::string build = facts.EncoderBuild ? " build " + Number(facts.EncoderBuild) : "";
    switch (facts.EncoderName) {
    case Encoder::None:
        return "";
    case Encoder::DivX:
        return "encoder DivX " + Number(version) + build;
    case Encoder::XviD:
        return "encoder XviD " + Number(version);
    case Encoder::Lavc:
        return "encoder Lavc " + DottedText(version);
    case Encoder::FFmpeg:
        return "encoder FFmpeg" + (version ? DottedText(version).insert(0, 1, ' ') : "") + build;
    }
    return "";
}

} // namespace

std::string ProfileLevelName(std::uint8_t profileLevel) {
    for (const ProfileRange& range : kProfiles) {
        if (profileLevel < range.First || profileLevel > range.Last) {
            continue;
        }
        const std::string name = range.Name;
        if (name.find('@') != std::string::npos) {
            return name;
        }
        return name + " @ L" + Number(range.FirstLevel + (profileLevel - range.First));
    }
    return "";
}

std::string StreamSummary(const StreamFacts& facts) {
    std::string line = Heading(facts);
    Append(line, ", ", Picture(facts));
    if (facts.StreamSyntax == Syntax::Mpeg4) {
        Append(line, "; ", Frames(facts));
        Append(line, "; ", Tools(facts));
        Append(line, "; ", EncoderText(facts));
        if (facts.VolDamaged) {
            line += "; damaged VOL";
        }
    }
    return line;
}

std::string MismatchWarning(const StreamFacts& facts) {
    if (!facts.FamilyMismatch) {
        return "";
    }
    switch (facts.StreamSyntax) {
    case Syntax::MsMpeg4:
        return "the stream is Microsoft MPEG-4 (no MPEG-4 headers), not what the label says";
    case Syntax::MsMpeg4V1:
        return "the stream is Microsoft MPEG-4 V1, not what the label says";
    case Syntax::Mpeg4:
        return "the stream is MPEG-4 Part 2, not Microsoft MPEG-4 as the label says";
    case Syntax::Unknown:
        break;
    }
    return "";
}

std::string DecimalText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string result = text;
    while (!result.empty() && result.back() == '0') {
        result.pop_back();
    }
    if (!result.empty() && result.back() == '.') {
        result.pop_back();
    }
    return result;
}

} // namespace vidtag::video
