#pragma once

#include "codecs/FourCC.h"

#include <array>
#include <cstdint>
#include <span>

namespace vidtag {

// 0: no kind (as a request: analyse); 1 to 13: the known kinds; 14: unknown.
using CodecKind = std::uint8_t;

constexpr CodecKind kNoKind = 0;
constexpr CodecKind kFirstKind = 1;
constexpr CodecKind kLastKind = 13;
constexpr CodecKind kUnknownKind = 14;

// "FMP4", FFmpeg's own code for an MPEG-4 Part 2 stream. Only the relaxed rule finds it, and
// it is never written: such a file gets its codes back only from where they were recorded.
constexpr CodecKind kFFmpegKind = 15;
constexpr FourCC kFFmpegCode = FCC("FMP4");

// "MP4V" in both fields: the MPEG-4 Part 2 label some devices want (Samsung TVs from 2018).
// vidtag-cli writes it as a device profile's retag target; the dialog never meets it.
constexpr CodecKind kMp4vKind = 16;
constexpr FourCC kMp4vCode = FCC("MP4V");

constexpr bool IsKnownKind(CodecKind kind) {
    return kind >= kFirstKind && kind <= kLastKind;
}

// A kind a file can be found to be and converted from.
constexpr bool IsRecognisedKind(CodecKind kind) {
    return IsKnownKind(kind) || kind == kFFmpegKind || kind == kMp4vKind;
}

// Exact: the codes as the catalogue writes them, case-sensitive; the dialog's only rule.
// WithDeviceCodes: also the codes vidtag-cli writes for a device (MP4V, as written); its
// default. Relaxed: also the codes other encoders and muxers write, in any case.
enum class ClassificationRule : std::uint8_t { Exact, Relaxed, WithDeviceCodes };

struct CodePair {
    FourCC Handler;
    FourCC Compression;
};

struct TargetList {
    std::array<CodecKind, 4> Kinds;
    std::uint8_t Count;
    bool Locked; // a single target shown with the list disabled

    std::span<const CodecKind> View() const { return {Kinds.data(), Count}; }
};

// Display names of kinds 0 to 13; kind 0 is the empty string. Kind 14 has none.
extern const std::array<const char*, 14> CodecNames;

// The display name of a kind 1 to 13, 15 or 16; "" for any other.
const char* KindName(CodecKind kind);

// The code pair written for a kind 1 to 13 or 16; {0, 0} for any other value.
CodePair CodePairOf(CodecKind kind);

// The kinds a file of this kind may be converted to, in the order they are offered; empty for 0,
// 14 and anything above but 15.
const TargetList& OfferedTargets(CodecKind kind);

// The kind two codes found in a file make: the handler decides, except "divx", whose kind the
// compression code decides. Case matters throughout.
CodecKind ClassifyCodec(FourCC handler, FourCC compression);

// The exact rule first. For the rest, without regard to case: a catalogue handler decides (the
// handler "divx" only over "DIVX" or "DX50"), else the compression code, else "FMP4" in either
// field makes kind 15.
CodecKind ClassifyCodecRelaxed(FourCC handler, FourCC compression);

CodecKind Classify(FourCC handler, FourCC compression, ClassificationRule rule);

// The bit stream a kind's codes name: 1 Microsoft MPEG-4 V1, 2 V2, 3 V3 (DivX 3 and Angel
// Potion V1 among them), 4 MPEG-4 Part 2 (kind 15 included); 0 for 0, 14 and any other value.
// Conversions stay within a family.
int FamilyOf(CodecKind kind);

} // namespace vidtag
