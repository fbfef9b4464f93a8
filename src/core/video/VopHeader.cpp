#include "video/HeaderParsers.h"

namespace vidtag::video {

std::optional<std::uint8_t> ParseVos(BitReader& bits) noexcept {
    const auto value = static_cast<std::uint8_t>(bits.Bits(8));
    if (bits.Overrun()) {
        return std::nullopt;
    }
    return value;
}

unsigned TimeIncrementBits(std::uint32_t resolution) noexcept {
    unsigned count = 1;
    while (count < 32 && (std::uint64_t{1} << count) < resolution) {
        ++count;
    }
    return count;
}

std::optional<VopKind> ParseVop(BitReader& bits, unsigned timeIncrementBits) noexcept {
    const auto type = bits.Bits(2);
    // modulo_time_base: a run of ones, ended by a zero; Bit() is 0 once the bits run out.
    while (bits.Bit()) {
    }
    bits.Skip(1); // marker
    bits.Skip(timeIncrementBits);
    bits.Skip(1); // marker
    const bool coded = bits.Bit();
    if (bits.Overrun()) {
        return std::nullopt;
    }
    if (!coded) {
        return VopKind::N;
    }
    return static_cast<VopKind>(type);
}

} // namespace vidtag::video
