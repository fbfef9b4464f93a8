#include "check/Verdict.h"

#include "check/CheckTexts.h"
#include "check/Repair.h"
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
    case Fix::Audio: // and so do the audio and file problems
    case Fix::Split:
    case Fix::Index:
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
    const int family = FamilyOf(kind);
    // Asked about a kind of the family the headers prove, the check judges the repaired label.
    const bool labelLies = facts.FamilyMismatch && family != video::ProvenFamily(facts);
    return labelLies || video::FamilyMismatch(family, facts.StreamSyntax);
}

std::string MismatchText(const Words& words, const StreamFacts& facts) {
    if (video::OutsideFamily(facts.StreamSyntax)) {
        return words(CheckText::StreamIsOther, video::OtherCodecName(facts.StreamSyntax));
    }
    switch (facts.StreamSyntax) {
    case Syntax::Mpeg4:
        return words(CheckText::StreamIsMpeg4);
    case Syntax::MsMpeg4V1:
        return words(CheckText::StreamIsMsMpeg4V1);
    default:
        break;
    }
    return words(CheckText::StreamIsMsMpeg4);
}

std::string FamilyRefused(const Words& say, const Profile& profile, int family) {
    if (profile.Origin == ProfileOrigin::DivX) {
        return say(CheckText::FamilyUnsupported, family == 1 ? "1" : "2");
    }
    return say(CheckText::FamilyNotAccepted, FamilyName(family));
}

std::string LabelRefused(const Words& say, const Profile& profile, CodecKind kind,
                         CodecKind target) {
    return say(profile.Origin == ProfileOrigin::DivX ? CheckText::NotADivxCode
                                                     : CheckText::NotAnAcceptedCode,
               KindName(kind), KindName(target));
}

// "MP4V, FMP4": the codes of the family the profile lists.
std::string FamilyCodes(const Profile& profile, int family) {
    std::string codes;
    for (const FourCC code : profile.Codes.value_or(std::vector<FourCC>{})) {
        if (FamilyOfCode(code) == family) {
            codes += (codes.empty() ? "" : ", ") + FourCCToString(code);
        }
    }
    return codes;
}

// The label, the family and a family the profile's players do not decode; the kind to retag
// to, if any.
CodecKind CheckLabel(CodecKind kind, const StreamFacts& facts, const Profile& profile,
                     const Findings& found) {
    const int family = FamilyOf(kind);
    if (Mislabelled(kind, facts)) {
        found.Add("family", MismatchText(found.Say, facts), Fix::Mislabelled);
        return kNoKind;
    }
    if (family == 0 || AcceptsKind(profile, kind)) {
        return kNoKind;
    }
    const CodecKind target = RetagKind(profile, family);
    if (!AcceptsFamily(profile, family)) {
        found.Add("family_unsupported", FamilyRefused(found.Say, profile, family), Fix::Reencode);
        return kNoKind;
    }
    if (target == kNoKind) {
        found.Add(
            "label",
            found.Say(CheckText::CodeNotWritten, KindName(kind), FamilyCodes(profile, family)),
            Fix::Reencode);
        return kNoKind;
    }
    found.Add("label", LabelRefused(found.Say, profile, kind, target), Fix::Retag);
    return target;
}

void CheckContainer(const Profile& profile, std::string_view container, const Findings& found) {
    if (!AcceptsContainer(profile, container)) {
        found.Add("container", found.Say(CheckText::ContainerNotAccepted, "AVI"), Fix::Reencode);
    }
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
double AllowedFps(const Profile& profile, std::uint32_t width, std::uint32_t height,
                  bool sizeFits) {
    double best = 0;
    for (const SizeRate& entry : profile.SizeRates) {
        if (!sizeFits || SizeFits(entry, width, height)) {
            best = std::max(best, entry.Fps);
        }
    }
    return best;
}

void CheckMacroblocks(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    if (!facts.Width || !facts.Height) {
        return;
    }
    const double frame = std::ceil(*facts.Width / 16.0) * std::ceil(*facts.Height / 16.0);
    if (profile.MaxMacroblocksPerFrame && frame > *profile.MaxMacroblocksPerFrame) {
        found.Add("frame_macroblocks",
                  found.Say(CheckText::FrameMacroblocks, video::DecimalText(frame),
                            std::to_string(*profile.MaxMacroblocksPerFrame)),
                  Fix::Reencode);
    }
    if (!facts.Fps || !(*facts.Fps > 0) || !profile.MaxMacroblocksPerSecond) {
        return;
    }
    const double macroblocks = frame * *facts.Fps;
    if (macroblocks > *profile.MaxMacroblocksPerSecond * kRateSlack) {
        found.Add("macroblocks",
                  found.Say(CheckText::Macroblocks, video::DecimalText(std::round(macroblocks)),
                            std::to_string(*profile.MaxMacroblocksPerSecond)),
                  Fix::Reencode);
    }
}

void CheckSize(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    const bool sized = facts.Width && facts.Height;
    const std::uint32_t w = facts.Width.value_or(0);
    const std::uint32_t h = facts.Height.value_or(0);
    const bool sizeFits =
        sized && std::any_of(profile.SizeRates.begin(), profile.SizeRates.end(),
                             [w, h](const SizeRate& entry) { return SizeFits(entry, w, h); });
    const bool limited = !profile.SizeRates.empty();
    if (limited && sized && !sizeFits) {
        found.Add("size",
                  found.Say(CheckText::Size, SizeText(w, h), ProfileSizes(found.Say, profile)),
                  Fix::Reencode);
    }
    if (limited && facts.Fps && *facts.Fps > 0) {
        const double fps = *facts.Fps;
        const double allowed = AllowedFps(profile, w, h, sizeFits);
        if (fps > allowed * kRateSlack) {
            const std::string said = video::DecimalText(fps), most = video::DecimalText(allowed);
            found.Add("fps",
                      sizeFits ? found.Say(CheckText::FpsAtSize, said, most, SizeText(w, h))
                               : found.Say(CheckText::Fps, said, most),
                      Fix::Reencode);
        }
    }
    CheckMacroblocks(facts, profile, found);
}

void CheckRates(const Rates& rates, const Profile& profile, const Findings& found) {
    const Words& say = found.Say;
    if (rates.Average && profile.AvgBitrate && *rates.Average > *profile.AvgBitrate) {
        found.Add(
            "avg_bitrate",
            say(CheckText::AvgBitrate, Kbits(say, *rates.Average), Kbits(say, *profile.AvgBitrate)),
            Fix::Reencode);
    }
    if (rates.Peak && profile.PeakBitrate && *rates.Peak > *profile.PeakBitrate) {
        found.Add(
            "peak_bitrate",
            say(CheckText::PeakBitrate, Kbits(say, *rates.Peak), Kbits(say, *profile.PeakBitrate)),
            Fix::Reencode);
    }
}

void CheckBFrames(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    if (!facts.VopsRead) {
        return;
    }
    if (profile.MaxBRun && facts.MaxBRun > *profile.MaxBRun) {
        found.Add("b_frames",
                  *profile.MaxBRun == 0
                      ? std::string(found.Say(CheckText::BFramesNotAllowed))
                      : found.Say(CheckText::BFramesInARow, std::to_string(facts.MaxBRun),
                                  std::to_string(*profile.MaxBRun)),
                  Fix::Reencode);
    }
    if (facts.Packed && !profile.PackedAllowed) {
        found.Add("packed", found.Say(CheckText::PackedNotAllowed), Fix::Reencode);
    }
}

// Static sprites belong to no profile a player of these files decodes; GMC, where a profile
// allows it, to at most three warping points.
void CheckSprite(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    constexpr std::uint8_t kMostWarpPoints = 3;
    const video::Sprite sprite = facts.SpriteKind.value_or(video::Sprite::None);
    if (sprite == video::Sprite::Static || (sprite == video::Sprite::Gmc && !profile.GmcAllowed)) {
        found.Add(
            "gmc",
            found.Say(sprite == video::Sprite::Gmc ? CheckText::Gmc : CheckText::StaticSprite),
            Fix::Reencode);
    } else if (sprite == video::Sprite::Gmc && facts.WarpPoints.value_or(0) > kMostWarpPoints) {
        found.Add("gmc",
                  found.Say(CheckText::GmcWarpPoints, std::to_string(*facts.WarpPoints),
                            std::to_string(kMostWarpPoints)),
                  Fix::Reencode);
    }
}

// What the VOL says: the tools the profile's players lack, and its buffer.
void CheckTools(const StreamFacts& facts, const Profile& profile, const Findings& found) {
    const Words& say = found.Say;
    if (facts.VbvBufferSize && profile.VbvBufferBits &&
        *facts.VbvBufferSize > *profile.VbvBufferBits) {
        found.Add("vbv",
                  say(CheckText::Vbv, std::to_string(*facts.VbvBufferSize),
                      std::to_string(*profile.VbvBufferBits)),
                  Fix::Reencode);
    }
    CheckBFrames(facts, profile, found);
    if (facts.Interlaced.value_or(false) && !profile.InterlaceAllowed) {
        found.Add("interlaced", say(CheckText::InterlacedNotAllowed), Fix::Reencode);
    }
    if (facts.Qpel.value_or(false) && !profile.QpelAllowed) {
        found.Add("qpel", say(CheckText::Qpel), Fix::Reencode);
    }
    CheckSprite(facts, profile, found);
    if (facts.MpegQuant.value_or(false) && !profile.MpegQuantAllowed) {
        found.Add("mpeg_quant", say(CheckText::MpegQuant), Fix::Reencode);
    }
}

// Encoders write a level regardless of what the stream holds, and players judge the stream, so
// a higher claim is only worth knowing.
std::optional<std::string> LevelNote(const Words& say, const StreamFacts& facts,
                                     const Profile& profile) {
    if (!facts.ProfileLevel || !profile.Level) {
        return std::nullopt;
    }
    const std::optional<LevelRank> claimed = RankOfLevel(*facts.ProfileLevel);
    if (!claimed ||
        (claimed->Profile <= profile.Level->Profile && claimed->Rank <= profile.Level->Rank)) {
        return std::nullopt;
    }
    return say(CheckText::LevelClaimed, video::ProfileLevelName(*facts.ProfileLevel), profile.Name);
}

// Empty when the stream was read well enough to judge.
std::string UnknownReason(const Words& words, CodecKind kind, const StreamFacts& facts) {
    if (FamilyOf(kind) == 0) {
        return words(CheckText::UnknownLabel);
    }
    if (facts.FramesRead == 0) {
        // How the container stores them, when that is why none was read.
        const std::string none = words(CheckText::NoFrameRead);
        return facts.FramesNote.empty() ? none : none + " (" + facts.FramesNote + ")";
    }
    if (facts.StreamSyntax == Syntax::Unknown) {
        return words(CheckText::UnknownSyntax);
    }
    if (facts.VolDamaged) {
        return words(CheckText::HeadersDamaged);
    }
    // Without a VOL no decoder starts, and the size, tools and B-frames are not known.
    if (facts.StreamSyntax == Syntax::Mpeg4 && !facts.VolFound) {
        return words(CheckText::NoVol);
    }
    // Every profile limits the frame rate.
    if (!facts.Fps || !(*facts.Fps > 0)) {
        return words(CheckText::NoFrameRate);
    }
    return {};
}

Verdict WorstFix(const std::vector<Problem>& problems) {
    Verdict worst = Verdict::Plays;
    for (const Problem& problem : problems) {
        worst = std::max(worst, VerdictOfFix(problem.Needs));
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

// Whether the name shows as it is: no control characters (C0, DEL, C1) and nothing that is not
// UTF-8. A name that does not would be escaped for display, and the command would not work.
bool ShowsAsItIs(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = c < 0x80             ? 1
                                   : (c & 0xE0) == 0xC0 ? 2
                                   : (c & 0xF0) == 0xE0 ? 3
                                   : (c & 0xF8) == 0xF0 ? 4
                                                        : 0;
        if (length == 0 || i + length > name.size() || c < 0x20 || c == 0x7F ||
            (c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0) || c == 0xC0 ||
            c == 0xC1 || c > 0xF4) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string PackedNote(const Words& words, std::string_view fileName) {
    if (!ShowsAsItIs(fileName)) {
        return words(CheckText::PackedNoteWithoutCommand);
    }
    const std::string in = fileName.empty() ? std::string("IN.avi") : std::string(fileName);
    const std::string out = fileName.empty() ? std::string("OUT.avi") : UnpackedName(fileName);
    return words(CheckText::PackedNote, "ffmpeg -i " + ShellQuoted(in) +
                                            " -codec copy -bsf:v mpeg4_unpack_bframes " +
                                            ShellQuoted(out));
}

enum class Workarounds : std::uint8_t { None, Xvid, DivX4 };

// The workarounds FFmpeg's MPEG-4 decoder takes from the code (compared in upper case) when
// no encoder string tells it better.
Workarounds WorkaroundsOf(FourCC compression, const StreamFacts& facts) {
    constexpr std::array<FourCC, 5> kXvidCodes{FCC("XVID"), FCC("XVIX"), FCC("RMP4"), FCC("ZMP4"),
                                               FCC("SIPP")};
    const FourCC code = UpperCaseFourCC(compression);
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

namespace {

// The verdict on the file as labelled.
CheckResult CheckAsLabelled(CodecKind kind, const StreamFacts& facts, const Rates& rates,
                            const Profile& profile, std::string_view fileName, int language) {
    CheckResult result;
    try {
        const Words say{language};
        const Findings found{say, result.Problems};
        result.ProfileName = profile.Name;
        result.ProfileRef = profile.Path.empty() ? profile.Name : profile.Path;
        result.AvgBitrate = rates.Average;
        result.PeakBitrate = rates.Peak;
        result.BitrateFrom = rates.From;
        const CodecKind target = CheckLabel(kind, facts, profile, found);
        const bool mislabelled = Mislabelled(kind, facts);
        CheckContainer(profile, ContainerNames().front(), found);
        CheckSize(facts, profile, found);
        CheckRates(rates, profile, found);
        if (!mislabelled && facts.StreamSyntax == Syntax::Mpeg4) {
            CheckTools(facts, profile, found);
        }
        result.UnknownReason = mislabelled ? std::string() : UnknownReason(say, kind, facts);
        result.Outcome =
            result.UnknownReason.empty() ? WorstFix(result.Problems) : Verdict::Unknown;
        // Unmeasured bitrates may break the profile: only a re-encode found anyway stands.
        if (rates.MoviDamaged && result.Outcome <= Verdict::Retag) {
            result.Outcome = Verdict::Unknown;
            result.UnknownReason = say(CheckText::RatesDamaged);
            result.RatesUnmeasured = true;
        }
        if (result.Outcome == Verdict::Retag) {
            result.RetagTo = target;
            if (NeedsDecodeByCodeWarning(kind, target, facts)) {
                result.Notes.push_back(DecodeByCodeWarningText(language));
            }
        }
        if (facts.Packed) {
            result.Notes.push_back(PackedNote(say, fileName));
        }
        if (facts.FramesRead > 0 && !facts.FramesNote.empty()) {
            result.Notes.push_back(facts.FramesNote);
        }
        if (rates.MoviDamaged && result.Outcome != Verdict::Unknown) {
            result.Notes.push_back(say(CheckText::RatesDamaged));
        }
        if (!mislabelled && facts.StreamSyntax == Syntax::Mpeg4) {
            if (auto note = LevelNote(say, facts, profile)) {
                result.Notes.push_back(std::move(*note));
            }
        }
    } catch (...) {
        // Out of memory for a text: nothing to judge by.
        result = CheckResult{};
        result.ProfileName = profile.Name;
    }
    return result;
}

// A label that lies about a stream whose family its headers prove: the verdict becomes a retag to
// the profile's kind of that family, when the file would play with that label.
void Repair(CheckResult& result, CodecKind kind, const StreamFacts& facts, const Rates& rates,
            const Profile& profile, std::string_view fileName, int language) {
    const std::vector<CodecKind> targets = RepairTargets(kind, facts);
    if (targets.empty()) {
        return;
    }
    CodecKind target = RetagKind(profile, RepairFamily(kind, facts));
    if (target == kNoKind && !profile.Codes) {
        target = targets.front();
    }
    if (target == kNoKind) {
        return;
    }
    CheckResult repaired = CheckAsLabelled(target, facts, rates, profile, fileName, language);
    if (repaired.Outcome != Verdict::Plays) {
        return;
    }
    const Problem family = result.Problems.front();
    result = std::move(repaired);
    result.Outcome = Verdict::Retag;
    result.RetagTo = target;
    result.Problems.insert(result.Problems.begin(),
                           {family.Id, MismatchText(Words{language}, facts), Fix::Retag});
}

} // namespace

CheckResult CheckStream(CodecKind kind, const StreamFacts& facts, const Rates& rates,
                        const Profile& profile, std::string_view fileName, int language) {
    CheckResult result = CheckAsLabelled(kind, facts, rates, profile, fileName, language);
    if (result.Outcome == Verdict::Mislabelled && !result.Problems.empty()) {
        try {
            Repair(result, kind, facts, rates, profile, fileName, language);
        } catch (...) {
            // Out of memory for a text: the verdict stays the lie's.
        }
    }
    return result;
}

void ForbidRetag(CheckResult& result, CodecKind kind, std::string_view reason, int language) {
    if (result.Outcome != Verdict::Retag) {
        return;
    }
    const Words say{language};
    for (Problem& problem : result.Problems) {
        if (problem.Needs == Fix::Retag) {
            problem.Text =
                say(CheckText::RetagNotWritable, KindName(kind), KindName(result.RetagTo), reason) +
                FixSuffix(say, Fix::Reencode);
            problem.Needs = Fix::Reencode;
        }
    }
    result.RetagTo = kNoKind;
    result.Outcome = WorstFix(result.Problems);
    // The note on the codes' workarounds was about the retag.
    result.Notes.erase(
        std::remove(result.Notes.begin(), result.Notes.end(), DecodeByCodeWarningText(language)),
        result.Notes.end());
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
    case Verdict::RebuildIndex:
    case Verdict::Remux:
    case Verdict::ReencodeAudio:
    case Verdict::Split:
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

Verdict VerdictOfFix(Fix fix) {
    switch (fix) {
    case Fix::Mislabelled:
        return Verdict::Mislabelled;
    case Fix::Reencode:
        return Verdict::Reencode;
    case Fix::Remux:
        return Verdict::Remux;
    case Fix::Audio:
        return Verdict::ReencodeAudio;
    case Fix::Split:
        return Verdict::Split;
    case Fix::Index:
        return Verdict::RebuildIndex;
    case Fix::Retag:
        break;
    }
    return Verdict::Retag;
}

const char* VerdictName(Verdict verdict) {
    constexpr std::array<const char*, 9> kNames{"plays",    "retag",          "rebuild_index",
                                                "remux",    "reencode_audio", "split",
                                                "reencode", "mislabelled",    "unknown"};
    return kNames[static_cast<std::size_t>(verdict) % kNames.size()];
}

const char* FixName(Fix fix) {
    constexpr std::array<const char*, 7> kNames{"retag", "mislabelled", "reencode", "remux",
                                                "audio", "split",       "index"};
    return kNames[static_cast<std::size_t>(fix) % kNames.size()];
}

const char* BitrateSourceName(BitrateSource source) {
    switch (source) {
    case BitrateSource::Index:
        return "index";
    case BitrateSource::FramesRead:
        return "frames_read";
    case BitrateSource::Chunks:
        return "chunks";
    case BitrateSource::None:
        break;
    }
    return nullptr;
}

std::string ReplacedExtension(std::string_view name, std::string_view tail) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    const bool hasExtension =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    return std::string(hasExtension ? name.substr(0, dot) : name) + std::string(tail);
}

} // namespace vidtag::check
