#pragma once

#include "engine/EngineTypes.h"
#include "streams/Stream64.h"

#include <cstddef>
#include <cstdint>

namespace vidtag {

// One place to patch: what the file must hold there now, and what goes there.
struct Slot {
    std::int64_t Position;
    FourCC Held;
    FourCC Wanted;
};

bool ReadCodeAt(THandleStream64& stream, std::int64_t position, FourCC& code);

// Checks that every slot holds its code, writes the wanted codes, flushes and reads them back.
// Codes that share a 512-byte sector go out in one write of the span between them, so that a
// process dies before or after it, never between two, and a disk writes the sector whole.
// kStatusFileChanged when a code is not the one expected or the file ends before it,
// kStatusCannotOpen when the system cannot read it (nothing written either); kStatusCannotWrite
// when a write or the flush fails, with what was written put back as far as possible.
ConversionStatus PatchCodes(THandleStream64& stream, const Slot* slots, std::size_t count);

} // namespace vidtag
