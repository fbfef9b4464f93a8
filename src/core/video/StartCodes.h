#pragma once

#include <cstddef>
#include <cstdint>

namespace vidtag::video {

// The byte after a 00 00 01 prefix, for the start codes the reader acts on.
namespace code {
constexpr std::uint8_t kVideoObjectFirst = 0x00; // also Microsoft MPEG-4 V1's picture code
constexpr std::uint8_t kVolFirst = 0x20;
constexpr std::uint8_t kVolLast = 0x2F;
constexpr std::uint8_t kVos = 0xB0;
constexpr std::uint8_t kUserData = 0xB2;
constexpr std::uint8_t kGov = 0xB3;
constexpr std::uint8_t kVisualObject = 0xB5;
constexpr std::uint8_t kVop = 0xB6;
} // namespace code

constexpr bool IsVolCode(std::uint8_t value) {
    return value >= code::kVolFirst && value <= code::kVolLast;
}

// The offset of the first whole start code (00 00 01 and the code byte, all four bytes within
// size) at or after from; size when there is none. Each call moves forward or ends, so a loop
// that goes on from the returned offset + 4 always ends.
std::size_t FindStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) noexcept;

// Whether data starts with the 00 00 01 prefix.
constexpr bool StartsWithPrefix(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1;
}

// One start code and the bytes after it up to the next start code (or the end).
struct Unit {
    std::uint8_t Code;
    const std::uint8_t* Payload;
    std::size_t PayloadSize;
};

// Walks the units of a buffer in order; bytes before the first start code are skipped.
class UnitWalker {
  public:
    UnitWalker(const std::uint8_t* data, std::size_t size) noexcept
        : data_(data), size_(size), next_(FindStartCode(data, size, 0)) {}

    // False at the end.
    bool Next(Unit& unit) noexcept;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_;
};

} // namespace vidtag::video
