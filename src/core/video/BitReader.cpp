#include "video/BitReader.h"

namespace vidtag::video {

std::uint32_t BitReader::Bits(unsigned count) noexcept {
    if (count > 32 || count > BitsLeft()) {
        overrun_ = true;
        positionBits_ = sizeBits_;
        return 0;
    }
    std::uint32_t value = 0;
    while (count > 0) {
        // Take as many bits as the current byte still holds, up to the count wanted.
        const unsigned used = positionBits_ % 8;
        const unsigned available = 8 - used;
        const unsigned take = count < available ? count : available;
        const unsigned byte = data_[positionBits_ / 8];
        const unsigned bits = (byte >> (available - take)) & ((1u << take) - 1);
        value = static_cast<std::uint32_t>((static_cast<std::uint64_t>(value) << take) | bits);
        positionBits_ += take;
        count -= take;
    }
    return value;
}

void BitReader::Skip(std::size_t count) noexcept {
    if (count > BitsLeft()) {
        overrun_ = true;
        positionBits_ = sizeBits_;
        return;
    }
    positionBits_ += count;
}

} // namespace vidtag::video
