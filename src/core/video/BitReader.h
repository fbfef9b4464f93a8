#pragma once

#include <cstddef>
#include <cstdint>

namespace vidtag::video {

// Reads a bit string most significant bit first, the order of MPEG-4 Visual headers. It never
// reads outside the bytes it was given and never allocates: a read past the end returns 0,
// leaves the reader at the end and sets Overrun(), which the caller checks once after a group of
// fields instead of before each one.
class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::size_t size) noexcept
        : data_(data), sizeBits_(size * 8) {}

    // The first bitCount bits of data only, for headers that end within a byte.
    static BitReader FirstBits(const std::uint8_t* data, std::size_t bitCount) noexcept {
        BitReader reader(data, 0);
        reader.sizeBits_ = bitCount;
        return reader;
    }

    // Up to 32 bits as an unsigned number; 0 and Overrun() when fewer are left.
    std::uint32_t Bits(unsigned count) noexcept;
    bool Bit() noexcept { return Bits(1) != 0; }
    void Skip(std::size_t count) noexcept;

    bool Overrun() const noexcept { return overrun_; }
    std::size_t Position() const noexcept { return positionBits_; }
    std::size_t BitsLeft() const noexcept { return sizeBits_ - positionBits_; }

  private:
    const std::uint8_t* data_;
    std::size_t sizeBits_;
    std::size_t positionBits_ = 0;
    bool overrun_ = false;
};

} // namespace vidtag::video
