#pragma once

#include "engine/JobTypes.h"

namespace vidtag {

// Whether the file's codes may be written over at all: its container allows it and the codes are
// a kind's. Refusal::None when they may.
Refusal Retaggable(const Analysis& file);

// Whether the kind offers the target: a target of the catalogue's, a repair of a label that lies
// about its stream, or, when a device check chose it, the device's own label of the same family.
bool Offers(CodecKind kind, CodecKind target, const video::StreamFacts& stream,
            bool deviceTarget = false);

// Whether the file, without a format chunk to take the compression code, would still read as the
// target with only its handler written. "divx" alone does not tell DivX 4 from DivX 5: the file
// would come back as an unknown codec that could not be converted back.
bool HandlerAloneMakes(CodecKind target, std::int64_t compressionPos, FourCC compression);

// May this file become that kind, and if not, why: the container, the codes, the targets offered
// and the format chunk. None also for the kind the file already has (nothing to write).
Refusal MayBecome(const Analysis& file, CodecKind target, const JobOptions& options);

// Whether a retag from the file's compression code to `to` should warn that players pick their
// decoder by the code.
bool WarnsDecodeByCode(const Analysis& file, FourCC to);

} // namespace vidtag
