#pragma once

#include "FourCC.h"

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

constexpr bool IsKnownKind(CodecKind kind) {
    return kind >= kFirstKind && kind <= kLastKind;
}

struct CodePair {
    FourCC Handler;
    FourCC Compression;
};

struct TargetList {
    std::array<CodecKind, 3> Kinds;
    std::uint8_t Count;
    bool Locked; // a single target shown with the list disabled

    std::span<const CodecKind> View() const { return {Kinds.data(), Count}; }
};

// Display names of kinds 0 to 13; kind 0 is the empty string. Kind 14 has none.
extern const std::array<const char*, 14> CodecNames;

// The code pair written for a kind 1 to 13; {0, 0} for any other value.
CodePair CodePairOf(CodecKind kind);

// The kinds a file of this kind may be converted to, in the order they are offered; empty for 0,
// 14 and anything above.
const TargetList& OfferedTargets(CodecKind kind);

// The kind two codes found in a file make: the handler decides, except "divx", whose kind the
// compression code decides. Case matters throughout.
CodecKind ClassifyCodec(FourCC handler, FourCC compression);

} // namespace vidtag
