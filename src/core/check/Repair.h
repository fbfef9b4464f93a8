#pragma once

#include "codecs/CodecCatalog.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <vector>

namespace vidtag::check {

// "Microsoft MPEG-4 V1" to "V3" for families 1 to 3, "MPEG-4 Part 2" for 4; "" for any other.
const char* FamilyName(int family);

// The family a label lies about: the one the stream's own headers prove, when the label names
// another. 0 when the label names no family, tells the truth, or the headers prove nothing (a
// damaged VOL, frames not read, a Microsoft version only the label could tell).
int RepairFamily(CodecKind label, const video::StreamFacts& facts);

// The kinds that make such a label tell the truth: those of the proven family, in catalogue
// order. Empty where RepairFamily is 0.
std::vector<CodecKind> RepairTargets(CodecKind label, const video::StreamFacts& facts);

// Whether a retag to `target` repairs the label: a repair target, or the device label MP4V over
// a stream proven MPEG-4 Part 2.
bool IsRepair(CodecKind label, CodecKind target, const video::StreamFacts& facts);

// The Microsoft versions a stream may be, as StreamFacts::MsVersions' bits, when its MPEG-4 label
// lies and its headers do not tell which; 0 otherwise. No repair is offered on such a guess.
std::uint8_t UndecidedVersions(CodecKind label, const video::StreamFacts& facts);

} // namespace vidtag::check
