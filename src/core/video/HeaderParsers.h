#pragma once

#include "video/BitReader.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <optional>

namespace vidtag::video {

enum class VolResult : std::uint8_t {
    Complete, // every field up to the end of the layer header was read
    Damaged,  // the bits ran out, or a value no stream may hold stopped the reading
    Partial,  // a layout this reader does not follow further (studio, grayscale shape)
};

// Reads a video_object_layer header from the bits after its start code into the VOL fields of
// facts, each as soon as it is read, so that whatever comes before a damage is kept. A layer that
// gives no verid of its own has objectVerId, its visual object's.
VolResult ParseVol(BitReader& bits, StreamFacts& facts, unsigned objectVerId = 1) noexcept;

// visual_object_verid from the bits after a visual_object start code: 1 when the object gives no
// identifier, nothing when the bits run out or it is 0 (a forbidden value).
std::optional<std::uint8_t> ParseVisualObjectVerId(BitReader& bits) noexcept;

// profile_and_level_indication from the bits after a visual_object_sequence start code.
std::optional<std::uint8_t> ParseVos(BitReader& bits) noexcept;

enum class VopKind : std::uint8_t { I, P, B, S, N };

// The width in bits of vop_time_increment: ceil(log2(resolution)), at least 1.
unsigned TimeIncrementBits(std::uint32_t resolution) noexcept;

// The coding type of a VOP from the bits after its start code, or N when vop_coded is 0;
// nothing when the header ends before vop_coded.
std::optional<VopKind> ParseVop(BitReader& bits, unsigned timeIncrementBits) noexcept;

} // namespace vidtag::video
