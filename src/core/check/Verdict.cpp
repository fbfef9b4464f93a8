#include "check/Verdict.h"

#include "check/CheckTexts.h"
#include "texts/TextFill.h"
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

// The problems are written in the language the check was asked in.
struct Words {
    int Language = 0;

    const char* operator()(CheckText text) const { return CheckTextOf(Language, text); }
    std::string operator()(CheckText text, std::string_view a1, std::string_view a2 = {},
                           std::string_view a3 = {}) const {
        return Fill(CheckTextOf(Language, text), a1, a2, a3);
    }
};

std::string Kbits(const Words& words, std::uint64_t bits) {
    return words(CheckText::Kbits, video::DecimalText(static_cast<double>(bits) / 1000));
}

std::string SizeText(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

const char* FixSuffix(const Words& words, Fix fix) {
    switch (fix) {
    case Fix::Retag:
        return "";
    case Fix::Mislabelled:
        return words(CheckText::MislabelledSuffix);
    case Fix::Remux: // the container's problem says its fix itself
        return "";
    case Fix::Reencode:
        break;
    }
    return words(CheckText::ReencodeSuffix);
}

// The problems found so far, in the order the check names them.
struct Findings {
    Words Say;
    std::vector<Problem>& Problems;

    void Add(const char* id, const std::string& text, Fix fix) const {
        Problems.push_back({id, text + FixSuffix(Say, fix), fix});
    }
};

bool Mislabelled(CodecKind kind, const StreamFacts& facts) {
    return facts.FamilyMismatch || video::FamilyMismatch(FamilyOf(kind), facts.StreamSyntax);
}

const char* MismatchText(const Words& words, const StreamFacts& facts) {
    return words(facts.StreamSyntax == Syntax::Mpeg4 ? CheckText::StreamIsMpeg4
                                                     : CheckText::StreamIsMsMpeg4);
}

// The label, the family and a family no DivX player decodes; the kind to retag to, if any.
CodecKind CheckLabel(CodecKind kind, const StreamFacts& facts, const Findings& found) {
    const int family = FamilyOf(kind);
    if (Mislabelled(kind, facts)) {
        found.Add("family", MismatchText(found.Say, facts), Fix::Mislabelled);
        return kNoKind;
    }
    if (family == 1 || family == 2) {
        found.Add("family_unsupported",
                  found.Say(CheckText::FamilyUnsupported, family == 1 ? "1" : "2"), Fix::Reencode);
        return kNoKind;
    }
    const CodecKind target = RetagKind(family);
    if (target == kNoKind || IsAcceptedKind(kind)) {
        return kNoKind;
    }
    found.Add("label", found.Say(CheckText::NotADivxCode, KindName(kind), KindName(target)),
              Fix::Retag);
    return target;
}

bool SizeFits(const SizeRate& entry, std::uint32_t width, std::uint32_t height) {
    return width <= entry.Width && height <= entry.Height;
}

std::string ProfileSizes(const Words& words, const Profile& profile) {
    std::string sizes;
    for (const SizeRate& entry : profile.SizeRates) {
        sizes += (sizes.empty() ? "" : words(CheckText::Or)) + SizeText(entry.Width, entry.Height);
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

void CheckSize(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    const bool sized = facts.Width && facts.Height;
    const std::uint32_t w = facts.Width.value_or(0);
    const std::uint32_t h = facts.Height.value_or(0);
    const bool sizeFits =
        sized && std::any_of(profile.SizeRates.begin(), profile.SizeRates.end(),
                             [w, h](const SizeRate& entry) { return SizeFits(entry, w, h); });
    if (sized && !sizeFits) {
        found.Add("size",
                  found.Say(CheckText::Size, SizeText(w, h), ProfileSizes(found.Say, profile)),
                  Fix::Reencode);
    }
    if (!facts.Fps || !(*facts.Fps > 0)) {
        return;
    }
    const double fps = *facts.Fps;
    const std::uint32_t allowed = AllowedFps(profile, w, h, sizeFits);
    if (fps > allowed * kRateSlack) {
        const std::string said = video::DecimalText(fps), most = std::to_string(allowed);
        found.Add("fps",
                  sizeFits ? found.Say(CheckText::FpsAtSize, said, most, SizeText(w, h))
                           : found.Say(CheckText::Fps, said, most),
                  Fix::Reencode);
    }
    const double macroblocks = std::ceil(w / 16.0) * std::ceil(h / 16.0) * fps;
    if (sized && macroblocks > profile.MaxMacroblocksPerSecond * kRateSlack) {
        found.Add("macroblocks",
                  found.Say(CheckText::Macroblocks, video::DecimalText(std::round(macroblocks)),
                            std::to_string(profile.MaxMacroblocksPerSecond)),
                  Fix::Reencode);
    }
}

void CheckRates(const Rates& rates, const Profile& profile, const Findings& found) {
    const Words& say = found.Say;
    if (rates.Average && *rates.Average > profile.AvgBitrate) {
        found.Add(
            "avg_bitrate",
            say(CheckText::AvgBitrate, Kbits(say, *rates.Average), Kbits(say, profile.AvgBitrate)),
            Fix::Reencode);
    }
    if (rates.Peak && *rates.Peak > profile.PeakBitrate) {
        found.Add(
            "peak_bitrate",
            say(CheckText::PeakBitrate, Kbits(say, *rates.Peak), Kbits(say, profile.PeakBitrate)),
            Fix::Reencode);
    }
}

void CheckBFrames(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    if (!facts.VopsRead) {
        return;
    }
    if (facts.MaxBRun > profile.MaxBRun) {
        found.Add("b_frames",
                  profile.MaxBRun == 0
                      ? std::string(found.Say(CheckText::BFramesNotAllowed))
                      : found.Say(CheckText::BFramesInARow, std::to_string(facts.MaxBRun),
                                  std::to_string(profile.MaxBRun)),
                  Fix::Reencode);
    }
    if (facts.Packed && !profile.PackedAllowed) {
        found.Add("packed", found.Say(CheckText::PackedNotAllowed), Fix::Reencode);
    }
}

// What the VOL says: the tools no DivX player has, and the limits of the profile.
void CheckTools(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    const Words& say = found.Say;
    if (facts.VbvBufferSize && *facts.VbvBufferSize > profile.VbvBufferBits) {
        found.Add("vbv",
                  say(CheckText::Vbv, std::to_string(*facts.VbvBufferSize),
                      std::to_string(profile.VbvBufferBits)),
                  Fix::Reencode);
    }
    CheckBFrames(facts, profile, found);
    if (facts.Interlaced.value_or(false) && !profile.InterlaceAllowed) {
        found.Add("interlaced", say(CheckText::InterlacedNotAllowed), Fix::Reencode);
    }
    if (facts.Qpel.value_or(false)) {
        found.Add("qpel", say(CheckText::Qpel), Fix::Reencode);
    }
    const video::Sprite sprite = facts.SpriteKind.value_or(video::Sprite::None);
    if (sprite != video::Sprite::None) {
        found.Add("gmc",
                  say(sprite == video::Sprite::Gmc ? CheckText::Gmc : CheckText::StaticSprite),
                  Fix::Reencode);
    }
    if (facts.MpegQuant.value_or(false)) {
        found.Add("mpeg_quant", say(CheckText::MpegQuant), Fix::Reencode);
    }
}

// Empty when the stream was read well enough to judge.
std::string UnknownReason(const Words& words, CodecKind kind, const StreamFacts& facts) {
    if (FamilyOf(kind) == 0) {
        return words(CheckText::UnknownLabel);
    }
    if (facts.FramesRead == 0 || facts.StreamSyntax == Syntax::Unknown) {
        return words(CheckText::NoFrameRead);
    }
    if (facts.VolDamaged) {
        return words(CheckText::HeadersDamaged);
    }
    return {};
}

Verdict WorstFix(const std::vector<Problem>& problems) {
    Verdict worst = Verdict::Plays;
    for (const Problem& problem : problems) {
        const Verdict v = problem.Needs == Fix::Mislabelled ? Verdict::Mislabelled
                          : problem.Needs == Fix::Reencode  ? Verdict::Reencode
                          : problem.Needs == Fix::Remux     ? Verdict::Remux
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

std::string PackedNote(const Words& words, std::string_view fileName) {
    const std::string in = fileName.empty() ? std::string("IN.avi") : std::string(fileName);
    const std::string out = fileName.empty() ? std::string("OUT.avi") : UnpackedName(fileName);
    return words(CheckText::PackedNote, "ffmpeg -i " + ShellQuoted(in) +
                                            " -codec copy -bsf:v mpeg4_unpack_bframes " +
                                            ShellQuoted(out));
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

std::string DecodeByCodeWarningText(int language) {
    return CheckTextOf(language, CheckText::DecodeByCode);
}

CheckResult CheckStream(CodecKind kind, const StreamFacts& facts, const Rates& rates,
                        const Profile& profile, std::string_view fileName, int language) {
    CheckResult result;
    try {
        const Words say{language};
        const Findings found{say, result.Problems};
        result.ProfileName = profile.Name;
        result.AvgBitrate = rates.Average;
        result.PeakBitrate = rates.Peak;
        result.BitrateFrom = rates.From;
        const CodecKind target = CheckLabel(kind, facts, found);
        const bool mislabelled = Mislabelled(kind, facts);
        CheckSize(facts, profile, found);
        CheckRates(rates, profile, found);
        if (!mislabelled && facts.StreamSyntax == Syntax::Mpeg4) {
            CheckTools(facts, profile, found);
        }
        result.UnknownReason = mislabelled ? std::string() : UnknownReason(say, kind, facts);
        result.Outcome =
            result.UnknownReason.empty() ? WorstFix(result.Problems) : Verdict::Unknown;
        if (result.Outcome == Verdict::Retag) {
            result.RetagTo = target;
            if (NeedsDecodeByCodeWarning(kind, target, facts)) {
                result.Notes.push_back(DecodeByCodeWarningText(language));
            }
        }
        if (facts.Packed) {
            result.Notes.push_back(PackedNote(say, fileName));
        }
    } catch (...) {
        // Out of memory for a text: nothing to judge by.
        result = CheckResult{};
        result.ProfileName = profile.Name;
    }
    return result;
}

std::string Summary(const CheckResult& result, int language) {
    const Words say{language};
    switch (result.Outcome) {
    case Verdict::Plays:
        return say(CheckText::Plays);
    case Verdict::Retag:
        return say(CheckText::PlaysAfterRetag, KindName(result.RetagTo));
    case Verdict::Unknown:
        return say(CheckText::CannotTell, result.UnknownReason.empty()
                                              ? std::string(say(CheckText::StreamNotRead))
                                              : result.UnknownReason);
    case Verdict::Remux:
    case Verdict::Reencode:
    case Verdict::Mislabelled:
        break;
    }
    std::string problems;
    for (std::size_t i = 0; i < result.Problems.size(); ++i) {
        problems += (i > 0 ? "; " : "") + result.Problems[i].Text;
    }
    return say(CheckText::WillNotPlay, problems);
}

const char* VerdictName(Verdict verdict) {
    constexpr std::array<const char*, 6> kNames{"plays",    "retag",       "remux",
                                                "reencode", "mislabelled", "unknown"};
    return kNames[static_cast<std::size_t>(verdict) % kNames.size()];
}

const char* FixName(Fix fix) {
    constexpr std::array<const char*, 4> kNames{"retag", "mislabelled", "reencode", "remux"};
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
