#pragma once

#include "codecs/CodecCatalog.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vidtag::check {

// A frame size and the highest frame rate allowed at it.
struct SizeRate {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Fps = 0;
};

// The limits a DivX Certified player of one class keeps to (DivX Certified Profile
// Compatibility v1.1, February 2005).
struct Profile {
    const char* Name = "";
    std::span<const SizeRate> SizeRates;
    std::uint32_t MaxMacroblocksPerSecond = 0;
    std::uint32_t VbvBufferBits = 0;
    std::uint32_t AvgBitrate = 0;  // bit/s
    std::uint32_t PeakBitrate = 0; // bits over any second
    std::uint32_t MaxBRun = 0;     // B-frames in a row
    bool PackedAllowed = false;
    bool InterlaceAllowed = false;
};

// The four profiles, smallest first.
std::span<const Profile> Profiles();

// The profile of that name, exactly as written; nullptr for any other.
const Profile* FindProfile(std::string_view name);

// "divx-handheld, divx-portable, ...": what a user may name.
std::string ProfileNames();

// The kinds of a family whose codes DivX players accept (kinds 11 and 12 in family 4, 6 and 7
// in family 3); empty for the families that have no DivX code.
std::span<const CodecKind> AcceptedKinds(int family);

bool IsAcceptedKind(CodecKind kind);

// The kind a retag goes to so that the file plays: 12 (DivX 5) in family 4, 6 (DivX V3 Low) in
// family 3; kNoKind for the other families.
CodecKind RetagKind(int family);

} // namespace vidtag::check
