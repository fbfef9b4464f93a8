#include "check/Verdict.h"

#include "video/StreamText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vidtag::check {

namespace {

using video::StreamFacts;
using video::Syntax;

// Frame rates from rate / scale are rarely exact: 29.97 fits 30, 30.0001 should too.
constexpr double kRateSlack = 1.0001;

std::string Kbits(std::uint64_t bits) {
    return video::DecimalText(static_cast<double>(bits) / 1000) + " kbit/s";
}

std::string SizeText(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

const char* FixSuffix(Fix fix) {
    switch (fix) {
    case Fix::Retag:
        return "";
    case Fix::Mislabelled:
        return " (mislabelled)";
    case Fix::Reencode:
        break;
    }
    return " (needs re-encoding)";
}

void Add(std::vector<Problem>& problems, const char* id, const std::string& text, Fix fix) {
    problems.push_back({id, text + FixSuffix(fix), fix});
}

bool Mislabelled(CodecKind kind, const StreamFacts& facts) {
    return facts.FamilyMismatch || video::FamilyMismatch(FamilyOf(kind), facts.StreamSyntax);
}

std::string MismatchText(const StreamFacts& facts) {
    if (facts.StreamSyntax == Syntax::Mpeg4) {
        return "the stream is MPEG-4 Part 2, not the Microsoft MPEG-4 its label names";
    }
    return "the stream is Microsoft MPEG-4 (no MPEG-4 headers), not what the label says";
}

// The label, the family and a family no DivX player decodes; the kind to retag to, if any.
CodecKind CheckLabel(CodecKind kind, const StreamFacts& facts, std::vector<Problem>& problems) {
    const int family = FamilyOf(kind);
    if (Mislabelled(kind, facts)) {
        Add(problems, "family", MismatchText(facts), Fix::Mislabelled);
        return kNoKind;
    }
    if (family == 1 || family == 2) {
        Add(problems, "family_unsupported",
            std::string("Microsoft MPEG-4 V") + (family == 1 ? "1" : "2") +
                ", which DivX players do not decode",
            Fix::Reencode);
        return kNoKind;
    }
    const CodecKind target = RetagKind(family);
    if (target == kNoKind || IsAcceptedKind(kind)) {
        return kNoKind;
    }
    Add(problems, "label",
        std::string(KindName(kind)) + " is not a DivX code (retag to " + KindName(target) + ")",
        Fix::Retag);
    return target;
}

bool SizeFits(const SizeRate& entry, std::uint32_t width, std::uint32_t height) {
    return width <= entry.Width && height <= entry.Height;
}

std::string ProfileSizes(const Profile& profile) {
    std::string sizes;
    for (const SizeRate& entry : profile.SizeRates) {
        sizes += (sizes.empty() ? "" : " or ") + SizeText(entry.Width, entry.Height);
    }
    return sizes;
}

// The highest frame rate the profile allows at this size; at any size when none fits or the
// size is not known.
std::uint32_t AllowedFps(const Profile& profile, std::uint32_t width, std::uint32_t height,
                         bool sizeFits) {
    std::uint32_t best = 0;
    for (const SizeRate& entry : profile.SizeRates) {
        if (!sizeFits || SizeFits(entry, width, height)) {
            best = std::max(best, entry.Fps);
        }
    }
    return best;
}

void CheckSize(const StreamFacts& facts, const Profile& profile, std::vector<Problem>& problems) {
    const bool sized = facts.Width && facts.Height;
    const std::uint32_t w = facts.Width.value_or(0);
    const std::uint32_t h = facts.Height.value_or(0);
    const bool sizeFits =
        sized && std::any_of(profile.SizeRates.begin(), profile.SizeRates.end(),
                             [w, h](const SizeRate& entry) { return SizeFits(entry, w, h); });
    if (sized && !sizeFits) {
        Add(problems, "size", SizeText(w, h) + " frames, larger than " + ProfileSizes(profile),
            Fix::Reencode);
    }
    if (!facts.Fps || !(*facts.Fps > 0)) {
        return;
    }
    const double fps = *facts.Fps;
    const std::uint32_t allowed = AllowedFps(profile, w, h, sizeFits);
    if (fps > allowed * kRateSlack) {
        Add(problems, "fps",
            video::DecimalText(fps) + " fps, more than " + std::to_string(allowed) + " fps" +
                (sizeFits ? " at " + SizeText(w, h) : std::string()),
            Fix::Reencode);
    }
    const double macroblocks = std::ceil(w / 16.0) * std::ceil(h / 16.0) * fps;
    if (sized && macroblocks > profile.MaxMacroblocksPerSecond * kRateSlack) {
        Add(problems, "macroblocks",
            video::DecimalText(std::round(macroblocks)) + " macroblocks per second, more than " +
                std::to_string(profile.MaxMacroblocksPerSecond),
            Fix::Reencode);
    }
}

void CheckRates(const Rates& rates, const Profile& profile, std::vector<Problem>& problems) {
    if (rates.Average && *rates.Average > profile.AvgBitrate) {
        Add(problems, "avg_bitrate",
            "average bitrate " + Kbits(*rates.Average) + ", more than " + Kbits(profile.AvgBitrate),
            Fix::Reencode);
    }
    if (rates.Peak && *rates.Peak > profile.PeakBitrate) {
        Add(problems, "peak_bitrate",
            "peak bitrate " + Kbits(*rates.Peak) + " over one second, more than " +
                Kbits(profile.PeakBitrate),
            Fix::Reencode);
    }
}

void CheckBFrames(const StreamFacts& facts, const Profile& profile,
                  std::vector<Problem>& problems) {
    if (!facts.VopsRead) {
        return;
    }
    if (facts.MaxBRun > profile.MaxBRun) {
        Add(problems, "b_frames",
            profile.MaxBRun == 0
                ? std::string("B-frames, which the profile does not allow")
                : "up to " + std::to_string(facts.MaxBRun) + " B-frames in a row, more than " +
                      std::to_string(profile.MaxBRun),
            Fix::Reencode);
    }
    if (facts.Packed && !profile.PackedAllowed) {
        Add(problems, "packed", "packed B-frames, which the profile does not allow", Fix::Reencode);
    }
}

// What the VOL says: the tools no DivX player has, and the limits of the profile.
void CheckTools(const StreamFacts& facts, const Profile& profile, std::vector<Problem>& problems) {
    if (facts.VbvBufferSize && *facts.VbvBufferSize > profile.VbvBufferBits) {
        Add(problems, "vbv",
            "VBV buffer of " + std::to_string(*facts.VbvBufferSize) + " bits, more than " +
                std::to_string(profile.VbvBufferBits),
            Fix::Reencode);
    }
    CheckBFrames(facts, profile, problems);
    if (facts.Interlaced.value_or(false) && !profile.InterlaceAllowed) {
        Add(problems, "interlaced", "interlaced, which the profile does not allow", Fix::Reencode);
    }
    if (facts.Qpel.value_or(false)) {
        Add(problems, "qpel", "QPel", Fix::Reencode);
    }
    const video::Sprite sprite = facts.SpriteKind.value_or(video::Sprite::None);
    if (sprite != video::Sprite::None) {
        Add(problems, "gmc", sprite == video::Sprite::Gmc ? "GMC" : "a static sprite",
            Fix::Reencode);
    }
    if (facts.MpegQuant.value_or(false)) {
        Add(problems, "mpeg_quant", "MPEG quantisation", Fix::Reencode);
    }
}

// Empty when the stream was read well enough to judge.
std::string UnknownReason(CodecKind kind, const StreamFacts& facts) {
    if (FamilyOf(kind) == 0) {
        return "the label names no kind Vidtag knows";
    }
    if (facts.FramesRead == 0 || facts.StreamSyntax == Syntax::Unknown) {
        return "no video frame could be read";
    }
    if (facts.VolDamaged) {
        return "the stream's headers are damaged";
    }
    return {};
}

Verdict WorstFix(const std::vector<Problem>& problems) {
    Verdict worst = Verdict::Plays;
    for (const Problem& problem : problems) {
        const Verdict v = problem.Needs == Fix::Mislabelled ? Verdict::Mislabelled
                          : problem.Needs == Fix::Reencode  ? Verdict::Reencode
                                                            : Verdict::Retag;
        worst = std::max(worst, v);
    }
    return worst;
}

bool SafeShellWord(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("._-+/,:=@%").find(c) != std::string_view::npos;
    });
}

// "dir/beach.avi" -> "dir/beach-unpacked.avi".
std::string UnpackedName(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot <= start) {
        dot = fileName.size();
    }
    return std::string(fileName.substr(0, dot)) + "-unpacked" + std::string(fileName.substr(dot));
}

std::string PackedNote(std::string_view fileName) {
    const std::string in = fileName.empty() ? std::string("IN.avi") : std::string(fileName);
    const std::string out = fileName.empty() ? std::string("OUT.avi") : UnpackedName(fileName);
    return "packed B-frames are not valid MPEG-4, and some players outside the DivX world fail "
           "on them; ffmpeg unpacks them without loss: ffmpeg -i " +
           ShellQuoted(in) + " -codec copy -bsf:v mpeg4_unpack_bframes " + ShellQuoted(out);
}

enum class Workarounds : std::uint8_t { None, Xvid, DivX4 };

FourCC UpperCase(FourCC code) {
    FourCC out = 0;
    for (int i = 0; i < 4; ++i) {
        char c = FourCCChar(code, i);
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        out |= static_cast<FourCC>(static_cast<unsigned char>(c)) << (8 * i);
    }
    return out;
}

// The workarounds FFmpeg's MPEG-4 decoder takes from the code (compared in upper case) when
// no encoder string tells it better.
Workarounds WorkaroundsOf(FourCC compression, const StreamFacts& facts) {
    constexpr std::array<FourCC, 5> kXvidCodes{FCC("XVID"), FCC("XVIX"), FCC("RMP4"), FCC("ZMP4"),
                                               FCC("SIPP")};
    const FourCC code = UpperCase(compression);
    if (std::find(kXvidCodes.begin(), kXvidCodes.end(), code) != kXvidCodes.end()) {
        return Workarounds::Xvid;
    }
    if (code == FCC("DIVX") && facts.ObjectType == std::uint8_t{0} &&
        facts.VolControlParameters == false) {
        return Workarounds::DivX4;
    }
    return Workarounds::None;
}

FourCC CompressionOf(CodecKind kind) {
    return kind == kFFmpegKind ? kFFmpegCode : CodePairOf(kind).Compression;
}

} // namespace

std::string ShellQuoted(std::string_view word) {
    if (SafeShellWord(word)) {
        return std::string(word);
    }
#ifdef _WIN32
    std::string out(1, '"');
    out.append(word);
    out.push_back('"');
    return out;
#else
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
#endif
}

bool NeedsDecodeByCodeWarning(FourCC fromCompression, FourCC toCompression,
                              const StreamFacts& facts) {
    if (facts.StreamSyntax != Syntax::Mpeg4 || facts.EncoderName != video::Encoder::None) {
        return false;
    }
    return WorkaroundsOf(fromCompression, facts) != WorkaroundsOf(toCompression, facts);
}

bool NeedsDecodeByCodeWarning(CodecKind from, CodecKind to, const StreamFacts& facts) {
    return FamilyOf(from) == 4 &&
           NeedsDecodeByCodeWarning(CompressionOf(from), CompressionOf(to), facts);
}

std::string DecodeByCodeWarningText() {
    return "the stream names no encoder, so FFmpeg-based players (VLC, MPlayer, Kodi) choose "
           "their decoding workarounds by the code: after this retag the picture may change "
           "slightly in them";
}

CheckResult CheckStream(CodecKind kind, const StreamFacts& facts, const Rates& rates,
                        const Profile& profile, std::string_view fileName) {
    CheckResult result;
    try {
        result.ProfileName = profile.Name;
        result.AvgBitrate = rates.Average;
        result.PeakBitrate = rates.Peak;
        result.BitrateFrom = rates.From;
        const CodecKind target = CheckLabel(kind, facts, result.Problems);
        const bool mislabelled = Mislabelled(kind, facts);
        CheckSize(facts, profile, result.Problems);
        CheckRates(rates, profile, result.Problems);
        if (!mislabelled && facts.StreamSyntax == Syntax::Mpeg4) {
            CheckTools(facts, profile, result.Problems);
        }
        result.UnknownReason = mislabelled ? std::string() : UnknownReason(kind, facts);
        result.Outcome =
            result.UnknownReason.empty() ? WorstFix(result.Problems) : Verdict::Unknown;
        if (result.Outcome == Verdict::Retag) {
            result.RetagTo = target;
            if (NeedsDecodeByCodeWarning(kind, target, facts)) {
                result.Notes.push_back(DecodeByCodeWarningText());
            }
        }
        if (facts.Packed) {
            result.Notes.push_back(PackedNote(fileName));
        }
    } catch (...) {
        // Out of memory for a text: nothing to judge by.
        result = CheckResult{};
        result.ProfileName = profile.Name;
    }
    return result;
}

std::string Summary(const CheckResult& result) {
    switch (result.Outcome) {
    case Verdict::Plays:
        return "plays as it is";
    case Verdict::Retag:
        return std::string("plays after a retag to ") + KindName(result.RetagTo);
    case Verdict::Unknown:
        return "cannot tell: " + (result.UnknownReason.empty()
                                      ? std::string("the stream could not be read")
                                      : result.UnknownReason);
    case Verdict::Reencode:
    case Verdict::Mislabelled:
        break;
    }
    std::string text = "will not play: ";
    for (std::size_t i = 0; i < result.Problems.size(); ++i) {
        text += (i > 0 ? "; " : "") + result.Problems[i].Text;
    }
    return text;
}

const char* VerdictName(Verdict verdict) {
    constexpr std::array<const char*, 5> kNames{"plays", "retag", "reencode", "mislabelled",
                                                "unknown"};
    return kNames[static_cast<std::size_t>(verdict) % kNames.size()];
}

const char* FixName(Fix fix) {
    constexpr std::array<const char*, 3> kNames{"retag", "mislabelled", "reencode"};
    return kNames[static_cast<std::size_t>(fix) % kNames.size()];
}

const char* BitrateSourceName(BitrateSource source) {
    switch (source) {
    case BitrateSource::Index:
        return "index";
    case BitrateSource::FramesRead:
        return "frames_read";
    case BitrateSource::None:
        break;
    }
    return nullptr;
}

} // namespace vidtag::check
