#pragma once

#include "audio/AudioFacts.h"

#include <cstddef>
#include <cstdint>

namespace vidtag::audio {

// Reads fields most significant bit first from a byte span; a field past the span's end reads
// as 0 and sets Overrun, so that a short header is told from a whole one after the last field.
class BitCursor {
  public:
    explicit BitCursor(ByteSpan bytes) : bytes_(bytes) {}

    std::uint32_t Read(unsigned count) {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t byte = position_ / 8;
            std::uint32_t bit = 0;
            if (byte < bytes_.size()) {
                bit = (bytes_[byte] >> (7 - position_ % 8)) & 1u;
            } else {
                overrun_ = true;
            }
            value = value << 1 | bit;
            ++position_;
        }
        return value;
    }

    void Skip(unsigned count) { Read(count); }
    bool Overrun() const { return overrun_; }

  private:
    ByteSpan bytes_;
    std::size_t position_ = 0;
    bool overrun_ = false;
};

// A big-endian 16- or 32-bit value at a position the caller has checked.
constexpr std::uint32_t Be16(ByteSpan bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 8 | bytes[at + 1];
}
constexpr std::uint32_t Be32(ByteSpan bytes, std::size_t at) {
    return Be16(bytes, at) << 16 | Be16(bytes, at + 2);
}

} // namespace vidtag::audio
