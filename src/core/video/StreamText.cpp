#include "video/StreamText.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

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

enum class Word : std::uint8_t {
    NoFrames,
    MsMpeg4V1,
    MsMpeg4,
    MsMpeg4Versions,
    Or,
    BFrames,
    Packed,
    InARow,
    Interlaced,
    Points,
    StaticSprite,
    MpegQuant,
    CustomMatrices,
    DataPartitioning,
    Encoder,
    Build,
    DamagedVol,
    IsMsMpeg4,
    IsMsMpeg4V1,
    IsMpeg4,
    UnknownData,
    OtherCodec,
    IsOtherCodec,
    Count
};

// The profile names and the tools' own names (QPel, GMC, RVLC) are the same in every language.
constexpr TextTable<Word> kWords{{
    {
        "no video frames read",
        "Microsoft MPEG-4 V1",
        "Microsoft MPEG-4 (no MPEG-4 headers)",
        "Microsoft MPEG-4 %1 (no MPEG-4 headers)",
        " or ",
        "B-frames",
        "packed",
        "up to %1 in a row",
        "interlaced",
        " (%1 points)",
        "static sprite",
        "MPEG quantisation",
        "custom matrices",
        "data partitioning",
        "encoder %1",
        " build %1",
        "damaged VOL",
        "the stream is Microsoft MPEG-4 (no MPEG-4 headers), not what the label says",
        "the stream is Microsoft MPEG-4 V1, not what the label says",
        "the stream is MPEG-4 Part 2, not Microsoft MPEG-4 as the label says",
        "unknown video data",
        "%1, not the MPEG-4 family",
        "the stream is %1, not the MPEG-4 family the label names",
    },
    {
        "видеокадры не прочитаны",
        "Microsoft MPEG-4 V1",
        "Microsoft MPEG-4 (без заголовков MPEG-4)",
        "Microsoft MPEG-4 %1 (без заголовков MPEG-4)",
        " или ",
        "B-кадры",
        "упакованные",
        "до %1 подряд",
        "чересстрочный",
        " (точек: %1)",
        "статический спрайт",
        "MPEG-квантование",
        "свои матрицы квантования",
        "разделение данных",
        "кодировщик %1",
        ", сборка %1",
        "VOL повреждён",
        "поток — Microsoft MPEG-4 (без заголовков MPEG-4), а не то, что называет метка",
        "поток — Microsoft MPEG-4 V1, а не то, что называет метка",
        "поток — MPEG-4 Part 2, а не Microsoft MPEG-4, как называет метка",
        "неизвестные видеоданные",
        "%1, не семейство MPEG-4",
        "поток — %1, а не семейство MPEG-4, которое называет метка",
    },
}};

// The words of one language.
struct Words {
    int Language = 0;

    std::string operator()(Word word, std::string_view value = {}) const {
        return Fill(TextOf(kWords, Language, word), value);
    }
};

std::string Number(std::uint32_t value) {
    return std::to_string(value);
}

std::string Heading(const Words& say, const StreamFacts& facts) {
    if (OutsideFamily(facts.StreamSyntax)) {
        return say(Word::OtherCodec, OtherCodecName(facts.StreamSyntax));
    }
    switch (facts.StreamSyntax) {
    case Syntax::Unknown:
        return say(facts.FramesRead > 0 ? Word::UnknownData : Word::NoFrames);
    case Syntax::MsMpeg4V1:
        return say(Word::MsMpeg4V1);
    case Syntax::MsMpeg4:
        return facts.MsVersions == 0
                   ? say(Word::MsMpeg4)
                   : say(Word::MsMpeg4Versions, MsVersionNames(facts.MsVersions, say.Language));
    default:
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

std::string Frames(const Words& say, const StreamFacts& facts) {
    std::string text;
    if (facts.Vops.B > 0) {
        text = say(Word::BFrames);
    }
    if (facts.Packed) {
        Append(text, text.empty() ? "" : ", ", say(Word::Packed));
    }
    if (facts.MaxBRun > 0) {
        text += ", " + say(Word::InARow, Number(facts.MaxBRun));
    }
    return text;
}

std::string Tools(const Words& say, const StreamFacts& facts) {
    std::string text;
    auto add = [&text](bool present, const std::string& name) {
        if (present) {
            Append(text, text.empty() ? "" : ", ", name);
        }
    };
    add(facts.Interlaced.value_or(false), say(Word::Interlaced));
    add(facts.Qpel.value_or(false), "QPel");
    const Sprite sprite = facts.SpriteKind.value_or(Sprite::None);
    const std::string points = facts.WarpPoints ? say(Word::Points, Number(*facts.WarpPoints)) : "";
    add(sprite == Sprite::Gmc, "GMC" + points);
    add(sprite == Sprite::Static, say(Word::StaticSprite) + points);
    add(facts.MpegQuant.value_or(false), say(Word::MpegQuant));
    add(facts.CustomMatrix.value_or(false), say(Word::CustomMatrices));
    add(facts.DataPartitioned.value_or(false), say(Word::DataPartitioning));
    add(facts.Rvlc.value_or(false), "RVLC");
    return text;
}

std::string DottedText(std::uint32_t version) {
    return Number(version / 1000000) + "." + Number(version / 1000 % 1000) + "." +
           Number(version % 1000);
}

std::string EncoderText(const Words& say, const StreamFacts& facts) {
    const std::uint32_t version = facts.EncoderVersion;
    const std::string build =
        facts.EncoderBuild ? say(Word::Build, Number(facts.EncoderBuild)) : "";
    switch (facts.EncoderName) {
    case Encoder::None:
        return "";
    case Encoder::DivX:
        return say(Word::Encoder, "DivX " + Number(version) + build);
    case Encoder::XviD:
        return say(Word::Encoder, "XviD " + Number(version));
    case Encoder::Lavc:
        return say(Word::Encoder, "Lavc " + DottedText(version));
    case Encoder::FFmpeg:
        return say(Word::Encoder,
                   "FFmpeg" + (version ? DottedText(version).insert(0, 1, ' ') : "") + build);
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

std::string StreamSummary(const StreamFacts& facts, int language) {
    const Words say{language};
    std::string line = Heading(say, facts);
    Append(line, ", ", Picture(facts));
    if (facts.StreamSyntax == Syntax::Mpeg4) {
        Append(line, "; ", Frames(say, facts));
        Append(line, "; ", Tools(say, facts));
        Append(line, "; ", EncoderText(say, facts));
        if (facts.VolDamaged) {
            line += "; " + say(Word::DamagedVol);
        }
    }
    if (!facts.FramesNote.empty()) {
        line += (facts.FramesRead == 0 ? " (" + facts.FramesNote + ")" : "; " + facts.FramesNote);
    }
    return line;
}

std::string MismatchWarning(const StreamFacts& facts, int language) {
    if (!facts.FamilyMismatch) {
        return "";
    }
    const Words say{language};
    if (OutsideFamily(facts.StreamSyntax)) {
        return say(Word::IsOtherCodec, OtherCodecName(facts.StreamSyntax));
    }
    switch (facts.StreamSyntax) {
    case Syntax::MsMpeg4:
        return say(Word::IsMsMpeg4);
    case Syntax::MsMpeg4V1:
        return say(Word::IsMsMpeg4V1);
    case Syntax::Mpeg4:
        return say(Word::IsMpeg4);
    default:
        break;
    }
    return "";
}

const char* OtherCodecName(Syntax syntax) {
    switch (syntax) {
    case Syntax::Jpeg:
        return "Motion JPEG";
    case Syntax::H264:
        return "H.264";
    case Syntax::H265:
        return "H.265";
    case Syntax::Mpeg12:
        return "MPEG-1/2 video";
    default:
        break;
    }
    return "";
}

std::string MsVersionNames(std::uint8_t versions, int language) {
    const Words say{language};
    std::string names;
    for (const auto& [bit, name] : {std::pair{kMsV1, "V1"}, {kMsV2, "V2"}, {kMsV3, "V3"}}) {
        if ((versions & bit) != 0) {
            names += (names.empty() ? "" : say(Word::Or)) + name;
        }
    }
    return names;
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
